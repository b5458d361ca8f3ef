// Diagnostics: errors end the file (and the run) through one exception; warnings are collected per file.
// Uses: FormatUtils.
#pragma once
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

namespace ZYNError {

// The one exception type of a fatal error, carrying its line ("ERROR: ..."). Caught at the core's per-file
// boundary, which hands the line to the batch, and in main.
class Fatal : public std::exception {
public:
  explicit Fatal(std::string line) : line_(std::move(line)) {}
  const char* what() const noexcept override { return line_.c_str(); }
  const std::string& Line() const { return line_; }

private:
  std::string line_;
};

// The warnings of one file: their lines ("WARNING: ...") in order, and WarnCount, which stops at 32767.
struct tDiagnostics {
  bool quiet = false;  // -nowarn: warnings neither kept nor counted
  std::int16_t WarnCount = 0;
  std::vector<std::string> lines;
};

// The line "ERROR: " and the four pieces.
std::string ErrorLine(std::string_view a, std::string_view b = {}, std::string_view c = {}, std::string_view d = {});

// Throws Fatal with the ErrorLine of the four pieces.
[[noreturn]] void Message(std::string_view a, std::string_view b = {}, std::string_view c = {},
                          std::string_view d = {});

// Unless quiet: adds the line "WARNING: " and the four pieces, and counts it.
void Warning(tDiagnostics& diag, std::string_view a, std::string_view b = {}, std::string_view c = {},
             std::string_view d = {});

}  // namespace ZYNError
