#include "ZYNMap.h"

#include <algorithm>
#include <cstdint>

#include "ZYNError.h"

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

std::string ClassLines(std::string_view className, const std::vector<ZYNResult::tMemberDecision>& members) {
  std::string lines;
  for (const ZYNResult::tMemberDecision& member : members) {
    if (member.fate != ZYNResult::tFate::kRenamed) continue;
    if (lines.empty()) {
      std::string name(className);
      std::replace(name.begin(), name.end(), '/', '.');
      lines = name + " -> " + name + ":\n";
    }
    lines += "    ";
    if (member.method) {
      if (member.last > 0) lines += std::to_string(member.first) + ':' + std::to_string(member.last) + ':';
      std::string returnType, arguments;
      MethodTypes(member.descriptor, returnType, arguments);
      lines += returnType + ' ';
      lines += member.name;
      lines += '(' + arguments + ')';
    } else {
      lines += JavaType(member.descriptor) + ' ';
      lines += member.name;
    }
    lines += " -> ";
    lines += member.newName;
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

void tMapOutput::Open(const std::string& name) {
  name_ = name;
  open_ = file_.Create(name);
  if (!open_) NotWritten();
}

void tMapOutput::NotWritten() const {
  ZYNError::Message(ZYNError::tKind::kMapNotWritten, name_, Platform::LastError());
}

tMapOutput::~tMapOutput() {
  if (open_ && file_.Close()) (void)file_.MoveTo(name_);
}

void tMapOutput::File(const std::string& name, const ZYNResult::tFileResult& result) {
  (void)name;
  const std::string lines = result.error.empty() ? ClassLines(result.className, result.members) : std::string();
  if (open_ && !lines.empty()) file_.Write({reinterpret_cast<const std::uint8_t*>(lines.data()), lines.size()});
}

void tMapOutput::End() {
  open_ = false;
  if (!file_.Close() || !file_.MoveTo(name_)) NotWritten();
}

}  // namespace ZYNMap
