#include "ZYNHierarchy.h"

#include <algorithm>
#include <deque>
#include <utility>

#include "FileModule.h"
#include "ZYNClassFile.h"

namespace ZYNHierarchy {

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

std::vector<std::string_view> SortedKeys(std::span<const std::pair<std::string_view, std::string_view>> methods,
                                         std::vector<std::string>& texts);

// Whether a text could be a member's name: not empty, none of the characters a name cannot hold.
bool MayNameMember(std::string_view text) {
  // A plain loop: find_first_of makes a library call per character (a hot spot of the names pass).
  return !text.empty() &&
         std::none_of(text.begin(), text.end(), [](char c) { return c == '.' || c == ';' || c == '[' || c == '/'; });
}

}  // namespace

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

using namespace FileModule;
using namespace ZYNClassFile;

// What the names reader keeps of a constant pool, per entry: where a Utf8 text stands; the index a Class or
// a String names; or the name and descriptor indexes of a NameAndType, packed into one number.
struct tPoolNames {
  std::int32_t count = 0;
  std::vector<std::span<const std::uint8_t>> texts;
  std::vector<std::int32_t> named;
  std::vector<std::int32_t> strings;  // the String entries

  std::string_view Text(std::int32_t index) const {
    if (index <= 0 || index >= count) return {};
    const auto t = texts[static_cast<std::size_t>(index)];
    return {reinterpret_cast<const char*>(t.data()), t.size()};
  }
  std::string_view ClassName(std::int32_t index) const {
    return index > 0 && index < count ? Text(named[static_cast<std::size_t>(index)]) : std::string_view();
  }
};

// Reads the pool's entries; false for a tag this reader cannot follow.
bool ReadPool(tInput& in, tPoolNames& pool) {
  pool.texts.resize(static_cast<std::size_t>(pool.count));
  pool.named.resize(static_cast<std::size_t>(pool.count), 0);
  for (std::int32_t i = 1; i < pool.count && in.Done; ++i) {
    std::int16_t tag = 0;
    GetU1(in, tag);
    std::int32_t length = 0, name = 0, descriptor = 0;
    const auto at = static_cast<std::size_t>(i);
    switch (tag) {
      case kConstantUtf8: case kConstantUnicode:
        GetU2(in, length);
        if (const std::uint8_t* p = Take(in, static_cast<std::size_t>(length)))
          pool.texts[at] = {p, static_cast<std::size_t>(length)};
        break;
      case kConstantClass: GetU2(in, pool.named[at]); break;
      case kConstantString: GetU2(in, pool.named[at]); pool.strings.push_back(i); break;
      case kConstantNameAndType:
        GetU2(in, name);
        GetU2(in, descriptor);
        pool.named[at] =
            static_cast<std::int32_t>(static_cast<std::uint32_t>(name) << 16 | static_cast<std::uint32_t>(descriptor));
        break;
      case kConstantMethodType: case kConstantModule: case kConstantPackage: Take(in, 2); break;
      case kConstantMethodHandle: Take(in, 3); break;
      case kConstantInteger: case kConstantFloat: case kConstantFieldref: case kConstantMethodref:
      case kConstantInterfaceMethodref: case kConstantDynamic: case kConstantInvokeDynamic: Take(in, 4); break;
      case kConstantLong: case kConstantDouble: Take(in, 8); ++i; break;
      default: return false;
    }
  }
  return true;
}

void SkipAttributes(tInput& in, std::int32_t count) {
  for (std::int32_t a = 0; a < count && in.Done; ++a) {
    std::int32_t length = 0;
    Take(in, 2);
    GetU4(in, length);
    Take(in, static_cast<std::uint32_t>(length));
  }
}

// The fields ('F') or methods ('M'): the non-private ones by key, the private ones by name.
void ReadMembers(tInput& in, const tPoolNames& pool, char kind, tClassNames& names) {
  std::int32_t members = 0;
  GetU2(in, members);
  for (std::int32_t m = 0; m < members && in.Done; ++m) {
    std::int32_t flags = 0, name = 0, descriptor = 0, attributes = 0;
    GetU2(in, flags);
    GetU2(in, name);
    GetU2(in, descriptor);
    GetU2(in, attributes);
    SkipAttributes(in, attributes);
    if (!in.Done || pool.Text(name).empty()) continue;
    if ((flags & kAccPrivate) == 0) names.members.push_back(MemberKey(kind, pool.Text(descriptor), pool.Text(name)));
    else names.privates.emplace_back(pool.Text(name));
  }
}

// A NestMembers attribute's classes, when its length is its count's.
void ReadNestMembers(tInput& in, const tPoolNames& pool, std::int32_t length, tClassNames& names) {
  std::int32_t count = 0;
  GetU2(in, count);
  if (length != 2 + 2 * count) {
    Take(in, static_cast<std::uint32_t>(length - 2));
    return;
  }
  for (std::int32_t i = 0; i < count && in.Done; ++i) {
    std::int32_t member = 0;
    GetU2(in, member);
    names.nestMembers.emplace_back(pool.ClassName(member));
  }
}

// The class's attributes, of which EnclosingMethod (the method it names), NestHost and NestMembers are read.
void ReadClassAttributes(tInput& in, const tPoolNames& pool, tClassNames& names) {
  std::int32_t attributes = 0;
  GetU2(in, attributes);
  for (std::int32_t a = 0; a < attributes && in.Done; ++a) {
    std::int32_t name = 0, length = 0, owner = 0, method = 0;
    GetU2(in, name);
    GetU4(in, length);
    const std::string_view kind = pool.Text(name);
    if (kind == "NestHost" && length == 2) {
      GetU2(in, owner);
      names.nestHost = pool.ClassName(owner);
      continue;
    }
    if (kind == "NestMembers" && length >= 2) {
      ReadNestMembers(in, pool, length, names);
      continue;
    }
    if (kind != "EnclosingMethod" || length != 4) {
      Take(in, static_cast<std::uint32_t>(length));
      continue;
    }
    GetU2(in, owner);
    GetU2(in, method);
    if (!in.Done || method <= 0 || method >= pool.count || pool.ClassName(owner).empty()) continue;
    // Any other entry there leaves no name (its index stands in the low half).
    const auto packed = static_cast<std::uint32_t>(pool.named[static_cast<std::size_t>(method)]);
    const std::string_view natName = pool.Text(static_cast<std::int32_t>(packed >> 16));
    const std::string_view natDescriptor = pool.Text(static_cast<std::int32_t>(packed & 0xFFFF));
    if (!natName.empty() && !natDescriptor.empty())
      names.enclosing = EnclosingMethodKey(pool.ClassName(owner), natDescriptor, natName);
  }
}

}  // namespace

bool ReadNames(std::span<const std::uint8_t> bytes, tClassNames& names) {
  tInput in;
  Reset(in, bytes);
  std::int32_t magic = 0, version = 0;
  tPoolNames pool;
  GetU4(in, magic);
  GetU4(in, version);
  GetU2(in, pool.count);
  if (!in.Done || static_cast<std::uint32_t>(magic) != kMagic || !ReadPool(in, pool)) return false;
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
  for (const char kind : {'F', 'M'}) ReadMembers(in, pool, kind, names);
  // Reflection and method handles name a member by a String constant, from any class.
  for (const std::int32_t s : pool.strings)
    if (const std::string_view t = pool.Text(pool.named[static_cast<std::size_t>(s)]); MayNameMember(t))
      names.strings.emplace_back(t);
  ReadClassAttributes(in, pool, names);
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

}  // namespace

bool tInherited::Declares(std::string_view key) const {
  for (const std::vector<std::string_view>* keys : members)
    if (std::binary_search(keys->begin(), keys->end(), key, std::less<>())) return true;
  return false;
}

namespace {

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

}  // namespace

tClassFacts::tClassFacts(tClassNames names) : enclosing_(std::move(names.enclosing)) {
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
  tBlockWriter strings(TotalSize(names.strings));
  strings_.reserve(names.strings.size());
  for (const std::string& s : names.strings) strings_.push_back(strings.Put(s));
  stringTexts_ = strings.Take();
}

void tRunFacts::Add(tClassFacts names) {
  privates_.insert(names.privates_.begin(), names.privates_.end());
  strings_.insert(strings_.end(), names.strings_.begin(), names.strings_.end());
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
  for (const std::string_view s : strings_)
    if (const auto it = privates_.find(s); it != privates_.end()) outside_.insert(*it);
  strings_ = {};
  stringTexts_ = decltype(stringTexts_)();
}

void tRunFacts::AddWords(std::span<const std::uint8_t> text) {
  ForEachWord(text, [&](std::string_view word) {
    if (outside_.contains(word)) return;
    if (const auto it = privates_.find(word); it != privates_.end()) outside_.insert(*it);
  });
}

bool tRunFacts::NamedOutside(std::string_view name) const { return outside_.contains(name); }

bool tRunFacts::Encloses(std::string_view owner, std::string_view descriptor, std::string_view name) const {
  return enclosingOwners_.contains(owner) && enclosing_.contains(EnclosingMethodKey(owner, descriptor, name));
}

namespace {

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

}  // namespace

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
    // The table lists the JDK's Serializable classes; any other class of the java packages is not.
    if (JdkSerializable(type)) inherited.serializable = true;
    else if (!type.starts_with("java/")) inherited.maybeSerializable = true;
  }
  return inherited;
}

}  // namespace ZYNHierarchy

namespace ZYNHierarchy {

namespace {

// One text per package: the package with its "/", then its classes' names, each after a space.
const char* const kJdkTable[] = {
#include "ZYNJdkTable.inc"
};

std::unordered_set<std::string> JdkNames() {
  std::unordered_set<std::string> names;
  for (std::string_view text : kJdkTable) {
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

}  // namespace

bool JdkSerializable(std::string_view name) {
  static const std::unordered_set<std::string> names = JdkNames();
  return names.contains(std::string(name));
}

}  // namespace ZYNHierarchy
