#include "ZYNHierarchy.h"

#include <algorithm>
#include <array>
#include <deque>
#include <iterator>
#include <limits>
#include <memory_resource>
#include <utility>

#include "FileModule.h"
#include "ZYNClassFile.h"
#include "ZYNCode.h"
#include "ZYNConstPool.h"

namespace ZYNHierarchy {

std::string MemberKey(char kind, std::string_view descriptor, std::string_view name) {
  std::string key(1, kind);
  key.append(descriptor).push_back('\0');
  key.append(name);
  return key;
}

std::string EnclosingMethodKey(std::string_view owner, std::string_view descriptor, std::string_view name) {
  std::string key(owner);
  key.push_back('\0');
  key.append(MemberKey('M', descriptor, name));
  return key;
}

namespace {

// java/lang/Object's methods: every class inherits them, and no private method may take their place.
constexpr std::pair<std::string_view, std::string_view> kObjectMethods[] = {
    {"clone", "()Ljava/lang/Object;"}, {"equals", "(Ljava/lang/Object;)Z"}, {"finalize", "()V"},
    {"getClass", "()Ljava/lang/Class;"}, {"hashCode", "()I"}, {"notify", "()V"}, {"notifyAll", "()V"},
    {"toString", "()Ljava/lang/String;"}, {"wait", "()V"}, {"wait", "(J)V"}, {"wait", "(JI)V"},
};

// The JDK's interfaces that the table does not describe by members: Serializable declares none,
// Externalizable these two.
constexpr std::pair<std::string_view, std::string_view> kExternalizableMethods[] = {
    {"writeExternal", "(Ljava/io/ObjectOutput;)V"}, {"readExternal", "(Ljava/io/ObjectInput;)V"}};

// Whether a text could be a member's name: not empty, none of the characters a name cannot hold.
bool MayNameMember(std::string_view text) {
  // A plain loop: find_first_of makes a library call per character (a hot spot of the names pass).
  return !text.empty() &&
         std::none_of(text.begin(), text.end(), [](char c) { return c == '.' || c == ';' || c == '[' || c == '/'; });
}

using namespace FileModule;
using namespace ZYNClassFile;

// What the names reader keeps of a constant pool: a view of its entries in the input's bytes, read by the
// pool's own reader with every tag of any version accepted.
struct tPoolNames : ZYNConstPool::tPoolView {
  std::string_view ClassName(std::int32_t index) const {
    return Tag(index) == kConstantClass ? Text(U2(index, 0)) : std::string_view();
  }
};

// The kinds in which the names reader looks for something, in the order of their rows.
constexpr bool IsSought(const ZYNAttr::tKind& kind) { return kind.names != ZYNAttr::tNames::kNothing; }
constexpr auto kSoughtKinds = [] {
  std::array<ZYNAttr::tKind, std::count_if(std::begin(ZYNAttr::kKinds), std::end(ZYNAttr::kKinds), IsSought)> rows{};
  std::size_t n = 0;
  for (const ZYNAttr::tKind& kind : ZYNAttr::kKinds)
    if (IsSought(kind)) rows[n++] = kind;
  return rows;
}();

// The first letters of their names: most attributes are told apart by that alone.
constexpr auto kSoughtFirst = [] {
  std::array<bool, 256> first{};
  for (const ZYNAttr::tKind& kind : kSoughtKinds) first[static_cast<std::uint8_t>(kind.name[0])] = true;
  return first;
}();

// What the names reader looks for in an attribute of this name (in a class file of any version), and its kind.
std::pair<ZYNAttr::tNames, std::int16_t> Sought(std::string_view name) {
  if (!name.empty() && kSoughtFirst[static_cast<std::uint8_t>(name[0])])
    for (const ZYNAttr::tKind& kind : kSoughtKinds)
      if (kind.name == name) return {kind.names, kind.kind};
  return {ZYNAttr::tNames::kNothing, ZYNAttr::UnknownAttr};
}

// Calls f(sought, kind, body) for each attribute of a list whose body the input holds: what the names reader
// looks for in it (Sought), its kind, its body.
template <class F>
void ForEachAttribute(tInput& in, const tPoolNames& pool, F&& f) {
  std::int32_t attributes = 0;
  GetU2(in, attributes);
  for (std::int32_t a = 0; a < attributes && in.Done; ++a) {
    std::int32_t name = 0, length = 0;
    GetU2(in, name);
    GetU4(in, length);
    if (const std::uint8_t* body = Take(in, static_cast<std::uint32_t>(length))) {
      const auto [sought, kind] = Sought(pool.Text(name));
      f(sought, kind, std::span<const std::uint8_t>(body, static_cast<std::size_t>(length)));
    }
  }
}

// What the names reader looks for in a class's attributes and code.
struct tAttributeReader {
  const tPoolNames& pool;
  std::int32_t majorVersion = 0;
  std::vector<std::int32_t> lookups;  // Methodrefs of the JDK's lookups of a field by a name given last
  bool listsMethods = false;          // the class calls the JDK's listing of methods
  std::pmr::vector<ZYNAttr::IndexSlot> slots;
  std::vector<std::string_view> annotationTypes;  // the descriptors of the annotations read

  // The words of an annotation attribute's String values go to the strings; returns whether it declares
  // binding (a body that breaks the layout says nothing).
  bool Annotations(std::int16_t kind, std::span<const std::uint8_t> body, tClassNames& names) {
    if (!ZYNAttr::FindIndexes(kind, body, slots)) return false;
    return ReadAnnotations(
        body, slots, [&](std::int32_t index) { return pool.Text(index); },
        [&](std::string_view word) { names.strings.emplace_back(word); },
        [&](std::string_view type) { annotationTypes.push_back(type); });
  }

  // Reads a method's code: whether it looks a field up by a name that is no constant (a lookup that does not
  // follow the ldc of a String at once; code this reader cannot follow counts as such), and, where the class
  // lists methods, the classes whose methods it may list: those it loads as constants or makes objects of.
  void Code(std::span<const std::uint8_t> body, tClassNames& names) {
    tInput in;
    FileModule::Reset(in, body);
    std::int32_t length = 0;
    Take(in, 4);  // max_stack, max_locals
    GetU4(in, length);
    const std::uint8_t* bytes = Take(in, static_cast<std::uint32_t>(length));
    if (bytes == nullptr || length <= 0) {
      names.reflectsFields = names.reflectsFields || !lookups.empty();
      return;
    }
    ZYNCode::CodeIndex last;
    std::uint8_t lastOpcode = 0;
    bool computed = false;
    const bool followed = ZYNCode::ForEachIndex(
        {bytes, static_cast<std::size_t>(length)}, majorVersion,
        [&](std::uint8_t opcode, const ZYNCode::CodeIndex& index) {
          if (std::find(lookups.begin(), lookups.end(), index.index) != lookups.end()) {
            const bool ldc = (lastOpcode == kOpLdc || lastOpcode == kOpLdcW) && index.at - last.at == (last.wide ? 3 : 2);
            computed = computed || !(ldc && pool.Tag(last.index) == kConstantString);
          }
          const bool loaded = opcode == kOpLdc || opcode == kOpLdcW || opcode == kOpNew;
          if (listsMethods && loaded && pool.Tag(index.index) == kConstantClass)
            if (const std::string_view name = pool.ClassName(index.index); !name.empty() && name != names.name)
              names.methodsListed.emplace_back(name);
          last = index;
          lastOpcode = opcode;
        });
    names.reflectsFields = names.reflectsFields || computed || (!followed && !lookups.empty());
  }

  // The attributes of a member: annotations, and a method's code where the class holds a lookup.
  void Member(tInput& in, char kind, tClassNames& names) {
    ForEachAttribute(in, pool, [&](ZYNAttr::tNames sought, std::int16_t attr, std::span<const std::uint8_t> body) {
      if (sought == ZYNAttr::tNames::kAnnotations)
        Annotations(attr, body, names);
      else if (kind == 'M' && (!lookups.empty() || listsMethods) && sought == ZYNAttr::tNames::kCode)
        Code(body, names);
    });
  }
};

// The fields ('F') or methods ('M'): the non-private ones by key, the private ones by name.
void ReadMembers(tInput& in, tAttributeReader& attributes, char kind, tClassNames& names) {
  const tPoolNames& pool = attributes.pool;
  std::int32_t members = 0;
  GetU2(in, members);
  for (std::int32_t m = 0; m < members && in.Done; ++m) {
    std::int32_t flags = 0, name = 0, descriptor = 0;
    GetU2(in, flags);
    GetU2(in, name);
    GetU2(in, descriptor);
    attributes.Member(in, kind, names);
    if (!in.Done || pool.Text(name).empty()) continue;
    if ((flags & kAccPrivate) == 0) names.members.push_back(MemberKey(kind, pool.Text(descriptor), pool.Text(name)));
    else names.privates.emplace_back(pool.Text(name));
  }
}

// The class's attributes, of which EnclosingMethod (the method it names), NestHost, NestMembers (when its
// length is its count's) and the annotations are read.
void ReadClassAttributes(tInput& in, tAttributeReader& reader, tClassNames& names) {
  const tPoolNames& pool = reader.pool;
  const bool packageInfo = names.name == "package-info" || names.name.ends_with("/package-info");
  using ZYNAttr::tNames;
  ForEachAttribute(in, pool, [&](tNames sought, std::int16_t attr, std::span<const std::uint8_t> body) {
    const auto u2 = [&](std::size_t at) { return static_cast<std::int32_t>(BigEndian(&body[at], 2)); };
    if (sought == tNames::kAnnotations) {
      const bool binds = reader.Annotations(attr, body, names);
      names.bindsPackage =
          names.bindsPackage || (packageInfo && binds && attr == ZYNAttr::RuntimeVisibleAnnotationsAttr);
    } else if (sought == tNames::kNestHost && body.size() == 2) {
      names.nestHost = pool.ClassName(u2(0));
    } else if (sought == tNames::kNestMembers && body.size() >= 2 &&
               body.size() == 2 + 2 * static_cast<std::size_t>(u2(0))) {
      for (std::size_t at = 2; at < body.size(); at += 2) names.nestMembers.emplace_back(pool.ClassName(u2(at)));
    } else if (sought == tNames::kEnclosingMethod && body.size() == 4) {
      const std::string_view owner = pool.ClassName(u2(0));
      const auto nat = ZYNConstPool::NameAndTypeAt(pool, u2(2));
      if (!nat || owner.empty()) return;
      const std::string_view natName = pool.Text(nat->nameIndex), natDescriptor = pool.Text(nat->descriptorIndex);
      if (!natName.empty() && !natDescriptor.empty())
        names.enclosing = EnclosingMethodKey(owner, natDescriptor, natName);
    }
  });
}

// The JDK's methods that list a class's fields or tell a field's name: code that calls them may bind fields
// by their names. And those that look a field up by a name given as their last argument: where that name is
// not a constant (a String constant names the field for the member pass already), they may too.
// And the one that lists a class's methods, private ones included.
struct tReflection {
  enum Kind { kFields, kFieldByName, kMethods };  // kFieldByName: the name is the last argument, a String
  std::string_view owner, name;
  Kind kind;
};
constexpr tReflection kReflection[] = {
    {"java/lang/Class", "getDeclaredFields", tReflection::kFields},
    {"java/lang/Class", "getFields", tReflection::kFields},
    {"java/lang/reflect/Field", "getName", tReflection::kFields},
    {"java/lang/Class", "getDeclaredField", tReflection::kFieldByName},
    {"java/lang/Class", "getField", tReflection::kFieldByName},
    {"java/util/concurrent/atomic/AtomicIntegerFieldUpdater", "newUpdater", tReflection::kFieldByName},
    {"java/util/concurrent/atomic/AtomicLongFieldUpdater", "newUpdater", tReflection::kFieldByName},
    {"java/util/concurrent/atomic/AtomicReferenceFieldUpdater", "newUpdater", tReflection::kFieldByName},
    {"sun/misc/Unsafe", "objectFieldOffset", tReflection::kFieldByName},
    {"jdk/internal/misc/Unsafe", "objectFieldOffset", tReflection::kFieldByName},
    {"java/lang/Class", "getDeclaredMethods", tReflection::kMethods},
};

// Which Methodrefs of the pool reflect over fields (the class then does) or look a field up by name (whose
// calls the code reader checks); a lookup that a MethodHandle takes gets its name from anywhere. A class
// that lists methods may list its own, and those of the classes its code loads or makes objects of.
void ReadReflection(const tPoolNames& pool, tAttributeReader& reader, tClassNames& names) {
  std::vector<std::int32_t>& lookups = reader.lookups;
  for (std::int32_t ref = 1; ref < pool.length(); ++ref) {
    const auto method = ZYNConstPool::MemberRefAt(pool, ref);
    const auto nat = method && method->tag == kConstantMethodref ? ZYNConstPool::NameAndTypeAt(pool, method->nameAndTypeIndex)
                                                                 : std::nullopt;
    if (!nat) continue;
    const std::string_view name = pool.Text(nat->nameIndex);
    // Every method of the table begins so: most references are looked at no further.
    if (name.empty() || (name[0] != 'g' && name[0] != 'n' && name[0] != 'o')) continue;
    const std::string_view owner = pool.ClassName(method->classIndex);
    const std::string_view descriptor = pool.Text(nat->descriptorIndex);
    for (const tReflection& r : kReflection) {
      if (r.owner != owner || r.name != name) continue;
      if (r.kind == tReflection::kFields) names.reflectsFields = true;
      else if (r.kind == tReflection::kMethods) reader.listsMethods = true;
      else if (descriptor.find("Ljava/lang/String;)") != std::string_view::npos) lookups.push_back(ref);
    }
  }
  for (std::int32_t handle = 1; handle < pool.length(); ++handle)
    if (pool.Tag(handle) == kConstantMethodHandle &&
        std::find(lookups.begin(), lookups.end(), pool.U2(handle, 1)) != lookups.end())
      names.reflectsFields = true;
  if (reader.listsMethods) names.methodsListed.push_back(names.name);
}

// The class that a Class entry's name or an annotation's type (a descriptor) names, arrays taken apart.
std::string_view NamedClass(std::string_view text, bool descriptor) {
  const std::size_t dims = std::min(text.find_first_not_of('['), text.size());
  if (dims > 0 || descriptor) {
    text.remove_prefix(dims);
    if (text.size() < 3 || text.front() != 'L' || text.back() != ';') return {};
    text = text.substr(1, text.size() - 2);
  }
  return text;
}

// The classes the class names by Class entries and as the types of its annotations (a class that uses a
// library names its classes so), that are neither the class itself nor in the JDK's packages.
void ReadOutside(const tPoolNames& pool, const std::vector<std::string_view>& annotationTypes, tClassNames& names) {
  std::vector<std::string_view> outside;
  const auto add = [&](std::string_view className) {
    if (!className.empty() && className != names.name && !JdkPackage(className)) outside.push_back(className);
  };
  for (std::int32_t c = 1; c < pool.length(); ++c)
    if (pool.Tag(c) == kConstantClass) add(NamedClass(pool.ClassName(c), false));
  for (const std::string_view type : annotationTypes) add(NamedClass(type, true));
  std::sort(outside.begin(), outside.end());
  outside.erase(std::unique(outside.begin(), outside.end()), outside.end());
  names.outside.assign(outside.begin(), outside.end());
}

}  // namespace

bool ReadNames(std::span<const std::uint8_t> bytes, tClassNames& names) {
  tInput in;
  Reset(in, bytes);
  std::int32_t magic = 0, version = 0, count = 0;
  tPoolNames pool;
  GetU4(in, magic);
  GetU4(in, version);
  GetU2(in, count);
  if (!in.Done || static_cast<std::uint32_t>(magic) != kMagic ||
      !ZYNConstPool::ReadEntries(in, count, std::numeric_limits<std::int32_t>::max(), pool))
    return false;
  std::int32_t access = 0, self = 0, super = 0, interfaces = 0;
  GetU2(in, access);
  GetU2(in, self);
  GetU2(in, super);
  GetU2(in, interfaces);
  // A class whose own name is empty is read, as the core reads it: nothing looks a class up by an empty name.
  if (!in.Done) return false;
  names.name = pool.ClassName(self);
  names.super = pool.ClassName(super);
  for (std::int32_t i = 0; i < interfaces && in.Done; ++i) {
    std::int32_t index = 0;
    GetU2(in, index);
    if (!pool.ClassName(index).empty()) names.interfaces.emplace_back(pool.ClassName(index));
  }
  tAttributeReader attributes{pool, version & 0xFFFF, {}, false, {}, {}};
  ReadReflection(pool, attributes, names);
  for (const char kind : {'F', 'M'}) ReadMembers(in, attributes, kind, names);
  // Reflection and method handles name a member by a String constant, from any class.
  for (std::int32_t s = 1; s < pool.length(); ++s)
    if (const std::string_view t = pool.Text(ZYNConstPool::StringAt(pool, s)); MayNameMember(t))
      names.strings.emplace_back(t);
  ReadClassAttributes(in, attributes, names);
  ReadOutside(pool, attributes.annotationTypes, names);
  return in.Done;
}

tNestNames TakeNestNames(tClassNames& names) {
  return {names.name, std::exchange(names.nestHost, {}), std::exchange(names.nestMembers, {})};
}

namespace {

// The keys of the methods, sorted, as views of `texts`: each list its own, since two threads may make two
// lists at once.
std::vector<std::string_view> SortedKeys(std::span<const std::pair<std::string_view, std::string_view>> methods,
                                         std::vector<std::string>& texts) {
  texts.reserve(methods.size());  // the views stay where the texts are
  std::vector<std::string_view> keys;
  for (const auto& [name, descriptor] : methods) keys.push_back(texts.emplace_back(MemberKey('M', descriptor, name)));
  std::sort(keys.begin(), keys.end());
  return keys;
}

const std::vector<std::string_view>& ObjectKeys() {
  static std::vector<std::string> texts;
  static const std::vector<std::string_view> keys = SortedKeys(kObjectMethods, texts);
  return keys;
}

const std::vector<std::string_view>& ExternalizableKeys() {
  static std::vector<std::string> texts;
  static const std::vector<std::string_view> keys = SortedKeys(kExternalizableMethods, texts);
  return keys;
}

// Copies texts into one block, made at once for their total size.
class tBlockWriter {
public:
  explicit tBlockWriter(std::size_t size) : block_(size > 0 ? std::make_unique_for_overwrite<char[]>(size) : nullptr) {}
  std::string_view Put(std::string_view text) {
    char* at = block_.get() + used_;
    std::copy(text.begin(), text.end(), at);
    used_ += text.size();
    return {at, text.size()};
  }
  std::unique_ptr<char[]> Take() { return std::move(block_); }

private:
  std::unique_ptr<char[]> block_;
  std::size_t used_ = 0;
};

std::size_t TotalSize(const std::vector<std::string>& texts) {
  std::size_t size = 0;
  for (const std::string& t : texts) size += t.size();
  return size;
}

// Whether the bytes are UTF-8 text: well-formed sequences and no NUL, which text files do not hold.
bool IsUtf8Text(std::span<const std::uint8_t> bytes) {
  for (std::size_t i = 0; i < bytes.size();) {
    const std::uint8_t b = bytes[i];
    if (b == 0) return false;
    if (b < 0x80) {
      ++i;
      continue;
    }
    const std::size_t n = b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 0;
    if (n == 0 || bytes.size() - i < n) return false;
    for (std::size_t k = 1; k < n; ++k)
      if ((bytes[i + k] & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

bool WordStart(std::uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '$'; }
bool WordPart(std::uint8_t c) { return WordStart(c) || (c >= '0' && c <= '9') || c == '-'; }

// Calls `word` for every identifier-like word of a UTF-8 text ([A-Za-z_$][A-Za-z0-9_$-]*), and for a
// hyphenated one also with its camel-case form (default-phases: defaultPhases); false, with no call, when
// the bytes are not UTF-8 text.
bool ForEachWord(std::span<const std::uint8_t> text, const std::function<void(std::string_view)>& word) {
  if (!IsUtf8Text(text)) return false;
  const auto* chars = reinterpret_cast<const char*>(text.data());
  std::string camel;
  for (std::size_t i = 0; i < text.size();) {
    if (!WordStart(text[i])) {
      ++i;
      continue;
    }
    std::size_t end = i + 1;
    while (end < text.size() && WordPart(text[end])) ++end;
    const std::string_view w(chars + i, end - i);
    word(w);
    if (w.find('-') != std::string_view::npos) {
      // The camel-case form that containers map a hyphenated element name to.
      camel.clear();
      bool upper = false;
      for (char c : w) {
        if (c == '-') upper = !camel.empty();
        else camel.push_back(upper && c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c), upper = false;
      }
      if (!camel.empty()) word(camel);
    }
    i = end;
  }
  return true;
}

}  // namespace

tClassFacts::tClassFacts(tClassNames names)
    : enclosing_(std::move(names.enclosing)), reflectsFields_(names.reflectsFields), bindsPackage_(names.bindsPackage) {
  std::sort(names.members.begin(), names.members.end());
  names.members.erase(std::unique(names.members.begin(), names.members.end()), names.members.end());
  tBlockWriter texts(names.name.size() + names.super.size() + TotalSize(names.interfaces) +
                     TotalSize(names.members) + TotalSize(names.privates));
  name_ = texts.Put(names.name);
  known_.super = texts.Put(names.super);
  known_.interfaces.reserve(names.interfaces.size());
  for (const std::string& i : names.interfaces) known_.interfaces.push_back(texts.Put(i));
  known_.members.reserve(names.members.size());
  for (const std::string& m : names.members) known_.members.push_back(texts.Put(m));
  privates_.reserve(names.privates.size());
  for (const std::string& p : names.privates) privates_.push_back(texts.Put(p));
  texts_ = texts.Take();
  tBlockWriter strings(TotalSize(names.strings) + TotalSize(names.outside));
  strings_.reserve(names.strings.size());
  for (const std::string& s : names.strings) strings_.push_back(strings.Put(s));
  methodsListed_ = std::move(names.methodsListed);
  outside_.reserve(names.outside.size());
  for (const std::string& o : names.outside) outside_.push_back(strings.Put(o));
  stringTexts_ = strings.Take();
}

void tRunFacts::Add(tClassFacts names) {
  privates_.insert(names.privates_.begin(), names.privates_.end());
  strings_.insert(strings_.end(), names.strings_.begin(), names.strings_.end());
  stringOwners_.resize(strings_.size(), names.name_);
  outside_.insert(outside_.end(), names.outside_.begin(), names.outside_.end());
  if (names.reflectsFields_ && reflector_.empty()) reflector_ = names.name_;
  for (std::string& listed : names.methodsListed_) methodsListed_.insert(std::move(listed));
  if (names.bindsPackage_) boundPackages_.emplace(names.name_.substr(0, names.name_.rfind('/') + 1));
  if (names.stringTexts_ != nullptr) stringTexts_.push_back(std::move(names.stringTexts_));
  if (!names.enclosing_.empty()) {
    enclosingOwners_.insert(names.enclosing_.substr(0, names.enclosing_.find('\0')));
    enclosing_.insert(std::move(names.enclosing_));
  }
  classes_.try_emplace(names.name_, std::move(names.known_));
  // Kept also for a later class of a name taken already: its private names may be in the set.
  if (names.texts_ != nullptr) texts_.push_back(std::move(names.texts_));
}

const tKnownClass* tRunFacts::Find(std::string_view name) const {
  const auto it = classes_.find(name);
  return it == classes_.end() ? nullptr : &it->second;
}

void tRunFacts::Finish() {
  for (std::size_t k = 0; k < strings_.size(); ++k)
    if (const auto it = privates_.find(strings_[k]); it != privates_.end()) named_.try_emplace(*it, tNamedBy{stringOwners_[k]});
  const auto unseen = std::find_if(outside_.begin(), outside_.end(), [&](std::string_view o) { return !classes_.contains(o); });
  if (unseen != outside_.end()) unseen_ = *unseen;
  strings_ = {};
  stringOwners_ = {};
  outside_ = {};
  stringTexts_ = decltype(stringTexts_)();
}

std::vector<std::string_view> tRunFacts::Supertypes(std::string_view name) const {
  std::vector<std::string_view> found;
  std::unordered_set<std::string_view> seen{name};
  std::vector<std::string_view> next{name};
  for (std::size_t i = 0; i < next.size(); ++i) {
    const tKnownClass* known = Find(next[i]);
    if (known == nullptr) continue;
    auto add = [&](std::string_view s) {
      if (!s.empty() && seen.insert(s).second) found.push_back(s), next.push_back(s);
    };
    add(known->super);
    for (const std::string_view s : known->interfaces) add(s);
  }
  return found;
}

void tRunFacts::AddWords(std::span<const std::uint8_t> text, std::string_view origin) {
  const std::string* where = nullptr;
  ForEachWord(text, [&](std::string_view word) {
    if (named_.contains(word)) return;
    const auto it = privates_.find(word);
    if (it == privates_.end()) return;
    if (where == nullptr) where = origins_.emplace_back(std::make_unique<std::string>(origin)).get();
    named_.try_emplace(*it, tNamedBy{*where, true});
  });
}

void tRunFacts::AddResource(std::span<const std::uint8_t> text, const std::string& origin) {
  if (ZYNRules::IsShippedRules(origin))
    rules.ReadText({reinterpret_cast<const char*>(text.data()), text.size()}, origin);
  else
    AddWords(text, origin);
}

const tRunFacts::tNamedBy* tRunFacts::NamedOutside(std::string_view name) const {
  const auto it = named_.find(name);
  return it == named_.end() ? nullptr : &it->second;
}

bool tRunFacts::Encloses(std::string_view owner, std::string_view descriptor, std::string_view name) const {
  return enclosingOwners_.contains(owner) && enclosing_.contains(EnclosingMethodKey(owner, descriptor, name));
}

namespace {

// One text per package: the package with its "/", then its classes' names, each after a space.
const char* const kJdkTable[] = {
#include "ZYNJdkTable.inc"
};
// The same for the JDK's packages: the parent package, then the last component of each package in it.
const char* const kJdkPackages[] = {
#include "ZYNJdkPackages.inc"
};

tTextSet JdkNames(std::span<const char* const> table) {
  tTextSet names;
  for (std::string_view text : table) {
    const std::size_t space = text.find(' ');
    const std::string_view package = text.substr(0, space);
    for (std::size_t at = space; at != std::string_view::npos && at < text.size();) {
      const std::size_t end = text.find(' ', at + 1);
      names.insert(std::string(package).append(text.substr(at + 1, end - at - 1)));
      at = end;
    }
  }
  return names;
}

// Whether an annotation of this type (a descriptor) on a class may declare how a library binds its fields:
// any but the markers of the JDK and of compilers, which they put on classes for themselves.
bool DeclaresBinding(std::string_view annotationType) {
  constexpr std::string_view kMarkers[] = {
      "Ljava/lang/Deprecated;", "Ljava/lang/FunctionalInterface;", "Lkotlin/Metadata;",
      "Lscala/reflect/ScalaSignature;", "Lscala/reflect/ScalaLongSignature;"};
  constexpr std::string_view kMarkerPackages[] = {"Ljava/lang/annotation/", "Ljdk/internal/", "Lsun/"};
  return std::find(std::begin(kMarkers), std::end(kMarkers), annotationType) == std::end(kMarkers) &&
         std::none_of(std::begin(kMarkerPackages), std::end(kMarkerPackages),
                      [&](std::string_view p) { return annotationType.starts_with(p); });
}

// Whether the JDK's table lists the class as Serializable and open to subclasses.
bool JdkSerializable(std::string_view name) {
  static const tTextSet names = JdkNames(kJdkTable);
  return names.contains(name);
}

}  // namespace

bool JdkPackage(std::string_view className) {
  static const tTextSet packages = JdkNames(kJdkPackages);
  // The JVM defines no class of a java package but the JDK's: most names a class uses need no lookup.
  if (className.starts_with("java/")) return true;
  const std::size_t slash = className.rfind('/');
  return slash != std::string_view::npos && packages.contains(className.substr(0, slash));
}

bool ReadAnnotations(std::span<const std::uint8_t> body, std::span<const ZYNAttr::IndexSlot> slots,
                     const std::function<std::string_view(std::int32_t)>& text,
                     const std::function<void(std::string_view)>& word,
                     const std::function<void(std::string_view)>& type) {
  bool binds = false, pickled = false;
  for (const ZYNAttr::IndexSlot& slot : slots) {
    const auto index = static_cast<std::int32_t>(FileModule::BigEndian(&body[slot.offset], 2));
    if (slot.role == ZYNAttr::IndexSlot::kAnnotationType) {
      const std::string_view annotation = text(index);
      pickled = annotation == "Lscala/reflect/ScalaSignature;" || annotation == "Lscala/reflect/ScalaLongSignature;";
      binds = binds || DeclaresBinding(annotation);
      if (type) type(annotation);
    } else if (slot.role == ZYNAttr::IndexSlot::kText && !pickled) {
      const std::string_view value = text(index);
      ForEachWord({reinterpret_cast<const std::uint8_t*>(value.data()), value.size()}, word);
    }
  }
  return binds;
}

bool tInherited::Declares(std::string_view key) const {
  for (const std::vector<std::string_view>* keys : members)
    if (std::binary_search(keys->begin(), keys->end(), key, std::less<>())) return true;
  return false;
}

tInherited Inherit(const tRunFacts* facts, std::string_view super, const std::vector<std::string_view>& interfaces) {
  tInherited inherited;
  inherited.members.push_back(&ObjectKeys());
  std::deque<std::string> pending;
  if (!super.empty()) pending.emplace_back(super);
  for (std::string_view i : interfaces) pending.emplace_back(i);
  std::unordered_set<std::string> seen;
  while (!pending.empty()) {
    const std::string type = std::move(pending.front());
    pending.pop_front();
    if (type == "java/lang/Object" || !seen.insert(type).second) continue;
    if (type == "java/io/Serializable" || type == "java/io/Externalizable") {
      inherited.serializable = true;
      if (type == "java/io/Externalizable") inherited.members.push_back(&ExternalizableKeys());
      continue;
    }
    if (const tKnownClass* known = facts != nullptr ? facts->Find(type) : nullptr) {
      if (!known->members.empty()) inherited.members.push_back(&known->members);
      if (!known->super.empty()) pending.emplace_back(known->super);
      for (const std::string_view i : known->interfaces) pending.emplace_back(i);
      continue;
    }
    inherited.unknownSupertype = true;
    if (type == "jdk/jfr/Event") inherited.bindsFields = true;
    // The table lists the JDK's Serializable classes; any other class of the java packages is not.
    if (JdkSerializable(type)) inherited.serializable = true;
    else if (!type.starts_with("java/")) inherited.maybeSerializable = true;
  }
  return inherited;
}

}  // namespace ZYNHierarchy
