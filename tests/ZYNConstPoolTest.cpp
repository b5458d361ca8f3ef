// The constant pool: reading every tag, Utf8 decoding, the marking cascade and its errors, renumbering,
// writing, and the queries and edits of the member pass.
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "FileModule.h"
#include "TestSupport.h"
#include "ZYNConstPool.h"

namespace {

using namespace ZYNConstPool;

// The pool of a builder that states no members: the bytes from constant_pool_count to the end of the pool.
Bytes PoolBytes(const ClassBuilder& b) {
  const Bytes all = b.Build();
  return Bytes(all.begin() + 8, all.end() - 14);
}

Bytes Emitted(const std::function<void(FileModule::tOutput&)>& write) {
  FileModule::tOutput out;
  write(out);
  return out.bytes;
}

// Keeps every entry under its own index.
void KeepAll(tMarking& cp) {
  UnMark(cp);
  MarkAll(cp);
  std::int32_t dropped = 0, bytes = 0;
  RenumUnUsed(cp, dropped, bytes);
}

Bytes Utf8Raw(const Bytes& text) {
  return ByteWriter().u2(static_cast<std::uint32_t>(text.size())).raw(text).bytes;
}

class ZYNConstPoolTest : public ::testing::Test {
protected:
  // The input of the last pool read, and its marking.
  OwnedInput input;
  tMarking m;

  // Reads the pool that the builder states, as a class file of the given major version holds it.
  std::unique_ptr<ConstPool> ReadPool(const ClassBuilder& b, int major = 45) {
    const Bytes pool = PoolBytes(b);
    input.Reset(Bytes(pool.begin() + 2, pool.end()));
    auto cp = NewConstPool(input.in, pool[0] << 8 | pool[1], major);
    m = tMarking(*cp);
    return cp;
  }

  void ExpectPoolError(const ClassBuilder& b, int major, const std::string& line) {
    ExpectError([&] { ReadPool(b, major); }, line);
  }
};

TEST_F(ZYNConstPoolTest, ReadsEveryTagAndWritesItBack) {
  ClassBuilder b;
  const int name = b.Utf8("Name"), empty = b.Utf8(""), uni = b.Unicode("abc");
  const int integer = b.Integer(0x80000001), flt = b.Float(0x7FC00000);
  const int lng = b.Long(1, 2), dbl = b.Double(0xFFFFFFFF, 4);
  const int cls = b.ClassRef(name), str = b.String(name), nat = b.NameAndType(name, empty);
  const int fr = b.Fieldref(cls, nat), mr = b.Methodref(cls, nat), imr = b.InterfaceMethodref(cls, nat);
  const int mh = b.MethodHandle(6, mr), mt = b.MethodType(empty), dyn = b.Dynamic(3, nat);
  const int indy = b.InvokeDynamic(4, nat), mod = b.Module(name), pkg = b.Package(name);
  auto cp = ReadPool(b, 61);
  ASSERT_TRUE(input.in.Done);
  ASSERT_EQ(cp->length(), b.NextIndex());
  EXPECT_EQ(input.in.PC, static_cast<std::int32_t>(PoolBytes(b).size()) - 2);
  for (int gap : {0, lng + 1, dbl + 1}) EXPECT_EQ(cp->Tag(gap), 0) << gap;

  const std::map<int, std::pair<int, int>> tagAndSize = {
      {name, {1, 7}}, {empty, {1, 3}}, {uni, {2, 6}},  {integer, {3, 5}}, {flt, {4, 5}}, {lng, {5, 9}},
      {dbl, {6, 9}},  {cls, {7, 3}},   {str, {8, 3}},  {fr, {9, 5}},      {mr, {10, 5}}, {imr, {11, 5}},
      {nat, {12, 5}}, {mh, {15, 4}},   {mt, {16, 3}},  {dyn, {17, 5}},    {indy, {18, 5}}, {mod, {19, 3}},
      {pkg, {20, 3}}};
  for (const auto& [index, expected] : tagAndSize) {
    EXPECT_EQ(cp->Tag(index), expected.first) << index;
    EXPECT_EQ(SizeOf(*cp, index), expected.second) << index;
    EXPECT_EQ(m.CountOf(index), 0) << index;
    EXPECT_EQ(m.slots[index].newIndex, index) << index;
  }
  EXPECT_EQ(Utf8Text(*cp, name), "Name");
  EXPECT_EQ(Utf8Text(*cp, empty), "");
  EXPECT_EQ(Utf8Text(*cp, uni), "");  // the obsolete kind is no Utf8 to the passes
  EXPECT_EQ(cp->Text(uni), "abc");
  EXPECT_EQ(cp->U4(integer, 0), static_cast<std::int32_t>(0x80000001));
  EXPECT_EQ(cp->U4(dbl, 0), -1);
  EXPECT_EQ(cp->U4(lng, 4), 2);
  EXPECT_EQ(MemberRefAt(*cp, imr)->nameAndTypeIndex, nat);
  EXPECT_EQ(MemberRefAt(*cp, imr)->tag, 11);
  EXPECT_FALSE(MemberRefAt(*cp, nat));
  EXPECT_EQ(NameAndTypeAt(*cp, nat)->descriptorIndex, empty);
  EXPECT_EQ(cp->Body(mh)[0], 6);
  EXPECT_EQ((RefsOf(*cp, mh).index[0]), mr);
  EXPECT_EQ(cp->U2(indy, 0), 4);
  EXPECT_EQ((RefsOf(*cp, indy).count), 1);
  EXPECT_EQ((RefsOf(*cp, fr).index[0]), cls);
  EXPECT_EQ(ClassName(*cp, cls), "Name");
  EXPECT_EQ(StringAt(*cp, str), name);
  EXPECT_EQ(StringAt(*cp, mt), 0);
  EXPECT_EQ((RefsOf(*cp, pkg).index[0]), name);

  // Kept whole, the pool is written byte for byte as read.
  KeepAll(m);
  EXPECT_EQ(Emitted([&](FileModule::tOutput& out) { WriteConstPool(m, out); }), PoolBytes(b));
}

TEST_F(ZYNConstPoolTest, CountOfOneReadsNoTag) {
  ClassBuilder one;
  one.PoolCount(1).Utf8("never read");
  auto cp = ReadPool(one);
  EXPECT_EQ(cp->length(), 1);
  EXPECT_EQ(input.in.PC, 0);
  ExpectError([&] { Mark(m, 1); }, "Too large constant pool index");
}

TEST_F(ZYNConstPoolTest, LongInTheLastSlotKeepsTwoIndexes) {
  ClassBuilder b;
  const int text = b.Utf8("x");
  const int lng = b.Long(7, 8);
  b.PoolCount(lng + 1);
  auto cp = ReadPool(b);
  ASSERT_TRUE(input.in.Done);
  ASSERT_EQ(cp->length(), 3);
  EXPECT_EQ(cp->Tag(lng), 5);
  UnMark(m);
  Mark(m, lng);
  Mark(m, text);
  std::int32_t dropped = -1, bytes = -1;
  RenumUnUsed(m, dropped, bytes);
  EXPECT_EQ(NewPoolCount(m), 4);
  EXPECT_EQ(Emitted([&](FileModule::tOutput& out) { WriteConstPool(m, out); }),
            ByteWriter().u2(4).u1(1).u2(1).text("x").u1(5).u4(7).u4(8).bytes);
}

TEST_F(ZYNConstPoolTest, RefusesUnknownTagsAndTagsBeforeTheirVersion) {
  for (int tag : {0, 13, 14, 21, 100, 255}) {
    ClassBuilder b;
    b.Raw(tag, {0, 1, 0, 1});
    ExpectPoolError(b, 0xFFFF, "Ivalid tag");
  }
  struct Row {
    int tag;
    Bytes body;
    int sinceMajor;
  };
  const Row rows[] = {
      {15, {1, 0, 1}, 51}, {16, {0, 1}, 51}, {18, {0, 0, 0, 1}, 51},
      {19, {0, 1}, 53},    {20, {0, 1}, 53}, {17, {0, 0, 0, 1}, 55},
  };
  for (const Row& row : rows) {
    ClassBuilder b;
    b.Utf8("x");
    const int entry = b.Raw(row.tag, row.body);
    const int after = b.Utf8("after");
    ExpectPoolError(b, row.sinceMajor - 1, "Ivalid tag");
    auto cp = ReadPool(b, row.sinceMajor);
    ASSERT_TRUE(input.in.Done) << row.tag;
    EXPECT_EQ(cp->Tag(entry), row.tag);
    EXPECT_EQ(GetUtf8(*cp, after), "after") << row.tag;
    // The names pass reads the same bytes as a view of the input, in a class of any version.
    const Bytes pool = PoolBytes(b);
    tPoolView view;
    for (const int major : {row.sinceMajor - 1, 0x7FFFFFFF}) {
      input.Reset(Bytes(pool.begin() + 2, pool.end()));
      EXPECT_EQ(ReadEntries(input.in, pool[0] << 8 | pool[1], major, view), major >= row.sinceMajor) << row.tag;
    }
    EXPECT_EQ(view.Tag(entry), row.tag);
    EXPECT_EQ(view.Text(after), "after");
    EXPECT_EQ(view.bytes.data(), input.in.data.data());
  }
}

TEST_F(ZYNConstPoolTest, GetUtf8Errors) {
  ClassBuilder b;
  const int integer = b.Integer(1), uni = b.Unicode("u"), lng = b.Long(0, 0), text = b.Utf8("t");
  auto cp = ReadPool(b);
  const std::vector<std::pair<int, std::string>> rows = {
      {0, "Utf8 index less than 1"},
      {-1, "Utf8 index less than 1"},
      {cp->length(), "Too large Utf8 index in class file"},
      {integer, "Invalid Utf8 index in class file"},
      {uni, "Invalid Utf8 index in class file"},
      {lng + 1, "Invalid Utf8 index in class file"},
  };
  for (const auto& [index, line] : rows) {
    ExpectError([&cp, at = index] { GetUtf8(*cp, at); }, line);
    // The raw text asks no questions: anything but a Utf8 entry has none.
    EXPECT_EQ(Utf8Text(*cp, index), "") << index;
  }
  EXPECT_EQ(GetUtf8(*cp, text), "t");
  EXPECT_EQ(Utf8Text(*cp, text), "t");
}

TEST_F(ZYNConstPoolTest, GetUtf8DecodesModifiedUtf8) {
  struct Row {
    Bytes bytes;
    std::string text;
    std::size_t capacity = 80;
  };
  const std::vector<Row> rows = {
      {{'C', 'a', 'f', 0xC3, 0xA9}, "Caf\xE9"},
      {{'a', 'b', 0xC0, 0x80, 'c', 'd'}, "ab"},
      {{0x80, 'x'}, "\x80x"},
      {{0xE0, 0x81, 0x81}, "A"},
      {{0xE2, 0x82, 0xAC, 'x'}, "?x"},  // no 8-bit form
      {{'a', 0xC3}, "a?"},
      {{'a', 0xE2, 0x82}, "a?"},
      {{}, ""},
      {Bytes(100, 'a'), std::string(79, 'a')},
      {[] { Bytes e; for (int i = 0; i < 100; ++i) e.insert(e.end(), {0xC3, 0xA9}); return e; }(),
       std::string(79, '\xE9')},
      {{'S', 'o', 'u', 'r', 'c', 'e'}, "Sour", 5},
  };
  for (const Row& row : rows) {
    ClassBuilder b;
    const int index = b.Raw(1, Utf8Raw(row.bytes));
    auto cp = ReadPool(b);
    EXPECT_EQ(GetUtf8(*cp, index, row.capacity), row.text) << row.bytes.size();
    EXPECT_EQ(Utf8Text(*cp, index), std::string(row.bytes.begin(), row.bytes.end())) << row.bytes.size();
  }
}

TEST_F(ZYNConstPoolTest, MarkCountsEveryPathOfTheCascade) {
  ClassBuilder b;
  const int name = b.Utf8("m"), desc = b.Utf8("()V"), cname = b.Utf8("C");
  const int cls = b.ClassRef(cname), nat = b.NameAndType(name, desc), mr = b.Methodref(cls, nat);
  const int mh = b.MethodHandle(5, mr), str = b.String(name), integer = b.Integer(9);
  const int odd = b.ClassRef(integer);  // the kind of a named entry is not checked
  auto cp = ReadPool(b, 51);
  UnMark(m);
  Mark(m, mr);
  Mark(m, mr);
  Mark(m, str);
  Mark(m, mh);
  Mark(m, odd);
  const std::map<int, int> counts = {{name, 4}, {desc, 3}, {cname, 3}, {cls, 3}, {nat, 3}, {mr, 3},
                                     {mh, 1},   {str, 1},  {integer, 1}, {odd, 1}};
  for (const auto& [index, count] : counts) EXPECT_EQ(m.CountOf(index), count) << index;

  UnMark(m);
  for (int i = 1; i < cp->length(); ++i) {
    EXPECT_EQ(m.CountOf(i), 0);
    EXPECT_EQ(m.slots[i].newIndex, i);
  }
}

TEST_F(ZYNConstPoolTest, MarkRefusesIndexesThatNameNoEntry) {
  struct Row {
    std::function<int(ClassBuilder&)> build;  // states the pool, returns the index to mark
    std::string line;
  };
  const std::vector<Row> rows = {
      {[](ClassBuilder& b) { b.Utf8("x"); return 0; }, "Constant pool index less than 1"},
      {[](ClassBuilder& b) { b.Utf8("x"); return -3; }, "Constant pool index less than 1"},
      {[](ClassBuilder& b) { return b.Utf8("x") + 1; }, "Too large constant pool index"},
      {[](ClassBuilder& b) { b.Utf8("x"); return b.Long(0, 0) + 1; },
       "Constant pool index 3 names the second slot of a Long or Double"},
      {[](ClassBuilder& b) { return b.String(0); }, "Constant pool index less than 1"},
      {[](ClassBuilder& b) { return b.String(2); }, "Too large constant pool index"},
      {[](ClassBuilder& b) { const int d = b.Double(0, 0); return b.ClassRef(d + 1); },
       "Constant pool index 2 names the second slot of a Long or Double"},
      {[](ClassBuilder& b) { return b.ClassRef(1); }, "Constant pool entry 1 refers to itself"},
      {[](ClassBuilder& b) { const int c = b.ClassRef(2); b.String(c); return c; },
       "Constant pool entry 1 refers to itself"},
      {[](ClassBuilder& b) { return b.NameAndType(b.Utf8("n"), 2); }, "Constant pool entry 2 refers to itself"},
      {[](ClassBuilder& b) { for (int i = 2; i <= 6; ++i) b.String(i); b.Utf8("end"); return 1; },
       "Too deep constant pool reference at entry 5"},
  };
  for (std::size_t i = 0; i < rows.size(); ++i) {
    ClassBuilder b;
    const int index = rows[i].build(b);
    auto cp = ReadPool(b);
    ASSERT_TRUE(input.in.Done) << i;
    ExpectError([&] { Mark(m, index); }, rows[i].line);
  }
}

TEST_F(ZYNConstPoolTest, ADeferredMarkingCountsAsTheCascadeAndRefusesTheSameIndexes) {
  ClassBuilder b;
  const int cls = b.Class("C"), nat = b.NameAndType(b.Utf8("m"), b.Utf8("()V"));
  const int method = b.Methodref(cls, nat), field = b.Fieldref(cls, b.NameAndType(b.Utf8("f"), b.Utf8("I")));
  const std::vector<int> marked = {method, method, field, cls, b.Integer(7)};
  std::vector<std::int32_t> cascaded;
  for (const bool deferred : {false, true}) {
    auto cp = ReadPool(b);
    UnMark(m);
    {
      std::optional<tDeferredMarking> deferral;
      if (deferred) deferral.emplace(m);
      EXPECT_EQ(m.deferCascade, deferred);
      for (const int index : marked) Mark(m, index);
      for (const auto& [index, line] : {std::pair{0, "Constant pool index less than 1"},
                                        std::pair{cp->length(), "Too large constant pool index"}})
        ExpectError([&, at = index] { Mark(m, at); }, line);
      if (deferral) deferral->Finish();
    }
    std::vector<std::int32_t> counts;
    for (int i = 1; i < cp->length(); ++i) counts.push_back(MarkOf(m, i));
    if (!deferred) cascaded = counts;
    else EXPECT_EQ(counts, cascaded);
  }
  EXPECT_EQ(cascaded[static_cast<std::size_t>(cls - 1)], 4);  // itself and three references
}

TEST_F(ZYNConstPoolTest, MarkAllKeepsCountsAndChecksReferences) {
  ClassBuilder b;
  const int text = b.Utf8("C"), cls = b.ClassRef(text), integer = b.Integer(3);
  auto cp = ReadPool(b);
  UnMark(m);
  Mark(m, cls);
  Mark(m, cls);
  MarkAll(m);
  EXPECT_EQ(m.CountOf(cls), 2);
  EXPECT_EQ(m.CountOf(text), 2);
  EXPECT_EQ(m.CountOf(integer), 1);

  const std::vector<std::pair<std::function<void(ClassBuilder&)>, std::string>> rows = {
      {[](ClassBuilder& p) { p.String(0); }, "Constant pool index less than 1"},
      {[](ClassBuilder& p) { p.Integer(1); p.ClassRef(9); }, "Too large constant pool index"},
      {[](ClassBuilder& p) { p.Long(0, 0); p.NameAndType(1, 2); },
       "Constant pool index 2 names the second slot of a Long or Double"},
  };
  for (const auto& [build, line] : rows) {
    ClassBuilder p;
    build(p);
    auto bad = ReadPool(p);
    ExpectError([&] { MarkAll(m); }, line);
  }
}

TEST_F(ZYNConstPoolTest, RenumberingClosesGapsAndCountsDroppedBytes) {
  ClassBuilder b;
  const int ten = b.Utf8("0123456789"), lng = b.Long(0x11, 0x22), cls = b.Class("K");
  const int dbl = b.Double(1, 2), integer = b.Integer(0x33);
  auto cp = ReadPool(b);
  UnMark(m);
  Mark(m, lng);
  Mark(m, cls);
  Mark(m, integer);
  std::int32_t dropped = -1, bytes = -1;
  RenumUnUsed(m, dropped, bytes);
  EXPECT_EQ(dropped, 2);
  EXPECT_EQ(bytes, 13 + 9);
  const std::map<int, int> renumbered = {{ten, 0}, {lng, 1}, {cls - 1, 3}, {cls, 4}, {dbl, 0}, {integer, 5}};
  for (const auto& [index, newIndex] : renumbered) EXPECT_EQ(m.slots[index].newIndex, newIndex) << index;
  EXPECT_EQ(m.NewIndexOf(cls), 4);
  ExpectError([&] { m.NewIndexOf(ten); }, "Internal error: unmarked constant pool index 1");
  ExpectError([&] { m.NewIndexOf(lng + 1); }, "Constant pool index 3 names the second slot of a Long or Double");
  ExpectError([&] { m.NewIndexOf(integer + 1); }, "Too large constant pool index");
  EXPECT_EQ(Emitted([&](FileModule::tOutput& out) { WriteConstPool(m, out); }),
            ByteWriter().u2(6).u1(5).u4(0x11).u4(0x22).u1(1).u2(1).text("K").u1(7).u2(3).u1(3).u4(0x33).bytes);
}

TEST_F(ZYNConstPoolTest, NothingMarkedWritesAnEmptyPool) {
  ClassBuilder b;
  b.Utf8("abc");
  b.Double(0, 0);
  b.Class("X");
  auto cp = ReadPool(b);
  UnMark(m);
  std::int32_t dropped = 0, bytes = 0;
  RenumUnUsed(m, dropped, bytes);
  EXPECT_EQ(dropped, 4);
  EXPECT_EQ(bytes, 6 + 9 + 4 + 3);
  EXPECT_EQ(Emitted([&](FileModule::tOutput& out) { WriteConstPool(m, out); }), (Bytes{0, 1}));
}

TEST_F(ZYNConstPoolTest, ReplaceMemRefNameRepointsTheSharedNameAndType) {
  ClassBuilder b;
  const int n = b.Utf8("run"), d = b.Utf8("()V"), n2 = b.Utf8("go");
  const int nat = b.NameAndType(n, d);
  const int mrC = b.Methodref(b.Class("C"), nat), mrD = b.Methodref(b.Class("D"), nat);
  auto cp = ReadPool(b);
  UnMark(m);
  for (int ref : {mrC, mrD}) Mark(m, ref);
  ReplaceMemRefName(*cp, mrC, n2);
  // Every reference sharing the NameAndType follows; counts are not touched.
  EXPECT_EQ(NameAndTypeAt(*cp, nat)->nameIndex, n2);
  EXPECT_EQ(m.CountOf(n), 2);
  EXPECT_EQ(m.CountOf(n2), 0);
}

TEST_F(ZYNConstPoolTest, GetIdentsListsInUseIdentifierNames) {
  ClassBuilder b;
  const int count = b.Utf8("count"), x2 = b.Utf8("x2");
  for (const char* text : {"2x", "my_var", "<init>", "", "caf\xC3\xA9", "a$b"}) b.Utf8(text);
  const int self = b.Class("Self"), super = b.Class("Super");
  const int unused = b.Utf8("unused");
  auto cp = ReadPool(b);
  UnMark(m);
  for (int i = 1; i < unused; ++i) Mark(m, i);
  std::vector<std::int32_t> idents;
  GetIdents(m, idents, self, super, {100});
  ASSERT_EQ(idents.size(), 100u);
  EXPECT_EQ(idents[0], count);
  EXPECT_EQ(idents[1], x2);
  EXPECT_EQ(idents[2], 0);
  GetIdents(m, idents, self, 0, {100});
  EXPECT_EQ(std::vector<std::int32_t>(idents.begin(), idents.begin() + 4),
            (std::vector<std::int32_t>{count, x2, super - 1, 0}));

  // More qualifying entries than the array holds: the lowest n - 1 indexes, then 0.
  ClassBuilder many;
  const int first = many.Class("Self");
  for (int i = 0; i < 120; ++i) many.Utf8("n" + std::to_string(i));
  cp = ReadPool(many);
  UnMark(m);
  for (int i = 1; i < cp->length(); ++i) Mark(m, i);
  GetIdents(m, idents, first, 0, {100});
  ASSERT_EQ(idents.size(), 100u);
  for (int k = 0; k < 99; ++k) EXPECT_EQ(idents[k], first + 1 + k);
  EXPECT_EQ(idents[99], 0);
}

TEST_F(ZYNConstPoolTest, ReplaceUtfShortensInPlace) {
  ClassBuilder b;
  const int counter = b.Utf8("counter");
  b.Utf8("padding");
  auto cp = ReadPool(b);
  std::int32_t saved = 0;
  ReplaceUtf(*cp, counter, "b", saved);
  EXPECT_EQ(saved, 6);
  EXPECT_EQ(SizeOf(*cp, counter), 4);
  EXPECT_EQ(Utf8Text(*cp, counter), "b");
  UnMark(m);
  Mark(m, counter);
  std::int32_t dropped = 0, bytes = 0;
  RenumUnUsed(m, dropped, bytes);
  EXPECT_EQ(Emitted([&](FileModule::tOutput& out) { WriteConstPool(m, out); }), (Bytes{0, 2, 1, 0, 1, 'b'}));
}

}  // namespace
