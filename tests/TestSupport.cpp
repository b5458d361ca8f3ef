#include "TestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "FileModule.h"
#include "ZYNConstPool.h"
#include "ZYNData.h"
#include "ZYNError.h"

std::string Captured(const std::function<void()>& f, bool* fatal) {
  testing::internal::CaptureStdout();
  bool failed = false;
  try {
    f();
  } catch (const ZYNError::Fatal&) {
    failed = true;
  }
  std::fflush(stdout);
  std::string out = testing::internal::GetCapturedStdout();
  if (fatal != nullptr) *fatal = failed;
  return out;
}

void ExpectError(const std::function<void()>& f, const std::string& line) {
  bool fatal = false;
  const std::string out = Captured(f, &fatal);
  EXPECT_TRUE(fatal) << "no error; output: " << out;
  EXPECT_NE(out.find("\nERROR: " + line + "\n"), std::string::npos) << "output: " << out;
}

std::unique_ptr<ZYNClass::tClassDesc> ReadBytes(const Bytes& bytes, std::string* console) {
  std::unique_ptr<ZYNClass::tClassDesc> cls;
  const std::string out = Captured([&] {
    FileModule::ResetBytes(bytes);
    cls = ZYNClass::ReadClass();
  });
  if (console != nullptr) *console = out;
  return cls;
}

Bytes WriteMarked(ZYNClass::tClassDesc& cls, bool markAll) {
  ZYNConstPool::UnMark(*cls.cp);
  if (markAll)
    ZYNConstPool::MarkAll(*cls.cp);
  else
    ZYNClass::MarkClass(cls);
  std::int32_t dropped = 0, bytes = 0;
  ZYNConstPool::RenumUnUsed(*cls.cp, dropped, bytes);
  TempDir dir;
  ZYNClass::WriteClass(dir.File("out.class"), cls);
  return ReadFileBytes(dir.File("out.class"));
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

void ZynTest::SetUp() {
  ZYNData::ResetState();
  ZYNError::WarningReset();
  FileModule::Done = true;
}
