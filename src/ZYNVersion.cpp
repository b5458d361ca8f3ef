#include "ZYNVersion.h"

#include <libdeflate.h>

// Generated at build time (cmake/version.cmake): ZYN_BUILD_VERSION.
#include "ZYNBuildVersion.h"

namespace ZYNVersion {

int Mimalloc = 0;

std::string Build() { return std::string("zyn ") + ZYN_BUILD_VERSION; }

std::string Libraries() {
  std::string text = "libdeflate " LIBDEFLATE_VERSION_STRING ", mimalloc ";
  if (Mimalloc <= 0) return text + "not linked";
  // mimalloc counts major * 100 + minor * 10 + patch.
  return text + std::to_string(Mimalloc / 100) + "." + std::to_string(Mimalloc / 10 % 10) + "." +
         std::to_string(Mimalloc % 10);
}

}  // namespace ZYNVersion
