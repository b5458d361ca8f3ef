// Number text, the queue, and the diagnostics.
#include <cstdint>
#include <string>
#include <vector>

#include "FormatUtils.h"
#include "Queue.h"
#include "TestSupport.h"
#include "ZYNError.h"
#include "ZYNExplain.h"
#include "ZYNJson.h"
#include "ZYNReport.h"

namespace {

using SupportTest = ::testing::Test;

TEST_F(SupportTest, Int2StrKeepsTheLeastSignificantDigitsThatFit) {
  struct Row {
    std::int32_t x;
    std::size_t capacity;
    std::string text;
  };
  const Row rows[] = {
      {0, 11, "0"},
      {7, 11, "7"},
      {1200, 11, "1200"},
      {999999999, 10, "999999999"},
      {1000000000, 10, "000000000"},
      {1000000000, 11, "1000000000"},
      {2147483647, 11, "2147483647"},
      {2147483647, 10, "147483647"},
      {123, 2, "3"},
      {123, 1, ""},
      {-5, 11, "-5"},
      {-1200, 11, "-1200"},
      {-12345, 5, "-345"},
      {INT32_MIN, 12, "-2147483648"},
  };
  for (const Row& row : rows)
    EXPECT_EQ(FormatUtils::Int2Str(row.x, row.capacity), row.text) << row.x << " in " << row.capacity;
  for (std::size_t capacity : {2, 3, 10, 11}) {
    const std::string text = FormatUtils::Int2Str(INT32_MIN, capacity);
    EXPECT_LE(text.size(), capacity - 1) << capacity;
    EXPECT_EQ(text.front(), '-') << capacity;
  }
}

TEST_F(SupportTest, ConsoleIntegerFieldRightAligns) {
  struct Row {
    std::int64_t n;
    int width;
    std::string text;
  };
  const Row rows[] = {
      {1234, 8, "    1234"}, {-5, 8, "      -5"}, {123456789, 8, "123456789"}, {0, 0, "0"},
      {-12, 0, "-12"},       {12345678, 8, "12345678"}, {7, 1, "7"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(FormatUtils::IntField(row.n, row.width), row.text) << row.n;
    EXPECT_EQ(Captured([&] { FormatUtils::PrintInt(row.n, row.width); }), row.text) << row.n;
  }
}

TEST_F(SupportTest, PrintWritesLabelNumberAndLineEnd) {
  EXPECT_EQ(Captured([] { FormatUtils::Print("Total reduction: ", 0); }), "Total reduction: 0\n");
  EXPECT_EQ(Captured([] { FormatUtils::Print("Total reduction: ", -12); }), "Total reduction: -12\n");
  EXPECT_EQ(Captured([] { FormatUtils::Print("Files: ", 123456789); }), "Files: 123456789\n");
}

// A node that counts how many of its kind are alive.
struct CountedNode : Queue::tNodeRec {
  static inline int alive = 0;
  int id;
  explicit CountedNode(int i) : id(i) { ++alive; }
  ~CountedNode() override { --alive; }
};

int IdOf(const std::unique_ptr<Queue::tNodeRec>& node) {
  auto* counted = dynamic_cast<CountedNode*>(node.get());
  return counted != nullptr ? counted->id : -1;
}

TEST_F(SupportTest, QueueIsFirstInFirstOut) {
  Queue::tQueue q;
  q.Init();
  EXPECT_FALSE(q.NotEmpty());
  q.Add(std::make_unique<CountedNode>(1));
  q.Add(std::make_unique<CountedNode>(2));
  EXPECT_TRUE(q.NotEmpty());
  EXPECT_EQ(IdOf(q.Get()), 1);
  EXPECT_EQ(IdOf(q.Get()), 2);
  EXPECT_FALSE(q.NotEmpty());
  EXPECT_FALSE(q.Get());

  // The queue ran empty with a stale last node; the next Add starts afresh.
  q.Add(std::make_unique<CountedNode>(3));
  EXPECT_EQ(IdOf(q.Get()), 3);
  q.Add(std::make_unique<CountedNode>(4));
  q.Add(std::make_unique<CountedNode>(5));
  EXPECT_EQ(IdOf(q.Get()), 4);
  EXPECT_EQ(IdOf(q.Get()), 5);
  EXPECT_FALSE(q.NotEmpty());
}

TEST_F(SupportTest, QueueHandsNodesOverAndReleasesWhatItHolds) {
  ASSERT_EQ(CountedNode::alive, 0);
  {
    Queue::tQueue a, b;
    a.Init();
    b.Init();
    for (int i = 0; i < 3; ++i) a.Add(std::make_unique<CountedNode>(i));
    std::unique_ptr<Queue::tNodeRec> taken = a.Get();
    EXPECT_FALSE(taken->next);
    b.Add(std::move(taken));
    EXPECT_EQ(IdOf(b.Get()), 0);  // the taken node is gone once its owner drops it
    EXPECT_EQ(CountedNode::alive, 2);
    // An added node becomes the last one: whatever hung from it is not queued.
    auto chained = std::make_unique<CountedNode>(7);
    chained->next = std::make_unique<CountedNode>(8);
    b.Add(std::move(chained));
    EXPECT_EQ(IdOf(b.Get()), 7);
    EXPECT_FALSE(b.NotEmpty());
    EXPECT_EQ(CountedNode::alive, 2);
    a.Init();  // re-initialising releases the nodes still queued
    EXPECT_EQ(CountedNode::alive, 0);
    EXPECT_FALSE(a.NotEmpty());
    for (int i = 0; i < 200000; ++i) b.Add(std::make_unique<CountedNode>(i));
    EXPECT_EQ(CountedNode::alive, 200000);
  }
  // A long chain is released by the queue's end without exhausting the stack.
  EXPECT_EQ(CountedNode::alive, 0);
}

TEST_F(SupportTest, MessageThrowsOneErrorLineThatTheReportPrints) {
  bool fatal = false;
  std::string error;
  const std::string out =
      Captured([] { ZYNError::Message(ZYNError::tKind::kNullCodeLength); }, &fatal, &error);
  EXPECT_TRUE(fatal);
  EXPECT_EQ(error, "ERROR: Null code length");
  EXPECT_EQ(out, "");  // the error travels; whoever catches it decides where it is printed
  try {
    ZYNError::Message(ZYNError::tKind::kSameBackup, "a", std::string("b\n"), 7);
    ADD_FAILURE() << "Message returned";
  } catch (const ZYNError::Fatal& e) {
    // Each argument in its place, shown printable, numbers in decimal; the failure stays a value.
    EXPECT_EQ(e.Line(), "ERROR: Files \"a\" and \"b\\x0A\" have the same backup name \"7\"");
    EXPECT_STREQ(e.what(), e.Line().c_str());
    EXPECT_EQ(e.Error().Code(), "SameBackup");
    EXPECT_EQ(e.Error().args, (std::vector<std::string>{"a", "b\n", "7"}));
    // Printed as main prints it: a line end (ending a table line begun), the line, a line end.
    EXPECT_EQ(Captured([&] { ZYNReport::Error(e.Line()); }), "\n" + e.Line() + "\n");
  }
  // Texts with {} not at the end, a missing argument, no failure.
  EXPECT_EQ(ZYNError::Make(ZYNError::tKind::kInvalidOpcode, 254, -1).Line(),
            "ERROR: Invalid opcode 254 in class file. Offset = -1");
  EXPECT_EQ(ZYNError::Make(ZYNError::tKind::kNotWritten, "x").Line(), "ERROR: File \"x\" not written: ");
  EXPECT_EQ(ZYNError::tError{}.Line(), "");
  EXPECT_TRUE(ZYNError::tError{}.empty());
}

TEST_F(SupportTest, WarningsAreCollectedPerFileInOrder) {
  ZYNError::tDiagnostics diag;
  const std::string out = Captured([&] {
    ZYNError::Warning(diag, "Unknown attribute \"", "Foo", "\" ignored. Length=", "5");
    ZYNError::Warning(diag, "second");
  });
  EXPECT_EQ(out, "");  // the batch prints them with the file's table line
  EXPECT_EQ(diag.lines,
            (std::vector<std::string>{"WARNING: Unknown attribute \"Foo\" ignored. Length=5", "WARNING: second"}));
  EXPECT_EQ(diag.WarnCount, 2);
  // Another file's diagnostics are its own.
  ZYNError::tDiagnostics next;
  ZYNError::Warning(next, "next file");
  EXPECT_EQ(next.lines, std::vector<std::string>{"WARNING: next file"});
  EXPECT_EQ(next.WarnCount, 1);
  EXPECT_EQ(diag.WarnCount, 2);
}

TEST_F(SupportTest, NowarnSilencesAndDoesNotCount) {
  ZYNError::tDiagnostics diag;
  diag.quiet = true;
  ZYNError::Warning(diag, "hidden", "a", "b", "c");
  EXPECT_TRUE(diag.lines.empty());
  EXPECT_EQ(diag.WarnCount, 0);
  diag.quiet = false;
  ZYNError::Warning(diag, "shown");
  EXPECT_EQ(diag.lines, std::vector<std::string>{"WARNING: shown"});
  EXPECT_EQ(diag.WarnCount, 1);
}

TEST_F(SupportTest, WarnCountStopsAt32767) {
  ZYNError::tDiagnostics diag;
  for (int i = 0; i < 32770; ++i) ZYNError::Warning(diag, "w");
  EXPECT_EQ(diag.WarnCount, 32767);
  EXPECT_EQ(diag.lines.size(), 32770u);  // every warning is kept for printing
}

// A member as the usage list, -why and the report show it: modifiers in Java's order (only those a field or a
// method can have), types as source names them, a constructor by its class's simple name, the fate and rule.
TEST_F(SupportTest, MembersAreShownAsJavaDeclaresThemWithTheirFate) {
  using ZYNResult::tFate;
  using ZYNResult::tRule;
  struct Case {
    bool method;
    std::int32_t access;
    std::string name, descriptor;
    tFate fate;
    tRule rule;
    std::string evidence, shown, fate_text;
  };
  const Case cases[] = {
      {false, 0x00DA, "count", "I", tFate::kRemoved, tRule::kNone, "", "private static final volatile transient int count",
       "removed"},
      {false, 0x0002, "grid", "[[Ljava/lang/String;", tFate::kRenamed, tRule::kNone, "", "private java.lang.String[][] grid",
       "renamed to a"},
      {true, 0x0D2A, "run", "(IJ[BLa/B;)V", tFate::kKept, tRule::kKeepPattern, "a.b.**",
       "private static synchronized native abstract strictfp void run(int,long,byte[],a.B)", "kept by -keep:a.b.**"},
      {true, 0x0052, "<init>", "(Z)V", tFate::kKept, tRule::kStringConstant, "a/b/Main",
       "private final Inner(boolean)", "kept: its name is a String constant of a.b.Main"},
      {true, 0x0002, "x", "()La/b/C;", tFate::kKept, tRule::kBoundByRun, "com/google/gson/Gson", "private a.b.C x()",
       "kept: the run uses com.google.gson.Gson, which binds fields by name"},
      {true, 0x0002, "y", "()V", tFate::kKept, tRule::kNone, "", "private void y()", "kept: its class uses it"},
      {true, 0x0002, "y", "()V", tFate::kKept, tRule::kAnnotated, "javax/inject/Inject", "private void y()",
       "kept: a runtime-visible annotation javax.inject.Inject"},
      {true, 0x0002, "y", "()V", tFate::kKept, tRule::kAnnotated, "", "private void y()",
       "kept: a runtime-visible annotation"},
      {false, 0x0002, "id", "I", tFate::kKept, tRule::kResourceWord, "app.jar!META-INF/plexus/components.xml",
       "private int id", "kept: its name is a word of app.jar!META-INF/plexus/components.xml"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shown);
    ZYNResult::tMemberDecision d;
    d.method = c.method, d.access = c.access, d.name = c.name, d.descriptor = c.descriptor, d.fate = c.fate;
    d.rule = c.rule, d.evidence = c.evidence, d.newName = "a";
    EXPECT_EQ(ZYNMap::Declaration("a/b/Outer$Inner", d), c.shown);
    EXPECT_EQ(ZYNExplain::Fate(d), c.fate_text);
    const std::vector<ZYNResult::tMemberDecision> one{d};
    EXPECT_EQ(ZYNExplain::UsageLines("a/b/Outer$Inner", one),
              c.fate == tFate::kRemoved ? "a.b.Outer$Inner:\n    " + c.shown + "\n" : "");
  }
}

// Report strings are valid JSON whatever bytes a class file's names hold.
TEST_F(SupportTest, ReportStringsAreValidJsonForAnyBytes) {
  const std::pair<std::string, std::string> cases[] = {
      {"a\"b\\c", R"("a\"b\\c")"},
      {std::string("\x00\x1f\n", 3), R"("\u0000\u001f\u000a")"},
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "\"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\""},
      {"\xC0\x80", R"("\ufffd\ufffd")"},                 // modified UTF-8's NUL is not UTF-8
      {"\xED\xA0\x80x", R"("\ufffd\ufffd\ufffdx")"},    // nor is a surrogate
      {"\xE2\x82", R"("\ufffd\ufffd")"},                 // cut short
      {"\xFF\x7F", "\"\\ufffd\x7F\""},
  };
  for (const auto& [text, quoted] : cases) EXPECT_EQ(ZYNJson::Quoted(text), quoted);
}

}  // namespace
