#include "ZYNCode.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
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
  ZYNError::Message(text, " in class file. Offset = ", FormatUtils::Int2Str(position));
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

// One instruction: its form, and its length, which a malformed switch leaves unknown (an error text instead).
struct Step {
  Form form = Form::Invalid;
  std::int64_t length = 0;
  std::string_view error;
};

// The instruction at offset of the code that `code` starts with; its length may run past the code, which the
// caller refuses.
Step StepAt(std::span<const std::uint8_t> code, std::int32_t offset, std::int32_t majorVersion) {
  Step step;
  step.form = FormOf(code[static_cast<std::size_t>(offset)], majorVersion);
  if (const int fixed = FixedLength(step.form); fixed > 0 || step.form == Form::Invalid) {
    step.length = fixed;
    return step;
  }
  const auto at = static_cast<std::size_t>(offset);
  const auto read = [&](std::size_t from, std::size_t width, std::int64_t& value) {
    if (from + width > code.size()) return false;
    value = static_cast<std::int32_t>(FileModule::BigEndian(code.data() + from, width));
    return true;
  };
  std::int64_t modified = 0, low = 0, high = 0, npairs = 0;
  if (step.form == Form::Wide) {
    step.length = !read(at + 1, 1, modified) ? kPastTheCode : modified == kOpIinc ? 6 : 4;
    return step;
  }
  const std::size_t padding = 3 - at % 4;  // to the next multiple of four from the code's start
  const std::size_t table = at + 1 + padding + 4;  // past the default offset
  if (step.form == Form::Lookup) {
    if (!read(table, 4, npairs)) step.length = kPastTheCode;
    else if (npairs < 0) step.error = "Invalid lookupswitch pair count";
    else step.length = static_cast<std::int64_t>(1 + padding + 8) + npairs * 8;
    return step;
  }
  if (!read(table, 4, low) || !read(table + 4, 4, high)) step.length = kPastTheCode;
  else if (high < low) step.error = "Invalid tableswitch range";
  else step.length = static_cast<std::int64_t>(1 + padding + 12) + (high - low + 1) * 4;
  return step;
}

// The pool index an instruction of the form names, if any.
std::optional<CodeIndex> IndexOf(Form form, std::span<const std::uint8_t> code, std::int32_t offset) {
  const std::uint8_t* operands = code.data() + offset + 1;
  if (form == Form::Index1) return CodeIndex{offset + 1, operands[0], false};
  if (form == Form::Index2 || form == Form::Interface || form == Form::Dynamic || form == Form::Multi)
    return CodeIndex{offset + 1, static_cast<std::int32_t>(FileModule::BigEndian(operands, 2)), true};
  return std::nullopt;
}

}  // namespace

InstructionArray NewCode(FileModule::tInput& in, std::int32_t codeLength, std::int32_t majorVersion,
                         ZYNConstPool::tArena& arena) {
  if (codeLength == 0) ZYNError::Message("Null code length");
  // A code length of 2^31 or more is negative here; neither fits in the input.
  if (codeLength < 0 || static_cast<std::size_t>(codeLength) > Remaining(in))
    ZYNError::Message("Unexpected end of class file");
  InstructionArray code(&arena);
  const std::int32_t codeStart = in.PC;
  ZYNConstPool::GetBytes(in, static_cast<std::size_t>(codeLength), arena, code.bytes_);
  const std::span<const std::uint8_t> bytes = code.bytes_;
  // A switch's counts are read where the input holds them, also past the code, so that a malformed one is
  // refused as such before the instruction is found to run past the code.
  const std::span<const std::uint8_t> readable =
      in.data.subspan(static_cast<std::size_t>(codeStart), in.end - static_cast<std::size_t>(codeStart));
  for (std::int32_t offset = 0; offset < codeLength;) {
    const Step step = StepAt(readable, offset, majorVersion);
    const std::int32_t position = codeStart + offset;
    if (step.form == Form::Invalid)
      ZYNError::Message("Invalid opcode ", FormatUtils::Int2Str(bytes[static_cast<std::size_t>(offset)]),
                        " in class file. Offset = ", FormatUtils::Int2Str(position));
    if (!step.error.empty()) CodeError(position, step.error);
    if (step.length > codeLength - offset) CodeError(position, "Instruction runs past the end of the code");
    // Only the pool indexes and the switches are of interest here.
    if (const std::optional<CodeIndex> index = IndexOf(step.form, bytes, offset)) code.indexes_.push_back(*index);
    else if (step.form == Form::Table || step.form == Form::Lookup) code.switches_.push_back(offset);
    offset += static_cast<std::int32_t>(step.length);
  }
  return code;
}

bool ForEachIndex(std::span<const std::uint8_t> code, std::int32_t majorVersion,
                  const std::function<void(std::uint8_t opcode, const CodeIndex& index)>& visit) {
  const auto length = static_cast<std::int64_t>(code.size());
  for (std::int32_t offset = 0; offset < length;) {
    const Step step = StepAt(code, offset, majorVersion);
    if (step.form == Form::Invalid || !step.error.empty() || step.length > length - offset) return false;
    if (const std::optional<CodeIndex> index = IndexOf(step.form, code, offset))
      visit(code[static_cast<std::size_t>(offset)], *index);
    offset += static_cast<std::int32_t>(step.length);
  }
  return true;
}

void MarkCode(ConstPool& cp, const InstructionArray& code) {
  for (const CodeIndex& index : code.Indexes()) ZYNConstPool::Mark(cp, index.index);
}

void WriteCode(std::int32_t codeLength, const InstructionArray& code, const ConstPool& cp, tOutput& out) {
  PutU4(out, codeLength);
  const std::size_t start = out.bytes.size();
  PutBytes(out, code.bytes_);
  std::uint8_t* written = out.bytes.data() + start;
  for (const CodeIndex& index : code.indexes_) {
    const std::int32_t newIndex = cp.NewIndexOf(index.index);
    // Renumbering only closes gaps, so an index never outgrows its width.
    if (newIndex > (index.wide ? 0xFFFF : 0xFF)) ZYNError::Message("Internal error: value out of range for its field");
    if (index.wide) written[index.at] = static_cast<std::uint8_t>(newIndex >> 8);
    written[index.at + (index.wide ? 1 : 0)] = static_cast<std::uint8_t>(newIndex);
  }
  // Switch padding is written as zeros, whatever the input held there.
  for (std::int32_t at : code.switches_)
    for (std::int32_t p = at + 1; p % 4 != 0; ++p) written[p] = 0;
}

}  // namespace ZYNCode
