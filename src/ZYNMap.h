// The mapping of renamed members, in the format that stack trace retracers read: a stack trace of the
// optimized classes can be read back with the names the source gave.
// Uses: Platform, ZYNError, ZYNResult.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Platform.h"
#include "ZYNError.h"
#include "ZYNResult.h"

namespace ZYNMap {

// The class's lines of the mapping: "a.b.C -> a.b.C:", then one line for each renamed member in the order
// given; empty when none is.
std::string ClassLines(std::string_view className, const std::vector<ZYNResult::tMemberDecision>& members);

// An internal name (a/b/C) as Java source writes it (a.b.C).
std::string Dotted(std::string_view internal);

// A descriptor's types as Java source names them: "[Ljava/lang/String;" is "java.lang.String[]"; a method
// descriptor gives "ret (arg,arg)" parts through MethodTypes.
std::string JavaType(std::string_view descriptor);
// A method descriptor's return type and its argument list ("int,java.lang.String").
void MethodTypes(std::string_view descriptor, std::string& returnType, std::string& arguments);

// A member as Java source declares it: "private static int count", "private void helper(int,java.lang.String)",
// a constructor by the simple name of its class ("private Point(int,int)").
std::string Declaration(std::string_view className, const ZYNResult::tMemberDecision& member);

// A text file of a run, an output of its results: written beside its name and moved there when the run ends,
// whether the run ends well or at an error, so that a reader never finds half a file under the name.
class tTextOutput : public ZYNResult::tOutput {
public:
  // Its failure names the file with the kind given.
  explicit tTextOutput(ZYNError::tKind notWritten) : notWritten_(notWritten) {}
  tTextOutput(const tTextOutput&) = delete;
  tTextOutput& operator=(const tTextOutput&) = delete;
  // A run that stops at an error still puts its file in place, with what it wrote so far.
  ~tTextOutput() override;
  // Ends the run at an error when the temporary file cannot be made.
  void Open(const std::string& name);
  void File(const std::string& name, const ZYNResult::tFileResult& result) override;
  // Puts the file in place; ends the run at an error when it could not be written or moved.
  void End(const ZYNResult::tTotals& totals) override;

protected:
  // For an output whose file ends with a Tail: its destructor calls this, while Tail is still its own.
  void Stopped();

private:
  // The text of one class file (which may have failed), and what ends the file: after the totals of a run that
  // went through, or (totals null) of one that stopped.
  virtual std::string Lines(const std::string& name, const ZYNResult::tFileResult& result) = 0;
  virtual std::string Tail(const ZYNResult::tTotals*) { return {}; }
  void Put(const std::string& text);
  [[noreturn]] void NotWritten() const;
  ZYNError::tKind notWritten_;
  std::string name_;
  Platform::TempFile file_;
  bool open_ = false;
};

// The mapping of the renamed members.
class tMapOutput final : public tTextOutput {
public:
  tMapOutput() : tTextOutput(ZYNError::tKind::kMapNotWritten) {}

private:
  std::string Lines(const std::string&, const ZYNResult::tFileResult& result) override {
    return result.error.empty() ? ClassLines(result.className, result.members) : std::string();
  }
};

}  // namespace ZYNMap
