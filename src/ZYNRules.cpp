#include "ZYNRules.h"

#include <algorithm>
#include <set>

#include "Platform.h"
#include "ZYNError.h"
#include "ZYNMap.h"

namespace ZYNRules {

namespace {

using ZYNError::tKind;

// A rules file of at most this size is read; includes nest at most this deep (a file that includes itself).
constexpr std::size_t kMaxRulesFile = 16u << 20;
constexpr int kMaxDepth = 16;
// Every class is matched against every rule: a run takes at most this many (real files hold tens to hundreds),
// so that rules an archive ships cannot make a run take hours.
constexpr std::size_t kMaxRules = 10000;
// What a back-reference that the condition does not capture stands for: anything.
constexpr char kAnything = '\x01';

constexpr std::int32_t kAccInterface = 0x0200, kAccAnnotation = 0x2000, kAccEnum = 0x4000;

struct tWord {
  std::string_view word;
  std::int32_t flag;
};
constexpr tWord kClassKinds[] = {{"class", 0}, {"interface", kAccInterface}, {"enum", kAccEnum}, {"@", kAccAnnotation}};
constexpr tWord kClassFlags[] = {{"public", 0x0001}, {"final", 0x0010}, {"abstract", 0x0400}, {"synthetic", 0x1000}};
constexpr tWord kMemberFlags[] = {
    {"public", 0x0001},    {"private", 0x0002},      {"protected", 0x0004}, {"static", 0x0008},
    {"final", 0x0010},     {"synchronized", 0x0020}, {"volatile", 0x0040},  {"bridge", 0x0040},
    {"transient", 0x0080}, {"varargs", 0x0080},      {"native", 0x0100},    {"abstract", 0x0400},
    {"strictfp", 0x0800},  {"synthetic", 0x1000}};
constexpr std::string_view kOptionModifiers[] = {"allowshrinking", "allowoptimization", "allowobfuscation",
                                                 "includedescriptorclasses", "includecode", "allowaccessmodification"};

std::int32_t FlagOf(std::span<const tWord> words, std::string_view word) {
  for (const tWord& w : words)
    if (w.word == word) return w.flag;
  return 0;
}

struct tToken {
  std::string_view text;
  int line = 0;
};

bool IsDelimiter(char c) { return c == '{' || c == '}' || c == '(' || c == ')' || c == ';' || c == ',' || c == '!' || c == '@' || c == '='; }

// The words of a rules text: comments (from # to the line's end) dropped, the delimiters words of their own,
// a quoted name one word without its quotes.
std::vector<tToken> Tokens(std::string_view text) {
  std::vector<tToken> tokens;
  int line = 1;
  for (std::size_t at = 0; at < text.size();) {
    const char c = text[at];
    if (c == '\n') ++line;
    if (c == '#') {
      while (at < text.size() && text[at] != '\n') ++at;
    } else if (static_cast<unsigned char>(c) <= ' ') {
      ++at;  // blanks, and any other control character
    } else if (IsDelimiter(c)) {
      tokens.push_back({text.substr(at, 1), line});
      ++at;
    } else if (c == '\'' || c == '"') {
      const std::size_t end = text.find(c, at + 1);
      const std::size_t stop = end == std::string_view::npos ? text.size() : end;
      tokens.push_back({text.substr(at + 1, stop - at - 1), line});
      at = stop + 1;
    } else {
      const std::size_t from = at;
      while (at < text.size() && !IsDelimiter(text[at]) && static_cast<unsigned char>(text[at]) > ' ' && text[at] != '#')
        ++at;
      tokens.push_back({text.substr(from, at - from), line});
    }
  }
  return tokens;
}

}  // namespace

using tNames = std::vector<std::pair<bool, std::string>>;  // (negated, pattern)

struct tMemberPattern {
  enum tWhat : std::uint8_t { kFields, kMethods, kAll, kField, kMethod } what = kAll;
  std::string annotation;
  std::int32_t set = 0, unset = 0;
  std::string type, name;  // a field's type or a method's return type ("" for a constructor)
  std::vector<std::string> args;
  bool operator==(const tMemberPattern&) const = default;
};

struct tClassPattern {
  std::string annotation;
  std::int32_t set = 0, unset = 0;
  tNames names;
  tNames extends;
  std::vector<tMemberPattern> members;
};

struct tRule {
  enum tWhat : std::uint8_t { kKeep, kClassMembers, kClassesWithMembers } what = kKeep;
  tHold hold = tHold::kMember;
  tClassPattern spec;
  bool conditional = false;
  tClassPattern condition;
  std::vector<tClassPattern> instances;  // the spec for each capture of the condition in the run, once prepared
  bool prepared = false;
  std::string evidence;
};

namespace {

// Name matching with "?", "*", "**" (and "***", as "**"), kAnything; the text each wildcard took in `captures`.
class tMatcher {
public:
  tMatcher(std::string_view pattern, std::string_view text, bool className)
      : p_(pattern), s_(text), className_(className) {
    if (std::count(p_.begin(), p_.end(), '*') > 1) failed_.assign((p_.size() + 1) * (s_.size() + 1), false);
  }
  bool Match(std::vector<std::string>* captures) {
    captures_ = captures;
    const std::size_t before = captures != nullptr ? captures->size() : 0;
    if (!At(0, 0)) return false;
    if (captures != nullptr) std::reverse(captures->begin() + static_cast<std::ptrdiff_t>(before), captures->end());
    return true;
  }

private:
  bool At(std::size_t i, std::size_t j) {
    if (i == p_.size()) return j == s_.size();
    const std::size_t slot = i * (s_.size() + 1) + j;
    if (!failed_.empty() && failed_[slot]) return false;
    const bool ok = Step(i, j);
    if (!ok && !failed_.empty()) failed_[slot] = true;
    return ok;
  }
  bool Step(std::size_t i, std::size_t j) {
    const char c = p_[i];
    if (c == '*' || c == kAnything) {
      std::size_t n = 1;
      while (c == '*' && i + n < p_.size() && p_[i + n] == '*' && n < 3) ++n;
      const bool crosses = c == kAnything || n > 1 || !className_;
      for (std::size_t k = j; k <= s_.size(); ++k) {
        if (k > j && !crosses && s_[k - 1] == '.') break;
        if (At(i + n, k)) {
          if (captures_ != nullptr) captures_->emplace_back(s_.substr(j, k - j));
          return true;
        }
      }
      return false;
    }
    if (j == s_.size()) return false;
    if (c == '?') {
      if (className_ && s_[j] == '.') return false;
      if (!At(i + 1, j + 1)) return false;
      if (captures_ != nullptr) captures_->emplace_back(s_.substr(j, 1));
      return true;
    }
    return c == s_[j] && At(i + 1, j + 1);
  }
  std::string_view p_, s_;
  bool className_;
  std::vector<bool> failed_;
  std::vector<std::string>* captures_ = nullptr;
};

// A list as ProGuard reads one: "!a,b" is not a and b; "a,!b" is a or not b; a last "!a" alone is not a.
bool ListMatches(const tNames& names, std::string_view dotted, std::vector<std::string>* captures, std::size_t i = 0) {
  if (i >= names.size()) return false;
  const auto& [negated, given] = names[i];
  // A class name of "*" alone is any class in any package, as ProGuard reads it.
  const std::string_view pattern = given == "*" ? std::string_view("**") : std::string_view(given);
  std::vector<std::string> taken;
  const bool matches = tMatcher(pattern, dotted, true).Match(captures != nullptr ? &taken : nullptr);
  if (matches && !negated) {
    if (captures != nullptr) captures->insert(captures->end(), taken.begin(), taken.end());
    return true;
  }
  if (matches) return false;  // a negated name that matches
  return i + 1 == names.size() ? negated : ListMatches(names, dotted, captures, i + 1);
}

bool AnyAnnotation(const std::string& pattern, const std::vector<std::string_view>& annotations) {
  if (pattern.empty()) return true;
  const tNames one{{false, pattern}};
  return std::ranges::any_of(annotations, [&](std::string_view a) { return ListMatches(one, ZYNMap::Dotted(a), nullptr); });
}

bool IsPrimitive(std::string_view type) {
  static constexpr std::string_view kPrimitives[] = {"boolean", "byte", "char", "short", "int", "long", "float", "double"};
  return std::ranges::find(kPrimitives, type) != std::end(kPrimitives);
}

// A type pattern against a type as Java source writes it: "%" any primitive, "***" any type, class patterns
// only class types, array dimensions alike.
bool TypeMatches(std::string_view pattern, std::string_view type) {
  if (pattern == "***" || pattern == std::string_view(&kAnything, 1)) return true;
  while (pattern.ends_with("[]") && type.ends_with("[]")) pattern.remove_suffix(2), type.remove_suffix(2);
  if (pattern.ends_with("[]") || type.ends_with("[]")) return false;
  if (pattern == "%") return IsPrimitive(type);
  if (IsPrimitive(type) || type == "void") return pattern == type;
  return tMatcher(pattern, type, true).Match(nullptr);
}

bool ArgsMatch(std::span<const std::string> patterns, std::span<const std::string> types) {
  if (patterns.empty()) return types.empty();
  if (patterns[0] == "...") {
    for (std::size_t k = 0; k <= types.size(); ++k)
      if (ArgsMatch(patterns.subspan(1), types.subspan(k))) return true;
    return false;
  }
  return !types.empty() && TypeMatches(patterns[0], types[0]) && ArgsMatch(patterns.subspan(1), types.subspan(1));
}

std::vector<std::string> Split(const std::string& arguments) {
  std::vector<std::string> types;
  std::size_t from = 0;
  while (!arguments.empty()) {
    const std::size_t comma = arguments.find(',', from);
    types.push_back(arguments.substr(from, comma - from));
    if (comma == std::string::npos) break;
    from = comma + 1;
  }
  return types;
}

bool MemberMatches(const tMemberPattern& spec, const tMemberView& m) {
  using W = tMemberPattern;
  const bool wantsMethod = spec.what == W::kMethods || spec.what == W::kMethod;
  if (spec.what != W::kAll && wantsMethod != m.method) return false;
  if ((m.access & spec.set) != spec.set || (m.access & spec.unset) != 0) return false;
  if (!AnyAnnotation(spec.annotation, m.annotations)) return false;
  if (spec.what == W::kField) return tMatcher(spec.name, m.name, false).Match(nullptr) && TypeMatches(spec.type, ZYNMap::JavaType(m.descriptor));
  if (spec.what != W::kMethod) return true;
  if (!tMatcher(spec.name, m.name, false).Match(nullptr)) return false;
  std::string returnType, arguments;
  ZYNMap::MethodTypes(m.descriptor, returnType, arguments);
  if (!spec.type.empty() && !TypeMatches(spec.type, returnType)) return false;
  return ArgsMatch(spec.args, Split(arguments));
}

// `known`: what the view says of the class beyond its name and supertypes (false for the run's other classes).
bool ClassMatches(const tClassPattern& spec, const tClassView& cls, bool known, std::vector<std::string>* captures) {
  if (known && ((cls.access & spec.set) != spec.set || (cls.access & spec.unset) != 0)) return false;
  if (known && !AnyAnnotation(spec.annotation, cls.annotations)) return false;
  if (!ListMatches(spec.names, ZYNMap::Dotted(cls.name), captures)) return false;
  if (spec.extends.empty()) return true;
  return std::ranges::any_of(cls.supertypes, [&](std::string_view s) { return ListMatches(spec.extends, ZYNMap::Dotted(s), captures); });
}

std::string Substituted(const std::string& pattern, const std::vector<std::string>& captures) {
  std::string out;
  for (std::size_t at = 0; at < pattern.size(); ++at) {
    const std::size_t end = pattern[at] == '<' ? pattern.find('>', at) : std::string::npos;
    const std::string_view inside = end == std::string::npos ? std::string_view() : std::string_view(pattern).substr(at + 1, end - at - 1);
    if (inside.empty() || !std::ranges::all_of(inside, [](char c) { return c >= '0' && c <= '9'; }) || inside.size() > 3) {
      out.push_back(pattern[at]);
      continue;
    }
    const std::size_t n = std::stoul(std::string(inside));
    if (n >= 1 && n <= captures.size()) out += captures[n - 1]; else out.push_back(kAnything);
    at = end;
  }
  return out;
}

tClassPattern Instance(tClassPattern spec, const std::vector<std::string>& captures) {
  for (auto* names : {&spec.names, &spec.extends})
    for (auto& entry : *names) entry.second = Substituted(entry.second, captures);
  for (tMemberPattern& m : spec.members) {
    m.type = Substituted(m.type, captures), m.name = Substituted(m.name, captures);
    for (std::string& a : m.args) a = Substituted(a, captures);
  }
  return spec;
}

void Apply(const tRule& rule, const tClassPattern& spec, const tClassView& cls, std::vector<tVerdict>& verdicts) {
  if (spec.members.empty() || !ClassMatches(spec, cls, true, nullptr)) return;
  if (rule.what == tRule::kClassesWithMembers &&
      !std::ranges::all_of(spec.members, [&](const tMemberPattern& s) {
        return std::ranges::any_of(cls.members, [&](const tMemberView& m) { return MemberMatches(s, m); });
      }))
    return;
  for (std::size_t i = 0; i < cls.members.size(); ++i) {
    if (verdicts[i].hold >= rule.hold) continue;
    if (std::ranges::any_of(spec.members, [&](const tMemberPattern& s) { return MemberMatches(s, cls.members[i]); }))
      verdicts[i] = {rule.hold, rule.evidence};
  }
}

}  // namespace

// Reads one rules text into rules.
class tParser {
public:
  tParser(std::string_view text, const std::string& origin) : tokens_(Tokens(text)), origin_(origin) {}

  // Calls include(path, line) for -include and @; returns the options it passes over, with their first line.
  void Parse(std::vector<std::unique_ptr<tRule>>& rules, std::vector<std::pair<std::string, int>>& skipped,
             const std::function<void(const std::string&)>& include) {
    while (at_ < tokens_.size()) {
      const std::size_t start = at_;
      const std::string_view option = Next("an option");
      if (option == "@" || option == "-include") {
        include(std::string(Word("a file name")));
      } else if (option == "-if") {
        tRule rule;
        rule.conditional = true;
        rule.condition = ClassPattern();
        const std::string_view keep = Next("a -keep option after -if");
        if (!KeepOption(keep, rule)) Expected("a -keep option after -if", keep);
        Finish(rule, start, rules);
      } else if (tRule rule; KeepOption(option, rule)) {
        Finish(rule, start, rules);
      } else if (option.starts_with('-') && option.size() > 1) {
        skipped.emplace_back(std::string(option), tokens_[start].line);
        SkipArguments();
      } else {
        Expected("an option", option);
      }
    }
  }

private:
  [[noreturn]] void Expected(std::string_view what, std::string_view got) const {
    // The word just read, or at the end the last one.
    const int line = tokens_.empty() ? 1 : tokens_[std::min(std::max<std::size_t>(at_, 1), tokens_.size()) - 1].line;
    ZYNError::Message(tKind::kBadRules, origin_, line, what, got.empty() ? "the end" : "\"" + std::string(got) + "\"");
  }
  std::string_view Peek(std::size_t ahead = 0) const {
    return at_ + ahead < tokens_.size() ? tokens_[at_ + ahead].text : std::string_view();
  }
  std::string_view Next(std::string_view what) {
    if (at_ >= tokens_.size()) Expected(what, "");
    return tokens_[at_++].text;
  }
  bool Accept(std::string_view word) {
    if (at_ >= tokens_.size() || tokens_[at_].text != word) return false;
    ++at_;
    return true;
  }
  void Expect(std::string_view word) {
    const std::string_view got = Next("\"" + std::string(word) + "\"");
    if (got != word) Expected("\"" + std::string(word) + "\"", got);
  }
  // A word that is no delimiter.
  std::string_view Word(std::string_view what) {
    const std::string_view w = Next(what);
    if (w.empty() || (w.size() == 1 && IsDelimiter(w[0])) || w.starts_with('-')) Expected(what, w);
    return w;
  }

  bool KeepOption(std::string_view option, tRule& rule) {
    static constexpr std::pair<std::string_view, std::pair<tRule::tWhat, bool>> kKeeps[] = {
        {"-keep", {tRule::kKeep, false}},
        {"-keepclassmembers", {tRule::kClassMembers, false}},
        {"-keepclasseswithmembers", {tRule::kClassesWithMembers, false}},
        {"-keepnames", {tRule::kKeep, true}},
        {"-keepclassmembernames", {tRule::kClassMembers, true}},
        {"-keepclasseswithmembernames", {tRule::kClassesWithMembers, true}}};
    const auto* k = std::ranges::find_if(kKeeps, [&](const auto& e) { return e.first == option; });
    if (k == std::end(kKeeps)) return false;
    rule.what = k->second.first;
    bool shrinking = k->second.second, obfuscation = false;
    while (Accept(",")) {
      const std::string_view modifier = Word("an option modifier");
      if (std::ranges::find(kOptionModifiers, modifier) == std::end(kOptionModifiers))
        Expected("an option modifier (allowshrinking, allowobfuscation, ...)", modifier);
      shrinking = shrinking || modifier == "allowshrinking";
      obfuscation = obfuscation || modifier == "allowobfuscation";
    }
    // A member that may be renamed but not removed is kept whole here: zyn renames only what it may remove.
    rule.hold = shrinking && obfuscation ? tHold::kNone : shrinking ? tHold::kName : tHold::kMember;
    rule.spec = ClassPattern();
    return true;
  }

  // Its words as one line (comments dropped), and where it stands.
  void Finish(tRule& rule, std::size_t start, std::vector<std::unique_ptr<tRule>>& rules) {
    std::string shown;
    for (std::size_t k = start; k < at_; ++k) {
      const std::string_view w = tokens_[k].text;
      const char before = shown.empty() ? ' ' : shown.back();
      const bool tight = w == ";" || w == "," || w == ")" || w == "(" || before == '@' || before == '!' ||
                         before == '(' || before == ',';
      if (!shown.empty() && !tight) shown.push_back(' ');
      shown.append(w);
    }
    rule.evidence = "rule \"" + shown + "\" in " + origin_ + ":" + std::to_string(tokens_[start].line);
    if (rule.hold == tHold::kNone) return;
    if (rules.size() >= kMaxRules) ZYNError::Message(tKind::kTooManyRules, origin_, kMaxRules);
    rules.push_back(std::make_unique<tRule>(std::move(rule)));
  }

  void SkipArguments() {
    int depth = 0;
    while (at_ < tokens_.size()) {
      const std::string_view w = tokens_[at_].text;
      if (depth == 0 && ((w.starts_with('-') && w.size() > 1) || w == "@")) return;
      depth += w == "{" ? 1 : w == "}" ? -1 : 0;
      depth = std::max(depth, 0);
      ++at_;
    }
  }

  tNames NameList(std::string_view what) {
    tNames names;
    do {
      const bool negated = Accept("!");
      names.emplace_back(negated, std::string(Word(what)));
    } while (Accept(","));
    return names;
  }

  tClassPattern ClassPattern() {
    tClassPattern spec;
    if (Peek() == "@" && Peek(1) != "interface") {
      Next("@");
      spec.annotation = Word("an annotation type");
    }
    static constexpr std::string_view kKinds = "\"class\", \"interface\", \"enum\" or \"@interface\"";
    for (bool isKind = false; !isKind;) {  // the modifiers, then the kind
      const bool negated = Accept("!");
      const std::string_view w = Next(kKinds);
      const auto* kind = std::ranges::find(kClassKinds, w, &tWord::word);
      isKind = kind != std::end(kClassKinds);
      if (w == "@") Expect("interface");  // @interface
      const std::int32_t flag = isKind ? kind->flag : FlagOf(kClassFlags, w);
      if (!isKind && flag == 0) Expected(kKinds, w);
      (negated ? spec.unset : spec.set) |= flag;
    }
    spec.names = NameList("a class name");
    if (Accept("extends") || Accept("implements")) {
      if (Accept("@")) Word("an annotation type");  // not matched: the rule may keep more, never less
      spec.extends = NameList("a class name");
    }
    if (Accept("{"))
      while (!Accept("}")) spec.members.push_back(MemberPattern());
    return spec;
  }

  tMemberPattern MemberPattern() {
    using W = tMemberPattern;
    tMemberPattern m;
    if (Accept("@")) m.annotation = Word("an annotation type");
    for (;;) {
      const bool negated = Peek() == "!";
      const std::int32_t flag = FlagOf(kMemberFlags, Peek(negated ? 1 : 0));
      if (flag == 0) break;
      at_ += negated ? 2 : 1;
      (negated ? m.unset : m.set) |= flag;
    }
    const std::string first(Word("a member: <fields>, <methods>, *, a type or a constructor"));
    if (first == "<fields>" || first == "<methods>" || (first == "*" && Peek() == ";")) {
      m.what = first == "<fields>" ? W::kFields : first == "<methods>" ? W::kMethods : W::kAll;
    } else if (Peek() == "(") {
      m.what = W::kMethod, m.name = "<init>";  // <init>(...) or the class's own name
      Arguments(m);
    } else {
      m.type = first;
      m.name = Word("a member name");
      m.what = Peek() == "(" ? W::kMethod : W::kField;
      if (m.what == W::kMethod) Arguments(m);
      // A field's values (= ...) and a method's (return ...) say nothing of keeping.
      if (Accept("=") || Accept("return"))
        while (Peek() != ";" && Peek() != "}" && !Peek().empty()) ++at_;
    }
    Expect(";");
    return m;
  }

  void Arguments(tMemberPattern& m) {
    Expect("(");
    if (Accept(")")) return;
    do m.args.emplace_back(Word("an argument type")); while (Accept(","));
    Expect(")");
  }

  std::vector<tToken> tokens_;
  const std::string& origin_;
  std::size_t at_ = 0;
};

tRuleSet::tRuleSet() = default;
tRuleSet::~tRuleSet() = default;
tRuleSet::tRuleSet(tRuleSet&&) noexcept = default;
tRuleSet& tRuleSet::operator=(tRuleSet&&) noexcept = default;

void tRuleSet::Parse(std::string_view text, const std::string& origin, int depth) {
  std::vector<std::pair<std::string, int>> skipped;
  const std::string folder = origin.substr(0, origin.rfind('/') + 1);
  tParser(text, origin).Parse(rules_, skipped, [&](const std::string& name) {
    // Rules an archive ships name no file of this machine.
    if (depth < 0) ZYNError::Message(tKind::kRulesShippedInclude, origin, name);
    const std::string path = name.starts_with('/') ? name : folder + name;
    if (depth >= kMaxDepth) ZYNError::Message(tKind::kRulesTooDeep, path);
    std::vector<std::uint8_t> bytes;
    if (!Platform::ReadFileUpTo(path, kMaxRulesFile, bytes)) ZYNError::Message(tKind::kRulesNotRead, path);
    Parse({reinterpret_cast<const char*>(bytes.data()), bytes.size()}, path, depth + 1);
  });
  for (const auto& one : skipped)
    if (std::ranges::none_of(skipped_, [&](const auto& s) { return s.first == one.first; }))
      skipped_.emplace_back(one.first, origin + ":" + std::to_string(one.second));
}

void tRuleSet::ReadFile(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  if (!Platform::ReadFileUpTo(path, kMaxRulesFile, bytes)) ZYNError::Message(tKind::kRulesNotRead, path);
  Parse({reinterpret_cast<const char*>(bytes.data()), bytes.size()}, path, 0);
}

void tRuleSet::ReadText(std::string_view text, const std::string& origin) { Parse(text, origin, -1); }

void tRuleSet::Append(tRuleSet&& other) {
  if (rules_.size() + other.rules_.size() > kMaxRules) ZYNError::Message(tKind::kTooManyRules, "-rules:", kMaxRules);
  for (auto& rule : other.rules_) rules_.push_back(std::move(rule));
  other.rules_.clear();
}

void tRuleSet::Prepare(const std::function<void(const std::function<void(const tClassView&)>&)>& forEach) {
  for (auto& rule : rules_) {
    if (!rule->conditional) continue;
    // Without back-references one class that meets the condition is enough.
    const tClassPattern plain = Instance(rule->spec, {});
    const bool refers = plain.names != rule->spec.names || plain.extends != rule->spec.extends ||
                        plain.members != rule->spec.members;
    std::set<std::vector<std::string>> seen;
    forEach([&](const tClassView& cls) {
      std::vector<std::string> captures;
      if ((refers || seen.empty()) && ClassMatches(rule->condition, cls, false, &captures) &&
          seen.insert(refers ? captures : std::vector<std::string>()).second)
        rule->instances.push_back(refers ? Instance(rule->spec, captures) : rule->spec);
    });
    rule->prepared = true;
  }
}

std::vector<tVerdict> tRuleSet::Hold(const tClassView& cls) const {
  std::vector<tVerdict> verdicts(cls.members.size());
  for (const auto& rule : rules_) {
    if (!rule->conditional) {
      Apply(*rule, rule->spec, cls, verdicts);
    } else if (!rule->prepared) {
      Apply(*rule, Instance(rule->spec, {}), cls, verdicts);  // the condition unknown: taken as holding
    } else {
      for (const tClassPattern& spec : rule->instances) Apply(*rule, spec, cls, verdicts);
    }
  }
  return verdicts;
}

bool IsShippedRules(std::string_view name) {
  name = name.substr(name.rfind('!') + 1);  // an archive's entry by its own name
  const std::size_t at = name.rfind("META-INF/");
  if (at == std::string_view::npos || (at > 0 && name[at - 1] != '/' && name[at - 1] != '!') || !name.ends_with(".pro"))
    return false;
  // META-INF/proguard/NAME.pro or META-INF/com.android.tools/FOLDER/NAME.pro
  const std::string_view rest = name.substr(at + 9);
  const auto slashes = std::ranges::count(rest, '/');
  return (rest.starts_with("proguard/") && slashes == 1) || (rest.starts_with("com.android.tools/") && slashes == 2);
}

}  // namespace ZYNRules
