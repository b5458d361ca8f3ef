#include "ZYNData.h"

namespace ZYNData {

tParams Params;
std::array<char, kPathCapacity> Path{};

void ResetState() {
  Params = tParams{};
  Path.fill('\0');
}

}  // namespace ZYNData
