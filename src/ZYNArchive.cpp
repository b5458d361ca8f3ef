#include "ZYNArchive.h"

#include <algorithm>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <unordered_map>
#include <vector>

#include "FileModule.h"
#include "FileModuleList.h"
#include "Platform.h"
#include "ZYNBatch.h"
#include "ZYNClass.h"
#include "ZYNData.h"
#include "ZYNError.h"
#include "ZYNNest.h"
#include "ZYNZip.h"

namespace ZYNArchive {

using enum ZYNError::tKind;

using ZYNZip::tBytes;
using ZYNZip::tEntry;
using ZYNZip::tReplacement;

// A class entry's bytes that the names pass inflated, in the run's held input until the core has read them;
// and the entry as it was then, so that the archive's turn takes them only for an entry that still has the
// same values and data, by its CRC (another listed file's writing may have replaced the archive since).
struct tKeptClass {
  tKeptClass(ZYNBatch::tHeld& held, const tEntry& e)
      : held(held), method(e.method), crc(e.crc), size(e.size), compressedSize(e.compressedSize) {}
  ~tKeptClass() { held.Give(taken); }
  tKeptClass(const tKeptClass&) = delete;
  tKeptClass& operator=(const tKeptClass&) = delete;

  bool Same(const tEntry& e, tBytes archive) const {
    return e.method == method && e.crc == crc && e.size == size && e.compressedSize == compressedSize &&
           ZYNZip::Crc32(e.Data(archive)) == dataCrc;
  }

  ZYNBatch::tHeld& held;
  std::uint64_t taken = 0;  // of `held`
  std::vector<std::uint8_t> bytes;
  const std::uint16_t method;
  const std::uint32_t crc;
  const std::uint64_t size, compressedSize;
  std::uint32_t dataCrc = 0;
};

// Where an entry stands in a listed archive, the same in every walk: the indexes of the entries that hold
// the nested archives down to it, and its own.
using tPlace = std::vector<std::size_t>;

// What the names pass kept of one listed archive.
struct tKeptArchive {
  std::map<tPlace, std::unique_ptr<tKeptClass>> entries;
  // What each class entry in a nest says of it (its name, NestHost and NestMembers), kept or not.
  std::map<tPlace, ZYNHierarchy::tNestNames> nests;
};

tKept::tKept() = default;
tKept::~tKept() = default;

void tKept::Put(const std::string& archive, std::unique_ptr<tKeptArchive> entries) {
  std::lock_guard lock(mutex_);
  archives_.try_emplace(archive, std::move(entries));
}

std::unique_ptr<tKeptArchive> tKept::Take(const std::string& archive) {
  std::lock_guard lock(mutex_);
  const auto it = archives_.find(archive);
  if (it == archives_.end()) return nullptr;
  std::unique_ptr<tKeptArchive> entries = std::move(it->second);
  archives_.erase(it);
  return entries;
}

// One archive of the run, listed or nested, as far as its entries are known.
struct tNode {
  std::string shown;                        // as the table names it: "app.jar", "app.jar!lib/x.jar"
  tPlace place;                             // of the entry that holds it (empty for the listed archive)
  std::vector<std::uint8_t> owned;          // the inflated bytes of a deflated nested archive
  ZYNZip::tArchive archive;
  std::string keep;                         // why it must stay as it is, or empty
  std::vector<std::unique_ptr<tNode>> nested;  // by entry: the archive it holds, or nothing
  std::shared_ptr<tReplacement> current;    // the content last handed to writing
  // An entry that repeats an earlier one byte for byte is written as that one was: by entry, the one it
  // repeats or kNone; and the content written for each repeated entry, kept for its repeats.
  std::vector<std::size_t> repeats;
  std::unordered_map<std::size_t, std::shared_ptr<tReplacement>> repeated;
};

// An entry of the tree: a class entry to optimize (the units of the batch, in the order writing asks for
// them) or one that may be a resource text.
struct tTask {
  const tNode* node;
  std::size_t entry;
  std::unique_ptr<tKeptClass> kept;  // the names pass's bytes of a class entry, if it kept them

  const tEntry& Entry() const { return node->archive.entries[entry]; }
  tPlace Place() const {
    tPlace place = node->place;
    place.push_back(entry);
    return place;
  }
};

namespace {

// Archives inside archives are followed this deep below the listed one.
constexpr std::size_t kMaxDepth = 4;
// A thread keeps a buffer up to this size from entry to entry; a larger one goes with its entry's room.
constexpr std::size_t kKeptBuffer = std::size_t{1} << 20;
// After an entry that took more room than this, what it freed goes back to the system before the room does.
constexpr std::uint64_t kReleasedRoom = std::uint64_t{16} << 20;
// So is the memory of the names pass's bytes each time the core has read this much more of them.
constexpr std::uint64_t kReleasedHeld = std::uint64_t{4} << 20;

// What a thread keeps from entry to entry.
struct tWorkspace {
  std::vector<std::uint8_t> content;
  ZYNZip::tCoder coder;

  // After an entry that took `room`, before the room is given back: what it freed is given back too, or each
  // thread would keep as much.
  void Trim(std::uint64_t room) {
    // Assigning {} would keep the capacity.
    if (content.capacity() > kKeptBuffer) content = std::vector<std::uint8_t>();
    if (room > kReleasedRoom) Platform::ReleaseFreedMemory();
  }
};

struct tEntryResult {
  ZYNClass::tFileResult file;
  std::unique_ptr<tReplacement> replacement;  // nothing when the class came out as it went in
  // Its error line, which itself takes memory, is made by the thread that prints it.
  bool outOfMemory = false;
  bool grouped = false;            // a later class of a nest: the result came with the nest's first class
  std::vector<tEntryResult> rest;  // with a nest's first class: the results of its other classes, in order
};

using ZYNBatch::tBudget;

// Room in the run's budget for a class entry while it is inflated and read or optimized, taken the same way
// either way so that big entries go one at a time whatever the thread count. One above the limit takes
// none: Inflate refuses it.
void TakeClassRoom(tBudget::tShare& room, const tEntry& e) {
  if (e.size <= ZYNZip::kMaxClassEntry) room.Add(tMemory::kClassWork * e.size);
}

// Others hold the room that a walk through nested archives needs more of: it frees what it made and starts
// again with room for all it needed, waited for at once.
struct tBusy {
  std::uint64_t needed;
};

// The room that one walk through an archive's nested archives takes as it inflates them.
class tNestedRoom {
public:
  explicit tNestedRoom(tBudget::tShare& share) : share_(share) {}
  // Room for n more bytes; false when the walk alone would need more than the whole budget.
  bool Take(std::uint64_t n) {
    if (n > share_.Held() - used_) {
      const tBudget::tGot got = share_.Add(n - (share_.Held() - used_));
      if (got == tBudget::kAlone) return false;
      if (got == tBudget::kBusy) throw tBusy{used_ + n};
    }
    used_ += n;
    return true;
  }
  // The bytes were not kept after all.
  void Give(std::uint64_t n) { used_ -= n; }

private:
  tBudget::tShare& share_;
  std::uint64_t used_ = 0;
};

// What a walk through an archive and the archives inside it found, in the order of their local headers.
struct tFound {
  std::unique_ptr<tNode> top;  // nothing when a lenient walk could not read the archive
  std::vector<tTask> classes;
  std::vector<tTask> resources;  // entries that may be resource texts (lenient walks)
};

// A strict walk reads an archive in its turn: what it cannot take ends the run, it goes no further into an
// archive that must not change, and it passes over entries that repeat earlier ones. A lenient walk reads for
// the names pass, before any archive is processed: it passes over what it cannot read, whose error comes in
// the archive's turn.
enum class tMode { Strict, Lenient };

struct tWalk {
  tMode mode;
  tNestedRoom room;
  ZYNZip::tCoder& coder;
  tFound found;

  bool Strict() const { return mode == tMode::Strict; }
  // Runs f; in a lenient walk an error in it is a false instead of the end of the run.
  template <class F>
  bool Reads(const F& f) {
    try {
      f();
      return true;
    } catch (const ZYNError::Fatal&) {
      if (Strict()) throw;
      return false;
    }
  }
  // What a strict walk cannot take ends the run; a lenient one passes over it.
  template <class... A>
  bool Refuse(ZYNError::tKind kind, const A&... args) const {
    if (Strict()) ZYNError::Message(kind, args...);
    return false;
  }
};

// The bytes of the archive that nested entry e holds: where they lie when it is stored, or inflated into
// `owned`, in the walk's room. False when there are none to walk.
bool NestedBytes(const tNode& node, const tEntry& e, tWalk& walk, std::vector<std::uint8_t>& owned, tBytes& inner) {
  const std::string entry = node.shown + "!" + e.name;
  if (e.method == ZYNZip::kStored) {
    // The names pass reads a stored archive as it lies, whatever its size; its turn checks it.
    if (walk.Strict() && e.size > ZYNZip::kMaxNestedArchive)
      ZYNError::Message(kEntryTooLarge, entry, "1 GiB");
    inner = e.Data(node.archive.bytes);
    return (e.size == e.compressedSize && (!walk.Strict() || ZYNZip::Crc32(inner) == e.crc)) ||
           walk.Refuse(kArchiveDamaged, node.shown, "the CRC of \"" + e.name + "\" does not match");
  }
  if (e.size > ZYNZip::kMaxNestedArchive) return walk.Refuse(kEntryTooLarge, entry, "1 GiB");
  if (ZYNZip::IsBomb(e))
    return walk.Refuse(kEntryBomb, entry, ZYNZip::kMaxNestedRatio);
  if (!walk.room.Take(e.size))
    return walk.Refuse(kNestedTooLarge, node.shown);
  if (!walk.Reads([&] { ZYNZip::Inflate(node.archive, e, node.shown, ZYNZip::kMaxNestedArchive, owned, walk.coder); })) {
    walk.room.Give(e.size);
    return false;
  }
  inner = owned;
  return true;
}

std::unique_ptr<tNode> Walk(tBytes bytes, std::string shown, tPlace place, tWalk& walk);

// Walks the archive that entry i of the node holds, if it holds one to walk.
void WalkNested(tNode& node, std::size_t i, tWalk& walk) {
  const tEntry& e = node.archive.entries[i];
  if (node.place.size() >= kMaxDepth || (e.method != ZYNZip::kStored && e.method != ZYNZip::kDeflated)) return;
  std::vector<std::uint8_t> owned;
  tBytes inner;
  // An entry of such a name that holds no archive stays as it is.
  if (!NestedBytes(node, e, walk, owned, inner) || !ZYNZip::IsArchive(inner)) return;
  tPlace place = node.place;
  place.push_back(i);
  node.nested[i] = Walk(inner, node.shown + "!" + e.name, std::move(place), walk);
  if (node.nested[i]) node.nested[i]->owned = std::move(owned);  // the bytes stay where they are
}

// Reads an archive's directory and those of the archives inside it into a tree, and lists their entries.
std::unique_ptr<tNode> Walk(tBytes bytes, std::string shown, tPlace place, tWalk& walk) {
  auto node = std::make_unique<tNode>();
  node->shown = std::move(shown);
  node->place = std::move(place);
  if (!walk.Reads([&] { node->archive = ZYNZip::Read(bytes, node->shown); })) return nullptr;
  if (walk.Strict()) {
    node->keep = ZYNZip::MustNotChange(node->archive);
    if (!node->keep.empty()) return node;
    node->repeats = ZYNZip::Repeats(node->archive);
  }
  node->nested.resize(node->archive.entries.size());
  for (const std::size_t i : node->archive.byPosition) {
    const tEntry& e = node->archive.entries[i];
    if (walk.Strict() && node->repeats[i] != ZYNZip::tArchive::kNone) {
      node->repeated[node->repeats[i]];
      continue;
    }
    if (e.IsClass()) {
      walk.found.classes.push_back({node.get(), i, nullptr});
    } else if (e.IsNestedArchive()) {
      WalkNested(*node, i, walk);
    } else if (!walk.Strict() && !e.name.ends_with('/') && e.size <= ZYNHierarchy::kMaxResourceText &&
               (e.method == ZYNZip::kStored || e.method == ZYNZip::kDeflated)) {
      walk.found.resources.push_back({node.get(), i, nullptr});
    }
  }
  return node;
}

// Walks the archive within the run's room for nested archives (deflated ones are held inflated while the
// archive is processed: a few small entries that each inflate to a gibibyte must not exhaust memory). A walk
// that finds others holding the room it needs more of frees what it made and starts again with room for all
// it needed, waited for at once.
tFound WalkArchive(tBytes bytes, const std::string& shown, tMode mode, tBudget::tShare& share, ZYNZip::tCoder& coder) {
  for (;;) {
    tWalk walk{mode, tNestedRoom(share), coder, {}};
    try {
      walk.found.top = Walk(bytes, shown, {}, walk);
      return std::move(walk.found);
    } catch (const tBusy& busy) {
      share.Release();
      (void)share.Add(busy.needed);
    }
  }
}

// Whether the class came out other than it went in.
bool Changed(const tEntryResult& r, std::span<const std::uint8_t> content) {
  return r.file.error.empty() && !std::ranges::equal(r.file.bytes, content);
}

// The class's new bytes compressed as the entry was and read back (into the workspace's buffer).
void Replace(tEntryResult& r, const tEntry& e, tWorkspace& work) {
  r.replacement = std::make_unique<tReplacement>(ZYNZip::Compress(r.file.bytes, e.method, work.coder));
  ZYNZip::Check(*r.replacement, e.method, work.content, work.coder);
}

// The task's kept bytes, when the entry still is what the names pass read.
std::unique_ptr<tKeptClass> TakeKept(tTask& task) {
  std::unique_ptr<tKeptClass> kept = std::move(task.kept);
  if (kept != nullptr && !kept->Same(task.Entry(), task.node->archive.bytes)) kept.reset();
  return kept;
}

// Optimizes a class entry: the bytes the names pass kept, or inflated now, through the core, and compressed
// again only when it changed, and read back.
tEntryResult RunTask(tTask& task, const ZYNData::tParams& params, const ZYNHierarchy::tRunFacts& facts,
                     tBudget& budget, tWorkspace& work) {
  tEntryResult r;
  const tEntry& e = task.Entry();
  tBudget::tShare room(budget);
  try {
    std::unique_ptr<tKeptClass> kept = TakeKept(task);
    TakeClassRoom(room, e);
    if (kept == nullptr)
      ZYNZip::Inflate(task.node->archive, e, task.node->shown, ZYNZip::kMaxClassEntry, work.content, work.coder);
    const std::vector<std::uint8_t>& content = kept != nullptr ? kept->bytes : work.content;
    r.file = ZYNClass::OptimizeFile(content, params, ZYNClass::ReduceMembers, ZYNClass::tWrite::Always, &facts);
    const bool changed = Changed(r, content);
    kept.reset();  // the run's held input has its room back before more is taken
    if (changed) Replace(r, e, work);
  } catch (const ZYNError::Fatal& error) {
    r.file.error = error.Error();
  } catch (const std::bad_alloc&) {
    r.outOfMemory = true;
  }
  // The result waits for its turn without the written class (its replacement holds what is needed).
  r.file.bytes = std::vector<std::uint8_t>();
  work.Trim(room.Held());
  return r;
}

// The class entries of a nest, optimized as one unit: results in the nest's order, or nothing when the unit
// cannot be formed (an entry too large for the room, one that cannot be inflated, no memory): then each goes
// alone, as every other entry does, its error in its own turn.
std::optional<std::vector<tEntryResult>> RunNest(std::vector<tTask>& tasks, const std::vector<std::size_t>& nest,
                                                 const ZYNData::tParams& params, const ZYNHierarchy::tRunFacts& facts,
                                                 tBudget& budget, tWorkspace& work) {
  tBudget::tShare room(budget);
  std::vector<std::unique_ptr<tKeptClass>> kept;
  std::vector<std::vector<std::uint8_t>> inflated(nest.size());
  try {
    std::uint64_t need = 0;
    for (std::size_t k : nest) need += tMemory::kClassWork * tasks[k].Entry().size;
    if (room.Add(need) != tBudget::kGot) return std::nullopt;
    std::vector<std::span<const std::uint8_t>> classes;
    for (std::size_t i = 0; i < nest.size(); ++i) {
      tTask& task = tasks[nest[i]];
      kept.push_back(TakeKept(task));
      if (kept.back() == nullptr)
        ZYNZip::Inflate(task.node->archive, task.Entry(), task.node->shown, ZYNZip::kMaxClassEntry, inflated[i],
                        work.coder);
      classes.push_back(kept.back() != nullptr ? std::span<const std::uint8_t>(kept.back()->bytes) : inflated[i]);
    }
    std::vector<ZYNClass::tFileResult> files = ZYNNest::OptimizeNest(classes, &facts, params, ZYNClass::tWrite::Always);
    std::vector<tEntryResult> results(nest.size());
    for (std::size_t i = 0; i < nest.size(); ++i) {
      tEntryResult& r = results[i];
      r.file = std::move(files[i]);
      try {
        if (Changed(r, classes[i])) Replace(r, tasks[nest[i]].Entry(), work);
      } catch (const ZYNError::Fatal& error) {
        r.file.error = error.Error();
      }
      r.file.bytes = std::vector<std::uint8_t>();
    }
    return results;
  } catch (const ZYNError::Fatal&) {
  } catch (const std::bad_alloc&) {
  }
  for (std::size_t i = 0; i < kept.size(); ++i) tasks[nest[i]].kept = std::move(kept[i]);
  return std::nullopt;
}

bool AnyReplaced(const std::vector<ZYNZip::tWritten>& values) {
  return std::any_of(values.begin(), values.end(), [](const ZYNZip::tWritten& v) { return v.replaced; });
}

// Ends the writing of an archive whose entry failed (its line is reported).
struct tStopped {};

// An archive reaches its file in writes of at least this much but the last: its pieces are small, a few to
// an entry, and a system call each costs more than writing them.
constexpr std::size_t kWriteSize = std::size_t{1} << 20;

// Gathers the pieces of an archive into writes of kWriteSize or more.
class tGathered {
public:
  explicit tGathered(Platform::TempFile& file) : file_(file) { buffer_.reserve(kWriteSize); }

  void Put(tBytes part) {
    if (!buffer_.empty()) {
      const std::size_t n = std::min(part.size(), kWriteSize - buffer_.size());
      buffer_.insert(buffer_.end(), part.begin(), part.begin() + static_cast<std::ptrdiff_t>(n));
      part = part.subspan(n);
      if (buffer_.size() < kWriteSize) return;
      Flush();
    }
    if (part.size() >= kWriteSize) file_.Write(part);
    else buffer_.assign(part.begin(), part.end());
  }

  void Flush() {
    if (!buffer_.empty()) file_.Write(buffer_);
    buffer_.clear();
  }

private:
  Platform::TempFile& file_;
  std::vector<std::uint8_t> buffer_;
};

// A workspace per thread; with -pack the entries rewritten are deflated at the strongest level.
std::vector<tWorkspace> Workspaces(unsigned threads, const ZYNData::tParams& params) {
  std::vector<tWorkspace> work(threads);
  if (params.pack)
    for (tWorkspace& w : work) w.coder.SetLevel(ZYNZip::kStrongestLevel);
  return work;
}

// Takes the results of the class entries in order while an archive is written, and reports their lines.
class Writer {
public:
  Writer(std::vector<tTask>& tasks, const std::vector<std::vector<std::size_t>>& nests, const tHow& how,
         const ZYNHierarchy::tRunFacts& facts, tMemory& memory, ZYNReport::tReport& report)
      : report_(report), nestOf_(NestOf(nests)), held_(memory.held), released_(memory.held.Used()),
        work_(Workspaces(how.threads, how.params)),
        units_(
            tasks.size(), how.threads,
            [&tasks, &params = how.params, &facts, &memory, this](std::size_t k, unsigned slot) {
              return Run(tasks, k, params, facts, memory.classes, work_[slot]);
            },
            {.light = ZYNNest::Later(tasks.size(), nests), .beyond = Beyond(tasks, nests)}) {}

  // Writes the node's archive through `emit`; the values of its entries.
  std::vector<ZYNZip::tWritten> Write(tNode& node, const ZYNZip::tEmit& emit) {
    return ZYNZip::Write(node.archive, [&](std::size_t i) { return Provide(node, i); }, emit);
  }

private:
  const tReplacement* Provide(tNode& node, std::size_t i) {
    node.current.reset();
    if (node.repeats[i] != ZYNZip::tArchive::kNone) return node.repeated[node.repeats[i]].get();
    const tEntry& e = node.archive.entries[i];
    if (e.IsClass()) {
      tEntryResult r = Next();
      if (r.outOfMemory) r.file.error = ZYNError::Make(kNoMemory);
      if (!report_.File(node.shown + "!" + e.name, r.file)) throw tStopped{};
      report_.EndLine();
      node.current = std::move(r.replacement);
      // What the names pass kept goes back as the core reads it; the allocator would keep its memory.
      if (held_.Used() + kReleasedHeld <= released_) {
        Platform::ReleaseFreedMemory();
        released_ = held_.Used();
      }
    } else if (i < node.nested.size() && node.nested[i]) {
      tNode& inner = *node.nested[i];
      if (!inner.keep.empty()) {
        report_.ArchiveKept(inner.shown, inner.keep);
        return nullptr;
      }
      std::vector<std::uint8_t> bytes;
      bytes.reserve(inner.archive.bytes.size());
      const std::vector<ZYNZip::tWritten> values =
          Write(inner, [&](tBytes part) { bytes.insert(bytes.end(), part.begin(), part.end()); });
      if (!AnyReplaced(values)) return nullptr;
      if (const std::string why = ZYNZip::Verify(bytes, inner.archive, values); !why.empty())
        ZYNError::Message(kArchiveNotReadBack, inner.shown, why);
      node.current = std::make_unique<tReplacement>(ZYNZip::Compress(bytes, e.method, work_[0].coder));
      ZYNZip::Check(*node.current, e.method, bytes, work_[0].coder);  // the archive written is not needed now
    }
    if (const auto it = node.repeated.find(i); it != node.repeated.end()) it->second = node.current;
    return node.current.get();
  }

  // By task, its nest; made before the first unit starts (the units read it on every thread).
  static std::unordered_map<std::size_t, const std::vector<std::size_t>*> NestOf(
      const std::vector<std::vector<std::size_t>>& nests) {
    std::unordered_map<std::size_t, const std::vector<std::size_t>*> of;
    for (const std::vector<std::size_t>& nest : nests)
      for (std::size_t k : nest) of.emplace(k, &nest);
    return of;
  }

  // Units of small entries may start far beyond the window, as long as what they hold stays small: a nest's
  // first unit, which does the work of all its classes, then leaves the other threads work to do. A unit's
  // size is its entries' inflated size (its result holds them deflated).
  static constexpr std::size_t kBeyondUnits = 64;
  static constexpr std::uint64_t kBeyondBytes = std::uint64_t{1} << 20;
  static ZYNBatch::tBeyond Beyond(const std::vector<tTask>& tasks, const std::vector<std::vector<std::size_t>>& nests) {
    ZYNBatch::tBeyond beyond{{}, kBeyondUnits, kBeyondBytes};
    beyond.sizes.reserve(tasks.size());
    // Sizes above the largest class entry (an error) need not add up without end.
    for (const tTask& task : tasks)
      beyond.sizes.push_back(std::min(task.Entry().size, ZYNZip::kMaxClassEntry + 1));
    for (const std::vector<std::size_t>& nest : nests)
      for (std::size_t i = 1; i < nest.size(); ++i) {
        beyond.sizes[nest.front()] += beyond.sizes[nest[i]];
        beyond.sizes[nest[i]] = 0;
      }
    return beyond;
  }

  // Unit k: a class entry alone, or the first of a nest with the whole nest.
  tEntryResult Run(std::vector<tTask>& tasks, std::size_t k, const ZYNData::tParams& params,
                   const ZYNHierarchy::tRunFacts& facts, tBudget& budget, tWorkspace& work) {
    const auto it = nestOf_.find(k);
    if (it != nestOf_.end()) {
      const std::vector<std::size_t>& nest = *it->second;
      tEntryResult first;
      if (nest.front() != k) {
        first.grouped = true;
        return first;
      }
      if (std::optional<std::vector<tEntryResult>> all = RunNest(tasks, nest, params, facts, budget, work)) {
        first = std::move(all->front());
        first.rest.assign(std::make_move_iterator(all->begin() + 1), std::make_move_iterator(all->end()));
        return first;
      }
      first = RunTask(tasks[k], params, facts, budget, work);
      for (std::size_t i = 1; i < nest.size(); ++i)
        first.rest.push_back(RunTask(tasks[nest[i]], params, facts, budget, work));
      return first;
    }
    return RunTask(tasks[k], params, facts, budget, work);
  }

  // The result of the next class entry in order; a nest's later entries come with its first.
  tEntryResult Next() {
    const std::size_t k = taken_++;
    tEntryResult r = units_.Next();
    if (r.grouped) {
      r = std::move(waiting_.at(k));
      waiting_.erase(k);
    }
    if (const auto it = nestOf_.find(k); it != nestOf_.end() && it->second->front() == k)
      for (std::size_t i = 1; i < it->second->size(); ++i) waiting_.emplace((*it->second)[i], std::move(r.rest[i - 1]));
    r.rest.clear();
    return r;
  }

  ZYNReport::tReport& report_;
  const std::unordered_map<std::size_t, const std::vector<std::size_t>*> nestOf_;
  std::unordered_map<std::size_t, tEntryResult> waiting_;  // later entries of a nest whose first was taken
  std::size_t taken_ = 0;
  const ZYNBatch::tHeld& held_;
  std::uint64_t released_;  // what the run held when its freed memory last went back
  std::vector<tWorkspace> work_;  // by thread; the writing thread's is the first
  ZYNBatch::tInOrder<tEntryResult> units_;
};

// Writes the archive (or, with -tst, only measures it) and puts it in place. False when a class entry failed.
bool WriteArchive(const std::string& name, tBytes original, tJob& job, unsigned threads, const ZYNData::tParams& params,
                  ZYNReport::tReport& report) {
  const bool write = !params.tst;
  const std::string target = params.old ? FileModule::BackupName(name, true) : name;
  Platform::TempFile temp;
  if (write && !temp.Create(name)) ZYNError::Message(kNotWritten, target, Platform::LastError());
  tGathered out(temp);
  std::uint64_t size = 0;
  const bool written = job.Write(threads, params, report, [&](tBytes part) {
    size += part.size();
    if (write) out.Put(part);
  });
  if (!written) return false;
  report.ArchiveShrank(static_cast<std::int64_t>(original.size()) - static_cast<std::int64_t>(size));
  if (!write) return true;
  out.Flush();
  if (!temp.Close()) ZYNError::Message(kNotWritten, target, Platform::LastError());
  // What reached the disk is read back before it replaces anything.
  std::string why = "it cannot be read";
  if (Platform::MappedFile file; file.Map(temp)) why = job.Verify(file.Bytes());
  if (!why.empty()) ZYNError::Message(kNotWritten, target, "it does not read back: " + why);
  const bool linked = !params.old && FileModule::LinkBackup(name, FileModule::BackupName(name, true));
  FileModule::Commit(name, temp, true, params.old, linked);
  return true;
}

}  // namespace

tJob::tJob(std::span<const std::uint8_t> bytes, const std::string& shown, const ZYNHierarchy::tRunFacts& facts,
           tMemory& memory, bool again)
    : memory_(memory), facts_(facts), nestedRoom_(memory.nested) {
  // Taken before the walk, so that an error in it gives them back too.
  std::unique_ptr<tKeptArchive> kept = memory.kept.Take(shown);
  if (again && kept != nullptr) {
    auto later = std::make_unique<tKeptArchive>();
    later->nests = kept->nests;
    memory.kept.Put(shown, std::move(later));
  }
  ZYNZip::tCoder coder;
  tFound found = WalkArchive(bytes, shown, tMode::Strict, nestedRoom_, coder);
  top_ = std::move(found.top);
  tasks_ = std::move(found.classes);
  if (kept == nullptr) return;
  for (tTask& task : tasks_) {
    if (const auto it = kept->entries.find(task.Place()); it != kept->entries.end()) task.kept = std::move(it->second);
  }
  FindNests(*kept);
}

// The whole nests among each archive's class entries, as the names pass read them; the entry in its turn
// may say otherwise (then the nest pass finds no complete nest and takes the classes one by one).
void tJob::FindNests(const tKeptArchive& kept) {
  if (kept.nests.empty()) return;
  std::map<const tNode*, std::vector<std::size_t>> byNode;  // the tasks of each archive, in order
  for (std::size_t k = 0; k < tasks_.size(); ++k) byNode[tasks_[k].node].push_back(k);
  for (const auto& [node, tasks] : byNode) {
    std::vector<const ZYNHierarchy::tNestNames*> classes;
    for (std::size_t k : tasks) {
      const auto it = kept.nests.find(tasks_[k].Place());
      classes.push_back(it == kept.nests.end() ? nullptr : &it->second);
    }
    for (std::vector<std::size_t>& nest : ZYNNest::Groups(classes)) {
      for (std::size_t& i : nest) i = tasks[i];
      nests_.push_back(std::move(nest));
    }
  }
}

tJob::~tJob() = default;

const std::string& tJob::Keep() const { return top_->keep; }

bool tJob::Write(unsigned threads, const ZYNData::tParams& params, ZYNReport::tReport& report,
                 const ZYNZip::tEmit& emit) {
  try {
    Writer writer(tasks_, nests_, {threads, params}, facts_, memory_, report);
    values_ = writer.Write(*top_, emit);
  } catch (const tStopped&) {
    return false;
  }
  return true;
}

std::string tJob::Verify(std::span<const std::uint8_t> written) const {
  return ZYNZip::Verify(written, top_->archive, values_);
}

bool tJob::Replaced() const { return AnyReplaced(values_); }

bool MayBeClassFile(std::span<const std::uint8_t> head) {
  return head.size() == 4 && head[0] == 0xCA && head[1] == 0xFE && head[2] == 0xBA && head[3] == 0xBE;
}

bool Process(const std::string& name, const tHow& how, const ZYNHierarchy::tRunFacts& facts, tMemory& memory,
             ZYNReport::tReport& report, const std::string& source) {
  try {
    Platform::MappedFile file;
    const std::string& read = source.empty() ? name : source;
    if (!file.Map(read)) ZYNError::Message(kNotOpen, read);
    tJob job(file.Bytes(), name, facts, memory);
    if (!job.Keep().empty()) {
      report.ArchiveKept(name, job.Keep());
      return true;
    }
    if (source.empty()) return WriteArchive(name, file.Bytes(), job, how.threads, how.params, report);
    ZYNData::tParams measured = how.params;
    measured.tst = true;
    return WriteArchive(name, file.Bytes(), job, how.threads, measured, report);
  } catch (const ZYNError::Fatal& error) {
    report.ArchiveFailed(name, error.Line());
    return false;
  }
}

bool Makes(const std::string& name, const std::string& backup, unsigned threads, const ZYNData::tParams& params,
           const ZYNHierarchy::tRunFacts& facts, tMemory& memory) {
  try {
    Platform::MappedFile made, now;
    if (!made.Map(backup) || !now.Map(name)) return false;
    tJob job(made.Bytes(), name, facts, memory, true);
    if (!job.Keep().empty()) return false;
    const std::span<const std::uint8_t> current = now.Bytes();
    std::size_t at = 0;
    bool same = true;
    ZYNReport::tReport quiet{ZYNReport::tReport::tQuiet{}};
    const bool built = job.Write(threads, params, quiet, [&](tBytes part) {
      same = same && part.size() <= current.size() - at && std::equal(part.begin(), part.end(), current.begin() + at);
      at += part.size();
    });
    return built && same && at == current.size();
  } catch (const ZYNError::Fatal&) {
    return false;
  }
}

namespace {

// The names of one class entry, nothing when it cannot be read, or that memory ran out; and its bytes when
// they are kept for the core.
struct tEntryNames {
  std::optional<ZYNHierarchy::tClassFacts> names;
  std::optional<ZYNHierarchy::tNestNames> nest;  // where it has a NestHost or NestMembers
  std::unique_ptr<tKeptClass> kept;
  bool outOfMemory = false;
};

// Room in the run's held input for the entry's bytes, or nothing when the run holds as much as it may.
std::unique_ptr<tKeptClass> Keep(ZYNBatch::tHeld& held, const tEntry& e, tBytes archive) {
  if (e.size > ZYNZip::kMaxClassEntry) return nullptr;
  auto kept = std::make_unique<tKeptClass>(held, e);
  if (!held.TryTake(e.size)) return nullptr;
  kept->taken = e.size;
  kept->dataCrc = ZYNZip::Crc32(e.Data(archive));
  return kept;
}

tEntryNames EntryNames(const tTask& task, tMemory& memory, tWorkspace& work) {
  tEntryNames r;
  const tEntry& e = task.Entry();
  tBudget::tShare room(memory.classes);
  try {
    TakeClassRoom(room, e);
    r.kept = Keep(memory.held, e, task.node->archive.bytes);
    std::vector<std::uint8_t>& content = r.kept != nullptr ? r.kept->bytes : work.content;
    ZYNZip::Inflate(task.node->archive, e, "", ZYNZip::kMaxClassEntry, content, work.coder);
    if (ZYNHierarchy::tClassNames names; ZYNHierarchy::ReadNames(content, names)) {
      if (!names.nestHost.empty() || !names.nestMembers.empty()) r.nest = ZYNHierarchy::TakeNestNames(names);
      r.names.emplace(std::move(names));
    }
  } catch (const ZYNError::Fatal&) {
    r.kept.reset();
  } catch (const std::bad_alloc&) {
    r.kept.reset();
    r.outOfMemory = true;
  }
  work.Trim(room.Held());
  return r;
}

}  // namespace

// How far the names of entries may be read beyond the window: an entry's names are small and its kept bytes
// are within the run's budget, and with entries this short a window of two per thread leaves a thread waiting
// for the taking one after almost every entry.
constexpr std::size_t kNamesAhead = 64;

void ReadNames(const std::string& name, std::span<const std::uint8_t> bytes, unsigned threads, tMemory& memory,
               const std::function<void(ZYNHierarchy::tClassFacts&&)>& add) {
  tBudget::tShare share(memory.nested);  // given back after the walk's archives are freed
  ZYNZip::tCoder coder;
  const tFound found = WalkArchive(bytes, "", tMode::Lenient, share, coder);
  auto kept = std::make_unique<tKeptArchive>();
  Platform::PagesBehind behind(bytes);  // what is kept stays in memory, the archive need not
  // Inflating is most of the work: the entries are read on every thread, and taken in order.
  std::vector<tWorkspace> work(threads);
  ZYNBatch::ForEachInOrder(
      found.classes.size(), threads,
      [&](std::size_t k, unsigned slot) { return EntryNames(found.classes[k], memory, work[slot]); },
      [&](std::size_t k, tEntryNames r) {
        if (r.outOfMemory) throw std::bad_alloc();
        const tTask& task = found.classes[k];
        if (r.nest) kept->nests[task.Place()] = std::move(*r.nest);
        if (r.names) add(std::move(*r.names));
        if (r.kept != nullptr) kept->entries.try_emplace(task.Place(), std::move(r.kept));
        if (task.node == found.top.get()) behind.Passed(task.Entry().local);
        return true;
      },
      {.ahead = kNamesAhead});
  if (!kept->entries.empty() || !kept->nests.empty()) memory.kept.Put(name, std::move(kept));
}

void ReadWords(std::span<const std::uint8_t> bytes, const std::string& name, tMemory& memory,
               ZYNHierarchy::tRunFacts& facts) {
  tBudget::tShare share(memory.nested);
  ZYNZip::tCoder coder;
  const tFound found = WalkArchive(bytes, name, tMode::Lenient, share, coder);
  std::vector<std::uint8_t> text;
  for (const tTask& resource : found.resources) {
    try {
      ZYNZip::Inflate(resource.node->archive, resource.Entry(), "", ZYNHierarchy::kMaxResourceText, text, coder);
    } catch (const ZYNError::Fatal&) {
      continue;  // not read for words; the entry is copied as it is
    }
    facts.AddResource(text, resource.node->shown + "!" + resource.Entry().name);
  }
}

}  // namespace ZYNArchive
