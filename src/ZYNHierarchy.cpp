#include "ZYNHierarchy.h"

#include <algorithm>
#include <deque>

#include "FileModule.h"

namespace ZYNHierarchy {

namespace {

constexpr std::int32_t ACC_PRIVATE = 0x0002;

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

std::vector<std::string> SortedKeys(std::span<const std::pair<std::string_view, std::string_view>> methods);

// Whether a text could be a member's name: not empty, none of the characters a name cannot hold.
bool MayNameMember(std::string_view text) {
  return !text.empty() && text.find_first_of(".;[/") == std::string_view::npos;
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

bool ReadNames(std::span<const std::uint8_t> bytes, tClassNames& names) {
  using namespace FileModule;
  tInput in;
  Reset(in, bytes);
  std::int32_t magic = 0, version = 0, count = 0;
  GetU4(in, magic);
  GetU4(in, version);
  GetU2(in, count);
  if (!in.Done || static_cast<std::uint32_t>(magic) != 0xCAFEBABE) return false;
  // Where each Utf8 text stands, and the name index of each Class entry.
  // For each entry: where its Utf8 text stands; or the index it names (a Class's or a String's text); or
  // the name and descriptor indexes of a NameAndType, packed into one number.
  std::vector<std::span<const std::uint8_t>> texts(static_cast<std::size_t>(count));
  std::vector<std::int32_t> named(static_cast<std::size_t>(count), 0);
  std::vector<std::int32_t> strings;
  for (std::int32_t i = 1; i < count && in.Done; ++i) {
    std::int16_t tag = 0;
    GetU1(in, tag);
    std::int32_t length = 0;
    const auto at = static_cast<std::size_t>(i);
    switch (tag) {
      case 1: case 2:
        GetU2(in, length);
        if (const std::uint8_t* p = Take(in, static_cast<std::size_t>(length))) texts[at] = {p, static_cast<std::size_t>(length)};
        break;
      case 7: GetU2(in, named[at]); break;
      case 8: GetU2(in, named[at]); strings.push_back(i); break;
      case 12: {
        std::int32_t name = 0, descriptor = 0;
        GetU2(in, name);
        GetU2(in, descriptor);
        named[at] = static_cast<std::int32_t>(static_cast<std::uint32_t>(name) << 16 | static_cast<std::uint32_t>(descriptor));
        break;
      }
      case 16: case 19: case 20: Take(in, 2); break;
      case 15: Take(in, 3); break;
      case 3: case 4: case 9: case 10: case 11: case 17: case 18: Take(in, 4); break;
      case 5: case 6: Take(in, 8); ++i; break;
      default: return false;
    }
  }
  auto text = [&](std::int32_t index) -> std::string_view {
    if (index <= 0 || index >= count) return {};
    const auto t = texts[static_cast<std::size_t>(index)];
    return {reinterpret_cast<const char*>(t.data()), t.size()};
  };
  auto className = [&](std::int32_t index) {
    return index > 0 && index < count ? text(named[static_cast<std::size_t>(index)]) : std::string_view();
  };
  std::int32_t access = 0, self = 0, super = 0, interfaces = 0;
  GetU2(in, access);
  GetU2(in, self);
  GetU2(in, super);
  GetU2(in, interfaces);
  if (!in.Done || className(self).empty()) return false;
  names.name = className(self);
  names.super = className(super);
  for (std::int32_t i = 0; i < interfaces && in.Done; ++i) {
    std::int32_t index = 0;
    GetU2(in, index);
    if (!className(index).empty()) names.interfaces.emplace_back(className(index));
  }
  for (const char kind : {'F', 'M'}) {
    std::int32_t members = 0;
    GetU2(in, members);
    for (std::int32_t m = 0; m < members && in.Done; ++m) {
      std::int32_t flags = 0, name = 0, descriptor = 0, attributes = 0;
      GetU2(in, flags);
      GetU2(in, name);
      GetU2(in, descriptor);
      GetU2(in, attributes);
      for (std::int32_t a = 0; a < attributes && in.Done; ++a) {
        std::int32_t length = 0;
        Take(in, 2);
        GetU4(in, length);
        Take(in, static_cast<std::uint32_t>(length));
      }
      if (!in.Done || text(name).empty()) continue;
      if ((flags & ACC_PRIVATE) == 0) names.members.push_back(MemberKey(kind, text(descriptor), text(name)));
      else names.privates.emplace_back(text(name));
    }
  }
  // Reflection and method handles name a member by a String constant, from any class.
  for (const std::int32_t s : strings)
    if (const std::string_view t = text(named[static_cast<std::size_t>(s)]); MayNameMember(t)) names.strings.emplace_back(t);
  std::int32_t attributes = 0;
  GetU2(in, attributes);
  for (std::int32_t a = 0; a < attributes && in.Done; ++a) {
    std::int32_t name = 0, length = 0, owner = 0, method = 0;
    GetU2(in, name);
    GetU4(in, length);
    if (text(name) != "EnclosingMethod" || length != 4) {
      Take(in, static_cast<std::uint32_t>(length));
      continue;
    }
    GetU2(in, owner);
    GetU2(in, method);
    if (!in.Done || method <= 0 || method >= count || className(owner).empty()) continue;
    // Any other entry there leaves no name (its index stands in the low half).
    const auto packed = static_cast<std::uint32_t>(named[static_cast<std::size_t>(method)]);
    const auto natName = static_cast<std::int32_t>(packed >> 16), natDescriptor = static_cast<std::int32_t>(packed & 0xFFFF);
    if (!text(natName).empty() && !text(natDescriptor).empty())
      names.enclosing = EnclosingMethodKey(className(owner), text(natDescriptor), text(natName));
  }
  return in.Done;
}

namespace {

std::vector<std::string> SortedKeys(std::span<const std::pair<std::string_view, std::string_view>> methods) {
  std::vector<std::string> keys;
  for (const auto& [name, descriptor] : methods) keys.push_back(MemberKey('M', descriptor, name));
  std::sort(keys.begin(), keys.end());
  return keys;
}

const std::vector<std::string>& ObjectKeys() {
  static const std::vector<std::string> keys = SortedKeys(kObjectMethods);
  return keys;
}

const std::vector<std::string>& ExternalizableKeys() {
  static const std::vector<std::string> keys = SortedKeys(kExternalizableMethods);
  return keys;
}

}  // namespace

bool tInherited::Declares(std::string_view key) const {
  for (const std::vector<std::string>* keys : members)
    if (std::binary_search(keys->begin(), keys->end(), key, std::less<>())) return true;
  return false;
}

void tRunFacts::Add(tClassNames names) {
  for (std::string& p : names.privates) privates_.insert(std::move(p));
  for (std::string& s : names.strings) strings_.push_back(std::move(s));
  if (!names.enclosing.empty()) {
    enclosingOwners_.insert(names.enclosing.substr(0, names.enclosing.find('\0')));
    enclosing_.insert(std::move(names.enclosing));
  }
  names.privates = {};
  names.strings = {};
  std::sort(names.members.begin(), names.members.end());
  names.members.erase(std::unique(names.members.begin(), names.members.end()), names.members.end());
  std::string key = names.name;
  classes_.try_emplace(std::move(key), std::move(names));
}

const tClassNames* tRunFacts::Find(std::string_view name) const {
  const auto it = classes_.find(name);
  return it == classes_.end() ? nullptr : &it->second;
}

void tRunFacts::Finish() {
  for (std::string& s : strings_)
    if (privates_.contains(s)) outside_.insert(std::move(s));
  strings_ = {};
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
    if (const tClassNames* known = facts != nullptr ? facts->Find(type) : nullptr) {
      if (!known->members.empty()) inherited.members.push_back(&known->members);
      if (!known->super.empty()) pending.push_back(known->super);
      for (const std::string& i : known->interfaces) pending.push_back(i);
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
