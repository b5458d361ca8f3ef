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
    type = Dotted(descriptor.substr(at + 1, stop - at - 1));
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

std::string Dotted(std::string_view internal) {
  std::string name(internal);
  std::replace(name.begin(), name.end(), '/', '.');
  return name;
}

std::string ClassLines(std::string_view className, const std::vector<ZYNResult::tMemberDecision>& members) {
  std::string lines;
  for (const ZYNResult::tMemberDecision& member : members) {
    if (member.fate != ZYNResult::tFate::kRenamed) continue;
    if (lines.empty()) lines = Dotted(className) + " -> " + Dotted(className) + ":\n";
    lines += "    ";
    if (member.method) {
      if (member.last > 0) lines += std::to_string(member.first) + ':' + std::to_string(member.last) + ':';
      std::string returnType, arguments;
      MethodTypes(member.descriptor, returnType, arguments);
      lines += returnType + ' ' + member.name + '(' + arguments + ')';
    } else {
      lines += JavaType(member.descriptor) + ' ' + member.name;
    }
    lines += " -> " + member.newName + '\n';
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

std::string Declaration(std::string_view className, const ZYNResult::tMemberDecision& member) {
  struct tWord {
    std::int32_t flag;
    std::string_view word;
    bool field, method;
  };
  static constexpr tWord kWords[] = {
      {0x0001, "public", true, true},          {0x0002, "private", true, true},     {0x0004, "protected", true, true},
      {0x0008, "static", true, true},          {0x0010, "final", true, true},       {0x0040, "volatile", true, false},
      {0x0080, "transient", true, false},      {0x0020, "synchronized", false, true}, {0x0100, "native", false, true},
      {0x0400, "abstract", false, true},       {0x0800, "strictfp", false, true}};
  std::string text;
  for (const tWord& w : kWords)
    if ((member.access & w.flag) != 0 && (member.method ? w.method : w.field)) text.append(w.word).push_back(' ');
  if (!member.method) return text + JavaType(member.descriptor) + ' ' + member.name;
  std::string returnType, arguments;
  MethodTypes(member.descriptor, returnType, arguments);
  if (member.name != "<init>") return text + returnType + ' ' + member.name + '(' + arguments + ')';
  const std::string_view simple = className.substr(className.find_last_of("/$") + 1);
  return text + std::string(simple) + '(' + arguments + ')';
}

void tTextOutput::Open(const std::string& name) {
  name_ = name;
  open_ = file_.Create(name);
  if (!open_) NotWritten();
}

void tTextOutput::NotWritten() const { ZYNError::Message(notWritten_, name_, Platform::LastError()); }

tTextOutput::~tTextOutput() {
  if (open_ && file_.Close()) (void)file_.MoveTo(name_);
}

void tTextOutput::Put(const std::string& text) {
  if (open_ && !text.empty()) file_.Write({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

void tTextOutput::Stopped() {
  if (open_) Put(Tail(nullptr));
}

void tTextOutput::File(const std::string& name, const ZYNResult::tFileResult& result) { Put(Lines(name, result)); }

void tTextOutput::End(const ZYNResult::tTotals& totals) {
  Put(Tail(&totals));
  open_ = false;
  if (!file_.Close() || !file_.MoveTo(name_)) NotWritten();
}

}  // namespace ZYNMap
