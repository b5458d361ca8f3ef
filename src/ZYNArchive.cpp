#include "ZYNArchive.h"

#include <algorithm>
#include <memory>
#include <new>
#include <optional>
#include <unordered_map>
#include <vector>

#include "FormatUtils.h"
#include "Platform.h"
#include "ZYNBatch.h"
#include "ZYNClass.h"
#include "ZYNData.h"
#include "ZYNError.h"
#include "ZYNMain.h"
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

struct tEntryResult {
  ZYNClass::tFileResult file;
  std::unique_ptr<tReplacement> replacement;  // nothing when the class came out as it went in
};

// Reads an archive's directory and those of the archives inside it, and lists their class entries in
// writing order. Errors (a damaged archive) end the run. Deflated nested archives are held inflated while
// the listed archive is processed: together they may take up to `room` bytes (a few small entries that each
// inflate to a gibibyte must not exhaust memory).
std::unique_ptr<tNode> Open(tBytes bytes, std::string shown, int depth, std::vector<tTask>& tasks,
                            std::uint64_t& room, const ZYNHierarchy::tRunFacts& facts) {
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
      if (e.size > room && e.size <= ZYNZip::kMaxNestedArchive)
        ZYNError::Message("Archive \"", node->shown, "\" holds more than 1 GiB of compressed nested archives");
      ZYNZip::Inflate(node->archive, e, node->shown, ZYNZip::kMaxNestedArchive, owned);
      room -= owned.size();
      inner = owned;
    }
    // An entry of such a name that holds no archive stays as it is.
    if (!ZYNZip::IsArchive(inner)) continue;
    node->nested[i] = Open(inner, node->shown + "!" + e.name, depth + 1, tasks, room, facts);
    node->nested[i]->owned = std::move(owned);  // the bytes stay where they are
  }
  return node;
}

// Optimizes a class entry: inflated, through the core, and compressed again only when it changed.
tEntryResult RunTask(const tTask& task) {
  tEntryResult r;
  const tEntry& e = task.node->archive.entries[task.entry];
  thread_local std::vector<std::uint8_t> content;
  try {
    ZYNZip::Inflate(task.node->archive, e, task.node->shown, ZYNZip::kMaxClassEntry, content);
    r.file = ZYNClass::OptimizeFile(content, ZYNClass::ReduceMembers, ZYNClass::tWrite::Always, task.facts);
    if (r.file.error.empty() && r.file.bytes != content)
      r.replacement = std::make_unique<tReplacement>(ZYNZip::Compress(r.file.bytes, e.method));
  } catch (const ZYNError::Fatal& error) {
    r.file.error = error.Line();
  } catch (const std::bad_alloc&) {
    r.file.error = ZYNError::ErrorLine("Not enough memory");
  }
  r.file.bytes = {};
  return r;
}

// Ends the writing of an archive whose entry failed (its line is printed).
struct tStopped {};

void PrintWarning(const std::string& shown, const std::string& why) {
  FormatUtils::PrintText("WARNING: Archive \"" + FormatUtils::Printable(shown) + "\" left unchanged: " +
                         FormatUtils::Printable(why));
  FormatUtils::PrintLn();
}

// Takes the results of the class entries in order while an archive is written, and prints their lines.
class Writer {
public:
  Writer(const std::vector<tTask>& tasks, unsigned threads, tTotals& totals) : tasks_(tasks), totals_(totals) {
    if (threads > 1 && tasks.size() > 1)
      batch_.emplace(tasks.size(), threads,
                     [this](std::size_t k, Platform::FileBuffer&) { return RunTask(tasks_[k]); });
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
      tEntryResult r = batch_ ? batch_->Take(k) : RunTask(tasks_[k]);
      ++totals_.files;
      if (!ZYNMain::PrintFileLine(node.shown + "!" + e.name, r.file)) throw tStopped{};
      totals_.reduction += r.file.change;
      FormatUtils::PrintLn();
      if (batch_) batch_->Committed(k);
      node.current = std::move(r.replacement);
    } else if (i < node.nested.size() && node.nested[i]) {
      tNode& inner = *node.nested[i];
      if (!inner.keep.empty()) {
        PrintWarning(inner.shown, inner.keep);
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
      node.current = std::make_unique<tReplacement>(ZYNZip::Compress(bytes, e.method));
    }
    if (const auto it = node.repeated.find(i); it != node.repeated.end()) it->second = node.current;
    return node.current.get();
  }

  const std::vector<tTask>& tasks_;
  tTotals& totals_;
  std::optional<ZYNBatch::Batch<tEntryResult>> batch_;
  std::size_t next_ = 0;
};

// Writes the archive (or, with -tst, only measures it) and puts it in place. False when a class entry failed.
bool WriteArchive(const std::string& name, tBytes original, tJob& job, unsigned threads, tTotals& totals) {
  const bool write = !ZYNData::Params.tst;
  Platform::TempFile temp;
  if (write && !temp.Create(name))
    ZYNError::Message("File \"", ZYNData::Params.old ? ZYNMain::BackupName(name, true) : name, "\" not written: ",
                      Platform::LastError());
  std::uint64_t size = 0;
  const bool written = job.Write(threads, totals, [&](tBytes part) {
    size += part.size();
    if (write) temp.Write(part);
  });
  if (!written) return false;
  totals.archiveReduction += static_cast<std::int64_t>(original.size()) - static_cast<std::int64_t>(size);
  if (!write) return true;
  const std::string target = ZYNData::Params.old ? ZYNMain::BackupName(name, true) : name;
  if (!temp.Close()) ZYNError::Message("File \"", target, "\" not written: ", Platform::LastError());
  // What reached the disk is read back before it replaces anything.
  std::string why = "it cannot be read";
  if (Platform::MappedFile file; file.Map(temp.Name())) why = job.Verify(file.Bytes());
  if (!why.empty()) ZYNError::Message("File \"", target, "\" not written: it does not read back: ", why);
  ZYNMain::Commit(name, temp, true);
  return true;
}

}  // namespace

tJob::tJob(std::span<const std::uint8_t> bytes, const std::string& shown, const ZYNHierarchy::tRunFacts& facts) {
  std::uint64_t room = ZYNZip::kMaxNestedArchive;
  top_ = Open(bytes, shown, 0, tasks_, room, facts);
}

tJob::~tJob() = default;

const std::string& tJob::Keep() const { return top_->keep; }

bool tJob::Write(unsigned threads, tTotals& totals, const ZYNZip::tEmit& emit) {
  try {
    Writer writer(tasks_, threads, totals);
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

bool IsArchive(std::span<const std::uint8_t> bytes) {
  return !MayBeClassFile(bytes.first(std::min<std::size_t>(bytes.size(), 4))) && ZYNZip::IsArchive(bytes);
}

bool Process(const std::string& name, unsigned threads, const ZYNHierarchy::tRunFacts& facts, tTotals& totals) {
  totals.archives = true;
  Platform::MappedFile file;
  if (!file.Map(name)) {
    FormatUtils::PrintText(name);
    ZYNError::PrintError(ZYNError::Fatal(ZYNError::ErrorLine("File ", "\"", name, "\" not open")));
    return false;
  }
  std::optional<tJob> job;
  try {
    job.emplace(file.Bytes(), name, facts);
  } catch (const ZYNError::Fatal& error) {
    FormatUtils::PrintText(name);
    ZYNError::PrintError(error);
    return false;
  }
  if (!job->Keep().empty()) {
    PrintWarning(name, job->Keep());
    return true;
  }
  // An error in writing comes on a line of its own, after the archive's name.
  try {
    return WriteArchive(name, file.Bytes(), *job, threads, totals);
  } catch (const ZYNError::Fatal&) {
    FormatUtils::PrintText(name);
    throw;
  }
}

namespace {

// The class entries of an archive and of the archives inside it, with what keeps them readable, and the
// entries that may be resource texts.
struct tNameWalk {
  std::vector<std::unique_ptr<ZYNZip::tArchive>> archives;
  std::vector<std::unique_ptr<std::vector<std::uint8_t>>> inflated;  // deflated nested archives
  std::vector<std::pair<const ZYNZip::tArchive*, std::size_t>> classes;
  std::vector<std::pair<const ZYNZip::tArchive*, std::size_t>> resources;
  std::uint64_t room = ZYNZip::kMaxNestedArchive;
};

void Collect(tBytes bytes, int depth, tNameWalk& walk) {
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
      if (e.size == e.compressedSize) Collect(e.Data(bytes), depth + 1, walk);
      continue;
    }
    if (e.size > walk.room) continue;
    auto inner = std::make_unique<std::vector<std::uint8_t>>();
    try {
      ZYNZip::Inflate(archive, e, "", ZYNZip::kMaxNestedArchive, *inner);
    } catch (const ZYNError::Fatal&) {
      continue;
    }
    walk.room -= inner->size();
    const tBytes innerBytes = *walk.inflated.emplace_back(std::move(inner));
    Collect(innerBytes, depth + 1, walk);
  }
}

// The names of one class entry, or nothing when it cannot be read.
std::optional<ZYNHierarchy::tClassNames> EntryNames(const ZYNZip::tArchive& archive, std::size_t entry) {
  thread_local std::vector<std::uint8_t> content;
  try {
    ZYNZip::Inflate(archive, archive.entries[entry], "", ZYNZip::kMaxClassEntry, content);
    if (ZYNHierarchy::tClassNames names; ZYNHierarchy::ReadNames(content, names)) return names;
  } catch (const ZYNError::Fatal&) {
  } catch (const std::bad_alloc&) {
  }
  return std::nullopt;
}

}  // namespace

void ReadNames(std::span<const std::uint8_t> bytes, unsigned threads,
               std::vector<ZYNHierarchy::tClassNames>& classes) {
  tNameWalk walk;
  try {
    Collect(bytes, 0, walk);
  } catch (const std::bad_alloc&) {
    // What could not be read adds nothing; the archive's turn reports it.
  }
  walk.resources.clear();
  // Inflating is most of the work: the entries are read on every thread, and taken in order.
  using tNames = std::optional<ZYNHierarchy::tClassNames>;
  auto run = [&walk](std::size_t k, Platform::FileBuffer&) {
    return EntryNames(*walk.classes[k].first, walk.classes[k].second);
  };
  std::optional<ZYNBatch::Batch<tNames>> batch;
  if (threads > 1 && walk.classes.size() > 1) batch.emplace(walk.classes.size(), threads, run);
  Platform::FileBuffer unused;
  for (std::size_t k = 0; k < walk.classes.size(); ++k) {
    if (tNames names = batch ? batch->Take(k) : run(k, unused)) classes.push_back(std::move(*names));
    if (batch) batch->Committed(k);
  }
}

void ReadWords(std::span<const std::uint8_t> bytes, ZYNHierarchy::tRunFacts& facts) {
  tNameWalk walk;
  std::vector<std::uint8_t> text;
  try {
    Collect(bytes, 0, walk);
    for (const auto& [archive, entry] : walk.resources) {
      try {
        ZYNZip::Inflate(*archive, archive->entries[entry], "", ZYNHierarchy::kMaxResourceText, text);
      } catch (const ZYNError::Fatal&) {
        continue;  // not read for words; the entry is copied as it is
      }
      facts.AddWords(text);
    }
  } catch (const std::bad_alloc&) {
    // Words that cannot be read protect nothing; the archive's turn reports what is wrong.
  }
}

}  // namespace ZYNArchive
