#include "ParamModule.h"

#include <algorithm>
#include <string_view>

#include "ZYNData.h"

namespace ParamModule {

void GetParams(Queue::tQueue& words, int argc, const char* const* argv) {
  words.Init();
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    const std::size_t start = std::min(argument.find_first_not_of(" \t"), argument.size());
    const std::size_t end = start == argument.size() ? start : argument.find_last_not_of(" \t") + 1;
    // A blank last argument ends the list; a blank one before others, or one of several words, stays as it
    // is so that the options refuse it: taking part of it would act on another file or drop a key.
    if (start == end && i + 1 == argc) return;
    words.Add(std::make_unique<ZYNData::tStringNodeDesc>(std::string(argument.substr(start, end - start))));
  }
}

}  // namespace ParamModule
