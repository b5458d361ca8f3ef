// Keep rules in ProGuard's configuration language: the -rules: files of a run and the rules its archives ship
// (META-INF/proguard/*.pro, META-INF/com.android.tools/*/*.pro). Only the options that can keep a private member
// are applied (-keep, -keepclassmembers, -keepclasseswithmembers, their -names forms, -if before them); every
// other option is read and passed over. Where a rule cannot be told exactly here (a condition's members, the
// access of a class the run only names), it is taken as holding: a rule may keep more, never less.
// Uses: Platform, ZYNError, ZYNMap.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ZYNRules {

// What the rules hold of a member: nothing, its name (it may go when nothing uses it), or the member itself.
enum class tHold : std::uint8_t { kNone, kName, kMember };

// A class as the rules see it: names in internal form (a/b/C), descriptors as read, annotation types as internal
// names.
struct tMemberView {
  bool method = false;
  std::int32_t access = 0;
  std::string_view name, descriptor;
  std::vector<std::string_view> annotations;
};
struct tClassView {
  std::int32_t access = 0;
  std::string_view name;
  std::vector<std::string_view> supertypes;  // every ancestor the run knows of
  std::vector<std::string_view> annotations;
  std::vector<tMemberView> members;
};

// The rule that holds a member, and the words that name it: `rule "-keep ..." in app.pro:3`.
struct tVerdict {
  tHold hold = tHold::kNone;
  std::string_view evidence;
};

struct tRule;

class tRuleSet {
public:
  tRuleSet();
  ~tRuleSet();
  tRuleSet(tRuleSet&&) noexcept;
  tRuleSet& operator=(tRuleSet&&) noexcept;

  // Reads a rules file, following -include and @; a file that cannot be read or does not parse ends the run at
  // an error naming the file and line.
  void ReadFile(const std::string& path);
  // Reads rules from a text that `origin` names (an archive's entry), which may include no file.
  void ReadText(std::string_view text, const std::string& origin);
  // The rules of another set after these.
  void Append(tRuleSet&& other);
  // The options read and not applied, each once, with where each was first met ("-dontwarn", "app.pro:2").
  const std::vector<std::pair<std::string, std::string>>& Skipped() const { return skipped_; }
  bool empty() const { return rules_.empty(); }

  // Once the run's classes are known: which of them meet each -if condition. forEach calls its argument for
  // every class of the run (members need not be given).
  void Prepare(const std::function<void(const std::function<void(const tClassView&)>&)>& forEach);
  // What the rules hold of each member of the class, in the order of cls.members.
  std::vector<tVerdict> Hold(const tClassView& cls) const;

private:
  void Parse(std::string_view text, const std::string& origin, int depth);  // depth -1: shipped
  std::vector<std::unique_ptr<tRule>> rules_;
  std::vector<std::pair<std::string, std::string>> skipped_;
};

// Whether the entry name of an archive (or a path in a folder) is a rules file that libraries ship for shrinkers.
bool IsShippedRules(std::string_view name);

}  // namespace ZYNRules
