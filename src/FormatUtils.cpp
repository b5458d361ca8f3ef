#include "FormatUtils.h"

#include <cstdio>

namespace FormatUtils {

std::string Int2Str(std::int32_t x, std::size_t capacity) {
  if (capacity < 2) return {};
  std::string digits = std::to_string(x < 0 ? -static_cast<std::int64_t>(x) : x);
  // The least significant digits are kept; the sign takes one of the places.
  const std::size_t room = capacity - 1 - (x < 0 ? 1 : 0);
  if (digits.size() > room) digits.erase(0, digits.size() - room);
  return x < 0 ? '-' + digits : digits;
}

std::string Printable(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  for (const char ch : text) {
    const auto byte = static_cast<unsigned char>(ch);
    if (byte >= 0x20 && byte != 0x7F) {
      shown.push_back(ch);
      continue;
    }
    constexpr char kHex[] = "0123456789ABCDEF";
    shown.append({'\\', 'x', kHex[byte >> 4], kHex[byte & 15]});
  }
  return shown;
}

void PrintText(std::string_view text) {
  // An empty piece may have no data at all; fwrite must not be given a null pointer.
  if (!text.empty()) std::fwrite(text.data(), 1, text.size(), stdout);
}

void PrintLn() { std::fputc('\n', stdout); }

void PrintLine(std::string_view text) {
  PrintText(text);
  PrintLn();
}

std::string IntField(std::int64_t n, int width) {
  std::string digits = std::to_string(n);
  if (static_cast<int>(digits.size()) < width) digits.insert(0, width - digits.size(), ' ');
  return digits;
}

void PrintInt(std::int64_t n, int width) { PrintText(IntField(n, width)); }

void Print(std::string_view label, std::int32_t n) {
  PrintText(label);
  PrintInt(n, 0);
  PrintLn();
}

void Flush() { std::fflush(stdout); }

void TakeConsole() { ::flockfile(stdout); }

}  // namespace FormatUtils
