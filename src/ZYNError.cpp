#include "ZYNError.h"

#include "FormatUtils.h"

namespace ZYNError {

namespace {

struct tRow {
  std::string_view code, text;
};

#define ZYN_ERROR_ROW(name, text) {#name, text},
constexpr tRow kRows[] = {{"", ""}, ZYN_ERRORS(ZYN_ERROR_ROW)};
#undef ZYN_ERROR_ROW

}  // namespace

std::string tError::Line() const {
  if (empty()) return {};
  const std::string_view text = kRows[static_cast<std::size_t>(kind)].text;
  std::string line = "ERROR: ";
  std::size_t next = 0, at = 0;
  for (std::size_t brace; (brace = text.find("{}", at)) != std::string_view::npos; at = brace + 2, ++next) {
    line.append(text.substr(at, brace - at));
    // A missing argument shows as nothing rather than reading past the list.
    if (next < args.size()) line.append(FormatUtils::Printable(args[next]));
  }
  line.append(text.substr(at));
  return line;
}

std::string_view tError::Code() const { return kRows[static_cast<std::size_t>(kind)].code; }

void Warning(tDiagnostics& diag, std::string_view a, std::string_view b, std::string_view c, std::string_view d) {
  if (diag.quiet) return;
  std::string line = "WARNING: ";
  for (const std::string_view piece : {a, b, c, d}) line.append(FormatUtils::Printable(piece));
  diag.lines.push_back(std::move(line));
  if (diag.WarnCount < 32767) ++diag.WarnCount;
}

}  // namespace ZYNError
