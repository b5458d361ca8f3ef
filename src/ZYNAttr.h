// Attributes: their reading, marking, removal by key, and writing. What each kind is (its name, version, layout,
// key) is its row in ZYNAttrKinds.h.
//
// The kinds fall into three groups:
//  - holding nested attribute lists (Code, Record): parsed into fields, which removal by key reaches;
//  - kept as body bytes plus the offsets of the pool indexes inside them (every other known kind): one
//    description of where the indexes are (FindIndexes) serves both marking and writing;
//  - unknown: kept as raw bytes with a warning; the pool indexes inside them cannot be translated.
// Uses: FileModule, FormatUtils, ZYNAttrKinds, ZYNClassFile, ZYNCode, ZYNConstPool, ZYNError.
#pragma once
#include <cstdint>
#include <memory_resource>
#include <optional>
#include <span>
#include <vector>

#include "FileModule.h"
#include "ZYNAttrKinds.h"
#include "ZYNCode.h"
#include "ZYNConstPool.h"
#include "ZYNError.h"

namespace ZYNAttr {

using ZYNConstPool::ConstPool;
using ZYNConstPool::tMarking;
using FileModule::tInput;
using FileModule::tOutput;

struct attributeInfoDesc;
// Attributes live in the arena of their class's pool.
using AttrPtr = ZYNConstPool::tArenaPtr<attributeInfoDesc>;
using AttrArray = std::pmr::vector<AttrPtr>;
using ZYNConstPool::tArenaAlloc;

struct attributeInfoDesc {
  std::int32_t nameIndex = 0;
  std::int32_t length = 0;  // u4 attribute_length as read; only lowered by removal of nested attributes

  virtual ~attributeInfoDesc() = default;
  virtual bool This(std::int16_t kind) const = 0;
  virtual void Write(const tMarking& m, tOutput& out) const { (void)m, (void)out; }
  virtual void MarkAttr(tMarking& m) const { (void)m; }
  // Removes attributes of the kind from nested lists, lowers length by their bytes and returns them.
  virtual std::int32_t DeleteNested(std::int16_t kind) { (void)kind; return 0; }
};

struct exceptionEntry {
  std::int32_t startPC = 0, endPC = 0, handlerPC = 0, catchType = 0;
};

struct CodeAttributeDesc : attributeInfoDesc {
  using allocator_type = tArenaAlloc;
  explicit CodeAttributeDesc(const allocator_type& arena) : code(arena), exceptions(arena), attrs(arena) {}
  std::int32_t maxStack = 0, maxLocals = 0, codeLength = 0;
  ZYNCode::InstructionArray code;
  std::int32_t exceptionCount = 0;
  std::pmr::vector<exceptionEntry> exceptions;
  std::int32_t attrCount = 0;
  AttrArray attrs;
  bool This(std::int16_t kind) const override { return kind == CodeAttr; }
  void Write(const tMarking& m, tOutput& out) const override;
  void MarkAttr(tMarking& m) const override;
  std::int32_t DeleteNested(std::int16_t kind) override;
};

struct UnknownAttributeDesc : attributeInfoDesc {
  std::span<std::uint8_t> data;  // in the arena
  bool This(std::int16_t kind) const override { return kind == UnknownAttr; }
  void Write(const tMarking& m, tOutput& out) const override;
};

// A pool index inside a kept body: its byte offset, whether 0 (no entry) is allowed there, and what an
// annotation holds there, for the member pass, which reads what annotations name.
struct IndexSlot {
  enum Role : std::uint8_t { kIndex, kText, kAnnotationType };
  std::uint32_t offset = 0;
  bool optional = false;
  Role role = kIndex;  // kText: a String element value; kAnnotationType: the type of an annotation
};

// An attribute kind whose only job is to keep its bytes and renumber the pool indexes inside them.
struct IndexedAttributeDesc : attributeInfoDesc {
  using allocator_type = tArenaAlloc;
  explicit IndexedAttributeDesc(const allocator_type& arena) : indexes(arena) {}
  std::int16_t kind = UnknownAttr;
  std::span<std::uint8_t> body;  // in the arena
  std::pmr::vector<IndexSlot> indexes;
  bool This(std::int16_t k) const override { return k == kind; }
  void Write(const tMarking& m, tOutput& out) const override;
  void MarkAttr(tMarking& m) const override;
  std::int32_t IndexAt(const IndexSlot& slot) const {
    return static_cast<std::int32_t>(FileModule::BigEndian(&body[slot.offset], 2));
  }
};

// Held by value in a vector, so given the arena outright: an allocator_type would call for an allocator-extended
// move constructor.
struct recordComponentInfo {
  explicit recordComponentInfo(const tArenaAlloc& arena) : attrs(arena) {}
  std::int32_t nameIndex = 0, descriptorIndex = 0, attrCount = 0;
  AttrArray attrs;
};

struct RecordAttributeDesc : attributeInfoDesc {
  using allocator_type = tArenaAlloc;
  explicit RecordAttributeDesc(const allocator_type& arena) : components(arena) {}
  std::int32_t count = 0;
  std::pmr::vector<recordComponentInfo> components;
  bool This(std::int16_t kind) const override { return kind == RecordAttr; }
  void Write(const tMarking& m, tOutput& out) const override;
  void MarkAttr(tMarking& m) const override;
  std::int32_t DeleteNested(std::int16_t kind) override;
};

// Reads one attribute_info at the input position; warnings go to diag.
AttrPtr NewAttr(ConstPool& cp, tInput& in, ZYNError::tDiagnostics& diag);
// Reads an attributes_count and that many attributes.
void ReadAttributes(ConstPool& cp, tInput& in, ZYNError::tDiagnostics& diag, std::int32_t& count, AttrArray& attrs);

// Removes every attribute of the kind from the list and the lists nested in it; returns the bytes they
// took (length + 6 each).
std::int32_t Delete(std::int16_t kind, std::int32_t& count, AttrArray& attrs);
void MarkAttributes(tMarking& m, const AttrArray& attrs);
void WriteAttributes(std::int32_t count, const AttrArray& attrs, const tMarking& m, tOutput& out);

// Whether the list holds an attribute of the kind.
bool HasAttr(const AttrArray& attrs, std::int16_t kind);
// Whether the list or a list nested in it holds an unknown attribute, whose pool indexes cannot move.
bool HoldsUnknown(const AttrArray& attrs);
// Adds to `narrow` the pool indexes that the code of the list's Code attributes names with one byte (ldc).
void NarrowIndexes(const AttrArray& attrs, std::vector<std::int32_t>& narrow);

// For the kinds kept as body bytes: finds the pool indexes of a body; false when the body does not follow
// the kind's layout exactly.
bool FindIndexes(std::int16_t kind, std::span<const std::uint8_t> body, std::pmr::vector<IndexSlot>& indexes);
// The bytes that the kind's layout takes from the start of `bytes`, with the pool indexes among them;
// nothing when the bytes end inside the layout or break it.
std::optional<std::size_t> LayoutSize(std::int16_t kind, std::span<const std::uint8_t> bytes,
                                      std::pmr::vector<IndexSlot>& indexes);

}  // namespace ZYNAttr
