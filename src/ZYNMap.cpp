#include "ZYNMap.h"

#include <algorithm>
#include <cstdint>

namespace ZYNMap {
namespace {

// One field type of a descriptor from `at`, moving `at` past it; an ill-formed rest is given as it stands.
std::string NextType(std::string_view descriptor, std::size_t& at) {
  std::size_t dims = 0;
  while (at < descriptor.size() && descriptor[at] == '[') ++dims, ++at;
  std::string type;
  if (at >= descriptor.size()) {
    type = "?";
  } else if (descriptor[at] == 'L') {
    const std::size_t end = descriptor.find(';', at);
    const std::size_t stop = end == std::string_view::npos ? descriptor.size() : end;
    type = descriptor.substr(at + 1, stop - at - 1);
    std::replace(type.begin(), type.end(), '/', '.');
    at = stop == descriptor.size() ? stop : stop + 1;
  } else {
    static constexpr std::string_view kCodes = "BCDFIJSZV";
    static constexpr std::string_view kNames[] = {"byte", "char", "double", "float", "int",
                                                  "long", "short", "boolean", "void"};
    const std::size_t code = kCodes.find(descriptor[at]);
    type = code == std::string_view::npos ? std::string(1, descriptor[at]) : std::string(kNames[code]);
    ++at;
  }
  for (std::size_t i = 0; i < dims; ++i) type += "[]";
  return type;
}

}  // namespace

std::string ClassLines(std::string_view className, const std::vector<tRenamed>& renamed) {
  if (renamed.empty()) return {};
  std::string name(className);
  std::replace(name.begin(), name.end(), '/', '.');
  std::string lines = name + " -> " + name + ":\n";
  for (const tRenamed& member : renamed) {
    lines += "    ";
    if (member.method) {
      if (member.last > 0) lines += std::to_string(member.first) + ':' + std::to_string(member.last) + ':';
      std::string returnType, arguments;
      MethodTypes(member.descriptor, returnType, arguments);
      lines += returnType + ' ';
      lines += member.before;
      lines += '(' + arguments + ')';
    } else {
      lines += JavaType(member.descriptor) + ' ';
      lines += member.before;
    }
    lines += " -> ";
    lines += member.after;
    lines += '\n';
  }
  return lines;
}

std::string JavaType(std::string_view descriptor) {
  std::size_t at = 0;
  return NextType(descriptor, at);
}

void MethodTypes(std::string_view descriptor, std::string& returnType, std::string& arguments) {
  std::size_t at = descriptor.empty() || descriptor[0] != '(' ? 0 : 1;
  arguments.clear();
  while (at < descriptor.size() && descriptor[at] != ')') {
    if (!arguments.empty()) arguments += ',';
    arguments += NextType(descriptor, at);
  }
  returnType = NextType(descriptor, ++at);
}

bool tMapFile::Open(const std::string& name) {
  name_ = name;
  open_ = file_.Create(name);
  return open_;
}

void tMapFile::Add(std::string_view lines) {
  if (open_ && !lines.empty())
    file_.Write({reinterpret_cast<const std::uint8_t*>(lines.data()), lines.size()});
}

bool tMapFile::Close() {
  if (!open_) return false;
  open_ = false;
  return file_.Close() && file_.MoveTo(name_);
}

}  // namespace ZYNMap
