// The program entry: collects the words, runs the batch, and turns its end into the exit code.
#include <cstdlib>
#include <new>

#include "ParamModule.h"
#include "Platform.h"
#include "Queue.h"
#include "ZYNError.h"
#include "ZYNMain.h"
#include "ZYNVersion.h"

#ifdef ZYN_LINKS_MIMALLOC
#include <mimalloc.h>
#endif

// Allocation through malloc, whichever allocator provides it (mimalloc where linked): a failed allocation
// throws, so that it ends the file with "Not enough memory" instead of aborting the run.
void* operator new(std::size_t size) {
  if (void* p = std::malloc(size != 0 ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

// An interruption ends the run as an error does; the temporary files are gone by then.
void ReportInterruption() { ZYNError::PrintError(ZYNError::Fatal(ZYNError::ErrorLine("Interrupted"))); }

}  // namespace

int main(int argc, char** argv) {
  Platform::HandleSignals(ReportInterruption);
#ifdef ZYN_LINKS_MIMALLOC
  // The version of the library loaded, which may be newer than the header built against.
  ZYNVersion::Mimalloc = mi_version();
#endif
  Queue::tQueue words;
  ParamModule::GetParams(words, argc, argv);
  return ZYNMain::Main(words);
}
