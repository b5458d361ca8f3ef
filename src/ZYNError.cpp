#include "ZYNError.h"

#include "FormatUtils.h"

namespace ZYNError {

namespace {

std::string Line(std::string_view kind, std::string_view a, std::string_view b, std::string_view c,
                 std::string_view d) {
  std::string line(kind);
  for (const std::string_view piece : {a, b, c, d}) line.append(FormatUtils::Printable(piece));
  return line;
}

}  // namespace

std::string ErrorLine(std::string_view a, std::string_view b, std::string_view c, std::string_view d) {
  return Line("ERROR: ", a, b, c, d);
}

void Message(std::string_view a, std::string_view b, std::string_view c, std::string_view d) {
  throw Fatal(ErrorLine(a, b, c, d));
}

void Warning(tDiagnostics& diag, std::string_view a, std::string_view b, std::string_view c, std::string_view d) {
  if (diag.quiet) return;
  diag.lines.push_back(Line("WARNING: ", a, b, c, d));
  if (diag.WarnCount < 32767) ++diag.WarnCount;
}

}  // namespace ZYNError
