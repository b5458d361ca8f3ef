#include "ZYNError.h"

#include "FormatUtils.h"
#include "ZYNData.h"

namespace ZYNError {

std::int16_t WarnCount = 0;

void Message(std::string_view a, std::string_view b, std::string_view c, std::string_view d) {
  using FormatUtils::PrintText;
  FormatUtils::PrintLn();
  PrintText("ERROR: ");
  PrintText(a);
  PrintText(b);
  PrintText(c);
  PrintText(d);
  FormatUtils::PrintLn();
  FormatUtils::Flush();
  throw Fatal();
}

void Warning(std::string_view a, std::string_view b, std::string_view c, std::string_view d) {
  using FormatUtils::PrintText;
  if (ZYNData::Params.nowarn) return;
  if (WarnCount == 0) FormatUtils::PrintLn();
  PrintText("WARNING: ");
  PrintText(a);
  PrintText(b);
  PrintText(c);
  PrintText(d);
  FormatUtils::PrintLn();
  if (WarnCount < 32767) ++WarnCount;
}

void WarningReset() { WarnCount = 0; }

}  // namespace ZYNError
