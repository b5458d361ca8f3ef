// Deliberately slow: every round marks the whole class again and every lookup scans the whole pool.
#include "ReferenceMemberPass.h"

#include <cstddef>
#include <string_view>
#include <utility>
#include <vector>

#include "Queue.h"
#include "ZYNConstPool.h"
#include "ZYNData.h"
#include "ZYNError.h"
#include "ZYNMain.h"

namespace ReferenceMemberPass {

using ZYNClass::memberInfo;
using ZYNClass::tClassDesc;
using ZYNConstPool::ConstPool;

namespace {

constexpr std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr std::size_t kIdentsSize = 100;
constexpr std::int8_t kFieldref = 9, kMethodref = 10, kInterfaceMethodref = 11;

bool IsPrivate(const memberInfo& member) { return (member.accessFlags & ZYNClass::ACC_PRIVATE) != 0; }

std::int32_t MarkOf(const ConstPool& cp, std::int32_t index) {
  const ZYNConstPool::InfoDesc* entry = cp.At(index);
  return entry != nullptr ? entry->mark : 0;
}

const ZYNConstPool::utfInfoDesc* Utf8At(const ConstPool& cp, std::int32_t index) {
  const ZYNConstPool::InfoDesc* entry = cp.At(index);
  return entry != nullptr && entry->tag == 1 ? static_cast<const ZYNConstPool::utfInfoDesc*>(entry) : nullptr;
}

// One entry, or two Utf8 entries of equal text.
bool SameUtf8(const ConstPool& cp, std::int32_t a, std::int32_t b) {
  if (a == b) return true;
  return Utf8At(cp, a) != nullptr && Utf8At(cp, b) != nullptr &&
         ZYNConstPool::Utf8Text(cp, a) == ZYNConstPool::Utf8Text(cp, b);
}

std::int32_t ClassNameIndex(const ConstPool& cp, std::int32_t classIndex) {
  return ZYNConstPool::EntryAs<ZYNConstPool::classInfoDesc>(cp, classIndex)->nameIndex;
}

void Refresh(tClassDesc& cls) {
  ZYNConstPool::UnMark(*cls.cp);
  ZYNClass::MarkClass(cls);
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

void DropIdent(std::vector<std::int32_t>& idents, std::int32_t index) {
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
  std::vector<std::int32_t> idents;  // reusable names of the class, ended by 0
  std::size_t k = 0;                 // next position in idents
  std::size_t letter = 0;            // next position in alphabet
};

// Whether the class refers, through any class, to a member of the same kind named `name` with this member's
// descriptor: giving the member that name would make such a reference resolve to it.
bool NameTaken(const tClassDesc& cls, const memberInfo& member, std::int8_t tag, std::string_view name) {
  using namespace ZYNConstPool;
  const ConstPool& cp = *cls.cp;
  for (std::int32_t i = 1; i < cp.length(); ++i) {
    const InfoDesc* entry = cp.At(i);
    const bool sameKind =
        entry != nullptr &&
        (tag == kFieldref ? entry->tag == kFieldref : entry->tag == kMethodref || entry->tag == kInterfaceMethodref);
    if (!sameKind) continue;
    const InfoDesc* natEntry = cp.At(static_cast<const memberInfoDesc*>(entry)->nameAndTypeIndex);
    if (natEntry == nullptr || natEntry->tag != 12) continue;
    const auto* nat = static_cast<const nameAndTypeInfoDesc*>(natEntry);
    if (Utf8At(cp, nat->nameIndex) == nullptr) continue;
    if (Utf8Text(cp, nat->nameIndex) == name && SameUtf8(cp, nat->descriptorIndex, member.descriptorIndex)) return true;
  }
  return false;
}

std::int32_t GiveNewName(tClassDesc& cls, memberInfo& member, std::int8_t tag, std::int32_t ref, NameSources& next) {
  ConstPool& cp = *cls.cp;
  std::vector<std::int32_t>& idents = next.idents;
  // The reusable entries first, skipping those that would capture a reference; a skipped one stays for others.
  for (std::size_t i = next.k; i < idents.size() && idents[i] != 0; ++i) {
    if (NameTaken(cls, member, tag, ZYNConstPool::Utf8Text(cp, idents[i]))) continue;
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
  const ZYNClass::tProtection p = ZYNClass::Protect(cls);
  if (p.wholeClass) return;
  int removedMethods = 0;
  // A round ends when a method goes: its references may have kept other members.
  do {
    Refresh(cls);
    RemoveFrom(cls, cls.fields, cls.fieldCount, kFieldref, p.fieldKept, bytes);
    removedMethods = RemoveFrom(cls, cls.methods, cls.methodCount, kMethodref, p.methodKept, bytes);
  } while (removedMethods > 0);
}

void RenameMembers(tClassDesc& cls, std::int32_t& bytes) {
  bytes = 0;
  const ZYNClass::tProtection p = ZYNClass::Protect(cls);
  if (p.wholeClass || p.noRename) return;
  Refresh(cls);
  NameSources next;
  ZYNConstPool::GetIdents(*cls.cp, next.idents, kIdentsSize, cls.thisClass, cls.superClass);
  for (const auto* members : {&cls.fields, &cls.methods})
    for (const memberInfo& member : *members)
      if (member.present) DropIdent(next.idents, member.nameIndex);
  if (cls.fieldCount > 0)
    for (std::size_t i = 0; i < cls.fields.size(); ++i)
      bytes += RenameMember(cls, cls.fields[i], kFieldref, Kept(p.fieldKept, i), next);
  if (cls.methodCount > 0)
    for (std::size_t i = 0; i < cls.methods.size(); ++i)
      bytes += RenameMember(cls, cls.methods[i], kMethodref, Kept(p.methodKept, i) || Kept(p.methodNamed, i), next);
}

void ReduceMembers(tClassDesc& cls, std::int32_t& bytes) {
  ZYNClass::CheckClass(cls);
  ReferenceMemberPass::RemoveUnusedPrivate(cls, bytes);
  if (!ZYNData::Params.noren) {
    std::int32_t renamed = 0;
    ReferenceMemberPass::RenameMembers(cls, renamed);
    bytes += renamed;
  }
}

std::vector<std::vector<std::string>> KeySets() {
  return {{}, {"-noren"}, {"-dbg"}, {"-max"}, {"-super"}, {"-max", "-nowarn"}, {"-uattr"}};
}

bool ApplyKeys(const std::vector<std::string>& keys) {
  ZYNData::ResetState();
  Queue::tQueue words;
  words.Init();
  for (const std::string& k : keys) words.Add(std::make_unique<ZYNData::tStringNodeDesc>(k));
  words.Add(std::make_unique<ZYNData::tStringNodeDesc>("x.class"));
  return ZYNMain::ParseParams(words);
}

std::string Joined(const std::vector<std::string>& keys) {
  std::string s;
  for (const std::string& k : keys) s += (s.empty() ? "" : " ") + k;
  return "[" + s + "]";
}

}  // namespace ReferenceMemberPass
