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

}  // namespace

std::string MemberKey(char kind, std::string_view descriptor, std::string_view name) {
  std::string key(1, kind);
  key.append(descriptor).push_back('\0');
  key.append(name);
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
  std::vector<std::span<const std::uint8_t>> texts(static_cast<std::size_t>(count));
  std::vector<std::int32_t> classNames(static_cast<std::size_t>(count), 0);
  for (std::int32_t i = 1; i < count && in.Done; ++i) {
    std::int16_t tag = 0;
    GetU1(in, tag);
    std::int32_t length = 0;
    switch (tag) {
      case 1: case 2:
        GetU2(in, length);
        if (const std::uint8_t* p = Take(in, static_cast<std::size_t>(length)))
          texts[static_cast<std::size_t>(i)] = {p, static_cast<std::size_t>(length)};
        break;
      case 7: GetU2(in, classNames[static_cast<std::size_t>(i)]); break;
      case 8: case 16: case 19: case 20: Take(in, 2); break;
      case 15: Take(in, 3); break;
      case 3: case 4: case 9: case 10: case 11: case 12: case 17: case 18: Take(in, 4); break;
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
    return index > 0 && index < count ? text(classNames[static_cast<std::size_t>(index)]) : std::string_view();
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
      if (in.Done && (flags & ACC_PRIVATE) == 0 && !text(name).empty())
        names.members.push_back(MemberKey(kind, text(descriptor), text(name)));
    }
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
  std::sort(names.members.begin(), names.members.end());
  names.members.erase(std::unique(names.members.begin(), names.members.end()), names.members.end());
  std::string key = names.name;
  classes_.try_emplace(std::move(key), std::move(names));
}

const tClassNames* tRunFacts::Find(std::string_view name) const {
  const auto it = classes_.find(name);
  return it == classes_.end() ? nullptr : &it->second;
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
