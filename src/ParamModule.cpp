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
    if (start == argument.size()) return;  // a blank argument ends the list
    std::size_t end = start;
    while (end < argument.size() && !IsBlank(argument[end])) ++end;
    words.Add(std::make_unique<ZYNData::tStringNodeDesc>(std::string(argument.substr(start, end - start))));
  }
}

}  // namespace ParamModule
