// What a run tells of its decisions on private members: the list of those it removed (-usage:) and, for the
// members a pattern names (-why:), what became of each and the rule that kept it, with its evidence.
// Uses: FormatUtils, ZYNData, ZYNError, ZYNMap, ZYNResult.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "ZYNData.h"
#include "ZYNError.h"
#include "ZYNMap.h"
#include "ZYNResult.h"

namespace ZYNExplain {

// The class's lines of the usage list: "a.b.C:", then "    " and the declaration of each member removed, in
// the order given; empty when none was.
std::string UsageLines(std::string_view className, const std::vector<ZYNResult::tMemberDecision>& members);

// The rule's name in a machine-readable report ("StringConstant").
std::string_view RuleCode(ZYNResult::tRule rule);
// What became of a member, and why: "removed", "renamed to a", "kept: its name is a String constant of a.b.C".
std::string Fate(const ZYNResult::tMemberDecision& member);

// The usage list of a run.
class tUsageOutput final : public ZYNMap::tTextOutput {
public:
  tUsageOutput() : tTextOutput(ZYNError::tKind::kUsageNotWritten) {}

private:
  std::string Lines(const std::string&, const ZYNResult::tFileResult& result) override {
    return result.error.empty() ? UsageLines(result.className, result.members) : std::string();
  }
};

// The answers to -why: after the totals, one line for each private member a pattern matches, in run order
// ("a.b.C: private int count: removed"), then one line for each pattern that matched none.
class tWhyOutput final : public ZYNResult::tOutput {
public:
  explicit tWhyOutput(const std::vector<ZYNData::tKeepPattern>& patterns)
      : patterns_(patterns), matched_(patterns.size(), false) {}
  void File(const std::string& name, const ZYNResult::tFileResult& result) override;
  void End(const ZYNResult::tTotals&) override {}
  void Summary() override;

private:
  const std::vector<ZYNData::tKeepPattern>& patterns_;
  std::vector<bool> matched_;
  std::vector<std::string> lines_;
};

}  // namespace ZYNExplain
