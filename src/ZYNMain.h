// The batch driver: banner, keys, file list, one table line per file, totals.
#pragma once
#include "Queue.h"

namespace ZYNMain {

constexpr int kExitOk = 0;
constexpr int kExitError = 1;
constexpr int kExitHelp = 2;

// Applies the keys to Params and copies the file parameter into Path; prints the help text and returns
// false on -help or when no file parameter was given. Errors end the run through ZYNError::Message.
bool ParseParams(Queue::tQueue& words);
void Usage();
// Runs the whole batch and returns the exit code; errors end it through ZYNError::Message.
int Run(Queue::tQueue& words);

}  // namespace ZYNMain
