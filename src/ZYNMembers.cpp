// The member pass: removal of private members that nothing refers to, and renaming of private members.
//
// Both steps give the results of rounds of marking the whole class, but in time linear in the class's size:
// removal takes back only the references of the members it removes and looks again only at the members
// whose counts that changed; renaming finds references, names in use and names taken through tables kept
// up to date with each edit instead of scanning the pool per candidate.
#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "ZYNClass.h"
#include "ZYNClassFile.h"
#include "ZYNData.h"
#include "ZYNError.h"

namespace ZYNClass {

using ZYNConstPool::ConstPool;
using ZYNConstPool::Utf8Text;
using namespace ZYNClassFile;

namespace {

constexpr std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr std::size_t kIdentsSize = 100;

using ZYNConstPool::ClassAt;
using ZYNConstPool::IsUtf8;
using ZYNConstPool::MemberRefAt;
using ZYNConstPool::NameAndTypeAt;

void CheckClassEntry(const ConstPool& cp, std::int32_t index, ZYNError::tKind kind) {
  const auto entry = ClassAt(cp, index);
  if (!entry || !IsUtf8(cp, entry->nameIndex)) ZYNError::Message(kind);
}

std::int32_t ClassNameIndex(const ConstPool& cp, std::int32_t classIndex) { return ClassAt(cp, classIndex)->nameIndex; }

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
// Methods the JVM calls by name: a serializable lambda is read back through the class's
// $deserializeLambda$, which nothing in the class calls.
constexpr Signature kCalledByName[] = {
    {"$deserializeLambda$", "(Ljava/lang/invoke/SerializedLambda;)Ljava/lang/Object;"},
};

template <std::size_t N>
bool IsOneOf(const ConstPool& cp, const memberInfo& member, const Signature (&list)[N]) {
  const std::string_view name = Utf8Text(cp, member.nameIndex);
  const std::string_view descriptor = Utf8Text(cp, member.descriptorIndex);
  for (const Signature& s : list)
    if (s.name == name && s.descriptor == descriptor) return true;
  return false;
}

bool HasAnnotation(const ZYNAttr::AttrArray& attrs, std::int16_t kind, const ConstPool& cp, std::string_view type) {
  for (const auto& attr : attrs) {
    if (!attr || !attr->This(kind)) continue;
    const auto* indexed = dynamic_cast<const ZYNAttr::IndexedAttributeDesc*>(attr.get());
    if (indexed == nullptr) continue;
    if (type.empty()) return true;
    for (const ZYNAttr::IndexSlot& slot : indexed->indexes)
      if (Utf8Text(cp, indexed->IndexAt(slot)) == type) return true;
  }
  return false;
}

// The words of the class's annotations (on the class, its members, their parameters and its record
// components): a library that reads one may look a member of that name up. Whether an annotation on the class
// declares how its fields bind goes to `binds`.
ZYNHierarchy::tTextSet AnnotationWords(const tClassDesc& cls, bool& binds) {
  using namespace ZYNAttr;
  const ConstPool& cp = *cls.cp;
  ZYNHierarchy::tTextSet words;
  const auto text = [&](std::int32_t index) { return Utf8Text(cp, index); };
  const auto word = [&](std::string_view w) { words.emplace(w); };
  const auto read = [&](const AttrArray& attrs, bool ofClass) {
    for (const auto& attr : attrs) {
      // The names of the kinds that hold annotations begin so, those of almost every other attribute do not.
      const std::string_view name = attr ? Utf8Text(cp, attr->nameIndex) : std::string_view();
      if (name.empty() || (name[0] != 'R' && name[0] != 'A')) continue;
      const auto* indexed = dynamic_cast<const IndexedAttributeDesc*>(attr.get());
      if (indexed == nullptr) continue;
      const std::int16_t kind = indexed->kind;
      if (!HoldsAnnotations(kind)) continue;
      const bool declares = ZYNHierarchy::ReadAnnotations(indexed->body, indexed->indexes, text, word);
      binds = binds || (ofClass && kind == RuntimeVisibleAnnotationsAttr && declares);
    }
  };
  read(cls.attrs, true);
  for (const auto& table : {&cls.fields, &cls.methods})
    for (const memberInfo& m : *table) read(m.attrs, false);
  for (const auto& attr : cls.attrs)
    if (const auto* record = dynamic_cast<const RecordAttributeDesc*>(attr.get()))
      for (const recordComponentInfo& component : record->components) read(component.attrs, false);
  return words;
}

// Texts of the String constants: a member name that one of them spells may be looked up by reflection.
std::unordered_set<std::string_view> StringTexts(const ConstPool& cp) {
  std::unordered_set<std::string_view> texts;
  for (std::int32_t i = 1; i < cp.length(); ++i)
    if (cp.Tag(i) == kConstantString) texts.insert(Utf8Text(cp, ZYNConstPool::StringAt(cp, i)));
  return texts;
}

// A member of either table: fields first, then methods, as the pass visits them.
struct MemberAt {
  std::vector<memberInfo>* table;
  std::size_t slot;
  bool isMethod;
};

std::vector<MemberAt> AllMembers(tClassDesc& cls) {
  std::vector<MemberAt> all;
  all.reserve(cls.fields.size() + cls.methods.size());
  for (std::size_t i = 0; i < cls.fields.size(); ++i) all.push_back({&cls.fields, i, false});
  for (std::size_t i = 0; i < cls.methods.size(); ++i) all.push_back({&cls.methods, i, true});
  return all;
}

// A member's own references: the member references through this class (or a Class entry of the same name)
// whose NameAndType has exactly the member's name and descriptor indexes, lowest index first. Methods are
// also reached through interface method references from class file version 52.
class OwnRefs {
public:
  explicit OwnRefs(const tClassDesc& cls) : cls_(cls), listOfRef_(static_cast<std::size_t>(cls.cp->length()), -1) {
    const ConstPool& cp = *cls.cp;
    const std::int32_t ownName = ClassNameIndex(cp, cls.thisClass);
    for (std::int32_t i = 1; i < cp.length(); ++i) {
      const int group = GroupOf(cp.Tag(i));
      if (group < 0) continue;
      const auto ref = MemberRefAt(cp, i);
      const auto nat = NameAndTypeAt(cp, ref->nameAndTypeIndex);
      if (!nat) continue;  // CheckClass refused such a class
      if (ref->classIndex != cls.thisClass) {
        const auto refClass = ClassAt(cp, ref->classIndex);
        if (!refClass || !IsUtf8(cp, refClass->nameIndex) ||
            Utf8Text(cp, refClass->nameIndex) != Utf8Text(cp, ownName))
          continue;
      }
      auto [it, added] = listOfKey_.try_emplace(Key(group, nat->nameIndex, nat->descriptorIndex),
                                                static_cast<int>(lists_.size()));
      if (added) lists_.emplace_back();
      lists_[it->second].refs.push_back(i);
      listOfRef_[i] = it->second;
    }
  }

  // The list of a member's own references, or -1 when it has none.
  int ListOf(const memberInfo& member, bool isMethod) const {
    const auto it = listOfKey_.find(Key(isMethod ? 1 : 0, member.nameIndex, member.descriptorIndex));
    return it == listOfKey_.end() ? -1 : it->second;
  }

  int ListOfRef(std::int32_t index) const { return listOfRef_[static_cast<std::size_t>(index)]; }

  // The lowest own reference of the member that is in use, or 0.
  std::int32_t Find(const memberInfo& member, bool isMethod) {
    const int list = ListOf(member, isMethod);
    if (list < 0) return 0;
    const std::int32_t* ref =
        lists_[static_cast<std::size_t>(list)].FirstInUse([this](std::int32_t r) { return MarkOf(cls_.marking, r); });
    return ref != nullptr ? *ref : 0;
  }

private:
  int GroupOf(std::int16_t tag) const {
    if (tag == kConstantFieldref) return 0;
    if (tag == kConstantMethodref || (tag == kConstantInterfaceMethodref && cls_.majorVersion >= 52)) return 1;
    return -1;
  }

  static std::uint64_t Key(int group, std::int32_t name, std::int32_t descriptor) {
    return static_cast<std::uint64_t>(group) << 40 | static_cast<std::uint64_t>(name) << 20 |
           static_cast<std::uint64_t>(descriptor);
  }

  const tClassDesc& cls_;
  std::unordered_map<std::uint64_t, int> listOfKey_;
  std::vector<tRefList<std::int32_t>> lists_;
  std::vector<int> listOfRef_;
};

// The names the renaming step may hand out, and what it must not hand out, kept current with each edit.
class Names {
public:
  Names(tClassDesc& cls, const std::vector<MemberAt>& all) : cls_(cls), cp_(*cls.cp) {
    for (const MemberAt& at : all) {
      const memberInfo& member = (*at.table)[at.slot];
      if (!member.present) continue;
      ++presentByName_[member.nameIndex];
      CountLetter(Utf8Text(cp_, member.nameIndex), 1);
    }
  }

  // A new name is in use when a present member, the class or its super class has it.
  bool InUse(std::string_view name) {
    if (name.size() == 1) {
      if (letterUse_[static_cast<std::uint8_t>(name[0])] > 0) return true;
    } else {
      if (!namesBuilt_) BuildNames();
      if (const auto it = memberNames_.find(std::string(name)); it != memberNames_.end() && it->second > 0) return true;
    }
    if (ClassNameIs(cls_.thisClass, name)) return true;
    return cls_.superClass != 0 && ClassNameIs(cls_.superClass, name);
  }

  // Whether the class refers, through any class, to a member of the same kind named `name` with this
  // member's descriptor: giving the member that name would make such a reference resolve to it.
  bool Taken(const memberInfo& member, std::uint8_t tag, std::string_view name) {
    Ask(member, tag);
    if (askedNames_ == nullptr) return false;
    // A key of its own: names are short, so it needs no allocation.
    const auto it = askedNames_->find(std::string(name));
    return it != askedNames_->end() && it->second > 0;
  }

  // Whether every name from position `from` of a source was refused to a member of this one's kind and
  // descriptor since the last edit: then it is refused to this one too, without asking name by name (a
  // class full of such members would otherwise ask for every name once per member).
  enum Source { kIdents, kLetters };
  bool Refused(const memberInfo& member, std::uint8_t tag, Source source, std::size_t from) {
    Ask(member, tag);
    return askedNames_ != nullptr && refused_[source].names == askedNames_ && refused_[source].from == from;
  }
  void Refuse(const memberInfo& member, std::uint8_t tag, Source source, std::size_t from) {
    Ask(member, tag);
    refused_[source] = {askedNames_, from};
  }

  // The lowest in-use Utf8 entry that is exactly ch, or 0.
  std::int32_t LetterEntry(char ch) {
    if (!lettersBuilt_) BuildLetters();
    const std::set<std::int32_t>& entries = letterEntries_[static_cast<std::uint8_t>(ch)];
    return entries.empty() ? 0 : *entries.begin();
  }

  // The member now bears the Utf8 entry at newName; the reference's NameAndType with it.
  void Repoint(memberInfo& member, std::int32_t ref, std::int32_t newName) {
    refused_[kIdents] = refused_[kLetters] = {};
    const std::int32_t nat = MemberRefAt(cp_, ref)->nameAndTypeIndex;
    const auto edit = [&] { ZYNConstPool::ReplaceMemRefName(cp_, ref, newName); };
    // The NameAndType's references and the declaration now reach the new name; the counts move once the
    // renaming is over, since it asks for the counts as they were when it began.
    const std::int32_t moved = MarkOf(cls_.marking, nat) + 1;
    movedMarks_.push_back({member.nameIndex, -moved});
    movedMarks_.push_back({newName, moved});
    Retake([nat](std::int32_t natIndex, const Nat&) { return natIndex == nat; }, edit);
    --presentByName_[member.nameIndex];
    ++presentByName_[newName];
    CountLetter(Utf8Text(cp_, member.nameIndex), -1);
    CountLetter(Utf8Text(cp_, newName), 1);
    if (namesBuilt_) {
      --memberNames_[std::string(Utf8Text(cp_, member.nameIndex))];
      ++memberNames_[std::string(Utf8Text(cp_, newName))];
    }
    member.nameIndex = newName;
  }

  // Brings the counts to those of a fresh marking of the renamed class.
  void MoveMarks() {
    for (const auto& [index, delta] : movedMarks_) cls_.marking.slots[static_cast<std::size_t>(index)].count += delta;
    movedMarks_.clear();
  }

  // The Utf8 entry at index now holds name; returns the bytes saved.
  std::int32_t Rewrite(std::int32_t index, std::string_view name) {
    refused_[kIdents] = refused_[kLetters] = {};
    const std::string_view old = Utf8Text(cp_, index);
    const std::string oldName(namesBuilt_ ? old : std::string_view());
    const int members = presentByName_[index];
    CountLetter(old, -members);
    if (lettersBuilt_ && old.size() == 1) letterEntries_[static_cast<std::uint8_t>(old[0])].erase(index);
    std::int32_t saved = 0;
    const auto edit = [&] { ZYNConstPool::ReplaceUtf(cp_, index, name, saved); };
    Retake([index](std::int32_t, const Nat& nat) { return nat.nameIndex == index || nat.descriptorIndex == index; },
           edit);
    CountLetter(Utf8Text(cp_, index), members);
    if (lettersBuilt_ && MarkOf(cls_.marking, index) > 0 && name.size() == 1)
      letterEntries_[static_cast<std::uint8_t>(name[0])].insert(index);
    if (namesBuilt_) {
      memberNames_[oldName] -= members;
      memberNames_[std::string(name)] += members;
    }
    return saved;
  }

private:
  using Nat = ZYNConstPool::tNameAndType;

  bool ClassNameIs(std::int32_t classIndex, std::string_view name) const {
    const std::int32_t index = ClassNameIndex(cp_, classIndex);
    return IsUtf8(cp_, index) && Utf8Text(cp_, index) == name;
  }

  // Present members per name text, for names longer than one letter; kept current with each edit.
  void BuildNames() {
    namesBuilt_ = true;
    for (const auto& [index, count] : presentByName_)
      if (count > 0 && IsUtf8(cp_, index)) memberNames_[std::string(Utf8Text(cp_, index))] += count;
  }

  void CountLetter(std::string_view text, int n) {
    if (text.size() == 1) letterUse_[static_cast<std::uint8_t>(text[0])] += n;
  }

  // A member asks for many names in a row: its kind and descriptor are looked up once, and the names of the
  // references of that kind and descriptor are gathered when a member first asks for them (most classes ask
  // for a few of their descriptors only).
  void Ask(const memberInfo& member, std::uint8_t tag) {
    if (askedBy_ == &member) return;
    askedBy_ = &member;
    const int group = tag == kConstantFieldref ? 0 : 1;
    const std::string_view descriptor = Utf8Text(cp_, member.descriptorIndex);
    KindKey(group, descriptor, query_);
    auto it = taken_.find(query_);
    if (it == taken_.end()) {
      if (taken_.empty()) ListRefs();
      it = taken_.try_emplace(query_).first;
      for (const Ref& ref : refs_) {
        RefTexts texts;
        if (ref.group == group && TextsOf(ref, texts) && texts.descriptor == descriptor)
          ++it->second[std::string(texts.name)];
      }
    }
    askedNames_ = it->second.empty() ? nullptr : &it->second;
  }

  // The key of a kind and descriptor, written into a buffer that keeps its room between calls.
  static void KindKey(int group, std::string_view descriptor, std::string& key) {
    key.assign(1, static_cast<char>(group));
    key.append(descriptor);
  }

  // The member references of the pool with a NameAndType (edits change what it names, never which it is).
  struct Ref {
    std::int32_t natIndex = 0;
    int group = 0;  // 0 for a field, 1 for a method
  };
  void ListRefs() {
    for (std::int32_t i = 1; i < cp_.length(); ++i) {
      const auto ref = MemberRefAt(cp_, i);
      if (ref && NameAndTypeAt(cp_, ref->nameAndTypeIndex))
        refs_.push_back({ref->nameAndTypeIndex, ref->tag == kConstantFieldref ? 0 : 1});
    }
  }

  // The descriptor and name a reference stands for now; false when either is not a Utf8 entry.
  struct RefTexts {
    std::string_view descriptor, name;
  };
  bool TextsOf(const Ref& ref, RefTexts& texts) const {
    const Nat nat = *NameAndTypeAt(cp_, ref.natIndex);
    if (!IsUtf8(cp_, nat.nameIndex) || !IsUtf8(cp_, nat.descriptorIndex)) return false;
    texts = {Utf8Text(cp_, nat.descriptorIndex), Utf8Text(cp_, nat.nameIndex)};
    return true;
  }

  // Counts a member reference under its name, where the names of its kind and descriptor were gathered (the
  // others are gathered as they are then).
  void Count(const Ref& ref, int n) {
    RefTexts texts;
    if (!TextsOf(ref, texts)) return;
    KindKey(ref.group, texts.descriptor, query_);
    if (const auto it = taken_.find(query_); it != taken_.end()) it->second[std::string(texts.name)] += n;
  }

  void BuildLetters() {
    lettersBuilt_ = true;
    for (std::int32_t i = 1; i < cp_.length(); ++i)
      if (IsUtf8(cp_, i) && MarkOf(cls_.marking, i) > 0) {
        const std::string_view text = Utf8Text(cp_, i);
        if (text.size() == 1) letterEntries_[static_cast<std::uint8_t>(text[0])].insert(i);
      }
  }

  // Runs an edit of the NameAndType entries that `edited` picks, moving their references' names along.
  template <class Edited, class Edit>
  void Retake(const Edited& edited, const Edit& edit) {
    if (taken_.empty()) return edit();
    std::vector<const Ref*> refs;
    for (const Ref& ref : refs_)
      if (edited(ref.natIndex, *NameAndTypeAt(cp_, ref.natIndex))) refs.push_back(&ref);
    for (const Ref* ref : refs) Count(*ref, -1);
    edit();
    for (const Ref* ref : refs) Count(*ref, 1);
    askedBy_ = nullptr;
  }

  tClassDesc& cls_;
  ConstPool& cp_;
  std::array<int, 256> letterUse_{};                      // present members per one-letter name
  std::unordered_map<std::int32_t, int> presentByName_;  // present members per name entry
  std::vector<Ref> refs_;  // listed when a member first asks
  // Member references per kind and descriptor text, then per name text; a kind and descriptor only once asked.
  std::unordered_map<std::string, std::unordered_map<std::string, int>> taken_;
  std::string query_;
  const memberInfo* askedBy_ = nullptr;  // the member whose names askedNames_ holds
  const std::unordered_map<std::string, int>* askedNames_ = nullptr;
  struct Refusal {
    const std::unordered_map<std::string, int>* names = nullptr;
    std::size_t from = 0;
  };
  Refusal refused_[2];
  bool namesBuilt_ = false;
  std::unordered_map<std::string, int> memberNames_;
  bool lettersBuilt_ = false;
  std::array<std::set<std::int32_t>, 256> letterEntries_;  // in-use Utf8 entries per one-letter text
  std::vector<std::pair<std::int32_t, std::int32_t>> movedMarks_;  // count changes still to make
};

struct NameSources {
  std::vector<std::int32_t> idents;  // reusable names of the class, ended by 0
  std::size_t k = 0;                 // next position in idents
  std::size_t letter = 0;            // next position in letters
  std::string letters;               // the alphabet's letters in the order they are handed out, once needed
  std::size_t generated = 0;         // next generated name of the form of type names
};

// Takes the names of the present members out of idents: the first slot holding one receives the last
// index of the list, which changes the order in which the names are handed out.
void DropMemberNames(NameSources& next, const std::vector<MemberAt>& all) {
  std::vector<std::int32_t>& idents = next.idents;
  std::size_t n = 0;
  std::unordered_map<std::int32_t, std::size_t> slotOf;
  while (n < idents.size() && idents[n] != 0) slotOf.emplace(idents[n], n), ++n;
  for (const MemberAt& at : all) {
    const memberInfo& member = (*at.table)[at.slot];
    if (!member.present) continue;
    const auto it = slotOf.find(member.nameIndex);
    if (it == slotOf.end()) continue;
    const std::size_t slot = it->second;
    slotOf.erase(it);
    const std::int32_t last = idents[n - 1];
    idents[slot] = last;
    if (slot != n - 1) slotOf[last] = slot;
    idents[--n] = 0;
  }
}

// The generated names of the form of type names, in order: "Aa" to "Zz", then "Aaa" to "Zzz".
std::string GeneratedName(std::size_t k) {
  constexpr std::size_t kTwo = 26 * 26;
  std::string name;
  if (k < kTwo) {
    name += static_cast<char>('A' + k / 26);
  } else {
    k -= kTwo;
    name += static_cast<char>('A' + k / 676);
    name += static_cast<char>('a' + k / 26 % 26);
  }
  name += static_cast<char>('a' + k % 26);
  return name;
}
constexpr std::size_t kGeneratedNames = 26 * 26 + 26 * 26 * 26;

// Whether the name would hide or shadow what a supertype may declare, or break the convention the class
// must keep because a supertype is unknown.
bool Inherited(const tProtection& p, const memberInfo& member, std::uint8_t tag, std::string_view name,
               const ConstPool& cp) {
  if (p.typeNamesOnly && !TypeNameShaped(name)) return true;
  return p.inherited.Declares(
      ZYNHierarchy::MemberKey(tag == kConstantFieldref ? 'F' : 'M', Utf8Text(cp, member.descriptorIndex), name));
}

// Leaves only the texts of the form of type names among the reusable names, in their order.
void KeepTypeNames(const ConstPool& cp, std::vector<std::int32_t>& idents) {
  const auto end = std::find(idents.begin(), idents.end(), 0);
  const auto kept = std::remove_if(idents.begin(), end, [&](std::int32_t i) { return !TypeNameShaped(Utf8Text(cp, i)); });
  std::fill(kept, end, 0);
}

struct tRenaming {
  tClassDesc& cls;
  const tProtection& p;
  NameSources& next;
  Names& names;
};

// Generated names, each given once; one no shorter than the member's own name saves nothing.
std::int32_t GiveGeneratedName(tRenaming& r, memberInfo& member, std::uint8_t tag) {
  NameSources& next = r.next;
  Names& names = r.names;
  const std::size_t own = Utf8Text(*r.cls.cp, member.nameIndex).size();
  while (next.generated < kGeneratedNames && names.InUse(GeneratedName(next.generated))) ++next.generated;
  for (std::size_t k = next.generated; k < kGeneratedNames; ++k) {
    const std::string name = GeneratedName(k);
    if (name.size() >= own) return 0;
    if (names.InUse(name) || names.Taken(member, tag, name) || Inherited(r.p, member, tag, name, *r.cls.cp)) continue;
    if (k == next.generated) ++next.generated;
    return names.Rewrite(member.nameIndex, name);
  }
  return 0;
}

std::int32_t GiveLetter(tRenaming& r, memberInfo& member, std::uint8_t tag, std::int32_t ref) {
  NameSources& next = r.next;
  Names& names = r.names;
  const ConstPool& cp = *r.cls.cp;
  // The letters the pool holds in use first: taking one saves the member's whole entry, and a member given a
  // fresh letter would take such a one on the next run.
  if (next.letters.empty()) {
    for (const bool held : {true, false})
      for (const char c : alphabet)
        if ((names.LetterEntry(c) != 0) == held) next.letters += c;
  }
  const std::string& letters = next.letters;
  const auto letterAt = [&](std::size_t k) { return std::string_view(letters.data() + k, 1); };
  while (next.letter < letters.size() && names.InUse(letterAt(next.letter))) ++next.letter;
  if (names.Refused(member, tag, Names::kLetters, next.letter)) return 0;
  std::size_t letter = next.letter;
  while (letter < letters.size() && (names.InUse(letterAt(letter)) || names.Taken(member, tag, letterAt(letter)) ||
                                     Inherited(r.p, member, tag, letterAt(letter), cp)))
    ++letter;
  if (letter >= letters.size()) {
    names.Refuse(member, tag, Names::kLetters, next.letter);
    return 0;
  }
  const char ch = letters[letter];
  const std::int32_t u = names.LetterEntry(ch);
  // One letter for another saves nothing, and would rename the member again on every run.
  if (u == 0 && Utf8Text(cp, member.nameIndex).size() == 1) return 0;
  if (letter == next.letter) ++next.letter;
  if (u != 0) {
    names.Repoint(member, ref, u);
    return 0;
  }
  return names.Rewrite(member.nameIndex, std::string_view(&ch, 1));
}

std::int32_t GiveNewName(tRenaming& r, memberInfo& member, std::uint8_t tag, std::int32_t ref) {
  const tProtection& p = r.p;
  NameSources& next = r.next;
  Names& names = r.names;
  const ConstPool& cp = *r.cls.cp;
  std::vector<std::int32_t>& idents = next.idents;
  // The reusable entries first, skipping those that would capture a reference; a skipped one stays for others.
  // A member that may bear none of those left goes on to the names below, as it would on the next run, when
  // later members have taken them.
  if (!names.Refused(member, tag, Names::kIdents, next.k)) {
    for (std::size_t i = next.k; i < idents.size() && idents[i] != 0; ++i) {
      const std::string_view text = Utf8Text(cp, idents[i]);
      if (names.Taken(member, tag, text) || Inherited(p, member, tag, text, cp)) continue;
      std::swap(idents[i], idents[next.k]);
      names.Repoint(member, ref, idents[next.k++]);
      return 0;
    }
    if (next.k < idents.size() && idents[next.k] != 0) names.Refuse(member, tag, Names::kIdents, next.k);
  }
  return p.typeNamesOnly ? GiveGeneratedName(r, member, tag) : GiveLetter(r, member, tag, ref);
}

}  // namespace

void CheckClass(const tClassDesc& cls) {
  const ConstPool& cp = *cls.cp;
  CheckClassEntry(cp, cls.thisClass, ZYNError::tKind::kBadThisClass);
  if (cls.superClass != 0) CheckClassEntry(cp, cls.superClass, ZYNError::tKind::kBadSuperClass);
  for (const auto* members : {&cls.fields, &cls.methods})
    for (const memberInfo& member : *members) {
      if (!member.present) continue;
      if (!IsUtf8(cp, member.nameIndex)) ZYNError::Message(ZYNError::tKind::kBadMemberNameIndex);
      if (!IsUtf8(cp, member.descriptorIndex)) ZYNError::Message(ZYNError::tKind::kBadMemberDescriptor);
    }
  // The JVM refuses such a reference wherever it stands; refusing it only where a search happened to reach
  // it would let a written class fail when read again.
  for (std::int32_t i = 1; i < cp.length(); ++i) {
    const auto ref = MemberRefAt(cp, i);
    if (ref && !NameAndTypeAt(cp, ref->nameAndTypeIndex)) ZYNError::Message(ZYNError::tKind::kBadNameAndType);
  }
}

namespace {

// The methods (name, descriptor) that Scala's inlining facts of the class list: an entry must not come to
// name a method that is gone.
std::set<std::pair<std::string_view, std::string_view>> InlineInfoMethods(const tClassDesc& cls) {
  std::set<std::pair<std::string_view, std::string_view>> methods;
  for (const auto& attr : cls.attrs) {
    const auto* info = dynamic_cast<const ZYNAttr::IndexedAttributeDesc*>(attr.get());
    if (info == nullptr || info->kind != ZYNAttr::ScalaInlineInfoAttr) continue;
    // A self type's name comes first when there is one; then name and descriptor in pairs.
    const std::size_t first = info->indexes.size() % 2;
    for (std::size_t i = first; i + 1 < info->indexes.size(); i += 2)
      methods.emplace(Utf8Text(*cls.cp, info->IndexAt(info->indexes[i])),
                      Utf8Text(*cls.cp, info->IndexAt(info->indexes[i + 1])));
  }
  return methods;
}

bool CodeUses(const memberInfo& method, const std::unordered_set<std::int32_t>& entries) {
  if (entries.empty()) return false;
  for (const auto& attr : method.attrs)
    if (const auto* code = dynamic_cast<const ZYNAttr::CodeAttributeDesc*>(attr.get()))
      for (const ZYNCode::CodeIndex& at : code->code.Indexes())
        if (entries.contains(at.index)) return true;
  return false;
}

// Whether the method name is one Kotlin gives an accessor of the property (size: getSize, setSize; isOpen:
// isOpen, setOpen), maybe followed by the "-" suffix of an inline class's name mangling.
bool AccessorOf(std::string_view method, std::string_view property) {
  const bool isName =
      property.size() > 2 && property.starts_with("is") && !(property[2] >= 'a' && property[2] <= 'z');
  std::string rest(isName ? property.substr(2) : property);
  if (rest.empty()) return false;
  if (rest[0] >= 'a' && rest[0] <= 'z') rest[0] = static_cast<char>(rest[0] - 'a' + 'A');
  for (const std::string& accessor : {isName ? std::string(property) : "get" + rest, "set" + rest})
    if (method.starts_with(accessor) && (method.size() == accessor.size() || method[accessor.size()] == '-'))
      return true;
  return false;
}

// The methods of a Kotlin class whose bodies kotlinc copies into its callers from the class file of a library.
// Those that Java must not call are private there and nothing in the class calls them: inline-only functions
// (annotated kotlin.internal.InlineOnly, invisible at run time), the accessors of an inline-only property (the
// annotation stands on the property's $annotations method), functions whose code calls the markers kotlinc
// leaves in inline bodies for itself (of reified type parameters, of suspension points), and the $default
// bridges that fill in their defaults.
std::vector<std::size_t> KotlinInlineBodies(const tClassDesc& cls) {
  using namespace ZYNAttr;
  constexpr std::string_view kInlineOnly = "Lkotlin/internal/InlineOnly;";
  const ConstPool& cp = *cls.cp;
  std::vector<std::size_t> kept;
  if (!KotlinClass(cls)) return kept;
  std::unordered_set<std::int32_t> markers;
  for (std::int32_t i = 1; i < cp.length(); ++i) {
    const auto ref = MemberRefAt(cp, i);
    if (!ref || ref->tag != kConstantMethodref) continue;
    const auto owner = ClassAt(cp, ref->classIndex);
    const auto nat = NameAndTypeAt(cp, ref->nameAndTypeIndex);
    if (!owner || !nat) continue;
    const std::string_view type = Utf8Text(cp, owner->nameIndex), name = Utf8Text(cp, nat->nameIndex);
    const bool marker = type == "kotlin/jvm/internal/InlineMarker" ||
                        (type == "kotlin/jvm/internal/Intrinsics" &&
                         (name == "reifiedOperationMarker" || name == "needClassReification"));
    if (marker) markers.insert(i);
  }
  // Inline-only properties, with the parameters their accessors start with (an extension's receiver).
  std::vector<std::pair<std::string_view, std::string_view>> properties;
  constexpr std::string_view kAnnotations = "$annotations";
  for (const memberInfo& m : cls.methods) {
    const std::string_view name = Utf8Text(cp, m.nameIndex), descriptor = Utf8Text(cp, m.descriptorIndex);
    if (m.present && name.ends_with(kAnnotations) &&
        HasAnnotation(m.attrs, RuntimeInvisibleAnnotationsAttr, cp, kInlineOnly))
      properties.emplace_back(name.substr(0, name.size() - kAnnotations.size()),
                              descriptor.substr(0, descriptor.find(')')));
  }
  std::unordered_set<std::string> bridges;
  for (std::size_t i = 0; i < cls.methods.size(); ++i) {
    const memberInfo& m = cls.methods[i];
    if (!m.present || !IsPrivate(m)) continue;
    const std::string_view name = Utf8Text(cp, m.nameIndex), descriptor = Utf8Text(cp, m.descriptorIndex);
    bool inlined =
        HasAnnotation(m.attrs, RuntimeInvisibleAnnotationsAttr, cp, kInlineOnly) || CodeUses(m, markers);
    for (const auto& [property, receiver] : properties)
      inlined = inlined || (AccessorOf(name, property) && descriptor.starts_with(receiver));
    if (!inlined) continue;
    kept.push_back(i);
    bridges.insert(std::string(name) + "$default");
  }
  for (std::size_t i = 0; i < cls.methods.size(); ++i) {
    const memberInfo& m = cls.methods[i];
    if (m.present && IsPrivate(m) && bridges.contains(std::string(Utf8Text(cp, m.nameIndex)))) kept.push_back(i);
  }
  return kept;
}

}  // namespace

bool TypeNameShaped(std::string_view text) {
  if (text.size() < 2 || text[0] < 'A' || text[0] > 'Z' || text[1] < 'a' || text[1] > 'z') return false;
  return std::all_of(text.begin() + 2, text.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$';
  });
}

bool KotlinClass(const tClassDesc& cls) {
  return HasAnnotation(cls.attrs, ZYNAttr::RuntimeVisibleAnnotationsAttr, *cls.cp, "Lkotlin/Metadata;");
}

namespace {

// What protects the class as a whole and its serial form: a nest, metadata that names its members, its
// supertypes, Serializable.
tProtection ClassProtection(const tClassDesc& cls) {
  using namespace ZYNAttr;
  const ConstPool& cp = *cls.cp;
  tProtection p;
  p.wholeClass = cls.majorVersion >= 55 && (HasAttr(cls.attrs, NestHostAttr) || HasAttr(cls.attrs, NestMembersAttr));
  // Kotlin's metadata and Scala's inlining facts name the members: renaming would leave them naming others.
  p.noRename = KotlinClass(cls) || HasAttr(cls.attrs, ScalaInlineInfoAttr);
  std::vector<std::string_view> interfaces;
  for (std::int32_t index : cls.interfaces) {
    const std::string_view name = ZYNConstPool::ClassName(cp, index);
    if (name == "java/io/Serializable" || name == "java/io/Externalizable") p.serializable = true;
    if (!name.empty()) interfaces.push_back(name);
  }
  p.inherited = ZYNHierarchy::Inherit(cls.facts, ZYNConstPool::ClassName(cp, cls.superClass), interfaces);
  // A supertype whose fields are unknown may make the class serializable: its instance fields stay.
  p.serializable = p.serializable || p.inherited.serializable || p.inherited.maybeSerializable;
  p.typeNamesOnly = p.inherited.unknownSupertype;
  for (const memberInfo& f : cls.fields) p.serializable = p.serializable || (f.present && IsOneOf(cp, f, kSerialFields));
  for (const memberInfo& m : cls.methods)
    p.serializable = p.serializable || (m.present && IsOneOf(cp, m, kSerialMethods));
  return p;
}

using ZYNResult::tKept;

// The types of the annotations in the attributes (of one kind, where given), as internal names.
std::vector<std::string_view> AnnotationTypes(const ZYNAttr::AttrArray& attrs, const ConstPool& cp,
                                              std::int16_t only = 0) {
  std::vector<std::string_view> types;
  for (const auto& attr : attrs) {
    const auto* indexed = dynamic_cast<const ZYNAttr::IndexedAttributeDesc*>(attr.get());
    if (indexed == nullptr || !ZYNAttr::HoldsAnnotations(indexed->kind) || (only != 0 && indexed->kind != only)) continue;
    ZYNHierarchy::ReadAnnotations(indexed->body, indexed->indexes, [&](std::int32_t i) { return Utf8Text(cp, i); },
                                  [](std::string_view) {}, [&](std::string_view type) {
                                    if (type.size() > 2 && type[0] == 'L' && type.back() == ';')
                                      types.push_back(type.substr(1, type.size() - 2));
                                  });
  }
  return types;
}

// What the run's keep rules hold of the members: the whole member, or its name where it stays.
void HeldByRules(const tClassDesc& cls, tProtection& p) {
  if (cls.facts == nullptr || cls.facts->rules.empty()) return;
  const ConstPool& cp = *cls.cp;
  ZYNRules::tClassView view{cls.accessFlags, ZYNConstPool::ClassName(cp, cls.thisClass), {}, AnnotationTypes(cls.attrs, cp), {}};
  view.supertypes = cls.facts->Supertypes(view.name);
  if (view.supertypes.empty()) {
    if (cls.superClass != 0) view.supertypes.push_back(ZYNConstPool::ClassName(cp, cls.superClass));
    for (const std::int32_t index : cls.interfaces) view.supertypes.push_back(ZYNConstPool::ClassName(cp, index));
  }
  for (const auto* table : {&cls.fields, &cls.methods})
    for (const memberInfo& m : *table)
      view.members.push_back({table == &cls.methods, m.accessFlags, Utf8Text(cp, m.nameIndex),
                              Utf8Text(cp, m.descriptorIndex), AnnotationTypes(m.attrs, cp)});
  const std::vector<ZYNRules::tVerdict> verdicts = cls.facts->rules.Hold(view);
  p.fieldNamed.resize(cls.fields.size());
  p.methodNamed.resize(cls.methods.size());
  for (std::size_t k = 0; k < verdicts.size(); ++k) {
    const bool method = k >= cls.fields.size();
    const std::size_t i = method ? k - cls.fields.size() : k;
    const tKept kept{ZYNResult::tRule::kKeepRule, verdicts[k].evidence};
    std::vector<tKept>& whole = method ? p.methodKept : p.fieldKept;
    std::vector<tKept>& named = method ? p.methodNamed : p.fieldNamed;
    if (verdicts[k].hold == ZYNRules::tHold::kMember && !Kept(whole, i)) whole[i] = kept;
    if (verdicts[k].hold == ZYNRules::tHold::kName && !Kept(whole, i) && !Kept(named, i)) named[i] = kept;
  }
}

tKept Rule(bool holds, ZYNResult::tRule rule) { return {holds ? rule : ZYNResult::tRule::kNone, {}}; }

// The first rule that holds, in the order given.
tKept First(std::initializer_list<tKept> rules) {
  for (const tKept& kept : rules)
    if (kept) return kept;
  return {};
}

// What names a class's members from elsewhere: its String constants, the words of its annotations, the -keep
// patterns of the class.
struct tNamedFrom {
  const tClassDesc& cls;
  std::unordered_set<std::string_view> strings;
  const ZYNHierarchy::tTextSet& annotated;
  std::vector<const ZYNData::tKeepPattern*> keep;
  std::string_view self;
};

// Reached by its name from elsewhere: reflection in this class or another of the run, a resource file of the
// run, an injecting framework (annotations), or the user's keep list.
tKept Reflected(const tNamedFrom& n, const memberInfo& member) {
  using ZYNResult::tRule;
  if (!IsPrivate(member)) return {};  // only private members are removed or renamed
  const ConstPool& cp = *n.cls.cp;
  const std::string_view name = Utf8Text(cp, member.nameIndex);
  if (HasAnnotation(member.attrs, ZYNAttr::RuntimeVisibleAnnotationsAttr, cp, {})) {
    const auto types = AnnotationTypes(member.attrs, cp, ZYNAttr::RuntimeVisibleAnnotationsAttr);
    return {tRule::kAnnotated, types.empty() ? std::string_view() : types.front()};
  }
  if (n.strings.contains(name)) return {tRule::kStringConstant, n.self};
  if (n.annotated.contains(name)) return {tRule::kAnnotationWord, n.self};
  if (const auto* by = n.cls.facts != nullptr ? n.cls.facts->NamedOutside(name) : nullptr)
    return {by->resource ? tRule::kResourceWord : tRule::kNamedOutside, by->where};
  for (const ZYNData::tKeepPattern* k : n.keep)
    if (ZYNData::KeepsMember(*k, name)) return {tRule::kKeepPattern, k->text};
  return {};
}

}  // namespace

tProtection Protect(const tClassDesc& cls, const ZYNData::tParams& params) {
  using namespace ZYNAttr;
  using ZYNResult::tRule;
  const ConstPool& cp = *cls.cp;
  tProtection p = ClassProtection(cls);
  p.namesByText = params.pack;
  const std::string_view self = ZYNConstPool::ClassName(cp, cls.thisClass);
  // Fields that code may bind by name: every instance field and every static one that is no compile-time
  // constant where the run shows such code (a library it cannot see, or reflection over fields); the instance
  // fields where the class, its package or a supertype declares how they bind.
  bool declared = p.inherited.bindsFields;
  const ZYNHierarchy::tTextSet annotated = AnnotationWords(cls, declared);
  declared = declared || (cls.facts != nullptr && cls.facts->PackageBinds(self.substr(0, self.rfind('/') + 1)));
  const bool runBinds = cls.facts != nullptr && cls.facts->FieldsBound();
  const bool classBinds = declared || runBinds;
  auto bound = [&](const memberInfo& f) -> tKept {
    if (runBinds && ((f.accessFlags & kAccStatic) == 0 || !HasAttr(f.attrs, ConstantValueAttr)))
      return {tRule::kBoundByRun, cls.facts->FieldBinder()};
    return {(f.accessFlags & kAccStatic) == 0 && declared ? tRule::kBoundByClass : tRule::kNone, {}};
  };
  tNamedFrom named{cls, StringTexts(cp), annotated, {}, self};
  for (const ZYNData::tKeepPattern& pattern : params.keep)
    if (ZYNData::KeepsClass(pattern, self)) named.keep.push_back(&pattern);
  auto reflected = [&named](const memberInfo& member) { return Reflected(named, member); };
  for (const memberInfo& f : cls.fields) {
    const bool serialForm = p.serializable && (f.accessFlags & (kAccStatic | kAccTransient)) == 0;
    p.fieldKept.push_back(First({Rule(IsOneOf(cp, f, kSerialFields), tRule::kSerialMember),
                                 Rule(serialForm, tRule::kSerialForm), reflected(f),
                                 IsPrivate(f) ? bound(f) : tKept{}}));
  }
  const std::set<std::pair<std::string_view, std::string_view>> inlined = InlineInfoMethods(cls);
  // Methods that a reflective listing sees; and the constructor that a binder makes the class's objects with,
  // where it binds their fields (a class without instance fields keeps a private constructor for no binder).
  const bool listed = cls.facts != nullptr && cls.facts->MethodsListed(self);
  const bool instantiated =
      classBinds && std::any_of(cls.fields.begin(), cls.fields.end(), [](const memberInfo& f) {
        return f.present && (f.accessFlags & kAccStatic) == 0;
      });
  for (const memberInfo& m : cls.methods) {
    const std::string_view name = Utf8Text(cp, m.nameIndex), descriptor = Utf8Text(cp, m.descriptorIndex);
    // Class.getEnclosingMethod() of an inner class looks its enclosing method up by name and descriptor.
    const bool enclosing = IsPrivate(m) && cls.facts != nullptr && cls.facts->Encloses(self, descriptor, name);
    p.methodKept.push_back(
        First({Rule(IsOneOf(cp, m, kSerialMethods), tRule::kSerialMember),
               Rule(IsOneOf(cp, m, kCalledByName), tRule::kCalledByName), reflected(m),
               Rule(IsPrivate(m) && listed, tRule::kListed),
               Rule(IsPrivate(m) && instantiated && name == "<init>" && descriptor == "()V", tRule::kMadeByBinder),
               Rule(enclosing, tRule::kEnclosing), Rule(inlined.contains({name, descriptor}), tRule::kScalaInline)}));
    p.methodNamed.push_back(Rule((m.accessFlags & kAccNative) != 0, tRule::kNative));
  }
  for (const std::size_t i : KotlinInlineBodies(cls)) p.methodKept[i] = {tRule::kKotlinInline, {}};
  HeldByRules(cls, p);
  return p;
}

void RecordKept(tClassDesc& cls, const tProtection& p) {
  using ZYNResult::tRule;
  const ZYNResult::tKept whole{p.wholeClass ? tRule::kNest : p.noRename ? tRule::kMetadata : tRule::kNone, {}};
  for (std::size_t i = 0; i < cls.fields.size(); ++i)
    cls.fields[i].kept = Kept(p.fieldKept, i) ? p.fieldKept[i] : Kept(p.fieldNamed, i) ? p.fieldNamed[i] : whole;
  for (std::size_t i = 0; i < cls.methods.size(); ++i)
    cls.methods[i].kept = Kept(p.methodKept, i) ? p.methodKept[i] : Kept(p.methodNamed, i) ? p.methodNamed[i] : whole;
}

namespace {

// Removal on marks fresh from MarkClass; leaves the marks as a fresh marking of what is left would.
std::int32_t RemoveUnused(tClassDesc& cls, const tProtection& p) {
  OwnRefs refs(cls);
  const std::vector<MemberAt> all = AllMembers(cls);
  // The members that may go, and which of them each name entry and each list of own references concerns.
  std::vector<std::size_t> candidates;
  std::unordered_map<std::int32_t, std::vector<std::size_t>> byName;
  std::unordered_map<int, std::vector<std::size_t>> byList;
  for (std::size_t j = 0; j < all.size(); ++j) {
    const memberInfo& member = (*all[j].table)[all[j].slot];
    if (!member.present || !IsPrivate(member) || Kept(all[j].isMethod ? p.methodKept : p.fieldKept, all[j].slot))
      continue;
    candidates.push_back(j);
    byName[member.nameIndex].push_back(j);
    if (const int list = refs.ListOf(member, all[j].isMethod); list >= 0) byList[list].push_back(j);
  }
  // Rounds as if the whole class were marked anew each time: a member goes when only its declaration names
  // it or no own reference is in use; another round follows only when a method went.
  std::int32_t bytes = 0;
  std::vector<std::size_t> looked(all.size(), 0);
  std::vector<std::int32_t> log;
  for (std::size_t round = 1; !candidates.empty(); ++round) {
    std::vector<std::size_t> removed;
    bool methodRemoved = false;
    for (std::size_t j : candidates) {
      const memberInfo& member = (*all[j].table)[all[j].slot];
      if (!member.present) continue;
      if (MarkOf(cls.marking, member.nameIndex) == 1 || refs.Find(member, all[j].isMethod) == 0) {
        removed.push_back(j);
        methodRemoved = methodRemoved || all[j].isMethod;
      }
    }
    {
      ZYNConstPool::tTakeBack takeBack(cls.marking, log);
      for (std::size_t j : removed) MarkMember(cls.marking, (*all[j].table)[all[j].slot]);
    }
    for (std::size_t j : removed) {
      (*all[j].table)[all[j].slot].present = false;
      --(all[j].isMethod ? cls.methodCount : cls.fieldCount);
      bytes += MemberSize((*all[j].table)[all[j].slot]);
    }
    if (!methodRemoved) break;
    candidates.clear();
    auto consider = [&](const std::vector<std::size_t>& members) {
      for (std::size_t j : members)
        if (looked[j] != round && (*all[j].table)[all[j].slot].present) {
          looked[j] = round;
          candidates.push_back(j);
        }
    };
    for (std::int32_t index : log) {
      if (const auto it = byName.find(index); it != byName.end()) consider(it->second);
      if (const int list = refs.ListOfRef(index); list >= 0)
        if (const auto it = byList.find(list); it != byList.end()) consider(it->second);
    }
  }
  return bytes;
}

bool NameKept(const tProtection& p, bool isMethod, std::size_t slot) {
  return Kept(isMethod ? p.methodKept : p.fieldKept, slot) || NamedOnly(p, isMethod, slot);
}

bool AnyToRename(const tClassDesc& cls, const tProtection& p) {
  for (const bool isMethod : {false, true}) {
    const std::vector<memberInfo>& table = isMethod ? cls.methods : cls.fields;
    for (std::size_t slot = 0; slot < table.size(); ++slot)
      if (table[slot].present && IsPrivate(table[slot]) && !NameKept(p, isMethod, slot)) return true;
  }
  return false;
}

}  // namespace

std::int32_t RenameUnprotected(tClassDesc& cls, const tProtection& p) {
  // The tables below cost more than the renaming of a few members: a nest leaves most classes none. A class
  // whose own or super Class entry is missing goes on, to the error the tables give it.
  const bool classEntries =
      ClassAt(*cls.cp, cls.thisClass) && (cls.superClass == 0 || ClassAt(*cls.cp, cls.superClass));
  if (classEntries && !AnyToRename(cls, p)) return 0;
  const std::vector<MemberAt> all = AllMembers(cls);
  OwnRefs refs(cls);
  // The members to rename, with their references: renamed only when the name serves nothing but the
  // declaration and this one reference.
  std::vector<std::pair<const MemberAt*, std::int32_t>> renamed;
  std::unordered_set<std::int32_t> ownNames;
  for (const MemberAt& at : all) {
    const memberInfo& member = (*at.table)[at.slot];
    if (!member.present || !IsPrivate(member) || NameKept(p, at.isMethod, at.slot)) continue;
    const std::int32_t ref = refs.Find(member, at.isMethod);
    if (ref == 0 || MarkOf(cls.marking, ref) + 1 != MarkOf(cls.marking, member.nameIndex)) continue;
    renamed.emplace_back(&at, ref);
    ownNames.insert(member.nameIndex);
  }
  NameSources next;
  // Those names leave the pool (or stay the member's alone) whatever it is given, so they take none of the
  // list's places: a run over this run's result then lists the same names and gives none anew.
  ZYNConstPool::GetIdents(cls.marking, next.idents, cls.thisClass, cls.superClass,
                          {kIdentsSize, &ownNames, p.namesByText});
  DropMemberNames(next, all);
  if (p.typeNamesOnly) KeepTypeNames(*cls.cp, next.idents);
  Names names(cls, all);
  tRenaming renaming{cls, p, next, names};
  std::int32_t bytes = 0;
  for (const auto& [at, ref] : renamed) {
    memberInfo& member = (*at->table)[at->slot];
    bytes += GiveNewName(renaming, member, at->isMethod ? kConstantMethodref : kConstantFieldref, ref);
  }
  names.MoveMarks();
  return bytes;
}

std::int32_t MemberSize(const memberInfo& member) {
  std::int32_t size = 8;
  for (const auto& attr : member.attrs)
    if (attr) size += 6 + attr->length;
  return size;
}

void ReduceMembers(tClassDesc& cls, const ZYNData::tParams& params, std::int32_t& bytes) {
  CheckClass(cls);
  bytes = 0;
  // What protects a member does not change when unprotected members go, and removal leaves the marks
  // as renaming needs them: one marking serves both steps.
  const tProtection p = Protect(cls, params);
  RecordKept(cls, p);
  if (p.wholeClass) return;
  MarkAfresh(cls);
  bytes = RemoveUnused(cls, p);
  if (!params.noren && !p.noRename) bytes += RenameUnprotected(cls, p);
  // Removal took back what the removed members counted and renaming moved the counts of the names it
  // changed: the counts are those of a fresh marking.
  cls.marking.classMarked = true;
}

}  // namespace ZYNClass
