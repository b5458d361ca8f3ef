// The mapping of renamed members, in the format that stack trace retracers read: a stack trace of the
// optimized classes can be read back with the names the source gave.
// Uses: Platform, ZYNError, ZYNResult.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Platform.h"
#include "ZYNResult.h"

namespace ZYNMap {

// The class's lines of the mapping: "a.b.C -> a.b.C:", then one line for each renamed member in the order
// given; empty when none is.
std::string ClassLines(std::string_view className, const std::vector<ZYNResult::tMemberDecision>& members);

// A descriptor's types as Java source names them: "[Ljava/lang/String;" is "java.lang.String[]"; a method
// descriptor gives "ret (arg,arg)" parts through MethodTypes.
std::string JavaType(std::string_view descriptor);
// A method descriptor's return type and its argument list ("int,java.lang.String").
void MethodTypes(std::string_view descriptor, std::string& returnType, std::string& arguments);

// The mapping file of a run, an output of its results: written beside its name and moved there when the run
// ends, whether the run ends well or at an error, so that a reader never finds half a file under the name.
class tMapOutput final : public ZYNResult::tOutput {
public:
  tMapOutput() = default;
  tMapOutput(const tMapOutput&) = delete;
  tMapOutput& operator=(const tMapOutput&) = delete;
  // A run that stops at an error still puts its mapping in place, with what it mapped so far.
  ~tMapOutput() override;
  // Ends the run at an error when the temporary file cannot be made.
  void Open(const std::string& name);
  void File(const std::string& name, const ZYNResult::tFileResult& result) override;
  // Puts the file in place; ends the run at an error when it could not be written or moved.
  void End() override;

private:
  [[noreturn]] void NotWritten() const;
  std::string name_;
  Platform::TempFile file_;
  bool open_ = false;
};

}  // namespace ZYNMap
