#include "ZYNCode.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string_view>

#include "FileModule.h"
#include "FormatUtils.h"
#include "ZYNClassFile.h"
#include "ZYNError.h"

namespace ZYNCode {

using namespace FileModule;
using namespace ZYNClassFile;

namespace {

[[noreturn]] void CodeError(std::int32_t position, std::string_view text) {
  ZYNError::Message(ZYNError::tKind::kBadInstruction, text, position);
}

enum class Form { Invalid, None, Byte, Short, Index1, Index2, VIndex, Iinc, Retw, Wide, Table, Lookup, Interface,
                  Dynamic, Newarray, Multi, WideBranch };

constexpr Form FormOfOpcode(int opcode) {
  switch (opcode) {
    case kOpBipush: return Form::Byte;
    case kOpSipush: case kOpIfnull: case kOpIfnonnull: return Form::Short;
    case kOpLdc: return Form::Index1;
    case kOpLdcW: case kOpLdc2W: case kOpNew: case kOpAnewarray: case kOpCheckcast: case kOpInstanceof:
      return Form::Index2;
    case kOpIinc: return Form::Iinc;
    case kOpRet: return Form::VIndex;
    case kOpTableswitch: return Form::Table;
    case kOpLookupswitch: return Form::Lookup;
    case kOpInvokeinterface: return Form::Interface;
    case kOpInvokedynamic: return Form::Dynamic;
    case kOpNewarray: return Form::Newarray;
    case kOpWide: return Form::Wide;
    case kOpMultianewarray: return Form::Multi;
    case kOpGotoW: case kOpJsrW: return Form::WideBranch;
    case kOpBreakpoint: return Form::None;
    case kOpRetW: return Form::Retw;
    default: break;
  }
  if (opcode <= kOpDconst1) return Form::None;
  if ((opcode >= kOpIload && opcode <= kOpAload) || (opcode >= kOpIstore && opcode <= kOpAstore)) return Form::VIndex;
  if (opcode >= kOpIfeq && opcode <= kOpJsr) return Form::Short;
  if (opcode >= kOpGetstatic && opcode <= kOpInvokestatic) return Form::Index2;
  if (opcode <= kOpMonitorexit) return Form::None;
  return Form::Invalid;
}

// The form of every opcode, computed once.
constexpr auto kForms = [] {
  std::array<Form, 256> forms{};
  for (int opcode = 0; opcode < 256; ++opcode) forms[static_cast<std::size_t>(opcode)] = FormOfOpcode(opcode);
  return forms;
}();

// invokedynamic exists from class file version 51 on.
Form FormOf(int opcode, std::int32_t majorVersion) {
  if (opcode == kOpInvokedynamic && majorVersion < 51) return Form::Invalid;
  return kForms[static_cast<std::size_t>(opcode & 0xFF)];
}

// The length of an instruction of a form with operands of fixed size, or 0 for the switches and wide (their
// operands tell theirs) and an invalid opcode.
constexpr int FixedLength(Form form) {
  switch (form) {
    case Form::None: return 1;
    case Form::Byte: case Form::Index1: case Form::VIndex: case Form::Newarray: return 2;
    case Form::Short: case Form::Index2: case Form::Iinc: case Form::Retw: return 3;
    case Form::Multi: return 4;
    case Form::Interface: case Form::Dynamic: case Form::WideBranch: return 5;
    default: return 0;
  }
}

// Longer than any code: an instruction whose operands run past the end of the code.
constexpr std::int64_t kPastTheCode = INT64_MAX;

// The length of a switch or wide instruction at offset of the code that `code` starts with, as its operands
// give it (it may run past the code, which the caller refuses), or an error text for a malformed switch.
std::int64_t VariableLength(std::span<const std::uint8_t> code, std::int32_t offset, Form form, std::string_view& error) {
  const auto at = static_cast<std::size_t>(offset);
  const auto read = [&](std::size_t from, std::size_t width, std::int64_t& value) {
    if (from + width > code.size()) return false;
    value = static_cast<std::int32_t>(FileModule::BigEndian(code.data() + from, static_cast<int>(width)));
    return true;
  };
  std::int64_t modified = 0, low = 0, high = 0, npairs = 0;
  if (form == Form::Wide) return !read(at + 1, 1, modified) ? kPastTheCode : modified == kOpIinc ? 6 : 4;
  const std::size_t padding = 3 - at % 4;  // to the next multiple of four from the code's start
  const std::size_t table = at + 1 + padding + 4;  // past the default offset
  if (form == Form::Lookup) {
    if (!read(table, 4, npairs)) return kPastTheCode;
    if (npairs < 0) error = "Invalid lookupswitch pair count";
    return static_cast<std::int64_t>(1 + padding + 8) + npairs * 8;
  }
  if (!read(table, 4, low) || !read(table + 4, 4, high)) return kPastTheCode;
  if (high < low) error = "Invalid tableswitch range";
  return static_cast<std::int64_t>(1 + padding + 12) + (high - low + 1) * 4;
}

// The pool index that an instruction of the form at offset names, if it names one.
[[gnu::always_inline]] inline bool IndexOf(Form form, const std::uint8_t* code, std::int32_t offset, CodeIndex& index) {
  const std::uint8_t* operands = code + offset + 1;
  if (form == Form::Index1) {
    index = {offset + 1, operands[0], false};
    return true;
  }
  if (form == Form::Index2 || form == Form::Interface || form == Form::Dynamic || form == Form::Multi) {
    index = {offset + 1, static_cast<std::int32_t>(FileModule::BigEndian(operands, 2)), true};
    return true;
  }
  return false;
}

}  // namespace

InstructionArray NewCode(FileModule::tInput& in, std::int32_t codeLength, std::int32_t majorVersion,
                         ZYNConstPool::tArena& arena) {
  if (codeLength == 0) ZYNError::Message(ZYNError::tKind::kNullCodeLength);
  // A code length of 2^31 or more is negative here; neither fits in the input.
  if (codeLength < 0 || static_cast<std::size_t>(codeLength) > Remaining(in))
    ZYNError::Message(ZYNError::tKind::kUnexpectedEnd);
  InstructionArray code(&arena);
  const std::int32_t codeStart = in.PC;
  ZYNConstPool::GetBytes(in, static_cast<std::size_t>(codeLength), arena, code.bytes_);
  const std::span<const std::uint8_t> bytes = code.bytes_;
  // A switch's counts are read where the input holds them, also past the code, so that a malformed one is
  // refused as such before the instruction is found to run past the code.
  const std::span<const std::uint8_t> readable =
      in.data.subspan(static_cast<std::size_t>(codeStart), in.end - static_cast<std::size_t>(codeStart));
  for (std::int32_t offset = 0; offset < codeLength;) {
    const std::uint8_t opcode = bytes[static_cast<std::size_t>(offset)];
    const Form form = FormOf(opcode, majorVersion);
    const std::int32_t position = codeStart + offset;
    if (form == Form::Invalid)
      ZYNError::Message(ZYNError::tKind::kInvalidOpcode, opcode, position);
    const int fixed = FixedLength(form);
    std::string_view error;
    const std::int64_t length = fixed > 0 ? fixed : VariableLength(readable, offset, form, error);
    if (!error.empty()) CodeError(position, error);
    if (length > codeLength - offset) CodeError(position, "Instruction runs past the end of the code");
    // Only the pool indexes and the switches are of interest here.
    if (CodeIndex index; IndexOf(form, bytes.data(), offset, index)) code.indexes_.push_back(index);
    else if (form == Form::Table || form == Form::Lookup) code.switches_.push_back(offset);
    offset += static_cast<std::int32_t>(length);
  }
  return code;
}

bool ForEachIndex(std::span<const std::uint8_t> code, std::int32_t majorVersion,
                  const std::function<void(std::uint8_t opcode, const CodeIndex& index)>& visit) {
  const auto size = static_cast<std::int64_t>(code.size());
  for (std::int32_t offset = 0; offset < size;) {
    const std::uint8_t opcode = code[static_cast<std::size_t>(offset)];
    const Form form = FormOf(opcode, majorVersion);
    if (form == Form::Invalid) return false;
    const int fixed = FixedLength(form);
    std::string_view error;
    const std::int64_t length = fixed > 0 ? fixed : VariableLength(code, offset, form, error);
    if (!error.empty() || length > size - offset) return false;
    if (CodeIndex index; IndexOf(form, code.data(), offset, index)) visit(opcode, index);
    offset += static_cast<std::int32_t>(length);
  }
  return true;
}

void MarkCode(tMarking& m, const InstructionArray& code) {
  for (const CodeIndex& index : code.Indexes()) ZYNConstPool::Mark(m, index.index);
}

void WriteCode(std::int32_t codeLength, const InstructionArray& code, const tMarking& m, tOutput& out) {
  PutU4(out, codeLength);
  const std::size_t start = out.bytes.size();
  PutBytes(out, code.bytes_);
  std::uint8_t* written = out.bytes.data() + start;
  for (const CodeIndex& index : code.indexes_) {
    const std::int32_t newIndex = m.NewIndexOf(index.index);
    // Renumbering only closes gaps, so an index never outgrows its width.
    if (newIndex > (index.wide ? 0xFFFF : 0xFF)) ZYNError::Message(ZYNError::tKind::kOutOfRange);
    if (index.wide) written[index.at] = static_cast<std::uint8_t>(newIndex >> 8);
    written[index.at + (index.wide ? 1 : 0)] = static_cast<std::uint8_t>(newIndex);
  }
  // Switch padding is written as zeros, whatever the input held there.
  for (std::int32_t at : code.switches_)
    for (std::int32_t p = at + 1; p % 4 != 0; ++p) written[p] = 0;
}

}  // namespace ZYNCode
