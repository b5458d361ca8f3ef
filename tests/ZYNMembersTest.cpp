// The member pass on classes stated byte by byte: which private members fall away, which are renamed, where
// their new names come from, and which malformed files it refuses before changing anything.
#include <functional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "ZYNConstPool.h"
#include "ZYNData.h"
#include "ZYNMap.h"

namespace {

using ZYNClass::memberInfo;
using ZYNClass::tClassDesc;

constexpr int kPublic = 0x0001, kPrivate = 0x0002, kProtected = 0x0004, kStatic = 0x0008;
constexpr int kPrivateStatic = kPrivate | kStatic;

constexpr std::uint8_t kLdcW = 0x13, kPop = 0x57, kReturn = 0xB1, kGetStatic = 0xB2, kInvokeStatic = 0xB8;

// A class whose pool starts with "Code", the class itself and its super class.
struct Shape {
  ClassBuilder b;
  int code;
  int self;
  int base;

  explicit Shape(std::string_view thisName = "Sample", std::string_view superName = "java/lang/Object") {
    code = b.Utf8("Code");
    self = b.Class(thisName);
    base = b.Class(superName);
    b.This(self).Super(base);
  }
  int FieldRef(int name, int descriptor) { return b.Fieldref(self, b.NameAndType(name, descriptor)); }
  int MethodRef(int name, int descriptor) { return b.Methodref(self, b.NameAndType(name, descriptor)); }
  // A Code attribute running the instructions and returning.
  Bytes Code(const Bytes& instructions) const { return Attribute(code, CodeBody(Join({instructions, {kReturn}}))); }
  // getstatic and pop for every field reference.
  static Bytes ReadAll(const std::vector<int>& refs) {
    Bytes code;
    for (int ref : refs) {
      const Bytes one = Join({Ins(kGetStatic, ref), {kPop}});
      code.insert(code.end(), one.begin(), one.end());
    }
    return code;
  }
};

std::unique_ptr<tClassDesc> Read(const ClassBuilder& b) { return ReadBytes(b.Build()); }

// The class a shape builds, read and through the member pass with the default keys.
std::unique_ptr<tClassDesc> Reduced(const std::function<void(Shape&)>& build, std::int32_t& bytes) {
  Shape s;
  build(s);
  auto cls = Read(s.b);
  if (cls != nullptr) ZYNClass::ReduceMembers(*cls, {}, bytes);
  return cls;
}

// An annotations attribute of the kind holding one annotation of the type, without values.
Bytes Annotated(ClassBuilder& b, std::string_view kind, std::string_view type) {
  return Attribute(b.Utf8(kind), ByteWriter().u2(1).u2(b.Utf8(type)).u2(0).bytes);
}

// An anonymous class of a Kotlin library with its SMAP, and private methods that nothing in it calls but that
// kotlinc inlines from it: an inline-only function and its $default bridge, the getter of an inline-only
// property, a function with a reified type parameter. getSign and helper are only private and unused.
void KotlinLibraryClass(Shape& s, bool metadata) {
  s.b.Version(50);
  if (metadata) s.b.ClassAttr(Annotated(s.b, "RuntimeVisibleAnnotations", "Lkotlin/Metadata;"));
  s.b.ClassAttr(Attribute(s.b.Utf8("EnclosingMethod"), ByteWriter().u2(s.b.Class("p/Outer")).u2(0).bytes));
  s.b.ClassAttr(Attribute(s.b.Utf8("SourceFile"), ByteWriter().u2(s.b.Utf8("Lib.kt")).bytes));
  s.b.ClassAttr(Attribute(s.b.Utf8("SourceDebugExtension"), ByteWriter().text("SMAP").bytes));
  const Bytes inlineOnly = Annotated(s.b, "RuntimeInvisibleAnnotations", "Lkotlin/internal/InlineOnly;");
  const int v = s.b.Utf8("()V"), dd = s.b.Utf8("(D)D"), marker = s.b.Methodref(
      s.b.Class("kotlin/jvm/internal/Intrinsics"), s.b.NameAndType(s.b.Utf8("reifiedOperationMarker"), v));
  s.b.Method(kPrivateStatic, s.b.Utf8("TODO"), v, {s.Code({}), inlineOnly});
  s.b.Method(kPrivateStatic, s.b.Utf8("TODO$default"), v, {s.Code({})});
  s.b.Method(kPublic | kStatic, s.b.Utf8("absoluteValue$annotations"), s.b.Utf8("(D)V"), {s.Code({}), inlineOnly});
  s.b.Method(kPrivateStatic, s.b.Utf8("getAbsoluteValue"), dd, {s.Code({})});
  s.b.Method(kPrivateStatic, s.b.Utf8("getSign"), dd, {s.Code({})});
  s.b.Method(kPrivateStatic, s.b.Utf8("filterIsInstance"), v, {s.Code(Ins(kInvokeStatic, marker))});
  s.b.Method(kPrivateStatic, s.b.Utf8("helper"), v, {s.Code({})});
}

std::string NameOf(const tClassDesc& cls, const memberInfo& member) {
  return ZYNConstPool::GetUtf8(*cls.cp, member.nameIndex);
}

std::vector<std::string> PresentNames(const tClassDesc& cls, const std::vector<memberInfo>& members) {
  std::vector<std::string> names;
  for (const memberInfo& m : members)
    if (m.present) names.push_back(NameOf(cls, m));
  return names;
}

// The name that a member reference's NameAndType gives.
std::string RefName(const tClassDesc& cls, int ref) {
  const auto member = ZYNConstPool::MemberRefAt(*cls.cp, ref);
  const auto nat = ZYNConstPool::NameAndTypeAt(*cls.cp, member->nameAndTypeIndex);
  return ZYNConstPool::GetUtf8(*cls.cp, nat->nameIndex);
}

using MemberPassTest = ::testing::Test;

// --- Removal -------------------------------------------------------------------------------------------

TEST_F(MemberPassTest, ChainOfPrivateMethodsFallsAwayLinkByLink) {
  ZYNData::tParams removal;
  removal.noren = true;  // removal alone
  for (int length : {1, 2, 3, 5}) {
    for (bool reversed : {false, true}) {
      SCOPED_TRACE("length " + std::to_string(length) + (reversed ? " reversed" : ""));
      Shape s;
      const int v = s.b.Utf8("()V");
      std::vector<int> names, refs;
      for (int i = 0; i < length; ++i) {
        names.push_back(s.b.Utf8("step" + std::to_string(i)));
        refs.push_back(s.MethodRef(names.back(), v));
      }
      const int keep = s.b.Utf8("keep");
      s.b.Method(kPublic | kStatic, keep, v, {s.Code({})});
      // step i calls step i + 1; nothing calls step 0. Each link needs a round of its own, whatever the
      // order of declaration.
      for (int n = 0; n < length; ++n) {
        const int i = reversed ? length - 1 - n : n;
        const Bytes call = i + 1 < length ? Ins(kInvokeStatic, refs[i + 1]) : Bytes{};
        s.b.Method(kPrivateStatic, names[i], v, {s.Code(call)});
      }
      auto cls = Read(s.b);
      ASSERT_NE(cls, nullptr);
      std::int32_t bytes = -1;
      ZYNClass::ReduceMembers(*cls, removal, bytes);
      // A removed member counts its attributes too: 8 + a Code of 19 bytes (return) or 22 (a call first).
      EXPECT_EQ(bytes, 30 * (length - 1) + 27);
      EXPECT_EQ(cls->methodCount, 1);
      EXPECT_EQ(PresentNames(*cls, cls->methods), std::vector<std::string>{"keep"});
    }
  }
}

struct RemovalCase {
  const char* what;
  std::function<void(Shape&)> build;
  std::vector<std::string> fields, methods;
  int bytes;
};

TEST_F(MemberPassTest, RemovesExactlyThePrivateMembersNothingRefersTo) {
  const RemovalCase cases[] = {
      {"a chain reached from a public method stays",
       [](Shape& s) {
         const int v = s.b.Utf8("()V"), a = s.b.Utf8("first"), b = s.b.Utf8("second"), run = s.b.Utf8("run");
         const int ra = s.MethodRef(a, v), rb = s.MethodRef(b, v);
         s.b.Method(kPublic | kStatic, run, v, {s.Code(Ins(kInvokeStatic, ra))});
         s.b.Method(kPrivateStatic, a, v, {s.Code(Ins(kInvokeStatic, rb))});
         s.b.Method(kPrivateStatic, b, v, {s.Code({})});
       },
       {}, {"run", "first", "second"}, 0},
      {"a self-calling private method stays",
       [](Shape& s) {
         const int v = s.b.Utf8("()V"), loop = s.b.Utf8("loop");
         s.b.Method(kPrivateStatic, loop, v, {s.Code(Ins(kInvokeStatic, s.MethodRef(loop, v)))});
       },
       {}, {"loop"}, 0},
      {"the caller of a self-calling method goes, the method stays",
       [](Shape& s) {
         const int v = s.b.Utf8("()V"), a = s.b.Utf8("caller"), b = s.b.Utf8("loop");
         const int rb = s.MethodRef(b, v);
         s.b.Method(kPrivateStatic, a, v, {s.Code(Ins(kInvokeStatic, rb))});
         s.b.Method(kPrivateStatic, b, v, {s.Code(Ins(kInvokeStatic, rb))});
       },
       {}, {"loop"}, 30},
      {"two private methods calling each other stay",
       [](Shape& s) {
         const int v = s.b.Utf8("()V"), a = s.b.Utf8("ping"), b = s.b.Utf8("pong");
         const int ra = s.MethodRef(a, v), rb = s.MethodRef(b, v);
         s.b.Method(kPrivateStatic, a, v, {s.Code(Ins(kInvokeStatic, rb))});
         s.b.Method(kPrivateStatic, b, v, {s.Code(Ins(kInvokeStatic, ra))});
       },
       {}, {"ping", "pong"}, 0},
      {"an unused private field goes and counts its attributes too",
       [](Shape& s) {
         const int cv = s.b.Utf8("ConstantValue"), value = s.b.Integer(7);
         const int name = s.b.Utf8("unused"), i = s.b.Utf8("I");
         s.b.Field(kPrivateStatic | 0x0010, name, i, {Attribute(cv, ByteWriter().u2(value).bytes)});
       },
       {}, {}, 16},
      {"a private field read by a public method stays",
       [](Shape& s) {
         const int i = s.b.Utf8("I"), f = s.b.Utf8("used"), v = s.b.Utf8("()V"), run = s.b.Utf8("run");
         s.b.Field(kPrivateStatic, f, i);
         s.b.Method(kPublic | kStatic, run, v, {s.Code(Shape::ReadAll({s.FieldRef(f, i)}))});
       },
       {"used"}, {"run"}, 0},
      {"a field read only by an unused private method goes after it",
       [](Shape& s) {
         const int i = s.b.Utf8("I"), f = s.b.Utf8("data"), v = s.b.Utf8("()V"), m = s.b.Utf8("reader");
         s.b.Field(kPrivateStatic, f, i);
         s.b.Method(kPrivateStatic, m, v, {s.Code(Shape::ReadAll({s.FieldRef(f, i)}))});
       },
       {}, {}, 39},
      {"a call with another descriptor does not keep a private method",
       [](Shape& s) {
         const int v = s.b.Utf8("()V"), iv = s.b.Utf8("(I)V"), m = s.b.Utf8("work"), run = s.b.Utf8("run");
         s.b.Method(kPublic | kStatic, run, v, {s.Code(Ins(kInvokeStatic, s.MethodRef(m, v)))});
         s.b.Method(kPrivateStatic, m, iv, {s.Code({})});
       },
       {}, {"run"}, 27},
      {"public, protected and package members stay even when unused",
       [](Shape& s) {
         const int i = s.b.Utf8("I"), v = s.b.Utf8("()V");
         s.b.Field(kPublic, s.b.Utf8("pub"), i).Field(kProtected, s.b.Utf8("prot"), i).Field(0, s.b.Utf8("pack"), i);
         s.b.Method(kPublic, s.b.Utf8("mpub"), v, {s.Code({})});
         s.b.Method(kProtected, s.b.Utf8("mprot"), v, {s.Code({})});
         s.b.Method(kStatic, s.b.Utf8("mpack"), v, {s.Code({})});
       },
       {"pub", "prot", "pack"}, {"mpub", "mprot", "mpack"}, 0},
      {"the JVM calls $deserializeLambda$ by name: it stays, the same name with another descriptor goes",
       [](Shape& s) {
         const int name = s.b.Utf8("$deserializeLambda$");
         const int lambda = s.b.Utf8("(Ljava/lang/invoke/SerializedLambda;)Ljava/lang/Object;");
         s.b.Method(kPrivateStatic, name, lambda, {s.Code({})});
         s.b.Method(kPrivateStatic, name, s.b.Utf8("()V"), {s.Code({})});
       },
       {}, {"$deserializeLambda$"}, 27},
      {"in a Kotlin class, what kotlinc inlines stays",
       [](Shape& s) { KotlinLibraryClass(s, true); },
       {}, {"TODO", "TODO$default", "absoluteValue$annotations", "getAbsoluteValue", "filterIsInstance"}, 27 + 27},
      {"the same methods without Kotlin's metadata go", [](Shape& s) { KotlinLibraryClass(s, false); },
       {}, {"absoluteValue$annotations"}, 39 + 27 + 27 + 27 + 30 + 27},
  };
  ZYNData::tParams removal;
  removal.noren = true;  // removal alone
  for (const RemovalCase& c : cases) {
    SCOPED_TRACE(c.what);
    Shape s;
    c.build(s);
    auto cls = Read(s.b);
    ASSERT_NE(cls, nullptr);
    std::int32_t bytes = -1;
    ZYNClass::ReduceMembers(*cls, removal, bytes);
    EXPECT_EQ(bytes, c.bytes);
    EXPECT_EQ(PresentNames(*cls, cls->fields), c.fields);
    EXPECT_EQ(PresentNames(*cls, cls->methods), c.methods);
    EXPECT_EQ(cls->fieldCount, static_cast<std::int32_t>(c.fields.size()));
    EXPECT_EQ(cls->methodCount, static_cast<std::int32_t>(c.methods.size()));
  }
}

// --- Renaming ------------------------------------------------------------------------------------------

// Private static int[] fields with these names, all read by the public method run; the identifiers left for
// renaming are then "Code" alone.
struct FieldClass {
  Shape s;
  std::vector<int> refs;
  std::vector<int> methodRefs;

  explicit FieldClass(const std::vector<std::string>& names, const std::vector<std::string>& privateMethods = {}) {
    std::vector<int> nameIndexes;
    for (const std::string& n : names) nameIndexes.push_back(s.b.Utf8(n));
    const int array = s.b.Utf8("[I");
    for (std::size_t i = 0; i < names.size(); ++i) {
      refs.push_back(s.FieldRef(nameIndexes[i], array));
      s.b.Field(kPrivateStatic, nameIndexes[i], array);
    }
    const int run = s.b.Utf8("run"), v = s.b.Utf8("()V");
    Bytes calls;
    std::vector<int> methodNames;
    for (const std::string& m : privateMethods) {
      methodNames.push_back(s.b.Utf8(m));
      methodRefs.push_back(s.MethodRef(methodNames.back(), v));
      const Bytes call = Ins(kInvokeStatic, methodRefs.back());
      calls.insert(calls.end(), call.begin(), call.end());
    }
    s.b.Method(kPublic | kStatic, run, v, {s.Code(Join({Shape::ReadAll(refs), calls}))});
    for (int m : methodNames) s.b.Method(kPrivateStatic, m, v, {s.Code({})});
  }
};

struct NameCase {
  std::vector<std::string> fields;
  std::vector<std::string> methods;
  std::vector<std::string> newFields, newMethods;
  int bytes;
};

TEST_F(MemberPassTest, NewNamesComeFromIdentifiersThenFreeLetters) {
  const NameCase cases[] = {
      // The pool's identifier "Code" first, costing nothing here (the pool pass drops the old name).
      {{"alpha"}, {}, {"Code"}, {}, 0},
      // Then letters written over the member's own name: old length - 1 bytes each.
      {{"alpha", "beta"}, {}, {"Code", "A"}, {}, 3},
      {{"alpha", "beta", "gamma"}, {}, {"Code", "A", "B"}, {}, 7},
      // A name that is no identifier is renamed too; a one-letter name keeps its letter (another one would
      // save nothing, and a second run would rename it again).
      {{"my_field", "x"}, {}, {"Code", "x"}, {}, 0},
      // "A" is free once its field took "Code": its entry, still in use, is shared instead of edited.
      {{"A", "beta"}, {}, {"Code", "A"}, {}, 0},
      {{"beta", "A"}, {}, {"Code", "A"}, {}, 0},
      // "B" stays; "A", not given to it, goes to the next member.
      {{"alpha", "B", "gamma"}, {}, {"Code", "B", "A"}, {}, 4},
      // Fields and methods share the sources: fields first.
      {{"alpha"}, {"helper"}, {"Code"}, {"run", "A"}, 5},
      {{}, {"helper", "worker"}, {}, {"run", "Code", "A"}, 5},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.fields) + " " + ::testing::PrintToString(c.methods));
    FieldClass fc(c.fields, c.methods);
    auto cls = Read(fc.s.b);
    ASSERT_NE(cls, nullptr);
    std::int32_t bytes = -1;
    ZYNClass::ReduceMembers(*cls, {}, bytes);
    EXPECT_EQ(bytes, c.bytes);
    EXPECT_EQ(PresentNames(*cls, cls->fields), c.newFields);
    EXPECT_EQ(PresentNames(*cls, cls->methods), c.methods.empty() ? std::vector<std::string>{"run"} : c.newMethods);
    // Every reference follows its member.
    for (std::size_t i = 0; i < fc.refs.size(); ++i) EXPECT_EQ(RefName(*cls, fc.refs[i]), c.newFields[i]);
    for (std::size_t i = 0; i < fc.methodRefs.size(); ++i)
      EXPECT_EQ(RefName(*cls, fc.methodRefs[i]), c.newMethods[i + 1]);
  }
}

TEST_F(MemberPassTest, IdentifiersAreHandedOutInListOrderAfterMemberNamesAreTakenOut) {
  Shape s;
  const int first = s.b.Utf8("first"), i = s.b.Utf8("I"), second = s.b.Utf8("second");
  const int extra = s.b.String(s.b.Utf8("Extra"));
  const int third = s.b.Utf8("third");
  const int r1 = s.FieldRef(first, i), r2 = s.FieldRef(second, i), r3 = s.FieldRef(third, i);
  const int run = s.b.Utf8("run"), v = s.b.Utf8("()V");
  s.b.Field(kPrivateStatic, first, i).Field(kPrivateStatic, second, i).Field(kPrivateStatic, third, i);
  s.b.Method(kPublic | kStatic, run, v, {s.Code(Join({Shape::ReadAll({r1, r2, r3}), Ins(kLdcW, extra), {kPop}}))});
  auto cls = Read(s.b);
  ASSERT_NE(cls, nullptr);
  std::int32_t bytes = -1;
  ZYNClass::ReduceMembers(*cls, {}, bytes);
  // Pool order would give Code, I, Extra; taking out first, second, third and run moves the last entries
  // into the freed places: Code, Extra, I.
  EXPECT_EQ(PresentNames(*cls, cls->fields), (std::vector<std::string>{"Code", "Extra", "I"}));
  EXPECT_EQ(RefName(*cls, r1), "Code");
  EXPECT_EQ(RefName(*cls, r2), "Extra");
  EXPECT_EQ(RefName(*cls, r3), "I");
  EXPECT_EQ(bytes, 0);
  // The old names lose every reference and are left to the pool pass.
  const Bytes written = WriteMarked(*cls);
  const std::string text(written.begin(), written.end());
  for (const char* gone : {"first", "second", "third"}) EXPECT_EQ(text.find(gone), std::string::npos) << gone;
  EXPECT_NE(text.find("Extra"), std::string::npos);
}

TEST_F(MemberPassTest, LettersSkipNamesOfTheClassItsSuperAndItsMembers) {
  // This class is named A, its super class B, a public field D.
  Shape s("A", "B");
  const int c = s.b.Utf8("C"), array = s.b.Utf8("[I"), counter = s.b.Utf8("counter"), value = s.b.Utf8("value");
  const int d = s.b.Utf8("D");
  const int rc = s.FieldRef(c, array), rcounter = s.FieldRef(counter, array), rvalue = s.FieldRef(value, array);
  const int run = s.b.Utf8("run"), v = s.b.Utf8("()V");
  s.b.Field(kPrivateStatic, c, array).Field(kPrivateStatic, counter, array).Field(kPrivateStatic, value, array);
  s.b.Field(kPublic | kStatic, d, array);
  s.b.Method(kPublic | kStatic, run, v, {s.Code(Shape::ReadAll({rc, rcounter, rvalue}))});
  auto cls = Read(s.b);
  ASSERT_NE(cls, nullptr);
  // B is a class of the run that declares no member: the class may take any name.
  ZYNHierarchy::tRunFacts known;
  ZYNHierarchy::tClassNames b;
  b.name = "B";
  known.Add(b);
  cls->facts = &known;
  std::int32_t bytes = -1;
  ZYNClass::ReduceMembers(*cls, {}, bytes);
  // C takes "Code"; counter skips A and B and shares the entry "C" that C left; value skips D and gets E
  // written over its own entry (5 - 1 bytes).
  EXPECT_EQ(PresentNames(*cls, cls->fields), (std::vector<std::string>{"Code", "C", "E", "D"}));
  EXPECT_EQ(cls->fields[1].nameIndex, c);
  EXPECT_EQ(cls->fields[2].nameIndex, value);
  EXPECT_EQ(RefName(*cls, rcounter), "C");
  EXPECT_EQ(RefName(*cls, rvalue), "E");
  EXPECT_EQ(bytes, 4);
}

struct KeepCase {
  const char* what;
  std::function<void(Shape&)> build;
  std::vector<std::string> fields, methods;
};

TEST_F(MemberPassTest, NamesServingMoreThanTheMemberAreKept) {
  const KeepCase cases[] = {
      {"overloads sharing one name entry",
       [](Shape& s) {
         const int m = s.b.Utf8("work"), iv = s.b.Utf8("(I)V"), jv = s.b.Utf8("(J)V");
         const int v = s.b.Utf8("()V"), run = s.b.Utf8("run");
         const int r1 = s.MethodRef(m, iv), r2 = s.MethodRef(m, jv);
         s.b.Method(kPublic | kStatic, run, v, {s.Code(Join({Ins(kInvokeStatic, r1), Ins(kInvokeStatic, r2)}))});
         s.b.Method(kPrivateStatic, m, iv, {s.Code({})}).Method(kPrivateStatic, m, jv, {s.Code({})});
       },
       {}, {"run", "work", "work"}},
      {"an overload whose twin went is renamed",
       [](Shape& s) {
         const int m = s.b.Utf8("work"), iv = s.b.Utf8("(I)V"), jv = s.b.Utf8("(J)V");
         const int v = s.b.Utf8("()V"), run = s.b.Utf8("run");
         s.b.Method(kPublic | kStatic, run, v, {s.Code(Ins(kInvokeStatic, s.MethodRef(m, iv)))});
         s.b.Method(kPrivateStatic, m, iv, {s.Code({})}).Method(kPrivateStatic, m, jv, {s.Code({})});
       },
       {}, {"run", "Code"}},
      {"a name that is also a used string constant",
       [](Shape& s) {
         const int f = s.b.Utf8("label"), array = s.b.Utf8("[I"), str = s.b.String(f);
         const int v = s.b.Utf8("()V"), run = s.b.Utf8("run");
         s.b.Field(kPrivateStatic, f, array);
         s.b.Method(kPublic | kStatic, run, v,
                    {s.Code(Join({Shape::ReadAll({s.FieldRef(f, array)}), Ins(kLdcW, str), {kPop}}))});
       },
       {"label"}, {"run"}},
      {"two references sharing one NameAndType",
       [](Shape& s) {
         const int f = s.b.Utf8("shared"), array = s.b.Utf8("[I"), nat = s.b.NameAndType(f, array);
         const int other = s.b.Class("Other"), v = s.b.Utf8("()V"), run = s.b.Utf8("run");
         const int own = s.b.Fieldref(s.self, nat), foreign = s.b.Fieldref(other, nat);
         s.b.Field(kPrivateStatic, f, array);
         s.b.Method(kPublic | kStatic, run, v, {s.Code(Shape::ReadAll({own, foreign}))});
       },
       {"shared"}, {"run"}},
      {"public, protected and package members",
       [](Shape& s) {
         const int array = s.b.Utf8("[I"), a = s.b.Utf8("pub"), b = s.b.Utf8("prot"), c = s.b.Utf8("pack");
         const int v = s.b.Utf8("()V"), run = s.b.Utf8("run");
         s.b.Field(kPublic | kStatic, a, array).Field(kProtected | kStatic, b, array).Field(kStatic, c, array);
         s.b.Method(kPublic | kStatic, run, v,
                    {s.Code(Shape::ReadAll({s.FieldRef(a, array), s.FieldRef(b, array), s.FieldRef(c, array)}))});
       },
       {"pub", "prot", "pack"}, {"run"}},
      {"$deserializeLambda$, which the JVM finds by name",
       [](Shape& s) {
         const int name = s.b.Utf8("$deserializeLambda$");
         const int lambda = s.b.Utf8("(Ljava/lang/invoke/SerializedLambda;)Ljava/lang/Object;");
         const int v = s.b.Utf8("()V"), run = s.b.Utf8("run");
         s.b.Method(kPublic | kStatic, run, v, {s.Code(Join({Ins(kInvokeStatic, s.MethodRef(name, lambda)), {kPop}}))});
         s.b.Method(kPrivateStatic, name, lambda, {s.Code({})});
       },
       {}, {"run", "$deserializeLambda$"}},
  };
  for (const KeepCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::int32_t bytes = -1;
    auto cls = Reduced(c.build, bytes);
    ASSERT_NE(cls, nullptr);
    EXPECT_EQ(PresentNames(*cls, cls->fields), c.fields);
    EXPECT_EQ(PresentNames(*cls, cls->methods), c.methods);
  }
}

TEST_F(MemberPassTest, NorenStillRemovesButRenamesNothing) {
  Shape s;
  const int array = s.b.Utf8("[I"), used = s.b.Utf8("used"), unused = s.b.Utf8("unused");
  const int v = s.b.Utf8("()V"), run = s.b.Utf8("run"), helper = s.b.Utf8("helper");
  const int ref = s.FieldRef(used, array), call = s.MethodRef(helper, v);
  s.b.Field(kPrivateStatic, used, array).Field(kPrivateStatic, unused, array);
  s.b.Method(kPublic | kStatic, run, v, {s.Code(Join({Shape::ReadAll({ref}), Ins(kInvokeStatic, call)}))});
  s.b.Method(kPrivateStatic, helper, v, {s.Code({})});
  for (bool noren : {true, false}) {
    SCOPED_TRACE(noren ? "-noren" : "renaming");
    ZYNData::tParams params;
    params.noren = noren;
    auto cls = Read(s.b);
    ASSERT_NE(cls, nullptr);
    std::int32_t bytes = -1;
    ZYNClass::ReduceMembers(*cls, params, bytes);
    EXPECT_EQ(PresentNames(*cls, cls->fields), std::vector<std::string>{noren ? "used" : "Code"});
    EXPECT_EQ(PresentNames(*cls, cls->methods), (std::vector<std::string>{"run", noren ? "helper" : "A"}));
    EXPECT_EQ(bytes, noren ? 8 : 8 + 5);
  }
}

TEST_F(MemberPassTest, MembersBeyondAllNameSourcesKeepTheirNames) {
  std::vector<std::string> names, expected;
  for (int i = 0; i < 60; ++i) names.push_back("field" + std::string(i < 10 ? "0" : "") + std::to_string(i));
  const std::string letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  expected.push_back("Code");
  for (char ch : letters) expected.emplace_back(1, ch);
  for (int i = 53; i < 60; ++i) expected.push_back(names[i]);
  FieldClass fc(names);
  auto cls = Read(fc.s.b);
  ASSERT_NE(cls, nullptr);
  std::int32_t bytes = -1;
  ZYNClass::ReduceMembers(*cls, {}, bytes);
  EXPECT_EQ(PresentNames(*cls, cls->fields), expected);
  EXPECT_EQ(bytes, 52 * 6);
}

// A second run over a result renames nothing: the names the first run gave are those the second would give.
TEST_F(MemberPassTest, ARunOverItsOwnResultRenamesNothing) {
  struct Case {
    const char* what;
    std::function<void(Shape&)> build;
    std::vector<std::string> fields;  // as the first run leaves them
  };
  // Private static int[] fields read by a public method, their names first in the pool.
  const auto fields = [](Shape& s, const std::vector<std::string>& names, int descriptor) {
    std::vector<int> refs;
    for (const std::string& n : names) {
      const int name = s.b.Utf8(n);
      refs.push_back(s.FieldRef(name, descriptor));
      s.b.Field(kPrivateStatic, name, descriptor);
    }
    return refs;
  };
  const auto run = [](Shape& s, const Bytes& code) {
    s.b.Method(kPublic | kStatic, s.b.Utf8("run"), s.b.Utf8("()V"), {s.Code(code)});
  };
  const auto numbered = [](const char* stem, int n) {
    std::vector<std::string> names;
    for (int i = 0; i < n; ++i) names.push_back(stem + std::to_string(100 + i));
    return names;
  };
  const Case cases[] = {
      {"the fields' own names take none of the 99 places of the reusable names",
       [&](Shape& s) {
         const std::vector<int> refs = fields(s, numbered("field", 80), s.b.Utf8("[I"));
         Bytes code = Shape::ReadAll(refs);
         for (const std::string& word : numbered("Word", 110))
           code = Join({code, Ins(kLdcW, s.b.String(s.b.Utf8(word))), {kPop}});
         run(s, code);
       },
       [&] {
         // Taking the fields' names out of the list moved its last words to the front.
         std::vector<std::string> names = {"Code"};
         for (int i = 197; i >= 119; --i) names.push_back("Word" + std::to_string(i));
         return names;
       }()},
      {"a letter the pool holds in use before a fresh one",
       [&](Shape& s) {
         const int array = s.b.Utf8("[I");
         const std::vector<int> refs = fields(s, {"alpha", "beta"}, array);
         s.b.Field(kPublic | kStatic, s.b.Utf8("value"), s.b.Utf8("J"));
         run(s, Shape::ReadAll(refs));
       },
       {"Code", "J", "value"}},
      {"a field that may take no reusable name left takes a letter",
       [&](Shape& s) {
         const int array = s.b.Utf8("[I"), other = s.b.Class("p/Other");
         std::vector<int> refs = fields(s, {"alpha"}, array);
         // p/Other.Code is an int[] too: alpha may not be named Code, beta (a long[]) may.
         const int beta = s.b.Utf8("beta"), longs = s.b.Utf8("[J");
         refs.push_back(s.FieldRef(beta, longs));
         s.b.Field(kPrivateStatic, beta, longs);
         refs.push_back(s.b.Fieldref(other, s.b.NameAndType(s.code, array)));
         run(s, Shape::ReadAll(refs));
       },
       {"A", "Code"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::int32_t bytes = -1;
    auto cls = Reduced(c.build, bytes);
    ASSERT_NE(cls, nullptr);
    EXPECT_EQ(PresentNames(*cls, cls->fields), c.fields);
    const Bytes first = WriteMarked(*cls);
    auto again = ReadBytes(first);
    ASSERT_NE(again, nullptr);
    ZYNClass::ReduceMembers(*again, {}, bytes);
    EXPECT_EQ(bytes, 0);
    EXPECT_EQ(WriteMarked(*again), first);
  }
}

// --- Malformed files -----------------------------------------------------------------------------------

// Each case spoils a class that has an unused private field, so that a pass that ran would show.
struct MalformedCase {
  const char* what;
  std::function<void(Shape&)> spoil;
  const char* error;
  bool untouched;  // refused before any member is removed
};

TEST_F(MemberPassTest, MalformedFilesAreRefused) {
  const MalformedCase cases[] = {
      {"this class index names a Utf8 entry", [](Shape& s) { s.b.This(s.code); },
       "Invalid this class index in class file", true},
      {"this class index 0", [](Shape& s) { s.b.This(0); }, "Invalid this class index in class file", true},
      {"this class index beyond the pool", [](Shape& s) { s.b.This(500); }, "Invalid this class index in class file",
       true},
      {"super class index names a Utf8 entry", [](Shape& s) { s.b.Super(s.base - 1); },
       "Invalid super class index in class file", true},
      {"member name index names a Class entry", [](Shape& s) { s.b.Method(kPublic, s.self, s.b.Utf8("()V")); },
       "Invalid member name index in class file", true},
      {"member name index names an Integer", [](Shape& s) { s.b.Field(kPrivate, s.b.Integer(3), s.b.Utf8("J")); },
       "Invalid member name index in class file", true},
      {"member name index 0", [](Shape& s) { s.b.Field(kPublic, 0, s.b.Utf8("J")); },
       "Invalid member name index in class file", true},
      {"member descriptor index names a Class entry", [](Shape& s) { s.b.Method(kPublic, s.b.Utf8("run"), s.self); },
       "Invalid member descriptor index in class file", true},
      {"member descriptor index beyond the pool", [](Shape& s) { s.b.Field(kPrivate, s.b.Utf8("f"), 500); },
       "Invalid member descriptor index in class file", true},
      {"a used field reference whose NameAndType index names a Utf8 entry",
       [](Shape& s) {
         const int f = s.b.Utf8("value"), i = s.b.Utf8("I");
         const int bad = s.b.Fieldref(s.self, f), good = s.FieldRef(f, i);
         s.b.Field(kPrivateStatic, f, i);
         s.b.Method(kPublic | kStatic, s.b.Utf8("run"), s.b.Utf8("()V"), {s.Code(Shape::ReadAll({bad, good}))});
       },
       "Invalid NameAndType index in class file", false},
      {"an empty name to be replaced by a letter",
       [](Shape& s) {
         const int alpha = s.b.Utf8("alpha"), empty = s.b.Utf8(""), array = s.b.Utf8("[I");
         const int refs[] = {s.FieldRef(alpha, array), s.FieldRef(empty, array)};
         s.b.Field(kPrivateStatic, alpha, array).Field(kPrivateStatic, empty, array);
         s.b.Method(kPublic | kStatic, s.b.Utf8("run"), s.b.Utf8("()V"), {s.Code(Shape::ReadAll({refs[0], refs[1]}))});
       },
       "Invalid member name in class file", false},
  };
  for (const MalformedCase& c : cases) {
    SCOPED_TRACE(c.what);
    Shape s;
    s.b.Field(kPrivate, s.b.Utf8("unused"), s.b.Utf8("I"));
    c.spoil(s);
    auto cls = Read(s.b);
    ASSERT_NE(cls, nullptr);
    const std::int32_t fields = cls->fieldCount, methods = cls->methodCount;
    std::int32_t bytes = 0;
    ExpectError([&] { ZYNClass::ReduceMembers(*cls, {}, bytes); }, c.error);
    if (c.untouched) {
      EXPECT_EQ(cls->fieldCount, fields);
      EXPECT_EQ(cls->methodCount, methods);
    }
  }
}

}  // namespace

namespace {

// What the run knows of a super class: its name, its interfaces and its non-private members.
ZYNHierarchy::tClassNames Known(std::string name, std::vector<std::string> interfaces,
                                std::vector<std::string> members, std::string super = {}) {
  ZYNHierarchy::tClassNames c;
  c.name = std::move(name);
  c.super = std::move(super);
  c.interfaces = std::move(interfaces);
  c.members = std::move(members);
  return c;
}

struct InheritCase {
  const char* what;
  const char* super;
  std::vector<ZYNHierarchy::tClassNames> run;  // empty: no class of the run is known
  std::vector<std::string> renamed;             // the new names of three private static int fields
  std::vector<std::string> serialFields;        // what is left of two unused private instance fields
};

TEST_F(MemberPassTest, NewNamesAvoidWhatSupertypesMayDeclareAndSerialFormsThroughSupertypesStay) {
  const std::string intField = ZYNHierarchy::MemberKey('F', "I", "start");
  // Keys past the run's first blocks of text, and one longer than a block's share.
  std::vector<std::string> many = {ZYNHierarchy::MemberKey('M', "()V", std::string(70000, 'q'))};
  for (int k = 0; k < 4000; ++k) many.push_back(ZYNHierarchy::MemberKey('F', "Ljava/lang/Object;", "f" + std::to_string(k)));
  many.push_back(intField);
  const std::vector<InheritCase> cases = {
      {"Object: the pool's texts and letters, as before", "java/lang/Object", {}, {"Code", "start", "Lookup"}, {}},
      {"a super class of the run declares start: avoided exactly",
       "p/Base",
       {Known("p/Base", {}, {intField})},
       {"Code", "Lookup", "I"},
       {}},
      {"the same after many keys and a long one", "p/Base", {Known("p/Base", {}, many)}, {"Code", "Lookup", "I"}, {}},
      {"a super class outside the run: type names only, then generated ones",
       "lib/Unknown",
       {},
       {"Code", "Lookup", "Aa"},
       {"code", "where"}},
      {"a JDK class that is not Serializable", "java/lang/Thread", {}, {"Code", "Lookup", "Aa"}, {}},
      {"a JDK class that is Serializable", "java/lang/RuntimeException", {}, {"Code", "Lookup", "Aa"}, {"code", "where"}},
      {"Serializable through a class of the run",
       "p/Base",
       {Known("p/Base", {"p/Middle"}, {}), Known("p/Middle", {"java/io/Serializable"}, {})},
       {"Code", "start", "Lookup"},
       {"code", "where"}},
      {"a class of the run whose super class is unknown",
       "p/Base",
       {Known("p/Base", {}, {}, "lib/Gone")},
       {"Code", "Lookup", "Aa"},
       {"code", "where"}},
  };
  for (const InheritCase& c : cases) {
    SCOPED_TRACE(c.what);
    Shape s("p/Sample", c.super);
    const int start = s.b.Utf8("start"), lookup = s.b.Utf8("Lookup");
    const int strings[] = {s.b.String(start), s.b.String(lookup)};
    const int i = s.b.Utf8("I"), alpha = s.b.Utf8("alpha"), beta = s.b.Utf8("beta"), gamma = s.b.Utf8("gamma");
    const int code = s.b.Utf8("code"), where = s.b.Utf8("where"), text = s.b.Utf8("Ljava/lang/String;");
    const int refs[] = {s.FieldRef(alpha, i), s.FieldRef(beta, i), s.FieldRef(gamma, i)};
    const int run = s.b.Utf8("run"), v = s.b.Utf8("()V");
    for (int name : {alpha, beta, gamma}) s.b.Field(kPrivateStatic, name, i);
    s.b.Field(kPrivate, code, i).Field(kPrivate, where, text);
    const Bytes loads = Join({Ins(kLdcW, strings[0]), {kPop}, Ins(kLdcW, strings[1]), {kPop}});
    s.b.Method(kPublic | kStatic, run, v, {s.Code(Join({loads, Shape::ReadAll({refs[0], refs[1], refs[2]})}))});
    auto cls = Read(s.b);
    ASSERT_NE(cls, nullptr);
    ZYNHierarchy::tRunFacts known;
    for (const auto& k : c.run) known.Add(k);
    // A super class the run holds declares a member of the base class's chain; with no class known, none is.
    if (!c.run.empty()) cls->facts = &known;
    std::int32_t bytes = -1;
    ZYNClass::ReduceMembers(*cls, {}, bytes);
    std::vector<std::string> names = PresentNames(*cls, cls->fields);
    const std::vector<std::string> renamed(names.begin(), names.begin() + 3);
    const std::vector<std::string> serial(names.begin() + 3, names.end());
    EXPECT_EQ(renamed, c.renamed);
    EXPECT_EQ(serial, c.serialFields);
  }
}

}  // namespace

namespace {

// A class compiled by scalac: a private static int field read by run, two unused private methods of which
// Scala's inlining facts list one, and the three Scala attributes.
struct ScalaClass {
  Shape s{"p/S"};
  int alpha = 0, listed = 0, unlisted = 0, v = 0, unused = 0;

  explicit ScalaClass(bool brokenIndex = false) {
    const int i = s.b.Utf8("I"), run = s.b.Utf8("run");
    v = s.b.Utf8("()V");
    alpha = s.b.Utf8("alpha");
    listed = s.b.Utf8("listed");
    unlisted = s.b.Utf8("unlisted");
    unused = s.b.Utf8("nothingUsesThis");
    const int longValue = s.b.Long(0, 7);
    const int ref = s.FieldRef(alpha, i);
    s.b.Field(kPrivateStatic, alpha, i);
    s.b.Method(kPublic | kStatic, run, v, {s.Code(Shape::ReadAll({ref}))});
    s.b.Method(kPrivateStatic, listed, v, {s.Code({})});
    s.b.Method(kPrivateStatic, unlisted, v, {s.Code({})});
    const int name = brokenIndex ? longValue + 1 : listed;  // the second slot of a Long: no text
    s.b.ClassAttr(Attribute(s.b.Utf8("ScalaSig"), {5, 0, 0}));
    s.b.ClassAttr(Attribute(s.b.Utf8("Scala"), {}));
    s.b.ClassAttr(Attribute(s.b.Utf8("ScalaInlineInfo"), ByteWriter().u1(1).u1(0).u2(1).u2(name).u2(v).u1(0).bytes));
  }
};

bool Holds(const Bytes& bytes, std::string_view text) {
  return std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) != bytes.end();
}

TEST_F(MemberPassTest, ScalaInlineInfoKeepsTheMethodsItListsAndTheNamesOfItsClass) {
  ScalaClass c;
  auto cls = Read(c.s.b);
  ASSERT_NE(cls, nullptr);
  std::int32_t bytes = -1;
  ZYNClass::ReduceMembers(*cls, {}, bytes);
  EXPECT_EQ(PresentNames(*cls, cls->fields), std::vector<std::string>{"alpha"}) << "no renaming";
  EXPECT_EQ(PresentNames(*cls, cls->methods), (std::vector<std::string>{"run", "listed"}));
}

// A method whose code carries a CLDC StackMap naming a class that nothing else names; junk puts unused entries
// before that class, which pruning must drop and renumbering close.
Bytes StackMapClass(int major, bool junk, bool map) {
  Shape s{"p/M"};
  s.b.Version(major);
  if (junk) s.b.Long(0, 1);
  const int stackMap = map ? s.b.Utf8("StackMap") : 0;
  if (junk) s.b.Utf8("junk");
  const int held = map ? s.b.Class("p/Held") : 0;
  const int run = s.b.Utf8("run"), v = s.b.Utf8("()V");
  const Bytes frames = ByteWriter().u2(1).u2(0).u2(1).u1(7).u2(held).u2(2).u1(8).u2(0).u1(1).bytes;
  const Bytes code = map ? CodeBody({kReturn}, {}, {Attribute(stackMap, frames)}) : CodeBody({kReturn});
  s.b.Method(kPublic | kStatic, run, v, {Attribute(s.code, code)});
  return s.b.Build();
}

// scalac needs ScalaSig and Scala under every key; ScalaInlineInfo and StackMap go with -uattr. The pool is
// pruned under all of them, in a class file of any version.
TEST_F(MemberPassTest, ScalaAndStackMapAttributesUnderTheKeys) {
  auto entry = [](std::string_view text) { return std::string{1, 0, static_cast<char>(text.size())}.append(text); };
  struct KeyCase {
    const char* key;
    bool uattr;
  };
  for (const KeyCase& k : {KeyCase{"", false}, KeyCase{"-dbg", false}, KeyCase{"-uattr", true},
                           KeyCase{"-max", true}, KeyCase{"-super", true}}) {
    SCOPED_TRACE(k.key);
    TempDir dir;
    WriteFileBytes(dir.File("S.class"), ScalaClass().s.b.Build());
    auto stackMapFile = [&dir](int major) { return dir.File("M" + std::to_string(major) + ".class"); };
    for (int major : {45, 61}) WriteFileBytes(stackMapFile(major), StackMapClass(major, true, true));
    std::vector<std::string> words = {"*.class"};
    if (*k.key != 0) words.push_back(k.key);
    const RunResult r = RunZyn(words, dir.path());
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_EQ(r.out.find("WARNING"), std::string::npos) << r.out;
    const Bytes scala = ReadFileBytes(dir.File("S.class"));
    EXPECT_FALSE(Holds(scala, "nothingUsesThis")) << "the pool is pruned under the attributes";
    EXPECT_TRUE(Holds(scala, entry("ScalaSig")));
    EXPECT_TRUE(Holds(scala, entry("Scala")));
    EXPECT_EQ(Holds(scala, entry("ScalaInlineInfo")), !k.uattr);
    if (!k.uattr) {
      EXPECT_TRUE(Holds(scala, "listed")) << "the listed method and its name stay";
    }
    for (int major : {45, 61})
      EXPECT_EQ(ReadFileBytes(stackMapFile(major)), StackMapClass(major, false, !k.uattr)) << major;
  }
}

TEST_F(MemberPassTest, AScalaInlineInfoIndexThatNamesNoTextLeavesTheAttributeUnknown) {
  const Bytes bytes = ScalaClass(true).s.b.Build();
  const ZYNClass::tFileResult r = ZYNClass::OptimizeFile(bytes, {});
  ASSERT_EQ(r.error.Line(), "");
  EXPECT_EQ(r.warnings, std::vector<std::string>{"WARNING: Unknown attribute \"ScalaInlineInfo\" ignored. Length=9"});
  EXPECT_TRUE(r.limited);
  EXPECT_TRUE(Holds(r.bytes, "nothingUsesThis")) << "a limited class keeps its whole pool";
}

TEST_F(MemberPassTest, KotlinInlineBodiesTheirMarkAndTheSmapOfAnAnonymousClassStayUnderEveryKey) {
  for (const bool metadata : {true, false}) {
    for (const std::string keys : {"", "-dbg", "-max", "-super", "-super -noren"}) {
      SCOPED_TRACE((metadata ? "Kotlin " : "Java ") + keys);
      Shape s("p/K");
      KotlinLibraryClass(s, metadata);
      ZYNData::tParams p;
      p.var = p.lin = p.src = !keys.empty();
      p.depr = p.uattr = keys.starts_with("-max") || keys.starts_with("-super");
      p.synt = keys.starts_with("-super");
      p.noren = keys.ends_with("-noren");
      const ZYNClass::tFileResult r = ZYNClass::OptimizeFile(s.b.Build(), p);
      ASSERT_EQ(r.error.Line(), "");
      EXPECT_FALSE(Holds(r.bytes, "helper"));
      EXPECT_EQ(Holds(r.bytes, "SMAP") && Holds(r.bytes, "Lib.kt"), metadata || !p.src);
      // The mark reads back from the written class, on the method it marks.
      const auto cls = ReadBytes(r.bytes);
      ASSERT_NE(cls, nullptr);
      std::vector<std::string> marked;
      for (const memberInfo& m : cls->methods)
        for (const auto& attr : m.attrs)
          if (const auto* a = dynamic_cast<const ZYNAttr::IndexedAttributeDesc*>(attr.get());
              a != nullptr && a->kind == ZYNAttr::RuntimeInvisibleAnnotationsAttr &&
              ZYNConstPool::GetUtf8(*cls->cp, a->IndexAt(a->indexes[0])) == "Lkotlin/internal/InlineOnly;")
            marked.push_back(NameOf(*cls, m));
      const std::vector<std::string> kept = {"TODO", "absoluteValue$annotations"};
      EXPECT_EQ(marked, metadata ? kept : std::vector<std::string>{kept[1]});
    }
  }
}

}  // namespace

namespace {

// What reaches a private member from outside its class: another class of the run spells "limit" as a String
// and names make()V as its enclosing method; a resource text names "id" and "default-phases"; -keep patterns
// name the class or a member. Each case lists the private fields and methods that keep their names, and the
// decisions on them: "name:rule" for each kept one, with a -keep pattern's text.
struct OutsideCase {
  const char* what;
  std::vector<std::string> keep;  // -keep patterns
  std::string resource;           // a resource text of the run
  std::vector<std::string> fields, methods;
  std::string why;
};

std::string Why(const std::vector<ZYNResult::tMemberDecision>& decisions) {
  std::string why;
  for (const ZYNResult::tMemberDecision& d : decisions) {
    if (d.fate != ZYNResult::tFate::kKept || d.rule == ZYNResult::tRule::kNone) continue;
    using ZYNResult::tRule;
    const std::string rule = d.rule == tRule::kNamedOutside   ? "outside"
                             : d.rule == tRule::kResourceWord ? "word"
                             : d.rule == tRule::kKeepPattern ? "keep"
                             : d.rule == tRule::kEnclosing   ? "enclosing"
                                                             : std::to_string(static_cast<int>(d.rule));
    why += (why.empty() ? "" : " ") + d.name + ":" + rule;
    if (!d.evidence.empty()) why += "=" + d.evidence;
  }
  return why;
}

TEST_F(MemberPassTest, NamesFromOtherClassesResourcesAndKeepPatternsProtectPrivateMembers) {
  // The other class of the run: ldc "limit", ldc "p.Sample" (a dotted text names no member), and an
  // EnclosingMethod attribute naming p/Sample.make()V.
  Shape other("p/Other");
  const int sampleClass = other.b.Class("p/Sample");
  const int strings[] = {other.b.String(other.b.Utf8("limit")), other.b.String(other.b.Utf8("p.Sample"))};
  // Texts that hold a character no member name holds are not kept: only "limit" and "ok" are.
  for (const char* text : {"a;b", "[I", "a/b", "", "ok"}) other.b.String(other.b.Utf8(text));
  const int nat = other.b.NameAndType(other.b.Utf8("make"), other.b.Utf8("()V"));
  other.b.ClassAttr(Attribute(other.b.Utf8("EnclosingMethod"), ByteWriter().u2(sampleClass).u2(nat).bytes));
  other.b.Method(kPublic | kStatic, other.b.Utf8("run"), other.b.Utf8("()V"),
                 {other.Code(Join({Ins(kLdcW, strings[0]), {kPop}, Ins(kLdcW, strings[1]), {kPop}}))});
  ZYNHierarchy::tClassNames names;
  ASSERT_TRUE(ZYNHierarchy::ReadNames(other.b.Build(), names));
  EXPECT_EQ(names.enclosing, ZYNHierarchy::EnclosingMethodKey("p/Sample", "()V", "make"));
  EXPECT_EQ(names.strings, (std::vector<std::string>{"limit", "ok"}));

  const std::string xml = "<component><implementation>p.Sample</implementation><id>clean</id>"
                          "<default-phases>x</default-phases></component>";
  const std::vector<std::string> all = {"limit", "id", "defaultPhases", "spare"};
  const OutsideCase cases[] = {
      {"a String of another class and an enclosing method", {}, "", {"limit"}, {"make"}, "limit:outside=p/Other make:enclosing"},
      {"resource words, a hyphenated one in camel case", {}, xml, {"limit", "id", "defaultPhases"}, {"make"},
       "limit:outside=p/Other id:word=r.xml defaultPhases:word=r.xml make:enclosing"},
      {"a text with a NUL is no resource text", {}, std::string("<id>\0</id>", 10), {"limit"}, {"make"},
       "limit:outside=p/Other make:enclosing"},
      {"nor is one that is not UTF-8", {}, "<id>\xC0\xAF</id>", {"limit"}, {"make"}, "limit:outside=p/Other make:enclosing"},
      {"the whole class kept, binary form", {"p.Sample"}, "", all, {"make", "gone"},
       "limit:outside=p/Other id:keep=p.Sample defaultPhases:keep=p.Sample spare:keep=p.Sample make:keep=p.Sample gone:keep=p.Sample"},
      {"one member kept, internal form with *", {"p/Sam*#sp*"}, "", {"limit", "spare"}, {"make"},
       "limit:outside=p/Other spare:keep=p/Sam*#sp* make:enclosing"},
      {"** for any run of packages", {"**"}, "", all, {"make", "gone"},
       "limit:outside=p/Other id:keep=** defaultPhases:keep=** spare:keep=** make:keep=** gone:keep=**"},
      {"* does not cross a package", {"*#spare"}, "", {"limit"}, {"make"}, "limit:outside=p/Other make:enclosing"},
      {"another class's pattern keeps nothing here", {"p.Other", "q.**"}, "", {"limit"}, {"make"},
       "limit:outside=p/Other make:enclosing"},
  };
  for (const OutsideCase& c : cases) {
    SCOPED_TRACE(c.what);
    ZYNHierarchy::tRunFacts facts;
    facts.Add(names);
    Shape s("p/Sample");
    const int i = s.b.Utf8("I"), v = s.b.Utf8("()V");
    std::vector<int> refs;
    for (const std::string& name : all) {
      const int n = s.b.Utf8(name);
      s.b.Field(kPrivateStatic, n, i);
      refs.push_back(s.FieldRef(n, i));
    }
    ZYNHierarchy::tClassNames own;
    s.b.Method(kPublic | kStatic, s.b.Utf8("run"), v, {s.Code(Shape::ReadAll(refs))});
    s.b.Method(kPrivateStatic, s.b.Utf8("make"), v, {s.Code({})});
    s.b.Method(kPrivateStatic, s.b.Utf8("gone"), v, {s.Code({})});
    ASSERT_TRUE(ZYNHierarchy::ReadNames(s.b.Build(), own));
    facts.Add(own);
    facts.Finish();
    facts.AddWords({reinterpret_cast<const std::uint8_t*>(c.resource.data()), c.resource.size()}, "r.xml");
    ZYNData::tParams params;
    for (const std::string& k : c.keep) ASSERT_TRUE(ZYNData::ParseKeep(k, params.keep.emplace_back()));
    auto cls = Read(s.b);
    ASSERT_NE(cls, nullptr);
    cls->facts = &facts;
    const ZYNClass::tBefore before = ZYNClass::NamesBefore(*cls);
    std::int32_t bytes = -1;
    ZYNClass::ReduceMembers(*cls, params, bytes);
    std::vector<std::string> fields, methods;
    for (const std::string& n : PresentNames(*cls, cls->fields))
      if (std::find(all.begin(), all.end(), n) != all.end()) fields.push_back(n);
    for (const std::string& n : PresentNames(*cls, cls->methods))
      if (n == "make" || n == "gone") methods.push_back(n);
    EXPECT_EQ(fields, c.fields);
    EXPECT_EQ(methods, c.methods);
    EXPECT_EQ(Why(ZYNClass::Decisions(*cls, before)), c.why);
  }
}

// The mapping names each renamed member by its old name and Java types, fields before methods; removed and
// unrenamed members are not listed, and a class without renamed members has no lines.
TEST_F(MemberPassTest, TheMappingListsRenamedMembersWithTheirJavaTypes) {
  struct MapCase {
    std::vector<std::string> fields, methods;
    std::string lines;
  };
  const MapCase cases[] = {
      {{"alpha", "beta"}, {"helper"}, "Sample -> Sample:\n    int[] alpha -> Code\n    int[] beta -> A\n"
                                      "    void helper() -> B\n"},
      {{"my_field", "x"}, {}, "Sample -> Sample:\n    int[] my_field -> Code\n"},
      {{}, {}, ""},
  };
  for (const MapCase& c : cases) {
    FieldClass fc(c.fields, c.methods);
    auto cls = Read(fc.s.b);
    ASSERT_NE(cls, nullptr);
    const ZYNClass::tBefore before = ZYNClass::NamesBefore(*cls);
    std::int32_t bytes = 0;
    ZYNClass::ReduceMembers(*cls, {}, bytes);
    const auto decisions = ZYNClass::Decisions(*cls, before);
    EXPECT_EQ(ZYNMap::ClassLines(ZYNConstPool::ClassName(*cls->cp, cls->thisClass), decisions), c.lines);
    // Every private member has its decision.
    EXPECT_EQ(decisions.size(), c.fields.size() + c.methods.size());
  }
  const std::pair<std::string_view, std::string> types[] = {
      {"J", "long"}, {"[[Ljava/lang/String;", "java.lang.String[][]"}, {"(I[BLa/b$C;)Z", "boolean (int,byte[],a.b$C)"},
      {"()V", "void ()"}, {"(La/b", "? (a.b)"}, {"([", "? (?[])"}, {"Q", "Q"}, {"", "?"}};
  for (const auto& [descriptor, expected] : types) {
    std::string shown = ZYNMap::JavaType(descriptor);
    if (descriptor.starts_with('(')) {
      std::string arguments;
      ZYNMap::MethodTypes(descriptor, shown, arguments);
      shown += " (" + arguments + ")";
    }
    EXPECT_EQ(shown, expected) << descriptor;
  }
}

}  // namespace

namespace {

// The evidence that code may bind fields (or list methods, or read an annotation) by name, in a run of the
// class p/Sample alone or with others. Sample declares, none used by its code: a private instance field inst, a
// private static field stat, a constant konst (ConstantValue), a private constructor and a private static
// method factory. Each case lists what stays present and the evidence the run's facts give.
struct BindCase {
  const char* what;
  std::function<void(Shape& sample, std::vector<Bytes>& run)> build;
  std::vector<std::string> fields, methods;
  std::string binder;
  bool facts = true;  // false: the class alone, with no facts of a run
};

constexpr std::uint8_t kInvokeVirtual = 0xB6, kAconstNull = 0x01;

// An annotation attribute of the kind: one annotation of the type with one element "value" of the value bytes.
Bytes OneAnnotation(ClassBuilder& b, std::string_view kind, std::string_view type, const Bytes& value) {
  return Attribute(b.Utf8(kind), Join({ByteWriter().u2(1).u2(b.Utf8(type)).u2(1).u2(b.Utf8("value")).bytes, value}));
}
Bytes TextValue(ClassBuilder& b, std::string_view text) { return ByteWriter().u1('s').u2(b.Utf8(text)).bytes; }

// A class of the run whose method runs the code that `code` makes in it.
Bytes OtherClass(std::string_view name, const std::function<Bytes(Shape&)>& code,
                 const std::function<void(Shape&)>& more = {}) {
  Shape o(name);
  o.b.Version(52);
  const Bytes body = code ? code(o) : Bytes{};
  o.b.Method(kPublic | kStatic, o.b.Utf8("run"), o.b.Utf8("()V"), {o.Code(body)});
  if (more) more(o);
  return o.b.Build();
}

int ClassMethod(Shape& o, std::string_view owner, std::string_view name, std::string_view descriptor) {
  return o.b.Methodref(o.b.Class(owner), o.b.NameAndType(o.b.Utf8(name), o.b.Utf8(descriptor)));
}

Bytes CallsGetDeclaredField(Shape& o, bool constant) {
  const int ref = ClassMethod(o, "java/lang/Class", "getDeclaredField", "(Ljava/lang/String;)Ljava/lang/reflect/Field;");
  const Bytes name = constant ? Ins(kLdcW, o.b.String(o.b.Utf8("other"))) : Bytes{kAconstNull};
  return Join({{kAconstNull}, name, Ins(kInvokeVirtual, ref), {kPop}});
}

TEST_F(MemberPassTest, WhatShowsThatCodeBindsMembersByName) {
  const std::vector<std::string> bound = {"inst", "stat"}, none;
  const auto classOf = [](std::string_view name) { return OtherClass(name, {}); };
  const auto calling = [](std::string_view owner, std::string_view name, std::string_view descriptor) {
    return OtherClass("p/Other", [=](Shape& o) {
      return Join({{kAconstNull}, Ins(kInvokeVirtual, ClassMethod(o, owner, name, descriptor)), {kPop}});
    });
  };
  const BindCase cases[] = {
      {"a run of the JDK's classes alone", {}, none, none, ""},
      {"a class of the run names a library class it does not hold",
       [&](Shape&, std::vector<Bytes>& run) { run.push_back(OtherClass("p/Other", [](Shape& o) {
         return Join({Ins(kLdcW, o.b.Class("com/lib/Mapper")), {kPop}});
       })); },
       bound, {"<init>"}, "com/lib/Mapper"},
      {"which the run holds",
       [&](Shape&, std::vector<Bytes>& run) {
         run.push_back(OtherClass("p/Other", [](Shape& o) { return Join({Ins(kLdcW, o.b.Class("com/lib/Mapper")), {kPop}}); }));
         run.push_back(classOf("com/lib/Mapper"));
       },
       none, none, ""},
      {"an array class and an annotation's type alone name them",
       [&](Shape&, std::vector<Bytes>& run) {
         run.push_back(OtherClass("p/Other", [](Shape& o) { return Join({Ins(kLdcW, o.b.Class("[[Lcom/lib/Array;")), {kPop}}); },
                                  [](Shape& o) {
           o.b.Method(kPublic, o.b.Utf8("take"), o.b.Utf8("(Lcom/lib/NotInCode;)V"),
                      {Annotated(o.b, "RuntimeInvisibleAnnotations", "Lcom/lib/Gone;")});
         }));
         run.push_back(classOf("com/lib/Array"));
       },
       bound, {"<init>"}, "com/lib/Gone"},
      {"a class in a package of the JDK, which the JDK may lack",
       [&](Shape&, std::vector<Bytes>& run) { run.push_back(OtherClass("p/Other", [](Shape& o) {
         return Join({Ins(kLdcW, o.b.Class("java/util/Nothing")), {kPop}});
       })); },
       none, none, ""},
      {"getDeclaredFields", [&](Shape&, std::vector<Bytes>& run) {
         run.push_back(calling("java/lang/Class", "getDeclaredFields", "()[Ljava/lang/reflect/Field;"));
       }, bound, {"<init>"}, "p/Other"},
      {"Field.getName", [&](Shape&, std::vector<Bytes>& run) {
         run.push_back(calling("java/lang/reflect/Field", "getName", "()Ljava/lang/String;"));
       }, bound, {"<init>"}, "p/Other"},
      {"getDeclaredField of a String constant",
       [&](Shape&, std::vector<Bytes>& run) {
         run.push_back(OtherClass("p/Other", [](Shape& o) { return CallsGetDeclaredField(o, true); }));
       },
       none, none, ""},
      {"getDeclaredField of a computed name",
       [&](Shape&, std::vector<Bytes>& run) {
         run.push_back(OtherClass("p/Other", [](Shape& o) { return CallsGetDeclaredField(o, false); }));
       },
       bound, {"<init>"}, "p/Other"},
      {"getDeclaredField through a method handle",
       [&](Shape&, std::vector<Bytes>& run) {
         run.push_back(OtherClass("p/Other", [](Shape& o) {
           const int ref = ClassMethod(o, "java/lang/Class", "getDeclaredField",
                                       "(Ljava/lang/String;)Ljava/lang/reflect/Field;");
           return Join({Ins(kLdcW, o.b.MethodHandle(5, ref)), {kPop}});
         }));
       },
       bound, {"<init>"}, "p/Other"},
      {"a runtime-visible annotation on the class: its instance fields",
       [&](Shape& s, std::vector<Bytes>& run) {
         s.b.ClassAttr(Annotated(s.b, "RuntimeVisibleAnnotations", "Lcom/lib/Entity;"));
         run.push_back(classOf("com/lib/Entity"));
       },
       {"inst"}, {"<init>"}, ""},
      {"the same without a run", [&](Shape& s, std::vector<Bytes>&) {
         s.b.ClassAttr(Annotated(s.b, "RuntimeVisibleAnnotations", "Lcom/lib/Entity;"));
       }, {"inst"}, {"<init>"}, "com/lib/Entity", false},
      {"a marker the JDK puts on classes", [&](Shape& s, std::vector<Bytes>&) {
         s.b.ClassAttr(Annotated(s.b, "RuntimeVisibleAnnotations", "Ljava/lang/Deprecated;"));
       }, none, none, ""},
      {"an invisible annotation", [&](Shape& s, std::vector<Bytes>& run) {
         s.b.ClassAttr(Annotated(s.b, "RuntimeInvisibleAnnotations", "Lcom/lib/Entity;"));
         run.push_back(classOf("com/lib/Entity"));
       }, none, none, ""},
      {"an annotation of the package-info",
       [&](Shape&, std::vector<Bytes>& run) {
         run.push_back(OtherClass("p/package-info", {}, [](Shape& o) {
           o.b.ClassAttr(Annotated(o.b, "RuntimeVisibleAnnotations", "Lcom/lib/Xml;"));
         }));
         run.push_back(classOf("com/lib/Xml"));
       },
       {"inst"}, {"<init>"}, ""},
      {"a JFR event", [&](Shape& s, std::vector<Bytes>&) { s.b.Super(s.b.Class("jdk/jfr/Event")); }, {"inst"},
       {"<init>"}, ""},
      {"a class that lists methods and names the class",
       [&](Shape&, std::vector<Bytes>& run) {
         run.push_back(OtherClass("p/Other", [](Shape& o) {
           const int list = ClassMethod(o, "java/lang/Class", "getDeclaredMethods", "()[Ljava/lang/reflect/Method;");
           return Join({Ins(kLdcW, o.b.Class("p/Sample")), Ins(kInvokeVirtual, list), {kPop}});
         }));
       },
       none, {"<init>", "factory"}, ""},
      {"an annotation value of a method names factory",
       [&](Shape& s, std::vector<Bytes>& run) {
         run.push_back(classOf("com/lib/Source"));
         s.b.Method(kPublic, s.b.Utf8("test"), s.b.Utf8("()V"),
                    {s.Code({}), OneAnnotation(s.b, "RuntimeInvisibleAnnotations", "Lcom/lib/Source;",
                                               TextValue(s.b, "factory"))});
       },
       none, {"factory"}, "", false},
      {"a word of a parameter's annotation array, after a class name",
       [&](Shape& s, std::vector<Bytes>& run) {
         run.push_back(classOf("com/lib/Source"));
         const Bytes array = Join({ByteWriter().u1('[').u2(2).bytes, TextValue(s.b, "x"), TextValue(s.b, "p.Sample#factory()")});
         const Bytes one = Join({ByteWriter().u2(1).u2(s.b.Utf8("Lcom/lib/Source;")).u2(1).u2(s.b.Utf8("value")).bytes, array});
         s.b.Method(kPublic, s.b.Utf8("test"), s.b.Utf8("(I)V"),
                    {s.Code({}), Attribute(s.b.Utf8("RuntimeVisibleParameterAnnotations"), Join({{1}, one}))});
       },
       none, {"factory"}, ""},
      {"a nested annotation of another class of the run",
       [&](Shape&, std::vector<Bytes>& run) {
         run.push_back(OtherClass("p/Other", {}, [](Shape& o) {
           const Bytes nested = Join({ByteWriter().u1('@').u2(o.b.Utf8("Lcom/lib/Source;")).u2(1).u2(o.b.Utf8("value")).bytes,
                                      TextValue(o.b, "factory")});
           o.b.ClassAttr(OneAnnotation(o.b, "RuntimeInvisibleAnnotations", "Lcom/lib/Outer;", nested));
         }));
         run.push_back(classOf("com/lib/Source"));
         run.push_back(classOf("com/lib/Outer"));
       },
       none, {"factory"}, ""},
      {"a Scala signature's bytes are no names", [&](Shape& s, std::vector<Bytes>& run) {
         run.push_back(classOf("scala/reflect/ScalaSignature"));
         s.b.ClassAttr(OneAnnotation(s.b, "RuntimeVisibleAnnotations", "Lscala/reflect/ScalaSignature;",
                                     TextValue(s.b, "factory")));
       }, none, none, "", false},
  };
  for (const BindCase& c : cases) {
    SCOPED_TRACE(c.what);
    Shape s("p/Sample");
    s.b.Version(52);
    const int i = s.b.Utf8("I"), v = s.b.Utf8("()V");
    s.b.Field(kPrivate, s.b.Utf8("inst"), i).Field(kPrivateStatic, s.b.Utf8("stat"), i);
    s.b.Field(kPrivateStatic | 0x10, s.b.Utf8("konst"), i,
              {Attribute(s.b.Utf8("ConstantValue"), ByteWriter().u2(s.b.Integer(5)).bytes)});
    s.b.Method(kPrivate, s.b.Utf8("<init>"), v, {s.Code({})});
    s.b.Method(kPrivateStatic, s.b.Utf8("factory"), v, {s.Code({})});
    std::vector<Bytes> run;
    if (c.build) c.build(s, run);
    run.insert(run.begin(), s.b.Build());
    ZYNHierarchy::tRunFacts facts;
    for (const Bytes& bytes : run) {
      ZYNHierarchy::tClassNames names;
      ASSERT_TRUE(ZYNHierarchy::ReadNames(bytes, names));
      facts.Add(std::move(names));
    }
    facts.Finish();
    EXPECT_EQ(facts.FieldBinder(), c.binder);
    auto cls = Read(s.b);
    ASSERT_NE(cls, nullptr);
    if (c.facts) cls->facts = &facts;
    const ZYNClass::tBefore before = ZYNClass::NamesBefore(*cls);
    std::int32_t bytes = -1;
    ZYNClass::ReduceMembers(*cls, {}, bytes);
    std::vector<std::string> methods;
    for (const memberInfo& m : cls->methods)
      if (m.present && ZYNClass::IsPrivate(m)) methods.push_back(NameOf(*cls, m));
    EXPECT_EQ(PresentNames(*cls, cls->fields), c.fields);
    EXPECT_EQ(methods, c.methods);
    // The decisions say the same, and name the rule: a field bound by the run's binder (its evidence) or by
    // what the class declares; the constructor that a binder makes objects with, or that a listing sees.
    using ZYNResult::tFate, ZYNResult::tRule;
    for (const ZYNResult::tMemberDecision& d : ZYNClass::Decisions(*cls, before)) {
      const std::vector<std::string>& kept = d.method ? c.methods : c.fields;
      const bool stays = std::find(kept.begin(), kept.end(), d.name) != kept.end();
      EXPECT_EQ(d.fate, stays ? tFate::kKept : tFate::kRemoved) << d.name;
      const bool byRun = c.facts && !c.binder.empty();
      // The JFR event's supertype is not in the run: its instance fields may be a serial form, the rule before.
      const tRule field = byRun                                        ? tRule::kBoundByRun
                          : std::string_view(c.what) == "a JFR event" ? tRule::kSerialForm
                                                                       : tRule::kBoundByClass;
      if (stays && !d.method) {
        EXPECT_EQ(d.rule, field) << d.name;
        EXPECT_EQ(d.evidence, byRun ? c.binder : "") << d.name;
      }
      if (stays && d.name == "<init>") {
        EXPECT_EQ(d.rule, c.fields.empty() ? tRule::kListed : tRule::kMadeByBinder);
      }
    }
  }
}

}  // namespace
