// Bounded texts: fixed-capacity character arrays holding a NUL-ended text; what does not fit is cut off.
#pragma once
#include <span>
#include <string_view>

namespace Strings {

// dest extended by extra, cut to the capacity of dest - 1 characters.
void Append(std::string_view extra, std::span<char> dest);
// First position at or after pos where s contains pattern, or -1.
int Pos(std::string_view pattern, std::span<const char> s, int pos);

}  // namespace Strings
