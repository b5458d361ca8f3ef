// Whatever bytes a file holds, the pipeline either processes it or ends with an error: never a crash, a
// hang or undefined behaviour (the sanitizer build runs these too). Real class files are mutated
// deterministically and put through reading, removal, the member pass, marking and writing, and through the
// core that the batch runs.
#include <cstdint>
#include <filesystem>
#include <random>

#include "FileModule.h"
#include "TestSupport.h"
#include "ZYNConstPool.h"
#include "ZYNData.h"
#include "ZYNError.h"
#include "ZYNHierarchy.h"

namespace {

// Runs the whole per-file pipeline on bytes; returns whether it got through without an error.
bool Pipeline(const Bytes& bytes, const ZYNData::tParams& params, bool markAll) {
  try {
    ZYNClass::tContext ctx(params);
    FileModule::Reset(ctx.in, bytes);
    auto cls = ZYNClass::ReadClass(ctx);
    std::int32_t saved = 0;
    for (std::int16_t kind : {ZYNAttr::LineNumberTableAttr, ZYNAttr::UnknownAttr, ZYNAttr::StackMapTableAttr}) {
      for (auto& method : cls->methods) saved += ZYNAttr::Delete(kind, method.attrCount, method.attrs);
      saved += ZYNAttr::Delete(kind, cls->attrCount, cls->attrs);
    }
    ZYNClass::ReduceMembers(*cls, params, saved);
    ZYNConstPool::UnMark(cls->marking);
    if (markAll)
      ZYNConstPool::MarkAll(cls->marking);
    else
      ZYNClass::MarkClass(*cls);
    std::int32_t dropped = 0;
    ZYNConstPool::RenumUnUsed(cls->marking, dropped, saved);
    ZYNClass::WriteClass(ctx.out, *cls);
    return true;
  } catch (const ZYNError::Fatal&) {
    return false;
  }
}

Bytes Mutate(Bytes bytes, std::mt19937& random) {
  const int edits = 1 + static_cast<int>(random() % 4);
  for (int e = 0; e < edits && !bytes.empty(); ++e) {
    const std::size_t at = random() % bytes.size();
    switch (random() % 5) {
      case 0: bytes[at] ^= static_cast<std::uint8_t>(1u << (random() % 8)); break;
      case 1: bytes[at] = 0xFF; break;
      case 2: bytes[at] = 0; break;
      case 3: bytes.resize(at); break;  // truncation anywhere
      default: bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at), static_cast<std::uint8_t>(random())); break;
    }
  }
  return bytes;
}

class RobustnessTest : public ::testing::Test {};

TEST_F(RobustnessTest, MutatedClassFilesAreProcessedOrRefused) {
  std::vector<Bytes> seeds;
  for (const auto& entry : std::filesystem::directory_iterator(ZYN_SOURCE_DIR "/samples"))
    if (entry.path().extension() == ".class") seeds.push_back(ReadFileBytes(entry.path().string()));
  ASSERT_FALSE(seeds.empty());
  ZYNData::tParams params;
  params.nowarn = true;
  std::mt19937 random(20261207);
  int processed = 0, refused = 0, coreRefused = 0;
  testing::internal::CaptureStdout();
  for (const Bytes& seed : seeds) {
    EXPECT_TRUE(Pipeline(seed, params, false));
    for (int i = 0; i < 1500; ++i) {
      const Bytes mutant = Mutate(seed, random);
      (Pipeline(mutant, params, i % 2 == 0) ? processed : refused)++;
      // The core ends a bad file with its error line and no bytes, a good one with bytes and no error.
      const ZYNClass::tFileResult result = ZYNClass::OptimizeFile(mutant, params);
      EXPECT_NE(result.error.empty(), result.bytes.empty()) << result.error.Line();
      if (!result.error.empty()) {
        ++coreRefused;
        EXPECT_EQ(result.error.Line().rfind("ERROR: ", 0), 0u) << result.error.Line();
      }
      // The run's names pass reads every class the core reads (and may read some it refuses).
      ZYNHierarchy::tClassNames names;
      const bool named = ZYNHierarchy::ReadNames(mutant, names);
      if (result.error.empty()) {
        EXPECT_TRUE(named) << "mutant " << i;
      }
    }
  }
  // Nothing of this reaches the console: printing is the batch's.
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  // Both outcomes occur: mutations the format tolerates (constants, code operands) and ones it cannot.
  EXPECT_GT(processed, 0);
  EXPECT_GT(refused, 0);
  EXPECT_GT(coreRefused, 0);
}

}  // namespace
