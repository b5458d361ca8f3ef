#include "FuzzChecks.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "FileModule.h"
#include "FileModuleList.h"
#include "ParamModule.h"
#include "Queue.h"
#include "ZYNArchive.h"
#include "ZYNClass.h"
#include "ZYNConstPool.h"
#include "ZYNData.h"
#include "ZYNError.h"
#include "ZYNRules.h"
#include "ZYNHierarchy.h"
#include "ZYNReport.h"
#include "ZYNMain.h"
#include "ZYNZip.h"

namespace ZYNFuzz {

namespace {

using tBytes = std::vector<std::uint8_t>;

// A diagnostic is one line of printable characters that says what it is.
std::string BadLine(const std::string& line, std::string_view kind) {
  if (line.rfind(kind, 0) != 0) return "a line without its \"" + std::string(kind) + "\": " + line;
  if (std::any_of(line.begin(), line.end(), [](char ch) { return static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F; }))
    return "a line with a control character: " + line;
  return {};
}

std::string BadErrorLine(const std::string& line) { return BadLine(line, "ERROR: "); }

// Where two byte sequences first differ, for the report of a broken promise.
std::string FirstDifference(tInput a, tInput b) {
  const auto [i, j] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
  return "first difference at byte " + std::to_string(i - a.begin()) + " of " + std::to_string(a.size()) + " and " +
         std::to_string(b.size());
}

// Writes the job's archive into `written`; false when a class entry failed.
bool WriteInMemory(ZYNArchive::tJob& job, const ZYNData::tParams& params, tBytes& written) {
  ZYNReport::tReport report;
  return job.Write(1, params, report, [&written](ZYNZip::tBytes part) { written.insert(written.end(), part.begin(), part.end()); });
}

// The keys of a class input: one bit each.
ZYNData::tParams Keys(std::uint8_t keys) {
  ZYNData::tParams p;
  p.src = (keys & 0x01) != 0;
  p.lin = (keys & 0x02) != 0;
  p.var = (keys & 0x04) != 0;
  p.noren = (keys & 0x08) != 0;
  p.nowarn = (keys & 0x10) != 0;
  p.depr = (keys & 0x20) != 0;
  p.synt = (keys & 0x40) != 0;
  p.uattr = (keys & 0x80) != 0;
  return p;
}

// The core as an archive entry uses it: always written, with what the names pass learns of the class.
ZYNClass::tFileResult Optimize(tInput bytes, const ZYNData::tParams& params, bool& named) {
  ZYNHierarchy::tClassNames names;
  named = ZYNHierarchy::ReadNames(bytes, names);
  ZYNHierarchy::tRunFacts facts;
  if (named) facts.Add(std::move(names));
  facts.Finish();
  return ZYNClass::OptimizeFile(bytes, params, ZYNClass::ReduceMembers, ZYNClass::tWrite::Always,
                                named ? &facts : nullptr);
}

// Whether the written class differs from the input only where a switch's padding held something other than
// zeros (writing puts zeros there, as the verifier wants them): each such byte is zero in the output and
// follows a tableswitch or lookupswitch opcode within three bytes, with only zeros between.
bool OnlySwitchPadding(tInput in, tInput out) {
  if (in.size() != out.size()) return false;
  for (std::size_t d = 0; d < in.size(); ++d) {
    if (in[d] == out[d]) continue;
    if (out[d] != 0) return false;
    bool padding = false;
    for (std::size_t k = 1; k <= 3 && k <= d && !padding; ++k) {
      if (out[d - k] == 0xAA || out[d - k] == 0xAB) padding = true;
      else if (out[d - k] != 0) break;
    }
    if (!padding) return false;
  }
  return true;
}

// Read, every pool entry kept, renumbered and written: nothing when the class does not read cleanly.
std::string RoundTrip(tInput bytes) {
  const ZYNData::tParams params;
  ZYNClass::tContext ctx(params);
  FileModule::Reset(ctx.in, bytes);
  std::unique_ptr<ZYNClass::tClassDesc> cls;
  try {
    cls = ZYNClass::ReadClass(ctx);
  } catch (const ZYNError::Fatal&) {
    return {};
  }
  if (!ctx.diag.lines.empty() || static_cast<std::size_t>(ctx.in.PC) != bytes.size()) return {};
  // A pool whose last entry is a Long or Double lacks that entry's second index; writing mends the count.
  if (const std::uint8_t last = cls->cp->Tag(cls->cpCount - 1); last == 5 || last == 6) return {};
  std::int32_t dropped = 0, saved = 0;
  try {
    ZYNConstPool::UnMark(cls->marking);
    ZYNConstPool::MarkAll(cls->marking);
    ZYNConstPool::RenumUnUsed(cls->marking, dropped, saved);
    ZYNClass::WriteClass(ctx.out, *cls);
  } catch (const ZYNError::Fatal& error) {
    // An index that only writing follows (an attribute's) can still be wrong: then the class is not whole.
    return BadErrorLine(error.Line());
  }
  if (!std::equal(bytes.begin(), bytes.end(), ctx.out.bytes.begin(), ctx.out.bytes.end()) &&
      !OnlySwitchPadding(bytes, ctx.out.bytes))
    return "a class read without a warning is not written back byte for byte: " + FirstDifference(bytes, ctx.out.bytes);
  if (dropped != 0 || saved != 0) return "every entry kept, yet entries were counted as dropped";
  return {};
}

}  // namespace

std::string CheckClass(tInput input) {
  if (input.empty()) return {};
  const ZYNData::tParams params = Keys(input[0]);
  const tInput bytes = input.subspan(1);
  bool named = false;
  const ZYNClass::tFileResult first = Optimize(bytes, params, named);
  for (const std::string& warning : first.warnings)
    if (std::string why = BadLine(warning, "WARNING: "); !why.empty()) return why;
  if (!first.error.empty()) return BadErrorLine(first.error.Line());
  if (static_cast<std::int64_t>(first.bytes.size()) != std::int64_t{first.oldSize} - first.change)
    return "the table says " + std::to_string(first.oldSize) + " - " + std::to_string(first.change) +
           " bytes, the class written has " + std::to_string(first.bytes.size());
  if (!named) return "the names pass cannot read a class that the core reads";
  bool namedAgain = false;
  const ZYNClass::tFileResult again = Optimize(first.bytes, params, namedAgain);
  if (!again.error.empty()) return "the written class does not read back: " + again.error.Line();
  if (!namedAgain) return "the names pass cannot read the written class";
  // The pool's order for the compressor makes no class unreadable, whatever it holds.
  ZYNData::tParams packed = params;
  packed.pack = true;
  const ZYNClass::tFileResult pack = Optimize(bytes, packed, named);
  if (!pack.error.empty()) return "-pack fails where the keys alone do not: " + pack.error.Line();
  if (static_cast<std::int64_t>(pack.bytes.size()) != std::int64_t{pack.oldSize} - pack.change)
    return "with -pack the table's numbers disagree with the class written";
  if (const ZYNClass::tFileResult back = Optimize(pack.bytes, params, named); !back.error.empty())
    return "the class written with -pack does not read back: " + back.error.Line();
  return RoundTrip(bytes);
}

std::string CheckArchive(tInput input) {
  // The keys that change the most.
  ZYNData::tParams params;
  params.var = params.lin = params.src = params.uattr = params.depr = params.synt = true;
  ZYNArchive::tMemory memory;
  ZYNHierarchy::tRunFacts facts;
  ZYNArchive::ReadNames("fuzz.jar", input, 1, memory, [&](ZYNHierarchy::tClassFacts&& names) { facts.Add(std::move(names)); });
  facts.Finish();
  ZYNArchive::ReadWords(input, "fuzz.jar", memory, facts);

  tBytes written;
  try {
    ZYNArchive::tJob job(input, "fuzz.jar", facts, memory);
    if (!job.Keep().empty()) return {};
    if (!WriteInMemory(job, params, written)) return {};
    if (const std::string why = job.Verify(written); !why.empty()) return "the written archive does not verify: " + why;
    if (!job.Replaced() && !std::equal(input.begin(), input.end(), written.begin(), written.end()))
      return "no entry changed, yet the archive was not written byte for byte: " + FirstDifference(input, written);
  } catch (const ZYNError::Fatal& error) {
    return BadErrorLine(error.Line());
  }

  // What was written is an archive like any other: every class entry in it reads and optimizes again.
  try {
    ZYNArchive::tJob job(written, "again.jar", facts, memory);
    if (!job.Keep().empty()) return "the written archive must now stay as it is: " + job.Keep();
    tBytes second;
    if (!WriteInMemory(job, params, second)) return "a class entry of the written archive fails";
    if (const std::string why = job.Verify(second); !why.empty()) return "the archive written again does not verify: " + why;
  } catch (const ZYNError::Fatal& error) {
    return "the written archive does not go through again: " + error.Line();
  }
  return {};
}

std::string CheckCommandLine(tInput input) {
  // The words as the shell would pass them: NUL ends each.
  std::vector<std::string> arguments{"zyn"};
  std::string current;
  for (const std::uint8_t byte : input) {
    if (byte == 0) {
      arguments.push_back(std::move(current));
      current.clear();
    } else {
      current.push_back(static_cast<char>(byte));
    }
  }
  if (!current.empty()) arguments.push_back(std::move(current));
  std::vector<const char*> argv;
  for (const std::string& a : arguments) argv.push_back(a.c_str());

  Queue::tQueue words;
  ParamModule::GetParams(words, static_cast<int>(argv.size()), argv.data());
  std::optional<ZYNData::tParams> params;
  try {
    params = ZYNMain::ParseParams(words);
    if (!params) return {};
  } catch (const ZYNError::Fatal& error) {
    return BadErrorLine(error.Line());
  }
  const std::string& given = params->file;
  if (given.empty() || given[0] == '-') return "a file parameter that is no file: \"" + given + "\"";
  if (given.size() > ZYNData::kMaxParamLength) return "a file parameter beyond the longest: " + given;
  const std::string path = ZYNMain::FileParameter(given, false);
  if (path.rfind(given, 0) != 0 || (path != given && path != given + ".class") ||
      path.find('.') == std::string::npos)
    return "the file parameter \"" + given + "\" became \"" + path + "\"";
  // The pattern is matched against names as long as it; it must not take time beyond their product.
  for (const std::string& a : arguments) FileModule::WildcardMatch(path, a);
  return {};
}

std::string CheckRules(tInput input) {
  ZYNRules::tRuleSet rules;
  try {
    rules.ReadText({reinterpret_cast<const char*>(input.data()), input.size()}, "fuzz.pro");
  } catch (const ZYNError::Fatal& error) {
    if (!error.Line().starts_with("ERROR: Rules file \"fuzz.pro\"")) return "an error that names no rules file: " + error.Line();
    return BadErrorLine(error.Line());
  }
  ZYNRules::tClassView view{0x0011, "a/b/Shop", {"a/b/Base", "java/lang/Object"}, {"a/Keep"}, {}};
  view.members = {{false, 0x0042, "count", "[[La/b/Cell;", {"a/Json"}}, {true, 0x000A, "<init>", "(IJ[B)V", {}},
                  {true, 0x0002, "getName", "()Ljava/lang/String;", {}}, {true, 0x0002, "odd", "(L;[)", {}}};
  rules.Prepare([&](const std::function<void(const ZYNRules::tClassView&)>& f) { f(view); });
  if (rules.Hold(view).size() != view.members.size()) return "not one verdict per member";
  return {};
}

}  // namespace ZYNFuzz
