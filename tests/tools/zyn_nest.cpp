// Optimizes the class files of a folder in place, the classes of each nest together through the core for a
// nest, and prints what it saved and how many nests went one class at a time, and why. With -nonest every
// class goes through the core for one class, as the batch does it today: the two runs compare the rules.
//
//   zyn_nest [-super] [-noren] [-nonest] FOLDER
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "FileModule.h"
#include "Platform.h"
#include "ZYNClass.h"
#include "ZYNData.h"
#include "ZYNError.h"
#include "ZYNHierarchy.h"
#include "ZYNNest.h"

namespace {

struct Counts {
  long long in = 0, saved = 0, classes = 0, errors = 0;
  long long nests = 0, nestClasses = 0, incomplete = 0, warned = 0, failed = 0;
  ZYNNest::tReport report;
};

constexpr const char* kReasonNames[ZYNNest::tReport::kReasons] = {
    "removed", "renamed across pools (with entries dropped)", "own pool only, renamed (old name bytes)",
    "own pool only, kept", "protected as for one class",
    "named in the nest", "Kotlin or Scala class", "native", "reached through another class", "shared name entry",
    "no shorter name"};

void PrintReport(const ZYNNest::tReport& report) {
  std::cout << "private members of whole nests: members, bytes (saved, or name bytes left)\n";
  for (std::size_t r = 0; r < ZYNNest::tReport::kReasons; ++r)
    std::cout << "  " << kReasonNames[r] << ": " << report.members[r] << ", " << report.bytes[r] << "\n";
}

bool IsClass(const std::string& path) { return path.size() > 6 && path.compare(path.size() - 6, 6, ".class") == 0; }

// The run's facts, as the batch reads them before it optimizes a class.
void ReadFacts(const std::map<std::string, std::vector<std::uint8_t>>& files, ZYNHierarchy::tRunFacts& facts) {
  for (const auto& [path, bytes] : files) {
    ZYNHierarchy::tClassNames names;
    if (IsClass(path) && ZYNHierarchy::ReadNames(bytes, names)) facts.Add(std::move(names));
  }
  facts.Finish();
  for (const auto& [path, bytes] : files)
    if (!IsClass(path) && bytes.size() <= ZYNHierarchy::kMaxResourceText) facts.AddWords(bytes);
}

// The host each class names (empty: in no nest, or not readable), and whether it read with warnings.
std::string HostOf(const std::vector<std::uint8_t>& bytes, bool& warned) {
  const ZYNData::tParams params;
  ZYNClass::tContext ctx(params);
  try {
    FileModule::Reset(ctx.in, bytes);
    const auto cls = ZYNClass::ReadClass(ctx);
    warned = ctx.diag.WarnCount != 0;
    return ZYNNest::HostOf(*cls);
  } catch (const ZYNError::Fatal&) {
    return {};
  }
}

// Whether the classes read are a complete nest.
bool Complete(const std::vector<std::span<const std::uint8_t>>& classes) {
  const ZYNData::tParams params;
  std::vector<std::unique_ptr<ZYNClass::tClassDesc>> read;
  std::vector<const ZYNClass::tClassDesc*> nest;
  try {
    for (std::size_t i = 0; i < classes.size(); ++i) {
      ZYNClass::tContext ctx(params);
      FileModule::Reset(ctx.in, classes[i]);
      nest.push_back(read.emplace_back(ZYNClass::ReadClass(ctx)).get());
    }
  } catch (const ZYNError::Fatal&) {
    return false;
  }
  return ZYNNest::CompleteNest(nest);
}

void Store(const std::string& path, const ZYNClass::tFileResult& result, Counts& counts) {
  ++counts.classes;
  counts.in += result.oldSize;
  if (!result.error.empty()) {
    ++counts.errors;
    std::cout << path << ": " << result.error.Line() << "\n";
    return;
  }
  counts.saved += result.change;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(result.bytes.data()), static_cast<std::streamsize>(result.bytes.size()));
  if (!out.flush()) std::cout << path << ": not written\n";
}

void OptimizeGroup(const std::string& folder, const std::vector<std::string>& paths,
                   const std::map<std::string, std::vector<std::uint8_t>>& files, const ZYNHierarchy::tRunFacts& facts,
                   bool warned, const ZYNData::tParams& params, Counts& counts) {
  std::vector<std::span<const std::uint8_t>> classes;
  for (const std::string& path : paths) classes.emplace_back(files.at(path));
  const auto results =
      ZYNNest::OptimizeNest(classes, &facts, params, ZYNClass::tWrite::AsKeys, &counts.report);
  ++counts.nests;
  counts.nestClasses += static_cast<long long>(paths.size());
  if (!Complete(classes)) ++counts.incomplete;
  if (warned && !params.uattr) ++counts.warned;
  bool failed = false;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    failed = failed || !results[i].error.empty();
    Store(folder + "/" + paths[i], results[i], counts);
  }
  if (failed) ++counts.failed;
}

}  // namespace

int main(int argc, char** argv) {
  bool nest = true;
  ZYNData::tParams params;
  int arg = 1;
  for (; arg < argc && argv[arg][0] == '-'; ++arg) {
    if (std::strcmp(argv[arg], "-super") == 0) {
      params.var = params.lin = params.src = params.uattr = params.depr = params.synt = true;
    } else if (std::strcmp(argv[arg], "-noren") == 0) {
      params.noren = true;
    } else if (std::strcmp(argv[arg], "-nonest") == 0) {
      nest = false;
    }
  }
  if (arg + 1 != argc) {
    std::cout << "usage: zyn_nest [-super] [-noren] [-nonest] FOLDER\n";
    return 2;
  }
  const std::string folder = argv[arg];
  std::vector<std::string> paths;
  if (!Platform::WalkTree(folder, paths)) return 1;
  std::map<std::string, std::vector<std::uint8_t>> files;
  for (const std::string& path : paths) {
    Platform::FileBuffer buffer;
    if (Platform::ReadFile(folder + "/" + path, buffer)) files[path].assign(buffer.Bytes().begin(), buffer.Bytes().end());
  }
  ZYNHierarchy::tRunFacts facts;
  ReadFacts(files, facts);
  std::map<std::string, std::vector<std::string>> nests;
  std::map<std::string, bool> warnedNest;
  Counts counts;
  for (const auto& [path, bytes] : files) {
    if (!IsClass(path)) continue;
    bool warned = false;
    const std::string host = nest ? HostOf(bytes, warned) : std::string();
    if (host.empty()) {
      Store(folder + "/" + path,
            ZYNClass::OptimizeFile(bytes, params, ZYNClass::ReduceMembers, ZYNClass::tWrite::AsKeys, &facts), counts);
      continue;
    }
    nests[host].push_back(path);
    warnedNest[host] = warnedNest[host] || warned;
  }
  for (const auto& [host, members] : nests) {
    OptimizeGroup(folder, members, files, facts, warnedNest[host], params, counts);
  }
  std::cout << "classes " << counts.classes << " bytes " << counts.in << " saved " << counts.saved << " errors "
            << counts.errors << "\n";
  if (nest)
    std::cout << "nests " << counts.nests << " (" << counts.nestClasses << " classes), incomplete " << counts.incomplete
              << ", with warnings " << counts.warned << ", with an error " << counts.failed << "\n";
  if (nest) PrintReport(counts.report);
  return 0;
}
