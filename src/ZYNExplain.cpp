#include "ZYNExplain.h"

#include "FormatUtils.h"

namespace ZYNExplain {

namespace {

using ZYNMap::Dotted;
using ZYNResult::tRule;

struct tRuleRow {
  std::string_view code, text;  // text: what the rule says of a member it kept; {} takes the evidence
};

// One row per rule, in the order of tRule.
constexpr tRuleRow kRules[] = {
    {"None", "kept: its class uses it"},
    {"SerialMember", "kept: Java serialization finds it by name"},
    {"SerialForm", "kept: a field of the serialized form of a serializable class"},
    {"CalledByName", "kept: the JVM calls it by name"},
    {"Annotated", "kept: a runtime-visible annotation {}"},
    {"StringConstant", "kept: its name is a String constant of {}"},
    {"AnnotationWord", "kept: its name is a word of an annotation of {}"},
    {"NamedOutside", "kept: its name is a String constant of {}"},
    {"ResourceWord", "kept: its name is a word of {}"},
    {"KeepPattern", "kept by -keep:{}"},
    {"KeepRule", "kept by {}"},
    {"BoundByRun", "kept: the run uses {}, which binds fields by name"},
    {"BoundByClass", "kept: its class, package or a supertype declares that its fields bind by name"},
    {"Listed", "kept: the run lists the methods of its class"},
    {"MadeByBinder", "kept: a binder of the run makes the objects of its class with it"},
    {"Enclosing", "kept: the enclosing method of an inner class"},
    {"ScalaInline", "kept: Scala's inlining facts name it"},
    {"KotlinInline", "kept: kotlinc copies its body into its callers"},
    {"Native", "kept: a native method keeps its name"},
    {"Metadata", "kept: the metadata of its class names its members"},
    {"Nest", "kept: the classes of its nest use it"},
};
static_assert(std::size(kRules) == static_cast<std::size_t>(tRule::kNest) + 1, "one row per rule");

const tRuleRow& RowOf(tRule rule) { return kRules[static_cast<std::size_t>(rule)]; }

}  // namespace

std::string UsageLines(std::string_view className, const std::vector<ZYNResult::tMemberDecision>& members) {
  std::string lines;
  for (const ZYNResult::tMemberDecision& member : members) {
    if (member.fate != ZYNResult::tFate::kRemoved) continue;
    if (lines.empty()) lines = Dotted(className) + ":\n";
    lines += "    " + ZYNMap::Declaration(className, member) + '\n';
  }
  return lines;
}

std::string_view RuleCode(ZYNResult::tRule rule) { return RowOf(rule).code; }

std::string Fate(const ZYNResult::tMemberDecision& member) {
  if (member.fate == ZYNResult::tFate::kRemoved) return "removed";
  if (member.fate == ZYNResult::tFate::kRenamed) return "renamed to " + member.newName;
  const std::string_view text = RowOf(member.rule).text;
  const std::size_t at = text.find("{}");
  if (at == std::string_view::npos) return std::string(text);
  if (member.evidence.empty()) return std::string(text.substr(0, at > 0 && text[at - 1] == ' ' ? at - 1 : at));
  // A -keep: pattern and a rule are shown as given; a class by its Java name.
  const bool asGiven =
      member.rule == tRule::kKeepPattern || member.rule == tRule::kKeepRule || member.rule == tRule::kResourceWord;
  const std::string evidence = asGiven ? member.evidence : Dotted(member.evidence);
  return std::string(text.substr(0, at)) + evidence + std::string(text.substr(at + 2));
}

void tWhyOutput::File(const std::string&, const ZYNResult::tFileResult& result) {
  if (!result.error.empty()) return;
  for (const ZYNResult::tMemberDecision& member : result.members) {
    bool asked = false;
    for (std::size_t i = 0; i < patterns_.size(); ++i) {
      const ZYNData::tKeepPattern& p = patterns_[i];
      if (!ZYNData::KeepsClass(p, result.className) || !ZYNData::KeepsMember(p, member.name)) continue;
      asked = true;
      matched_[i] = true;
    }
    if (asked)
      lines_.push_back(Dotted(result.className) + ": " + ZYNMap::Declaration(result.className, member) + ": " +
                       Fate(member));
  }
}

void tWhyOutput::Summary() {
  for (const std::string& line : lines_) FormatUtils::PrintLine(FormatUtils::Printable(line));
  for (std::size_t i = 0; i < patterns_.size(); ++i)
    if (!matched_[i]) FormatUtils::PrintLine(FormatUtils::Printable("-why:" + patterns_[i].text + ": no private member matches"));
}

}  // namespace ZYNExplain
