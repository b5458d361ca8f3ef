// The member pass over a nest.
//
// A reference in any pool of the nest reaches the member of its key (kind, descriptor, name) in the class
// its Class entry names, when that class of the nest declares one; through any other class (a subclass,
// a class outside the nest, an array) it may reach the member of that key in any class of the nest, so such
// a reference keeps them all. Removal then goes in rounds as for one class, taking back in its own pool what
// a removed member referred to. Renaming gives a member referred to from other pools of the nest a new name
// written into every Utf8 entry that carries it, each of which must serve nothing else; a member referred
// to only from its own pool is renamed by the pass for one class, with the nest's references as names it
// must not take.
#include "ZYNNest.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <set>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "ZYNClassFile.h"
#include "ZYNConstPool.h"
#include "ZYNData.h"
#include "ZYNError.h"
#include "ZYNHierarchy.h"

namespace ZYNNest {

using ZYNClass::memberInfo;
using ZYNClass::tClassDesc;
using ZYNConstPool::ConstPool;
using ZYNConstPool::Utf8Text;

namespace {

using ZYNClassFile::kConstantFieldref;
constexpr std::int32_t kNestVersion = 55;  // the first class file version with nests
constexpr std::size_t kNameTries = 256;  // candidate names one member may be refused before it keeps its own

using ZYNClass::IsPrivate;
using ZYNClass::Kept;
using ZYNConstPool::ClassName;
using ZYNConstPool::MarkOf;

// The member keys of a nest (as ZYNHierarchy::MemberKey writes them), each text kept once and known by its
// number from then on: a nest's pools repeat the same few keys many times over.
class Keys {
 public:
  // The number of the key, made on its first sight.
  std::int32_t Of(char kind, std::string_view descriptor, std::string_view name) {
    Compose(kind, descriptor, name);
    const auto [it, added] = ids_.try_emplace(query_, static_cast<std::int32_t>(texts_.size()));
    if (added) texts_.push_back(&it->first);
    return it->second;
  }
  std::int32_t Of(const ConstPool& cp, const memberInfo& member, bool isMethod) {
    return Of(isMethod ? 'M' : 'F', Utf8Text(cp, member.descriptorIndex), Utf8Text(cp, member.nameIndex));
  }
  // The key's text, written into a buffer that the next call overwrites.
  const std::string& Compose(char kind, std::string_view descriptor, std::string_view name) {
    query_.assign(1, kind);
    query_.append(descriptor).push_back('\0');
    query_.append(name);
    return query_;
  }
  // The number of the text Compose last wrote, or -1 when it has none.
  std::int32_t FindComposed() const {
    const auto it = ids_.find(std::string_view(query_));
    return it != ids_.end() ? it->second : -1;
  }
  const std::string& Text(std::int32_t id) const { return *texts_[static_cast<std::size_t>(id)]; }

 private:
  std::unordered_map<std::string, std::int32_t, ZYNHierarchy::tTextHash, std::equal_to<>> ids_;
  std::vector<const std::string*> texts_;  // node keys of ids_, which stay where they are
  std::string query_;
};

using ZYNConstPool::MemberRefAt;

// The number of the key of the member a reference names; -1 when its NameAndType is not there.
std::int32_t RefKey(const ConstPool& cp, const ZYNConstPool::tMemberRef& ref, Keys& keys) {
  const auto nat = ZYNConstPool::NameAndTypeAt(cp, ref.nameAndTypeIndex);
  if (!nat) return -1;
  return keys.Of(ref.tag == kConstantFieldref ? 'F' : 'M', Utf8Text(cp, nat->descriptorIndex),
                 Utf8Text(cp, nat->nameIndex));
}

std::vector<const ZYNAttr::IndexedAttributeDesc*> AttrsOf(const tClassDesc& cls, std::int16_t kind) {
  std::vector<const ZYNAttr::IndexedAttributeDesc*> found;
  for (const auto& attr : cls.attrs)
    if (attr && attr->This(kind)) found.push_back(dynamic_cast<const ZYNAttr::IndexedAttributeDesc*>(attr.get()));
  return found;
}

struct Member {
  std::size_t cls;
  bool isMethod;
  std::size_t slot;
  std::int32_t key;  // as read
};

memberInfo& MemberOf(const std::vector<tClassDesc*>& classes, const Member& m) {
  return (m.isMethod ? classes[m.cls]->methods : classes[m.cls]->fields)[m.slot];
}

struct RefAt {
  std::size_t cls;
  std::int32_t index;
};

// A key of the nest and a class of it, as one number.
std::uint64_t Slot(std::int32_t key, std::size_t cls) {
  return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(key)) << 32) | static_cast<std::uint32_t>(cls);
}

// The member references of every pool of the nest, by the key they name and the class of the nest whose
// member they reach (any class's, for one that may reach the member of its key in any class).
class NestRefs {
 public:
  NestRefs(const std::vector<tClassDesc*>& classes, Keys& keys)
      : classes_(classes), any_(classes.size()), keyOfRef_(classes.size()) {
    std::unordered_map<std::string_view, std::size_t> byName;
    std::vector<std::unordered_set<std::int32_t>> declared(classes.size());
    for (std::size_t i = 0; i < classes.size(); ++i) {
      const tClassDesc& cls = *classes[i];
      byName.emplace(ClassName(*cls.cp, cls.thisClass), i);
      for (const bool isMethod : {false, true})
        for (const memberInfo& m : isMethod ? cls.methods : cls.fields)
          if (m.present) declared[i].insert(keys.Of(*cls.cp, m, isMethod));
    }
    for (std::size_t i = 0; i < classes.size(); ++i) {
      const ConstPool& cp = *classes[i]->cp;
      keyOfRef_[i].assign(static_cast<std::size_t>(cp.length()), -1);
      for (std::int32_t r = 1; r < cp.length(); ++r) {
        const auto ref = MemberRefAt(cp, r);
        const std::int32_t key = ref ? RefKey(cp, *ref, keys) : -1;
        if (key < 0) continue;
        const auto owner = byName.find(ClassName(cp, ref->classIndex));
        const bool exact = owner != byName.end() && declared[owner->second].contains(key);
        lists_[Slot(key, exact ? owner->second : any_)].refs.push_back({i, r});
        Take(key);
        keyOfRef_[i][static_cast<std::size_t>(r)] = key;
      }
    }
  }

  // Whether a reference in use may reach the member of the key that class cls declares. Counts only fall
  // while it is asked (removal takes references back), so a list is never searched twice.
  bool InUse(std::int32_t key, std::size_t cls) { return FirstInUse(key, cls) || FirstInUse(key, any_); }
  bool AnyInUse(std::int32_t key) { return FirstInUse(key, any_); }

  // The references in use through the class that declares the member.
  std::vector<RefAt> Reaching(std::int32_t key, std::size_t cls) const {
    std::vector<RefAt> found;
    const auto it = lists_.find(Slot(key, cls));
    if (it == lists_.end()) return found;
    for (const RefAt& at : it->second.refs)
      if (MarkOf(classes_[at.cls]->marking, at.index) > 0) found.push_back(at);
    return found;
  }

  // The number of the key the member reference at index names, -1 for no member reference.
  std::int32_t KeyOfRef(std::size_t cls, std::int32_t index) const {
    const std::vector<std::int32_t>& of = keyOfRef_[cls];
    return index > 0 && static_cast<std::size_t>(index) < of.size() ? of[static_cast<std::size_t>(index)] : -1;
  }

  // The keys a reference of the nest names, kept current with the renamings across the nest.
  bool Taken(std::int32_t key) const { return key >= 0 && static_cast<std::size_t>(key) < taken_.size() && taken_[static_cast<std::size_t>(key)]; }
  void Take(std::int32_t key) {
    if (static_cast<std::size_t>(key) >= taken_.size()) taken_.resize(static_cast<std::size_t>(key) + 1);
    taken_[static_cast<std::size_t>(key)] = true;
  }
  // Their texts, sorted.
  std::vector<std::string_view> TakenTexts(const Keys& keys) const {
    std::vector<std::string_view> texts;
    for (std::size_t k = 0; k < taken_.size(); ++k)
      if (taken_[k]) texts.push_back(keys.Text(static_cast<std::int32_t>(k)));
    std::sort(texts.begin(), texts.end());
    return texts;
  }

 private:
  bool FirstInUse(std::int32_t key, std::size_t cls) {
    const auto it = lists_.find(Slot(key, cls));
    return it != lists_.end() &&
           it->second.FirstInUse([this](const RefAt& at) { return MarkOf(classes_[at.cls]->marking, at.index); });
  }

  const std::vector<tClassDesc*>& classes_;
  const std::size_t any_;  // the class of a list whose references may reach any class's member
  std::unordered_map<std::uint64_t, ZYNClass::tRefList<RefAt>> lists_;
  std::vector<std::vector<std::int32_t>> keyOfRef_;  // per class, by pool index
  std::vector<bool> taken_;                          // by key
};

// What reaches members by name from inside the nest other than member references: String constants of any
// of its classes (reflection) and the methods the EnclosingMethod attributes of its classes name.
struct NamedInNest {
  std::unordered_set<std::string_view> strings;  // the texts stand in the pools until the renaming
  std::set<std::pair<std::string, std::string>> enclosing;  // class name, method key

  explicit NamedInNest(const std::vector<tClassDesc*>& classes) {
    for (const tClassDesc* cls : classes) {
      const ConstPool& cp = *cls->cp;
      for (std::int32_t i = 1; i < cp.length(); ++i)
        if (cp.Tag(i) == ZYNClassFile::kConstantString) strings.emplace(Utf8Text(cp, ZYNConstPool::StringAt(cp, i)));
      // The attributes whose row says they name a method as EnclosingMethod does.
      for (const auto& held : cls->attrs) {
        const auto* attr = dynamic_cast<const ZYNAttr::IndexedAttributeDesc*>(held.get());
        if (attr == nullptr || ZYNAttr::NamesOf(attr->kind) != ZYNAttr::tNames::kEnclosingMethod ||
            attr->indexes.size() != 2)
          continue;
        const auto nat = ZYNConstPool::NameAndTypeAt(cp, attr->IndexAt(attr->indexes[1]));
        if (!nat) continue;
        enclosing.emplace(
            ClassName(cp, attr->IndexAt(attr->indexes[0])),
            ZYNHierarchy::MemberKey('M', Utf8Text(cp, nat->descriptorIndex), Utf8Text(cp, nat->nameIndex)));
      }
    }
  }
};

void Count(tReport& report, tReport::Reason reason, long long bytes) {
  ++report.members[reason];
  report.bytes[reason] += bytes;
}

// The private members that the class's own protection and the nest's names leave to the pass.
std::vector<Member> Candidates(const std::vector<tClassDesc*>& classes, const std::vector<ZYNClass::tProtection>& ps,
                               const NamedInNest& named, Keys& keys, tReport& report) {
  std::vector<Member> candidates;
  for (std::size_t c = 0; c < classes.size(); ++c) {
    const tClassDesc& cls = *classes[c];
    const std::string_view self = ClassName(*cls.cp, cls.thisClass);
    for (const bool isMethod : {false, true}) {
      const std::vector<memberInfo>& table = isMethod ? cls.methods : cls.fields;
      for (std::size_t i = 0; i < table.size(); ++i) {
        const memberInfo& m = table[i];
        if (!m.present || !IsPrivate(m)) continue;
        const auto nameBytes = static_cast<long long>(Utf8Text(*cls.cp, m.nameIndex).size());
        if (Kept(isMethod ? ps[c].methodKept : ps[c].fieldKept, i)) {
          Count(report, tReport::kProtected, nameBytes);
          continue;
        }
        const std::int32_t key = keys.Of(*cls.cp, m, isMethod);
        if (named.strings.contains(Utf8Text(*cls.cp, m.nameIndex)) ||
            (!named.enclosing.empty() && named.enclosing.contains({std::string(self), keys.Text(key)}))) {
          Count(report, tReport::kNamedInNest, nameBytes);
          continue;
        }
        candidates.push_back({c, isMethod, i, key});
      }
    }
  }
  return candidates;
}

// Removal in rounds over freshly marked classes: a member goes when no reference in use may reach it;
// another round follows only when a method went, and looks again only at the members of the keys whose
// references it took back.
void RemoveAcross(const std::vector<tClassDesc*>& classes, NestRefs& refs, const std::vector<Member>& candidates,
                  std::vector<std::int32_t>& saved, tReport& report) {
  std::unordered_map<std::int32_t, std::vector<std::size_t>> byKey;
  std::vector<std::size_t> todo;
  for (std::size_t j = 0; j < candidates.size(); ++j) {
    byKey[candidates[j].key].push_back(j);
    todo.push_back(j);
  }
  std::vector<std::size_t> looked(candidates.size(), 0);
  std::vector<std::int32_t> log;
  for (std::size_t round = 1; !todo.empty(); ++round) {
    std::vector<std::size_t> removed;
    bool methodRemoved = false;
    for (std::size_t j : todo)
      if (MemberOf(classes, candidates[j]).present && !refs.InUse(candidates[j].key, candidates[j].cls)) {
        removed.push_back(j);
        methodRemoved = methodRemoved || candidates[j].isMethod;
      }
    std::vector<RefAt> fell;
    for (std::size_t j : removed) {
      const Member& m = candidates[j];
      tClassDesc& cls = *classes[m.cls];
      memberInfo& member = MemberOf(classes, m);
      {
        ZYNConstPool::tTakeBack takeBack(cls.marking, log);
        ZYNClass::MarkMember(cls.marking, member);
      }
      for (std::int32_t index : log) fell.push_back({m.cls, index});
      member.present = false;
      --(m.isMethod ? cls.methodCount : cls.fieldCount);
      saved[m.cls] += ZYNClass::MemberSize(member);
      Count(report, tReport::kRemoved, ZYNClass::MemberSize(member));
    }
    todo.clear();
    if (!methodRemoved) break;
    for (const RefAt& at : fell) {
      const auto it = byKey.find(refs.KeyOfRef(at.cls, at.index));
      if (it == byKey.end()) continue;
      for (std::size_t j : it->second)
        if (looked[j] != round && MemberOf(classes, candidates[j]).present) {
          looked[j] = round;
          todo.push_back(j);
        }
    }
  }
}

// A Utf8 entry that carries the member's name in one pool, with what names it there: the NameAndType
// entries of the references that reach the member, and the declaration when the pool is the member's own.
struct NameEntry {
  std::size_t cls;
  std::int32_t utf;
  std::int32_t uses = 0;  // its count, all of it the member's
  std::vector<std::int32_t> nats;
  bool decl = false;
};

// The Utf8 entries that carry the member's name, when each serves nothing but the member's declaration and
// the references that reach it; false when one is shared with anything else.
bool OwnNameEntries(const std::vector<tClassDesc*>& classes, const Member& m, const std::vector<RefAt>& reaching,
                    std::vector<NameEntry>& entries) {
  std::map<std::pair<std::size_t, std::int32_t>, std::int32_t> natUses;
  std::map<std::pair<std::size_t, std::int32_t>, NameEntry> byUtf;
  for (const RefAt& at : reaching) {
    const ConstPool& cp = *classes[at.cls]->cp;
    natUses[{at.cls, MemberRefAt(cp, at.index)->nameAndTypeIndex}] += MarkOf(classes[at.cls]->marking, at.index);
  }
  const std::int32_t declared = MemberOf(classes, m).nameIndex;
  NameEntry& own = byUtf[{m.cls, declared}];
  own = {m.cls, declared, 1, {}, true};
  for (const auto& [at, uses] : natUses) {
    const ConstPool& cp = *classes[at.first]->cp;
    const auto nat = ZYNConstPool::NameAndTypeAt(cp, at.second);
    if (MarkOf(classes[at.first]->marking, at.second) != uses || nat->nameIndex == nat->descriptorIndex) return false;
    NameEntry& entry = byUtf[{at.first, nat->nameIndex}];
    entry.cls = at.first;
    entry.utf = nat->nameIndex;
    entry.uses += uses;
    entry.nats.push_back(at.second);
  }
  for (auto& [at, entry] : byUtf) {
    if (MarkOf(classes[at.first]->marking, at.second) != entry.uses) return false;
    entries.push_back(std::move(entry));
  }
  return true;
}

bool IdentShaped(std::string_view text) {
  const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  return !text.empty() && letter(text[0]) &&
         std::all_of(text.begin(), text.end(), [&](char c) { return letter(c) || (c >= '0' && c <= '9'); });
}

// Per pool, its identifier-shaped entries in use, as the pass for one class reuses them; leaving out the names
// that candidates bear there, since sharing one would keep that candidate from its own new name. A pool's are
// gathered when a member with a name entry there is first renamed: most pools of a nest never are.
class SpareNames {
 public:
  // The texts stand in the pools: an entry leaves them only when a candidate's name entry is rewritten, and
  // those are held, so never spare until rewritten.
  using Spare = std::unordered_map<std::string_view, std::int32_t>;

  SpareNames(const std::vector<tClassDesc*>& classes, const NestRefs& refs, const std::vector<Member>& candidates)
      : classes_(classes), refs_(refs), candidates_(candidates), spare_(classes.size()) {
    for (const Member& m : candidates) {
      const auto key = static_cast<std::size_t>(m.key);
      if (key >= candidateKey_.size()) candidateKey_.resize(key + 1);
      candidateKey_[key] = true;
    }
  }

  Spare& Of(std::size_t c) {
    if (spare_[c]) return *spare_[c];
    std::unordered_set<std::int32_t> held;
    for (const Member& m : candidates_)
      if (m.cls == c) held.insert(MemberOf(classes_, m).nameIndex);
    const ConstPool& cp = *classes_[c]->cp;
    for (std::int32_t i = 1; i < cp.length(); ++i) {
      const auto key = static_cast<std::size_t>(refs_.KeyOfRef(c, i));
      if (key >= candidateKey_.size() || !candidateKey_[key]) continue;
      if (const auto nat = ZYNConstPool::NameAndTypeAt(cp, MemberRefAt(cp, i)->nameAndTypeIndex)) held.insert(nat->nameIndex);
    }
    Spare& spare = spare_[c].emplace();
    for (std::int32_t i = 1; i < cp.length(); ++i)
      if (ZYNConstPool::IsUtf8(cp, i) && MarkOf(classes_[c]->marking, i) > 0 &&
          !held.contains(i) && IdentShaped(Utf8Text(cp, i)))
        spare.emplace(Utf8Text(cp, i), i);
    return spare;
  }

 private:
  const std::vector<tClassDesc*>& classes_;
  const NestRefs& refs_;
  const std::vector<Member>& candidates_;
  std::vector<bool> candidateKey_;
  std::vector<std::optional<Spare>> spare_;
};

// What giving the member this name saves: an entry whose pool holds the name in use goes, any other is
// rewritten; -1 when one would have to grow.
long long Gain(const std::vector<tClassDesc*>& classes, const std::vector<NameEntry>& entries, SpareNames& spare,
               std::string_view name) {
  long long gain = 0;
  for (const NameEntry& e : entries) {
    const auto length = static_cast<long long>(Utf8Text(*classes[e.cls]->cp, e.utf).size());
    if (spare.Of(e.cls).contains(name)) {
      gain += 3 + length;
    } else {
      if (length < static_cast<long long>(name.size())) return -1;
      gain += length - static_cast<long long>(name.size());
    }
  }
  return gain;
}

// The k-th name a member may be given: one letter, then two (of the form of type names, only those).
std::string NameAt(std::size_t k, bool typeNamesOnly) {
  constexpr std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  constexpr std::size_t kLetters = 26;
  if (typeNamesOnly)
    return k < kLetters * kLetters
               ? std::string{static_cast<char>('A' + k / kLetters), static_cast<char>('a' + k % kLetters)}
               : std::string();
  if (k < alphabet.size()) return std::string(1, alphabet[k]);
  k -= alphabet.size();
  if (k >= alphabet.size() * alphabet.size()) return {};
  return {alphabet[k / alphabet.size()], alphabet[k % alphabet.size()]};
}

// The names a class's members bear, and the next name not among them.
struct ClassNames {
  std::unordered_set<std::string> inUse;
  std::size_t next = 0;
};

// What renaming across the nest works with: its classes and their protection, its references and keys, the
// spare names of each pool, and the names the members of each class bear (made when first asked).
struct tNestNaming {
  const std::vector<tClassDesc*>& classes;
  const std::vector<ZYNClass::tProtection>& ps;
  NestRefs& refs;
  Keys& keys;
  SpareNames spare;
  std::vector<std::optional<ClassNames>> names;
};

// Whether the member (of this descriptor) may bear the name: no member of its class bears it, nor the class or
// its superclass (as for one class), no supertype may declare it for the member's kind and descriptor, and no
// reference of the nest names it.
bool Free(tNestNaming& n, const Member& m, std::string_view descriptor, const std::string& name) {
  const tClassDesc& cls = *n.classes[m.cls];
  const ZYNClass::tProtection& p = n.ps[m.cls];
  const ConstPool& cp = *cls.cp;
  if (n.names[m.cls]->inUse.contains(name) || (p.typeNamesOnly && !ZYNClass::TypeNameShaped(name))) return false;
  if (ClassName(cp, cls.thisClass) == name || (cls.superClass != 0 && ClassName(cp, cls.superClass) == name))
    return false;
  const std::string& key = n.keys.Compose(m.isMethod ? 'M' : 'F', descriptor, name);
  return !n.refs.Taken(n.keys.FindComposed()) && !p.inherited.Declares(key);
}

// The name that saves most over the pools of the member's name entries: one that pools already hold in use,
// or the first fresh one of NameAt; the shorter, then the lower, of two that save alike. Empty when none saves.
std::string BestName(tNestNaming& n, const Member& m, const std::vector<NameEntry>& entries) {
  const std::vector<tClassDesc*>& classes = n.classes;
  const bool typeNamesOnly = n.ps[m.cls].typeNamesOnly;
  ClassNames& names = *n.names[m.cls];
  SpareNames& spare = n.spare;
  const std::string_view descriptor = Utf8Text(*classes[m.cls]->cp, MemberOf(classes, m).descriptorIndex);
  std::string best;
  long long bestGain = 0;
  // Whether a name may be given is asked only of one that would save more than the best so far: the asking
  // costs more than the weighing.
  const auto weigh = [&](std::string_view text) {
    if (text.empty()) return;
    const long long gain = Gain(classes, entries, spare, text);
    const bool before = std::pair(text.size(), text) < std::pair(best.size(), std::string_view(best));
    if (!(gain > bestGain || (gain == bestGain && gain > 0 && before))) return;
    std::string name(text);
    if (!Free(n, m, descriptor, name)) return;
    best = std::move(name);
    bestGain = gain;
  };
  for (const NameEntry& e : entries)
    for (const auto& [text, index] : spare.Of(e.cls)) weigh(text);
  while (!NameAt(names.next, typeNamesOnly).empty() && names.inUse.contains(NameAt(names.next, typeNamesOnly)))
    ++names.next;
  for (std::size_t k = names.next; k < names.next + kNameTries; ++k) {
    const std::string name = NameAt(k, typeNamesOnly);
    if (name.empty()) break;
    if (!Free(n, m, descriptor, name)) continue;
    weigh(name);
    break;
  }
  return best;
}

// Gives the member the name in every pool: an entry whose pool holds the name in use gives way to it, with
// the counts moved as a fresh marking would have them; any other is rewritten.
void GiveName(const std::vector<tClassDesc*>& classes, const Member& m, const std::vector<NameEntry>& entries,
              SpareNames& spare, const std::string& name, std::vector<std::int32_t>& saved) {
  for (const NameEntry& e : entries) {
    ConstPool& cp = *classes[e.cls]->cp;
    SpareNames::Spare& pool = spare.Of(e.cls);
    const auto it = pool.find(name);
    if (it == pool.end()) {
      std::int32_t bytes = 0;
      ZYNConstPool::ReplaceUtf(cp, e.utf, name, bytes);
      saved[e.cls] += bytes;
      pool.emplace(Utf8Text(cp, e.utf), e.utf);
      continue;
    }
    for (std::int32_t nat : e.nats) cp.SetU2(nat, 0, it->second);  // the NameAndType's name
    if (e.decl) MemberOf(classes, m).nameIndex = it->second;
    ZYNConstPool::tMarking& marking = classes[e.cls]->marking;
    marking.slots[static_cast<std::size_t>(it->second)].count += e.uses;
    marking.slots[static_cast<std::size_t>(e.utf)].count -= e.uses;
  }
}

ClassNames NamesOf(const tClassDesc& cls) {
  ClassNames names;
  for (const auto* table : {&cls.fields, &cls.methods})
    for (const memberInfo& m : *table)
      if (m.present) names.inUse.emplace(Utf8Text(*cls.cp, m.nameIndex));
  return names;
}

// The bytes of the member's name in every pool that holds it for the member, as a refusal counts them.
long long NameBytes(const std::vector<tClassDesc*>& classes, const Member& m, const std::vector<RefAt>& reaching) {
  std::set<std::size_t> pools{m.cls};
  for (const RefAt& at : reaching) pools.insert(at.cls);
  const ConstPool& cp = *classes[m.cls]->cp;
  return static_cast<long long>(Utf8Text(cp, MemberOf(classes, m).nameIndex).size() * pools.size());
}

// Renames the members that other pools of the nest refer to; acrossOnly marks them, and the members a
// reference through another class may reach, as not the renaming of one class's to touch.
void RenameAcross(tNestNaming& n, const std::vector<Member>& candidates, std::vector<bool>& acrossOnly,
                  std::vector<std::int32_t>& saved, tReport& report) {
  const std::vector<tClassDesc*>& classes = n.classes;
  const std::vector<ZYNClass::tProtection>& ps = n.ps;
  NestRefs& refs = n.refs;
  std::vector<std::optional<ClassNames>>& names = n.names;
  std::unordered_set<std::uint64_t> seen;  // key and class
  for (std::size_t j = 0; j < candidates.size(); ++j) {
    const Member& m = candidates[j];
    const memberInfo& member = MemberOf(classes, m);
    if (!member.present) continue;
    const std::vector<RefAt> reaching = refs.Reaching(m.key, m.cls);
    const long long stake = NameBytes(classes, m, reaching);
    if (ps[m.cls].noRename || NamedOnly(ps[m.cls], m.isMethod, m.slot)) {
      Count(report, ps[m.cls].noRename ? tReport::kNoRename : tReport::kNative, stake);
      continue;
    }
    if (!seen.insert(Slot(m.key, m.cls)).second) continue;  // a class declares the key twice: the JVM refuses it
    const bool elsewhere =
        std::any_of(reaching.begin(), reaching.end(), [&](const RefAt& at) { return at.cls != m.cls; });
    if (!elsewhere && !refs.AnyInUse(m.key)) continue;  // the pass for one class renames it
    acrossOnly[j] = true;
    std::vector<NameEntry> entries;
    if (refs.AnyInUse(m.key)) {
      Count(report, tReport::kThroughOther, stake);
      continue;
    }
    if (!OwnNameEntries(classes, m, reaching, entries)) {
      Count(report, tReport::kSharedName, stake);
      continue;
    }
    if (!names[m.cls]) names[m.cls] = NamesOf(*classes[m.cls]);
    const std::string name = BestName(n, m, entries);
    if (name.empty()) {
      Count(report, tReport::kNoName, stake);
      continue;
    }
    refs.Take(n.keys.Of(m.isMethod ? 'M' : 'F', Utf8Text(*classes[m.cls]->cp, member.descriptorIndex), name));
    names[m.cls]->inUse.insert(name);
    const long long total = Gain(classes, entries, n.spare, name);
    GiveName(classes, m, entries, n.spare, name, saved);
    Count(report, tReport::kRenamedAcross, total);
  }
}

// What the pass for one class did with the members left to it: each one is renamed when its name entry
// now holds another text or it bears another entry.
void CountOwnPool(const std::vector<tClassDesc*>& classes, Keys& keys, const std::vector<Member>& candidates,
                  const std::vector<bool>& acrossOnly, const std::vector<ZYNClass::tProtection>& ps,
                  tReport& report) {
  for (std::size_t j = 0; j < candidates.size(); ++j) {
    const Member& m = candidates[j];
    const memberInfo& member = MemberOf(classes, m);
    if (acrossOnly[j] || !member.present || ps[m.cls].noRename || NamedOnly(ps[m.cls], m.isMethod, m.slot))
      continue;
    const bool renamed = keys.Of(*classes[m.cls]->cp, member, m.isMethod) != m.key;
    const std::string& was = keys.Text(m.key);
    Count(report, renamed ? tReport::kOwnPool : tReport::kOwnPoolKept,
          static_cast<long long>(was.size() - was.find('\0') - 1));
  }
}

}  // namespace

std::string HostOf(const tClassDesc& cls) {
  if (cls.majorVersion < kNestVersion) return {};
  const auto hosts = AttrsOf(cls, ZYNAttr::NestHostAttr);
  const auto members = AttrsOf(cls, ZYNAttr::NestMembersAttr);
  if (hosts.size() + members.size() != 1) return {};
  const ConstPool& cp = *cls.cp;
  if (!members.empty()) return std::string(ClassName(cp, cls.thisClass));
  if (hosts[0] == nullptr || hosts[0]->indexes.size() != 1) return {};
  return std::string(ClassName(cp, hosts[0]->IndexAt(hosts[0]->indexes[0])));
}

bool CompleteNest(const std::vector<const tClassDesc*>& classes) {
  const tClassDesc* host = nullptr;
  std::set<std::string_view> names;
  for (const tClassDesc* cls : classes) {
    const std::string_view name = ClassName(*cls->cp, cls->thisClass);
    if (name.empty() || !names.insert(name).second) return false;
    if (AttrsOf(*cls, ZYNAttr::NestMembersAttr).empty()) continue;
    if (host != nullptr) return false;
    host = cls;
  }
  if (host == nullptr) return false;
  const std::string hostName(ClassName(*host->cp, host->thisClass));
  for (const tClassDesc* cls : classes)
    if (HostOf(*cls) != hostName) return false;
  const auto* list = AttrsOf(*host, ZYNAttr::NestMembersAttr)[0];
  if (list == nullptr) return false;
  std::set<std::string_view> listed;
  for (const ZYNAttr::IndexSlot& slot : list->indexes) {
    const std::string_view name = ClassName(*host->cp, list->IndexAt(slot));
    if (name.empty() || !listed.insert(name).second) return false;
  }
  names.erase(hostName);
  return listed == names;
}

namespace {

// The member pass over a complete nest, on classes read and stripped of their attributes: removal of the
// private members that no class of the nest refers to, then renaming (unless -noren), each reference in every
// pool of the nest following its member. saved[i] receives what class i saved. The classes' pools are left
// counted as a fresh marking of what is left would count them.
void ReduceNest(const std::vector<tClassDesc*>& classes, const ZYNData::tParams& params,
                std::vector<std::int32_t>& saved, tReport& report) {
  saved.assign(classes.size(), 0);
  std::vector<ZYNClass::tProtection> ps;
  for (tClassDesc* cls : classes) {
    ZYNClass::CheckClass(*cls);
    ps.push_back(ZYNClass::Protect(*cls, params));
    ZYNClass::RecordKept(*cls, ps.back());
    ZYNClass::MarkAfresh(*cls);
  }
  const NamedInNest named(classes);
  Keys keys;
  std::vector<Member> candidates = Candidates(classes, ps, named, keys, report);
  NestRefs refs(classes, keys);
  RemoveAcross(classes, refs, candidates, saved, report);
  // Removal took back what removed members counted, and renaming moves counts as it changes names: the
  // counts are those of a fresh marking, and writing needs no other.
  for (tClassDesc* cls : classes) cls->marking.classMarked = true;
  if (params.noren) return;
  std::vector<bool> acrossOnly(candidates.size(), false);
  tNestNaming naming{classes, ps, refs, keys, SpareNames(classes, refs, candidates), {}};
  naming.names.resize(classes.size());
  RenameAcross(naming, candidates, acrossOnly, saved, report);
  // The pass for one class renames only the candidates left to it, and takes no name that a reference of
  // the nest names.
  const ZYNResult::tKept nest{ZYNResult::tRule::kNest, {}};
  for (std::size_t c = 0; c < classes.size(); ++c) {
    ps[c].fieldKept.assign(classes[c]->fields.size(), nest);
    ps[c].methodKept.assign(classes[c]->methods.size(), nest);
  }
  for (std::size_t j = 0; j < candidates.size(); ++j)
    if (!acrossOnly[j])
      (candidates[j].isMethod ? ps[candidates[j].cls].methodKept
                              : ps[candidates[j].cls].fieldKept)[candidates[j].slot] = {};
  const std::vector<std::string_view> taken = refs.TakenTexts(keys);
  for (std::size_t c = 0; c < classes.size(); ++c) {
    if (ps[c].noRename) continue;
    ps[c].inherited.members.push_back(&taken);
    saved[c] += ZYNClass::RenameUnprotected(*classes[c], ps[c]);
  }
  CountOwnPool(classes, keys, candidates, acrossOnly, ps, report);
}

// The nest read, passed and written; false, with nothing written, when its classes are to go one by one.
bool Optimize(std::vector<std::unique_ptr<ZYNClass::tOpenClass>>& open,
              const std::vector<std::span<const std::uint8_t>>& classes, const ZYNHierarchy::tRunFacts* facts,
              const ZYNData::tParams& params, ZYNClass::tWrite write, tReport& report) {
  std::vector<tClassDesc*> read;
  for (const auto bytes : classes) {
    auto& one = open.emplace_back(std::make_unique<ZYNClass::tOpenClass>(params));
    ZYNClass::OpenClass(*one, bytes, facts);
    // An attribute the reader does not know may hold a pool index of a name the pass would rewrite.
    if (one->ctx.diag.WarnCount != 0 && !params.uattr) return false;
    read.push_back(one->cls.get());
  }
  if (!CompleteNest(std::vector<const tClassDesc*>(read.begin(), read.end()))) return false;
  std::vector<std::int32_t> saved;
  ReduceNest(read, params, saved, report);
  for (std::size_t i = 0; i < open.size(); ++i) ZYNClass::CloseClass(*open[i], classes[i], saved[i], write);
  return true;
}

}  // namespace

std::vector<std::vector<std::size_t>> Groups(const std::vector<const ZYNHierarchy::tNestNames*>& classes) {
  std::unordered_map<std::string_view, std::size_t> at;
  std::unordered_set<std::string_view> twice;
  for (std::size_t k = 0; k < classes.size(); ++k)
    if (classes[k] != nullptr && !at.try_emplace(classes[k]->name, k).second) twice.insert(classes[k]->name);
  std::vector<std::vector<std::size_t>> groups;
  for (std::size_t k = 0; k < classes.size(); ++k) {
    const ZYNHierarchy::tNestNames* host = classes[k];
    if (host == nullptr || host->members.empty() || !host->host.empty() || twice.contains(host->name)) continue;
    std::vector<std::size_t> group{k};
    for (const std::string& member : host->members) {
      const auto it = at.find(member);
      if (it == at.end() || twice.contains(member) || classes[it->second]->host != host->name) break;
      group.push_back(it->second);
    }
    if (group.size() != host->members.size() + 1) continue;
    std::sort(group.begin(), group.end());
    // A member listed twice would be optimized twice.
    if (std::adjacent_find(group.begin(), group.end()) == group.end()) groups.push_back(std::move(group));
  }
  return groups;
}

std::vector<bool> Later(std::size_t count, const std::vector<std::vector<std::size_t>>& groups) {
  std::vector<bool> later(count, false);
  for (const std::vector<std::size_t>& group : groups)
    for (std::size_t i = 1; i < group.size(); ++i) later[group[i]] = true;
  return later;
}

std::vector<ZYNClass::tFileResult> OptimizeNest(const std::vector<std::span<const std::uint8_t>>& classes,
                                                const ZYNHierarchy::tRunFacts* facts, const ZYNData::tParams& params,
                                                ZYNClass::tWrite write, tReport* report) {
  // Which shorter name a member gets follows the order in which the pass meets the classes: in the order of
  // their bytes, a nest comes out the same whatever order a folder or an archive lists it in.
  std::vector<std::size_t> order(classes.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::ranges::sort(order, [&](std::size_t a, std::size_t b) {
    return std::ranges::lexicographical_compare(classes[a], classes[b]);
  });
  std::vector<std::span<const std::uint8_t>> sorted;
  for (std::size_t i : order) sorted.push_back(classes[i]);
  std::vector<std::unique_ptr<ZYNClass::tOpenClass>> open;
  tReport nest;
  bool whole = false;
  // A failing class gets its error line, and its nest the rule for one class, from the core for one class.
  try {
    whole = Optimize(open, sorted, facts, params, write, nest);
  } catch (const ZYNError::Fatal&) {
  } catch (const std::bad_alloc&) {
  }
  if (!whole) {
    std::vector<ZYNClass::tFileResult> results;
    for (const auto bytes : classes)
      results.push_back(ZYNClass::OptimizeFile(bytes, params, ZYNClass::ReduceMembers, write, facts));
    return results;
  }
  if (report != nullptr)
    for (std::size_t r = 0; r < tReport::kReasons; ++r) {
      report->members[r] += nest.members[r];
      report->bytes[r] += nest.bytes[r];
    }
  std::vector<ZYNClass::tFileResult> results(classes.size());
  for (std::size_t i = 0; i < order.size(); ++i) results[order[i]] = std::move(open[i]->result);
  return results;
}

}  // namespace ZYNNest
