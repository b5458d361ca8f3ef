#include "ZYNCode.h"

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

void PutPadding(tOutput& out, std::int32_t& offset) {
  while (offset % 4 != 0) {
    PutU1(out, 0);
    ++offset;
  }
}

enum class Form { Invalid, None, Byte, Short, Index1, Index2, VIndex, Iinc, Retw, Wide, Table, Lookup, Interface,
                  Dynamic, Newarray, Multi, WideBranch };

Form FormOf(int opcode, std::int32_t majorVersion) {
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
    case 186: return majorVersion >= 51 ? Form::Dynamic : Form::Invalid;
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

std::unique_ptr<tInstructionDesc> MakeInstruction(Form form) {
  switch (form) {
    case Form::None: return std::make_unique<tInstructionDesc>();
    case Form::Byte: return std::make_unique<tByteInstructionDesc>();
    case Form::Short: return std::make_unique<tShortInstructionDesc>();
    case Form::Index1: return std::make_unique<tIndex1InstructionDesc>();
    case Form::Index2: return std::make_unique<tIndex2InstructionDesc>();
    case Form::VIndex: return std::make_unique<tVIndexInstructionDesc>();
    case Form::Iinc: return std::make_unique<tIincInstructionDesc>();
    case Form::Retw: return std::make_unique<tRetwInstructionDesc>();
    case Form::Wide: return std::make_unique<tWideInstructionDesc>();
    case Form::Table: return std::make_unique<tTableswitchInstructionDesc>();
    case Form::Lookup: return std::make_unique<tLookupswitchInstructionDesc>();
    case Form::Interface: return std::make_unique<tInvokeinterfaceInstructionDesc>();
    case Form::Dynamic: return std::make_unique<tInvokedynamicInstructionDesc>();
    case Form::Newarray: return std::make_unique<tNewarrayInstructionDesc>();
    case Form::Multi: return std::make_unique<tMultianewarrayInstructionDesc>();
    case Form::WideBranch: return std::make_unique<tWideBranchInstructionDesc>();
    case Form::Invalid: break;
  }
  return nullptr;
}

}  // namespace

void tByteInstructionDesc::Read(tCodeReader& r, std::int32_t) { GetByte(r.in, value); }
void tByteInstructionDesc::Write(const ConstPool&, tOutput& out, std::int32_t& offset) const {
  PutByte(out, value);
  offset += 1;
}

void tShortInstructionDesc::Read(tCodeReader& r, std::int32_t) { GetShort(r.in, value); }
void tShortInstructionDesc::Write(const ConstPool&, tOutput& out, std::int32_t& offset) const {
  PutShort(out, value);
  offset += 2;
}

void tIndex1InstructionDesc::Read(tCodeReader& r, std::int32_t) { GetU1(r.in, index); }
void tIndex1InstructionDesc::Write(const ConstPool& cp, tOutput& out, std::int32_t& offset) const {
  PutU1(out, cp.NewIndexOf(index));
  offset += 1;
}
void tIndex1InstructionDesc::Mark(ConstPool& cp) const { ZYNConstPool::Mark(cp, index); }

void tIndex2InstructionDesc::Read(tCodeReader& r, std::int32_t) { GetU2(r.in, index); }
void tIndex2InstructionDesc::Write(const ConstPool& cp, tOutput& out, std::int32_t& offset) const {
  PutU2(out, cp.NewIndexOf(index));
  offset += 2;
}
void tIndex2InstructionDesc::Mark(ConstPool& cp) const { ZYNConstPool::Mark(cp, index); }

void tVIndexInstructionDesc::Read(tCodeReader& r, std::int32_t) { GetU1(r.in, index); }
void tVIndexInstructionDesc::Write(const ConstPool&, tOutput& out, std::int32_t& offset) const {
  PutU1(out, index);
  offset += 1;
}

void tIincInstructionDesc::Read(tCodeReader& r, std::int32_t) {
  GetU1(r.in, index);
  GetByte(r.in, increment);
}
void tIincInstructionDesc::Write(const ConstPool&, tOutput& out, std::int32_t& offset) const {
  PutU1(out, index);
  PutByte(out, increment);
  offset += 2;
}

void tRetwInstructionDesc::Read(tCodeReader& r, std::int32_t) { GetU2(r.in, index); }
void tRetwInstructionDesc::Write(const ConstPool&, tOutput& out, std::int32_t& offset) const {
  PutU2(out, index);
  offset += 2;
}

void tWideInstructionDesc::Read(tCodeReader& r, std::int32_t) {
  GetU1(r.in, wideOpcode);
  GetU2(r.in, index);
  if (wideOpcode == 132) GetShort(r.in, increment);
}
void tWideInstructionDesc::Write(const ConstPool&, tOutput& out, std::int32_t& offset) const {
  PutU1(out, wideOpcode);
  PutU2(out, index);
  offset += 3;
  if (wideOpcode == 132) {
    PutShort(out, increment);
    offset += 2;
  }
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
void tTableswitchInstructionDesc::Write(const ConstPool&, tOutput& out, std::int32_t& offset) const {
  PutPadding(out, offset);
  PutInt(out, defaultOffset);
  PutInt(out, low);
  PutInt(out, high);
  for (std::int32_t jump : offsets) PutInt(out, jump);
  offset += 12 + 4 * static_cast<std::int32_t>(offsets.size());
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
void tLookupswitchInstructionDesc::Write(const ConstPool&, tOutput& out, std::int32_t& offset) const {
  PutPadding(out, offset);
  PutInt(out, defaultOffset);
  PutInt(out, npairs);
  for (const auto& pair : pairs) {
    PutInt(out, pair.match);
    PutInt(out, pair.offset);
  }
  offset += 8 + 8 * static_cast<std::int32_t>(pairs.size());
}

void tInvokeinterfaceInstructionDesc::Read(tCodeReader& r, std::int32_t) {
  GetU2(r.in, index);
  GetU1(r.in, count);
  GetU1(r.in, reserved);
}
void tInvokeinterfaceInstructionDesc::Write(const ConstPool& cp, tOutput& out, std::int32_t& offset) const {
  PutU2(out, cp.NewIndexOf(index));
  PutU1(out, count);
  PutU1(out, reserved);
  offset += 4;
}
void tInvokeinterfaceInstructionDesc::Mark(ConstPool& cp) const { ZYNConstPool::Mark(cp, index); }

void tNewarrayInstructionDesc::Read(tCodeReader& r, std::int32_t) { GetU1(r.in, atype); }
void tNewarrayInstructionDesc::Write(const ConstPool&, tOutput& out, std::int32_t& offset) const {
  PutU1(out, atype);
  offset += 1;
}

void tMultianewarrayInstructionDesc::Read(tCodeReader& r, std::int32_t) {
  GetU2(r.in, index);
  GetU1(r.in, dimensions);
}
void tMultianewarrayInstructionDesc::Write(const ConstPool& cp, tOutput& out, std::int32_t& offset) const {
  PutU2(out, cp.NewIndexOf(index));
  PutU1(out, dimensions);
  offset += 3;
}
void tMultianewarrayInstructionDesc::Mark(ConstPool& cp) const { ZYNConstPool::Mark(cp, index); }

void tWideBranchInstructionDesc::Read(tCodeReader& r, std::int32_t) { GetInt(r.in, offset); }
void tWideBranchInstructionDesc::Write(const ConstPool&, tOutput& out, std::int32_t& running) const {
  PutInt(out, offset);
  running += 4;
}

InstructionArray NewCode(FileModule::tInput& in, std::int32_t codeLength, std::int32_t majorVersion) {
  if (codeLength == 0) ZYNError::Message("Null code length");
  // A code length of 2^31 or more is negative here; neither fits in the input.
  if (codeLength < 0 || static_cast<std::size_t>(codeLength) > Remaining(in))
    ZYNError::Message("Unexpected end of class file");
  InstructionArray code(static_cast<std::size_t>(codeLength));
  tCodeReader r{in, in.PC, in.PC + codeLength};
  while (in.PC < r.codeEnd) {
    const std::int32_t offset = in.PC - r.codeStart;
    r.opcodePosition = in.PC;
    std::int16_t opcode = 0;
    GetU1(in, opcode);
    std::unique_ptr<tInstructionDesc> instruction = MakeInstruction(FormOf(opcode, majorVersion));
    if (!instruction)
      ZYNError::Message("Invalid opcode ", FormatUtils::Int2Str(opcode), " in class file. Offset = ",
                        FormatUtils::Int2Str(r.opcodePosition));
    instruction->Read(r, offset);
    if (!in.Done || in.PC > r.codeEnd) CodeError(r, "Instruction runs past the end of the code");
    instruction->opcode = opcode;
    code[offset] = std::move(instruction);
  }
  return code;
}

void MarkCode(ConstPool& cp, const InstructionArray& code) {
  for (const auto& instruction : code)
    if (instruction) instruction->Mark(cp);
}

void WriteCode(std::int32_t codeLength, const InstructionArray& code, const ConstPool& cp, tOutput& out) {
  PutU4(out, codeLength);
  std::int32_t offset = 0;
  for (const auto& instruction : code)
    if (instruction) {
      PutU1(out, instruction->opcode);
      ++offset;
      instruction->Write(cp, out, offset);
    }
}

}  // namespace ZYNCode
