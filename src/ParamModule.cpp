#include "ParamModule.h"

#include <string_view>

#include "ZYNData.h"

namespace ParamModule {

namespace {

bool IsBlank(char ch) { return ch == ' ' || ch == '\t'; }

}  // namespace

void GetParams(Queue::tQueue& words, int argc, const char* const* argv) {
  words.Init();
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    std::size_t start = 0;
    while (start < argument.size() && IsBlank(argument[start])) ++start;
    std::size_t end = argument.size();
    while (end > start && IsBlank(argument[end - 1])) --end;
    // A blank last argument ends the list; a blank one before others, or one of several words, stays as it
    // is so that the options refuse it: taking part of it would act on another file or drop a key.
    if (start == end && i + 1 == argc) return;
    words.Add(std::make_unique<ZYNData::tStringNodeDesc>(std::string(argument.substr(start, end - start))));
  }
}

}  // namespace ParamModule
