#include "ZYNRerun.h"

#include <algorithm>
#include <new>
#include <utility>

#include "Platform.h"
#include "ZYNBatch.h"
#include "ZYNNest.h"

namespace ZYNRerun {

namespace {

// The bytes of a class file: those the names pass kept, or read into the buffer; empty when it cannot be read.
std::span<const std::uint8_t> BytesOf(const std::string& name, std::span<const std::uint8_t> kept,
                                      Platform::FileBuffer& buffer) {
  if (!kept.empty()) return kept;
  return Platform::ReadFile(name, buffer) ? buffer.Bytes() : std::span<const std::uint8_t>();
}

// Whether the run made these bytes: a whole class, byte for byte the file's.
bool Made(const ZYNClass::tFileResult& result, std::span<const std::uint8_t> file) {
  return result.error.empty() && !result.bytes.empty() && std::ranges::equal(result.bytes, file);
}

// A unit of the check's work: one class file, or a nest with a judged class.
struct tWork {
  std::vector<std::size_t> units;
  bool nest = false;
};

}  // namespace

std::vector<tVerdict> Check(const std::vector<tUnit>& units, const std::vector<std::vector<std::size_t>>& nests,
                            const ZYNData::tParams& params, const ZYNHierarchy::tRunFacts& facts, unsigned threads,
                            ZYNArchive::tMemory& memory) {
  std::vector<tVerdict> verdicts(units.size());
  // The check compares bytes, which a run that writes nothing makes too.
  ZYNData::tParams making = params;
  making.tst = false;
  std::vector<bool> inNest(units.size(), false);
  std::vector<tWork> work;
  for (const std::vector<std::size_t>& nest : nests) {
    for (std::size_t u : nest) inNest[u] = true;
    if (std::any_of(nest.begin(), nest.end(), [&](std::size_t u) { return !units[u].backup.empty(); }))
      work.push_back({nest, true});
  }
  for (std::size_t u = 0; u < units.size(); ++u)
    if (!inNest[u] && !units[u].archive && !units[u].backup.empty()) work.push_back({{u}, false});
  const auto run = [&](std::size_t w, unsigned) {
    std::vector<std::pair<std::size_t, tVerdict>> found;
    const std::vector<std::size_t>& group = work[w].units;
    try {
      std::vector<Platform::FileBuffer> originals(group.size()), files(group.size());
      std::vector<std::span<const std::uint8_t>> sources;
      for (std::size_t i = 0; i < group.size(); ++i) {
        const tUnit& unit = units[group[i]];
        if (unit.backup.empty()) sources.push_back(BytesOf(unit.name, unit.bytes, files[i]));
        else if (Platform::ReadFile(unit.backup, originals[i])) sources.push_back(originals[i].Bytes());
        else return found;  // an unreadable backup: nothing done
      }
      std::vector<ZYNClass::tFileResult> results;
      if (work[w].nest) results = ZYNNest::OptimizeNest(sources, &facts, making, ZYNClass::tWrite::Always);
      else results.push_back(ZYNClass::OptimizeFile(sources[0], making, ZYNClass::ReduceMembers,
                                                    ZYNClass::tWrite::Always, &facts));
      for (std::size_t i = 0; i < group.size(); ++i) {
        const tUnit& unit = units[group[i]];
        if (unit.backup.empty()) continue;
        tVerdict v;
        v.done = Made(results[i], BytesOf(unit.name, unit.bytes, files[i]));
        if (v.done) {
          results[i].bytes = std::vector<std::uint8_t>();
          v.result = std::move(results[i]);
        }
        found.emplace_back(group[i], std::move(v));
      }
    } catch (const std::bad_alloc&) {
      found.clear();  // not checked: processed as if not done
    }
    return found;
  };
  ZYNBatch::ForEachInOrder(work.size(), threads, run, [&](std::size_t, std::vector<std::pair<std::size_t, tVerdict>> found) {
    for (auto& [u, v] : found) verdicts[u] = std::move(v);
    return true;
  });
  for (std::size_t u = 0; u < units.size(); ++u)
    if (units[u].archive && !units[u].backup.empty())
      verdicts[u].done = ZYNArchive::Makes(units[u].name, units[u].backup, threads, params, facts, memory);
  return verdicts;
}

}  // namespace ZYNRerun
