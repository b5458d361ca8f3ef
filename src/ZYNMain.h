// The batch driver: banner, keys, file list, one table line per file in list order, totals.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "Platform.h"
#include "Queue.h"
#include "ZYNClass.h"
#include "ZYNData.h"

namespace ZYNMain {

constexpr int kExitOk = 0;
constexpr int kExitError = 1;
constexpr int kExitHelp = 2;

// The options and the file parameter that the words give. Nothing when the run ends here: on -help (--help,
// -h) or when no file parameter was given, after printing the help text, with *stopCode kExitHelp; on
// --version, after printing the version lines, with *stopCode kExitOk. Errors end the run through
// ZYNError::Message.
std::optional<ZYNData::tParams> ParseParams(Queue::tQueue& words, int* stopCode = nullptr);
void Usage();
// The file parameter as the file list is made from it: a folder as given, a name without "." with ".class"
// appended.
std::string FileParameter(const std::string& given, bool tree);
// Runs the whole batch and returns the exit code. An error in a file is printed in its turn and ends the
// run; other errors end it through ZYNError::Message.
int Run(Queue::tQueue& words);

// Run as the program does it: an error that ends the run is printed here; returns the exit code.
int Main(Queue::tQueue& words);

// The number of files optimized at once: ZYN_THREADS when it is set, else the hardware threads.
unsigned Threads();

// The backup name: the last "."-suffix of the file name replaced by ".~class", or ".~class" appended. An
// archive's keeps its own suffix after the "~" (app.jar: app.~jar), and takes ".~zip" when it has none.
std::string BackupName(const std::string& name, bool archive = false);
// Prints a class file's table line as far as it got (without its line end); false when it failed.
bool PrintFileLine(const std::string& name, const ZYNClass::tFileResult& result);
// Puts the written temporary file in place: the file kept under its backup name and the temporary file
// moved to the file's name, or with -old the temporary file to the backup name. Errors end the run.
void Commit(const std::string& name, Platform::TempFile& result, bool archive, bool old);
// The Percent column: the saving in tenths of a percent, rounded half up to whole percent.
std::int32_t Percent(std::int32_t change, std::int32_t oldSize);

}  // namespace ZYNMain
