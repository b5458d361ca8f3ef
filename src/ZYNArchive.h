// Archives as a source of class files: every class entry of a jar (and of the jars inside it) goes through
// the core on the batch's threads; the archive is written again with only those entries changed.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "ZYNHierarchy.h"

namespace ZYNArchive {

// The run's counts that archives add to.
struct tTotals {
  std::int32_t files = 0;            // class files, loose or entries
  std::int32_t reduction = 0;        // the sum of their Change column
  std::int64_t archiveReduction = 0;  // by how many bytes the archive files shrank
  bool archives = false;             // an archive was processed
};

// Whether a listed file's bytes are an archive rather than a class file.
bool IsArchive(std::span<const std::uint8_t> bytes);
// Whether a file that begins with these bytes (up to 4) may be a class file.
bool MayBeClassFile(std::span<const std::uint8_t> head);

// Processes the archive file in its turn: a table line per class entry, then the archive written (unless
// -tst) through a temporary file that is read back and checked before it replaces anything. An archive
// that must not change is left as it is, with a warning. False when an error ended the run (its line
// printed); errors in writing end the run through ZYNError::Message.
bool Process(const std::string& name, unsigned threads, const ZYNHierarchy::tRunFacts& facts, tTotals& totals);

// Adds the names of every class entry of the archive (nested archives included) that can be read; an
// archive or entry that cannot be read adds nothing (its error comes in its turn).
// The class entries are read on `threads` threads.
void ReadNames(std::span<const std::uint8_t> bytes, unsigned threads, std::vector<ZYNHierarchy::tClassNames>& classes);

}  // namespace ZYNArchive
