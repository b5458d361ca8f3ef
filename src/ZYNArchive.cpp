#include "ZYNArchive.h"

#include <algorithm>
#include <memory>
#include <new>
#include <optional>
#include <unordered_map>
#include <vector>

#include "FileModule.h"
#include "Platform.h"
#include "ZYNBatch.h"
#include "ZYNClass.h"
#include "ZYNData.h"
#include "ZYNError.h"
#include "ZYNZip.h"

namespace ZYNArchive {

using ZYNZip::tBytes;
using ZYNZip::tEntry;
using ZYNZip::tReplacement;

// One archive of the run, listed or nested, as far as its entries are known.
struct tNode {
  std::string shown;                        // as the table names it: "app.jar", "app.jar!lib/x.jar"
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

// A class entry to optimize: the units of the batch, in the order writing asks for them.
struct tTask {
  const tNode* node;
  std::size_t entry;
  const ZYNHierarchy::tRunFacts* facts;
};

namespace {

// Archives inside archives are followed this deep below the listed one.
constexpr int kMaxDepth = 4;
// A thread keeps a buffer up to this size from entry to entry; a larger one goes with its entry's room.
constexpr std::size_t kKeptBuffer = std::size_t{1} << 20;
// After an entry that took more room than this, what it freed goes back to the system before the room does.
constexpr std::uint64_t kReleasedRoom = std::uint64_t{16} << 20;

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

// Runs the walk until it ends with the room it needs. `drop` frees what a walk that ran short made.
template <class Walk, class Drop>
void WithNestedRoom(tBudget::tShare& share, const Walk& walk, const Drop& drop) {
  for (;;) {
    tNestedRoom room(share);
    try {
      walk(room);
      return;
    } catch (const tBusy& busy) {
      drop();
      share.Release();
      (void)share.Add(busy.needed);
    }
  }
}

// Reads an archive's directory and those of the archives inside it, and lists their class entries in
// writing order. Errors (a damaged archive) end the run. Deflated nested archives are held inflated while
// the listed archive is processed, in the run's room for them (a few small entries that each inflate to a
// gibibyte must not exhaust memory).
std::unique_ptr<tNode> Open(tBytes bytes, std::string shown, int depth, std::vector<tTask>& tasks,
                            tNestedRoom& room, ZYNZip::tCoder& coder, const ZYNHierarchy::tRunFacts& facts) {
  auto node = std::make_unique<tNode>();
  node->shown = std::move(shown);
  node->archive = ZYNZip::Read(bytes, node->shown);
  node->keep = ZYNZip::MustNotChange(node->archive);
  if (!node->keep.empty()) return node;
  node->nested.resize(node->archive.entries.size());
  node->repeats = ZYNZip::Repeats(node->archive);
  for (const std::size_t i : node->archive.byPosition) {
    const tEntry& e = node->archive.entries[i];
    if (node->repeats[i] != ZYNZip::tArchive::kNone) {
      node->repeated[node->repeats[i]];
      continue;
    }
    if (e.IsClass()) {
      tasks.push_back({node.get(), i, &facts});
      continue;
    }
    if (!e.IsNestedArchive() || depth >= kMaxDepth || (e.method != ZYNZip::kStored && e.method != ZYNZip::kDeflated))
      continue;
    std::vector<std::uint8_t> owned;
    tBytes inner;
    if (e.method == ZYNZip::kStored) {
      // A stored archive is read where it lies.
      if (e.size > ZYNZip::kMaxNestedArchive)
        ZYNError::Message("Entry \"", node->shown + "!" + e.name, "\" is larger than ", "1 GiB");
      inner = e.Data(bytes);
      if (e.size != e.compressedSize || ZYNZip::Crc32(inner) != e.crc)
        ZYNError::Message("Archive \"", node->shown, "\" is damaged: the CRC of \"", e.name + "\" does not match");
    } else {
      if (e.size <= ZYNZip::kMaxNestedArchive) {
        if (ZYNZip::IsBomb(e))
          ZYNError::Message("Entry \"", node->shown + "!" + e.name, "\" declares more than ",
                            std::to_string(ZYNZip::kMaxNestedRatio) + " times its compressed size");
        if (!room.Take(e.size))
          ZYNError::Message("Archive \"", node->shown, "\" holds more than 1 GiB of compressed nested archives");
      }
      ZYNZip::Inflate(node->archive, e, node->shown, ZYNZip::kMaxNestedArchive, owned, coder);
      inner = owned;
    }
    // An entry of such a name that holds no archive stays as it is.
    if (!ZYNZip::IsArchive(inner)) continue;
    node->nested[i] = Open(inner, node->shown + "!" + e.name, depth + 1, tasks, room, coder, facts);
    node->nested[i]->owned = std::move(owned);  // the bytes stay where they are
  }
  return node;
}

// Optimizes a class entry: inflated, through the core, and compressed again only when it changed.
tEntryResult RunTask(const tTask& task, const ZYNData::tParams& params, tBudget& budget, tWorkspace& work) {
  tEntryResult r;
  const tEntry& e = task.node->archive.entries[task.entry];
  tBudget::tShare room(budget);
  try {
    TakeClassRoom(room, e);
    ZYNZip::Inflate(task.node->archive, e, task.node->shown, ZYNZip::kMaxClassEntry, work.content, work.coder);
    r.file = ZYNClass::OptimizeFile(work.content, params, ZYNClass::ReduceMembers, ZYNClass::tWrite::Always, task.facts);
    if (r.file.error.empty() && r.file.bytes != work.content)
      r.replacement = std::make_unique<tReplacement>(ZYNZip::Compress(r.file.bytes, e.method, work.coder));
  } catch (const ZYNError::Fatal& error) {
    r.file.error = error.Line();
  } catch (const std::bad_alloc&) {
    r.outOfMemory = true;
  }
  // The result waits for its turn without the written class (its replacement holds what is needed).
  r.file.bytes = std::vector<std::uint8_t>();
  work.Trim(room.Held());
  return r;
}

// Ends the writing of an archive whose entry failed (its line is reported).
struct tStopped {};

// Takes the results of the class entries in order while an archive is written, and reports their lines.
class Writer {
public:
  Writer(const std::vector<tTask>& tasks, unsigned threads, const ZYNData::tParams& params, tBudget& budget,
         ZYNReport::tReport& report)
      : tasks_(tasks), params_(params), budget_(budget), report_(report) {
    if (threads > 1 && tasks.size() > 1)
      batch_.emplace(tasks.size(), threads,
                     [this](std::size_t k, tWorkspace& work) { return RunTask(tasks_[k], params_, budget_, work); });
  }

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
      const std::size_t k = next_++;
      tEntryResult r = batch_ ? batch_->Take(k) : RunTask(tasks_[k], params_, budget_, work_);
      if (r.outOfMemory) r.file.error = ZYNError::ErrorLine("Not enough memory");
      if (!report_.File(node.shown + "!" + e.name, r.file)) throw tStopped{};
      report_.EndLine();
      if (batch_) batch_->Committed(k);
      node.current = std::move(r.replacement);
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
      bool changed = false;
      for (const ZYNZip::tWritten& v : values) changed = changed || v.replaced;
      if (!changed) return nullptr;
      if (const std::string why = ZYNZip::Verify(bytes, inner.archive, values); !why.empty())
        ZYNError::Message("Archive \"", inner.shown, "\" not written: it does not read back: ", why);
      node.current = std::make_unique<tReplacement>(ZYNZip::Compress(bytes, e.method, work_.coder));
    }
    if (const auto it = node.repeated.find(i); it != node.repeated.end()) it->second = node.current;
    return node.current.get();
  }

  const std::vector<tTask>& tasks_;
  const ZYNData::tParams& params_;
  tBudget& budget_;
  ZYNReport::tReport& report_;
  tWorkspace work_;  // the writing thread's own
  std::optional<ZYNBatch::Batch<tEntryResult, tWorkspace>> batch_;
  std::size_t next_ = 0;
};

// Writes the archive (or, with -tst, only measures it) and puts it in place. False when a class entry failed.
bool WriteArchive(const std::string& name, tBytes original, tJob& job, unsigned threads, const ZYNData::tParams& params,
                  ZYNReport::tReport& report) {
  const bool write = !params.tst;
  const std::string target = params.old ? FileModule::BackupName(name, true) : name;
  Platform::TempFile temp;
  if (write && !temp.Create(name)) ZYNError::Message("File \"", target, "\" not written: ", Platform::LastError());
  std::uint64_t size = 0;
  const bool written = job.Write(threads, params, report, [&](tBytes part) {
    size += part.size();
    if (write) temp.Write(part);
  });
  if (!written) return false;
  report.ArchiveShrank(static_cast<std::int64_t>(original.size()) - static_cast<std::int64_t>(size));
  if (!write) return true;
  if (!temp.Close()) ZYNError::Message("File \"", target, "\" not written: ", Platform::LastError());
  // What reached the disk is read back before it replaces anything.
  std::string why = "it cannot be read";
  if (Platform::MappedFile file; file.Map(temp.Name())) why = job.Verify(file.Bytes());
  if (!why.empty()) ZYNError::Message("File \"", target, "\" not written: it does not read back: ", why);
  const bool linked = !params.old && FileModule::LinkBackup(name, FileModule::BackupName(name, true));
  FileModule::Commit(name, temp, true, params.old, linked);
  return true;
}

}  // namespace

tJob::tJob(std::span<const std::uint8_t> bytes, const std::string& shown, const ZYNHierarchy::tRunFacts& facts,
           tMemory& memory)
    : memory_(memory), nestedRoom_(memory.nested) {
  ZYNZip::tCoder coder;
  // A walk cut short has freed its tree while the exception left Open.
  WithNestedRoom(
      nestedRoom_, [&](tNestedRoom& room) { top_ = Open(bytes, shown, 0, tasks_, room, coder, facts); },
      [&] { tasks_.clear(); });
}

tJob::~tJob() = default;

const std::string& tJob::Keep() const { return top_->keep; }

bool tJob::Write(unsigned threads, const ZYNData::tParams& params, ZYNReport::tReport& report,
                 const ZYNZip::tEmit& emit) {
  try {
    Writer writer(tasks_, threads, params, memory_.classes, report);
    values_ = writer.Write(*top_, emit);
  } catch (const tStopped&) {
    return false;
  }
  return true;
}

std::string tJob::Verify(std::span<const std::uint8_t> written) const {
  return ZYNZip::Verify(written, top_->archive, values_);
}

bool tJob::Replaced() const {
  return std::any_of(values_.begin(), values_.end(), [](const ZYNZip::tWritten& v) { return v.replaced; });
}

bool MayBeClassFile(std::span<const std::uint8_t> head) {
  return head.size() == 4 && head[0] == 0xCA && head[1] == 0xFE && head[2] == 0xBA && head[3] == 0xBE;
}

bool Process(const std::string& name, unsigned threads, const ZYNData::tParams& params,
             const ZYNHierarchy::tRunFacts& facts, tMemory& memory, ZYNReport::tReport& report) {
  try {
    Platform::MappedFile file;
    if (!file.Map(name)) ZYNError::Message("File ", "\"", name, "\" not open");
    tJob job(file.Bytes(), name, facts, memory);
    if (!job.Keep().empty()) {
      report.ArchiveKept(name, job.Keep());
      return true;
    }
    return WriteArchive(name, file.Bytes(), job, threads, params, report);
  } catch (const ZYNError::Fatal& error) {
    report.ArchiveFailed(name, error.Line());
    return false;
  }
}

namespace {

// The class entries of an archive and of the archives inside it, with what keeps them readable, and the
// entries that may be resource texts.
struct tNameWalk {
  explicit tNameWalk(tMemory& memory) : room(memory.nested) {}
  tBudget::tShare room;  // given back after everything below is freed
  std::vector<std::unique_ptr<ZYNZip::tArchive>> archives;
  std::vector<std::unique_ptr<std::vector<std::uint8_t>>> inflated;  // deflated nested archives
  std::vector<std::pair<const ZYNZip::tArchive*, std::size_t>> classes;
  std::vector<std::pair<const ZYNZip::tArchive*, std::size_t>> resources;
  ZYNZip::tCoder coder;
};

void Collect(tBytes bytes, int depth, tNestedRoom& room, tNameWalk& walk) {
  auto read = std::make_unique<ZYNZip::tArchive>();
  try {
    *read = ZYNZip::Read(bytes, "");
  } catch (const ZYNError::Fatal&) {
    return;
  }
  const ZYNZip::tArchive& archive = *walk.archives.emplace_back(std::move(read));
  for (const std::size_t i : archive.byPosition) {
    const tEntry& e = archive.entries[i];
    if (e.IsClass()) {
      walk.classes.push_back({&archive, i});
      continue;
    }
    if (!e.IsNestedArchive()) {
      if (!e.name.ends_with('/') && e.size <= ZYNHierarchy::kMaxResourceText &&
          (e.method == ZYNZip::kStored || e.method == ZYNZip::kDeflated))
        walk.resources.push_back({&archive, i});
      continue;
    }
    if (depth >= kMaxDepth) continue;
    if (e.method == ZYNZip::kStored) {
      if (e.size == e.compressedSize) Collect(e.Data(bytes), depth + 1, room, walk);
      continue;
    }
    if (e.size > ZYNZip::kMaxNestedArchive || ZYNZip::IsBomb(e) || !room.Take(e.size)) continue;
    auto inner = std::make_unique<std::vector<std::uint8_t>>();
    try {
      ZYNZip::Inflate(archive, e, "", ZYNZip::kMaxNestedArchive, *inner, walk.coder);
    } catch (const ZYNError::Fatal&) {
      room.Give(e.size);
      continue;
    }
    const tBytes innerBytes = *walk.inflated.emplace_back(std::move(inner));
    Collect(innerBytes, depth + 1, room, walk);
  }
}

// Collects the archive's entries within the run's room for nested archives.
void Walk(tBytes bytes, tNameWalk& walk) {
  WithNestedRoom(
      walk.room, [&](tNestedRoom& room) { Collect(bytes, 0, room, walk); },
      [&] {
        walk.classes.clear();
        walk.resources.clear();
        walk.inflated.clear();
        walk.archives.clear();
      });
}

// The names of one class entry, nothing when it cannot be read, or that memory ran out.
struct tEntryNames {
  std::optional<ZYNHierarchy::tClassNames> names;
  bool outOfMemory = false;
};

tEntryNames EntryNames(const ZYNZip::tArchive& archive, std::size_t entry, tBudget& budget, tWorkspace& work) {
  tEntryNames r;
  const tEntry& e = archive.entries[entry];
  tBudget::tShare room(budget);
  try {
    TakeClassRoom(room, e);
    ZYNZip::Inflate(archive, e, "", ZYNZip::kMaxClassEntry, work.content, work.coder);
    if (ZYNHierarchy::tClassNames names; ZYNHierarchy::ReadNames(work.content, names)) r.names = std::move(names);
  } catch (const ZYNError::Fatal&) {
  } catch (const std::bad_alloc&) {
    r.outOfMemory = true;
  }
  work.Trim(room.Held());
  return r;
}

}  // namespace

void ReadNames(std::span<const std::uint8_t> bytes, unsigned threads, tMemory& memory,
               std::vector<ZYNHierarchy::tClassNames>& classes) {
  tNameWalk walk(memory);
  Walk(bytes, walk);
  walk.resources.clear();
  // Inflating is most of the work: the entries are read on every thread, and taken in order.
  auto run = [&walk, &memory](std::size_t k, tWorkspace& work) {
    return EntryNames(*walk.classes[k].first, walk.classes[k].second, memory.classes, work);
  };
  std::optional<ZYNBatch::Batch<tEntryNames, tWorkspace>> batch;
  if (threads > 1 && walk.classes.size() > 1) batch.emplace(walk.classes.size(), threads, run);
  tWorkspace own;
  for (std::size_t k = 0; k < walk.classes.size(); ++k) {
    tEntryNames r = batch ? batch->Take(k) : run(k, own);
    if (r.outOfMemory) throw std::bad_alloc();
    if (r.names) classes.push_back(std::move(*r.names));
    if (batch) batch->Committed(k);
  }
}

void ReadWords(std::span<const std::uint8_t> bytes, tMemory& memory, ZYNHierarchy::tRunFacts& facts) {
  tNameWalk walk(memory);
  Walk(bytes, walk);
  std::vector<std::uint8_t> text;
  for (const auto& [archive, entry] : walk.resources) {
    try {
      ZYNZip::Inflate(*archive, archive->entries[entry], "", ZYNHierarchy::kMaxResourceText, text, walk.coder);
    } catch (const ZYNError::Fatal&) {
      continue;  // not read for words; the entry is copied as it is
    }
    facts.AddWords(text);
  }
}

}  // namespace ZYNArchive
