// Attributes: reading every kind, the unknown and too-long warnings, kinds gated by class file version,
// marking, removal with its byte counts, and writing with renumbered indexes.
#include <cstdint>
#include <string>
#include <vector>

#include "FileModule.h"
#include "TestSupport.h"
#include "ZYNAttr.h"
#include "ZYNError.h"

namespace {

using namespace ZYNAttr;

// Writes a list with every pool entry kept under its own index.
Bytes WrittenList(ZYNConstPool::tMarking& cp, std::int32_t count, const AttrArray& attrs) {
  ZYNConstPool::UnMark(cp);
  ZYNConstPool::MarkAll(cp);
  std::int32_t dropped = 0, bytes = 0;
  ZYNConstPool::RenumUnUsed(cp, dropped, bytes);
  FileModule::tOutput out;
  WriteAttributes(count, attrs, cp, out);
  return out.bytes;
}

// The warning lines of a file: none, or the one given.
std::vector<std::string> Warned(const std::string& warning) {
  return warning.empty() ? std::vector<std::string>{} : std::vector<std::string>{"WARNING: " + warning};
}

Bytes Count(int n, const Bytes& attrs = {}) { return ByteWriter().u2(n).raw(attrs).bytes; }

// The pool indexes that a kind kept as bytes found in its body, "?" after those that may be 0.
std::string IndexesOf(const attributeInfoDesc& attr) {
  const auto& indexed = dynamic_cast<const IndexedAttributeDesc&>(attr);
  std::string text;
  for (const IndexSlot& slot : indexed.indexes)
    text += std::to_string(indexed.IndexAt(slot)) + (slot.optional ? "? " : " ");
  return text;
}

struct Rich {
  Bytes bytes;
  int self, super, value, thrown, caught, local, localDesc, innerC, innerName, anon, source;
};

// A class using every original attribute kind, every entry referenced; `junk` adds unused entries in
// between, which marking must drop and renumbering must close.
Rich RichClass(bool junk) {
  ClassBuilder b;
  Rich r;
  auto junkHere = [&] {
    if (junk) b.Utf8("junk");
  };
  junkHere();
  r.self = b.Class("Rich");
  r.super = b.Class("java/lang/Object");
  junkHere();
  const int code = b.Utf8("Code"), cv = b.Utf8("ConstantValue"), ex = b.Utf8("Exceptions");
  const int lnt = b.Utf8("LineNumberTable"), lvt = b.Utf8("LocalVariableTable"), src = b.Utf8("SourceFile");
  const int depr = b.Utf8("Deprecated"), synt = b.Utf8("Synthetic"), inner = b.Utf8("InnerClasses");
  if (junk) b.Long(1, 2);
  const int fname = b.Utf8("f"), fdesc = b.Utf8("I"), mname = b.Utf8("m"), mdesc = b.Utf8("()V");
  r.value = b.Integer(42);
  const int fref = b.Fieldref(r.self, b.NameAndType(fname, fdesc));
  junkHere();
  const int text = b.String(b.Utf8("hello"));
  r.thrown = b.Class("java/io/IOException");
  r.caught = b.Class("java/lang/Exception");
  r.local = b.Utf8("this");
  r.localDesc = b.Utf8("LRich;");
  r.innerC = b.Class("Rich$In");
  r.innerName = b.Utf8("In");
  r.anon = b.Class("Rich$1");
  r.source = b.Utf8("Rich.java");
  junkHere();
  const Bytes codeBytes = ByteWriter().u1(42).u1(180).u2(fref).u1(18).u1(text).u1(87).u1(87).u1(177).bytes;
  const Bytes lines = ByteWriter().u2(2).u2(0).u2(10).u2(4).u2(11).bytes;
  const Bytes locals = ByteWriter().u2(1).u2(0).u2(9).u2(r.local).u2(r.localDesc).u2(0).bytes;
  const Bytes inners =
      ByteWriter().u2(2).u2(r.innerC).u2(r.self).u2(r.innerName).u2(8).u2(r.anon).u2(0).u2(0).u2(0).bytes;
  b.This(r.self).Super(r.super);
  b.Field(0x1A, fname, fdesc, {Attribute(cv, ByteWriter().u2(r.value).bytes)});
  b.Method(1, mname, mdesc,
           {Attribute(code, CodeBody(codeBytes, {{0, 8, 8, r.caught}, {0, 8, 8, 0}},
                                     {Attribute(lnt, lines), Attribute(lvt, locals)})),
            Attribute(ex, ByteWriter().u2(1).u2(r.thrown).bytes), Attribute(depr, {}), Attribute(synt, {})});
  b.ClassAttr(Attribute(src, ByteWriter().u2(r.source).bytes)).ClassAttr(Attribute(inner, inners));
  r.bytes = b.Build();
  return r;
}

class ZYNAttrTest : public ::testing::Test {
protected:
  // The input and the warnings of the attributes read last.
  OwnedInput input;
  ZYNError::tDiagnostics diag;

  // Reads one attribute from `bytes` against the pool of `cls`, as the first of its file.
  AttrPtr ReadAttr(ZYNClass::tClassDesc& cls, const Bytes& bytes, std::vector<std::string>* warnings) {
    diag = {};
    input.Reset(bytes);
    AttrPtr attr;
    bool fatal = false;
    std::string error;
    const std::string out = Captured([&] { attr = NewAttr(*cls.cp, input.in, diag); }, &fatal, &error);
    EXPECT_FALSE(fatal) << error;
    EXPECT_EQ(out, "");
    *warnings = diag.lines;
    return attr;
  }
};

TEST_F(ZYNAttrTest, ReadsEveryOriginalKindWithTheIndexesOfItsBody) {
  const Rich r = RichClass(false);
  std::vector<std::string> warnings = {"stale"};
  auto cls = ReadBytes(r.bytes, &warnings);
  ASSERT_TRUE(cls);
  EXPECT_EQ(warnings, std::vector<std::string>{});
  const auto& code = dynamic_cast<CodeAttributeDesc&>(*cls->methods[0].attrs[0]);
  ASSERT_EQ(code.exceptionCount, 2);
  EXPECT_EQ(code.exceptions[0].catchType, r.caught);
  ASSERT_EQ(code.attrCount, 2);
  const auto n = [](int index) { return std::to_string(index) + " "; };
  struct Row {
    const attributeInfoDesc* attr;
    int kind;
    std::string indexes;
  };
  const std::vector<Row> rows = {
      {cls->fields[0].attrs[0].get(), ConstantValueAttr, n(r.value)},
      {code.attrs[0].get(), LineNumberTableAttr, ""},
      {code.attrs[1].get(), LocalVariableTableAttr, n(r.local) + n(r.localDesc)},
      {cls->methods[0].attrs[1].get(), ExceptionsAttr, n(r.thrown)},
      {cls->methods[0].attrs[2].get(), DeprecatedAttr, ""},
      {cls->methods[0].attrs[3].get(), SyntheticAttr, ""},
      {cls->attrs[0].get(), SourceFileAttr, n(r.source)},
      {cls->attrs[1].get(), InnerClassesAttr,
       n(r.innerC) + std::to_string(r.self) + "? " + std::to_string(r.innerName) + "? " + n(r.anon) + "0? 0? "},
  };
  for (const Row& row : rows) {
    for (int k = 0; k <= InnerClassesAttr; ++k)
      EXPECT_EQ(row.attr->This(k), k == row.kind) << row.kind << " asked " << k;
    EXPECT_EQ(IndexesOf(*row.attr), row.indexes) << row.kind;
  }
  EXPECT_TRUE(cls->methods[0].attrs[0]->This(CodeAttr));
}

TEST_F(ZYNAttrTest, WritesEveryOriginalKindWithRenumberedIndexes) {
  auto cls = ReadBytes(RichClass(true).bytes);
  ASSERT_TRUE(cls);
  EXPECT_EQ(WriteMarked(*cls), RichClass(false).bytes);
  EXPECT_EQ(WriteMarked(*cls, true), RichClass(true).bytes);

  // After a nested removal the Code attribute is written with a length that matches its body.
  EXPECT_EQ(Delete(LineNumberTableAttr, cls->methods[0].attrCount, cls->methods[0].attrs), 6 + 10);
  std::vector<std::string> warnings = {"stale"};
  auto again = ReadBytes(WriteMarked(*cls), &warnings);
  ASSERT_TRUE(again);
  EXPECT_TRUE(warnings.empty());
  const auto& code = dynamic_cast<CodeAttributeDesc&>(*again->methods[0].attrs[0]);
  ASSERT_EQ(code.attrCount, 1);
  EXPECT_TRUE(code.attrs[0]->This(LocalVariableTableAttr));
}

TEST_F(ZYNAttrTest, MarksNamesAndTheIndexesOfTheBody) {
  const Rich r = RichClass(false);
  auto cls = ReadBytes(r.bytes);
  ZYNConstPool::tMarking& cp = cls->marking;
  ZYNConstPool::UnMark(cp);
  MarkAttributes(cp, cls->attrs);
  // The entry with outer class 0 and inner name 0 marks only its inner class.
  const std::vector<std::pair<int, int>> marks = {{r.anon, 1}, {r.anon - 1, 1}, {r.innerC, 1}, {r.self, 1},
                                                  {r.innerName, 1}, {r.source, 1}, {r.super, 0}, {r.value, 0}};
  for (const auto& [index, mark] : marks) EXPECT_EQ(cp.CountOf(index), mark) << index;

  ZYNConstPool::UnMark(cp);
  MarkAttributes(cp, cls->methods[0].attrs);
  EXPECT_EQ(cp.CountOf(r.caught), 1);  // the catch-all row marks nothing
  EXPECT_EQ(cp.CountOf(r.thrown), 1);
  EXPECT_EQ(cp.CountOf(r.local), 1);
  EXPECT_EQ(cp.CountOf(r.source), 0);
}

TEST_F(ZYNAttrTest, KeepsUnknownAndTooLongAttributesWithAWarning) {
  struct Row {
    std::string name;
    Bytes body;
    std::string warning;
    int kind;
  };
  const std::string longName(100, 'N');
  const std::vector<Row> rows = {
      {"Foo", {1, 2, 3, 4, 5}, "Unknown attribute \"Foo\" ignored. Length=5", UnknownAttr},
      {"sourcefile", {0, 1}, "Unknown attribute \"sourcefile\" ignored. Length=2", UnknownAttr},
      {"Bar", {}, "Unknown attribute \"Bar\" ignored. Length=0", UnknownAttr},
      {longName, {7}, "Unknown attribute \"" + longName.substr(0, 79) + "\" ignored. Length=1", UnknownAttr},
      {"Deprecated", {9, 9, 9}, "Too long \"Deprecated\" attribute. Length=3", UnknownAttr},
      {"Synthetic", {8}, "Too long \"Synthetic\" attribute. Length=1", UnknownAttr},
      {"Deprecated", {}, "", DeprecatedAttr},
      {"Synthetic", {}, "", SyntheticAttr},
  };
  for (const Row& row : rows) {
    ClassBuilder b;
    const int name = b.Utf8(row.name);
    auto cls = ReadBytes(b.Build());
    const Bytes bytes = Attribute(name, row.body);
    std::vector<std::string> warnings;
    auto attr = ReadAttr(*cls, bytes, &warnings);
    EXPECT_EQ(warnings, Warned(row.warning)) << row.name;
    EXPECT_EQ(diag.WarnCount, row.warning.empty() ? 0 : 1) << row.name;
    EXPECT_EQ(input.in.PC, static_cast<std::int32_t>(bytes.size())) << row.name;
    EXPECT_TRUE(attr->This(row.kind)) << row.name;
    EXPECT_EQ(attr->nameIndex, name);
    EXPECT_EQ(attr->length, static_cast<std::int32_t>(row.body.size()));
    if (row.kind == UnknownAttr) {
      EXPECT_EQ(AsBytes(dynamic_cast<UnknownAttributeDesc&>(*attr).data), row.body);
    }
    AttrArray list;
    list.push_back(std::move(attr));
    EXPECT_EQ(WrittenList(cls->marking, 1, list), Count(1, bytes)) << row.name;
  }
}

TEST_F(ZYNAttrTest, RecognisesKindsFromTheirClassFileVersion) {
  ClassBuilder b;
  const int cls = b.Class("C"), sig = b.Utf8("TT;");
  struct Row {
    const char* name;
    Bytes body;
    int sinceMajor;
    int kind;
  };
  const std::vector<Row> rows = {
      {"Signature", ByteWriter().u2(sig).bytes, 49, SignatureAttr},
      {"StackMapTable", {0, 0}, 50, StackMapTableAttr},
      {"BootstrapMethods", {0, 0}, 51, BootstrapMethodsAttr},
      {"MethodParameters", {1, 0, 0, 0, 0}, 52, MethodParametersAttr},
      {"ModulePackages", {0, 0}, 53, ModulePackagesAttr},
      {"NestHost", ByteWriter().u2(cls).bytes, 55, NestHostAttr},
      {"Record", {0, 0}, 60, RecordAttr},
      {"PermittedSubclasses", ByteWriter().u2(1).u2(cls).bytes, 61, PermittedSubclassesAttr},
  };
  std::vector<int> names;
  for (const Row& row : rows) names.push_back(b.Utf8(row.name));
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const Row& row = rows[i];
    const Bytes bytes = Attribute(names[i], row.body);
    for (int major : {row.sinceMajor - 1, row.sinceMajor}) {
      auto pool = ReadBytes(b.Version(major).Build());
      std::vector<std::string> warnings;
      auto attr = ReadAttr(*pool, bytes, &warnings);
      const bool known = major >= row.sinceMajor;
      EXPECT_EQ(warnings, Warned(known ? "" : "Unknown attribute \"" + std::string(row.name) +
                                                  "\" ignored. Length=" + std::to_string(row.body.size())));
      EXPECT_TRUE(attr->This(known ? row.kind : UnknownAttr)) << row.name << " " << major;
      AttrArray list;
      list.push_back(std::move(attr));
      EXPECT_EQ(WrittenList(pool->marking, 1, list), Count(1, bytes)) << row.name << " " << major;
    }
  }
}

TEST_F(ZYNAttrTest, KeepsAModernKindWhoseBodyBreaksItsLayoutAsUnknown) {
  ClassBuilder b;
  const int cls = b.Class("C"), sig = b.Utf8("TT;"), src = b.Utf8("SourceFile");
  const std::vector<std::pair<const char*, Bytes>> rows = {
      {"Signature", ByteWriter().u2(sig).u1(0).bytes},
      {"NestHost", {0}},
      {"StackMapTable", {0, 1}},
      {"NestMembers", ByteWriter().u2(2).u2(cls).bytes},
      {"Record", {0, 1, 0}},
      {"Record", ByteWriter().u2(1).u2(sig).u2(sig).u2(1).u2(sig).u4(9).u2(0).bytes},
      {"RuntimeVisibleAnnotations", ByteWriter().u2(1).u2(sig).u2(1).u2(sig).u1('X').u2(0).bytes},
  };
  std::vector<int> names;
  for (const auto& row : rows) names.push_back(b.Utf8(row.first));
  auto pool = ReadBytes(b.Version(61).Build());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const auto& [name, body] = rows[i];
    const Bytes sourceFile = Attribute(src, ByteWriter().u2(sig).bytes);
    diag = {};
    input.Reset(ByteWriter().raw(Attribute(names[i], body)).raw(sourceFile).bytes);
    auto first = NewAttr(*pool->cp, input.in, diag);
    EXPECT_TRUE(first->This(UnknownAttr)) << name;
    EXPECT_EQ(AsBytes(dynamic_cast<UnknownAttributeDesc&>(*first).data), body) << name;
    auto second = NewAttr(*pool->cp, input.in, diag);
    EXPECT_EQ(diag.lines, Warned("Unknown attribute \"" + std::string(name) + "\" ignored. Length=" +
                                 std::to_string(body.size())));
    ASSERT_TRUE(second) << name;
    EXPECT_TRUE(second->This(SourceFileAttr)) << name;
  }
}

TEST_F(ZYNAttrTest, RecordComponentsHoldAttributesThatRemovalReaches) {
  ClassBuilder b;
  const int record = b.Utf8("Record"), signature = b.Utf8("Signature"), foo = b.Utf8("Foo");
  const int x = b.Utf8("x"), xd = b.Utf8("I"), y = b.Utf8("y"), sig = b.Utf8("TT;");
  auto body = [&](bool withFoo) {
    ByteWriter w;
    w.u2(2).u2(x).u2(xd).u2(withFoo ? 2 : 1).raw(Attribute(signature, ByteWriter().u2(sig).bytes));
    if (withFoo) w.raw(Attribute(foo, {1, 2, 3, 4}));
    w.u2(y).u2(xd).u2(0);
    return w.bytes;
  };
  auto cls = ReadBytes(b.Version(60).Build());
  std::vector<std::string> warnings;
  AttrArray list;
  list.push_back(ReadAttr(*cls, Attribute(record, body(true)), &warnings));
  EXPECT_EQ(warnings, Warned("Unknown attribute \"Foo\" ignored. Length=4"));
  auto& rec = dynamic_cast<RecordAttributeDesc&>(*list[0]);
  ASSERT_EQ(rec.components.size(), 2u);
  EXPECT_EQ(rec.components[0].attrCount, 2);
  EXPECT_TRUE(rec.components[0].attrs[0]->This(SignatureAttr));
  EXPECT_EQ(rec.components[1].nameIndex, y);

  ZYNConstPool::UnMark(cls->marking);
  MarkAttributes(cls->marking, list);
  for (int index : {record, signature, foo, x, xd, y, sig})
    EXPECT_EQ(cls->marking.CountOf(index), index == xd ? 2 : 1) << index;

  std::int32_t count = 1;
  EXPECT_EQ(Delete(UnknownAttr, count, list), 10);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(rec.components[0].attrCount, 1);
  EXPECT_EQ(WrittenList(cls->marking, count, list), Count(1, Attribute(record, body(false))));
  EXPECT_EQ(Delete(SignatureAttr, count, list), 8);
  EXPECT_EQ(rec.length, static_cast<std::int32_t>(body(false).size()) - 8);
}

TEST_F(ZYNAttrTest, DeleteCountsBytesAndLowersNestingCodeLengths) {
  ClassBuilder b;
  const int self = b.Class("D"), code = b.Utf8("Code"), lnt = b.Utf8("LineNumberTable");
  const int lvt = b.Utf8("LocalVariableTable"), foo = b.Utf8("Foo"), depr = b.Utf8("Deprecated");
  const int synt = b.Utf8("Synthetic"), src = b.Utf8("SourceFile"), m = b.Utf8("m"), d = b.Utf8("()V");
  ByteWriter lines;
  lines.u2(10);
  for (int i = 0; i < 10; ++i) lines.u2(i).u2(100 + i);
  const Bytes locals = ByteWriter().u2(1).u2(0).u2(1).u2(m).u2(d).u2(0).bytes;
  const Bytes codeBody =
      CodeBody({177}, {}, {Attribute(lnt, lines.bytes), Attribute(foo, {1, 2, 3}), Attribute(lvt, locals)});
  b.This(self).Method(1, m, d, {Attribute(code, codeBody), Attribute(depr, {5, 5, 5}), Attribute(synt, {})});
  b.ClassAttr(Attribute(src, ByteWriter().u2(m).bytes));
  auto cls = ReadBytes(b.Build());
  ASSERT_TRUE(cls);
  ZYNClass::memberInfo& method = cls->methods[0];
  auto& codeAttr = dynamic_cast<CodeAttributeDesc&>(*method.attrs[0]);
  const std::int32_t codeLength = codeAttr.length;
  ASSERT_EQ(lines.bytes.size(), 42u);

  struct Step {
    int kind;
    std::int32_t bytes, methodCount, nestedCount, codeLength;
  };
  const Step steps[] = {
      {LineNumberTableAttr, 48, 3, 2, codeLength - 48},
      {LineNumberTableAttr, 0, 3, 2, codeLength - 48},  // removal is idempotent
      {DeprecatedAttr, 0, 3, 2, codeLength - 48},       // the too-long one is of the unknown kind
      {SyntheticAttr, 6, 2, 2, codeLength - 48},
      {UnknownAttr, 9 + 9, 1, 1, codeLength - 57},
      {CodeAttr, codeLength - 57 + 6, 0, 1, codeLength - 57},
  };
  for (const Step& step : steps) {
    EXPECT_EQ(Delete(step.kind, method.attrCount, method.attrs), step.bytes) << step.kind;
    EXPECT_EQ(method.attrCount, step.methodCount) << step.kind;
    if (step.kind != CodeAttr) {
      EXPECT_EQ(codeAttr.attrCount, step.nestedCount) << step.kind;
      EXPECT_EQ(codeAttr.length, step.codeLength) << step.kind;
    }
  }
  EXPECT_EQ(Delete(LineNumberTableAttr, method.attrCount, method.attrs), 0);
  EXPECT_EQ(Delete(SourceFileAttr, cls->attrCount, cls->attrs), 8);
  EXPECT_EQ(WrittenList(cls->marking, method.attrCount, method.attrs), Count(0));
}

TEST_F(ZYNAttrTest, RefusesLengthsThatDisagreeWithTheLayout) {
  ClassBuilder b;
  const int self = b.Class("C"), src = b.Utf8("SourceFile"), code = b.Utf8("Code"), ex = b.Utf8("Exceptions");
  const int inner = b.Utf8("InnerClasses"), lnt = b.Utf8("LineNumberTable"), stackMap = b.Utf8("StackMap");
  const int lvt = b.Utf8("LocalVariableTable");
  const int end = b.NextIndex();
  auto cls = ReadBytes(b.Build());
  const Bytes codeBody = CodeBody({177});
  struct Row {
    Bytes attr;
    std::string line;
  };
  std::vector<Row> rows = {
      {AttributeWithLength(src, 3, {0, 1, 0}), "Invalid length of \"SourceFile\" attribute. Length=3"},
      {AttributeWithLength(src, 1, {0, 1}), "Invalid length of \"SourceFile\" attribute. Length=1"},
      {AttributeWithLength(code, static_cast<std::uint32_t>(codeBody.size() + 1),
                           ByteWriter().raw(codeBody).u1(0).bytes),
       "Invalid length of \"Code\" attribute. Length=" + std::to_string(codeBody.size() + 1)},
      {AttributeWithLength(ex, 2, ByteWriter().u2(1).u2(self).bytes),
       "Invalid length of \"Exceptions\" attribute. Length=2"},
      {AttributeWithLength(inner, 4, {0, 0, 0, 0}), "Invalid length of \"InnerClasses\" attribute. Length=4"},
      {AttributeWithLength(lnt, 0, {0, 0}), "Invalid length of \"LineNumberTable\" attribute. Length=0"},
      // The layout is read whatever the length says: the length is refused where the file holds the layout.
      {AttributeWithLength(lvt, 100, {0, 0}), "Invalid length of \"LocalVariableTable\" attribute. Length=100"},
      {AttributeWithLength(ex, 6, ByteWriter().u2(2).u2(self).bytes), "Unexpected end of class file"},
      {Attribute(0, {}), "Utf8 index less than 1"},
      {Attribute(self, {}), "Invalid Utf8 index in class file"},
      {Attribute(end, {}), "Too large Utf8 index in class file"},
      {Attribute(stackMap, ByteWriter().u2(1).u2(0).u2(0).u2(1).u1(9).bytes),
       "Invalid \"StackMap\" attribute. Length=9"},
  };
  // A StackMap entry with a class among the locals, an uninitialized and an int on the stack: every declared
  // length short of it or past it, every end of the file inside it, and every index that names no class.
  const Bytes map = ByteWriter().u2(1).u2(0).u2(1).u1(7).u2(self).u2(2).u1(8).u2(0).u1(1).bytes;
  for (std::size_t n = 0; n < map.size(); ++n) {
    const Bytes cut(map.begin(), map.begin() + static_cast<std::ptrdiff_t>(n));
    rows.push_back({Attribute(stackMap, cut), "Invalid \"StackMap\" attribute. Length=" + std::to_string(n)});
    rows.push_back({AttributeWithLength(stackMap, static_cast<std::uint32_t>(map.size()), cut),
                    "Unexpected end of class file"});
  }
  rows.push_back({Attribute(stackMap, ByteWriter().raw(map).u1(0).bytes),
                  "Invalid \"StackMap\" attribute. Length=" + std::to_string(map.size() + 1)});
  for (int index : {0, src, end})
    rows.push_back({Attribute(stackMap, ByteWriter().u2(1).u2(0).u2(1).u1(7).u2(index).u2(0).bytes),
                    "Invalid class index " + std::to_string(index) + " in \"StackMap\" attribute"});
  for (const Row& row : rows) {
    ExpectError(
        [&] {
          input.Reset(row.attr);
          NewAttr(*cls->cp, input.in, diag);
        },
        row.line);
  }
}

TEST_F(ZYNAttrTest, RefusesLengthsOf2To31AndMore) {
  ClassBuilder b;
  const int foo = b.Utf8("Foo"), sig = b.Utf8("Signature"), depr = b.Utf8("Deprecated"), code = b.Utf8("Code");
  auto cls = ReadBytes(b.Version(61).Build());
  struct Row {
    int name;
    std::uint32_t length;
    Bytes body;
    std::string error;
  };
  const std::vector<Row> rows = {
      {foo, 0x80000000, {1, 2}, "ERROR: Unexpected end of class file"},
      {sig, 0xFFFFFFFF, {0, 2}, "ERROR: Unexpected end of class file"},
      {depr, 0x80000000, {}, "ERROR: Unexpected end of class file"},
      {code, 0x80000000, CodeBody({177}), "ERROR: Invalid length of \"Code\" attribute. Length="},
  };
  for (const Row& row : rows) {
    bool fatal = false;
    std::string error;
    const std::string out = Captured(
        [&] {
          input.Reset(AttributeWithLength(row.name, row.length, row.body));
          NewAttr(*cls->cp, input.in, diag);
        },
        &fatal, &error);
    EXPECT_TRUE(fatal) << row.error;
    EXPECT_EQ(error.rfind(row.error, 0), 0u) << error;
    EXPECT_EQ(out, "");
    diag = {};
  }
}

}  // namespace
