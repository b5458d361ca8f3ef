// What a run finds done: a file whose backup an earlier run made. Run again after a stop, the same command must
// neither take such a file's result for an original nor replace its backup: a file is done when its bytes are
// exactly what this run makes of its backup, and then it is neither written nor renamed, and its line is the
// one the earlier run printed. Everything else is processed as if no earlier run had been.
// Uses: Platform, ZYNArchive, ZYNBatch, ZYNClass, ZYNData, ZYNHierarchy, ZYNNest.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "ZYNArchive.h"
#include "ZYNClass.h"
#include "ZYNData.h"
#include "ZYNHierarchy.h"

namespace ZYNRerun {

// One listed file as the check sees it.
struct tUnit {
  std::string name;
  std::string backup;  // its backup, where the check judges it (else it only takes part in its nest)
  bool archive = false;
  std::span<const std::uint8_t> bytes;  // the file's bytes as the names pass kept them, or empty (read then)
};

// What the check found of a unit it judged: done, and for a class file what the run makes of the backup (the
// table line the earlier run printed, its bytes let go).
struct tVerdict {
  bool done = false;
  ZYNClass::tFileResult result;
};

// Judges every unit with a backup, on `threads` threads. `nests`: groups of units (by index) that the run
// optimizes as one, where each judged class is made from its backup and the others from themselves.
std::vector<tVerdict> Check(const std::vector<tUnit>& units, const std::vector<std::vector<std::size_t>>& nests,
                            const ZYNData::tParams& params, const ZYNHierarchy::tRunFacts& facts, unsigned threads,
                            ZYNArchive::tMemory& memory);

}  // namespace ZYNRerun
