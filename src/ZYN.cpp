// The program entry: collects the words, runs the batch, and turns its end into the exit code.
#include <new>

#include "FormatUtils.h"
#include "ParamModule.h"
#include "Queue.h"
#include "ZYNError.h"
#include "ZYNMain.h"

int main(int argc, char** argv) {
  int code = ZYNMain::kExitError;
  try {
    Queue::tQueue words;
    ParamModule::GetParams(words, argc, argv);
    code = ZYNMain::Run(words);
  } catch (const ZYNError::Fatal& error) {
    ZYNError::PrintError(error);
    code = ZYNMain::kExitError;
  } catch (const std::bad_alloc&) {
    ZYNError::PrintError(ZYNError::Fatal(ZYNError::ErrorLine("Not enough memory")));
    code = ZYNMain::kExitError;
  }
  FormatUtils::Flush();
  return code;
}
