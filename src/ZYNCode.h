// Bytecode: decoding method code, marking the constants it uses, and writing it back with renumbered indexes.
// No instruction changes opcode, length or offset, so the code is kept as its bytes plus where its pool
// indexes and switch paddings stand: marking walks the indexes, writing copies the bytes and patches them.
// The instruction records decode one instruction each: while the code is read, and on demand afterwards.
#pragma once
#include <cstdint>
#include <cstddef>
#include <memory>
#include <span>
#include <variant>
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
};

struct tByteInstructionDesc : tInstructionDesc {  // bipush
  std::int8_t value = 0;
  void Read(tCodeReader& r, std::int32_t offset) override;
};

struct tShortInstructionDesc : tInstructionDesc {  // sipush, branches
  std::int16_t value = 0;
  void Read(tCodeReader& r, std::int32_t offset) override;
};

struct tIndex1InstructionDesc : tInstructionDesc {  // ldc
  std::int16_t index = 0;
  void Read(tCodeReader& r, std::int32_t offset) override;
};

struct tIndex2InstructionDesc : tInstructionDesc {  // ldc_w, ldc2_w, field and method instructions, new, ...
  std::int32_t index = 0;
  void Read(tCodeReader& r, std::int32_t offset) override;
};

struct tVIndexInstructionDesc : tInstructionDesc {  // loads, stores, ret
  std::int16_t index = 0;
  void Read(tCodeReader& r, std::int32_t offset) override;
};

struct tIincInstructionDesc : tInstructionDesc {
  std::int16_t index = 0;
  std::int8_t increment = 0;
  void Read(tCodeReader& r, std::int32_t offset) override;
};

struct tRetwInstructionDesc : tInstructionDesc {  // opcode 209: ret with a two-byte index
  std::int32_t index = 0;
  void Read(tCodeReader& r, std::int32_t offset) override;
};

struct tWideInstructionDesc : tInstructionDesc {
  std::int16_t wideOpcode = 0;
  std::int32_t index = 0;
  std::int16_t increment = 0;  // only for wide iinc
  void Read(tCodeReader& r, std::int32_t offset) override;
};

struct tTableswitchInstructionDesc : tInstructionDesc {
  std::int32_t defaultOffset = 0, low = 0, high = 0;
  std::vector<std::int32_t> offsets;
  void Read(tCodeReader& r, std::int32_t offset) override;
};

struct switchPair {
  std::int32_t match = 0, offset = 0;
};

struct tLookupswitchInstructionDesc : tInstructionDesc {
  std::int32_t defaultOffset = 0, npairs = 0;
  std::vector<switchPair> pairs;
  void Read(tCodeReader& r, std::int32_t offset) override;
};

struct tInvokeinterfaceInstructionDesc : tInstructionDesc {
  std::int32_t index = 0;
  std::int16_t count = 0, reserved = 0;
  void Read(tCodeReader& r, std::int32_t offset) override;
};

// invokedynamic (from class file version 51): an index and two bytes kept as read.
struct tInvokedynamicInstructionDesc : tInvokeinterfaceInstructionDesc {};

struct tNewarrayInstructionDesc : tInstructionDesc {
  std::int16_t atype = 0;
  void Read(tCodeReader& r, std::int32_t offset) override;
};

struct tMultianewarrayInstructionDesc : tInstructionDesc {
  std::int32_t index = 0;
  std::int16_t dimensions = 0;
  void Read(tCodeReader& r, std::int32_t offset) override;
};

struct tWideBranchInstructionDesc : tInstructionDesc {  // goto_w, jsr_w
  std::int32_t offset = 0;
  void Read(tCodeReader& r, std::int32_t offset) override;
};

// One instruction of any kind, held by value.
using Instruction =
    std::variant<tInstructionDesc, tByteInstructionDesc, tShortInstructionDesc, tIndex1InstructionDesc,
                 tIndex2InstructionDesc, tVIndexInstructionDesc, tIincInstructionDesc, tRetwInstructionDesc,
                 tWideInstructionDesc, tTableswitchInstructionDesc, tLookupswitchInstructionDesc,
                 tInvokeinterfaceInstructionDesc, tInvokedynamicInstructionDesc, tNewarrayInstructionDesc,
                 tMultianewarrayInstructionDesc, tWideBranchInstructionDesc>;

// A pool index inside the code: where its operand stands, its width (1 for ldc, else 2), its value.
struct CodeIndex {
  std::int32_t at = 0;
  std::int32_t index = 0;
  bool wide = true;
};

// The code of one method: its bytes, its pool indexes in code order, and the switches whose padding is
// written as zeros.
class InstructionArray {
public:
  // The code length: one slot per code byte.
  std::size_t size() const { return bytes_.size(); }
  // The instruction whose opcode stands at offset, decoded anew, or nothing for a byte inside an instruction.
  std::unique_ptr<tInstructionDesc> operator[](std::size_t offset) const;
  std::span<const CodeIndex> Indexes() const { return indexes_; }

private:
  friend InstructionArray NewCode(FileModule::tInput& in, std::int32_t codeLength, std::int32_t majorVersion);
  friend void WriteCode(std::int32_t codeLength, const InstructionArray& code, const ConstPool& cp, tOutput& out);

  std::vector<std::uint8_t> bytes_;
  std::vector<CodeIndex> indexes_;
  std::vector<std::int32_t> switches_;  // offsets of tableswitch and lookupswitch opcodes
  std::int32_t majorVersion_ = 0;
};

// Decodes codeLength bytes of code from the input; opcodes are accepted by the class file's major version.
InstructionArray NewCode(FileModule::tInput& in, std::int32_t codeLength, std::int32_t majorVersion);
void MarkCode(ConstPool& cp, const InstructionArray& code);
// Writes the u4 code length and the code.
void WriteCode(std::int32_t codeLength, const InstructionArray& code, const ConstPool& cp, tOutput& out);

}  // namespace ZYNCode
