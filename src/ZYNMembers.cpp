// The member pass: removal of private members that nothing refers to, and renaming of private members.
#include <string>
#include <string_view>
#include <unordered_set>

#include "ZYNClass.h"
#include "ZYNData.h"
#include "ZYNError.h"

namespace ZYNClass {

using ZYNConstPool::ConstPool;

namespace {

constexpr std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr std::size_t kIdentsSize = 100;
constexpr std::int8_t kFieldref = 9, kMethodref = 10, kInterfaceMethodref = 11;

constexpr std::int32_t ACC_STATIC = 0x0008, ACC_TRANSIENT = 0x0080, ACC_NATIVE = 0x0100;

std::vector<std::int32_t> idents;  // reusable names of the current file, ended by 0

// What the class file shows about members that are reached from outside its own references.
struct Protection {
  bool wholeClass = false;        // a nest: its other classes use the private members directly
  bool noRename = false;          // names are read back from elsewhere (Kotlin metadata)
  bool serializable = false;      // the instance fields are the serialized form
  std::vector<bool> fieldKept, methodKept;  // neither removed nor renamed
  std::vector<bool> methodNamed;            // kept under their names (native methods)
};

Protection protection;

bool IsPrivate(const memberInfo& member) { return (member.accessFlags & ACC_PRIVATE) != 0; }

std::int32_t MarkOf(const ConstPool& cp, std::int32_t index) {
  const ZYNConstPool::InfoDesc* entry = cp.At(index);
  return entry != nullptr ? entry->mark : 0;
}

bool IsUtf8(const ConstPool& cp, std::int32_t index) {
  const ZYNConstPool::InfoDesc* entry = cp.At(index);
  return entry != nullptr && entry->tag == 1;
}

void CheckClassEntry(const ConstPool& cp, std::int32_t index, std::string_view message) {
  const auto* entry = ZYNConstPool::EntryAs<ZYNConstPool::classInfoDesc>(cp, index);
  if (entry == nullptr || !IsUtf8(cp, entry->nameIndex)) ZYNError::Message(message);
}

// The pass reads names through these indexes; a malformed file is refused before anything changes.
void CheckClass(const tClassDesc& cls) {
  const ConstPool& cp = *cls.cp;
  CheckClassEntry(cp, cls.thisClass, "Invalid this class index in class file");
  if (cls.superClass != 0) CheckClassEntry(cp, cls.superClass, "Invalid super class index in class file");
  for (const auto* members : {&cls.fields, &cls.methods})
    for (const memberInfo& member : *members)
      if (member.present && !IsUtf8(cp, member.nameIndex))
        ZYNError::Message("Invalid member name index in class file");
}

std::int32_t ClassNameIndex(const ConstPool& cp, std::int32_t classIndex) {
  return ZYNConstPool::EntryAs<ZYNConstPool::classInfoDesc>(cp, classIndex)->nameIndex;
}

void Refresh(tClassDesc& cls) {
  ZYNConstPool::UnMark(*cls.cp);
  MarkClass(cls);
}

std::string Text(const ConstPool& cp, std::int32_t index) {
  const auto* entry = ZYNConstPool::EntryAs<ZYNConstPool::utfInfoDesc>(cp, index);
  if (entry == nullptr) return {};
  return std::string(entry->bytes.begin(), entry->bytes.begin() + entry->length);
}

// From class file version 52 interfaces have private methods, reached through interface method references.
std::int8_t OtherTag(const tClassDesc& cls, std::int8_t tag) {
  return tag == kMethodref && cls.majorVersion >= 52 ? kInterfaceMethodref : 0;
}

// The reference to the member through this class; references to other classes' members do not count.
std::int32_t OwnRef(const tClassDesc& cls, const memberInfo& member, std::int8_t tag) {
  return ZYNConstPool::MemberRefIndex(*cls.cp, member.nameIndex, member.descriptorIndex, tag, OtherTag(cls, tag),
                                      cls.thisClass);
}

struct Signature {
  std::string_view name, descriptor;
};

// Members that Java serialization finds by name and descriptor.
constexpr Signature kSerialFields[] = {
    {"serialVersionUID", "J"},
    {"serialPersistentFields", "[Ljava/io/ObjectStreamField;"},
};
constexpr Signature kSerialMethods[] = {
    {"writeObject", "(Ljava/io/ObjectOutputStream;)V"},
    {"readObject", "(Ljava/io/ObjectInputStream;)V"},
    {"readObjectNoData", "()V"},
    {"writeReplace", "()Ljava/lang/Object;"},
    {"readResolve", "()Ljava/lang/Object;"},
};

template <std::size_t N>
bool IsOneOf(const ConstPool& cp, const memberInfo& member, const Signature (&list)[N]) {
  const std::string name = Text(cp, member.nameIndex);
  const std::string descriptor = Text(cp, member.descriptorIndex);
  for (const Signature& s : list)
    if (s.name == name && s.descriptor == descriptor) return true;
  return false;
}

bool HasAnnotation(const ZYNAttr::AttrArray& attrs, std::int16_t kind, const ConstPool& cp, std::string_view type) {
  for (const auto& attr : attrs) {
    const auto* indexed = dynamic_cast<const ZYNAttr::IndexedAttributeDesc*>(attr.get());
    if (indexed == nullptr || !indexed->This(kind)) continue;
    if (type.empty()) return true;
    for (const ZYNAttr::IndexSlot& slot : indexed->indexes)
      if (Text(cp, indexed->IndexAt(slot)) == type) return true;
  }
  return false;
}

// Texts of the String constants: a member name that one of them spells may be looked up by reflection.
std::unordered_set<std::string> StringTexts(const ConstPool& cp) {
  std::unordered_set<std::string> texts;
  for (std::int32_t i = 1; i < cp.length(); ++i)
    if (const ZYNConstPool::InfoDesc* entry = cp.At(i); entry != nullptr && entry->tag == 8)
      texts.insert(Text(cp, static_cast<const ZYNConstPool::stringInfoDesc*>(entry)->stringIndex));
  return texts;
}

void Protect(const tClassDesc& cls) {
  using namespace ZYNAttr;
  const ConstPool& cp = *cls.cp;
  Protection& p = protection;
  p = Protection{};
  p.wholeClass = cls.majorVersion >= 55 && (HasAttr(cls.attrs, NestHostAttr) || HasAttr(cls.attrs, NestMembersAttr));
  p.noRename = HasAnnotation(cls.attrs, RuntimeVisibleAnnotationsAttr, cp, "Lkotlin/Metadata;");
  for (std::int32_t index : cls.interfaces) {
    const auto* entry = ZYNConstPool::EntryAs<ZYNConstPool::classInfoDesc>(cp, index);
    const std::string name = entry != nullptr ? Text(cp, entry->nameIndex) : std::string();
    if (name == "java/io/Serializable" || name == "java/io/Externalizable") p.serializable = true;
  }
  for (const memberInfo& f : cls.fields) p.serializable = p.serializable || (f.present && IsOneOf(cp, f, kSerialFields));
  for (const memberInfo& m : cls.methods)
    p.serializable = p.serializable || (m.present && IsOneOf(cp, m, kSerialMethods));
  const std::unordered_set<std::string> strings = StringTexts(cp);
  auto reflected = [&](const memberInfo& member) {
    return HasAnnotation(member.attrs, RuntimeVisibleAnnotationsAttr, cp, {}) ||
           strings.contains(Text(cp, member.nameIndex));
  };
  for (const memberInfo& f : cls.fields) {
    const bool serialForm = p.serializable && (f.accessFlags & (ACC_STATIC | ACC_TRANSIENT)) == 0;
    p.fieldKept.push_back(IsOneOf(cp, f, kSerialFields) || serialForm || reflected(f));
  }
  for (const memberInfo& m : cls.methods) {
    p.methodKept.push_back(IsOneOf(cp, m, kSerialMethods) || reflected(m));
    p.methodNamed.push_back((m.accessFlags & ACC_NATIVE) != 0);
  }
}

bool Kept(const std::vector<bool>& kept, std::size_t i) { return i < kept.size() && kept[i]; }

// Removes the unreferenced private members of one table; returns how many went.
int RemoveFrom(tClassDesc& cls, std::vector<memberInfo>& members, std::int32_t& count, std::int8_t tag,
               const std::vector<bool>& kept, std::int32_t& bytes) {
  int removed = 0;
  if (count <= 0) return 0;
  for (std::size_t i = 0; i < members.size(); ++i) {
    memberInfo& member = members[i];
    if (!member.present || !IsPrivate(member) || Kept(kept, i)) continue;
    if (MarkOf(*cls.cp, member.nameIndex) == 1 || OwnRef(cls, member, tag) == 0) {
      member.present = false;
      --count;
      bytes += 8;
      ++removed;
    }
  }
  return removed;
}

void DropIdent(std::int32_t index) {
  std::size_t n = 0;
  while (n < idents.size() && idents[n] != 0) ++n;
  for (std::size_t i = 0; i < n; ++i)
    if (idents[i] == index) {
      idents[i] = idents[n - 1];
      idents[n - 1] = 0;
      return;
    }
}

bool NameInUse(const tClassDesc& cls, char ch) {
  const ConstPool& cp = *cls.cp;
  for (const auto* members : {&cls.fields, &cls.methods})
    for (const memberInfo& member : *members)
      if (member.present && ZYNConstPool::UtfEq(cp, member.nameIndex, ch)) return true;
  if (ZYNConstPool::UtfEq(cp, ClassNameIndex(cp, cls.thisClass), ch)) return true;
  return cls.superClass != 0 && ZYNConstPool::UtfEq(cp, ClassNameIndex(cp, cls.superClass), ch);
}

struct NameSources {
  std::size_t k = 0;       // next position in idents
  std::size_t letter = 0;  // next position in alphabet
};

// Whether the class refers, through any class, to a member of the same kind named `name` with this member's
// descriptor: giving the member that name would make such a reference resolve to it.
bool NameTaken(const tClassDesc& cls, const memberInfo& member, std::int8_t tag, std::string_view name) {
  using namespace ZYNConstPool;
  const ConstPool& cp = *cls.cp;
  for (std::int32_t i = 1; i < cp.length(); ++i) {
    const InfoDesc* entry = cp.At(i);
    const bool sameKind = entry != nullptr && (tag == kFieldref ? entry->tag == kFieldref
                                                                : entry->tag == kMethodref || entry->tag == kInterfaceMethodref);
    if (!sameKind) continue;
    const InfoDesc* natEntry = cp.At(static_cast<const memberInfoDesc*>(entry)->nameAndTypeIndex);
    if (natEntry == nullptr || natEntry->tag != 12) continue;
    const auto* nat = static_cast<const nameAndTypeInfoDesc*>(natEntry);
    const InfoDesc* nameEntry = cp.At(nat->nameIndex);
    if (nameEntry == nullptr || nameEntry->tag != 1) continue;
    const auto* text = static_cast<const utfInfoDesc*>(nameEntry);
    if (std::string_view(reinterpret_cast<const char*>(text->bytes.data()), text->length) == name &&
        SameUtf8(cp, nat->descriptorIndex, member.descriptorIndex))
      return true;
  }
  return false;
}

std::int32_t GiveNewName(tClassDesc& cls, memberInfo& member, std::int8_t tag, std::int32_t ref, NameSources& next) {
  ConstPool& cp = *cls.cp;
  // The reusable entries first, skipping those that would capture a reference; a skipped one stays for others.
  for (std::size_t i = next.k; i < idents.size() && idents[i] != 0; ++i) {
    if (NameTaken(cls, member, tag, Text(cp, idents[i]))) continue;
    std::swap(idents[i], idents[next.k]);
    member.nameIndex = idents[next.k++];
    ZYNConstPool::ReplaceMemRefName(cp, ref, member.nameIndex);
    return 0;
  }
  if (next.k < idents.size() && idents[next.k] != 0) return 0;
  while (next.letter < alphabet.size() && NameInUse(cls, alphabet[next.letter])) ++next.letter;
  std::size_t letter = next.letter;
  while (letter < alphabet.size() &&
         (NameInUse(cls, alphabet[letter]) || NameTaken(cls, member, tag, alphabet.substr(letter, 1))))
    ++letter;
  if (letter >= alphabet.size()) return 0;
  if (letter == next.letter) ++next.letter;
  const char ch = alphabet[letter];
  std::int32_t saved = 0;
  if (const std::int32_t u = ZYNConstPool::UtfIndex(cp, ch); u != 0) {
    member.nameIndex = u;
    ZYNConstPool::ReplaceMemRefName(cp, ref, u);
  } else {
    ZYNConstPool::ReplaceUtf(cp, member.nameIndex, ch, saved);
  }
  return saved;
}

std::int32_t RenameMember(tClassDesc& cls, memberInfo& member, std::int8_t tag, bool keepName, NameSources& next) {
  if (!member.present || !IsPrivate(member) || keepName) return 0;
  const std::int32_t ref = OwnRef(cls, member, tag);
  // Renamed only when its name serves nothing but the declaration and this one reference.
  if (ref == 0 || MarkOf(*cls.cp, ref) + 1 != MarkOf(*cls.cp, member.nameIndex)) return 0;
  return GiveNewName(cls, member, tag, ref, next);
}

}  // namespace

void RemoveUnusedPrivate(tClassDesc& cls, std::int32_t& bytes) {
  bytes = 0;
  Protect(cls);
  if (protection.wholeClass) return;
  int removedMethods = 0;
  do {
    Refresh(cls);
    RemoveFrom(cls, cls.fields, cls.fieldCount, kFieldref, protection.fieldKept, bytes);
    removedMethods = RemoveFrom(cls, cls.methods, cls.methodCount, kMethodref, protection.methodKept, bytes);
  } while (removedMethods > 0);
}

void RenameMembers(tClassDesc& cls, std::int32_t& bytes) {
  bytes = 0;
  Protect(cls);
  if (protection.wholeClass || protection.noRename) return;
  Refresh(cls);
  ZYNConstPool::GetIdents(*cls.cp, idents, kIdentsSize, cls.thisClass, cls.superClass);
  for (const auto* members : {&cls.fields, &cls.methods})
    for (const memberInfo& member : *members)
      if (member.present) DropIdent(member.nameIndex);
  NameSources next;
  const Protection& p = protection;
  if (cls.fieldCount > 0)
    for (std::size_t i = 0; i < cls.fields.size(); ++i)
      bytes += RenameMember(cls, cls.fields[i], kFieldref, Kept(p.fieldKept, i), next);
  if (cls.methodCount > 0)
    for (std::size_t i = 0; i < cls.methods.size(); ++i)
      bytes += RenameMember(cls, cls.methods[i], kMethodref, Kept(p.methodKept, i) || Kept(p.methodNamed, i), next);
}

void ReduceMembers(tClassDesc& cls, std::int32_t& bytes) {
  CheckClass(cls);
  RemoveUnusedPrivate(cls, bytes);
  if (!ZYNData::Params.noren) {
    std::int32_t renamed = 0;
    RenameMembers(cls, renamed);
    bytes += renamed;
  }
}

}  // namespace ZYNClass
