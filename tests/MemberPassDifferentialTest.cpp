// The product's member pass against the round-based reference (ReferenceMemberPass) on classes drawn at
// random: both must give the same error, table numbers and bytes under every key set. The classes mix what
// the pass has to judge: private call graphs (chains either way, cycles, self-calls, unreachable groups),
// overloads sharing a name entry, names also used as strings, identifiers, letters and class names, references
// through other classes and through second Class entries of the class's own name, interface method
// references, nests, serialization members, native methods, Kotlin metadata and annotations.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "ClassBuilder.h"
#include "Queue.h"
#include "ReferenceMemberPass.h"
#include "ZYNClass.h"
#include "ZYNData.h"

namespace {

constexpr int kPublic = 0x0001, kPrivate = 0x0002, kProtected = 0x0004, kStatic = 0x0008, kTransient = 0x0080,
              kNative = 0x0100;
constexpr std::uint8_t kLdcW = 0x13, kPop = 0x57, kReturn = 0xB1, kGetStatic = 0xB2, kInvokeStatic = 0xB8,
                       kInvokeDynamic = 0xBA;

using ReferenceMemberPass::Joined;

ZYNData::tParams Keys(const std::vector<std::string>& keys) {
  const std::optional<ZYNData::tParams> params = ReferenceMemberPass::ParseKeys(keys);
  EXPECT_TRUE(params) << Joined(keys);
  return params.value_or(ZYNData::tParams{});
}

void NoMemberPass(ZYNClass::tClassDesc&, const ZYNData::tParams&, std::int32_t& bytes) { bytes = 0; }

Bytes Ins(std::uint8_t opcode, int index) {
  return {opcode, static_cast<std::uint8_t>(index >> 8), static_cast<std::uint8_t>(index)};
}

void Append(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }

// A class drawn from a seed. The pool is laid out in a shuffled order, since which entry comes first decides
// which reference counts as a member's own and in which order names are handed out.
class RandomClass {
public:
  // A malformed class also holds references that name no NameAndType or no Class, or a member of empty name.
  RandomClass(std::uint32_t seed, bool malformed) : rng_(seed), malformed_(malformed) {}

  Bytes Build() {
    Decide();
    LayOutPool();
    AddMembers();
    AddClassAttributes();
    return b_.Build();
  }

private:
  struct Member {
    bool method = false;
    int access = 0;
    std::string name, descriptor;
    int nameIndex = 0, descriptorIndex = 0;
    int shareNameOf = -1;       // an earlier member whose name entry this one uses
    std::vector<int> refs;      // member references naming it (through this class or others)
    std::vector<int> calls;     // methods it calls (indexes into members_)
    std::vector<int> reads;     // fields it reads
    bool stringOfName = false;  // a String constant spells its name
  };

  int Pick(int n) { return static_cast<int>(rng_() % static_cast<std::uint32_t>(n)); }
  bool Chance(int percent) { return Pick(100) < percent; }
  template <class T>
  const T& OneOf(const std::vector<T>& v) {
    return v[static_cast<std::size_t>(Pick(static_cast<int>(v.size())))];
  }

  // A Utf8 entry of the text: mostly the first one of that text, sometimes another one.
  int Text(const std::string& text, int fresh = 10) {
    std::vector<int>& entries = utf_[text];
    if (entries.empty() || Chance(fresh)) entries.push_back(b_.Utf8(text));
    return entries[static_cast<std::size_t>(Pick(static_cast<int>(entries.size())))];
  }
  int FirstText(const std::string& text) {
    std::vector<int>& entries = utf_[text];
    if (entries.empty()) entries.push_back(b_.Utf8(text));
    return entries.front();
  }

  bool Modern(int since) const { return major_ >= since; }

  void Decide() {
    static const std::vector<int> majors = {45, 49, 50, 51, 52, 52, 55, 55, 61};
    major_ = OneOf(majors);
    b_.Version(major_, major_ == 45 ? 3 : 0);
    static const std::vector<std::string> thisNames = {"Sample", "Sample", "pkg/Sample", "A",
                                                       "B",      "value",  "Code",       "run"};
    static const std::vector<std::string> superNames = {
        "java/lang/Object", "java/lang/Object", "Base", "B", "C", "helper", "x"};
    thisName_ = OneOf(thisNames);
    superName_ = Chance(4) ? std::string() : OneOf(superNames);
    const int size = Pick(100);
    big_ = size < 10;
    medium_ = !big_ && size < 35;
    const bool plainNames = Chance(50);

    static const std::vector<std::string> names = {
        "a",          "b",     "x",    "y",    "z",     "A",        "B",     "C",
        "E",          "Z",     "Code", "I",    "V",     "run",      "value", "count",
        "helper",     "work",  "step", "next", "data",  "label",    "node",  "Sample",
        "Base",       "Other", "f1",   "m2",   "item3", "my_field", "$x",    "lambda$run$0",
        "access$000", "main",  "get",  "set"};
    static const std::vector<std::string> serialFields = {"serialVersionUID", "serialPersistentFields"};
    static const std::vector<std::string> serialMethods = {"writeObject", "readObject", "readObjectNoData",
                                                           "writeReplace", "readResolve"};
    static const std::vector<std::string> fieldDescriptors = {"I", "I", "J", "[I", "Ljava/lang/String;", "Z"};
    static const std::vector<std::string> methodDescriptors = {"()V",  "()V", "(I)V",
                                                               "(J)V", "()I", "()Ljava/lang/Object;"};
    // Big classes run out of identifiers (and some of letters); medium ones reach the letters.
    const int fields = big_ ? 55 + Pick(70) : medium_ ? 10 + Pick(30) : Pick(7);
    const int methods = big_ ? 1 + Pick(3) : medium_ ? 1 + Pick(6) : 1 + Pick(9);
    for (int i = 0; i < fields + methods; ++i) {
      Member m;
      m.method = i >= fields;
      if ((big_ && !m.method && Chance(85)) || (medium_ && Chance(70))) {
        // "f_<i>" is no identifier, so it is never handed out as a new name and the letters come sooner.
        m.name = (plainNames && !medium_ ? "field" : "f_") + std::to_string(i);
      } else if (!members_.empty() && Chance(18)) {
        // An overload, or a duplicate of the same name and descriptor, maybe on one name entry.
        const int other = Pick(static_cast<int>(members_.size()));
        m.name = members_[static_cast<std::size_t>(other)].name;
        if (Chance(60)) m.shareNameOf = other;
      } else if (Chance(10)) {
        m.name = m.method ? OneOf(serialMethods) : OneOf(serialFields);
      } else if (m.method && Chance(4)) {
        m.name = "$deserializeLambda$";
      } else if (Chance(5)) {
        m.name = Chance(50) ? thisName_ : superName_;
      } else {
        m.name = OneOf(names);
      }
      if (m.name.empty() || (malformed_ && Chance(5))) m.name = malformed_ ? "" : "empty";
      if (m.method) {
        static const std::map<std::string, std::string> known = {
            {"writeObject", "(Ljava/io/ObjectOutputStream;)V"},
            {"readObject", "(Ljava/io/ObjectInputStream;)V"},
            {"readObjectNoData", "()V"},
            {"writeReplace", "()Ljava/lang/Object;"},
            {"readResolve", "()Ljava/lang/Object;"},
            {"$deserializeLambda$", "(Ljava/lang/invoke/SerializedLambda;)Ljava/lang/Object;"}};
        const auto it = known.find(m.name);
        m.descriptor = it != known.end() && Chance(80) ? it->second : OneOf(methodDescriptors);
      } else {
        m.descriptor = m.name == "serialVersionUID" && Chance(80)         ? "J"
                       : m.name == "serialPersistentFields" && Chance(80) ? "[Ljava/io/ObjectStreamField;"
                                                                          : OneOf(fieldDescriptors);
      }
      if (big_ && !m.method && Chance(85)) {
        m.access = kPrivate | kStatic;
      } else {
        const int r = Pick(100) + (medium_ ? 15 : 0);
        m.access = r < 65 || r >= 100 ? kPrivate : r < 80 ? kPublic : r < 90 ? 0 : kProtected;
        if (Chance(70)) m.access |= kStatic;
        if (!m.method && Chance(15)) m.access |= kTransient;
        if (m.method && Chance(7)) m.access |= kNative;
      }
      m.stringOfName = Chance(8);
      members_.push_back(m);
    }
    // Who calls and reads whom: chains in declaration order or against it, cycles, self-calls, random edges.
    std::vector<int> methodsAt, fieldsAt;
    for (std::size_t i = 0; i < members_.size(); ++i) (members_[i].method ? methodsAt : fieldsAt).push_back(int(i));
    const int shape = Pick(4);
    for (std::size_t k = 0; k < methodsAt.size(); ++k) {
      Member& m = members_[static_cast<std::size_t>(methodsAt[k])];
      if ((m.access & kNative) != 0) continue;
      const std::size_t n = methodsAt.size();
      if (shape == 0 && k + 1 < n && Chance(80)) m.calls.push_back(methodsAt[k + 1]);
      if (shape == 1 && k > 0 && Chance(80)) m.calls.push_back(methodsAt[k - 1]);
      if (shape == 2 && n > 1 && Chance(80)) m.calls.push_back(methodsAt[(k + 1) % n]);
      if (Chance(10)) m.calls.push_back(methodsAt[k]);
      for (int c = Pick(3); c > 0; --c)
        if (shape == 3 || Chance(30)) m.calls.push_back(OneOf(methodsAt));
      if (big_ || medium_) {
        for (int field : fieldsAt)
          if (Chance(big_ ? 90 : 60)) m.reads.push_back(field);
      } else if (!fieldsAt.empty()) {
        for (int c = Pick(3); c > 0; --c) m.reads.push_back(OneOf(fieldsAt));
      }
    }
  }

  // Creates every pool entry that is not a member reference, in a shuffled order, then the references.
  void LayOutPool() {
    std::vector<std::function<void()>> steps;
    steps.push_back([this] { code_ = FirstText("Code"); });
    steps.push_back([this] { self_ = b_.ClassRef(Text(thisName_)); });
    if (!superName_.empty()) steps.push_back([this] { super_ = b_.ClassRef(Text(superName_)); });
    steps.push_back([this] { other_ = b_.ClassRef(Text(Chance(20) ? superName_ + "x" : "Other")); });
    for (std::size_t i = 0; i < members_.size(); ++i)
      steps.push_back([this, i] {
        Member& m = members_[i];
        m.nameIndex = Text(m.name);
        m.descriptorIndex = Text(m.descriptor);
      });
    // Texts a new name may come from, or that keep one: identifiers, letters, class names, strings.
    static const std::vector<std::string> texts = {"A",  "B",         "a",      "Z",   "count", "Extra", "java",
                                                   "x1", "not-an-id", "Sample", "run", "()V",   "I",     "value"};
    for (int n = Pick(medium_ ? 3 : 8); n > 0; --n)
      steps.push_back([this] {
        const int text = Text(OneOf(texts));
        if (Chance(60)) strings_.push_back(b_.String(text));
      });
    if (big_) {
      for (int n = Chance(50) ? 100 + Pick(60) : Pick(60); n > 0; --n)
        steps.push_back([this, n] { strings_.push_back(b_.String(Text("id" + std::to_string(n)))); });
    }
    for (std::size_t i = 1; i < steps.size(); ++i)
      std::swap(steps[i], steps[static_cast<std::size_t>(Pick(int(i) + 1))]);
    for (auto& step : steps) step();
    // Letters held by more than one entry, beyond the identifiers handed out first: a new name takes the
    // lowest one in use.
    if (big_)
      for (int n = Pick(8); n > 0; --n) strings_.push_back(b_.String(Text(std::string(1, "ABCDEFGH"[Pick(8)]), 50)));
    if (super_ == 0 && !superName_.empty()) super_ = b_.ClassRef(Text(superName_));
    for (std::size_t i = 0; i < members_.size(); ++i)
      if (members_[i].shareNameOf >= 0)
        members_[i].nameIndex = members_[static_cast<std::size_t>(members_[i].shareNameOf)].nameIndex;

    // Member references, in a shuffled order: own ones, ones through a second Class entry of this class's name,
    // through another class, of another kind, with a copy of the name entry, and strays.
    std::vector<std::function<void()>> refs;
    for (std::size_t i = 0; i < members_.size(); ++i) {
      const int count = big_ && !members_[i].method
                            ? 1
                            : OneOf(medium_ ? std::vector<int>{1, 1, 1, 2} : std::vector<int>{0, 1, 1, 1, 2, 3});
      for (int r = 0; r < count; ++r) refs.push_back([this, i] { members_[i].refs.push_back(RefTo(members_[i])); });
    }
    for (int n = Pick(big_ ? 12 : 8); n > 0; --n) refs.push_back([this] { strays_.push_back(StrayRef()); });
    // Inherited members of one-letter names that no code here uses: still no new name may capture them.
    for (int n = big_ || medium_ ? Pick(6) : 0; n > 0; --n)
      refs.push_back([this] {
        const Member& like = OneOf(members_);
        const int nat = b_.NameAndType(Text(std::string(1, "ABCDEF"[Pick(6)])), like.descriptorIndex);
        const int owner = super_ != 0 && Chance(70) ? super_ : self_;
        like.method ? b_.Methodref(owner, nat) : b_.Fieldref(owner, nat);
      });
    for (std::size_t i = 0; i < members_.size(); ++i)
      if (members_[i].stringOfName)
        refs.push_back([this, i] {
          strings_.push_back(b_.String(Chance(60) ? members_[i].nameIndex : Text(members_[i].name, 50)));
        });
    for (int n = malformed_ ? 1 + Pick(3) : 0; n > 0; --n)
      refs.push_back([this] { strays_.push_back(MalformedRef()); });
    for (std::size_t i = 1; i < refs.size(); ++i) std::swap(refs[i], refs[static_cast<std::size_t>(Pick(int(i) + 1))]);
    for (auto& step : refs) step();

    if (Modern(51) && Chance(20)) {
      // A method handle and a call site naming members: more ways for a name or reference to be in use.
      const Member& m = OneOf(members_);
      if (!m.refs.empty()) handles_.push_back(b_.MethodHandle(m.method ? 6 : 2, OneOf(m.refs)));
      const Member& d = OneOf(members_);
      indy_ = b_.InvokeDynamic(0, b_.NameAndType(d.nameIndex, Text("()Ljava/lang/Runnable;")));
    }
  }

  int RefTo(const Member& m) {
    int nat = 0;
    if (!m.refs.empty() && Chance(30)) {
      nat = natOf_[OneOf(m.refs)];
    } else {
      const int name = Chance(88) ? m.nameIndex : Text(m.name, 100);
      const int descriptor = Chance(92) ? m.descriptorIndex : Text(m.descriptor, 100);
      nat = b_.NameAndType(name, descriptor);
    }
    const int r = Pick(100);
    const int owner = r < 78 ? self_ : r < 88 ? SecondSelf() : other_;
    int ref = 0;
    if (!m.method)
      ref = Chance(3) ? b_.Methodref(owner, nat) : b_.Fieldref(owner, nat);
    else
      ref = Chance(Modern(52) ? 25 : 8) ? b_.InterfaceMethodref(owner, nat) : b_.Methodref(owner, nat);
    natOf_[ref] = nat;
    return ref;
  }

  // A member reference whose NameAndType index names a Utf8 or Class entry, or whose class index names a Utf8.
  int MalformedRef() {
    const Member& m = OneOf(members_);
    // A reference without a NameAndType refuses the whole class: rarer, so that most classes still go through.
    const int kind = Chance(15) ? Pick(2) : 2;
    const int nat = kind == 0   ? (Chance(50) ? m.nameIndex : code_)
                    : kind == 1 ? self_
                                : b_.NameAndType(m.nameIndex, m.descriptorIndex);
    const int owner = kind == 2 ? m.nameIndex : Chance(80) ? self_ : other_;
    if (!m.method) return b_.Fieldref(owner, nat);
    return Chance(Modern(52) ? 30 : 10) ? b_.InterfaceMethodref(owner, nat) : b_.Methodref(owner, nat);
  }

  int SecondSelf() {
    if (secondSelf_ == 0) secondSelf_ = b_.ClassRef(Text(thisName_, 50));
    return secondSelf_;
  }

  // A reference to a member the class does not declare (or not with that descriptor): inherited ones, other
  // classes' ones, one-letter names. A new name must not capture it.
  int StrayRef() {
    static const std::vector<std::string> names = {"run", "value", "count", "Code", "next", "I"};
    static const std::vector<std::string> descriptors = {"I", "J", "[I", "()V", "(I)V", "()I"};
    const int r = Pick(100);
    const std::string name = r < 50 ? std::string(1, "ABCDEab"[Pick(7)]) : r < 70 ? OneOf(members_).name : OneOf(names);
    const std::string descriptor = Chance(60) ? OneOf(members_).descriptor : OneOf(descriptors);
    const int nat = b_.NameAndType(Text(name), Text(descriptor));
    const int owner = Chance(50) ? self_ : Chance(50) ? other_ : (super_ != 0 ? super_ : other_);
    const int ref = descriptor[0] == '(' ? (Chance(20) ? b_.InterfaceMethodref(owner, nat) : b_.Methodref(owner, nat))
                                         : b_.Fieldref(owner, nat);
    natOf_[ref] = nat;
    return ref;
  }

  // A reference naming the member, or a stray when it has none.
  int SomeRef(const Member& m) {
    if (!m.refs.empty() && Chance(90)) return OneOf(m.refs);
    return strays_.empty() ? 0 : OneOf(strays_);
  }

  Bytes Code(const Member& m) {
    Bytes code;
    for (int target : m.calls)
      if (const int ref = SomeRef(members_[static_cast<std::size_t>(target)])) Append(code, Ins(kInvokeStatic, ref));
    for (int field : m.reads)
      if (const int ref = SomeRef(members_[static_cast<std::size_t>(field)])) {
        Append(code, Ins(kGetStatic, ref));
        code.push_back(kPop);
      }
    if (!strays_.empty() && Chance(15)) Append(code, Ins(kInvokeStatic, OneOf(strays_)));
    for (int string : strings_)
      if (Chance(big_ ? 80 : 35 / static_cast<int>(strings_.size()))) {
        Append(code, Ins(kLdcW, string));
        code.push_back(kPop);
      }
    if (!handles_.empty() && Chance(30)) {
      Append(code, Ins(kLdcW, OneOf(handles_)));
      code.push_back(kPop);
    }
    if (indy_ != 0 && Chance(30)) {
      Append(code, Ins(kInvokeDynamic, indy_));
      code.push_back(0), code.push_back(0), code.push_back(kPop);
    }
    code.push_back(kReturn);
    std::vector<Bytes> nested;
    if (Chance(20)) {
      const int lnt = Text("LineNumberTable", 0);
      nested.push_back(Attribute(lnt, ByteWriter().u2(1).u2(0).u2(1 + Pick(90)).bytes));
    }
    if (Chance(25)) {
      // Local variables named like members: their names count as uses until -var removes the table.
      const int lvt = Text("LocalVariableTable", 0);
      const Member& named = OneOf(members_);
      ByteWriter body;
      body.u2(1).u2(0).u2(static_cast<std::uint32_t>(code.size())).u2(named.nameIndex).u2(named.descriptorIndex).u2(0);
      nested.push_back(Attribute(lvt, body.bytes));
    }
    ByteWriter w;
    w.u2(4).u2(4).u4(static_cast<std::uint32_t>(code.size())).raw(code).u2(0);
    w.u2(static_cast<std::uint32_t>(nested.size()));
    for (const Bytes& a : nested) w.raw(a);
    return Attribute(code_, w.bytes);
  }

  Bytes Annotation(const std::string& attribute, const std::string& type, int stringValue = 0) {
    ByteWriter body;
    body.u2(1).u2(static_cast<std::uint32_t>(Text(type)));
    if (stringValue != 0)
      body.u2(1).u2(static_cast<std::uint32_t>(Text("value"))).u1('s').u2(static_cast<std::uint32_t>(stringValue));
    else
      body.u2(0);
    return Attribute(Text(attribute, 0), body.bytes);
  }

  void AddMember(const Member& m, const std::vector<Bytes>& attrs) {
    const auto add = [&](std::initializer_list<Bytes> list) {
      if (m.method)
        b_.Method(m.access, m.nameIndex, m.descriptorIndex, list);
      else
        b_.Field(m.access, m.nameIndex, m.descriptorIndex, list);
    };
    switch (attrs.size()) {
      case 0: add({}); break;
      case 1: add({attrs[0]}); break;
      case 2: add({attrs[0], attrs[1]}); break;
      case 3: add({attrs[0], attrs[1], attrs[2]}); break;
      default: add({attrs[0], attrs[1], attrs[2], attrs[3]}); break;
    }
  }

  void AddMembers() {
    for (const Member& m : members_) {
      std::vector<Bytes> attrs;
      if (m.method && (m.access & kNative) == 0) attrs.push_back(Code(m));
      if ((m.access & kPrivate) != 0 && Chance(5)) attrs.push_back(Annotation("RuntimeVisibleAnnotations", "LInject;"));
      if (Chance(4)) attrs.push_back(Annotation("RuntimeInvisibleAnnotations", "LNote;", OneOf(members_).nameIndex));
      if (Chance(5)) attrs.push_back(Attribute(Text("Deprecated", 0), {}));
      if (Chance(5)) attrs.push_back(Attribute(Text("Synthetic", 0), {}));
      AddMember(m, attrs);
    }
  }

  void AddClassAttributes() {
    b_.This(self_).Super(super_);
    static const std::vector<std::string> interfaces = {"java/io/Serializable", "java/io/Externalizable",
                                                        "java/lang/Runnable"};
    for (int n = Chance(25) ? 1 + Pick(2) : 0; n > 0; --n) b_.Interface(b_.ClassRef(Text(OneOf(interfaces))));
    if (Chance(30)) b_.ClassAttr(Attribute(Text("SourceFile", 0), ByteWriter().u2(Text("Sample.java")).bytes));
    if (Chance(12)) {
      // A nest from version 55; before it, an attribute of unknown name.
      if (Chance(50))
        b_.ClassAttr(Attribute(Text("NestHost", 0), ByteWriter().u2(other_).bytes));
      else
        b_.ClassAttr(Attribute(Text("NestMembers", 0), ByteWriter().u2(1).u2(other_).bytes));
    }
    if (Chance(6)) b_.ClassAttr(Annotation("RuntimeVisibleAnnotations", "Lkotlin/Metadata;"));
    if (Chance(4)) b_.ClassAttr(Attribute(Text("Custom", 0), {0, 1, 2}));
  }

  std::mt19937 rng_;
  const bool malformed_;
  ClassBuilder b_;
  int major_ = 45;
  std::string thisName_, superName_;
  bool big_ = false, medium_ = false;
  std::vector<Member> members_;
  std::map<std::string, std::vector<int>> utf_;
  std::map<int, int> natOf_;
  int code_ = 0, self_ = 0, super_ = 0, other_ = 0, secondSelf_ = 0, indy_ = 0;
  std::vector<int> strays_, strings_, handles_;
};

// What differs between the results of the two passes, or nothing.
std::string Difference(const ZYNClass::tFileResult& product, const ZYNClass::tFileResult& reference) {
  std::ostringstream s;
  if (product.error.Line() != reference.error.Line())
    s << " error \"" << product.error.Line() << "\" vs \"" << reference.error.Line() << "\"";
  if (product.oldSize != reference.oldSize) s << " oldSize " << product.oldSize << " vs " << reference.oldSize;
  if (product.change != reference.change) s << " change " << product.change << " vs " << reference.change;
  if (product.dropped != reference.dropped) s << " dropped " << product.dropped << " vs " << reference.dropped;
  if (product.limited != reference.limited) s << " limited " << product.limited << " vs " << reference.limited;
  if (product.bytes != reference.bytes) s << " bytes differ";
  return s.str();
}

// Counts of one run over random classes.
struct Tally {
  int comparisons = 0;
  int exercised = 0;  // the pass removed or renamed something
  int errors = 0;     // the reference refused the class
  int differences = 0;
};

// Compares the passes on the classes of `count` seeds from `first` under every key set; each difference is a
// failure (the first ten are shown).
// A run that knows the super classes the random classes use, with members of their names and descriptors: half
// the seeds see it, half see no class of the run (every supertype unknown).
const ZYNHierarchy::tRunFacts& KnownSupers() {
  static const ZYNHierarchy::tRunFacts facts = [] {
    ZYNHierarchy::tRunFacts f;
    for (const char* name : {"Base", "B", "C"}) {
      ZYNHierarchy::tClassNames c;
      c.name = name;
      c.members = {ZYNHierarchy::MemberKey('M', "()V", "run"), ZYNHierarchy::MemberKey('F', "I", "value"),
                   ZYNHierarchy::MemberKey('F', "I", "A"), ZYNHierarchy::MemberKey('M', "()V", "C")};
      f.Add(c);
    }
    // What reaches members from outside their class: another class's Strings, a resource word, an inner
    // class's enclosing method.
    ZYNHierarchy::tClassNames other;
    other.name = "Other";
    other.privates = {"work", "data", "label"};
    other.strings = {"work", "data"};
    other.enclosing = ZYNHierarchy::EnclosingMethodKey("Sample", "()V", "step");
    f.Add(other);
    f.Finish();
    const std::string_view words = "<label/>";
    f.AddWords({reinterpret_cast<const std::uint8_t*>(words.data()), words.size()});
    return f;
  }();
  return facts;
}

Tally CompareOnRandomClasses(std::uint32_t first, std::uint32_t count, bool malformed) {
  Tally t;
  for (std::uint32_t seed = first; seed < first + count; ++seed) {
    const Bytes bytes = RandomClass(seed, malformed).Build();
    const ZYNHierarchy::tRunFacts* facts = seed % 2 == 0 ? &KnownSupers() : nullptr;
    for (const auto& keys : ReferenceMemberPass::KeySets()) {
      const ZYNData::tParams params = Keys(keys);
      using ZYNClass::tWrite;
      const ZYNClass::tFileResult product =
          ZYNClass::OptimizeFile(bytes, params, ZYNClass::ReduceMembers, tWrite::AsKeys, facts);
      const ZYNClass::tFileResult reference =
          ZYNClass::OptimizeFile(bytes, params, ReferenceMemberPass::ReduceMembers, tWrite::AsKeys, facts);
      const ZYNClass::tFileResult untouched = ZYNClass::OptimizeFile(bytes, params, NoMemberPass, tWrite::AsKeys, facts);
      ++t.comparisons;
      if (!reference.error.empty()) ++t.errors;
      if (untouched.bytes != reference.bytes || untouched.change != reference.change) ++t.exercised;
      const std::string diff = Difference(product, reference);
      if (diff.empty()) continue;
      if (++t.differences <= 10)
        ADD_FAILURE() << "RandomClass(" << seed << (malformed ? ", true" : ", false") << ") " << Joined(keys) << ":"
                      << diff;
    }
  }
  std::cout << t.comparisons << " comparisons, " << t.exercised << " exercising the pass, " << t.errors << " refused, "
            << t.differences << " differences\n";
  return t;
}

using MemberPassDifferentialTest = ::testing::Test;

TEST_F(MemberPassDifferentialTest, SameResultsOnRandomClasses) {
  const Tally t = CompareOnRandomClasses(1, 4000, false);
  EXPECT_EQ(t.differences, 0);
  // The classes give the pass work, and are well formed.
  EXPECT_GT(t.exercised, t.comparisons * 3 / 4) << t.exercised << " of " << t.comparisons;
  EXPECT_EQ(t.errors, 0);
}

// The smallest class of the kind the malformed classes showed: a used field reference whose NameAndType
// index names a Utf8 entry stands behind the field's own reference, so a lookup that scans the pool finds the
// own reference first and never reaches it.
TEST_F(MemberPassDifferentialTest, SameResultWithAMalformedReferenceBehindTheOwnOne) {
  ClassBuilder b;
  const int code = b.Utf8("Code");
  const int self = b.Class("Sample"), base = b.Class("java/lang/Object");
  const int value = b.Utf8("value"), i = b.Utf8("I");
  const int own = b.Fieldref(self, b.NameAndType(value, i));
  const int bad = b.Fieldref(self, code);
  const int run = b.Utf8("run"), v = b.Utf8("()V");
  b.This(self).Super(base);
  b.Field(kPrivate | kStatic, value, i);
  Bytes body = Ins(kGetStatic, own);
  Append(body, {kPop});
  Append(body, Ins(kGetStatic, bad));
  Append(body, {kPop, kReturn});
  b.Method(kPublic | kStatic, run, v, {Attribute(code, CodeBody(body))});
  const Bytes bytes = b.Build();
  for (const auto& keys : ReferenceMemberPass::KeySets()) {
    const ZYNData::tParams params = Keys(keys);
    EXPECT_EQ(Difference(ZYNClass::OptimizeFile(bytes, params),
                         ZYNClass::OptimizeFile(bytes, params, ReferenceMemberPass::ReduceMembers)),
              "")
        << Joined(keys);
  }
}

TEST_F(MemberPassDifferentialTest, SameResultsOnRandomMalformedClasses) {
  const Tally t = CompareOnRandomClasses(1000001, 1000, true);
  EXPECT_EQ(t.differences, 0);
  // Some of them are refused, most are not.
  EXPECT_GT(t.errors, t.comparisons / 20) << t.errors << " of " << t.comparisons;
  EXPECT_LT(t.errors, t.comparisons / 2) << t.errors << " of " << t.comparisons;
}

}  // namespace
