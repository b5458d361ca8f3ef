#include "ZYNMap.h"

#include <algorithm>
#include <cstdint>

#include "ZYNAttr.h"
#include "ZYNClass.h"
#include "ZYNConstPool.h"

namespace ZYNMap {
namespace {

using ZYNClass::memberInfo;
using ZYNConstPool::Utf8Text;

std::vector<std::string> Names(const ZYNConstPool::ConstPool& cp, const std::vector<memberInfo>& members) {
  std::vector<std::string> names;
  names.reserve(members.size());
  for (const memberInfo& member : members) names.emplace_back(Utf8Text(cp, member.nameIndex));
  return names;
}

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

// The first and last source lines of a method's code, from the line number tables that are kept.
bool LineRange(const memberInfo& method, std::int32_t& first, std::int32_t& last) {
  first = INT32_MAX, last = 0;
  for (const auto& attr : method.attrs) {
    const auto* code = dynamic_cast<const ZYNAttr::CodeAttributeDesc*>(attr.get());
    if (code == nullptr) continue;
    for (const auto& nested : code->attrs) {
      const auto* table = dynamic_cast<const ZYNAttr::IndexedAttributeDesc*>(nested.get());
      if (table == nullptr || !table->This(ZYNAttr::LineNumberTableAttr)) continue;
      // line_number_table_length, then (start_pc, line_number) pairs: the layout was checked when read.
      for (std::size_t at = 2; at + 4 <= table->body.size(); at += 4) {
        const auto line = static_cast<std::int32_t>(FileModule::BigEndian(&table->body[at + 2], 2));
        first = std::min(first, line), last = std::max(last, line);
      }
    }
  }
  return last > 0;
}

void AddMembers(const ZYNClass::tClassDesc& cls, const std::vector<memberInfo>& members,
                const std::vector<std::string>& before, bool methods, std::string& lines) {
  for (std::size_t i = 0; i < members.size() && i < before.size(); ++i) {
    const memberInfo& member = members[i];
    const std::string_view name = Utf8Text(*cls.cp, member.nameIndex);
    if (!member.present || name == before[i]) continue;
    const std::string_view descriptor = Utf8Text(*cls.cp, member.descriptorIndex);
    lines += "    ";
    if (methods) {
      std::int32_t first = 0, last = 0;
      if (LineRange(member, first, last)) lines += std::to_string(first) + ':' + std::to_string(last) + ':';
      std::string returnType, arguments;
      MethodTypes(descriptor, returnType, arguments);
      lines += returnType + ' ' + before[i] + '(' + arguments + ')';
    } else {
      lines += JavaType(descriptor) + ' ' + before[i];
    }
    lines += " -> ";
    lines += name;
    lines += '\n';
  }
}

}  // namespace

tBefore NamesBefore(const ZYNClass::tClassDesc& cls) {
  return {Names(*cls.cp, cls.fields), Names(*cls.cp, cls.methods)};
}

std::string ClassLines(const ZYNClass::tClassDesc& cls, const tBefore& before) {
  std::string members;
  AddMembers(cls, cls.fields, before.fields, false, members);
  AddMembers(cls, cls.methods, before.methods, true, members);
  if (members.empty()) return members;
  std::string name(ZYNConstPool::ClassName(*cls.cp, cls.thisClass));
  std::replace(name.begin(), name.end(), '/', '.');
  return name + " -> " + name + ":\n" + members;
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
