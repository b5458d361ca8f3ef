// Deliberately slow: every round marks the whole class again and every lookup scans the whole pool.
#include "ReferenceMemberPass.h"

#include <cctype>
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "Queue.h"
#include "ZYNClassFile.h"
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
using namespace ZYNClassFile;

using ZYNClass::IsPrivate;
using ZYNConstPool::MarkOf;

// One entry, or two Utf8 entries of equal text.
bool SameUtf8(const ConstPool& cp, std::int32_t a, std::int32_t b) {
  if (a == b) return true;
  return cp.Tag(a) == kConstantUtf8 && cp.Tag(b) == kConstantUtf8 &&
         ZYNConstPool::Utf8Text(cp, a) == ZYNConstPool::Utf8Text(cp, b);
}

std::int32_t ClassNameIndex(const ConstPool& cp, std::int32_t classIndex) {
  return cp.U2(classIndex, 0);  // a Class entry's name
}

// From class file version 52 interfaces have private methods, reached through interface method references.
std::uint8_t OtherTag(const tClassDesc& cls, std::uint8_t tag) {
  return tag == kConstantMethodref && cls.majorVersion >= 52 ? kConstantInterfaceMethodref : 0;
}

// The lowest in-use reference to the member through this class (or a Class entry of the same name), by a
// whole-pool scan; references to other classes' members do not count.
std::int32_t OwnRef(const tClassDesc& cls, const memberInfo& member, std::uint8_t tag) {
  using namespace ZYNConstPool;
  const ConstPool& cp = *cls.cp;
  const std::uint8_t otherTag = OtherTag(cls, tag);
  const auto ownClass = ClassAt(cp, cls.thisClass);
  for (std::int32_t i = 1; i < cp.length(); ++i) {
    const std::uint8_t entryTag = cp.Tag(i);
    if (entryTag == 0 || MarkOf(cls.marking, i) <= 0 || (entryTag != tag && (otherTag == 0 || entryTag != otherTag)))
      continue;
    const auto ref = MemberRefAt(cp, i);
    const auto nat = NameAndTypeAt(cp, ref->nameAndTypeIndex);
    if (!nat) ZYNError::Message(ZYNError::tKind::kBadNameAndType);
    if (nat->nameIndex != member.nameIndex || nat->descriptorIndex != member.descriptorIndex) continue;
    if (ownClass && ref->classIndex != cls.thisClass) {
      const auto refClass = ClassAt(cp, ref->classIndex);
      if (!refClass || !SameUtf8(cp, refClass->nameIndex, ownClass->nameIndex)) continue;
    }
    return i;
  }
  return 0;
}

// The lowest in-use Utf8 entry that is exactly ch, or 0.
std::int32_t LetterEntry(const ZYNConstPool::tMarking& m, char ch) {
  for (std::int32_t i = 1; i < m.Pool().length(); ++i)
    if (m.Pool().Tag(i) == kConstantUtf8 && m.CountOf(i) > 0 && m.Pool().Text(i) == std::string_view(&ch, 1)) return i;
  return 0;
}

using ZYNClass::Kept;

// Removes the unreferenced private members of one table; returns how many went.
int RemoveFrom(tClassDesc& cls, std::vector<memberInfo>& members, std::int32_t& count, std::uint8_t tag,
               const std::vector<ZYNResult::tKept>& kept, std::int32_t& bytes) {
  int removed = 0;
  if (count <= 0) return 0;
  for (std::size_t i = 0; i < members.size(); ++i) {
    memberInfo& member = members[i];
    if (!member.present || !IsPrivate(member) || Kept(kept, i)) continue;
    if (MarkOf(cls.marking, member.nameIndex) == 1 || OwnRef(cls, member, tag) == 0) {
      member.present = false;
      --count;
      bytes += ZYNClass::MemberSize(member);
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

bool NameInUse(const tClassDesc& cls, std::string_view name) {
  const ConstPool& cp = *cls.cp;
  auto is = [&](std::int32_t index) { return cp.Tag(index) == kConstantUtf8 && ZYNConstPool::Utf8Text(cp, index) == name; };
  for (const auto* members : {&cls.fields, &cls.methods})
    for (const memberInfo& member : *members)
      if (member.present && is(member.nameIndex)) return true;
  if (is(ClassNameIndex(cp, cls.thisClass))) return true;
  return cls.superClass != 0 && is(ClassNameIndex(cp, cls.superClass));
}

// The names a supertype may declare, and the form a class with an unknown supertype keeps.
bool Inherited(const ZYNClass::tProtection& p, const ConstPool& cp, const memberInfo& member, std::uint8_t tag,
               std::string_view name) {
  if (p.typeNamesOnly) {
    if (name.size() < 2 || name[0] < 'A' || name[0] > 'Z' || name[1] < 'a' || name[1] > 'z') return true;
    for (char c : name.substr(2))
      if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '$') return true;
  }
  std::string key(1, tag == kConstantFieldref ? 'F' : 'M');
  key.append(ZYNConstPool::Utf8Text(cp, member.descriptorIndex)).push_back('\0');
  key.append(name);
  return p.inherited.Declares(key);
}

std::string Generated(std::size_t k) {
  if (k < 676) return {char('A' + k / 26), char('a' + k % 26)};
  k -= 676;
  return {char('A' + k / 676), char('a' + k / 26 % 26), char('a' + k % 26)};
}

struct NameSources {
  std::vector<std::int32_t> idents;  // reusable names of the class, ended by 0
  std::size_t k = 0;                 // next position in idents
  std::size_t letter = 0;            // next position in letters
  std::string letters;               // letters with an entry in use first, once needed
  std::size_t generated = 0;         // next generated name
};

// Whether the class refers, through any class, to a member of the same kind named `name` with this member's
// descriptor: giving the member that name would make such a reference resolve to it.
bool NameTaken(const tClassDesc& cls, const memberInfo& member, std::uint8_t tag, std::string_view name) {
  using namespace ZYNConstPool;
  const ConstPool& cp = *cls.cp;
  for (std::int32_t i = 1; i < cp.length(); ++i) {
    const std::uint8_t entryTag = cp.Tag(i);
    const bool sameKind = tag == kConstantFieldref ? entryTag == kConstantFieldref
                                                   : entryTag == kConstantMethodref || entryTag == kConstantInterfaceMethodref;
    if (!sameKind) continue;
    const auto nat = NameAndTypeAt(cp, MemberRefAt(cp, i)->nameAndTypeIndex);
    if (!nat || cp.Tag(nat->nameIndex) != kConstantUtf8) continue;
    if (Utf8Text(cp, nat->nameIndex) == name && SameUtf8(cp, nat->descriptorIndex, member.descriptorIndex)) return true;
  }
  return false;
}

std::int32_t GiveNewName(tClassDesc& cls, const ZYNClass::tProtection& p, memberInfo& member, std::uint8_t tag,
                         std::int32_t ref, NameSources& next) {
  ConstPool& cp = *cls.cp;
  std::vector<std::int32_t>& idents = next.idents;
  // The reusable entries first, skipping those that would capture a reference; a skipped one stays for others.
  for (std::size_t i = next.k; i < idents.size() && idents[i] != 0; ++i) {
    const std::string_view text = ZYNConstPool::Utf8Text(cp, idents[i]);
    if (NameTaken(cls, member, tag, text) || Inherited(p, cp, member, tag, text)) continue;
    std::swap(idents[i], idents[next.k]);
    member.nameIndex = idents[next.k++];
    ZYNConstPool::ReplaceMemRefName(cp, ref, member.nameIndex);
    return 0;
  }
  if (p.typeNamesOnly) {
    const std::size_t own = ZYNConstPool::Utf8Text(cp, member.nameIndex).size();
    const std::size_t count = 676 + 17576;
    while (next.generated < count && NameInUse(cls, Generated(next.generated))) ++next.generated;
    for (std::size_t k = next.generated; k < count; ++k) {
      const std::string name = Generated(k);
      if (name.size() >= own) return 0;
      if (NameInUse(cls, name) || NameTaken(cls, member, tag, name) || Inherited(p, cp, member, tag, name)) continue;
      if (k == next.generated) ++next.generated;
      std::int32_t saved = 0;
      ZYNConstPool::ReplaceUtf(cp, member.nameIndex, name, saved);
      return saved;
    }
    return 0;
  }
  if (next.letters.empty()) {
    for (const char c : alphabet)
      if (LetterEntry(cls.marking, c) != 0) next.letters += c;
    for (const char c : alphabet)
      if (LetterEntry(cls.marking, c) == 0) next.letters += c;
  }
  const std::string_view letters = next.letters;
  while (next.letter < letters.size() && NameInUse(cls, letters.substr(next.letter, 1))) ++next.letter;
  std::size_t letter = next.letter;
  while (letter < letters.size() &&
         (NameInUse(cls, letters.substr(letter, 1)) || NameTaken(cls, member, tag, letters.substr(letter, 1)) ||
          Inherited(p, cp, member, tag, letters.substr(letter, 1))))
    ++letter;
  if (letter >= letters.size()) return 0;
  const char ch = letters[letter];
  const std::int32_t u = LetterEntry(cls.marking, ch);
  if (u == 0 && ZYNConstPool::Utf8Text(cp, member.nameIndex).size() == 1) return 0;
  if (letter == next.letter) ++next.letter;
  std::int32_t saved = 0;
  if (u != 0) {
    member.nameIndex = u;
    ZYNConstPool::ReplaceMemRefName(cp, ref, u);
  } else {
    ZYNConstPool::ReplaceUtf(cp, member.nameIndex, std::string_view(&ch, 1), saved);
  }
  return saved;
}

std::int32_t RenameMember(tClassDesc& cls, const ZYNClass::tProtection& p, memberInfo& member, std::uint8_t tag,
                          bool keepName, NameSources& next) {
  if (!member.present || !IsPrivate(member) || keepName) return 0;
  const std::int32_t ref = OwnRef(cls, member, tag);
  // Renamed only when its name serves nothing but the declaration and this one reference.
  if (ref == 0 || MarkOf(cls.marking, ref) + 1 != MarkOf(cls.marking, member.nameIndex)) return 0;
  return GiveNewName(cls, p, member, tag, ref, next);
}

}  // namespace

void RemoveUnusedPrivate(tClassDesc& cls, const ZYNData::tParams& params, std::int32_t& bytes) {
  bytes = 0;
  const ZYNClass::tProtection p = ZYNClass::Protect(cls, params);
  if (p.wholeClass) return;
  int removedMethods = 0;
  // A round ends when a method goes: its references may have kept other members.
  do {
    ZYNClass::MarkAfresh(cls);
    RemoveFrom(cls, cls.fields, cls.fieldCount, kConstantFieldref, p.fieldKept, bytes);
    removedMethods = RemoveFrom(cls, cls.methods, cls.methodCount, kConstantMethodref, p.methodKept, bytes);
  } while (removedMethods > 0);
}

void RenameMembers(tClassDesc& cls, const ZYNData::tParams& params, std::int32_t& bytes) {
  bytes = 0;
  const ZYNClass::tProtection p = ZYNClass::Protect(cls, params);
  if (p.wholeClass || p.noRename) return;
  ZYNClass::MarkAfresh(cls);
  NameSources next;
  // The name entries renaming may take away do not count against the list's bound.
  std::unordered_set<std::int32_t> ownNames;
  const auto own = [&](const std::vector<memberInfo>& members, std::uint8_t tag, auto kept) {
    for (std::size_t i = 0; i < members.size(); ++i) {
      const memberInfo& m = members[i];
      if (!m.present || !IsPrivate(m) || kept(i)) continue;
      const std::int32_t ref = OwnRef(cls, m, tag);
      if (ref != 0 && MarkOf(cls.marking, ref) + 1 == MarkOf(cls.marking, m.nameIndex)) ownNames.insert(m.nameIndex);
    }
  };
  if (cls.fieldCount > 0) own(cls.fields, kConstantFieldref, [&](std::size_t i) { return Kept(p.fieldKept, i); });
  if (cls.methodCount > 0)
    own(cls.methods, kConstantMethodref,
        [&](std::size_t i) { return Kept(p.methodKept, i) || Kept(p.methodNamed, i); });
  ZYNConstPool::GetIdents(cls.marking, next.idents, cls.thisClass, cls.superClass, {kIdentsSize, &ownNames});
  for (const auto* members : {&cls.fields, &cls.methods})
    for (const memberInfo& member : *members)
      if (member.present) DropIdent(next.idents, member.nameIndex);
  if (p.typeNamesOnly) {
    std::vector<std::int32_t> kept;
    memberInfo none;
    for (std::int32_t i : next.idents)
      if (i != 0 && !Inherited(p, *cls.cp, none, kConstantFieldref, ZYNConstPool::Utf8Text(*cls.cp, i)))
        kept.push_back(i);
    kept.resize(next.idents.size(), 0);
    next.idents = kept;
  }
  if (cls.fieldCount > 0)
    for (std::size_t i = 0; i < cls.fields.size(); ++i)
      bytes += RenameMember(cls, p, cls.fields[i], kConstantFieldref, Kept(p.fieldKept, i), next);
  if (cls.methodCount > 0)
    for (std::size_t i = 0; i < cls.methods.size(); ++i)
      bytes += RenameMember(cls, p, cls.methods[i], kConstantMethodref, Kept(p.methodKept, i) || Kept(p.methodNamed, i),
                            next);
}

void ReduceMembers(tClassDesc& cls, const ZYNData::tParams& params, std::int32_t& bytes) {
  ZYNClass::CheckClass(cls);
  ReferenceMemberPass::RemoveUnusedPrivate(cls, params, bytes);
  if (!params.noren) {
    std::int32_t renamed = 0;
    ReferenceMemberPass::RenameMembers(cls, params, renamed);
    bytes += renamed;
  }
}

std::vector<std::vector<std::string>> KeySets() {
  return {{}, {"-noren"}, {"-dbg"}, {"-max"}, {"-super"}, {"-max", "-nowarn"}, {"-uattr"}};
}

std::optional<ZYNData::tParams> ParseKeys(const std::vector<std::string>& keys) {
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
