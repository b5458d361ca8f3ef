// The built program end to end: run in a scratch folder, its whole console text and exit code compared with
// what a user sees, and the class files checked afterwards. Nothing may reach standard error.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "FileModule.h"
#include "FileModuleList.h"
#include "TestSupport.h"
#include "ZYNMain.h"
#include "ZYNZip.h"
#include "ZipBuilder.h"

namespace {

namespace fs = std::filesystem;

const std::string kBanner = "Zyncraft for Windows. Version 1.00\n";
const std::string kHelp =
    "\n"
    "Usage: ZYN [keys] file(s) [keys]\n"
    "\n"
    "keys: -dbg     -- remove all debug information\n"
    "         -var  -- remove local variables tables\n"
    "         -lin  -- remove line numbers tables\n"
    "         -src  -- remove source file information\n"
    "      -depr    -- remove Deprecated attributes\n"
    "      -synt    -- remove Synthetic attributes\n"
    "      -uattr   -- remove undefined attributes\n"
    "      -max     -- maximal reduction without removal of Synthetic attributes\n"
    "      -super   -- maximal reduction including removal of Synthetic attributes\n"
    "      -noren   -- disable members renaming (reduction decreases)\n"
    "      -nowarn  -- ignore and no print warnings\n"
    "      -old     -- old file(s) keep old name(s)\n"
    "      -tst     -- optimization test without rewriting class file(s)\n"
    "      -help    -- printing this text\n"
    "\n"
    "   To optimize many files use wildcards * and ? in the file(s) parameter\n"
    "      -keep:NAME -- keep the private members of classes NAME (a.b.C, a.b.*, a.**, a.b.C#member)\n"
    "      -map:FILE  -- write to FILE the names that renamed members had (read by ReTrace)\n"
    "      -usage:FILE -- write to FILE the private members removed (with -tst: that would be)\n"
    "      -why:NAME  -- print what became of the private members NAME, and why (the -keep: patterns)\n"
    "      -report:FILE -- write to FILE the run as JSON (sizes, errors, what became of private members)\n"
    "      -rules:FILE -- keep what the ProGuard rules in FILE keep (-keep, -keepclassmembers, -if, ...)\n"
    "      -pack      -- order each constant pool for the compressor, deflate rewritten entries hardest\n"
    "      --version  -- print the version of the build (--help and -h: this text)\n";
const std::string kDashes(55, '-');
const std::string kHead = "\nClass file name               Old size  Change  Percent\n" + kDashes + "\n";

std::string Totals(int files, int reduction) {
  return kDashes + "\nFiles processed: " + std::to_string(files) + "\nTotal reduction: " + std::to_string(reduction) +
         "\n";
}

std::string Right(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

// One table line of a name shorter than 30 characters.
std::string Row(const std::string& name, int oldSize, int change, int percent) {
  return name + std::string(30 - name.size(), ' ') + Right(std::to_string(oldSize), 8) +
         Right(std::to_string(-change), 8) + Right(std::to_string(percent), 8) + "%";
}

std::string Line(const std::string& name, int oldSize, int change, int percent) {
  return Row(name, oldSize, change, percent) + "\n";
}

struct Result {
  int code = -1;
  std::string out, err;
  long peakKiB = 0;  // the most memory the run held
};

// Runs the program in `dir` with these arguments; with ZYN_THREADS set to `threads` when one is given, and
// as many open files as `openFiles` allows when it is not 0.
Result Zyn(const std::string& dir, const std::vector<std::string>& args, const std::string& threads = {},
           rlim_t openFiles = 0) {
  TempDir capture;
  const std::string outName = capture.File("out"), errName = capture.File("err");
  std::vector<char*> argv{const_cast<char*>("zyn")};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::fflush(stdout);
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int out = ::open(outName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = ::open(errName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out < 0 || err < 0 || ::chdir(dir.c_str()) != 0) ::_exit(126);
    ::dup2(out, STDOUT_FILENO);
    ::dup2(err, STDERR_FILENO);
    if (!threads.empty() && ::setenv("ZYN_THREADS", threads.c_str(), 1) != 0) ::_exit(126);
    const rlimit files{openFiles, openFiles};
    if (openFiles != 0 && ::setrlimit(RLIMIT_NOFILE, &files) != 0) ::_exit(126);
    ::execv(ZYN_BINARY, argv.data());
    ::_exit(127);
  }
  Result r;
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  r.peakKiB = usage.ru_maxrss;
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  const Bytes out = ReadFileBytes(outName), err = ReadFileBytes(errName);
  r.out.assign(out.begin(), out.end());
  r.err.assign(err.begin(), err.end());
  return r;
}

std::vector<std::string> Listing(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(dir))
    names.push_back(fs::relative(entry.path(), dir).string());
  std::sort(names.begin(), names.end());
  return names;
}

ClassBuilder FooClass() {
  ClassBuilder b;
  const int self = b.Class("Foo"), base = b.Class("java/lang/Object");
  b.This(self).Super(base);
  return b;
}

// Foo extends java/lang/Object and nothing else: 55 bytes.
Bytes Bare() { return FooClass().Build(); }

// Bare with an unused Utf8 entry of `unused` characters: 58 + unused bytes, 3 + unused of them removable.
Bytes Small(std::size_t unused) {
  ClassBuilder b = FooClass();
  b.Utf8(std::string(unused, 'u'));
  return b.Build();
}

// Sample (158 bytes): a private static int counter read by the public static run, and a Synthetic class
// attribute. Renaming counter to "Code" drops the entry "counter" (10 bytes); removing Synthetic saves its 6
// bytes and its name entry (12).
Bytes Sample() {
  ClassBuilder b;
  const int code = b.Utf8("Code"), self = b.Class("Sample"), base = b.Class("java/lang/Object");
  const int counter = b.Utf8("counter"), i = b.Utf8("I");
  const int ref = b.Fieldref(self, b.NameAndType(counter, i));
  const int run = b.Utf8("run"), v = b.Utf8("()V"), synthetic = b.Utf8("Synthetic");
  b.This(self).Super(base);
  b.Field(0x000A, counter, i);
  const Bytes body = {0xB2, 0, static_cast<std::uint8_t>(ref), 0x57, 0xB1};
  b.Method(0x0009, run, v, {Attribute(code, CodeBody(body, {}, {}, 1, 0))});
  b.ClassAttr(Attribute(synthetic, {}));
  return b.Build();
}

class CliTest : public ::testing::Test {
protected:
  TempDir dir;
  std::string Path(const std::string& name) const { return dir.File(name); }
  void Put(const std::string& name, const Bytes& bytes) const { WriteFileBytes(Path(name), bytes); }
  Bytes Get(const std::string& name) const { return ReadFileBytes(Path(name)); }
  Result Run(const std::vector<std::string>& args) const {
    Result r = Zyn(dir.path(), args);
    EXPECT_EQ(r.err, "") << "standard error must stay empty";
    return r;
  }
};

TEST_F(CliTest, HelpAnywherePrintsTheHelpAndTouchesNothing) {
  Put("Foo.class", Small(4));
  const std::vector<std::string> cases[] = {
      {}, {"-help"}, {"Foo.class", "-help"}, {"-tst", "-help", "Foo.class"}, {"-help", "-x", "a", "b"}, {"-tst"},
      {"--help"}, {"-h"}, {"Foo.class", "--help"}, {"-tst", "-h", "Foo.class"}, {"-h", "-x", "a", "b"}};
  for (const auto& args : cases) {
    SCOPED_TRACE(::testing::PrintToString(args));
    const Result r = Run(args);
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, kBanner + kHelp);
    EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"Foo.class"});
    EXPECT_EQ(Get("Foo.class"), Small(4));
  }
}

TEST_F(CliTest, VersionAnywherePrintsTheBannerTheBuildAndItsLibrariesOnce) {
  Put("Foo.class", Small(4));
  // A checkout shows what git describe said (a hash, or tag-N-ghash, maybe -dirty); a tarball only the version.
  const bool checkout = fs::exists(fs::path(ZYN_SOURCE_DIR) / ".git");
  const std::regex lines(std::string("zyn ") + std::regex_replace(ZYN_PROJECT_VERSION, std::regex("\\."), "\\.") +
                         (checkout ? " \\(git [0-9A-Za-z._/-]*[0-9a-f]{4,}(-dirty)?\\)" : "") +
                         "\nlibdeflate [0-9]+\\.[0-9]+(\\.[0-9]+)?, mimalloc " +
                         (ZYN_TEST_MIMALLOC ? "[0-9]+\\.[0-9]\\.[0-9]" : "not linked") + "\n");
  const std::vector<std::string> cases[] = {
      {"--version"}, {"Foo.class", "--version"}, {"-tst", "--version", "-x", "a", "b"}, {"--version", "-help"}};
  for (const auto& args : cases) {
    SCOPED_TRACE(::testing::PrintToString(args));
    const Result r = Run(args);
    EXPECT_EQ(r.code, 0);
    ASSERT_EQ(r.out.rfind(kBanner, 0), 0u) << r.out;
    EXPECT_TRUE(std::regex_match(r.out.substr(kBanner.size()), lines)) << r.out;
    EXPECT_EQ(Get("Foo.class"), Small(4));
  }
}

TEST_F(CliTest, BadWordsEndTheRunBeforeAnyFile) {
  Put("a.class", Small(4));
  Put("b.class", Small(5));
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"-x", "a.class"}, "Unknown parameter \"-x\""},
      {{"a.class", "-TST"}, "Unknown parameter \"-TST\""},
      {{"-", "a.class"}, "Unknown parameter \"-\""},
      {{"-x", "-help"}, "Unknown parameter \"-x\""},
      {{"-x", "--version"}, "Unknown parameter \"-x\""},
      {{"a.class", "--versions"}, "Unknown parameter \"--versions\""},
      {{"-H", "a.class"}, "Unknown parameter \"-H\""},
      {{"a.class", "b.class"}, "Superfluous file parameter \"b.class\""},
      {{"-tst", "a.class", "b.class", "-help"}, "Superfluous file parameter \"b.class\""},
  };
  for (const auto& [args, error] : cases) {
    SCOPED_TRACE(::testing::PrintToString(args));
    const Result r = Run(args);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, kBanner + "\nERROR: " + error + "\n");
    EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"a.class", "b.class"}));
    EXPECT_EQ(Get("a.class"), Small(4));
  }
}

TEST_F(CliTest, AThreadCountOutsideOneTo256EndsTheRunBeforeAnyFile) {
  Put("a.class", Small(4));
  for (const char* threads : {"0", "257", "1000", "-1", "two", "4x", " 4"}) {
    SCOPED_TRACE(threads);
    const Result r = Zyn(dir.path(), {"a.class"}, threads);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, kBanner + "\nERROR: ZYN_THREADS must be a number from 1 to 256, not \"" + threads + "\"\n");
    EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"a.class"});
  }
  for (const char* threads : {"1", "256"}) {
    SCOPED_TRACE(threads);
    const Result r = Zyn(dir.path(), {"-tst", "a.class"}, threads);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, kBanner + kHead + Line("a.class", 62, 7, 11) + Totals(1, 7));
  }
}

TEST_F(CliTest, KeysActInOrderAndTheResultShowsIt) {
  Put("Sample.class", Sample());
  ASSERT_EQ(Get("Sample.class").size(), 158u);
  struct Case {
    std::vector<std::string> keys;
    int change, percent;
  };
  const Case cases[] = {
      {{}, 10, 6},
      {{"-noren"}, 0, 0},
      {{"-noren", "-max"}, 10, 6},
      {{"-max", "-noren"}, 0, 0},
      {{"-synt", "-max"}, 10, 6},
      {{"-max", "-synt"}, 28, 18},
      {{"-super"}, 28, 18},
      {{"-super", "-noren"}, 18, 11},
      {{"-noren", "-super"}, 28, 18},
      {{"-synt", "-noren"}, 18, 11},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.keys));
    std::vector<std::string> args = c.keys;
    args.insert(args.begin() + static_cast<std::ptrdiff_t>(args.size() / 2), "Sample.class");
    args.push_back("-tst");
    const Result r = Run(args);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, kBanner + kHead + Line("Sample.class", 158, c.change, c.percent) + Totals(1, c.change));
    EXPECT_EQ(Get("Sample.class"), Sample());
  }
  EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"Sample.class"});
}

TEST_F(CliTest, ParameterWithoutADotSearchesForClassFiles) {
  Put("Foo.class", Small(2));
  Put("Bar.class", Small(7));
  Put("Foo.cls", Small(12));
  Put("Foo", Small(17));
  Put("notes.txt", Bytes{'h', 'i'});
  fs::create_directory(Path("Dir.class"));
  fs::create_directory(Path("lib"));
  Put("lib/Baz.class", Small(0));
  Put(".Hidden.class", Small(1));
  const std::string foo = Line("Foo.class", 60, 5, 8), bar = Line("Bar.class", 65, 10, 15);
  const std::string hidden = Line(".Hidden.class", 59, 4, 7);
  const std::string cls = Line("Foo.cls", 70, 15, 21), baz = Line("lib/Baz.class", 58, 3, 5);
  struct Case {
    std::string parameter, lines;
    int files, total;
  };
  const Case cases[] = {
      {"Foo", foo, 1, 5},          {"*", hidden + bar + foo, 3, 19}, {"*.cls", cls, 1, 15},
      {"F*", foo, 1, 5},           {"?oo.c*", foo + cls, 2, 20},   {"lib/*", baz, 1, 3},
      {"Foo.class", foo, 1, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.parameter);
    const Result r = Run({"-tst", c.parameter});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, kBanner + kHead + c.lines + Totals(c.files, c.total));
  }
}

TEST_F(CliTest, APatternMatchingNothingIsAnError) {
  fs::create_directory(Path("Dir.class"));
  Put("Foo.txt", Small(2));
  Put(".Hidden.class", Small(2));
  const std::pair<std::string, std::string> cases[] = {{"Foo", "Foo.class"},
                                                       {"D*", "D*.class"},
                                                       {"Missing.cls", "Missing.cls"},
                                                       {"nowhere/*", "nowhere/*.class"},
                                                       {".Hidden", ".Hidden"}};
  for (const auto& [parameter, searched] : cases) {
    SCOPED_TRACE(parameter);
    const Result r = Run({parameter});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, kBanner + "\nERROR: File(s) \"" + searched + "\" not found\n");
  }
}

// One thread or several: the files are optimized side by side, but printed and written in list order.
const char* const kThreadCounts[] = {"1", "4"};

TEST_F(CliTest, ThreeFilesGiveThreeLinesAndTheirTotal) {
  for (const char* threads : kThreadCounts) {
    SCOPED_TRACE(std::string("ZYN_THREADS=") + threads);
    TempDir scratch;
    const std::string d = scratch.path();
    WriteFileBytes(d + "/A.class", Small(5));
    WriteFileBytes(d + "/B.class", Small(10));
    WriteFileBytes(d + "/C.class", Small(0));
    // A second name of A's file: read before A is written, it shows another state by its turn and is read
    // again, so it too ends with the result and keeps the original.
    fs::create_hard_link(d + "/A.class", d + "/D.class");
    const Result r = Zyn(d, {"*"}, threads);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, kBanner + kHead + Line("A.class", 63, 8, 13) + Line("B.class", 68, 13, 19) +
                         Line("C.class", 58, 3, 5) + Line("D.class", 63, 8, 13) + Totals(4, 32));
    EXPECT_EQ(Listing(d), (std::vector<std::string>{"A.class", "A.~class", "B.class", "B.~class", "C.class",
                                                    "C.~class", "D.class", "D.~class"}));
    // Each class loses its unused entry and nothing else.
    for (const char* name : {"A.class", "B.class", "C.class", "D.class"})
      EXPECT_EQ(ReadFileBytes(d + "/" + name), Bare()) << name;
    EXPECT_EQ(ReadFileBytes(d + "/A.~class"), Small(5));
    EXPECT_EQ(ReadFileBytes(d + "/B.~class"), Small(10));
    EXPECT_EQ(ReadFileBytes(d + "/C.~class"), Small(0));
    EXPECT_EQ(ReadFileBytes(d + "/D.~class"), Small(5));
  }
}

// The files a run keeps open (read ahead, originals held) stay within what the process may open, with fewer
// files than that room and with more: every file is written and backed up.
TEST_F(CliTest, ARunWithinFewOpenFilesWritesEveryFile) {
  constexpr rlim_t kOpenFiles = 256 + 40;  // the run's own reserve and room for 40
  for (const int files : {25, 400})
    for (const char* threads : kThreadCounts) {
      SCOPED_TRACE(std::to_string(files) + " files, ZYN_THREADS=" + threads);
      TempDir scratch;
      const std::string d = scratch.path();
      for (int k = 0; k < files; ++k) WriteFileBytes(d + "/F" + std::to_string(k) + ".class", Small(5));
      const Result r = Zyn(d, {"*.class"}, threads, kOpenFiles);
      EXPECT_EQ(r.err, "");
      EXPECT_EQ(r.code, 0) << r.out.substr(r.out.size() > 300 ? r.out.size() - 300 : 0);
      int wrong = 0;
      for (int k = 0; k < files; ++k) {
        const std::string name = d + "/F" + std::to_string(k);
        wrong += ReadFileBytes(name + ".class") != Bare() || ReadFileBytes(name + ".~class") != Small(5);
      }
      EXPECT_EQ(wrong, 0);
    }
}

// A listed link to an earlier file, or to its backup, is read once that file is written, whatever the thread
// count: B reads A's result, C reads A's original under its backup name (not the backup an earlier run left).
TEST_F(CliTest, ALinkToAnEarlierFileReadsWhatItsWritingLeft) {
  // Listed by a pattern in the folder, as a tree, and by a pattern through folders.
  const std::vector<std::pair<std::string, std::string>> forms{{"*", ""}, {"sub", "sub/"}, {"**/*.class", "sub/"}};
  for (const char* threads : kThreadCounts) {
    for (const auto& [parameter, shown] : forms) {
      SCOPED_TRACE(std::string("ZYN_THREADS=") + threads + " " + parameter);
      TempDir scratch;
      const std::string d = scratch.path() + "/sub";
      fs::create_directory(d);
      WriteFileBytes(d + "/A.class", Small(5));
      WriteFileBytes(d + "/A.~class", Small(3));
      fs::create_symlink("A.class", d + "/B.class");
      fs::create_symlink("A.~class", d + "/C.class");
      const Result r = Zyn(shown.empty() ? d : scratch.path(), {parameter}, threads);
      EXPECT_EQ(r.code, 0);
      EXPECT_EQ(r.out, kBanner + kHead + Line(shown + "A.class", 63, 8, 13) + Line(shown + "B.class", 55, 0, 0) +
                           Line(shown + "C.class", 63, 8, 13) + Totals(3, 16));
      for (const char* name : {"A.class", "B.class", "C.class"})
        EXPECT_EQ(ReadFileBytes(d + "/" + name), Bare()) << name;
      EXPECT_EQ(ReadFileBytes(d + "/A.~class"), Small(5));
    }
  }
}

TEST_F(CliTest, AnErrorInTheSecondFileEndsTheRun) {
  // B's this class index names a Utf8 entry.
  ClassBuilder bad;
  const int name = bad.Utf8("B");
  bad.Class("java/lang/Object");
  bad.This(name).Super(name + 2);
  for (const char* threads : kThreadCounts) {
    SCOPED_TRACE(std::string("ZYN_THREADS=") + threads);
    TempDir scratch;
    const std::string d = scratch.path();
    WriteFileBytes(d + "/A.class", Small(5));
    WriteFileBytes(d + "/B.class", bad.Build());
    WriteFileBytes(d + "/C.class", Small(6));
    const Result r = Zyn(d, {"?.class"}, threads);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, kBanner + kHead + Line("A.class", 63, 8, 13) + "B.class" + std::string(23, ' ') +
                         Right(std::to_string(bad.Build().size()), 8) +
                         "\nERROR: Invalid this class index in class file\n");
    // Whatever was optimized ahead, nothing after the failed file is written.
    EXPECT_EQ(Listing(d), (std::vector<std::string>{"A.class", "A.~class", "B.class", "C.class"}));
    EXPECT_EQ(ReadFileBytes(d + "/B.class"), bad.Build());
    EXPECT_EQ(ReadFileBytes(d + "/C.class"), Small(6));
  }
}

// The mapping, the usage list and the report are put in place when the run ends, also at an error (what they
// hold until then), and with -tst; one that cannot be made ends the run before any file. -why answers after
// the totals of a run that went through.
TEST_F(CliTest, TheMappingIsWrittenAtTheEndOfEveryRun) {
  const std::string d = dir.path();
  const std::string mapped = "Sample -> Sample:\n    int counter -> Code\n";
  WriteFileBytes(d + "/A.class", Sample());
  WriteFileBytes(d + "/B.class", Bytes{0xCA, 0xFE});
  Result r = Zyn(d, {"-tst", "-map:out.map", "A.class"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(ReadFileBytes(d + "/out.map"), Bytes(mapped.begin(), mapped.end()));
  r = Zyn(d, {"-map:out.map", "?.class"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(ReadFileBytes(d + "/out.map"), Bytes(mapped.begin(), mapped.end()));
  EXPECT_EQ(Listing(d), (std::vector<std::string>{"A.class", "A.~class", "B.class", "out.map"}));
  r = Zyn(d, {"-map:no/such/folder.map", "A.class"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, kBanner + "\nERROR: Map file \"no/such/folder.map\" not written: No such file or directory\n");
  for (const std::string key : {"-usage:", "-report:"}) {
    r = Zyn(d, {key + "no/such/file", "A.class"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, kBanner + "\nERROR: " + (key == "-usage:" ? "Usage" : "Report") +
                         " file \"no/such/file\" not written: No such file or directory\n");
  }
  r = Zyn(d, {"-report:r.json", "-usage:u.txt", "-why:Sample#counter", "-why:x.*", "?.class"});
  EXPECT_EQ(r.code, 1);
  const Bytes stopped = ReadFileBytes(d + "/r.json");
  const std::string report(stopped.begin(), stopped.end());
  EXPECT_NE(report.find("\"name\": \"B.class\", \"limited\": false, \"warnings\": [], \"error\": {\"code\": "
                        "\"NotClassFile\", \"args\": [], \"line\": \"ERROR: This is not class file\"}}\n  ],\n"
                        "  \"completed\": false\n}\n"),
            std::string::npos) << report;
  EXPECT_EQ(r.out.find("Sample: private"), std::string::npos);  // no answers without the totals
  fs::remove(d + "/B.class");
  r = Zyn(d, {"-tst", "-report:r.json", "-why:Sample#counter", "-why:x.*", "A.class"});
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("\nSample: private static int counter: renamed to Code\n-why:x.*: no private member matches\n"),
            std::string::npos) << r.out;
  const Bytes done = ReadFileBytes(d + "/r.json");
  EXPECT_NE(std::string(done.begin(), done.end()).find("\"completed\": true,\n  \"totals\": {\"files\": 1, "),
            std::string::npos);
}

TEST_F(CliTest, AFailedWriteEndsTheRunAndKeepsTheClassFile) {
  Put("A.class", Small(5));
  Put("B.class", Small(6));
  Put("C.class", Small(7));
  // B's backup name is taken by a directory, so B cannot be moved aside.
  fs::create_directory(Path("B.~class"));
  const Result r = Run({"*"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, kBanner + kHead + Line("A.class", 63, 8, 13) + Row("B.class", 64, 9, 14) +
                       "\nERROR: File \"B.class\" not renamed to \"B.~class\": Is a directory\n");
  EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"A.class", "A.~class", "B.class", "B.~class", "C.class"}));
  EXPECT_EQ(Get("B.class"), Small(6));
  EXPECT_EQ(Get("C.class"), Small(7));
}

TEST_F(CliTest, WarningsStandBetweenTheTableLines) {
  ClassBuilder w;
  const int self = w.Class("W"), base = w.Class("java/lang/Object"), custom = w.Utf8("Custom");
  w.Utf8("ab");
  w.This(self).Super(base).ClassAttr(Attribute(custom, {1, 2}));
  Put("A.class", Small(5));
  Put("W.class", w.Build());
  Put("Z.class", Small(6));
  const int wSize = static_cast<int>(w.Build().size());
  ASSERT_EQ(wSize, 75);
  const std::string warned = "W.class\nWARNING: Unknown attribute \"Custom\" ignored. Length=2\n\n" +
                             std::string(30, ' ') + Right("75", 8) + Right("0", 8) + Right("0", 8) +
                             "%\nWARNING: Optimization limited\n\n";
  Result r = Run({"*", "-tst"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, kBanner + kHead + Line("A.class", 63, 8, 13) + warned + Line("Z.class", 64, 9, 14) +
                       Totals(3, 17));
  // -nowarn: no warning, no limit.
  r = Run({"*", "-tst", "-nowarn"});
  EXPECT_EQ(r.out, kBanner + kHead + Line("A.class", 63, 8, 13) + Line("W.class", 75, 5, 7) +
                       Line("Z.class", 64, 9, 14) + Totals(3, 22));
  EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"A.class", "W.class", "Z.class"}));
}

TEST_F(CliTest, BackupsByDefaultAndWithOld) {
  Put("Foo.class", Sample());
  TempDir other;
  WriteFileBytes(other.File("Foo.class"), Sample());
  const std::string table = kHead + Line("Foo.class", 158, 10, 6) + Totals(1, 10);

  Result r = Run({"Foo"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, kBanner + table);
  EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"Foo.class", "Foo.~class"}));
  EXPECT_EQ(Get("Foo.~class"), Sample());
  const Bytes reduced = Get("Foo.class");
  EXPECT_EQ(reduced.size(), 148u);

  r = Zyn(other.path(), {"-old", "Foo"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, kBanner + table);
  EXPECT_EQ(Listing(other.path()), (std::vector<std::string>{"Foo.class", "Foo.~class"}));
  EXPECT_EQ(ReadFileBytes(other.File("Foo.class")), Sample());
  EXPECT_EQ(ReadFileBytes(other.File("Foo.~class")), reduced);

  // A second default run finds Foo done: the backup keeps the original, the line is the first run's.
  r = Run({"Foo"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, kBanner + table);
  EXPECT_EQ(Get("Foo.~class"), Sample());
  EXPECT_EQ(Get("Foo.class"), reduced);
}

// Names are not cut: a directory part and a file name beyond 255 characters, given in one word beyond 79.
TEST_F(CliTest, LongNamesAreProcessedWhole) {
  std::string sub;
  for (int i = 0; i < 5; ++i) sub += std::string(60, 'd' + i) + "/";
  fs::create_directories(Path(sub));
  const std::string name = std::string(100, 'F') + ".class";
  Put(sub + name, Sample());
  const std::string full = sub + name;
  ASSERT_GT(full.size(), 255u);

  const Result r = Run({sub + "*.class"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, kBanner + kHead + full + "\n" + std::string(30, ' ') + Row("", 158, 10, 6).substr(30) + "\n" +
                       Totals(1, 10));
  EXPECT_EQ(Get(sub + std::string(100, 'F') + ".~class"), Sample());
  EXPECT_EQ(Get(full).size(), 148u);
}


// Archives: the jar a build makes, with a nested jar as Spring Boot ships them.
ZipSpec AppSpec(std::vector<ZipEntry> inner = {}) {
  const std::string manifest = "Manifest-Version: 1.0\r\n\r\n";
  if (inner.empty()) inner = {MakeEntry("q/Sample.class", Sample()), MakeEntry("note.txt", Bytes(40, 'n'))};
  ZipSpec innerSpec;
  innerSpec.entries = std::move(inner);
  ZipSpec s;
  s.entries = {MakeEntry("META-INF/MANIFEST.MF", Bytes(manifest.begin(), manifest.end())),
               MakeEntry("p/Sample.class", Sample()), MakeEntry("lib/inner.jar", BuildZip(innerSpec), 0),
               MakeEntry("Bare.class", Bare(), 0), MakeEntry("s/Small.class", Small(5))};
  s.comment = "kept";
  return s;
}

std::string LongLine(const std::string& name, int oldSize, int change, int percent) {
  return name + "\n" + std::string(30, ' ') + Row("", oldSize, change, percent).substr(30) + "\n";
}

const std::string kAppTable = kHead + Line("app.jar!p/Sample.class", 158, 10, 6) +
                              LongLine("app.jar!lib/inner.jar!q/Sample.class", 158, 10, 6) +
                              Line("app.jar!Bare.class", 55, 0, 0) + Line("app.jar!s/Small.class", 63, 8, 13) +
                              Totals(4, 28);

std::string ArchiveTotal(std::int64_t reduction) { return "Archive reduction: " + std::to_string(reduction) + "\n"; }

Bytes EntryContent(const ZYNZip::tArchive& a, const std::string& name) {
  for (const ZYNZip::tEntry& e : a.entries) {
    if (e.name != name) continue;
    Bytes content;
    ZYNZip::Inflate(a, e, "", ZYNZip::kMaxNestedArchive, content);
    return content;
  }
  ADD_FAILURE() << "no entry " << name;
  return {};
}

TEST_F(CliTest, AJarsClassEntriesAreOptimizedAndEverythingElseStaysByteForByte) {
  const Bytes original = BuildZip(AppSpec());
  // What the same class gives as a loose file.
  Put("Sample.class", Sample());
  ASSERT_EQ(Run({"Sample.class"}).code, 0);
  const Bytes reducedSample = Get("Sample.class");
  fs::remove(Path("Sample.class"));
  fs::remove(Path("Sample.~class"));
  for (const char* threads : kThreadCounts) {
    SCOPED_TRACE(std::string("ZYN_THREADS=") + threads);
    TempDir scratch;
    const std::string d = scratch.path();
    WriteFileBytes(d + "/app.jar", original);
    const Result r = Zyn(d, {"app.jar"}, threads);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(Listing(d), (std::vector<std::string>{"app.jar", "app.~jar"}));
    EXPECT_EQ(ReadFileBytes(d + "/app.~jar"), original);
    const Bytes result = ReadFileBytes(d + "/app.jar");
    EXPECT_EQ(r.out, kBanner + kAppTable +
                         ArchiveTotal(static_cast<std::int64_t>(original.size()) - static_cast<std::int64_t>(result.size())));
    const ZYNZip::tArchive before = ZYNZip::Read(original, "app.jar"), after = ZYNZip::Read(result, "app.jar");
    ASSERT_EQ(after.entries.size(), before.entries.size());
    for (std::size_t i = 0; i < before.entries.size(); ++i) {
      const ZYNZip::tEntry &x = before.entries[i], &y = after.entries[i];
      EXPECT_EQ(y.name, x.name);
      EXPECT_EQ(y.method, x.method) << "a stored nested jar stays stored";
      const bool kept = x.name == "META-INF/MANIFEST.MF" || x.name == "Bare.class";
      if (kept) {
        EXPECT_TRUE(std::equal(original.begin() + x.local, original.begin() + x.end, result.begin() + y.local,
                               result.begin() + y.end))
            << x.name;
      }
    }
    EXPECT_EQ(EntryContent(after, "p/Sample.class"), reducedSample);
    EXPECT_EQ(EntryContent(after, "s/Small.class"), Bare());
    const Bytes inner = EntryContent(after, "lib/inner.jar");
    const ZYNZip::tArchive nested = ZYNZip::Read(inner, "inner.jar");
    EXPECT_EQ(EntryContent(nested, "q/Sample.class"), reducedSample);
    EXPECT_EQ(EntryContent(nested, "note.txt"), Bytes(40, 'n'));
    EXPECT_EQ(Bytes(result.end() - 4, result.end()), Bytes({'k', 'e', 'p', 't'})) << "the archive comment stays";
  }
}

TEST_F(CliTest, AnEntryRepeatedByteForByteIsWrittenAsItsFirstAndFoldersOfOneNameStay) {
  ZipSpec spec;
  spec.entries = {MakeEntry("p/", {}, 0), MakeEntry("p/Sample.class", Sample()), MakeEntry("p/", {}, 0),
                  MakeEntry("p/Sample.class", Sample())};
  spec.entries[2].time = 1;  // the folder's second entry has other bytes
  const Bytes original = BuildZip(spec);
  Put("app.jar", original);
  const Result r = Run({"app.jar"});
  const Bytes written = Get("app.jar");
  EXPECT_EQ(r.out, kBanner + kHead + Line("app.jar!p/Sample.class", 158, 10, 6) + Totals(1, 10) +
                       ArchiveTotal(static_cast<std::int64_t>(original.size() - written.size())));
  const ZYNZip::tArchive before = ZYNZip::Read(original, "app.jar"), after = ZYNZip::Read(written, "app.jar");
  const auto raw = [](const Bytes& b, const ZYNZip::tEntry& e) { return Bytes(b.begin() + e.local, b.begin() + e.end); };
  for (std::size_t i : {0, 2}) EXPECT_EQ(raw(written, after.entries[i]), raw(original, before.entries[i])) << i;
  EXPECT_NE(raw(written, after.entries[1]), raw(original, before.entries[1]));
  EXPECT_EQ(raw(written, after.entries[3]), raw(written, after.entries[1]));
}

TEST_F(CliTest, AJarWithTstWritesNothingAndWithOldWritesTheBackupName) {
  const Bytes original = BuildZip(AppSpec());
  Put("app.jar", original);
  Result r = Run({"-tst", "app.jar"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"app.jar"}));
  EXPECT_EQ(Get("app.jar"), original);
  const std::string tested = r.out;

  r = Run({"-old", "app.jar"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, tested) << "-tst measures the archive it would write";
  EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"app.jar", "app.~jar"}));
  EXPECT_EQ(Get("app.jar"), original);
  const Bytes old = Get("app.~jar");

  fs::remove(Path("app.~jar"));
  r = Run({"app.jar"});
  EXPECT_EQ(r.out, tested);
  EXPECT_EQ(Get("app.jar"), old);
  EXPECT_EQ(r.out.substr(r.out.rfind("Archive reduction: ")),
            ArchiveTotal(static_cast<std::int64_t>(original.size()) - static_cast<std::int64_t>(old.size())));

  // Backup names keep the archive's own suffix; without one it is a zip.
  for (const auto& [name, backup] : {std::pair<std::string, std::string>{"site.war", "site.~war"}, {"app", "app.~zip"},
                                     {"x.y/run", "x.y/run.~zip"}}) {
    EXPECT_EQ(FileModule::BackupName(name, true), backup);
  }
}

TEST_F(CliTest, AnArchiveThatFailsIsNotWrittenAndEndsTheRun) {
  ClassBuilder bad;
  const int name = bad.Utf8("B");
  bad.Class("java/lang/Object");
  bad.This(name).Super(name + 2);
  ZipSpec badClass;
  badClass.entries = {MakeEntry("A.class", Small(5)), MakeEntry("B.class", bad.Build()), MakeEntry("C.class", Small(6))};
  ZipSpec badCrc;
  badCrc.entries = {MakeEntry("A.class", Small(5))};
  badCrc.entries[0].declaredCrc = 7;
  ZipSpec bomb;
  bomb.entries = {MakeEntry("A.class", Bytes(100000, 0))};
  bomb.entries[0].declaredSize = 500;
  // A nested archive that inflates a thousandfold is refused before it is inflated.
  ZipSpec nestedBomb;
  nestedBomb.entries = {MakeEntry("A.class", Small(5)), MakeEntry("lib/x.jar", Bytes(8u << 20, 0))};
  Bytes countWrong = BuildZip(AppSpec());
  countWrong[countWrong.size() - 4 - 22 + 8] = 9;
  countWrong[countWrong.size() - 4 - 22 + 10] = 9;
  const std::string damaged = "ERROR: Archive \"app.jar\" is damaged: ";
  const std::vector<std::pair<Bytes, std::string>> cases = {
      {BuildZip(badClass), Line("app.jar!A.class", 63, 8, 13) + "app.jar!B.class" + std::string(15, ' ') +
                               Right(std::to_string(bad.Build().size()), 8) +
                               "\nERROR: Invalid this class index in class file\n"},
      {BuildZip(badCrc), "app.jar!A.class\n" + damaged + "the CRC of \"A.class\" does not match\n"},
      {BuildZip(bomb), "app.jar!A.class\n" + damaged + "\"A.class\" inflates beyond its declared size\n"},
      {BuildZip(nestedBomb),
       "app.jar\nERROR: Entry \"app.jar!lib/x.jar\" declares more than 100 times its compressed size\n"},
      {countWrong, "app.jar\n" + damaged + "the central directory is inconsistent\n"},
  };
  for (const auto& [bytes, lines] : cases) {
    SCOPED_TRACE(lines);
    for (const char* threads : kThreadCounts) {
      TempDir scratch;
      const std::string d = scratch.path();
      WriteFileBytes(d + "/app.jar", bytes);
      WriteFileBytes(d + "/z.class", Small(5));
      const Result r = Zyn(d, {"*.*"}, threads);
      EXPECT_EQ(r.code, 1);
      EXPECT_EQ(r.out, kBanner + kHead + lines);
      EXPECT_EQ(Listing(d), (std::vector<std::string>{"app.jar", "z.class"})) << "no temporary file is left";
      EXPECT_EQ(ReadFileBytes(d + "/app.jar"), bytes);
    }
  }
  // Writing fails: the backup name is taken by a folder.
  Put("app.jar", BuildZip(AppSpec()));
  fs::create_directory(Path("app.~jar"));
  const Result r = Run({"app.jar"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out.substr(r.out.find("app.jar!s/Small.class")),
            Line("app.jar!s/Small.class", 63, 8, 13) + "app.jar\nERROR: File \"app.jar\" not renamed to \"app.~jar\": Is a directory\n");
  EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"app.jar", "app.~jar"}));
  EXPECT_EQ(Get("app.jar"), BuildZip(AppSpec()));
}

// What a listed file is comes from its first and last bytes: a gigabyte that is neither a class file nor an
// archive is not read, nor given room, to say so.
TEST_F(CliTest, AFileOfAnotherKindIsNotReadWhole) {
  Put("a.class", Small(5));
  Put("big.dat", Bytes(100, 'x'));
  fs::resize_file(Path("big.dat"), std::uintmax_t{1} << 30);
  const Result r = Run({"-tst", "*.*"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, kBanner + kHead + Line("a.class", 63, 8, 13) + "big.dat\nERROR: This is not class file\n");
  EXPECT_LT(r.peakKiB, 128 * 1024);
}

TEST_F(CliTest, ArchivesThatMustNotChangeAreLeftWithAWarning) {
  std::vector<ZipEntry> signedEntries = {MakeEntry("META-INF/APP.SF", Bytes(10, 's')),
                                         MakeEntry("META-INF/APP.RSA", Bytes(10, 'r')), MakeEntry("A.class", Small(5))};
  ZipSpec signedJar;
  signedJar.entries = signedEntries;
  Put("a.jar", BuildZip(signedJar));
  Put("b.jar", BuildZip(AppSpec(signedEntries)));
  const Result r = Run({"*.jar"});
  EXPECT_EQ(r.code, 0);
  const std::string table = kHead + "WARNING: Archive \"a.jar\" left unchanged: it is signed\n" +
                            Line("b.jar!p/Sample.class", 158, 10, 6) +
                            "WARNING: Archive \"b.jar!lib/inner.jar\" left unchanged: it is signed\n" +
                            Line("b.jar!Bare.class", 55, 0, 0) + Line("b.jar!s/Small.class", 63, 8, 13) +
                            Totals(3, 18);
  EXPECT_EQ(r.out.substr(0, kBanner.size() + table.size()), kBanner + table);
  EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"a.jar", "b.jar", "b.~jar"}));
  EXPECT_EQ(Get("a.jar"), BuildZip(signedJar));
  const Bytes written = Get("b.jar");
  const ZYNZip::tArchive b = ZYNZip::Read(written, "b.jar");
  EXPECT_EQ(EntryContent(b, "lib/inner.jar"), BuildZip(signedJar)) << "the signed nested jar is kept";
}

TEST_F(CliTest, AFolderIsATreeOfClassFilesInPathOrder) {
  fs::create_directories(Path("build/a"));
  fs::create_directories(Path("build/b/c"));
  fs::create_directories(Path("outside"));
  Put("build/A.class", Small(5));
  Put("build/a/A.class", Small(6));
  Put("build/b/c/B.class", Small(7));
  Put("build/b/notes.txt", Bytes(3, 'x'));
  Put("outside/Z.class", Small(8));
  fs::create_directory_symlink("../outside", Path("build/link"));
  const std::string tree = Line("build/A.class", 63, 8, 13) + Line("build/a/A.class", 64, 9, 14) +
                           Line("build/b/c/B.class", 65, 10, 15);
  Result r = Run({"-tst", "build"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, kBanner + kHead + tree + Totals(3, 27)) << "links to folders are not followed";
  r = Run({"-tst", "build/**/*.class"});
  EXPECT_EQ(r.out, kBanner + kHead + tree + Totals(3, 27)) << "** matches no folder too";
  r = Run({"-tst", "build/**/A.class"});
  EXPECT_EQ(r.out, kBanner + kHead + Line("build/A.class", 63, 8, 13) + Line("build/a/A.class", 64, 9, 14) +
                       Totals(2, 17));
  r = Run({"-tst", "**/c/*"});
  EXPECT_EQ(r.out, kBanner + kHead + Line("build/b/c/B.class", 65, 10, 15) + Totals(1, 10));
  r = Run({"build/"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, kBanner + kHead + tree + Totals(3, 27));
  EXPECT_EQ(Get("build/b/c/B.~class"), Small(7));
  EXPECT_EQ(Get("build/b/c/B.class"), Bare());
  EXPECT_EQ(Get("outside/Z.class"), Small(8));
}
}  // namespace

namespace {

// Runs that would lose a file are refused before anything of it is written: a backup named alone or listed,
// two files of one backup name, a file that another run is rewriting.
TEST_F(CliTest, NoRunReplacesAnOriginalItCannotKeep) {
  Put("Foo.class", Small(5));
  Put("Foo.~class", Bare());
  Put("X.~class", Small(3));
  Put("app.~jar", Bare());
  Result r = Run({"*.*"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, kBanner + kHead + Line("Foo.class", 63, 8, 13) + Totals(1, 8));
  EXPECT_EQ(Get("X.~class"), Small(3));
  EXPECT_EQ(Get("Foo.~class"), Small(5));
  for (const char* backup : {"X.~class", "app.~jar"}) {
    r = Run({"-old", backup});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, kBanner + "\nERROR: File \"" + std::string(backup) + "\" is a backup file\n");
  }
  EXPECT_EQ(Get("X.~class"), Small(3));

  fs::create_directory(Path("d"));
  Put("d/Foo.bin", Small(4));
  Put("d/Foo.class", Small(6));
  r = Run({"d/Foo.*"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, kBanner + kHead +
                       "\nERROR: Files \"d/Foo.bin\" and \"d/Foo.class\" have the same backup name \"d/Foo.~class\"\n");
  EXPECT_EQ(Listing(Path("d")), (std::vector<std::string>{"Foo.bin", "Foo.class"}));
  EXPECT_EQ(Run({"-tst", "d/Foo.*"}).code, 0);  // nothing would be written

  // Another process rewriting d/Foo.class holds its lock.
  const int held = ::open(Path("d/Foo.class").c_str(), O_RDONLY);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  r = Run({"d/Foo.class"});
  ::close(held);
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, kBanner + kHead + "d/Foo.class\nERROR: File \"d/Foo.class\" is being processed by another run\n");
  EXPECT_EQ(Get("d/Foo.class"), Small(6));
  // Another run that replaced d/Foo.class holds its original under the backup name until it ends: a second
  // run must not put the first one's result there. The files before it are written.
  Put("d/Foo.~class", Small(7));
  Put("d/A.class", Small(3));
  const int original = ::open(Path("d/Foo.~class").c_str(), O_RDONLY);
  ASSERT_EQ(::flock(original, LOCK_EX), 0);
  r = Run({"d/*.class"});
  ::close(original);
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, kBanner + kHead + Line("d/A.class", 61, 6, 10) +
                       "d/Foo.class\nERROR: File \"d/Foo.class\" is being processed by another run\n");
  EXPECT_EQ(Get("d/Foo.class"), Small(6));
  EXPECT_EQ(Get("d/Foo.~class"), Small(7));
  EXPECT_EQ(Get("d/A.~class"), Small(3));
  EXPECT_EQ(Listing(Path("d")), (std::vector<std::string>{"A.class", "A.~class", "Foo.bin", "Foo.class", "Foo.~class"}));
  fs::remove(Path("d/A.class"));
  fs::remove(Path("d/A.~class"));
  fs::remove(Path("d/Foo.~class"));

  // The backup is the original file itself (a second name made before the result took the name), and the
  // result has the original's extended attributes.
  struct stat before {}, backup {};
  ASSERT_EQ(::stat(Path("d/Foo.class").c_str(), &before), 0);
  const bool xattrs = ::setxattr(Path("d/Foo.class").c_str(), "user.zyn", "v", 1, 0) == 0;
  EXPECT_EQ(Run({"d/Foo.class"}).code, 0);
  EXPECT_EQ(Get("d/Foo.~class"), Small(6));
  ASSERT_EQ(::stat(Path("d/Foo.~class").c_str(), &backup), 0);
  EXPECT_EQ(backup.st_ino, before.st_ino);
  char value[4] = {};
  if (xattrs) {
    EXPECT_EQ(::getxattr(Path("d/Foo.class").c_str(), "user.zyn", value, sizeof value), 1);
  }
}

}  // namespace

namespace {

// A folder below the tree that the system cannot take is named, not passed over in silence.
// A temporary file that a killed run left is removed by the next run that writes, with a line; one that a
// running process holds, and every one under -tst, stays.
TEST_F(CliTest, ARunRemovesTheTemporaryFilesAKilledRunLeft) {
  Put("A.class", Small(5));
  Put(".zyn-Ab3xYz.~tmp", Small(5));
  Put(".zyn-Held00.~tmp", Small(5));
  const int held = ::open(Path(".zyn-Held00.~tmp").c_str(), O_RDONLY);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  const std::string warning = "WARNING: Temporary file \"./.zyn-Ab3xYz.~tmp\" of a stopped run removed\n";
  Result r = Run({"-tst", "."});
  EXPECT_EQ(r.out.find("WARNING"), std::string::npos) << r.out;
  EXPECT_TRUE(fs::exists(Path(".zyn-Ab3xYz.~tmp")));
  r = Run({"."});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out.substr(0, r.out.find(kHead)), kBanner + warning);
  EXPECT_FALSE(fs::exists(Path(".zyn-Ab3xYz.~tmp")));
  EXPECT_TRUE(fs::exists(Path(".zyn-Held00.~tmp")));
  ::close(held);
  Put(".zyn-Ab3xYz.~tmp", Small(5));
  r = Run({"*.class"});
  EXPECT_EQ(r.out.substr(0, r.out.find(kHead)), kBanner + "WARNING: Temporary file \".zyn-Ab3xYz.~tmp\" of a stopped run removed\n"
                                                  "WARNING: Temporary file \".zyn-Held00.~tmp\" of a stopped run removed\n");
  EXPECT_EQ(Listing(Path("")), (std::vector<std::string>{"A.class", "A.~class"}));
}

}  // namespace
