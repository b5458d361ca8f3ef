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

// The first class file version that may hold each tag; -1 for no such tag.
constexpr std::int8_t kSinceMajor[] = {-1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, -1, -1, 51, 51, 55, 51, 53, 53};
static_assert(std::size(kSinceMajor) == std::size(kEntryBody));

// Of each tag, the offsets in the body of the u2 fields that are pool indexes, as bits (bit k: offset k), in
// marking order: a member reference's class before its NameAndType, a NameAndType's name before its
// descriptor. A Dynamic entry's first u2 names a BootstrapMethods entry, a MethodHandle's first byte a kind.
constexpr std::uint8_t kIndexBits[] = {0, 0, 0, 0, 0, 0, 0, 0b1, 0b1, 0b101, 0b101, 0b101, 0b101, 0, 0, 0b10, 0b1, 0b100, 0b100, 0b1, 0b1};
static_assert(std::size(kIndexBits) == std::size(kEntryBody));

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

// Errors for an index that names no entry; returns its tag otherwise.
inline std::uint8_t CheckedTag(const ConstPool& cp, std::int32_t index) {
  const std::uint8_t tag = cp.Tag(index);
  if (tag == 0) NoEntry(cp, index);
  return tag;
}

void MarkCascade(tMarking& m, std::int32_t index, int depth) {
  const std::uint8_t tag = CheckedTag(m.Pool(), index);
  tMarking::tSlot& slot = m.slots[static_cast<std::size_t>(index)];
  if (slot.visiting) ZYNError::Message(kPoolSelfReference, index);
  slot.count += m.step;
  if (m.log != nullptr) m.log->push_back(index);
  if (kIndexBits[tag] == 0) return;  // most entries refer to nothing
  if (depth >= kMaxCascadeDepth) ZYNError::Message(kPoolTooDeep, index);
  const EntryRefs refs = RefsOf(m.Pool(), index);
  slot.visiting = true;
  for (int i = 0; i < refs.count; ++i) MarkCascade(m, refs.index[i], depth + 1);
  slot.visiting = false;
}

bool IsLetter(std::uint8_t b) { return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z'); }
bool IsLetterOrDigit(std::uint8_t b) { return IsLetter(b) || (b >= '0' && b <= '9'); }

}  // namespace

EntryRefs RefsOf(const tPoolView& view, std::int32_t index) {
  EntryRefs refs;
  for (std::size_t offset = 0, bits = kIndexBits[view.Tag(index)]; bits != 0; ++offset, bits >>= 1)
    if ((bits & 1) != 0) refs.index[refs.count++] = view.U2(index, offset);
  return refs;
}

std::int32_t SizeOf(const tPoolView& view, std::int32_t index) {
  const std::int8_t body = kEntryBody[view.Tag(index)];
  return body != 0 ? 1 + body : 3 + view.U2(index, 0);
}

void ConstPool::SetU2(std::int32_t index, std::size_t offset, std::int32_t value) {
  // The bytes are the pool's own copy in its arena, made writable here only.
  auto* p = const_cast<std::uint8_t*>(Body(index)) + offset;
  p[0] = static_cast<std::uint8_t>(value >> 8);
  p[1] = static_cast<std::uint8_t>(value);
}

void ConstPool::SetText(std::int32_t index, std::string_view text) {
  SetU2(index, 0, static_cast<std::int32_t>(text.size()));
  std::copy(text.begin(), text.end(), const_cast<std::uint8_t*>(Body(index)) + 2);
}

void GetBytes(tInput& in, std::size_t n, tArena& arena, std::span<std::uint8_t>& bytes) {
  const std::uint8_t* read = FileModule::Take(in, n);
  if (read == nullptr || n == 0) return;
  auto* copy = static_cast<std::uint8_t*>(arena.allocate(n, 1));
  std::memcpy(copy, read, n);
  bytes = {copy, n};
}

ConstPool::ConstPool(std::size_t classBytes) : arena(ArenaBlock(classBytes)) {}

tMarking::tMarking(ConstPool& cp) : cp_(&cp) {
  auto* block = static_cast<tSlot*>(cp.arena.allocate(sizeof(tSlot) * cp.at.size(), alignof(tSlot)));
  std::uninitialized_value_construct_n(block, cp.at.size());
  slots = {block, cp.at.size()};
  UnMark(*this);
}

std::int32_t tMarking::RefuseIndex(std::int32_t index) const {
  CheckedTag(Pool(), index);
  ZYNError::Message(kUnmarkedIndex, index);
}

bool ReadEntries(tInput& in, std::int32_t count, std::int32_t majorVersion, tPoolView& view) {
  const auto start = static_cast<std::size_t>(in.PC);
  view.at.clear();
  view.bytes = {};
  if (count <= 0) return true;  // a pool of no slots
  // Every slot takes at least 3 bytes (a Long or Double 9 for its two), so a count the input cannot fill
  // reserves nothing beyond what it holds.
  view.at.reserve(1 + FileModule::ItemsThatFit(in, count - 1, 3));
  view.at.push_back(0);
  bool known = true;
  for (std::int32_t i = 1; i < count && in.Done; ++i) {
    std::int16_t tag = 0;
    GetU1(in, tag);
    if (!in.Done) break;
    known = tag < static_cast<std::int16_t>(std::size(kSinceMajor)) && kSinceMajor[tag] >= 0 &&
            majorVersion >= kSinceMajor[tag];
    if (!known) break;
    const auto body = static_cast<std::uint32_t>(in.PC - start);
    std::int32_t length = kEntryBody[tag];
    if (length == 0) GetU2(in, length);
    if (FileModule::Take(in, static_cast<std::size_t>(length)) == nullptr) break;
    view.at.push_back(body);
    if (TakesTwoSlots(tag) && ++i < count) view.at.push_back(0);
  }
  view.bytes = in.data.subspan(start, static_cast<std::size_t>(in.PC) - start);
  return known;
}

std::unique_ptr<ConstPool> NewConstPool(tInput& in, std::int32_t count, std::int32_t majorVersion) {
  auto cp = std::make_unique<ConstPool>(FileModule::Remaining(in));
  cp->majorVersion = majorVersion;
  if (!ReadEntries(in, count, majorVersion, *cp)) ZYNError::Message(kInvalidTag);
  // The pool keeps its own copy, which the renaming edits and which outlives the input.
  auto* copy = static_cast<std::uint8_t*>(cp->arena.allocate(std::max<std::size_t>(cp->bytes.size(), 1), 1));
  std::ranges::copy(cp->bytes, copy);
  cp->bytes = {copy, cp->bytes.size()};
  return cp;
}

std::string GetUtf8(const ConstPool& cp, std::int32_t index, std::size_t capacity) {
  if (index < 1) ZYNError::Message(kUtf8IndexBelowOne);
  if (index >= cp.length()) ZYNError::Message(kUtf8IndexTooLarge);
  if (!IsUtf8(cp, index)) ZYNError::Message(kBadUtf8Index);
  // Modified UTF-8 to 8-bit characters; what has no 8-bit form becomes '?', which no known name holds.
  std::string s;
  const std::string_view text = cp.Text(index);
  const auto* b = reinterpret_cast<const std::uint8_t*>(text.data());
  const auto n = static_cast<std::int32_t>(text.size());
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
  CheckedTag(m.Pool(), index);
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
    const std::uint8_t tag = cp.Tag(i);
    if (tag == 0) continue;
    const int level = LevelOf(tag);
    const tMarking::tSlot& slot = m.slots[static_cast<std::size_t>(i)];
    if (level < 0 || slot.count != 0 || slot.visiting) return;
    if (level == 0) continue;  // no references
    const EntryRefs refs = RefsOf(cp, i);
    for (int r = 0; r < refs.count; ++r) {
      const int below = LevelOf(cp.Tag(refs.index[r]));  // -1 for no entry
      if (below < 0 || below >= level) return;
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
      const EntryRefs refs = RefsOf(m_.Pool(), index);
      for (int r = 0; r < refs.count; ++r) m_.slots[static_cast<std::size_t>(refs.index[r])].count += count;
    }
}

void MarkAll(tMarking& m) {
  const ConstPool& cp = m.Pool();
  for (std::int32_t i = 1; i < cp.length(); ++i) {
    if (cp.Tag(i) == 0) continue;
    if (m.slots[static_cast<std::size_t>(i)].count == 0) m.slots[static_cast<std::size_t>(i)].count = 1;
    // Kept entries are written with translated references, which must name entries.
    const EntryRefs refs = RefsOf(cp, i);
    for (int r = 0; r < refs.count; ++r) CheckedTag(cp, refs.index[r]);
  }
}

void RenumUnUsed(tMarking& m, std::int32_t& dropped, std::int32_t& droppedBytes) {
  const ConstPool& cp = m.Pool();
  dropped = 0;
  droppedBytes = 0;
  m.order.clear();
  std::int32_t n = 0;
  for (std::int32_t i = 1; i < cp.length(); ++i) {
    const std::uint8_t tag = cp.Tag(i);
    if (tag == 0) continue;
    tMarking::tSlot& slot = m.slots[static_cast<std::size_t>(i)];
    if (slot.count == 0) {
      slot.newIndex = 0;
      ++dropped;
      droppedBytes += SizeOf(cp, i);
    } else {
      slot.newIndex = ++n;
      if (TakesTwoSlots(tag)) ++n;
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
  if (const auto nat = NameAndTypeAt(cp, index)) {
    texts[0] = Utf8Text(cp, nat->nameIndex);
    texts[1] = Utf8Text(cp, nat->descriptorIndex);
  }
}

void MemberRefTexts(const ConstPool& cp, std::int32_t index, std::string_view* texts) {
  if (const auto ref = MemberRefAt(cp, index)) {
    texts[0] = ClassName(cp, ref->classIndex);
    NameAndTypeTexts(cp, ref->nameAndTypeIndex, texts + 1);
  }
}

tPackKey PackKey(const ConstPool& cp, std::int32_t index) {
  const std::uint8_t tag = cp.Tag(index);
  tPackKey key{index, tag, {}, 0};
  switch (tag) {
    case kConstantUtf8: case kConstantUnicode: key.text[0] = Utf8Text(cp, index); break;
    case kConstantInteger: case kConstantFloat: key.number = static_cast<std::uint32_t>(cp.U4(index, 0)); break;
    case kConstantLong: case kConstantDouble:
      key.number = std::uint64_t{static_cast<std::uint32_t>(cp.U4(index, 0))} << 32 | static_cast<std::uint32_t>(cp.U4(index, 4));
      break;
    case kConstantClass: case kConstantString: case kConstantMethodType: case kConstantModule: case kConstantPackage:
      key.text[0] = Utf8Text(cp, cp.U2(index, 0));
      break;
    case kConstantFieldref: case kConstantMethodref: case kConstantInterfaceMethodref:
      MemberRefTexts(cp, index, key.text.data());
      break;
    case kConstantNameAndType: NameAndTypeTexts(cp, index, key.text.data()); break;
    case kConstantMethodHandle:
      key.number = cp.Body(index)[0];  // the kind
      MemberRefTexts(cp, cp.U2(index, 1), key.text.data());
      break;
    default:  // Dynamic and InvokeDynamic: the bootstrap index, then the NameAndType
      key.number = static_cast<std::uint32_t>(cp.U2(index, 0));
      NameAndTypeTexts(cp, cp.U2(index, 2), key.text.data());
  }
  return key;
}

}  // namespace

void RenumPacked(tMarking& m, std::span<const std::int32_t> narrow) {
  const ConstPool& cp = m.Pool();
  // In the pool's order, an entry is preceded only by entries below it, so none moves up: each stays below
  // 256 whatever it is (sorting them as well saved nothing measurable).
  std::vector<bool> first(cp.at.size(), false);
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
    if (TakesTwoSlots(cp.Tag(index))) ++n;
  }
}

std::int32_t NewPoolCount(const tMarking& m) {
  std::int32_t count = 1;
  for (std::int32_t i = 1; i < m.Pool().length(); ++i)
    if (m.CountOf(i) > 0) count += TakesTwoSlots(m.Pool().Tag(i)) ? 2 : 1;
  return count;
}

namespace {

// Writes the entry at index as it was read, with the pool indexes in its body translated.
void WriteEntry(const tMarking& m, std::int32_t index, tOutput& out) {
  const ConstPool& cp = m.Pool();
  const std::uint8_t tag = cp.Tag(index);
  const std::uint8_t* body = cp.Body(index);
  PutU1(out, tag);
  std::size_t copied = 0;
  for (std::size_t offset = 0, bits = kIndexBits[tag]; bits != 0; ++offset, bits >>= 1) {
    if ((bits & 1) == 0) continue;
    FileModule::PutBytes(out, {body + copied, offset - copied});
    PutU2(out, m.NewIndexOf(cp.U2(index, offset)));
    copied = offset + 2;
  }
  FileModule::PutBytes(out, {body + copied, static_cast<std::size_t>(SizeOf(cp, index) - 1) - copied});
}

}  // namespace

void WriteConstPool(const tMarking& m, tOutput& out) {
  PutU2(out, NewPoolCount(m));
  if (!m.order.empty()) {
    for (std::int32_t i : m.order) WriteEntry(m, i, out);
    return;
  }
  for (std::int32_t i = 1; i < m.Pool().length(); ++i)
    if (m.CountOf(i) > 0) WriteEntry(m, i, out);
}

std::string_view ClassName(const tPoolView& cp, std::int32_t index) {
  const auto entry = ClassAt(cp, index);
  return entry ? Utf8Text(cp, entry->nameIndex) : std::string_view();
}

namespace {

// Whether the text is a Java-letter identifier.
bool IsIdentifier(std::string_view text) {
  if (text.empty() || !IsLetter(static_cast<std::uint8_t>(text[0]))) return false;
  return std::all_of(text.begin() + 1, text.end(), [](char c) { return IsLetterOrDigit(static_cast<std::uint8_t>(c)); });
}

}  // namespace

void GetIdents(const tMarking& m, std::vector<std::int32_t>& idents, std::int32_t thisClass, std::int32_t superClass,
               const tIdentsWanted& wanted) {
  const ConstPool& cp = m.Pool();
  const auto thisEntry = ClassAt(cp, thisClass);
  if (!thisEntry) ZYNError::Message(kBadThisClass);
  const std::int32_t thisName = thisEntry->nameIndex;
  std::int32_t superName = thisName;
  if (superClass != 0) {
    const auto superEntry = ClassAt(cp, superClass);
    if (!superEntry) ZYNError::Message(kBadSuperClass);
    superName = superEntry->nameIndex;
  }
  // In the pool's order the list ends as soon as it is full; by text every identifier is sorted first.
  const auto counts = [&wanted](std::int32_t i) { return wanted.uncounted == nullptr || !wanted.uncounted->contains(i); };
  std::vector<std::int32_t> found;
  const std::size_t n = wanted.n;
  std::size_t counted = 0;
  for (std::int32_t i = 0; i < cp.length() && (wanted.byText || counted + 1 < n); ++i) {
    if (!IsUtf8(cp, i) || m.CountOf(i) <= 0 || i == thisName || i == superName || !IsIdentifier(cp.Text(i))) continue;
    found.push_back(i);
    counted += counts(i) ? 1 : 0;
  }
  if (wanted.byText) std::ranges::stable_sort(found, {}, [&cp](std::int32_t i) { return Utf8Text(cp, i); });
  counted = 0;
  std::size_t k = 0;
  for (; k < found.size() && counted + 1 < n; ++k) counted += counts(found[k]) ? 1 : 0;
  found.resize(k);
  // The names chosen are handed out in the pool's order either way.
  if (wanted.byText) std::ranges::sort(found);
  idents.assign(std::max(n, k + 1), 0);
  std::ranges::copy(found, idents.begin());
}

void ReplaceMemRefName(ConstPool& cp, std::int32_t memberRef, std::int32_t newName) {
  const auto ref = MemberRefAt(cp, memberRef);
  if (!ref || !NameAndTypeAt(cp, ref->nameAndTypeIndex)) ZYNError::Message(kBadNameAndType);
  cp.SetU2(ref->nameAndTypeIndex, 0, newName);
}

void ReplaceUtf(ConstPool& cp, std::int32_t index, std::string_view text, std::int32_t& saved) {
  const auto length = static_cast<std::int32_t>(text.size());
  if (!IsUtf8(cp, index) || cp.U2(index, 0) < length || length < 1) ZYNError::Message(kBadMemberName);
  saved = cp.U2(index, 0) - length;
  cp.SetText(index, text);
}

}  // namespace ZYNConstPool
