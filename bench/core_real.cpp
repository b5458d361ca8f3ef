// The core on real classes held in memory: every class file of the folders and jars named (jar entries
// inflated once, before timing), optimized with ZYNClass::OptimizeFile as a run does it after reading the
// run's names, with no file I/O in the figure. Reports MB/s of input per core (the thread's CPU time) for
// -tst, the default keys and -super, the median of R passes over all classes.
//
// usage: zyn_core_real [--runs R] PATH...   (PATH: a folder, searched for *.class at any depth, or a jar)
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ZYNClass.h"
#include "ZYNData.h"
#include "ZYNError.h"
#include "ZYNHierarchy.h"
#include "ZYNZip.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void AddJar(const std::string& name, std::vector<Bytes>& classes) {
  const Bytes jar = ReadAll(name);
  const ZYNZip::tArchive archive = ZYNZip::Read(jar, name);
  for (const ZYNZip::tEntry& entry : archive.entries)
    if (entry.IsClass()) ZYNZip::Inflate(archive, entry, name, UINT32_MAX, classes.emplace_back());
}

void AddTree(const std::string& name, std::vector<Bytes>& classes) {
  std::vector<std::filesystem::path> paths;
  for (const auto& item : std::filesystem::recursive_directory_iterator(name))
    if (item.is_regular_file() && item.path().extension() == ".class") paths.push_back(item.path());
  std::sort(paths.begin(), paths.end());
  for (const auto& path : paths) classes.push_back(ReadAll(path));
}

double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct tKeys {
  const char* name;
  ZYNData::tParams params;
};

// One pass over every class; the bytes written, so that the work cannot be left out.
std::uint64_t Pass(const std::vector<Bytes>& classes, const ZYNHierarchy::tRunFacts& facts, const ZYNData::tParams& params,
                   std::size_t& failed) {
  std::uint64_t out = 0;
  failed = 0;
  for (const Bytes& bytes : classes) {
    const ZYNClass::tFileResult result =
        ZYNClass::OptimizeFile(bytes, params, ZYNClass::ReduceMembers, ZYNClass::tWrite::AsKeys, &facts);
    out += result.bytes.size();
    failed += result.error.empty() ? 0 : 1;
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 7;
  std::vector<Bytes> classes;
  try {
    for (int i = 1; i < argc; ++i) {
      const std::string arg = argv[i];
      if (arg == "--runs" && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
      else if (std::filesystem::is_directory(arg)) AddTree(arg, classes);
      else AddJar(arg, classes);
    }
  } catch (const ZYNError::Fatal& error) {
    std::fprintf(stderr, "zyn_core_real: %s\n", error.Line().c_str());
    return 1;
  }
  if (classes.empty()) {
    std::fprintf(stderr, "usage: zyn_core_real [--runs R] PATH... (folders of class files, jars)\n");
    return 2;
  }
  std::uint64_t input = 0;
  ZYNHierarchy::tRunFacts facts;
  for (const Bytes& bytes : classes) {
    input += bytes.size();
    ZYNHierarchy::tClassNames names;
    if (ZYNHierarchy::ReadNames(bytes, names)) facts.Add(std::move(names));
  }
  facts.Finish();
  std::printf("%zu classes, %.1f MB in memory; median of %d passes, one thread\n", classes.size(),
              static_cast<double>(input) / 1e6, runs);
  tKeys keys[3] = {{"-tst", {}}, {"default keys", {}}, {"-super", {}}};
  keys[0].params.tst = true;
  ZYNData::tParams& super = keys[2].params;
  super.var = super.lin = super.src = super.uattr = super.depr = super.synt = true;
  for (const tKeys& k : keys) {
    std::size_t failed = 0;
    Pass(classes, facts, k.params, failed);  // warms the caches and the allocator
    std::vector<double> seconds;
    std::uint64_t out = 0;
    for (int r = 0; r < runs; ++r) {
      const double start = CpuSeconds();
      out = Pass(classes, facts, k.params, failed);
      seconds.push_back(CpuSeconds() - start);
    }
    std::sort(seconds.begin(), seconds.end());
    const double median = seconds[seconds.size() / 2];
    std::printf("%-13s %7.3f s CPU  %7.1f MB/s per core  (%.1f MB out, %zu refused)\n", k.name, median,
                static_cast<double>(input) / 1e6 / median, static_cast<double>(out) / 1e6, failed);
  }
  return 0;
}
