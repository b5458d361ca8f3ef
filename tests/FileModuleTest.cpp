// Byte streams (big-endian reads and writes, the sticky Done, PC), renaming, and the wildcard file list.
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "FileModule.h"
#include "TestSupport.h"
#include "ZYNData.h"

namespace {

namespace fs = std::filesystem;
using FileModule::Done;
using FileModule::PC;

// The bytes that `write` puts between Rewrite and CloseOut (nothing reaches a file).
Bytes Emitted(const std::function<void()>& write) {
  FileModule::Rewrite("");
  write();
  return FileModule::Output();
}

std::vector<std::string> Drain(Queue::tQueue& list) {
  std::vector<std::string> names;
  while (list.NotEmpty()) {
    auto node = list.Get();
    auto* text = dynamic_cast<ZYNData::tStringNodeDesc*>(node.get());
    EXPECT_NE(text, nullptr);
    if (text != nullptr) names.push_back(text->str);
  }
  return names;
}

std::vector<std::string> List(const std::string& pattern) {
  Queue::tQueue list;
  list.Init();
  FileModule::GetFileList(pattern, list);
  return Drain(list);
}

void Touch(const std::string& name) { WriteFileBytes(name, {0xCA}); }

using FileModuleTest = ZynTest;

TEST_F(FileModuleTest, ReadsBigEndianValuesAndCountsBytes) {
  struct Row {
    Bytes input;
    std::function<std::int64_t()> read;
    std::int64_t value;
  };
  const std::vector<Row> rows = {
      {{0xCA, 0xFE, 0xBA, 0xBE}, [] { std::int32_t v = 0; FileModule::GetU4(v); return static_cast<std::uint32_t>(v); },
       0xCAFEBABE},
      {{0xCA, 0xFE, 0xBA, 0xBE}, [] { std::int32_t v = 0; FileModule::GetInt(v); return v; }, -889275714},
      {{0xFF, 0xFE}, [] { std::int32_t v = 0; FileModule::GetU2(v); return v; }, 65534},
      {{0x01, 0x02}, [] { std::int32_t v = 0; FileModule::GetU2(v); return v; }, 258},
      {{0xFF, 0xFE}, [] { std::int16_t v = 0; FileModule::GetShort(v); return v; }, -2},
      {{0x80}, [] { std::int16_t v = 0; FileModule::GetU1(v); return v; }, 128},
      {{0x80}, [] { std::int8_t v = 0; FileModule::GetByte(v); return v; }, -128},
      {{0x7F, 0xFF, 0xFF, 0xFF}, [] { std::int32_t v = 0; FileModule::GetInt(v); return v; }, 0x7FFFFFFF},
  };
  for (const Row& row : rows) {
    FileModule::ResetBytes(row.input);
    EXPECT_EQ(row.read(), row.value);
    EXPECT_TRUE(Done);
    EXPECT_EQ(PC, static_cast<std::int32_t>(row.input.size()));
  }
}

TEST_F(FileModuleTest, ShortReadKeepsTheVariableAndStaysFailed) {
  FileModule::ResetBytes({1, 2, 3});
  std::int32_t u4 = 77;
  FileModule::GetU4(u4);
  EXPECT_FALSE(Done);
  EXPECT_EQ(u4, 77);
  EXPECT_EQ(PC, 0);
  // Three bytes are still there, but nothing more is read until the stream is reset.
  std::int16_t u1 = 55;
  FileModule::GetU1(u1);
  EXPECT_EQ(u1, 55);
  EXPECT_EQ(PC, 0);
  FileModule::ResetBytes({9});
  FileModule::GetU1(u1);
  EXPECT_TRUE(Done);
  EXPECT_EQ(u1, 9);
}

TEST_F(FileModuleTest, GetBytesReadsAllOrNothing) {
  for (std::size_t asked : {std::size_t{6}, std::size_t{1} << 31, std::numeric_limits<std::size_t>::max()}) {
    FileModule::ResetBytes({1, 2, 3, 4, 5});
    Bytes got = {42};
    FileModule::GetBytes(asked, got);
    EXPECT_FALSE(Done) << asked;
    EXPECT_EQ(got, Bytes{42}) << asked;
    EXPECT_EQ(PC, 0) << asked;
  }
  FileModule::ResetBytes({1, 2, 3, 4, 5});
  std::int16_t first = 0;
  FileModule::GetU1(first);
  Bytes rest;
  FileModule::GetBytes(4, rest);
  EXPECT_TRUE(Done);
  EXPECT_EQ(rest, (Bytes{2, 3, 4, 5}));
  EXPECT_EQ(PC, 5);
}

TEST_F(FileModuleTest, ResetOpensFilesOnly) {
  TempDir dir;
  WriteFileBytes(dir.File("a.bin"), {0x12, 0x34});
  FileModule::Reset(dir.File("a.bin"));
  std::int32_t v = 0;
  FileModule::GetU2(v);
  EXPECT_TRUE(Done);
  EXPECT_EQ(v, 0x1234);

  for (const std::string& name : {dir.File("missing.bin"), dir.path()}) {
    FileModule::Reset(name);
    EXPECT_FALSE(Done) << name;
    EXPECT_EQ(PC, 0) << name;
  }
}

TEST_F(FileModuleTest, WritesBigEndianWithoutTouchingDoneOrPC) {
  FileModule::ResetBytes({1});
  std::int32_t v = 0;
  FileModule::GetU2(v);  // fails: Done FALSE, PC 0
  const Bytes out = Emitted([] {
    Done = false;
    FileModule::PutShort(-2);
    FileModule::PutInt(-1);
    FileModule::PutU2(258);
    FileModule::PutU4(static_cast<std::int32_t>(0xCAFEBABE));
    FileModule::PutByte(-128);
    FileModule::PutU1(255);
    EXPECT_FALSE(Done);
    EXPECT_EQ(PC, 0);
  });
  EXPECT_EQ(out, (Bytes{0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x02, 0xCA, 0xFE, 0xBA, 0xBE, 0x80, 0xFF}));
}

TEST_F(FileModuleTest, CloseOutWritesTheFileAndReportsFailure) {
  TempDir dir;
  const std::string name = dir.File("out.class");
  WriteFileBytes(name, {9, 9, 9, 9, 9});
  FileModule::Rewrite(name);
  FileModule::PutU2(0x0102);
  FileModule::CloseOut();
  EXPECT_TRUE(Done);
  EXPECT_EQ(ReadFileBytes(name), (Bytes{1, 2}));  // the old contents are gone

  const std::string lost = dir.File("missing/out.class");
  FileModule::Rewrite(lost);
  FileModule::PutU1(1);
  FileModule::CloseOut();
  EXPECT_FALSE(Done);
  EXPECT_FALSE(fs::exists(lost));
}

TEST_F(FileModuleTest, RenameReplacesAnExistingTarget) {
  TempDir dir;
  WriteFileBytes(dir.File("a"), {1, 2, 3});
  WriteFileBytes(dir.File("b"), {4});
  FileModule::Rename(dir.File("a"), dir.File("b"));
  EXPECT_TRUE(Done);
  EXPECT_FALSE(fs::exists(dir.File("a")));
  EXPECT_EQ(ReadFileBytes(dir.File("b")), (Bytes{1, 2, 3}));

  FileModule::Rename(dir.File("a"), dir.File("c"));
  EXPECT_FALSE(Done);
  EXPECT_FALSE(fs::exists(dir.File("c")));
}

TEST_F(FileModuleTest, ListsMatchingFilesSortedWithTheirDirectory) {
  TempDir dir;
  for (const char* name : {"C.class", "A.class", "B.class", "a.class", "AB.class", "A.java", "A.class.bak", ".h.class"})
    Touch(dir.File(name));
  const std::string d = dir.path() + "/";
  struct Row {
    std::string pattern;
    std::vector<std::string> names;
  };
  const std::vector<Row> rows = {
      {"*.class", {".h.class", "A.class", "AB.class", "B.class", "C.class", "a.class"}},
      {"?.class", {"A.class", "B.class", "C.class", "a.class"}},
      {"A*", {"A.class", "A.class.bak", "A.java", "AB.class"}},
      {"A?*.class", {"AB.class"}},
      {"*.*.*", {".h.class", "A.class.bak"}},
      {"A.class", {"A.class"}},
      {"*", {".h.class", "A.class", "A.class.bak", "A.java", "AB.class", "B.class", "C.class", "a.class"}},
      {"Z*.class", {}},
      {"??.class", {".h.class", "AB.class"}},
      {"", {}},
  };
  for (const Row& row : rows) {
    std::vector<std::string> expected;
    for (const std::string& name : row.names) expected.push_back(d + name);
    EXPECT_EQ(List(d + row.pattern), expected) << row.pattern;
  }
  // Many stars against a long name that does not match stay fast (no exponential backtracking).
  EXPECT_FALSE(FileModule::WildcardMatch("*a*a*a*a*a*a*a*a*a*a*b", std::string(5000, 'a')));
}

TEST_F(FileModuleTest, ListsOnlyRegularFilesFollowingLinks) {
  TempDir dir;
  const std::string d = dir.path() + "/";
  Touch(d + "File.class");
  fs::create_directory(d + "Dir.class");
  ASSERT_EQ(::mkfifo((d + "Fifo.class").c_str(), 0600), 0);
  fs::create_symlink(d + "File.class", d + "Link.class");
  fs::create_symlink(d + "Dir.class", d + "DirLink.class");
  fs::create_symlink(d + "nowhere", d + "Dangling.class");
  EXPECT_EQ(List(d + "*.class"), (std::vector<std::string>{d + "File.class", d + "Link.class"}));
}

TEST_F(FileModuleTest, KeepsARelativeDirectoryPartAndNothingWithoutOne) {
  TempDir dir;
  fs::create_directories(dir.File("lib/sub"));
  Touch(dir.File("lib/sub/X.class"));
  Touch(dir.File("Top.class"));
  const fs::path cwd = fs::current_path();
  fs::current_path(dir.File("lib"));
  const std::vector<std::string> nested = List("sub/*.class");
  const std::vector<std::string> up = List("../*.class");
  const std::vector<std::string> here = List("*.class");
  fs::current_path(cwd);
  EXPECT_EQ(nested, std::vector<std::string>{"sub/X.class"});
  EXPECT_EQ(up, std::vector<std::string>{"../Top.class"});
  EXPECT_TRUE(here.empty());
}

TEST_F(FileModuleTest, EmptiesTheListFirstAndLeavesItEmptyWithoutMatch) {
  TempDir dir;
  Touch(dir.File("A.class"));
  Queue::tQueue list;
  list.Init();
  list.Add(std::make_unique<ZYNData::tStringNodeDesc>("stale"));
  FileModule::GetFileList(dir.File("*.class"), list);
  EXPECT_EQ(Drain(list), std::vector<std::string>{dir.File("A.class")});

  list.Add(std::make_unique<ZYNData::tStringNodeDesc>("stale"));
  FileModule::GetFileList(dir.File("*.java"), list);
  EXPECT_FALSE(list.NotEmpty());
  FileModule::GetFileList(dir.File("nodir/*.class"), list);
  EXPECT_FALSE(list.NotEmpty());
}

}  // namespace
