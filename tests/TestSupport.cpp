#include "TestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>

#include "FormatUtils.h"
#include "Queue.h"
#include "ZYNConstPool.h"
#include "ZYNData.h"
#include "ZYNError.h"
#include "ZYNMain.h"

std::string Captured(const std::function<void()>& f, bool* fatal, std::string* error) {
  testing::internal::CaptureStdout();
  bool failed = false;
  std::string line;
  try {
    f();
  } catch (const ZYNError::Fatal& e) {
    failed = true;
    line = e.Line();
  }
  std::fflush(stdout);
  std::string out = testing::internal::GetCapturedStdout();
  if (fatal != nullptr) *fatal = failed;
  if (error != nullptr) *error = line;
  return out;
}

void ExpectError(const std::function<void()>& f, const std::string& line) {
  bool fatal = false;
  std::string error;
  const std::string out = Captured(f, &fatal, &error);
  EXPECT_TRUE(fatal) << "no error; output: " << out;
  EXPECT_EQ(error, "ERROR: " + line);
  EXPECT_EQ(out, "");
}

std::unique_ptr<ZYNClass::tClassDesc> ReadBytes(const Bytes& bytes, std::vector<std::string>* warnings,
                                                std::int32_t* bytesRead) {
  const ZYNData::tParams params;
  ZYNClass::tContext ctx(params);
  FileModule::Reset(ctx.in, bytes);
  std::unique_ptr<ZYNClass::tClassDesc> cls;
  try {
    cls = ZYNClass::ReadClass(ctx);
  } catch (const ZYNError::Fatal& e) {
    ADD_FAILURE() << "reading failed: " << e.Line();
  }
  if (warnings != nullptr) *warnings = ctx.diag.lines;
  if (bytesRead != nullptr) *bytesRead = ctx.in.PC;
  return cls;
}

Bytes WriteMarked(ZYNClass::tClassDesc& cls, bool markAll) {
  ZYNConstPool::UnMark(cls.marking);
  if (markAll)
    ZYNConstPool::MarkAll(cls.marking);
  else
    ZYNClass::MarkClass(cls);
  std::int32_t dropped = 0, bytes = 0;
  ZYNConstPool::RenumUnUsed(cls.marking, dropped, bytes);
  FileModule::tOutput out;
  ZYNClass::WriteClass(out, cls);
  return out.bytes;
}

int RunLikeMain(const std::vector<std::string>& words) {
  Queue::tQueue queue;
  queue.Init();
  for (const std::string& w : words) queue.Add(std::make_unique<ZYNData::tStringNodeDesc>(w));
  return ZYNMain::Main(queue);
}

RunResult RunZyn(const std::vector<std::string>& words, const std::string& dir) {
  const std::filesystem::path previous = std::filesystem::current_path();
  if (!dir.empty()) std::filesystem::current_path(dir);
  RunResult r;
  r.out = Captured([&] { r.code = RunLikeMain(words); });
  if (!dir.empty()) std::filesystem::current_path(previous);
  return r;
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "zyn-test-XXXXXX").string();
  path_ = mkdtemp(pattern.data());
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
  std::filesystem::remove_all(path_, ignored);
}

Bytes ReadFileBytes(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const std::string& name, const Bytes& bytes) {
  std::ofstream out(name, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}
