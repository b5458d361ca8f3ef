// Diagnostics: errors end the run, warnings are counted per file.
#pragma once
#include <cstdint>
#include <exception>
#include <string_view>

namespace ZYNError {

// The one exception type of a fatal error; only main (and tests) catch it.
class Fatal : public std::exception {
public:
  const char* what() const noexcept override { return "zyn: fatal error"; }
};

// Warnings printed since the last WarningReset; stops at 32767.
extern std::int16_t WarnCount;

// Prints a line end, then "ERROR: " and the four pieces, then throws Fatal.
[[noreturn]] void Message(std::string_view a, std::string_view b = {}, std::string_view c = {},
                          std::string_view d = {});

// Prints "WARNING: " and the four pieces unless -nowarn; the first warning of a file ends the open table line.
void Warning(std::string_view a, std::string_view b = {}, std::string_view c = {}, std::string_view d = {});

void WarningReset();

}  // namespace ZYNError
