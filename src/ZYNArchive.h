// Archives as a source of class files: every class entry of a jar (and of the jars inside it) goes through
// the core on the batch's threads; the archive is written again with only those entries changed.
// Uses: FileModule, FileModuleList, Platform, ZYNBatch, ZYNClass, ZYNData, ZYNError, ZYNHierarchy, ZYNNest,
//   ZYNReport, ZYNZip.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "ZYNBatch.h"
#include "ZYNData.h"
#include "ZYNHierarchy.h"
#include "ZYNReport.h"
#include "ZYNZip.h"

namespace ZYNArchive {

struct tKeptArchive;

// The class entries of listed archives that the names pass inflated and keeps for the core, until the
// archive's turn: by the archive's name as the run lists it.
class tKept {
public:
  tKept();
  ~tKept();
  tKept(const tKept&) = delete;
  tKept& operator=(const tKept&) = delete;
  // An archive of a name that has its entries kept already keeps those.
  void Put(const std::string& archive, std::unique_ptr<tKeptArchive> entries);
  // The archive's entries, no longer kept here (nothing when none are).
  std::unique_ptr<tKeptArchive> Take(const std::string& archive);

private:
  std::mutex mutex_;
  std::unordered_map<std::string, std::unique_ptr<tKeptArchive>> archives_;
};

// The memory that the archives of one run may hold, shared by all its threads and archives; a unit that
// finds it taken waits until it is given back.
struct tMemory {
  // A class entry takes this many times its size while it is optimized: its bytes, the core's copy of its
  // pool, the class written and its compressed form.
  static constexpr std::uint64_t kClassWork = 4;
  // Deflated nested archives, held inflated while their listed archive is read or processed.
  ZYNBatch::tBudget nested{ZYNZip::kMaxNestedArchive};
  // Class entries being inflated and optimized: room for the largest alone.
  ZYNBatch::tBudget classes{kClassWork * ZYNZip::kMaxClassEntry};
  // Class files and entries that the names pass read, kept for the core (loose files and archives alike).
  static constexpr std::uint64_t kHeldInput = std::uint64_t{256} << 20;
  ZYNBatch::tHeld held{kHeldInput};
  // The archives' class entries in `held` (given back to it, so destroyed before it).
  tKept kept;
};

// Whether a file that begins with these bytes (up to 4) may be a class file.
bool MayBeClassFile(std::span<const std::uint8_t> head);

struct tNode;
struct tTask;

// One archive in memory, listed or an entry's bytes: read, its class entries optimized, written again.
class tJob {
public:
  // Reads the directories of the archive and of the archives inside it; a damaged archive ends through
  // ZYNError::Message. The bytes and the memory must outlive the job, which holds its nested archives'
  // room until it is destroyed. The class entries that ReadNames kept under the name `shown` serve the
  // core where the entry still holds the data they came from; the others are given back.
  // With `again`, what the names pass found of the archive's nests stays for a later job under that name.
  tJob(std::span<const std::uint8_t> bytes, const std::string& shown, const ZYNHierarchy::tRunFacts& facts,
       tMemory& memory, bool again = false);
  ~tJob();
  // Why the archive must stay as it is (its warning), or empty.
  const std::string& Keep() const;
  // Optimizes the class entries on `threads` threads, reports their table lines, and writes the archive
  // through `emit`. False when a class entry failed (its line reported); errors in writing a nested archive
  // end through ZYNError::Message.
  bool Write(unsigned threads, const ZYNData::tParams& params, ZYNReport::tReport& report, const ZYNZip::tEmit& emit);
  // What does not match between the written bytes and what Write meant, or an empty text.
  std::string Verify(std::span<const std::uint8_t> written) const;
  // Whether Write replaced an entry (otherwise it wrote the bytes as they were).
  bool Replaced() const;

private:
  void FindNests(const tKeptArchive& kept);

  tMemory& memory_;
  const ZYNHierarchy::tRunFacts& facts_;
  ZYNBatch::tBudget::tShare nestedRoom_;
  std::unique_ptr<tNode> top_;
  std::vector<tTask> tasks_;
  // The whole nests among the class entries of each archive (nested archives apart), as indexes of tasks_.
  std::vector<std::vector<std::size_t>> nests_;
  std::vector<ZYNZip::tWritten> values_;
};

// Processes the archive file in its turn: a table line per class entry, then the archive written (unless
// -tst) through a temporary file that is read back and checked before it replaces anything. An archive
// that must not change is left as it is, with a warning. False when an error ended the run (its line
// reported).
// With a `source`, the lines are those of that file (the archive's backup) and nothing is written.
struct tHow {
  unsigned threads;
  const ZYNData::tParams& params;
};
bool Process(const std::string& name, const tHow& how, const ZYNHierarchy::tRunFacts& facts, tMemory& memory,
             ZYNReport::tReport& report, const std::string& source = {});
// Whether the archive's bytes are exactly what the run makes of `backup` (nothing printed or written); false
// also where the backup cannot be read, is damaged, or stays as it is.
bool Makes(const std::string& name, const std::string& backup, unsigned threads, const ZYNData::tParams& params,
           const ZYNHierarchy::tRunFacts& facts, tMemory& memory);

// Hands the names of every class entry of the archive (nested archives included) that can be read to `add`,
// in entry order on the calling thread, as they are read; an archive or entry that cannot be read adds nothing
// (its error comes in its turn), and a lack of memory throws std::bad_alloc (names left out would change what
// other classes may do). The class entries are read on `threads` threads, and kept for the archive's turn
// under its name while `memory.held` has room.
void ReadNames(const std::string& name, std::span<const std::uint8_t> bytes, unsigned threads, tMemory& memory,
               const std::function<void(ZYNHierarchy::tClassFacts&&)>& add);
// Adds the words of the archive's resource entries (nested archives included) that name a private member of
// the run (ZYNHierarchy::tRunFacts::AddWords), and the keep rules its entries ship (ZYNRules); the same.
void ReadWords(std::span<const std::uint8_t> bytes, const std::string& name, tMemory& memory,
               ZYNHierarchy::tRunFacts& facts);

}  // namespace ZYNArchive
