// The member pass: removal of private members that nothing refers to, and renaming of private members.
#include <string_view>

#include "ZYNClass.h"
#include "ZYNData.h"
#include "ZYNError.h"

namespace ZYNClass {

using ZYNConstPool::ConstPool;

namespace {

constexpr std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr std::size_t kIdentsSize = 100;
constexpr std::int8_t kFieldref = 9, kMethodref = 10;

std::vector<std::int32_t> idents;  // reusable names of the current file, ended by 0

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
  if (entry == nullptr || entry->tag != 7 || !IsUtf8(cp, entry->nameIndex)) ZYNError::Message(message);
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

std::int32_t OwnRef(const tClassDesc& cls, const memberInfo& member, std::int8_t tag) {
  return ZYNConstPool::MemberRefIndex(*cls.cp, member.nameIndex, member.descriptorIndex, tag);
}

// Removes the unreferenced private members of one table; returns how many went.
int RemoveFrom(tClassDesc& cls, std::vector<memberInfo>& members, std::int32_t& count, std::int8_t tag,
               std::int32_t& bytes) {
  int removed = 0;
  if (count <= 0) return 0;
  for (memberInfo& member : members) {
    if (!member.present || !IsPrivate(member)) continue;
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

std::int32_t GiveNewName(tClassDesc& cls, memberInfo& member, std::int32_t ref, NameSources& next) {
  ConstPool& cp = *cls.cp;
  if (next.k < idents.size() && idents[next.k] != 0) {
    member.nameIndex = idents[next.k++];
    ZYNConstPool::ReplaceMemRefName(cp, ref, member.nameIndex);
    return 0;
  }
  while (next.letter < alphabet.size() && NameInUse(cls, alphabet[next.letter])) ++next.letter;
  if (next.letter >= alphabet.size()) return 0;
  const char ch = alphabet[next.letter++];
  std::int32_t saved = 0;
  if (const std::int32_t u = ZYNConstPool::UtfIndex(cp, ch); u != 0) {
    member.nameIndex = u;
    ZYNConstPool::ReplaceMemRefName(cp, ref, u);
  } else {
    ZYNConstPool::ReplaceUtf(cp, member.nameIndex, ch, saved);
  }
  return saved;
}

std::int32_t RenameMember(tClassDesc& cls, memberInfo& member, std::int8_t tag, NameSources& next) {
  if (!member.present || !IsPrivate(member)) return 0;
  const std::int32_t ref = OwnRef(cls, member, tag);
  // Renamed only when its name serves nothing but the declaration and this one reference.
  if (ref == 0 || MarkOf(*cls.cp, ref) + 1 != MarkOf(*cls.cp, member.nameIndex)) return 0;
  return GiveNewName(cls, member, ref, next);
}

}  // namespace

void RemoveUnusedPrivate(tClassDesc& cls, std::int32_t& bytes) {
  bytes = 0;
  int removedMethods = 0;
  do {
    Refresh(cls);
    RemoveFrom(cls, cls.fields, cls.fieldCount, kFieldref, bytes);
    removedMethods = RemoveFrom(cls, cls.methods, cls.methodCount, kMethodref, bytes);
  } while (removedMethods > 0);
}

void RenameMembers(tClassDesc& cls, std::int32_t& bytes) {
  bytes = 0;
  Refresh(cls);
  ZYNConstPool::GetIdents(*cls.cp, idents, kIdentsSize, cls.thisClass, cls.superClass);
  for (const auto* members : {&cls.fields, &cls.methods})
    for (const memberInfo& member : *members)
      if (member.present) DropIdent(member.nameIndex);
  NameSources next;
  if (cls.fieldCount > 0)
    for (memberInfo& member : cls.fields) bytes += RenameMember(cls, member, kFieldref, next);
  if (cls.methodCount > 0)
    for (memberInfo& member : cls.methods) bytes += RenameMember(cls, member, kMethodref, next);
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
