// The constant pool: its entries as read (offsets into its bytes, read through one set of typed accessors),
// and apart from them the marking (reference counts, renumbering), the writing, and the queries and edits of
// the member pass. The names pass reads its pools with the same reader, over the input's bytes.
//
// Everything outside the pool keeps indexes as read; a writer marks every index it will write in the final
// marking and writes the index the marking gives it (NewIndexOf).
// Uses: FileModule, FormatUtils, ZYNClassFile, ZYNError.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <memory_resource>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "FileModule.h"
#include "ZYNClassFile.h"

namespace ZYNConstPool {

class ConstPool;
class tMarking;

// Everything read from one class file lives in the arena of its pool: the entries and their texts, the member
// and attribute records, the code. Reading takes a few blocks per class instead of a heap object per record,
// and the blocks go all at once with the pool, which therefore outlives every record. Final, so that what the
// reader takes from it directly (records, bytes) costs an inline bump of a pointer.
class tArena final : public std::pmr::monotonic_buffer_resource {
public:
  using monotonic_buffer_resource::monotonic_buffer_resource;
};
// What records with vectors declare as their allocator_type, and take their vectors' storage from.
using tArenaAlloc = std::pmr::polymorphic_allocator<>;

// Ends a record made in the arena: its destructor runs, its memory stays until the arena goes.
struct tArenaDelete {
  template <class T>
  void operator()(T* record) const {
    std::destroy_at(record);
  }
};
template <class T>
using tArenaPtr = std::unique_ptr<T, tArenaDelete>;

// Makes a record in the arena; one that declares an allocator_type gets the arena for its vectors too.
template <class T>
tArenaPtr<T> New(tArena& arena) {
  auto* record = static_cast<T*>(arena.allocate(sizeof(T), alignof(T)));
  return tArenaPtr<T>(std::uninitialized_construct_using_allocator(record, tArenaAlloc(&arena)));
}

// Reads n bytes into the arena; when fewer remain nothing is read and Done becomes FALSE.
void GetBytes(FileModule::tInput& in, std::size_t n, tArena& arena, std::span<std::uint8_t>& bytes);

// Pool indexes that an entry refers to, in marking order.
struct EntryRefs {
  std::int32_t index[2] = {0, 0};
  int count = 0;
};

// A pool as read: of each slot, where its entry's body (the bytes after the tag) stands in the pool's bytes.
// An entry's fields are read where they stand, by one set of accessors for every kind, as the fastest class
// readers keep offsets; nothing is decoded until asked. The names pass reads a pool into a view of the
// input's own bytes; the core's pool keeps a copy it may edit.
struct tPoolView {
  std::span<const std::uint8_t> bytes;  // from the first entry's tag on
  std::vector<std::uint32_t> at;        // 0 for slot 0 and the slot after a Long or Double

  std::int32_t length() const { return static_cast<std::int32_t>(at.size()); }
  // The tag of the entry at index, 0 for an index outside the pool or an empty slot. Inline, as the
  // accessors below: the passes ask for entries millions of times a run.
  std::uint8_t Tag(std::int32_t index) const {
    return index >= 1 && index < length() && at[static_cast<std::size_t>(index)] != 0
               ? bytes[at[static_cast<std::size_t>(index)] - 1]
               : 0;
  }
  // The u2 or u4 `offset` bytes into the body of the entry at index, which the caller knows is there.
  std::int32_t U2(std::int32_t index, std::size_t offset) const {
    return static_cast<std::int32_t>(FileModule::BigEndian(Body(index) + offset, 2));
  }
  std::int32_t U4(std::int32_t index, std::size_t offset) const {
    return static_cast<std::int32_t>(FileModule::BigEndian(Body(index) + offset, 4));
  }
  // The bytes of a Utf8 or Unicode entry at index, or an empty text for any other index.
  std::string_view Text(std::int32_t index) const {
    const std::uint8_t tag = Tag(index);
    if (tag != ZYNClassFile::kConstantUtf8 && tag != ZYNClassFile::kConstantUnicode) return {};
    return {reinterpret_cast<const char*>(Body(index)) + 2, static_cast<std::size_t>(U2(index, 0))};
  }
  const std::uint8_t* Body(std::int32_t index) const { return bytes.data() + at[static_cast<std::size_t>(index)]; }
};

// Reads count - 1 slots of entries into a view of the input's bytes; stops at the end of the input (the
// caller tests Done). False for a tag that the major version does not know.
bool ReadEntries(FileModule::tInput& in, std::int32_t count, std::int32_t majorVersion, tPoolView& view);
// The pool indexes the entry at index names (none for an index that names no entry).
EntryRefs RefsOf(const tPoolView& view, std::int32_t index);
// Size in a class file, tag byte included, of the entry at index.
std::int32_t SizeOf(const tPoolView& view, std::int32_t index);

class ConstPool : public tPoolView {
public:
  // classBytes (the bytes of the class from its pool on) size the arena's first block.
  explicit ConstPool(std::size_t classBytes);
  tArena arena;  // holds the pool's bytes, and every record read after them
  std::int32_t majorVersion = 0;

  // Edits of the renaming, in the pool's own copy of its bytes.
  void SetU2(std::int32_t index, std::size_t offset, std::int32_t value);
  void SetText(std::int32_t index, std::string_view text);
};

// The marking of one pool, kept apart from what was read: each entry's reference count and its index in the
// written pool, and the state of a marking under way. The passes count into it, the writers translate through
// it; the pool itself changes only where the renaming edits a name.
class tMarking {
public:
  tMarking() = default;
  // Every count 0, every entry at its own index; the slots live in the pool's arena.
  explicit tMarking(ConstPool& cp);
  const ConstPool& Pool() const { return *cp_; }

  struct tSlot {
    std::int32_t count = 0;     // references counted
    std::int32_t newIndex = 0;  // index in the written pool
    bool visiting = false;      // inside the marking cascade of this entry (guards against cycles)
  };
  std::span<tSlot> slots;
  // What Mark adds to each count it reaches; the member pass takes a removed member's references back
  // with -1. When log is set, every entry reached is also logged there.
  std::int32_t step = 1;
  std::vector<std::int32_t>* log = nullptr;
  // Set by whoever leaves the counts exactly as UnMark and a marking of the whole class would; UnMark
  // clears it. Lets the final marking be skipped.
  bool classMarked = false;
  // Set while a tDeferredMarking may count references one entry at a time.
  bool deferCascade = false;
  // The indexes read, in the order they are written, when RenumPacked gave them another order than the
  // pool's; empty for the pool's own order.
  std::vector<std::int32_t> order;

  // The count of the entry at index, 0 for no entry.
  std::int32_t CountOf(std::int32_t index) const {
    return index >= 1 && static_cast<std::size_t>(index) < slots.size() ? slots[static_cast<std::size_t>(index)].count
                                                                         : 0;
  }
  // The index to write for an index read (errors for an index that names no entry). Inline: every index
  // written asks it.
  std::int32_t NewIndexOf(std::int32_t index) const {
    return CountOf(index) > 0 ? slots[static_cast<std::size_t>(index)].newIndex : RefuseIndex(index);
  }

private:
  const ConstPool* cp_ = nullptr;
  // The error for an index NewIndexOf cannot translate.
  [[noreturn]] std::int32_t RefuseIndex(std::int32_t index) const;
};

// While it lives, marking takes counts back instead of adding them (a removed member's references), and logs
// every entry whose count fell.
class tTakeBack {
public:
  tTakeBack(tMarking& m, std::vector<std::int32_t>& log) : m_(m) {
    log.clear();
    m.step = -1;
    m.log = &log;
  }
  ~tTakeBack() {
    m_.step = 1;
    m_.log = nullptr;
  }
  tTakeBack(const tTakeBack&) = delete;
  tTakeBack& operator=(const tTakeBack&) = delete;

private:
  tMarking& m_;
};

// Reads count - 1 slots of entries; tags are accepted by the class file's major version. Stops at the end of
// the input (the caller tests Done). A count of 0 or less gives a pool of no slots.
std::unique_ptr<ConstPool> NewConstPool(FileModule::tInput& in, std::int32_t count, std::int32_t majorVersion);

// The text of the Utf8 entry at index, decoded to 8-bit characters and cut to capacity - 1 characters.
std::string GetUtf8(const ConstPool& cp, std::int32_t index, std::size_t capacity = 80);

void UnMark(tMarking& m);
// Counts one reference to the entry at index and to everything it refers to.
void MarkDeep(tMarking& m, std::int32_t index);
// The same; inline for what a deferred marking counts, an entry at a time, over a million times a run.
inline void Mark(tMarking& m, std::int32_t index) {
  if (m.deferCascade && m.Pool().Tag(index) != 0) ++m.slots[static_cast<std::size_t>(index)].count;
  else MarkDeep(m, index);
}
// A whole marking made cheaper: while it lives, Mark counts only the entry it names, and Finish carries the
// counts down the pool one level at a time (member references and the like before Class and NameAndType
// entries, those before Utf8), which gives each entry the count the cascade would have. It defers only where
// the result cannot differ: every count is 0 and every reference in the pool names an entry of a lower
// level, so that no cascade could fail; otherwise Mark cascades as always.
class tDeferredMarking {
public:
  explicit tDeferredMarking(tMarking& m);
  void Finish();
  ~tDeferredMarking() { m_.deferCascade = false; }
  tDeferredMarking(const tDeferredMarking&) = delete;
  tDeferredMarking& operator=(const tDeferredMarking&) = delete;

private:
  tMarking& m_;
  std::array<std::vector<std::int32_t>, 3> byLevel_;  // the indexes of the entries with references, by level
};

// Keeps every entry (mark at least 1) and checks the references inside them.
void MarkAll(tMarking& m);
void RenumUnUsed(tMarking& m, std::int32_t& dropped, std::int32_t& droppedBytes);
// After RenumUnUsed: gives the entries in use an order that compresses well. First the entries a one-byte
// index names (`narrow`, ascending), in the pool's order, so that none moves up and each stays below 256 by
// construction; then the rest by tag and, within a tag, by text (Utf8 by its bytes, Class and String by the
// text they name, member references by class, name and descriptor), ties in the pool's order. Long and
// Double keep their two slots.
void RenumPacked(tMarking& m, std::span<const std::int32_t> narrow);
std::int32_t NewPoolCount(const tMarking& m);
void WriteConstPool(const tMarking& m, FileModule::tOutput& out);

// Queries and edits of the member pass.
// What GetIdents lists of the Utf8 identifiers in use: at most n - 1 counted indexes, then a 0; the entries of
// `uncounted` are listed without counting. byText chooses them in the order of their texts (ties by index),
// which RenumPacked writes, instead of the pool's, and lists those chosen in the pool's order: a run over a
// packed class then chooses the names the run that wrote it chose.
struct tIdentsWanted {
  std::size_t n = 0;
  const std::unordered_set<std::int32_t>* uncounted = nullptr;
  bool byText = false;
};
void GetIdents(const tMarking& m, std::vector<std::int32_t>& idents, std::int32_t thisClass, std::int32_t superClass,
               const tIdentsWanted& wanted);
void ReplaceMemRefName(ConstPool& cp, std::int32_t memberRef, std::int32_t newName);
// Shortens the Utf8 entry in place to the text (no longer than it was); `saved` the bytes it lost.
void ReplaceUtf(ConstPool& cp, std::int32_t index, std::string_view text, std::int32_t& saved);

// The typed views of the kinds the passes ask for: their fields as they stand in the pool, or nothing when
// the entry at index is of another kind.
struct tClassEntry {
  std::int32_t nameIndex = 0;
};
struct tNameAndType {
  std::int32_t nameIndex = 0, descriptorIndex = 0;
};
// A Fieldref, Methodref or InterfaceMethodref.
struct tMemberRef {
  std::uint8_t tag = 0;
  std::int32_t classIndex = 0, nameAndTypeIndex = 0;
};
inline std::optional<tClassEntry> ClassAt(const tPoolView& cp, std::int32_t index) {
  if (cp.Tag(index) != ZYNClassFile::kConstantClass) return std::nullopt;
  return tClassEntry{cp.U2(index, 0)};
}
inline std::optional<tNameAndType> NameAndTypeAt(const tPoolView& cp, std::int32_t index) {
  if (cp.Tag(index) != ZYNClassFile::kConstantNameAndType) return std::nullopt;
  return tNameAndType{cp.U2(index, 0), cp.U2(index, 2)};
}
inline std::optional<tMemberRef> MemberRefAt(const tPoolView& cp, std::int32_t index) {
  const std::uint8_t tag = cp.Tag(index);
  if (tag < ZYNClassFile::kConstantFieldref || tag > ZYNClassFile::kConstantInterfaceMethodref) return std::nullopt;
  return tMemberRef{tag, cp.U2(index, 0), cp.U2(index, 2)};
}
// The text index of the String entry at index, or 0.
inline std::int32_t StringAt(const tPoolView& cp, std::int32_t index) {
  return cp.Tag(index) == ZYNClassFile::kConstantString ? cp.U2(index, 0) : 0;
}
inline bool IsUtf8(const tPoolView& cp, std::int32_t index) { return cp.Tag(index) == ZYNClassFile::kConstantUtf8; }

// The bytes of the Utf8 entry at index as they stand, or an empty text when there is no Utf8 entry there.
inline std::string_view Utf8Text(const tPoolView& cp, std::int32_t index) {
  return IsUtf8(cp, index) ? cp.Text(index) : std::string_view();
}
// The count of the entry at index, 0 for no entry.
inline std::int32_t MarkOf(const tMarking& m, std::int32_t index) { return m.CountOf(index); }
// The name a Class entry at index names, or an empty text when there is no Class entry there.
std::string_view ClassName(const tPoolView& cp, std::int32_t index);

}  // namespace ZYNConstPool
