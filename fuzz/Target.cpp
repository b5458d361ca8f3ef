// A libFuzzer target: ZYN_FUZZ_CHECK names the check of FuzzChecks.h that every input goes through. A broken
// promise aborts, so that libFuzzer keeps the input as a finding.
#include <cstdio>
#include <cstdlib>

#include "FuzzChecks.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The table lines and help text of the core are not the fuzzer's output.
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string why = ZYNFuzz::ZYN_FUZZ_CHECK({data, size});
  if (!why.empty()) {
    std::fprintf(stderr, "BROKEN PROMISE: %s\n", why.c_str());
    std::abort();
  }
  return 0;
}
