// The member pass over a nest, on nests stated byte by byte: what goes when the other classes of the nest are
// counted, which names change in every pool, what refuses a new name, and that anything short of a complete
// nest keeps the rule for one class.
#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "ZYNConstPool.h"
#include "ZYNData.h"
#include "ZYNNest.h"

namespace {

constexpr int kPublicStatic = 0x0009, kPrivateStatic = 0x000A;
constexpr std::uint8_t kPop = 0x57, kReturn = 0xB1, kGetStatic = 0xB2, kInvokeStatic = 0xB8;

// A class of a nest whose pool starts with "Code", the class itself and java/lang/Object.
struct NestClass {
  ClassBuilder b;
  int code, self;

  explicit NestClass(std::string_view name, int major = 55) {
    code = b.Utf8("Code");
    self = b.Class(name);
    b.This(self).Super(b.Class("java/lang/Object")).Version(major);
  }
  int Field(std::string_view owner, int name, std::string_view descriptor) {
    return b.Fieldref(b.Class(owner), b.NameAndType(name, b.Utf8(descriptor)));
  }
  int Method(std::string_view owner, int name) {
    return b.Methodref(b.Class(owner), b.NameAndType(name, b.Utf8("()V")));
  }
  Bytes Code(const Bytes& instructions) const { return Attribute(code, CodeBody(Join({instructions, {kReturn}}))); }
  void Lists(std::initializer_list<std::string_view> members) {
    ByteWriter body;
    body.u2(static_cast<std::uint32_t>(members.size()));
    for (std::string_view m : members) body.u2(b.Class(m));
    b.ClassAttr(Attribute(b.Utf8("NestMembers"), body.bytes));
  }
  void HostIs(std::string_view host) {
    b.ClassAttr(Attribute(b.Utf8("NestHost"), ByteWriter().u2(b.Class(host)).bytes));
  }
};

// The host p/Outer: private fields used (read by the inner class) and unused; private methods called (by the
// inner class), dead (called by nothing) and deadHelper (called only by dead), and lonely, which the inner
// class names through a class outside the nest.
Bytes Outer(std::initializer_list<std::string_view> listed = {"p/Outer$In"}, int major = 55) {
  NestClass c("p/Outer", major);
  const int i = c.b.Utf8("I"), v = c.b.Utf8("()V");
  const int helper = c.b.Utf8("deadHelper");
  c.b.Field(kPrivateStatic, c.b.Utf8("used"), i);
  c.b.Field(kPrivateStatic, c.b.Utf8("unused"), i);
  c.b.Method(kPrivateStatic, c.b.Utf8("called"), v, {c.Code({})});
  c.b.Method(kPrivateStatic, c.b.Utf8("dead"), v, {c.Code(Ins(kInvokeStatic, c.Method("p/Outer", helper)))});
  c.b.Method(kPrivateStatic, helper, v, {c.Code({})});
  c.b.Method(kPrivateStatic, c.b.Utf8("lonely"), v, {c.Code({})});
  c.Lists(listed);
  return c.b.Build();
}

// The inner class p/Outer$In: go() reads Outer.used, calls Outer.called and calls lonely through p/Elsewhere.
// With sharedName its own public field bears the Utf8 entry of "used" that its reference names too.
Bytes Inner(std::string_view host = "p/Outer", std::string_view name = "p/Outer$In", bool sharedName = false) {
  NestClass c(name);
  const int used = c.b.Utf8("used");
  const Bytes code = Join({Ins(kGetStatic, c.Field("p/Outer", used, "I")),
                           {kPop},
                           Ins(kInvokeStatic, c.Method("p/Outer", c.b.Utf8("called"))),
                           Ins(kInvokeStatic, c.Method("p/Elsewhere", c.b.Utf8("lonely")))});
  if (sharedName) c.b.Field(kPublicStatic, used, c.b.Utf8("J"));
  c.b.Method(kPublicStatic, c.b.Utf8("go"), c.b.Utf8("()V"), {c.Code(code)});
  c.HostIs(host);
  return c.b.Build();
}

std::vector<std::string> Names(const ZYNClass::tClassDesc& cls, const std::vector<ZYNClass::memberInfo>& members) {
  std::vector<std::string> names;
  for (const auto& m : members)
    if (m.present) names.push_back(ZYNConstPool::GetUtf8(*cls.cp, m.nameIndex));
  return names;
}

// "owner.name" of every member reference of the class.
std::set<std::string> RefNames(const ZYNClass::tClassDesc& cls) {
  std::set<std::string> refs;
  const auto& cp = *cls.cp;
  for (std::int32_t i = 1; i < cp.length(); ++i)
    if (const auto ref = ZYNConstPool::MemberRefAt(cp, i)) {
      const auto owner = ZYNConstPool::ClassAt(cp, ref->classIndex);
      const auto nat = ZYNConstPool::NameAndTypeAt(cp, ref->nameAndTypeIndex);
      refs.insert(ZYNConstPool::GetUtf8(cp, owner->nameIndex) + "." + ZYNConstPool::GetUtf8(cp, nat->nameIndex));
    }
  return refs;
}

std::vector<ZYNClass::tFileResult> Nest(const std::vector<Bytes>& classes, const ZYNData::tParams& params = {}) {
  std::vector<std::span<const std::uint8_t>> spans(classes.begin(), classes.end());
  return ZYNNest::OptimizeNest(spans, nullptr, params);
}

using NestPassTest = ::testing::Test;

TEST_F(NestPassTest, RemovesWhatNoClassOfTheNestRefersToInRounds) {
  ZYNData::tParams removal;
  removal.noren = true;
  const auto results = Nest({Outer(), Inner()}, removal);
  ASSERT_EQ(results.size(), 2u);
  ASSERT_EQ(results[0].error.Line(), "");
  const auto outer = ReadBytes(results[0].bytes);
  EXPECT_EQ(ZYNNest::HostOf(*outer), "p/Outer");
  EXPECT_EQ(ZYNNest::HostOf(*ReadBytes(results[1].bytes)), "p/Outer");
  // deadHelper goes only once dead is gone; lonely stays, since a reference through another class may reach it.
  EXPECT_EQ(Names(*outer, outer->fields), (std::vector<std::string>{"used"}));
  EXPECT_EQ(Names(*outer, outer->methods), (std::vector<std::string>{"called", "lonely"}));
  EXPECT_EQ(results[0].change, static_cast<std::int32_t>(Outer().size() - results[0].bytes.size()));
  EXPECT_GT(results[0].change, 0);
  EXPECT_EQ(results[1].change, 0);
  // The rule for one class keeps every member of a nest class.
  const auto alone = ReadBytes(ZYNClass::OptimizeFile(Outer(), {}).bytes);
  EXPECT_EQ(Names(*alone, alone->methods).size(), 4u);
}

TEST_F(NestPassTest, RenamesInEveryPoolOfTheNest) {
  const auto results = Nest({Inner(), Outer()});
  ASSERT_EQ(results[0].error.Line() + results[1].error.Line(), "");
  const auto inner = ReadBytes(results[0].bytes);
  const auto outer = ReadBytes(results[1].bytes);
  const std::vector<std::string> fields = Names(*outer, outer->fields), methods = Names(*outer, outer->methods);
  ASSERT_EQ(fields.size(), 1u);
  ASSERT_EQ(methods.size(), 2u);
  // "Code" and "I" stand in use in both pools: each old name entry goes.
  EXPECT_EQ(fields[0], "I");
  EXPECT_EQ(methods[0], "Code");
  EXPECT_EQ(methods[1], "lonely");
  // The inner class's references name the new names, and each saved its own bytes.
  EXPECT_EQ(RefNames(*inner),
            (std::set<std::string>{"p/Outer." + fields[0], "p/Outer." + methods[0], "p/Elsewhere.lonely"}));
  EXPECT_EQ(results[0].change, static_cast<std::int32_t>(Inner().size() - results[0].bytes.size()));
  EXPECT_EQ(results[0].change, (3 + 4) + (3 + 6));  // the entries of "used" and "called" are gone
}

TEST_F(NestPassTest, NameSharedWithAnotherPurposeRefusesTheRename) {
  const auto results = Nest({Outer(), Inner("p/Outer", "p/Outer$In", true)});
  const auto outer = ReadBytes(results[0].bytes);
  const auto inner = ReadBytes(results[1].bytes);
  const std::vector<std::string> fields = Names(*outer, outer->fields), methods = Names(*outer, outer->methods);
  EXPECT_EQ(fields, (std::vector<std::string>{"used"}));  // the inner class's own field bears that Utf8 entry
  ASSERT_EQ(methods.size(), 2u);
  EXPECT_EQ(methods[0].size(), 1u);
  EXPECT_EQ(Names(*inner, inner->fields), (std::vector<std::string>{"used"}));
  EXPECT_TRUE(RefNames(*inner).contains("p/Outer.used"));
}

// A nest whose host p/Host declares the private field fld, which its members p/Host$A and p/Host$B read, and
// a public field Code (so that the attribute name is no name for fld). Each class's static initializer also
// names members of p/Ext: "Ab" calls p/Ext.Ab()V, "Ab:F" reads the field p/Ext.Ab of fld's type; those names
// are then in use in its pool. hostField names one more public field of the host.
constexpr std::string_view kText = "Ljava/lang/String;";

Bytes ReadsFld(std::string_view name, const std::vector<std::string>& words, std::string_view hostField) {
  NestClass c(name);
  const int fld = c.b.Utf8("fld");
  Bytes code = Join({Ins(kGetStatic, c.Field("p/Host", fld, kText)), {kPop}});
  for (const std::string& w : words) {
    const bool field = w.ends_with(":F");
    const int word = c.b.Utf8(field ? w.substr(0, w.size() - 2) : w);
    code = Join({code, field ? Join({Ins(kGetStatic, c.Field("p/Ext", word, kText)), {kPop}})
                             : Ins(kInvokeStatic, c.Method("p/Ext", word))});
  }
  c.b.Method(0x0008, c.b.Utf8("<clinit>"), c.b.Utf8("()V"), {c.Code(code)});
  if (name == "p/Host") {
    c.b.Field(kPrivateStatic, fld, c.b.Utf8(kText));
    c.b.Field(kPublicStatic, c.code, c.b.Utf8("Ljava/lang/Object;"));
    if (!hostField.empty()) c.b.Field(kPublicStatic, c.b.Utf8(hostField), c.b.Utf8("Ljava/lang/Object;"));
    c.Lists({"p/Host$A", "p/Host$B"});
  } else {
    c.HostIs("p/Host");
  }
  return c.b.Build();
}

std::int32_t Saved(const std::vector<ZYNClass::tFileResult>& results) {
  std::int32_t saved = 0;
  for (const auto& r : results) saved += r.change;
  return saved;
}

TEST_F(NestPassTest, ARenamedMemberTakesTheNameThatSavesMostOverItsPools) {
  struct Case {
    std::string what;
    std::vector<std::string> host, a, b;
    std::string hostField;
    std::string name;   // fld's new name
    std::int32_t gain;  // what renaming saves over the three pools
  };
  const std::vector<Case> cases = {
      {"no pool holds a short name: a fresh letter", {}, {}, {}, "", "A", 3 * 2},
      {"every pool holds it: each old entry goes", {"Ab"}, {"Ab"}, {"Ab"}, "", "Ab", 3 * (3 + 3)},
      {"only the host holds it, still more than a letter", {"Ab"}, {}, {}, "", "Ab", (3 + 3) + 1 + 1},
      {"held by one pool and saving only as much: the letter", {}, {"Abc"}, {}, "", "A", 3 * 2},
      {"a pool would have to grow the name", {}, {"Abcd"}, {"Abcd"}, "", "A", 3 * 2},
      {"two held alike: the shorter", {"Abc", "Ab"}, {"Abc", "Ab"}, {"Ab", "Abc"}, "", "Ab", 3 * (3 + 3)},
      {"two held alike and as long: the lower", {"Ba", "Ab"}, {"Ba", "Ab"}, {"Ab", "Ba"}, "", "Ab", 3 * (3 + 3)},
      {"a member of the host bears it", {"Ab"}, {"Ab"}, {"Ab"}, "Ab", "A", 3 * 2},
      {"a reference of the nest names a field of that name and type", {"Ab:F"}, {"Ab:F"}, {"Ab:F"}, "", "A", 3 * 2},
      {"a reference through another class names it", {}, {"A:F"}, {}, "", "B", 3 * 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<Bytes> nest = {ReadsFld("p/Host", c.host, c.hostField), ReadsFld("p/Host$A", c.a, ""),
                                     ReadsFld("p/Host$B", c.b, "")};
    ZYNData::tParams removal;
    removal.noren = true;
    const std::int32_t unrenamed = Saved(Nest(nest, removal));
    const auto results = Nest(nest);
    ASSERT_EQ(results[0].error.Line() + results[1].error.Line() + results[2].error.Line(), "");
    const auto host = ReadBytes(results[0].bytes);
    EXPECT_EQ(Names(*host, host->fields)[0], c.name);
    for (std::size_t i = 1; i < 3; ++i)
      EXPECT_TRUE(RefNames(*ReadBytes(results[i].bytes)).contains("p/Host." + c.name));
    EXPECT_EQ(Saved(results) - unrenamed, c.gain);
    for (std::size_t i = 0; i < 3; ++i)
      EXPECT_EQ(results[i].change, static_cast<std::int32_t>(nest[i].size() - results[i].bytes.size()));
  }
}

TEST_F(NestPassTest, AnythingButACompleteNestKeepsTheRuleForOneClass) {
  struct Case {
    std::string what;
    std::vector<Bytes> classes;
  };
  const std::vector<Case> cases = {
      {"a listed member missing", {Outer({"p/Outer$In", "p/Outer$Gone"}), Inner()}},
      {"a member naming another host", {Outer(), Inner("p/Other")}},
      {"a member listed twice", {Outer({"p/Outer$In", "p/Outer$In"}), Inner()}},
      {"a class not listed", {Outer(), Inner(), Inner("p/Outer", "p/Outer$Extra")}},
      {"a name twice", {Outer(), Inner(), Inner()}},
      {"no host", {Inner()}},
      {"before nests", {Outer({"p/Outer$In"}, 54), Inner()}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto results = Nest(c.classes);
    ASSERT_EQ(results.size(), c.classes.size());
    for (std::size_t i = 0; i < c.classes.size(); ++i) {
      const ZYNClass::tFileResult alone = ZYNClass::OptimizeFile(c.classes[i], {});
      EXPECT_EQ(results[i].bytes, alone.bytes);
      EXPECT_EQ(results[i].change, alone.change);
      EXPECT_EQ(results[i].error.Line(), alone.error.Line());
    }
  }
}

TEST_F(NestPassTest, AFailingClassGetsItsErrorAndTheOthersGoAlone) {
  Bytes broken = Inner();
  broken.resize(broken.size() - 3);
  const std::vector<Bytes> classes = {Outer(), broken};
  const auto results = Nest(classes);
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[1].error.Line(), ZYNClass::OptimizeFile(broken, {}).error.Line());
  EXPECT_NE(results[1].error.Line(), "");
  EXPECT_EQ(results[0].bytes, ZYNClass::OptimizeFile(classes[0], {}).bytes);
}

// The batch groups the classes of a list by what the names pass reads of their nests: a nest whose host and
// members all stand in the list once, each member naming the host back; anything else stays alone.
TEST_F(NestPassTest, TheNamesPassFindsWholeNestsInAList) {
  struct Case {
    std::string what;
    std::vector<Bytes> classes;
    std::vector<std::vector<std::size_t>> groups;
  };
  const Bytes other = NestClass("p/Other").b.Build();
  const std::vector<Case> cases = {
      {"members before the host, among others", {other, Inner(), Outer()}, {{1, 2}}},
      {"a listed member missing", {Outer({"p/Outer$In", "p/Outer$Gone"}), Inner()}, {}},
      {"a member naming another host", {Outer(), Inner("p/Other")}, {}},
      {"a member listed twice", {Outer({"p/Outer$In", "p/Outer$In"}), Inner()}, {}},
      {"a class name twice", {Outer(), Inner(), Inner()}, {}},
      {"no host", {Inner()}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<ZYNHierarchy::tNestNames> nests(c.classes.size());
    std::vector<const ZYNHierarchy::tNestNames*> list;
    for (std::size_t i = 0; i < c.classes.size(); ++i) {
      ZYNHierarchy::tClassNames names;
      ASSERT_TRUE(ZYNHierarchy::ReadNames(c.classes[i], names));
      nests[i] = ZYNHierarchy::TakeNestNames(names);
      list.push_back(&nests[i]);
    }
    EXPECT_EQ(ZYNNest::Groups(list), c.groups);
  }
}

}  // namespace
