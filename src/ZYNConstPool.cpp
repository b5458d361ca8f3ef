#include "ZYNConstPool.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <tuple>

#include "FileModule.h"
#include "FormatUtils.h"
#include "ZYNClassFile.h"
#include "ZYNError.h"

namespace ZYNConstPool {

using FileModule::GetU1;
using FileModule::GetU2;
using FileModule::GetU4;
using FileModule::PutU1;
using FileModule::PutU2;
using FileModule::PutU4;
using FileModule::tInput;
using FileModule::tOutput;
using namespace ZYNClassFile;
using enum ZYNError::tKind;

namespace {

// A well-formed cascade is at most three steps deep (MethodHandle, member reference, NameAndType, Utf8);
// deeper chains only come from malformed pools and would cost exponential time.
constexpr int kMaxCascadeDepth = 4;

using Factory = tArenaPtr<InfoDesc> (*)(tArena&);

template <class T>
tArenaPtr<InfoDesc> Make(tArena& arena) {
  return New<T>(arena);
}

struct TagKind {
  Factory make = nullptr;
  std::int32_t sinceMajor = 0;  // the first class file version that may hold the tag
};

// One line per tag.
const TagKind kTags[] = {
    /* 0 */ {},
    /* 1 Utf8 */ {Make<utfInfoDesc>, 0},
    /* 2 Unicode */ {Make<unicodeInfoDesc>, 0},
    /* 3 Integer */ {Make<integerInfoDesc>, 0},
    /* 4 Float */ {Make<floatInfoDesc>, 0},
    /* 5 Long */ {Make<longInfoDesc>, 0},
    /* 6 Double */ {Make<doubleInfoDesc>, 0},
    /* 7 Class */ {Make<classInfoDesc>, 0},
    /* 8 String */ {Make<stringInfoDesc>, 0},
    /* 9 Fieldref */ {Make<memberInfoDesc>, 0},
    /* 10 Methodref */ {Make<memberInfoDesc>, 0},
    /* 11 InterfaceMethodref */ {Make<memberInfoDesc>, 0},
    /* 12 NameAndType */ {Make<nameAndTypeInfoDesc>, 0},
    /* 13 */ {},
    /* 14 */ {},
    /* 15 MethodHandle */ {Make<methodHandleInfoDesc>, 51},
    /* 16 MethodType */ {Make<methodTypeInfoDesc>, 51},
    /* 17 Dynamic */ {Make<dynamicInfoDesc>, 55},
    /* 18 InvokeDynamic */ {Make<dynamicInfoDesc>, 51},
    /* 19 Module */ {Make<moduleInfoDesc>, 53},
    /* 20 Package */ {Make<moduleInfoDesc>, 53},
};

// The arena's first block, from the bytes of the class: read, a class takes 4 to 6 times its bytes (JDK 17's
// java.base), so nearly every class fits in one block; and the input, not the counts inside it, sizes it.
std::size_t ArenaBlock(std::size_t classBytes) {
  constexpr std::size_t kMin = 1024, kMax = std::size_t{1} << 20;
  return std::clamp(classBytes * 8, kMin, kMax);
}

[[noreturn]] void NoEntry(const ConstPool& cp, std::int32_t index) {
  if (index < 1) ZYNError::Message(kPoolIndexBelowOne);
  if (index >= cp.length()) ZYNError::Message(kPoolIndexTooLarge);
  ZYNError::Message(kPoolIndexSecondSlot, index);
}

// Errors for an index that names no entry; returns the entry otherwise.
inline InfoDesc* CheckedEntry(const ConstPool& cp, std::int32_t index) {
  InfoDesc* entry = index >= 1 && index < cp.length() ? cp.slots[static_cast<std::size_t>(index)].get() : nullptr;
  if (entry == nullptr) NoEntry(cp, index);
  return entry;
}

void MarkCascade(tMarking& m, std::int32_t index, int depth) {
  const InfoDesc* entry = CheckedEntry(m.Pool(), index);
  tMarking::tSlot& slot = m.slots[static_cast<std::size_t>(index)];
  if (slot.visiting) ZYNError::Message(kPoolSelfReference, index);
  slot.count += m.step;
  if (m.log != nullptr) m.log->push_back(index);
  // Most entries refer to nothing; the tags tell without asking the entry.
  if (entry->tag <= kConstantDouble) return;
  const EntryRefs refs = entry->Refs();
  if (refs.count == 0) return;
  if (depth >= kMaxCascadeDepth)
    ZYNError::Message(kPoolTooDeep, index);
  slot.visiting = true;
  for (int i = 0; i < refs.count; ++i) MarkCascade(m, refs.index[i], depth + 1);
  slot.visiting = false;
}

bool IsLetter(std::uint8_t b) { return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z'); }
bool IsLetterOrDigit(std::uint8_t b) { return IsLetter(b) || (b >= '0' && b <= '9'); }

}  // namespace

void InfoDesc::Write(const tMarking&, tOutput&) const {}

void utfInfoDesc::Read(ConstPool& cp, tInput& in) {
  GetU2(in, length);
  if (length > 0) GetBytes(in, static_cast<std::size_t>(length), cp.arena, bytes);
}
void utfInfoDesc::Write(const tMarking&, tOutput& out) const {
  PutU2(out, length);
  FileModule::PutBytes(out, bytes.first(static_cast<std::size_t>(length)));
}

std::int32_t InfoDesc::size() const {
  const std::int8_t body = kEntryBody[tag];
  return body != 0 ? 1 + body : 3 + static_cast<const utfInfoDesc*>(this)->length;
}

void integerInfoDesc::Read(ConstPool&, tInput& in) { GetU4(in, bytes); }
void integerInfoDesc::Write(const tMarking&, tOutput& out) const { PutU4(out, bytes); }

void longInfoDesc::Read(ConstPool&, tInput& in) {
  GetU4(in, highBytes);
  GetU4(in, lowBytes);
}
void longInfoDesc::Write(const tMarking&, tOutput& out) const {
  PutU4(out, highBytes);
  PutU4(out, lowBytes);
}

void classInfoDesc::Read(ConstPool&, tInput& in) { GetU2(in, nameIndex); }
void classInfoDesc::Write(const tMarking& m, tOutput& out) const { PutU2(out, m.NewIndexOf(nameIndex)); }
void stringInfoDesc::Read(ConstPool&, tInput& in) { GetU2(in, stringIndex); }
void stringInfoDesc::Write(const tMarking& m, tOutput& out) const { PutU2(out, m.NewIndexOf(stringIndex)); }
void methodTypeInfoDesc::Read(ConstPool&, tInput& in) { GetU2(in, descriptorIndex); }
void methodTypeInfoDesc::Write(const tMarking& m, tOutput& out) const { PutU2(out, m.NewIndexOf(descriptorIndex)); }
void moduleInfoDesc::Read(ConstPool&, tInput& in) { GetU2(in, nameIndex); }
void moduleInfoDesc::Write(const tMarking& m, tOutput& out) const { PutU2(out, m.NewIndexOf(nameIndex)); }

void memberInfoDesc::Read(ConstPool&, tInput& in) {
  GetU2(in, classIndex);
  GetU2(in, nameAndTypeIndex);
}
void memberInfoDesc::Write(const tMarking& m, tOutput& out) const {
  PutU2(out, m.NewIndexOf(classIndex));
  PutU2(out, m.NewIndexOf(nameAndTypeIndex));
}

void nameAndTypeInfoDesc::Read(ConstPool&, tInput& in) {
  GetU2(in, nameIndex);
  GetU2(in, descriptorIndex);
}
void nameAndTypeInfoDesc::Write(const tMarking& m, tOutput& out) const {
  PutU2(out, m.NewIndexOf(nameIndex));
  PutU2(out, m.NewIndexOf(descriptorIndex));
}

void methodHandleInfoDesc::Read(ConstPool&, tInput& in) {
  GetU1(in, referenceKind);
  GetU2(in, referenceIndex);
}
void methodHandleInfoDesc::Write(const tMarking& m, tOutput& out) const {
  PutU1(out, referenceKind);
  PutU2(out, m.NewIndexOf(referenceIndex));
}

void dynamicInfoDesc::Read(ConstPool&, tInput& in) {
  GetU2(in, bootstrapMethodAttrIndex);
  GetU2(in, nameAndTypeIndex);
}
void dynamicInfoDesc::Write(const tMarking& m, tOutput& out) const {
  PutU2(out, bootstrapMethodAttrIndex);
  PutU2(out, m.NewIndexOf(nameAndTypeIndex));
}

void GetBytes(tInput& in, std::size_t n, tArena& arena, std::span<std::uint8_t>& bytes) {
  const std::uint8_t* read = FileModule::Take(in, n);
  if (read == nullptr || n == 0) return;
  auto* copy = static_cast<std::uint8_t*>(arena.allocate(n, 1));
  std::memcpy(copy, read, n);
  bytes = {copy, n};
}

ConstPool::ConstPool(std::size_t classBytes) : arena(ArenaBlock(classBytes)), slots(&arena) {}

tMarking::tMarking(ConstPool& cp) : cp_(&cp) {
  auto* block = static_cast<tSlot*>(cp.arena.allocate(sizeof(tSlot) * cp.slots.size(), alignof(tSlot)));
  std::uninitialized_value_construct_n(block, cp.slots.size());
  slots = {block, cp.slots.size()};
  UnMark(*this);
}

std::int32_t tMarking::RefuseIndex(std::int32_t index) const {
  CheckedEntry(Pool(), index);
  ZYNError::Message(kUnmarkedIndex, index);
}

std::unique_ptr<ConstPool> NewConstPool(tInput& in, std::int32_t count, std::int32_t majorVersion) {
  auto cp = std::make_unique<ConstPool>(FileModule::Remaining(in));
  cp->majorVersion = majorVersion;
  if (count <= 0) return cp;
  // Every slot takes at least 3 bytes (a Long or Double 9 for its two), so a count the input cannot fill
  // reserves nothing beyond what it holds.
  cp->slots.reserve(1 + FileModule::ItemsThatFit(in, count - 1, 3));
  cp->slots.emplace_back();
  std::int32_t i = 1;
  while (i < count) {
    std::int16_t tag = 0;
    GetU1(in, tag);
    if (!in.Done) return cp;
    const bool known = tag >= 0 && tag < static_cast<std::int16_t>(std::size(kTags)) && kTags[tag].make != nullptr &&
                       majorVersion >= kTags[tag].sinceMajor;
    if (!known) ZYNError::Message(kInvalidTag);
    tArenaPtr<InfoDesc> entry = kTags[tag].make(cp->arena);
    entry->Read(*cp, in);
    if (!in.Done) return cp;
    entry->tag = tag;
    cp->slots.push_back(std::move(entry));
    if (TakesTwoSlots(tag)) {
      if (i + 1 < count) cp->slots.emplace_back();
      i += 2;
    } else {
      i += 1;
    }
  }
  return cp;
}

std::string GetUtf8(const ConstPool& cp, std::int32_t index, std::size_t capacity) {
  if (index < 1) ZYNError::Message(kUtf8IndexBelowOne);
  if (index >= cp.length()) ZYNError::Message(kUtf8IndexTooLarge);
  const utfInfoDesc* entry = EntryAs<utfInfoDesc>(cp, index);
  if (entry == nullptr) ZYNError::Message(kBadUtf8Index);
  // Modified UTF-8 to 8-bit characters; what has no 8-bit form becomes '?', which no known name holds.
  std::string s;
  const auto& b = entry->bytes;
  const std::int32_t n = entry->length;
  std::int32_t p = 0;
  while (p < n && s.size() + 1 < capacity) {
    std::uint32_t ch = b[p];
    int width = ch < 0xC0 ? 1 : ch < 0xE0 ? 2 : 3;
    if (p + width > n) {
      ch = '?';
      width = n - p;
    } else if (width == 2) {
      ch = (ch & 0x1F) << 6 | (b[p + 1] & 0x3F);
    } else if (width == 3) {
      ch = (ch & 0x0F) << 12 | (b[p + 1] & 0x3F) << 6 | (b[p + 2] & 0x3F);
    }
    if (ch > 0xFF) ch = '?';
    if (ch == 0) break;  // the text ends at a 0 character
    s.push_back(static_cast<char>(ch));
    p += width;
  }
  return s;
}

void UnMark(tMarking& m) {
  m.classMarked = false;
  m.order.clear();
  for (std::size_t i = 0; i < m.slots.size(); ++i) m.slots[i] = {0, static_cast<std::int32_t>(i)};
}

void MarkDeep(tMarking& m, std::int32_t index) {
  if (!m.deferCascade) return MarkCascade(m, index, 0);
  CheckedEntry(m.Pool(), index);
  m.slots[static_cast<std::size_t>(index)].count += 1;
}

namespace {

// How far down the pool an entry of a tag stands: its references name entries of lower levels only, in a
// pool the compilers write. -1 for the tags that are never read.
constexpr std::array<std::int8_t, 21> kLevels = {-1, 0, 0, 0, 0, 0, 0, 1, 1, 2, 2, 2, 1, -1, -1, 3, 1, 2, 2, 1, 1};

int LevelOf(std::int16_t tag) {
  return tag >= 0 && static_cast<std::size_t>(tag) < kLevels.size() ? kLevels[static_cast<std::size_t>(tag)] : -1;
}

}  // namespace

tDeferredMarking::tDeferredMarking(tMarking& m) : m_(m) {
  if (m.step != 1 || m.log != nullptr) return;
  const ConstPool& cp = m.Pool();
  for (std::int32_t i = 1; i < cp.length(); ++i) {
    const InfoDesc* entry = cp.slots[static_cast<std::size_t>(i)].get();
    if (entry == nullptr) continue;
    const int level = LevelOf(entry->tag);
    const tMarking::tSlot& slot = m.slots[static_cast<std::size_t>(i)];
    if (level < 0 || slot.count != 0 || slot.visiting) return;
    if (level == 0) continue;  // no references
    const EntryRefs refs = entry->Refs();
    for (int r = 0; r < refs.count; ++r) {
      const InfoDesc* target = cp.At(refs.index[r]);
      if (target == nullptr || LevelOf(target->tag) < 0 || LevelOf(target->tag) >= level) return;
    }
    byLevel_[static_cast<std::size_t>(level - 1)].push_back(i);
  }
  m.deferCascade = true;
}

void tDeferredMarking::Finish() {
  if (!m_.deferCascade) return;
  m_.deferCascade = false;
  for (auto level = byLevel_.rbegin(); level != byLevel_.rend(); ++level)
    for (std::int32_t index : *level) {
      const std::int32_t count = m_.slots[static_cast<std::size_t>(index)].count;
      if (count == 0) continue;
      const EntryRefs refs = m_.Pool().At(index)->Refs();
      for (int r = 0; r < refs.count; ++r) m_.slots[static_cast<std::size_t>(refs.index[r])].count += count;
    }
}

void MarkAll(tMarking& m) {
  const ConstPool& cp = m.Pool();
  for (std::size_t i = 0; i < cp.slots.size(); ++i) {
    if (!cp.slots[i]) continue;
    if (m.slots[i].count == 0) m.slots[i].count = 1;
    // Kept entries are written with translated references, which must name entries.
    const EntryRefs refs = cp.slots[i]->Refs();
    for (int r = 0; r < refs.count; ++r) CheckedEntry(cp, refs.index[r]);
  }
}

void RenumUnUsed(tMarking& m, std::int32_t& dropped, std::int32_t& droppedBytes) {
  const ConstPool& cp = m.Pool();
  dropped = 0;
  droppedBytes = 0;
  m.order.clear();
  std::int32_t n = 0;
  for (std::int32_t i = 1; i < cp.length(); ++i) {
    const InfoDesc* entry = cp.slots[i].get();
    if (entry == nullptr) continue;
    tMarking::tSlot& slot = m.slots[static_cast<std::size_t>(i)];
    if (slot.count == 0) {
      slot.newIndex = 0;
      ++dropped;
      droppedBytes += entry->size();
    } else {
      slot.newIndex = ++n;
      if (TakesTwoSlots(entry->tag)) ++n;
    }
  }
}

namespace {

// What an entry is sorted by under RenumPacked: its tag, up to three texts, a number.
struct tPackKey {
  std::int32_t index = 0;
  std::int16_t tag = 0;
  std::array<std::string_view, 3> text;
  std::uint64_t number = 0;

  auto Tie() const { return std::tie(tag, text[0], text[1], text[2], number, index); }
  bool operator<(const tPackKey& other) const { return Tie() < other.Tie(); }
};

// The name and descriptor of a NameAndType entry into two texts.
void NameAndTypeTexts(const ConstPool& cp, std::int32_t index, std::string_view* texts) {
  if (const nameAndTypeInfoDesc* nat = NameAndTypeAt(cp, index)) {
    texts[0] = Utf8Text(cp, nat->nameIndex);
    texts[1] = Utf8Text(cp, nat->descriptorIndex);
  }
}

void MemberRefTexts(const ConstPool& cp, std::int32_t index, std::string_view* texts) {
  if (const memberInfoDesc* ref = MemberRefAt(cp, index)) {
    texts[0] = ClassName(cp, ref->classIndex);
    NameAndTypeTexts(cp, ref->nameAndTypeIndex, texts + 1);
  }
}

// The reader made each entry's type from its tag, so the tag tells the type.
tPackKey PackKey(const ConstPool& cp, std::int32_t index) {
  const InfoDesc& entry = *cp.slots[static_cast<std::size_t>(index)];
  tPackKey key{index, entry.tag, {}, 0};
  switch (entry.tag) {
    case kConstantUtf8: case kConstantUnicode: key.text[0] = Utf8Text(cp, index); break;
    case kConstantInteger: case kConstantFloat:
      key.number = static_cast<std::uint32_t>(static_cast<const integerInfoDesc&>(entry).bytes);
      break;
    case kConstantLong: case kConstantDouble: {
      const auto& wide = static_cast<const longInfoDesc&>(entry);
      key.number = std::uint64_t{static_cast<std::uint32_t>(wide.highBytes)} << 32 | static_cast<std::uint32_t>(wide.lowBytes);
      break;
    }
    case kConstantClass: case kConstantString: case kConstantMethodType: case kConstantModule: case kConstantPackage:
      key.text[0] = Utf8Text(cp, entry.Refs().index[0]);
      break;
    case kConstantFieldref: case kConstantMethodref: case kConstantInterfaceMethodref:
      MemberRefTexts(cp, index, key.text.data());
      break;
    case kConstantNameAndType: NameAndTypeTexts(cp, index, key.text.data()); break;
    case kConstantMethodHandle: {
      const auto& handle = static_cast<const methodHandleInfoDesc&>(entry);
      key.number = static_cast<std::uint16_t>(handle.referenceKind);
      MemberRefTexts(cp, handle.referenceIndex, key.text.data());
      break;
    }
    default: {  // Dynamic and InvokeDynamic
      const auto& dynamic = static_cast<const dynamicInfoDesc&>(entry);
      key.number = static_cast<std::uint32_t>(dynamic.bootstrapMethodAttrIndex);
      NameAndTypeTexts(cp, dynamic.nameAndTypeIndex, key.text.data());
    }
  }
  return key;
}

}  // namespace

void RenumPacked(tMarking& m, std::span<const std::int32_t> narrow) {
  const ConstPool& cp = m.Pool();
  // In the pool's order, an entry is preceded only by entries below it, so none moves up: each stays below
  // 256 whatever it is (sorting them as well saved nothing measurable).
  std::vector<bool> first(cp.slots.size(), false);
  for (std::int32_t index : narrow)
    if (m.CountOf(index) > 0) first[static_cast<std::size_t>(index)] = true;
  m.order.clear();
  std::vector<tPackKey> rest;
  for (std::int32_t i = 1; i < cp.length(); ++i) {
    if (m.CountOf(i) <= 0) continue;
    if (first[static_cast<std::size_t>(i)]) m.order.push_back(i);
    else rest.push_back(PackKey(cp, i));
  }
  std::sort(rest.begin(), rest.end());
  for (const tPackKey& key : rest) m.order.push_back(key.index);
  std::int32_t n = 0;
  for (std::int32_t index : m.order) {
    m.slots[static_cast<std::size_t>(index)].newIndex = ++n;
    if (TakesTwoSlots(cp.slots[static_cast<std::size_t>(index)]->tag)) ++n;
  }
}

std::int32_t NewPoolCount(const tMarking& m) {
  std::int32_t count = 1;
  for (std::int32_t i = 1; i < m.Pool().length(); ++i)
    if (const InfoDesc* entry = m.Pool().slots[i].get(); entry != nullptr && m.CountOf(i) > 0)
      count += TakesTwoSlots(entry->tag) ? 2 : 1;
  return count;
}

void WriteConstPool(const tMarking& m, tOutput& out) {
  PutU2(out, NewPoolCount(m));
  const auto put = [&m, &out](const InfoDesc& entry) {
    PutU1(out, entry.tag);
    entry.Write(m, out);
  };
  if (!m.order.empty()) {
    for (std::int32_t i : m.order) put(*m.Pool().slots[static_cast<std::size_t>(i)]);
    return;
  }
  for (std::int32_t i = 1; i < m.Pool().length(); ++i)
    if (const InfoDesc* entry = m.Pool().slots[i].get(); entry != nullptr && m.CountOf(i) > 0) put(*entry);
}

std::string_view ClassName(const ConstPool& cp, std::int32_t index) {
  const auto* entry = EntryAs<classInfoDesc>(cp, index);
  return entry != nullptr ? Utf8Text(cp, entry->nameIndex) : std::string_view();
}

namespace {

// Whether the Utf8 entry's text is a Java-letter identifier.
bool IsIdentifier(const utfInfoDesc& entry) {
  if (entry.length <= 0 || !IsLetter(entry.bytes[0])) return false;
  for (std::int32_t j = 1; j < entry.length; ++j)
    if (!IsLetterOrDigit(entry.bytes[j])) return false;
  return true;
}

}  // namespace

void GetIdents(const tMarking& m, std::vector<std::int32_t>& idents, std::int32_t thisClass, std::int32_t superClass,
               const tIdentsWanted& wanted) {
  const ConstPool& cp = m.Pool();
  const auto* thisEntry = EntryAs<classInfoDesc>(cp, thisClass);
  if (thisEntry == nullptr) ZYNError::Message(kBadThisClass);
  const std::int32_t thisName = thisEntry->nameIndex;
  std::int32_t superName = thisName;
  if (superClass != 0) {
    const auto* superEntry = EntryAs<classInfoDesc>(cp, superClass);
    if (superEntry == nullptr) ZYNError::Message(kBadSuperClass);
    superName = superEntry->nameIndex;
  }
  // In the pool's order the list ends as soon as it is full; by text every identifier is sorted first.
  std::vector<std::int32_t> found;
  const std::size_t n = wanted.n;
  std::size_t counted = 0;
  for (std::int32_t i = 0; i < cp.length() && (wanted.byText || counted + 1 < n); ++i) {
    const utfInfoDesc* entry = EntryAs<utfInfoDesc>(cp, i);
    if (entry == nullptr || m.CountOf(i) <= 0 || i == thisName || i == superName || !IsIdentifier(*entry)) continue;
    found.push_back(i);
    if (wanted.uncounted == nullptr || !wanted.uncounted->contains(i)) ++counted;
  }
  if (wanted.byText) std::ranges::stable_sort(found, {}, [&cp](std::int32_t i) { return Utf8Text(cp, i); });
  counted = 0;
  std::size_t k = 0;
  for (; k < found.size() && counted + 1 < n; ++k)
    if (wanted.uncounted == nullptr || !wanted.uncounted->contains(found[k])) ++counted;
  found.resize(k);
  // The names chosen are handed out in the pool's order either way.
  if (wanted.byText) std::ranges::sort(found);
  idents.assign(std::max(n, k + 1), 0);
  std::ranges::copy(found, idents.begin());
}

void ReplaceMemRefName(ConstPool& cp, std::int32_t memberRef, std::int32_t newName) {
  const auto* ref = EntryAs<memberInfoDesc>(cp, memberRef);
  auto* nat = ref != nullptr ? EntryAs<nameAndTypeInfoDesc>(cp, ref->nameAndTypeIndex) : nullptr;
  if (nat == nullptr) ZYNError::Message(kBadNameAndType);
  nat->nameIndex = newName;
}

void ReplaceUtf(ConstPool& cp, std::int32_t index, std::string_view text, std::int32_t& saved) {
  auto* entry = EntryAs<utfInfoDesc>(cp, index);
  const auto length = static_cast<std::int32_t>(text.size());
  if (entry == nullptr || entry->length < length || length < 1) ZYNError::Message(kBadMemberName);
  saved = entry->length - length;
  entry->length = length;
  std::copy(text.begin(), text.end(), entry->bytes.begin());
}

}  // namespace ZYNConstPool
