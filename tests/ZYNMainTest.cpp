// The command line: how the words become options and the file parameter, the help text, the errors for bad
// words, and which part of each argument becomes a word.
#include <libdeflate.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "ParamModule.h"
#include "Platform.h"
#include "TestSupport.h"
#include "ZYNData.h"
#include "ZYNMain.h"
#include "ZYNVersion.h"

namespace {

namespace fs = std::filesystem;

// The exact help text is pinned end to end (CliTest); here it only matters that it is printed, and alone.
std::string HelpText() { return Captured(ZYNMain::Usage); }

void Fill(Queue::tQueue& queue, const std::vector<std::string>& words) {
  queue.Init();
  for (const std::string& w : words) queue.Add(std::make_unique<ZYNData::tStringNodeDesc>(w));
}

std::vector<std::string> Drain(Queue::tQueue& queue) {
  std::vector<std::string> words;
  while (queue.NotEmpty()) {
    auto node = queue.Get();
    words.push_back(dynamic_cast<ZYNData::tStringNodeDesc&>(*node).str);
  }
  return words;
}

// The options that are on, by key name, in a fixed order.
std::string OnKeys(const ZYNData::tParams& p) {
  const std::pair<bool, const char*> flags[] = {
      {p.tst, "tst"},       {p.src, "src"},   {p.lin, "lin"},   {p.var, "var"},     {p.noren, "noren"},
      {p.nowarn, "nowarn"}, {p.depr, "depr"}, {p.synt, "synt"}, {p.uattr, "uattr"}, {p.old, "old"},
      {p.pack, "pack"},
  };
  std::string on;
  for (const auto& [set, name] : flags)
    if (set) on += on.empty() ? name : std::string(" ") + name;
  return on;
}

struct Parsed {
  std::optional<ZYNData::tParams> params;
  int stop = -1;  // the exit code when the parse ends the run
  bool fatal = false;
  std::string error;  // the line of the error that ended the parse
  std::string out;
};

Parsed Parse(const std::vector<std::string>& words) {
  Queue::tQueue queue;
  Fill(queue, words);
  Parsed p;
  p.out = Captured([&] { p.params = ZYNMain::ParseParams(queue, &p.stop); }, &p.fatal, &p.error);
  return p;
}

using ParseParamsTest = ::testing::Test;

TEST_F(ParseParamsTest, KeysActInCommandLineOrder) {
  struct Case {
    std::vector<std::string> words;
    const char* on;
  };
  const Case cases[] = {
      {{"Foo.class"}, ""},
      {{"-dbg", "Foo.class", "-tst"}, "tst src lin var"},
      {{"-max", "Foo.class"}, "src lin var depr uattr"},
      {{"-noren", "-max", "Foo.class"}, "src lin var depr uattr"},
      {{"-max", "-noren", "Foo.class"}, "src lin var noren depr uattr"},
      {{"-synt", "-max", "Foo.class"}, "src lin var depr uattr"},
      {{"-max", "-synt", "Foo.class"}, "src lin var depr synt uattr"},
      {{"-super", "Foo.class"}, "src lin var depr synt uattr"},
      {{"-super", "-noren", "Foo.class"}, "src lin var noren depr synt uattr"},
      {{"-noren", "-super", "Foo.class"}, "src lin var depr synt uattr"},
      {{"-synt", "-max", "-super", "Foo.class"}, "src lin var depr synt uattr"},
      {{"-tst", "-tst", "Foo.class", "-tst"}, "tst"},
      {{"Foo.class", "-old", "-nowarn"}, "nowarn old"},
      {{"-pack", "Foo.class"}, "pack"},
      {{"-super", "-pack", "Foo.class", "-max"}, "src lin var depr uattr pack"},
      {{"Foo.class", "-src", "-lin", "-var", "-depr", "-uattr"}, "src lin var depr uattr"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.words));
    const Parsed p = Parse(c.words);
    ASSERT_TRUE(p.params);
    EXPECT_FALSE(p.fatal);
    EXPECT_EQ(p.out, "");
    EXPECT_EQ(OnKeys(*p.params), c.on);
    EXPECT_EQ(p.params->file, "Foo.class");
  }
}

TEST_F(ParseParamsTest, HelpAnywhereStopsAndPrintsTheHelpText) {
  ASSERT_EQ(HelpText().rfind("\nUsage: ZYN [keys] file(s) [keys]\n\nkeys: -dbg ", 0), 0u);
  const std::vector<std::string> cases[] = {
      {"-help"}, {"Foo.class", "-help"}, {"-help", "Foo.class"}, {"-tst", "-help", "-x", "a", "b"},
      {},        {"-tst", "-old"},       {"--help"},             {"-old", "Foo.class", "-h", "-x"},
  };
  for (const std::vector<std::string>& words : cases) {
    SCOPED_TRACE(::testing::PrintToString(words));
    const Parsed p = Parse(words);
    EXPECT_FALSE(p.params);
    EXPECT_FALSE(p.fatal);
    EXPECT_EQ(p.stop, ZYNMain::kExitHelp);
    EXPECT_EQ(p.out, HelpText());
  }
}

// CliTest pins the version lines end to end; here the mimalloc versions that the linked one cannot show.
TEST(VersionTest, MimallocIsShownAsMajorMinorPatch) {
  const std::string libdeflate = "libdeflate " LIBDEFLATE_VERSION_STRING ", mimalloc ";
  const std::pair<int, std::string> cases[] = {{0, "not linked"}, {209, "2.0.9"}, {212, "2.1.2"}, {178, "1.7.8"}};
  for (const auto& [number, shown] : cases) {
    ZYNVersion::Mimalloc = number;
    EXPECT_EQ(ZYNVersion::Libraries(), libdeflate + shown);
  }
  ZYNVersion::Mimalloc = 0;
}

TEST_F(ParseParamsTest, TheFirstBadWordEndsTheRun) {
  struct Case {
    std::vector<std::string> words;
    std::string error;
  };
  const Case cases[] = {
      {{"-x", "Foo.class"}, "Unknown parameter \"-x\""},
      {{"-TST", "Foo.class"}, "Unknown parameter \"-TST\""},
      {{"Foo.class", "-Tst"}, "Unknown parameter \"-Tst\""},
      {{"-", "Foo.class"}, "Unknown parameter \"-\""},
      {{"--tst", "Foo.class"}, "Unknown parameter \"--tst\""},
      {{"-tst2", "Foo.class"}, "Unknown parameter \"-tst2\""},
      {{"-x", "-help"}, "Unknown parameter \"-x\""},
      {{"-tst", "-y", "-old"}, "Unknown parameter \"-y\""},
      {{"a.class", "b.class"}, "Superfluous file parameter \"b.class\""},
      {{"-old", "a.class", "-tst", "b.class", "-x"}, "Superfluous file parameter \"b.class\""},
      {{"a", "b", "-help"}, "Superfluous file parameter \"b\""},
      {{"-max", "A.class", "", "-tst"}, "Empty parameter"},
      {{"d/My Class.class"}, "Invalid parameter \"d/My Class.class\""},
      {{"-keep:", "a"}, "Invalid keep pattern \"\""},
      {{"-tst", "-keep:#m", "a"}, "Invalid keep pattern \"#m\""},
      {{"-keep:a.b#", "a"}, "Invalid keep pattern \"a.b#\""},
      {{"-keep:a..b", "a"}, "Invalid keep pattern \"a..b\""},
      {{"-keep:a.b.", "a"}, "Invalid keep pattern \"a.b.\""},
      {{"-keep:[La;", "a"}, "Invalid keep pattern \"[La;\""},
      {{"-keep:a#b.c", "a"}, "Invalid keep pattern \"a#b.c\""},
      {{"-keep:a#b#c", "a"}, "Invalid keep pattern \"a#b#c\""},
      {{"-keep", "a"}, "Unknown parameter \"-keep\""},
      {{"-map:", "a"}, "Invalid map file \"\""},
      {{"-usage:", "a"}, "Invalid usage file \"\""},
      {{"-report:", "a"}, "Invalid report file \"\""},
      {{"-why:a..b", "a"}, "Invalid why pattern \"a..b\""},
      {{"-rules:", "a"}, "Invalid rules file \"\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.words));
    const Parsed p = Parse(c.words);
    EXPECT_TRUE(p.fatal);
    EXPECT_EQ(p.error, "ERROR: " + c.error);
    EXPECT_EQ(p.out, "");  // main prints it (CliTest)
  }
}

TEST_F(ParseParamsTest, FileParameterLengthLimit) {
  const std::string longest(ZYNData::kMaxParamLength, 'p');
  ASSERT_EQ(longest.size(), 4089u);
  Parsed p = Parse({longest});
  ASSERT_TRUE(p.params);
  EXPECT_EQ(p.params->file, longest);

  const std::string tooLong = longest + "q";
  p = Parse({tooLong});
  EXPECT_TRUE(p.fatal);
  EXPECT_EQ(p.error, "ERROR: Too long file parameter \"" + tooLong + "\"");
  EXPECT_EQ(p.out, "");

  // A second file parameter is superfluous whatever its length.
  p = Parse({"Foo.class", tooLong});
  EXPECT_TRUE(p.fatal);
  EXPECT_EQ(p.error, "ERROR: Superfluous file parameter \"" + tooLong + "\"");
}

using GetParamsTest = ::testing::Test;

TEST_F(GetParamsTest, EachArgumentGivesItsFirstWord) {
  const std::string longWord(300, 'w');
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> words;
  };
  const Case cases[] = {
      {{}, {}},
      {{"-tst", "Foo.class"}, {"-tst", "Foo.class"}},
      {{"My Class.class", "-old"}, {"My Class.class", "-old"}},
      {{"  \tlead", "trail  "}, {"lead", "trail"}},
      {{"a\tb c "}, {"a\tb c"}},
      {{"a", "   ", "b"}, {"a", "", "b"}},
      {{"a", "\t", "b"}, {"a", "", "b"}},
      {{"a", "", "b"}, {"a", "", "b"}},
      {{" ", "a"}, {"", "a"}},
      {{"a", " "}, {"a"}},
      {{"a", ""}, {"a"}},
      {{longWord}, {longWord}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    std::vector<const char*> argv{"zyn"};
    for (const std::string& a : c.args) argv.push_back(a.c_str());
    Queue::tQueue queue;
    Fill(queue, {"left over"});
    ParamModule::GetParams(queue, static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(Drain(queue), c.words);
  }
}

// Run up to the file search: the error for a pattern that matches nothing shows the pattern searched.
class BatchRunTest : public ::testing::Test {
protected:
  // Run itself, without main around it: an error outside a file escapes it.
  std::string RunIn(const std::string& dir, const std::vector<std::string>& words, bool* fatal, std::string* error,
                    int* code) {
    const fs::path previous = fs::current_path();
    fs::current_path(dir);
    Queue::tQueue queue;
    Fill(queue, words);
    std::string out = Captured([&] { *code = ZYNMain::Run(queue); }, fatal, error);
    fs::current_path(previous);
    return out;
  }
};

const std::string kBanner = "Zyncraft for Windows. Version 1.00\n";

TEST_F(BatchRunTest, ParameterWithoutADotGetsTheClassExtension) {
  const std::string longest(ZYNData::kMaxParamLength, 'p');
  const std::pair<std::string, std::string> cases[] = {
      {"Foo", "Foo.class"},     {"*", "*.class"},         {"*.cls", "*.cls"},
      {"Foo.", "Foo."},         {"lib/Foo", "lib/Foo.class"}, {"a.b/Foo", "a.b/Foo"},
      {"F?o", "F?o.class"},     {".Foo", ".Foo"},         {longest, longest + ".class"},
  };
  TempDir dir;
  for (const auto& [parameter, searched] : cases) {
    SCOPED_TRACE(parameter.substr(0, 20));
    const std::string line = "ERROR: File(s) \"" + searched + "\" not found";
    bool fatal = false;
    std::string error;
    int code = -1;
    const std::string out = RunIn(dir.path(), {parameter}, &fatal, &error, &code);
    EXPECT_TRUE(fatal);
    EXPECT_EQ(error, line);
    EXPECT_EQ(out, kBanner);
    // As the program shows it.
    const RunResult r = RunZyn({parameter}, dir.path());
    EXPECT_EQ(r.code, ZYNMain::kExitError);
    EXPECT_EQ(r.out, kBanner + "\n" + line + "\n");
  }
}

TEST_F(BatchRunTest, HelpEndsTheRunWithCodeTwo) {
  TempDir dir;
  bool fatal = false;
  std::string error;
  int code = -1;
  const std::string out = RunIn(dir.path(), {"-tst"}, &fatal, &error, &code);
  EXPECT_FALSE(fatal) << error;
  EXPECT_EQ(code, ZYNMain::kExitHelp);
  EXPECT_EQ(out, kBanner + HelpText());
}

}  // namespace

namespace {

// More threads than twice the processors are not started; fewer are taken as given, none set is one each.
TEST(ThreadsTest, AtMostTwiceTheProcessors) {
  const unsigned processors = Platform::ProcessorCount();
  const char* saved = std::getenv("ZYN_THREADS");
  const std::string before = saved != nullptr ? saved : "";
  const std::pair<const char*, unsigned> cases[] = {{"1", 1}, {"256", std::min(256u, 2 * processors)}, {nullptr, processors}};
  for (const auto& [setting, expected] : cases) {
    if (setting != nullptr) ::setenv("ZYN_THREADS", setting, 1);
    else ::unsetenv("ZYN_THREADS");
    EXPECT_EQ(ZYNMain::Threads(), expected) << (setting != nullptr ? setting : "unset");
  }
  if (saved != nullptr) ::setenv("ZYN_THREADS", before.c_str(), 1);
  else ::unsetenv("ZYN_THREADS");
}

}  // namespace
