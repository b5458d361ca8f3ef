// The batch: banner, keys, file list, the units run on every thread and committed in list order to the files
// and the report.
// Uses: FileModule, FileModuleList, FormatUtils, Platform, Queue, ZYNArchive, ZYNBatch, ZYNClass, ZYNData,
//   ZYNError, ZYNExplain, ZYNJson, ZYNMap, ZYNNest, ZYNRules, ZYNReport, ZYNRerun, ZYNVersion, ZYNZip.
#pragma once
#include <optional>
#include <string>

#include "Queue.h"
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

// The number of files optimized at once: the processors the process may run on, or ZYN_THREADS when it is
// set, up to twice the processors.
unsigned Threads();

}  // namespace ZYNMain
