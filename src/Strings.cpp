#include "Strings.h"

#include <algorithm>

namespace Strings {

namespace {

// Characters before the first NUL (the whole array when there is none).
int Length(std::span<const char> s) {
  const auto end = std::find(s.begin(), s.end(), '\0');
  return static_cast<int>(end - s.begin());
}

}  // namespace

void Append(std::string_view extra, std::span<char> dest) {
  if (dest.empty()) return;
  const int limit = static_cast<int>(dest.size()) - 1;
  int n = std::min(Length(dest), limit);
  for (char ch : extra) {
    if (n >= limit) break;
    dest[n++] = ch;
  }
  dest[n] = '\0';
}

int Pos(std::string_view pattern, std::span<const char> s, int pos) {
  const int n = Length(s);
  if (pos < 0 || pos > n || pattern.empty()) return -1;
  const std::string_view text(s.data(), n);
  const auto found = text.find(pattern, pos);
  return found == std::string_view::npos ? -1 : static_cast<int>(found);
}

}  // namespace Strings
