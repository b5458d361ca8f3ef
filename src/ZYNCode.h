// Bytecode: decoding method code, marking the constants it uses, and writing it back with renumbered indexes.
// No instruction changes opcode, length or offset, so the code is kept as its bytes plus where its pool
// indexes and switch paddings stand: marking walks the indexes, writing copies the bytes and patches them.
// Uses: FileModule, FormatUtils, ZYNClassFile, ZYNConstPool, ZYNError.
#pragma once
#include <cstdint>
#include <cstddef>
#include <functional>
#include <span>
#include <vector>

#include "FileModule.h"
#include "ZYNConstPool.h"

namespace ZYNCode {

using ZYNConstPool::ConstPool;
using ZYNConstPool::tMarking;
using FileModule::tOutput;

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
  explicit InstructionArray(const ZYNConstPool::tArenaAlloc& arena) : indexes_(arena), switches_(arena) {}
  // The code length.
  std::size_t size() const { return bytes_.size(); }
  std::span<const CodeIndex> Indexes() const { return indexes_; }

private:
  friend InstructionArray NewCode(FileModule::tInput& in, std::int32_t codeLength, std::int32_t majorVersion,
                                  ZYNConstPool::tArena& arena);
  friend void WriteCode(std::int32_t codeLength, const InstructionArray& code, const tMarking& m, tOutput& out);

  std::span<std::uint8_t> bytes_;
  std::pmr::vector<CodeIndex> indexes_;
  std::pmr::vector<std::int32_t> switches_;  // offsets of tableswitch and lookupswitch opcodes
};

// Decodes codeLength bytes of code from the input, kept in the class's arena; opcodes are accepted by the class
// file's major version.
InstructionArray NewCode(FileModule::tInput& in, std::int32_t codeLength, std::int32_t majorVersion,
                         ZYNConstPool::tArena& arena);
// Calls visit for every pool index of the code, in code order, with the opcode that holds it; false, where
// NewCode would refuse the code, once it reaches what it would refuse.
bool ForEachIndex(std::span<const std::uint8_t> code, std::int32_t majorVersion,
                  const std::function<void(std::uint8_t opcode, const CodeIndex& index)>& visit);
void MarkCode(tMarking& m, const InstructionArray& code);
// Writes the u4 code length and the code.
void WriteCode(std::int32_t codeLength, const InstructionArray& code, const tMarking& m, tOutput& out);

}  // namespace ZYNCode
