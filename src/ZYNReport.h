// The report of a run: all that it prints of its files. The table of the class files, loose or archive
// entries, with their warnings and errors in their turn, the archives' warnings and errors, the totals. The
// batch owns one and hands it to the archive code; nothing else prints a file's result.
//
// Every class file's result passes through File in list order, and End closes a run that went through: the
// outputs added (a mapping of the members renamed, say) take them beside the console there.
// Uses: FormatUtils, Platform, ZYNResult.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Platform.h"
#include "ZYNResult.h"

namespace ZYNReport {

class tReport {
public:
  tReport() = default;
  // A report that prints nothing: for a run's look at what it would make of a file, whose lines come later.
  struct tQuiet {};
  explicit tReport(tQuiet) : quiet_(true) {}
  tReport(const tReport&) = delete;
  tReport& operator=(const tReport&) = delete;
  // Another output of the results; it goes with the report (at a stop, without End).
  void Add(std::unique_ptr<ZYNResult::tOutput> output) { outputs_.push_back(std::move(output)); }
  // Before the table: a file or folder that the listing passed over (fewer files than the folders hold must
  // not pass for a complete run).
  void Skipped(const Platform::tSkipped& skipped);
  // Before the table: a temporary file that a stopped run left, removed.
  void LeftoverRemoved(const std::string& path);
  void Head();
  // A class file's line as far as it got ("app.jar!p/A.class" for an entry); its line end waits for EndLine,
  // after the file is written, so that an error in writing stands under it. False when the file failed: its
  // error line is printed.
  bool File(const std::string& name, const ZYNResult::tFileResult& result);
  void EndLine();
  // An archive that stays as it is, and why.
  void ArchiveKept(const std::string& name, const std::string& why);
  // An archive written (or, with -tst, measured): by how many bytes it shrank.
  void ArchiveShrank(std::int64_t bytes);
  // The error that ends the run in an archive's turn, after the archive's name.
  void ArchiveFailed(const std::string& name, const std::string& line);
  // After the last file: the outputs ended (an error of theirs ends the run), the totals.
  void End();

private:
  ZYNResult::tTotals totals_;
  bool quiet_ = false;
  std::vector<std::unique_ptr<ZYNResult::tOutput>> outputs_;
};

// The error line that ends the run, after a line end (which ends a table line begun).
void Error(std::string_view line);
// The same for "ERROR: Not enough memory", without taking memory for it.
void NoMemory();
// The Percent column: the saving in tenths of a percent, rounded half up to whole percent.
std::int32_t Percent(std::int32_t change, std::int32_t oldSize);

}  // namespace ZYNReport
