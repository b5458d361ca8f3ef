// What the core makes of one class file, as data: its sizes, its warnings and error, and the decision on each of
// its private members with the rule that kept it. Every output of a run (the console table, the mapping, a
// later list or report) is an implementation of tOutput fed these results; none reaches into the class model.
// Uses: ZYNError.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ZYNError.h"

namespace ZYNResult {

// The guards of the member pass, each a named rule.
enum class tRule : std::uint8_t {
  kNone,            // no rule: the class uses it
  kSerialMember,    // Java serialization finds it by name and descriptor
  kSerialForm,      // an instance field of a serializable class: its serialized form
  kCalledByName,    // the JVM calls it by name
  kAnnotated,       // a runtime-visible annotation
  kStringConstant,  // its name is a String constant of the class
  kAnnotationWord,  // its name is a word of an annotation of the class
  kNamedOutside,    // its name is a String constant of another class of the run
  kResourceWord,    // its name is a word of a resource file of the run
  kKeepPattern,     // a -keep: pattern
  kKeepRule,        // a rule of a -rules: file or of one an archive ships
  kBoundByRun,      // the run uses code that binds fields by name
  kBoundByClass,    // the class, its package or a supertype declares how its fields bind
  kListed,          // the run lists the class's methods
  kMadeByBinder,    // the constructor a binder makes the class's objects with
  kEnclosing,       // the enclosing method of an inner class
  kScalaInline,     // Scala's inlining facts name it
  kKotlinInline,    // kotlinc copies its body into its callers
  kNative,          // a native method keeps its name
  kMetadata,        // the class's metadata names its members
  kNest,            // the classes of its nest use it (the last: ZYNExplain has a row for each)
};

// A guard's verdict on one member: the rule that keeps it (kNone: none) and its evidence where there is any (the
// -keep: pattern, the class that binds), which outlives the class.
struct tKept {
  tRule rule = tRule::kNone;
  std::string_view evidence;
  explicit operator bool() const { return rule != tRule::kNone; }
};

enum class tFate : std::uint8_t { kRemoved, kRenamed, kKept };

// What the run made of one private member (or one whose name changed). For a renamed method, the first and last
// source lines of its code where a line number table is kept (last 0: none).
struct tMemberDecision {
  bool method = false;
  std::int32_t access = 0;  // its access flags as read
  tFate fate = tFate::kKept;
  tRule rule = tRule::kNone;  // why a kept member stays
  std::string name, descriptor, newName, evidence;
  std::int32_t first = 0, last = 0;
};

struct tFileResult {
  ZYNError::tError error;             // why the file failed; none when it went through
  std::vector<std::string> warnings;  // the "WARNING: ..." lines of reading, in order
  bool read = false;                  // the whole class was read, so oldSize holds
  std::int32_t oldSize = 0;           // the bytes read
  std::int32_t change = 0;            // the bytes saved, as the passes count them
  std::int32_t dropped = 0;           // constant pool entries not kept
  bool limited = false;               // warnings kept the whole constant pool
  std::vector<std::uint8_t> bytes;    // the optimized class; nothing with -tst
  // Where an output asks for them: the class's internal name and the decisions, fields then methods.
  std::string className;
  std::vector<tMemberDecision> members;
};

// What the run's last lines say.
struct tTotals {
  std::int32_t files = 0;             // class files, loose or entries
  std::int32_t reduction = 0;         // the sum of their Change column
  bool archives = false;              // an archive was processed
  std::int64_t archiveReduction = 0;  // by how many bytes the archive files shrank
};

// An output of a run beside the console: fed every class file's result in list order (File), told when the run
// went through (End, which may end the run at an error of its own), then Summary. Destroyed without End when the
// run stops.
class tOutput {
public:
  virtual ~tOutput() = default;
  virtual void File(const std::string& name, const tFileResult& result) = 0;
  virtual void End(const tTotals& totals) = 0;
  // After the totals of a run that went through: what the output prints itself.
  virtual void Summary() {}
};

}  // namespace ZYNResult
