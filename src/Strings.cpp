#include "Strings.h"

#include <algorithm>

namespace Strings {

int Length(std::span<const char> s) {
  const auto end = std::find(s.begin(), s.end(), '\0');
  return static_cast<int>(end - s.begin());
}

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

void Insert(std::string_view source, int pos, std::span<char> dest) {
  if (dest.empty()) return;
  const int capacity = static_cast<int>(dest.size());
  const int n = std::min(Length(dest), capacity - 1);
  const int k = static_cast<int>(source.size());
  if (pos < 0 || pos > n) return;
  const int last = std::min(n + k, capacity - 1);  // one past the result's last character
  // Move the tail right, from its end, dropping what lands beyond the result.
  for (int i = n - 1; i >= pos; --i)
    if (i + k < last) dest[i + k] = dest[i];
  for (int i = 0; i < k && pos + i < last; ++i) dest[pos + i] = source[i];
  dest[last] = '\0';
}

int Pos(std::string_view pattern, std::span<const char> s, int pos) {
  const int n = Length(s);
  if (pos < 0 || pos > n || pattern.empty()) return -1;
  const std::string_view text(s.data(), n);
  const auto found = text.find(pattern, pos);
  return found == std::string_view::npos ? -1 : static_cast<int>(found);
}

}  // namespace Strings
