// Inputs that once broke a promise of a fuzz target, kept under tests/fuzz/<target>/ by what they showed:
// each must now keep every promise. The fuzz targets need clang; these run in every build.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "FuzzChecks.h"
#include "TestSupport.h"

namespace {

using FuzzReplayTest = ::testing::Test;

TEST_F(FuzzReplayTest, KeptFindingsKeepEveryPromise) {
  const struct {
    const char* target;
    std::string (*check)(ZYNFuzz::tInput);
  } targets[] = {{"class", ZYNFuzz::CheckClass}, {"archive", ZYNFuzz::CheckArchive}, {"cmdline", ZYNFuzz::CheckCommandLine},
                 {"rules", ZYNFuzz::CheckRules}};
  std::size_t replayed = 0;
  for (const auto& t : targets) {
    // A target without findings has no folder.
    const std::filesystem::path dir = std::filesystem::path(ZYN_SOURCE_DIR) / "tests" / "fuzz" / t.target;
    std::vector<std::filesystem::path> inputs;
    if (std::filesystem::is_directory(dir))
      for (const auto& entry : std::filesystem::directory_iterator(dir)) inputs.push_back(entry.path());
    std::sort(inputs.begin(), inputs.end());
    replayed += inputs.size();
    for (const std::filesystem::path& input : inputs) {
      SCOPED_TRACE(std::string(t.target) + "/" + input.filename().string());
      const Bytes bytes = ReadFileBytes(input.string());
      std::string why;
      Captured([&] { why = t.check(bytes); });
      EXPECT_EQ(why, "");
    }
  }
  EXPECT_GE(replayed, 3u);
}

}  // namespace
