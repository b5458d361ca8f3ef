// One class file through the core and the batch: its table line, the warnings between the lines, what each
// pass reports, the three ways of writing the result, and that a failed write never loses the class file.
// The core (OptimizeFile) reports the numbers; the batch (run here as the program runs it) prints the line and
// writes the file.
#include <signal.h>
#include <sys/stat.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "FileModule.h"
#include "FileModuleList.h"
#include "Platform.h"
#include "TestSupport.h"
#include "ZYNData.h"
#include "ZYNError.h"
#include "ZYNMain.h"
#include "ZYNReport.h"

namespace {

namespace fs = std::filesystem;

// Runs the test body inside a directory, so that names can be chosen character by character.
class InDir {
public:
  explicit InDir(const std::string& dir) : previous_(fs::current_path()) { fs::current_path(dir); }
  ~InDir() { fs::current_path(previous_); }
  InDir(const InDir&) = delete;
  InDir& operator=(const InDir&) = delete;

private:
  fs::path previous_;
};

std::vector<std::string> Listing(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string Field(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

// Old size, change and percent as the table shows them.
std::string Numbers(int oldSize, int change, int percent) {
  return Field(std::to_string(oldSize), 8) + Field(std::to_string(-change), 8) + Field(std::to_string(percent), 8) +
         "%";
}

const std::string kDashes(55, '-');
// The banner and the table head, before the first file's line.
const std::string kHead = "Zyncraft for Windows. Version 1.00\n\nClass file name               Old size  Change  Percent\n" +
                          kDashes + "\n";

// What the batch prints for one file: the head, the file's line (all that the file printed), the totals.
std::string OneFile(const std::string& line, int change) {
  return kHead + line + "\n" + kDashes + "\nFiles processed: 1\nTotal reduction: " + std::to_string(change) + "\n";
}

// Foo extends java/lang/Object with nothing else: 55 bytes. Unused Utf8 entries may follow.
ClassBuilder Minimal(const std::vector<std::string>& unused = {}) {
  ClassBuilder b;
  const int self = b.Class("Foo"), base = b.Class("java/lang/Object");
  b.This(self).Super(base);
  for (const std::string& text : unused) b.Utf8(text);
  return b;
}

// The core on bytes, with the options that `keys` sets.
ZYNClass::tFileResult Core(const Bytes& bytes, const std::function<void(ZYNData::tParams&)>& keys = {}) {
  ZYNData::tParams params;
  if (keys) keys(params);
  ZYNClass::tFileResult result;
  EXPECT_EQ(Captured([&] { result = ZYNClass::OptimizeFile(bytes, params); }), "");  // the core never prints
  return result;
}

using OptimizeFileTest = ::testing::Test;

TEST_F(OptimizeFileTest, NamesShorterThanThirtyCharactersShareTheLineWithTheNumbers) {
  TempDir dir;
  InDir in(dir.path());
  const Bytes probe = Minimal({std::string(42, 'x')}).Build();
  ASSERT_EQ(probe.size(), 100u);
  const ZYNClass::tFileResult result = Core(probe, [](ZYNData::tParams& p) { p.tst = true; });
  EXPECT_EQ(result.error.Line(), "");
  EXPECT_TRUE(result.read);
  EXPECT_EQ(result.oldSize, 100);
  EXPECT_EQ(result.change, 45);
  EXPECT_EQ(result.dropped, 1);
  EXPECT_FALSE(result.limited);
  EXPECT_TRUE(result.bytes.empty());  // -tst: nothing to write
  for (std::size_t length : {9u, 29u, 30u, 31u, 45u}) {
    SCOPED_TRACE(length);
    const std::string name = std::string(length - 6, 'N') + ".class";
    WriteFileBytes(name, probe);
    const RunResult r = RunZyn({"-tst", name});
    const std::string gap = length < 30 ? std::string(30 - length, ' ') : "\n" + std::string(30, ' ');
    EXPECT_EQ(r.out, OneFile(name + gap + Numbers(100, 45, 45), 45));
    EXPECT_EQ(r.code, ZYNMain::kExitOk);
  }
}

TEST_F(OptimizeFileTest, PercentIsTheSavingRoundedHalfUpToWholePercent) {
  struct Case {
    std::int32_t change, oldSize, percent;
  };
  const Case cases[] = {
      {1, 200, 1},   {1, 201, 0},     {5, 1000, 1},    {4, 1000, 0},    {0, 55, 0},      {45, 100, 45},
      {100, 1000, 10}, {1000, 1000, 100}, {-1, 200, 0},  {-5, 1000, 0},   {-6, 1000, -1},  {-15, 1000, -1},
      {-16, 1000, -2}, {-1000, 1000, -100},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ZYNReport::Percent(c.change, c.oldSize), c.percent) << c.change << " of " << c.oldSize;
}

TEST_F(OptimizeFileTest, TableLineRoundsThePercentOfTheRealFile) {
  struct Case {
    int oldSize;
    std::string unused;
    int change, percent;
  };
  const Case cases[] = {{1000, "ab", 5, 1}, {1000, "a", 4, 0}, {600, "", 3, 1}, {601, "", 3, 0}};
  TempDir dir;
  InDir in(dir.path());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.oldSize);
    // A kept SourceFile attribute whose long file name fills the class up to the wanted size.
    ClassBuilder b = Minimal();
    const int attrName = b.Utf8("SourceFile");
    const int file = b.Utf8(std::string(static_cast<std::size_t>(c.oldSize - 82) - c.unused.size(), 'S'));
    b.Utf8(c.unused);
    b.ClassAttr(Attribute(attrName, ByteWriter().u2(file).bytes));
    WriteFileBytes("Foo.class", b.Build());
    ASSERT_EQ(ReadFileBytes("Foo.class").size(), static_cast<std::size_t>(c.oldSize));
    EXPECT_EQ(RunZyn({"-tst", "Foo.class"}).out,
              OneFile("Foo.class" + std::string(21, ' ') + Numbers(c.oldSize, c.change, c.percent), c.change));
  }
}

// Foo with an unknown class attribute "Custom" (two body bytes) and an unused entry "ab": 77 bytes.
ClassBuilder WithUnknownAttribute(int extraAttributeLength = -1) {
  ClassBuilder b = Minimal();
  const int custom = b.Utf8("Custom");
  b.Utf8("ab");
  b.ClassAttr(Attribute(custom, {1, 2}));
  if (extraAttributeLength >= 0)
    b.ClassAttr(Attribute(custom, Bytes(static_cast<std::size_t>(extraAttributeLength), 7)));
  return b;
}

TEST_F(OptimizeFileTest, WarningsEndTheNameLineAndLimitThePoolPass) {
  const std::string warn2 = "WARNING: Unknown attribute \"Custom\" ignored. Length=2";
  const std::string warn3 = "WARNING: Unknown attribute \"Custom\" ignored. Length=3";
  const std::string limited = "\nWARNING: Optimization limited\n";
  // The alignment step still ends a line of its own: an empty line comes before the numbers.
  const std::string pad = "\n" + std::string(30, ' ');
  struct Case {
    const char* what;
    int extra;
    bool nowarn, uattr;
    std::vector<std::string> warnings;
    bool limited;
    std::string out;
    int dropped, change;
  };
  const Case cases[] = {
      {"a warning while reading limits the file", -1, false, false, {warn2}, true,
       "Foo.class\n" + warn2 + "\n" + pad + Numbers(77, 0, 0) + limited, 0, 0},
      {"two warnings, one line end before them", 3, false, false, {warn2, warn3}, true,
       "Foo.class\n" + warn2 + "\n" + warn3 + "\n" + pad + Numbers(86, 0, 0) + limited, 0, 0},
      {"-nowarn: nothing printed, nothing limited", -1, true, false, {}, false,
       "Foo.class" + std::string(21, ' ') + Numbers(77, 5, 6), 1, 5},
      {"-uattr: the warning stays, the limit goes", -1, false, true, {warn2}, false,
       "Foo.class\n" + warn2 + "\n" + pad + Numbers(77, 22, 29), 2, 22},
      {"-uattr and -nowarn", -1, true, true, {}, false, "Foo.class" + std::string(21, ' ') + Numbers(77, 22, 29), 2,
       22},
  };
  TempDir dir;
  InDir in(dir.path());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Bytes bytes = WithUnknownAttribute(c.extra).Build();
    const ZYNClass::tFileResult result = Core(bytes, [&](ZYNData::tParams& p) {
      p.tst = true;
      p.nowarn = c.nowarn;
      p.uattr = c.uattr;
    });
    EXPECT_EQ(result.error.Line(), "");
    EXPECT_EQ(result.warnings, c.warnings);
    EXPECT_EQ(result.limited, c.limited);
    EXPECT_EQ(result.dropped, c.dropped);
    EXPECT_EQ(result.change, c.change);
    WriteFileBytes("Foo.class", bytes);
    std::vector<std::string> words = {"-tst", "Foo.class"};
    if (c.nowarn) words.push_back("-nowarn");
    if (c.uattr) words.push_back("-uattr");
    EXPECT_EQ(RunZyn(words).out, OneFile(c.out, c.change));
  }
}

// Foo with a SourceFile attribute, an unused private field and two private fields read by run.
ClassBuilder EveryPass() {
  ClassBuilder b;
  const int code = b.Utf8("Code"), self = b.Class("Foo"), base = b.Class("java/lang/Object");
  const int sourceFile = b.Utf8("SourceFile"), fileName = b.Utf8("Foo.java");
  const int unused = b.Utf8("unused"), array = b.Utf8("[I"), alpha = b.Utf8("alpha"), beta = b.Utf8("beta");
  const int ra = b.Fieldref(self, b.NameAndType(alpha, array)), rb = b.Fieldref(self, b.NameAndType(beta, array));
  const int run = b.Utf8("run"), v = b.Utf8("()V");
  const Bytes body = {0xB2, 0, static_cast<std::uint8_t>(ra), 0x57, 0xB2, 0, static_cast<std::uint8_t>(rb), 0x57, 0xB1};
  b.This(self).Super(base);
  b.Field(0x000A, unused, array).Field(0x000A, alpha, array).Field(0x000A, beta, array);
  b.Method(0x0009, run, v, {Attribute(code, CodeBody(body))});
  b.ClassAttr(Attribute(sourceFile, ByteWriter().u2(fileName).bytes));
  return b;
}

TEST_F(OptimizeFileTest, ChangeIsTheSumOfWhatEveryPassReports) {
  struct Case {
    const char* what;
    bool src, noren;
    int change, dropped, percent;
  };
  const Case cases[] = {
      // Field 8; alpha takes "Code", beta "SourceFile"; the pool drops unused, alpha, beta (9 + 8 + 7).
      {"no keys", false, false, 8 + 24, 3, 15},
      // Attribute 8, field 8, beta shortened to A in place 3; the pool drops SourceFile, Foo.java, unused,
      // alpha (13 + 11 + 9 + 8).
      {"-src", true, false, 8 + 8 + 3 + 41, 4, 28},
      {"-src -noren", true, true, 8 + 8 + 33, 3, 23},
      {"-noren", false, true, 8 + 9, 1, 8},
  };
  const Bytes original = EveryPass().Build();
  const int oldSize = 214;
  ASSERT_EQ(original.size(), static_cast<std::size_t>(oldSize));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ZYNClass::tFileResult result = Core(original, [&](ZYNData::tParams& p) {
      p.src = c.src;
      p.noren = c.noren;
    });
    EXPECT_EQ(result.error.Line(), "");
    EXPECT_EQ(result.change, c.change);
    EXPECT_EQ(result.dropped, c.dropped);
    // No removed member carried attributes, so the class shrank by exactly the reported change.
    EXPECT_EQ(result.bytes.size(), original.size() - static_cast<std::size_t>(c.change));
    TempDir dir;
    InDir in(dir.path());
    WriteFileBytes("Foo.class", original);
    std::vector<std::string> words = {"Foo.class"};
    if (c.src) words.push_back("-src");
    if (c.noren) words.push_back("-noren");
    const RunResult r = RunZyn(words);
    EXPECT_EQ(r.code, ZYNMain::kExitOk);
    EXPECT_EQ(r.out, OneFile("Foo.class" + std::string(21, ' ') + Numbers(oldSize, c.change, c.percent), c.change));
    // The batch writes what the core made.
    EXPECT_EQ(ReadFileBytes("Foo.class"), result.bytes);
  }
}

TEST_F(OptimizeFileTest, TheThreeWaysOfWriting) {
  const Bytes original = Minimal({"junk"}).Build();
  // Dropping the last pool entry leaves exactly the class without it.
  const Bytes reduced = Minimal().Build();
  // A backup left by an earlier run: replaced by a real run, left alone by -tst.
  const Bytes earlier = {'o', 'l', 'd'};
  const std::string line = "Foo.class" + std::string(21, ' ') + Numbers(62, 7, 11);
  EXPECT_EQ(Core(original).bytes, reduced);
  EXPECT_TRUE(Core(original, [](ZYNData::tParams& p) { p.tst = true; }).bytes.empty());
  struct Case {
    const char* what;
    std::vector<std::string> keys;
    Bytes classFile, backup;
  };
  const Case cases[] = {
      {"default: the file moves to the backup name, the result takes its place", {}, reduced, original},
      {"-old: the file stays, the result goes to the backup name", {"-old"}, original, reduced},
      {"-tst: nothing is written", {"-tst"}, original, earlier},
      {"-tst -old: nothing is written", {"-tst", "-old"}, original, earlier},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    InDir in(dir.path());
    WriteFileBytes("Foo.class", original);
    WriteFileBytes("Foo.~class", earlier);
    std::vector<std::string> words = c.keys;
    words.push_back("Foo.class");
    const RunResult r = RunZyn(words);
    EXPECT_EQ(r.code, ZYNMain::kExitOk);
    EXPECT_EQ(r.out, OneFile(line, 7));
    EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"Foo.class", "Foo.~class"}));
    EXPECT_EQ(ReadFileBytes("Foo.class"), c.classFile);
    EXPECT_EQ(ReadFileBytes("Foo.~class"), c.backup);
  }
}

// The same command again finds the file done: nothing is written, the backup keeps the original, and the line
// is the first run's. A file that changed since (recompiled) is taken as specified: its backup is replaced.
TEST_F(OptimizeFileTest, ASecondRunFindsTheFirstRunsResultDone) {
  TempDir dir;
  InDir in(dir.path());
  const Bytes original = Minimal({"junk", "more"}).Build();
  WriteFileBytes("Foo.class", original);
  const RunResult run = RunZyn({"Foo.class"});
  const Bytes first = ReadFileBytes("Foo.class");
  ASSERT_EQ(first, Minimal().Build());
  const RunResult second = RunZyn({"Foo.class"});
  EXPECT_EQ(second.out, run.out);
  EXPECT_EQ(ReadFileBytes("Foo.~class"), original);
  EXPECT_EQ(ReadFileBytes("Foo.class"), first);
  EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"Foo.class", "Foo.~class"}));
  const Bytes recompiled = Minimal({"other"}).Build();
  WriteFileBytes("Foo.class", recompiled);
  RunZyn({"Foo.class"});
  EXPECT_EQ(ReadFileBytes("Foo.~class"), recompiled);
  EXPECT_EQ(ReadFileBytes("Foo.class"), first);
}

TEST_F(OptimizeFileTest, BackupNameReplacesTheLastDotSuffix) {
  const std::pair<const char*, const char*> cases[] = {
      {"Foo.class", "Foo.~class"},   {"Foo", "Foo.~class"},       {"lib/Foo", "lib/Foo.~class"},
      {".class", ".class.~class"},   {"Foo.bar.class", "Foo.bar.~class"}, {"x.y", "x.~class"},
      {"F.", "F.~class"},            {"d/.class", "d/.class.~class"},
      // A "." in a directory name is not a suffix of the file name.
      {"a/b.c/Foo", "a/b.c/Foo.~class"}, {"../lib/Foo", "../lib/Foo.~class"},
  };
  for (const auto& [name, backup] : cases) EXPECT_EQ(FileModule::BackupName(name), backup) << name;
}

TEST_F(OptimizeFileTest, AFileInASubdirectoryIsWrittenBesideItself) {
  TempDir dir;
  InDir in(dir.path());
  fs::create_directory("lib");
  const Bytes original = Minimal({"junk"}).Build();
  WriteFileBytes("lib/Foo", original);
  // The "." of "./" keeps ".class" off the parameter, so the file without a suffix is found.
  const RunResult r = RunZyn({"./lib/Foo"});
  EXPECT_EQ(r.code, ZYNMain::kExitOk);
  EXPECT_EQ(r.out, OneFile("./lib/Foo" + std::string(21, ' ') + Numbers(62, 7, 11), 7));
  EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"lib"});
  EXPECT_EQ(Listing(dir.File("lib")), (std::vector<std::string>{"Foo", "Foo.~class"}));
  EXPECT_EQ(ReadFileBytes("lib/Foo.~class"), original);
  EXPECT_EQ(ReadFileBytes("lib/Foo"), Minimal().Build());
}

TEST_F(OptimizeFileTest, TheResultKeepsThePermissionsOfTheClassFile) {
  for (bool old : {false, true}) {
    SCOPED_TRACE(old ? "-old" : "default");
    TempDir dir;
    InDir in(dir.path());
    WriteFileBytes("Foo.class", Minimal({"junk"}).Build());
    fs::permissions("Foo.class", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    std::vector<std::string> words = {"Foo.class"};
    if (old) words.push_back("-old");
    EXPECT_EQ(RunZyn(words).code, ZYNMain::kExitOk);
    const fs::perms result = fs::status(old ? "Foo.~class" : "Foo.class").permissions();
    EXPECT_EQ(result, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  }
}

TEST_F(OptimizeFileTest, TheResultKeepsTheOwnerOfTheClassFileWhereItMay) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root may give a file to another owner";
  for (bool old : {false, true}) {
    SCOPED_TRACE(old ? "-old" : "default");
    TempDir dir;
    InDir in(dir.path());
    WriteFileBytes("Foo.class", Minimal({"junk"}).Build());
    ASSERT_EQ(::chown("Foo.class", 1000, 1000), 0);
    ASSERT_EQ(::chmod("Foo.class", 0640), 0);
    std::vector<std::string> words = {"Foo.class"};
    if (old) words.push_back("-old");
    EXPECT_EQ(RunZyn(words).code, ZYNMain::kExitOk);
    struct stat st {};
    ASSERT_EQ(::stat(old ? "Foo.~class" : "Foo.class", &st), 0);
    EXPECT_EQ(st.st_uid, 1000u);
    EXPECT_EQ(st.st_gid, 1000u);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
  }
}

// --- Writing failures ----------------------------------------------------------------------------------

// What a failed write must leave: the class file as it was, no temporary file, no new backup.
void ExpectNothingLost(const std::string& dir, const Bytes& original, const std::vector<std::string>& files) {
  EXPECT_EQ(ReadFileBytes(dir + "/Foo.class"), original);
  EXPECT_EQ(Listing(dir), files);
}

// The console of a run that optimized Foo.class and could not write it: the line, then the error.
std::string ErrorRun(const std::string& error) {
  return kHead + "Foo.class" + std::string(21, ' ') + Numbers(62, 7, 11) + "\nERROR: " + error + "\n";
}

struct ChildResult {
  int status = -1;
  std::string out;
};

constexpr int kChildSetupFailed = 4;

// Runs the program's words in a child process whose files may not grow beyond `limit` bytes, as an
// unprivileged user when `unprivileged`; the child's exit status is the run's exit code.
ChildResult InChild(const std::vector<std::string>& words, rlim_t limit, bool unprivileged = false) {
  std::fflush(stdout);
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return {};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(pipeFds[0]);
    ::dup2(pipeFds[1], STDOUT_FILENO);
    ::close(pipeFds[1]);
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit fsize{limit, limit};
    if (::setrlimit(RLIMIT_FSIZE, &fsize) != 0) ::_exit(kChildSetupFailed);
    if (unprivileged && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(kChildSetupFailed);
    const int code = RunLikeMain(words);
    std::fflush(stdout);
    ::_exit(code);
  }
  ::close(pipeFds[1]);
  ChildResult result;
  char buffer[4096];
  ssize_t got = 0;
  while ((got = ::read(pipeFds[0], buffer, sizeof buffer)) > 0)
    result.out.append(buffer, static_cast<std::size_t>(got));
  ::close(pipeFds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::vector<std::string> FooWords(bool old) {
  std::vector<std::string> words = {"Foo.class"};
  if (old) words.push_back("-old");
  return words;
}

TEST_F(OptimizeFileTest, AFileSizeLimitStopsTheWriteWithoutLosingTheClassFile) {
  const Bytes original = Minimal({"junk"}).Build();
  for (bool old : {false, true}) {
    SCOPED_TRACE(old ? "-old" : "default");
    TempDir dir;
    InDir in(dir.path());
    WriteFileBytes("Foo.class", original);
    WriteFileBytes("Foo.~class", Bytes{'p', 'r', 'e', 'v'});
    const ChildResult r = InChild(FooWords(old), 16);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, ErrorRun(old ? "File \"Foo.~class\" not written: File too large"
                                  : "File \"Foo.class\" not written: File too large"));
    ExpectNothingLost(dir.path(), original, {"Foo.class", "Foo.~class"});
    EXPECT_EQ(ReadFileBytes("Foo.~class"), (Bytes{'p', 'r', 'e', 'v'}));
  }
}

// A tree deeper than any path the system takes in one piece is walked, read and written whole, its names in
// full; a folder in it that the run may not enter is a warning, and the rest goes on.
TEST_F(OptimizeFileTest, ATreeDeeperThanAnyPathIsProcessedWhole) {
  TempDir dir;
  InDir in(dir.path());
  const Bytes original = Minimal({"junk"}).Build();
  fs::create_directory("t");
  WriteFileBytes("t/A.class", original);
  // Made one level at a time from inside: 18 levels of 250 characters, the last three beyond the limit.
  const std::string level(250, 'd');
  std::string deep = "t";
  fs::current_path("t");
  for (int i = 0; i < 18; ++i) {
    fs::create_directory(level);
    fs::current_path(level);
    deep += "/" + level;
  }
  fs::create_directory("closed");
  WriteFileBytes("closed/C.class", original);
  WriteFileBytes("B.class", original);
  fs::current_path(dir.path());
  ChildResult r = InChild({"t"}, RLIM_INFINITY);
  EXPECT_EQ(r.status, 0);
  const std::string line = Numbers(62, 7, 11) + "\n";
  EXPECT_NE(r.out.find("t/A.class" + std::string(21, ' ') + line), std::string::npos);
  EXPECT_NE(r.out.find("\n" + deep + "/B.class\n" + std::string(30, ' ') + line), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\n" + deep + "/closed/C.class\n"), std::string::npos);
  EXPECT_NE(r.out.find("Files processed: 3\n"), std::string::npos);
  // Each result in its place, each original in its backup.
  fs::current_path(dir.path() + "/t");
  for (int i = 0; i < 18; ++i) fs::current_path(level);
  EXPECT_EQ(ReadFileBytes("B.~class"), original);
  EXPECT_EQ(ReadFileBytes("closed/C.~class"), original);
  EXPECT_EQ(ReadFileBytes("B.class").size(), original.size() - 7);
  fs::permissions("closed", fs::perms::none);
  fs::current_path(dir.path());
  fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
  // Permissions do not bind root: then the run goes to a child that gives up its privileges.
  r = InChild({"-tst", "t"}, RLIM_INFINITY, ::geteuid() == 0);
  if (r.status == kChildSetupFailed) GTEST_SKIP() << "no unprivileged user to run as";
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.substr(0, r.out.find("\nClass file name")),
            "Zyncraft for Windows. Version 1.00\nWARNING: Folder \"" + deep + "/closed\" skipped: Permission denied\n");
  EXPECT_NE(r.out.find("Files processed: 2\n"), std::string::npos);
  fs::current_path(dir.path() + "/t");
  for (int i = 0; i < 18; ++i) fs::current_path(level);
  fs::permissions("closed", fs::perms::owner_all);
  fs::current_path(dir.path());
}

TEST_F(OptimizeFileTest, ABackupNameTakenByADirectoryStopsTheRun) {
  const Bytes original = Minimal({"junk"}).Build();
  for (bool old : {false, true}) {
    SCOPED_TRACE(old ? "-old" : "default");
    TempDir dir;
    InDir in(dir.path());
    WriteFileBytes("Foo.class", original);
    fs::create_directory("Foo.~class");
    WriteFileBytes("Foo.~class/inside", Bytes{1});
    const RunResult r = RunZyn(FooWords(old));
    EXPECT_EQ(r.code, ZYNMain::kExitError);
    EXPECT_EQ(r.out, ErrorRun(old ? "File \"Foo.~class\" not written: Is a directory"
                                  : "File \"Foo.class\" not renamed to \"Foo.~class\": Is a directory"));
    ExpectNothingLost(dir.path(), original, {"Foo.class", "Foo.~class"});
    EXPECT_EQ(Listing(dir.File("Foo.~class")), std::vector<std::string>{"inside"});
  }
}

TEST_F(OptimizeFileTest, AReadOnlyDirectoryStopsTheRun) {
  const Bytes original = Minimal({"junk"}).Build();
  for (bool old : {false, true}) {
    SCOPED_TRACE(old ? "-old" : "default");
    TempDir dir;
    InDir in(dir.path());
    WriteFileBytes("Foo.class", original);
    fs::permissions("Foo.class", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                     fs::perms::others_read);
    fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    // Permissions do not bind root: then the run goes to a child that gives up its privileges.
    WriteFileBytes(dir.File("probe"), Bytes{1});
    const bool bypassed = fs::exists(dir.File("probe"));
    if (bypassed) fs::remove(dir.File("probe"));
    if (bypassed && ::geteuid() != 0) GTEST_SKIP() << "directory permissions do not stop this user";
    const ChildResult r = InChild(FooWords(old), RLIM_INFINITY, bypassed);
    if (r.status == kChildSetupFailed) GTEST_SKIP() << "no unprivileged user to run as";
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, ErrorRun(old ? "File \"Foo.~class\" not written: Permission denied"
                                  : "File \"Foo.class\" not written: Permission denied"));
    ExpectNothingLost(dir.path(), original, {"Foo.class"});
  }
}

// A listed file that cannot be read ends the run in its turn, on its own line.
TEST_F(OptimizeFileTest, AFileThatCannotBeReadIsNotOpen) {
  TempDir dir;
  InDir in(dir.path());
  const Bytes original = Minimal({"junk"}).Build();
  WriteFileBytes("Gone.class", original);
  fs::permissions("Gone.class", fs::perms::none);
  // The directory stays listable by anyone; only the file is closed.
  fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
  // Permissions do not bind root: then the run goes to a child that gives up its privileges.
  Platform::FileBuffer probe;
  const bool bypassed = Platform::ReadFile("Gone.class", probe);
  if (bypassed && ::geteuid() != 0) GTEST_SKIP() << "file permissions do not stop this user";
  const ChildResult r = InChild({"Gone.class"}, RLIM_INFINITY, bypassed);
  if (r.status == kChildSetupFailed) GTEST_SKIP() << "no unprivileged user to run as";
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, kHead + "Gone.class\nERROR: File \"Gone.class\" not open\n");
  EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"Gone.class"});
  fs::permissions("Gone.class", fs::perms::owner_read);
  EXPECT_EQ(ReadFileBytes("Gone.class"), original);
}

}  // namespace
