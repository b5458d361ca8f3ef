// The mapping of renamed members, in the format that stack trace retracers read: a stack trace of the
// optimized classes can be read back with the names the source gave.
// Uses: Platform.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Platform.h"

namespace ZYNMap {

// The names of a class's members before the member pass; a renaming may rewrite a name entry in place.
struct tBefore {
  std::vector<std::string> fields, methods;
};

// A member whose name changed, as the mapping lists it: for a method, the first and last source lines of its
// code where a line number table is kept (last 0: none).
struct tRenamed {
  bool method = false;
  std::string_view descriptor;
  std::string_view before, after;
  std::int32_t first = 0, last = 0;
};

// The class's lines of the mapping: "a.b.C -> a.b.C:", then one line for each renamed member in the order
// given; empty when none is.
std::string ClassLines(std::string_view className, const std::vector<tRenamed>& renamed);

// A descriptor's types as Java source names them: "[Ljava/lang/String;" is "java.lang.String[]"; a method
// descriptor gives "ret (arg,arg)" parts through MethodTypes.
std::string JavaType(std::string_view descriptor);
// A method descriptor's return type and its argument list ("int,java.lang.String").
void MethodTypes(std::string_view descriptor, std::string& returnType, std::string& arguments);

// The mapping file of a run: written beside its name and moved there when the run ends, whether the run
// ends well or at an error, so that a reader never finds half a file under the name.
class tMapFile {
public:
  // False (Platform::LastError says why) when the temporary file cannot be made.
  bool Open(const std::string& name);
  void Add(std::string_view lines);
  // Puts the file in place; false when it could not be written or moved.
  bool Close();
  const std::string& Name() const { return name_; }

private:
  std::string name_;
  Platform::TempFile file_;
  bool open_ = false;
};

}  // namespace ZYNMap
