// Bytecode: decoding method code into instruction records, marking the constants they use, and writing the
// code back with renumbered indexes. No instruction changes opcode, length or offset.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "FileModule.h"
#include "ZYNConstPool.h"

namespace ZYNCode {

using ZYNConstPool::ConstPool;
using FileModule::tOutput;

// The code being decoded: its input, the input positions of its first byte and its end, and of the opcode
// being decoded (for messages).
struct tCodeReader {
  FileModule::tInput& in;
  std::int32_t codeStart = 0;
  std::int32_t codeEnd = 0;
  std::int32_t opcodePosition = 0;
};

struct tInstructionDesc {
  std::int16_t opcode = 0;
  virtual ~tInstructionDesc() = default;
  // Reads the operands; offset is the opcode's offset within the code.
  virtual void Read(tCodeReader& r, std::int32_t offset) { (void)r, (void)offset; }
  // Writes the operand bytes after the opcode and advances the running output offset by their number.
  virtual void Write(const ConstPool& cp, tOutput& out, std::int32_t& offset) const { (void)cp, (void)out, (void)offset; }
  virtual void Mark(ConstPool& cp) const { (void)cp; }
};

struct tByteInstructionDesc : tInstructionDesc {  // bipush
  std::int8_t value = 0;
  void Read(tCodeReader& r, std::int32_t offset) override;
  void Write(const ConstPool& cp, tOutput& out, std::int32_t& offset) const override;
};

struct tShortInstructionDesc : tInstructionDesc {  // sipush, branches
  std::int16_t value = 0;
  void Read(tCodeReader& r, std::int32_t offset) override;
  void Write(const ConstPool& cp, tOutput& out, std::int32_t& offset) const override;
};

struct tIndex1InstructionDesc : tInstructionDesc {  // ldc
  std::int16_t index = 0;
  void Read(tCodeReader& r, std::int32_t offset) override;
  void Write(const ConstPool& cp, tOutput& out, std::int32_t& offset) const override;
  void Mark(ConstPool& cp) const override;
};

struct tIndex2InstructionDesc : tInstructionDesc {  // ldc_w, ldc2_w, field and method instructions, new, ...
  std::int32_t index = 0;
  void Read(tCodeReader& r, std::int32_t offset) override;
  void Write(const ConstPool& cp, tOutput& out, std::int32_t& offset) const override;
  void Mark(ConstPool& cp) const override;
};

struct tVIndexInstructionDesc : tInstructionDesc {  // loads, stores, ret
  std::int16_t index = 0;
  void Read(tCodeReader& r, std::int32_t offset) override;
  void Write(const ConstPool& cp, tOutput& out, std::int32_t& offset) const override;
};

struct tIincInstructionDesc : tInstructionDesc {
  std::int16_t index = 0;
  std::int8_t increment = 0;
  void Read(tCodeReader& r, std::int32_t offset) override;
  void Write(const ConstPool& cp, tOutput& out, std::int32_t& offset) const override;
};

struct tRetwInstructionDesc : tInstructionDesc {  // opcode 209: ret with a two-byte index
  std::int32_t index = 0;
  void Read(tCodeReader& r, std::int32_t offset) override;
  void Write(const ConstPool& cp, tOutput& out, std::int32_t& offset) const override;
};

struct tWideInstructionDesc : tInstructionDesc {
  std::int16_t wideOpcode = 0;
  std::int32_t index = 0;
  std::int16_t increment = 0;  // only for wide iinc
  void Read(tCodeReader& r, std::int32_t offset) override;
  void Write(const ConstPool& cp, tOutput& out, std::int32_t& offset) const override;
};

struct tTableswitchInstructionDesc : tInstructionDesc {
  std::int32_t defaultOffset = 0, low = 0, high = 0;
  std::vector<std::int32_t> offsets;
  void Read(tCodeReader& r, std::int32_t offset) override;
  void Write(const ConstPool& cp, tOutput& out, std::int32_t& offset) const override;
};

struct switchPair {
  std::int32_t match = 0, offset = 0;
};

struct tLookupswitchInstructionDesc : tInstructionDesc {
  std::int32_t defaultOffset = 0, npairs = 0;
  std::vector<switchPair> pairs;
  void Read(tCodeReader& r, std::int32_t offset) override;
  void Write(const ConstPool& cp, tOutput& out, std::int32_t& offset) const override;
};

struct tInvokeinterfaceInstructionDesc : tInstructionDesc {
  std::int32_t index = 0;
  std::int16_t count = 0, reserved = 0;
  void Read(tCodeReader& r, std::int32_t offset) override;
  void Write(const ConstPool& cp, tOutput& out, std::int32_t& offset) const override;
  void Mark(ConstPool& cp) const override;
};

// invokedynamic (from class file version 51): an index and two bytes kept as read.
struct tInvokedynamicInstructionDesc : tInvokeinterfaceInstructionDesc {};

struct tNewarrayInstructionDesc : tInstructionDesc {
  std::int16_t atype = 0;
  void Read(tCodeReader& r, std::int32_t offset) override;
  void Write(const ConstPool& cp, tOutput& out, std::int32_t& offset) const override;
};

struct tMultianewarrayInstructionDesc : tInstructionDesc {
  std::int32_t index = 0;
  std::int16_t dimensions = 0;
  void Read(tCodeReader& r, std::int32_t offset) override;
  void Write(const ConstPool& cp, tOutput& out, std::int32_t& offset) const override;
  void Mark(ConstPool& cp) const override;
};

struct tWideBranchInstructionDesc : tInstructionDesc {  // goto_w, jsr_w
  std::int32_t offset = 0;
  void Read(tCodeReader& r, std::int32_t offset) override;
  void Write(const ConstPool& cp, tOutput& out, std::int32_t& offset) const override;
};

// One slot per code byte; the slot of an instruction's first byte holds its record.
using InstructionArray = std::vector<std::unique_ptr<tInstructionDesc>>;

// Decodes codeLength bytes of code from the input; opcodes are accepted by the class file's major version.
InstructionArray NewCode(FileModule::tInput& in, std::int32_t codeLength, std::int32_t majorVersion);
void MarkCode(ConstPool& cp, const InstructionArray& code);
// Writes the u4 code length and the code.
void WriteCode(std::int32_t codeLength, const InstructionArray& code, const ConstPool& cp, tOutput& out);

}  // namespace ZYNCode
