// Byte streams (big-endian reads and writes, the sticky Done, PC), whole-file reading and writing, renaming,
// and the wildcard file list.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "FileModule.h"
#include "FileModuleList.h"
#include "Platform.h"
#include "TestSupport.h"
#include "ZYNData.h"

namespace {

namespace fs = std::filesystem;
using FileModule::tInput;
using FileModule::tOutput;

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

using FileModuleTest = ::testing::Test;

TEST_F(FileModuleTest, ReadsBigEndianValuesAndCountsBytes) {
  struct Row {
    Bytes input;
    std::function<std::int64_t(tInput&)> read;
    std::int64_t value;
  };
  const std::vector<Row> rows = {
      {{0xCA, 0xFE, 0xBA, 0xBE},
       [](tInput& in) { std::int32_t v = 0; FileModule::GetU4(in, v); return static_cast<std::uint32_t>(v); },
       0xCAFEBABE},
      {{0xFF, 0xFE}, [](tInput& in) { std::int32_t v = 0; FileModule::GetU2(in, v); return v; }, 65534},
      {{0x01, 0x02}, [](tInput& in) { std::int32_t v = 0; FileModule::GetU2(in, v); return v; }, 258},
      {{0x80}, [](tInput& in) { std::int16_t v = 0; FileModule::GetU1(in, v); return v; }, 128},
      {{0x7F, 0xFF, 0xFF, 0xFF}, [](tInput& in) { std::int32_t v = 0; FileModule::GetU4(in, v); return v; },
       0x7FFFFFFF},
  };
  for (const Row& row : rows) {
    OwnedInput input(row.input);
    EXPECT_EQ(row.read(input.in), row.value);
    EXPECT_TRUE(input.in.Done);
    EXPECT_EQ(input.in.PC, static_cast<std::int32_t>(row.input.size()));
  }
}

TEST_F(FileModuleTest, ShortReadKeepsTheVariableAndStaysFailed) {
  OwnedInput input({1, 2, 3});
  tInput& in = input.in;
  std::int32_t u4 = 77;
  FileModule::GetU4(in, u4);
  EXPECT_FALSE(in.Done);
  EXPECT_EQ(u4, 77);
  EXPECT_EQ(in.PC, 0);
  // Three bytes are still there, but nothing more is read until the stream is reset.
  std::int16_t u1 = 55;
  FileModule::GetU1(in, u1);
  EXPECT_EQ(u1, 55);
  EXPECT_EQ(in.PC, 0);
  // The failure belongs to this input: another one reads on.
  OwnedInput other({8});
  FileModule::GetU1(other.in, u1);
  EXPECT_TRUE(other.in.Done);
  EXPECT_EQ(u1, 8);
  EXPECT_FALSE(in.Done);
  input.Reset({9});
  FileModule::GetU1(in, u1);
  EXPECT_TRUE(in.Done);
  EXPECT_EQ(u1, 9);
}

TEST_F(FileModuleTest, GetBytesReadsAllOrNothing) {
  for (std::size_t asked : {std::size_t{6}, std::size_t{1} << 31, std::numeric_limits<std::size_t>::max()}) {
    OwnedInput input({1, 2, 3, 4, 5});
    Bytes got = {42};
    FileModule::GetBytes(input.in, asked, got);
    EXPECT_FALSE(input.in.Done) << asked;
    EXPECT_EQ(got, Bytes{42}) << asked;
    EXPECT_EQ(input.in.PC, 0) << asked;
  }
  OwnedInput input({1, 2, 3, 4, 5});
  std::int16_t first = 0;
  FileModule::GetU1(input.in, first);
  Bytes rest;
  FileModule::GetBytes(input.in, 4, rest);
  EXPECT_TRUE(input.in.Done);
  EXPECT_EQ(rest, (Bytes{2, 3, 4, 5}));
  EXPECT_EQ(input.in.PC, 5);
}

TEST_F(FileModuleTest, ReadFileReadsRegularFilesOnly) {
  TempDir dir;
  WriteFileBytes(dir.File("a.bin"), {0x12, 0x34});
  Platform::FileBuffer data;
  ASSERT_TRUE(Platform::ReadFile(dir.File("a.bin"), data));
  EXPECT_EQ(Bytes(data.Bytes().begin(), data.Bytes().end()), (Bytes{0x12, 0x34}));

  for (const std::string& name : {dir.File("missing.bin"), dir.path()}) {
    EXPECT_FALSE(Platform::ReadFile(name, data)) << name;
    EXPECT_TRUE(data.Bytes().empty()) << name;
  }
}

// Bytes kept from a first reading stand for the file only while it shows the same state: the reading, a
// look at the name and the lock agree on an untouched file, and a file put in its place (as another run's
// result is) shows another.
TEST_F(FileModuleTest, AFileReadEarlierShowsWhetherItIsStillTheSame) {
  TempDir dir;
  const std::string name = dir.File("a.bin");
  WriteFileBytes(name, {1, 2, 3});
  Platform::FileBuffer data;
  ASSERT_TRUE(Platform::ReadFile(name, data));
  Platform::tFileId now;
  ASSERT_TRUE(Platform::FileIdOf(name, now));
  EXPECT_EQ(now, data.Id());
  Platform::FileLock lock;
  ASSERT_EQ(lock.Acquire(name), Platform::FileLock::kLocked);
  EXPECT_EQ(lock.Id(), data.Id());
  const Platform::tFileId read = data.Id();
  EXPECT_EQ(data.Take()[2], 3);
  EXPECT_TRUE(data.Bytes().empty());

  WriteFileBytes(dir.File("b.bin"), {1, 2, 3});
  ASSERT_TRUE(Platform::RenameFile(dir.File("b.bin"), name));
  ASSERT_TRUE(Platform::FileIdOf(name, now));
  EXPECT_NE(now, read);
  EXPECT_FALSE(Platform::FileIdOf(dir.File("missing.bin"), now));
}

// A lock reads its file as it is when read, not at the size it had when locked: grown, shrunk, read twice.
TEST_F(FileModuleTest, ALockReadsItsFileAsItIsNow) {
  TempDir dir;
  const std::string name = dir.File("a.bin");
  WriteFileBytes(name, {1, 2, 3});
  Platform::FileLock lock;
  ASSERT_EQ(lock.Acquire(name), Platform::FileLock::kLocked);
  Platform::FileBuffer data;
  for (const Bytes& now : {Bytes{1, 2, 3, 4, 5, 6, 7}, Bytes{9}, Bytes{9}}) {
    {
      std::ofstream file(name, std::ios::binary | std::ios::in);  // the locked file itself, rewritten
      file.write(reinterpret_cast<const char*>(now.data()), static_cast<std::streamsize>(now.size()));
    }
    fs::resize_file(name, now.size());
    ASSERT_TRUE(lock.Read(data));
    EXPECT_EQ(Bytes(data.Bytes().begin(), data.Bytes().end()), now);
  }
}

// The table of open files grows to the size asked for at once, and no descriptor is left open by it.
TEST_F(FileModuleTest, ReservingOpenFilesGrowsTheTableAndKeepsNothingOpen) {
  auto tableSize = [] {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
      if (line.starts_with("FDSize:")) return std::stoul(line.substr(7));
    return 0ul;
  };
  auto nextDescriptor = [] {
    const int fd = ::open("/", O_RDONLY | O_DIRECTORY);
    ::close(fd);
    return fd;
  };
  const int before = nextDescriptor();
  const unsigned long wanted = std::min<unsigned long>(std::max(2 * tableSize(), 4096ul), Platform::OpenFileRoom());
  if (wanted <= tableSize()) GTEST_SKIP() << "the process may not open more files than its table holds";
  Platform::ReserveOpenFiles(wanted);
  EXPECT_GE(tableSize(), wanted);
  EXPECT_EQ(nextDescriptor(), before);
}

// Letting pages go never loses bytes: a mapped file's come back from the file, and other memory is left alone.
TEST_F(FileModuleTest, DroppedPagesKeepTheirBytes) {
  TempDir dir;
  const Bytes bytes(5 << 12, 0x5A);
  WriteFileBytes(dir.File("a.bin"), bytes);
  Platform::MappedFile file;
  ASSERT_TRUE(file.Map(dir.File("a.bin")));
  Platform::DropMappedPages(file.Bytes());
  Bytes other = bytes;
  Platform::DropMappedPages(other);
  EXPECT_EQ(Bytes(file.Bytes().begin(), file.Bytes().end()), bytes);
  EXPECT_EQ(other, bytes);
}

TEST_F(FileModuleTest, WritesBigEndianIntoItsOwnOutput) {
  tOutput out, other;
  FileModule::PutU4(out, -1);
  FileModule::PutU1(other, 0x55);
  FileModule::PutU2(out, 258);
  FileModule::PutU4(out, static_cast<std::int32_t>(0xCAFEBABE));
  FileModule::PutU1(out, 255);
  EXPECT_EQ(out.bytes, (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x02, 0xCA, 0xFE, 0xBA, 0xBE, 0xFF}));
  EXPECT_EQ(other.bytes, Bytes{0x55});
  // A value its field cannot hold is refused, and nothing of it is written.
  for (const auto& put : std::vector<std::function<void()>>{[&] { FileModule::PutU1(out, 256); },
                                                            [&] { FileModule::PutU1(out, -1); },
                                                            [&] { FileModule::PutU2(out, 0x10000); },
                                                            [&] { FileModule::PutU2(out, -1); }})
    ExpectError(put, "Internal error: value out of range for its field");
  EXPECT_EQ(out.bytes.size(), 11u);
}

TEST_F(FileModuleTest, TheBatchWritesBesideTheClassFileFirst) {
  TempDir dir;
  const std::string name = dir.File("out.class");
  WriteFileBytes(name, {1, 2});
  const std::string lost = dir.File("missing/out.class");
  // A new file in the same directory with the class file's permissions.
  fs::permissions(name, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  const auto others = [&] {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path()))
      if (entry.path().filename() != "out.class") names.push_back(entry.path().filename());
    return names;
  };
  for (const bool moved : {false, true}) {
    Platform::TempFile file;
    ASSERT_TRUE(file.Create(name));
    file.Write(Bytes{3, 4, 5});
    ASSERT_TRUE(file.Close());
    // Unnamed where the file system makes such files; elsewhere one hidden name that no listing takes.
    const std::vector<std::string> written = others();
    ASSERT_LE(written.size(), 1u);
    for (const std::string& temp : written) {
      EXPECT_TRUE(Platform::IsTemporaryName(temp) && FileModule::IsBackupName(temp)) << temp;
      EXPECT_FALSE(Platform::RemoveLeftover(dir.File(temp)));  // held while it exists
    }
    EXPECT_EQ(ReadFileBytes(name), (Bytes{1, 2}));
    if (moved) {
      ASSERT_TRUE(file.MoveTo(dir.File("moved.class")));
      EXPECT_EQ(ReadFileBytes(dir.File("moved.class")), (Bytes{3, 4, 5}));
      EXPECT_EQ(fs::status(dir.File("moved.class")).permissions(),
                fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    }
  }
  EXPECT_EQ(others(), std::vector<std::string>{"moved.class"});  // the one not moved is gone
  Platform::TempFile nowhere;
  EXPECT_FALSE(nowhere.Create(lost));
  EXPECT_EQ(Platform::LastError(), "No such file or directory");
  EXPECT_FALSE(fs::exists(dir.File("missing")));
}

// A leftover of a stopped run goes where no process holds it; a held one, another name or a folder stays.
TEST_F(FileModuleTest, OnlyLeftoversNoProcessHoldsAreRemoved) {
  TempDir dir;
  for (const char* name : {".zyn-Ab3xYz.~tmp", ".zyn-Held00.~tmp", ".zyn-short.~tmp", "x.zyn-Ab3xYz.~tmp"})
    WriteFileBytes(dir.File(name), {1});
  fs::create_directory(dir.File(".zyn-Folder.~tmp"));
  const int held = ::open(dir.File(".zyn-Held00.~tmp").c_str(), O_RDONLY);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  EXPECT_TRUE(Platform::RemoveLeftover(dir.File(".zyn-Ab3xYz.~tmp")));
  for (const char* kept : {".zyn-Held00.~tmp", ".zyn-short.~tmp", "x.zyn-Ab3xYz.~tmp", ".zyn-Folder.~tmp"}) {
    EXPECT_FALSE(Platform::RemoveLeftover(dir.File(kept))) << kept;
    EXPECT_TRUE(fs::exists(dir.File(kept))) << kept;
  }
  EXPECT_FALSE(fs::exists(dir.File(".zyn-Ab3xYz.~tmp")));
  ::close(held);
  EXPECT_TRUE(Platform::RemoveLeftover(dir.File(".zyn-Held00.~tmp")));
}

TEST_F(FileModuleTest, RenameReplacesAnExistingTarget) {
  TempDir dir;
  WriteFileBytes(dir.File("a"), {1, 2, 3});
  WriteFileBytes(dir.File("b"), {4});
  EXPECT_TRUE(Platform::RenameFile(dir.File("a"), dir.File("b")));
  EXPECT_FALSE(fs::exists(dir.File("a")));
  EXPECT_EQ(ReadFileBytes(dir.File("b")), (Bytes{1, 2, 3}));

  EXPECT_FALSE(Platform::RenameFile(dir.File("a"), dir.File("c")));
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
