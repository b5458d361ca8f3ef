#include "ZYNReport.h"

#include "FormatUtils.h"

namespace ZYNReport {

namespace {

using FormatUtils::PrintLine;
using FormatUtils::PrintLn;
using FormatUtils::PrintText;

const std::string_view kDashes = "-------------------------------------------------------";

}  // namespace

void tReport::Skipped(const Platform::tSkipped& skipped) {
  PrintLine("WARNING: " + std::string(skipped.folder ? "Folder" : "File") + " \"" +
            FormatUtils::Printable(skipped.path) + "\" skipped: " + skipped.reason);
}

void tReport::LeftoverRemoved(const std::string& path) {
  PrintLine("WARNING: Temporary file \"" + FormatUtils::Printable(path) + "\" of a stopped run removed");
}

void tReport::Head() {
  PrintLine("");
  PrintLine("Class file name               Old size  Change  Percent");
  PrintLine(kDashes);
}

bool tReport::File(const std::string& name, const ZYNResult::tFileResult& result) {
  if (quiet_) return result.error.empty();
  for (const auto& output : outputs_) output->File(name, result);
  ++totals_.files;
  const std::string shown = FormatUtils::Printable(name);
  PrintText(shown);
  // The first warning ends the line begun with the name.
  if (!result.warnings.empty()) PrintLn();
  for (const std::string& warning : result.warnings) PrintLine(warning);
  if (result.read) {
    std::size_t n = shown.size();
    if (n >= 30 || !result.warnings.empty()) {
      PrintLn();
      n = 0;
    }
    PrintText(std::string(30 - n, ' '));
    FormatUtils::PrintInt(result.oldSize, 8);
  }
  if (!result.error.empty()) {
    Error(result.error.Line());
    return false;
  }
  totals_.reduction += result.change;
  FormatUtils::PrintInt(-static_cast<std::int64_t>(result.change), 8);
  FormatUtils::PrintInt(Percent(result.change, result.oldSize), 8);
  PrintText("%");
  if (result.limited) {
    PrintLn();
    PrintLine("WARNING: Optimization limited");
  }
  return true;
}

void tReport::EndLine() {
  if (!quiet_) PrintLn();
}

void tReport::ArchiveKept(const std::string& name, const std::string& why) {
  totals_.archives = true;
  if (quiet_) return;
  PrintLine("WARNING: Archive \"" + FormatUtils::Printable(name) + "\" left unchanged: " + FormatUtils::Printable(why));
}

void tReport::ArchiveShrank(std::int64_t bytes) {
  totals_.archives = true;
  totals_.archiveReduction += bytes;
}

void tReport::ArchiveFailed(const std::string& name, const std::string& line) {
  if (quiet_) return;
  PrintText(name);
  Error(line);
}

void tReport::End() {
  for (const auto& output : outputs_) output->End(totals_);
  PrintLine(kDashes);
  FormatUtils::Print("Files processed: ", totals_.files);
  FormatUtils::Print("Total reduction: ", totals_.reduction);
  if (totals_.archives) PrintLine("Archive reduction: " + std::to_string(totals_.archiveReduction));
  for (const auto& output : outputs_) output->Summary();
}

void Error(std::string_view line) {
  PrintLn();
  PrintLine(line);
  FormatUtils::Flush();
}

void NoMemory() { Error("ERROR: Not enough memory"); }

std::int32_t Percent(std::int32_t change, std::int32_t oldSize) {
  auto floorDiv = [](std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
  };
  return static_cast<std::int32_t>(floorDiv(floorDiv(static_cast<std::int64_t>(change) * 1000, oldSize) + 5, 10));
}

}  // namespace ZYNReport
