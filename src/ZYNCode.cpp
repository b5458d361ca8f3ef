#include "ZYNCode.h"

#include <algorithm>
#include <array>

#include "FileModule.h"
#include "FormatUtils.h"
#include "ZYNError.h"

namespace ZYNCode {

using namespace FileModule;

namespace {

[[noreturn]] void CodeError(const tCodeReader& r, std::string_view text) {
  ZYNError::Message(text, " in class file. Offset = ", FormatUtils::Int2Str(r.opcodePosition));
}

// A table that cannot fit into the rest of the code is refused before anything is allocated for it.
void RequireCodeBytes(const tCodeReader& r, std::int64_t bytes) {
  if (bytes > r.codeEnd - r.in.PC) CodeError(r, "Instruction runs past the end of the code");
}

void SkipPadding(tCodeReader& r, std::int32_t offset) {
  std::int16_t ignored = 0;
  for (std::int32_t p = offset + 1; p % 4 != 0; ++p) GetU1(r.in, ignored);
}

enum class Form { Invalid, None, Byte, Short, Index1, Index2, VIndex, Iinc, Retw, Wide, Table, Lookup, Interface,
                  Dynamic, Newarray, Multi, WideBranch };

constexpr Form FormOfOpcode(int opcode) {
  if (opcode <= 15) return Form::None;
  switch (opcode) {
    case 16: return Form::Byte;
    case 17: return Form::Short;
    case 18: return Form::Index1;
    case 19: case 20: return Form::Index2;
    case 132: return Form::Iinc;
    case 169: return Form::VIndex;
    case 170: return Form::Table;
    case 171: return Form::Lookup;
    case 185: return Form::Interface;
    case 186: return Form::Dynamic;
    case 187: case 189: case 192: case 193: return Form::Index2;
    case 188: return Form::Newarray;
    case 196: return Form::Wide;
    case 197: return Form::Multi;
    case 198: case 199: return Form::Short;
    case 200: case 201: return Form::WideBranch;
    case 202: return Form::None;
    case 209: return Form::Retw;
    default: break;
  }
  if (opcode >= 21 && opcode <= 25) return Form::VIndex;
  if (opcode >= 54 && opcode <= 58) return Form::VIndex;
  if (opcode >= 153 && opcode <= 168) return Form::Short;
  if (opcode >= 178 && opcode <= 184) return Form::Index2;
  if (opcode <= 195) return Form::None;
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
  if (opcode == 186 && majorVersion < 51) return Form::Invalid;
  return kForms[static_cast<std::size_t>(opcode & 0xFF)];
}

// The length of an instruction of a form with operands of fixed size, or 0 for the switches, wide and an
// invalid opcode (their records decode them).
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

// Makes the instruction record of a form; false for an invalid opcode.
bool MakeInstruction(Form form, Instruction& instruction) {
  switch (form) {
    case Form::None: instruction.emplace<tInstructionDesc>(); return true;
    case Form::Byte: instruction.emplace<tByteInstructionDesc>(); return true;
    case Form::Short: instruction.emplace<tShortInstructionDesc>(); return true;
    case Form::Index1: instruction.emplace<tIndex1InstructionDesc>(); return true;
    case Form::Index2: instruction.emplace<tIndex2InstructionDesc>(); return true;
    case Form::VIndex: instruction.emplace<tVIndexInstructionDesc>(); return true;
    case Form::Iinc: instruction.emplace<tIincInstructionDesc>(); return true;
    case Form::Retw: instruction.emplace<tRetwInstructionDesc>(); return true;
    case Form::Wide: instruction.emplace<tWideInstructionDesc>(); return true;
    case Form::Table: instruction.emplace<tTableswitchInstructionDesc>(); return true;
    case Form::Lookup: instruction.emplace<tLookupswitchInstructionDesc>(); return true;
    case Form::Interface: instruction.emplace<tInvokeinterfaceInstructionDesc>(); return true;
    case Form::Dynamic: instruction.emplace<tInvokedynamicInstructionDesc>(); return true;
    case Form::Newarray: instruction.emplace<tNewarrayInstructionDesc>(); return true;
    case Form::Multi: instruction.emplace<tMultianewarrayInstructionDesc>(); return true;
    case Form::WideBranch: instruction.emplace<tWideBranchInstructionDesc>(); return true;
    case Form::Invalid: break;
  }
  return false;
}

tInstructionDesc& Base(Instruction& instruction) {
  return std::visit([](auto& i) -> tInstructionDesc& { return i; }, instruction);
}

// Decodes the instruction at the reader's position into `instruction`; errors for an invalid opcode and
// for operands that run past the end of the code.
tInstructionDesc& Decode(tCodeReader& r, std::int32_t majorVersion, Instruction& instruction) {
  const std::int32_t offset = r.in.PC - r.codeStart;
  r.opcodePosition = r.in.PC;
  std::int16_t opcode = 0;
  GetU1(r.in, opcode);
  const Form form = FormOf(opcode, majorVersion);
  if (!MakeInstruction(form, instruction))
    ZYNError::Message("Invalid opcode ", FormatUtils::Int2Str(opcode), " in class file. Offset = ",
                      FormatUtils::Int2Str(r.opcodePosition));
  tInstructionDesc& decoded = Base(instruction);
  decoded.Read(r, offset);
  if (!r.in.Done || r.in.PC > r.codeEnd) CodeError(r, "Instruction runs past the end of the code");
  decoded.opcode = opcode;
  return decoded;
}

}  // namespace

void tByteInstructionDesc::Read(tCodeReader& r, std::int32_t) { GetByte(r.in, value); }

void tShortInstructionDesc::Read(tCodeReader& r, std::int32_t) { GetShort(r.in, value); }

void tIndex1InstructionDesc::Read(tCodeReader& r, std::int32_t) { GetU1(r.in, index); }

void tIndex2InstructionDesc::Read(tCodeReader& r, std::int32_t) { GetU2(r.in, index); }

void tVIndexInstructionDesc::Read(tCodeReader& r, std::int32_t) { GetU1(r.in, index); }

void tIincInstructionDesc::Read(tCodeReader& r, std::int32_t) {
  GetU1(r.in, index);
  GetByte(r.in, increment);
}

void tRetwInstructionDesc::Read(tCodeReader& r, std::int32_t) { GetU2(r.in, index); }

void tWideInstructionDesc::Read(tCodeReader& r, std::int32_t) {
  GetU1(r.in, wideOpcode);
  GetU2(r.in, index);
  if (wideOpcode == 132) GetShort(r.in, increment);
}

void tTableswitchInstructionDesc::Read(tCodeReader& r, std::int32_t offset) {
  SkipPadding(r, offset);
  GetInt(r.in, defaultOffset);
  GetInt(r.in, low);
  GetInt(r.in, high);
  if (!r.in.Done) return;
  if (high < low) CodeError(r, "Invalid tableswitch range");
  const std::int64_t count = static_cast<std::int64_t>(high) - low + 1;
  RequireCodeBytes(r, count * 4);
  offsets.resize(static_cast<std::size_t>(count));
  for (auto& jump : offsets) GetInt(r.in, jump);
}

void tLookupswitchInstructionDesc::Read(tCodeReader& r, std::int32_t offset) {
  SkipPadding(r, offset);
  GetInt(r.in, defaultOffset);
  GetInt(r.in, npairs);
  if (!r.in.Done) return;
  if (npairs < 0) CodeError(r, "Invalid lookupswitch pair count");
  RequireCodeBytes(r, static_cast<std::int64_t>(npairs) * 8);
  pairs.resize(static_cast<std::size_t>(npairs));
  for (auto& pair : pairs) {
    GetInt(r.in, pair.match);
    GetInt(r.in, pair.offset);
  }
}

void tInvokeinterfaceInstructionDesc::Read(tCodeReader& r, std::int32_t) {
  GetU2(r.in, index);
  GetU1(r.in, count);
  GetU1(r.in, reserved);
}

void tNewarrayInstructionDesc::Read(tCodeReader& r, std::int32_t) { GetU1(r.in, atype); }

void tMultianewarrayInstructionDesc::Read(tCodeReader& r, std::int32_t) {
  GetU2(r.in, index);
  GetU1(r.in, dimensions);
}

void tWideBranchInstructionDesc::Read(tCodeReader& r, std::int32_t) { GetInt(r.in, offset); }

std::unique_ptr<tInstructionDesc> InstructionArray::operator[](std::size_t offset) const {
  FileModule::tInput in;
  Reset(in, bytes_);
  tCodeReader r{in, 0, static_cast<std::int32_t>(bytes_.size())};
  Instruction instruction;
  while (in.PC < r.codeEnd && static_cast<std::size_t>(in.PC) <= offset) {
    const bool here = static_cast<std::size_t>(in.PC) == offset;
    Decode(r, majorVersion_, instruction);
    if (here)
      return std::visit([](auto& i) -> std::unique_ptr<tInstructionDesc> {
        return std::make_unique<std::decay_t<decltype(i)>>(std::move(i));
      }, instruction);
  }
  return nullptr;
}

InstructionArray NewCode(FileModule::tInput& in, std::int32_t codeLength, std::int32_t majorVersion) {
  if (codeLength == 0) ZYNError::Message("Null code length");
  // A code length of 2^31 or more is negative here; neither fits in the input.
  if (codeLength < 0 || static_cast<std::size_t>(codeLength) > Remaining(in))
    ZYNError::Message("Unexpected end of class file");
  InstructionArray code;
  code.majorVersion_ = majorVersion;
  const std::span<const std::uint8_t> bytes = Peek(in, static_cast<std::size_t>(codeLength));
  code.bytes_.assign(bytes.begin(), bytes.end());
  tCodeReader r{in, in.PC, in.PC + codeLength};
  Instruction instruction;
  while (in.PC < r.codeEnd) {
    const std::int32_t offset = in.PC - r.codeStart;
    const std::uint8_t opcode = code.bytes_[static_cast<std::size_t>(offset)];
    const Form form = FormOf(opcode, majorVersion);
    // Most instructions have operands of fixed size: only their pool index is of interest here.
    if (const int length = FixedLength(form); length > 0) {
      r.opcodePosition = in.PC;
      if (length > r.codeEnd - in.PC) CodeError(r, "Instruction runs past the end of the code");
      const std::uint8_t* operands = &code.bytes_[static_cast<std::size_t>(offset) + 1];
      if (form == Form::Index1) code.indexes_.push_back({offset + 1, operands[0], false});
      else if (form == Form::Index2 || form == Form::Interface || form == Form::Dynamic || form == Form::Multi)
        code.indexes_.push_back({offset + 1, static_cast<std::int32_t>(FileModule::BigEndian(operands, 2)), true});
      in.PC += length;
      continue;
    }
    const tInstructionDesc& decoded = Decode(r, majorVersion, instruction);
    if (decoded.opcode == 170 || decoded.opcode == 171) code.switches_.push_back(offset);
  }
  return code;
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
