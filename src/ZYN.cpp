// The program entry: collects the words, runs the batch, and turns its end into the exit code.
#include <atomic>
#include <cstdlib>
#include <exception>
#include <new>

#include "FormatUtils.h"
#include "ParamModule.h"
#include "Platform.h"
#include "Queue.h"
#include "ZYNError.h"
#include "ZYNMain.h"
#include "ZYNReport.h"
#include "ZYNVersion.h"

#ifdef ZYN_LINKS_MIMALLOC
#include <mimalloc.h>
#endif

namespace {

// Whether an allocation failed: so little memory may be left that the exception itself cannot be made.
std::atomic<bool> allocationFailed{false};

}  // namespace

// Allocation through malloc, whichever allocator provides it (mimalloc where linked): a failed allocation
// throws, so that it ends the file with "Not enough memory" instead of aborting the run.
void* operator new(std::size_t size) {
  if (void* p = std::malloc(size != 0 ? size : 1)) return p;
  allocationFailed = true;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

// An interruption ends the run as an error does; the temporary files are gone by then.
void ReportInterruption() {
  FormatUtils::TakeConsole();
  ZYNReport::Error(ZYNError::Make(ZYNError::tKind::kInterrupted).Line());
}

// So does an archive that another process cut short while it was read.
void ReportChange(const std::string& name) {
  FormatUtils::TakeConsole();
  FormatUtils::PrintText(FormatUtils::Printable(name));
  ZYNReport::Error(ZYNError::Make(ZYNError::tKind::kArchiveChanged, name).Line());
}

constexpr std::size_t kOpenFilesAtStart = 16384;

// Where the exception for a failed allocation could not be made either, the run ends as that error does.
[[noreturn]] void EndWithoutMemory() {
  if (!allocationFailed) std::abort();
  Platform::RemoveTemporaryFiles();
  ZYNReport::NoMemory();
  std::_Exit(ZYNMain::kExitError);
}

}  // namespace

int main(int argc, char** argv) {
  std::set_terminate(EndWithoutMemory);
  // Room for the files a run of many thousand keeps open, made while the process has no other thread (the
  // system's table then takes about 130 KiB); the batch makes more where its run needs it.
  Platform::ReserveOpenFiles(kOpenFilesAtStart);
  if (!Platform::HandleSignals(ReportInterruption, ReportChange)) {
    ZYNReport::NoMemory();
    return ZYNMain::kExitError;
  }
#ifdef ZYN_LINKS_MIMALLOC
  // The version of the library loaded, which may be newer than the header built against.
  ZYNVersion::Mimalloc = mi_version();
#endif
  Queue::tQueue words;
  ParamModule::GetParams(words, argc, argv);
  return ZYNMain::Main(words);
}
