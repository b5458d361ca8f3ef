#include "ZYNAttr.h"

#include <algorithm>
#include <string>

#include "FileModule.h"
#include "FormatUtils.h"
#include "ZYNClassFile.h"
#include "ZYNError.h"

namespace ZYNAttr {

using namespace FileModule;
using ZYNConstPool::Mark;

namespace {

using ZYNError::tDiagnostics;
using Reader = AttrPtr (*)(ConstPool& cp, tInput& in, tDiagnostics& diag, std::int32_t length);

// Reads `count` entries of a fixed-size table, growing only as far as the input holds entries.
template <class Entry, class ReadEntry>
void ReadTable(tInput& in, std::int32_t count, std::pmr::vector<Entry>& table, std::size_t entryBytes,
               ReadEntry readEntry) {
  table.reserve(ItemsThatFit(in, count, entryBytes));
  for (std::int32_t i = 0; i < count && in.Done; ++i) readEntry(table.emplace_back());
}

// Takes a body of the declared length into the arena. A length of 2^31 or more is negative here and can never
// be satisfied by the input.
void TakeBody(ConstPool& cp, tInput& in, std::int32_t length, std::span<std::uint8_t>& body) {
  if (length < 0) in.Done = false;
  else ZYNConstPool::GetBytes(in, static_cast<std::size_t>(length), cp.arena, body);
}

AttrPtr ReadUnknownBody(ConstPool& cp, tInput& in, std::int32_t length) {
  auto attr = ZYNConstPool::New<UnknownAttributeDesc>(cp.arena);
  TakeBody(cp, in, length, attr->data);
  return attr;
}

AttrPtr ReadCode(ConstPool& cp, tInput& in, tDiagnostics& diag, std::int32_t) {
  auto attr = ZYNConstPool::New<CodeAttributeDesc>(cp.arena);
  GetU2(in, attr->maxStack);
  GetU2(in, attr->maxLocals);
  GetU4(in, attr->codeLength);
  RequireInput(in);
  attr->code = ZYNCode::NewCode(in, attr->codeLength, cp.majorVersion, cp.arena);
  GetU2(in, attr->exceptionCount);
  ReadTable(in, attr->exceptionCount, attr->exceptions, 8, [&in](exceptionEntry& e) {
    GetU2(in, e.startPC);
    GetU2(in, e.endPC);
    GetU2(in, e.handlerPC);
    GetU2(in, e.catchType);
  });
  RequireInput(in);
  ReadAttributes(cp, in, diag, attr->attrCount, attr->attrs);
  return attr;
}

// The original kinds are read by their layout, whatever length they declare: NewAttr refuses a length that
// disagrees. Their layouts are counts and entries of fixed size, so only the end of the input stops the walk.
template <std::int16_t Kind>
AttrPtr ReadOriginal(ConstPool& cp, tInput& in, tDiagnostics&, std::int32_t) {
  auto attr = ZYNConstPool::New<IndexedAttributeDesc>(cp.arena);
  attr->kind = Kind;
  if (const std::optional<std::size_t> size = LayoutSize(Kind, Peek(in, Remaining(in)), attr->indexes))
    ZYNConstPool::GetBytes(in, *size, cp.arena, attr->body);
  else
    in.Done = false;
  return attr;
}

// Deprecated and Synthetic have no body: one with a body is kept as an unknown attribute.
template <std::int16_t Kind>
AttrPtr ReadFlag(ConstPool& cp, tInput& in, tDiagnostics& diag, std::int32_t length) {
  if (length == 0) return ReadOriginal<Kind>(cp, in, diag, length);
  ZYNError::Warning(diag, "Too long \"", NameOf(Kind), "\" attribute. Length=", FormatUtils::Int2Str(length, 10));
  return ReadUnknownBody(cp, in, length);
}

// Whether a Record body of this many bytes at the input position is a whole number of components with
// whole attributes; only then are the nested attributes read as such.
bool RecordLayoutFits(const tInput& in, std::int32_t length) {
  const std::span<const std::uint8_t> body = Peek(in, static_cast<std::size_t>(length));
  if (body.size() != static_cast<std::size_t>(length)) return false;
  tInput record;
  Reset(record, body);
  std::int32_t components = 0, attrs = 0, skipped = 0, attrLength = 0;
  for (GetU2(record, components); components > 0 && record.Done; --components) {
    GetU4(record, skipped);  // name and descriptor
    for (GetU2(record, attrs); attrs > 0 && record.Done; --attrs) {
      GetU2(record, skipped);
      GetU4(record, attrLength);
      if (attrLength < 0 || static_cast<std::size_t>(attrLength) > Remaining(record)) return false;
      record.PC += attrLength;
    }
  }
  return record.Done && Remaining(record) == 0;
}

AttrPtr ReadRecord(ConstPool& cp, tInput& in, tDiagnostics& diag, std::int32_t length) {
  if (!RecordLayoutFits(in, length)) return nullptr;
  auto attr = ZYNConstPool::New<RecordAttributeDesc>(cp.arena);
  GetU2(in, attr->count);
  attr->components.reserve(ItemsThatFit(in, attr->count, 6));
  for (std::int32_t i = 0; i < attr->count && in.Done; ++i) {
    recordComponentInfo& component = attr->components.emplace_back(&cp.arena);
    GetU2(in, component.nameIndex);
    GetU2(in, component.descriptorIndex);
    if (in.Done) ReadAttributes(cp, in, diag, component.attrCount, component.attrs);
  }
  return attr;
}

// The first index of the attribute that names no entry of the tag, or none.
const IndexSlot* FirstNotOfTag(const ConstPool& cp, const IndexedAttributeDesc& attr, std::int16_t tag) {
  for (const IndexSlot& slot : attr.indexes)
    if (cp.Tag(attr.IndexAt(slot)) != tag) return &slot;
  return nullptr;
}

// Takes the body of a kind kept as bytes; false when the input holds it but it breaks the kind's layout.
bool ReadBody(ConstPool& cp, tInput& in, std::int32_t length, IndexedAttributeDesc& attr) {
  TakeBody(cp, in, length, attr.body);
  return !in.Done || FindIndexes(attr.kind, attr.body, attr.indexes);
}

template <std::int16_t Kind>
AttrPtr ReadIndexed(ConstPool& cp, tInput& in, tDiagnostics&, std::int32_t length) {
  auto attr = ZYNConstPool::New<IndexedAttributeDesc>(cp.arena);
  attr->kind = Kind;
  if (!ReadBody(cp, in, length, *attr)) return nullptr;
  // scalac 2.11 leaves an index that names no text in a few classes; no JVM reads the attribute, so it stays
  // as an unknown one, with its whole pool, rather than failing the class.
  if constexpr (Kind == ScalaInlineInfoAttr)
    if (in.Done && FirstNotOfTag(cp, *attr, ZYNClassFile::kConstantUtf8) != nullptr) return nullptr;
  return attr;
}

// StackMap is read in every version, as the original kinds are, and refused as they are when it breaks its
// layout: a preverified class with a broken map is damaged, not another tool's attribute of the same name.
AttrPtr ReadStackMap(ConstPool& cp, tInput& in, tDiagnostics&, std::int32_t length) {
  auto attr = ZYNConstPool::New<IndexedAttributeDesc>(cp.arena);
  attr->kind = StackMapAttr;
  if (!ReadBody(cp, in, length, *attr))
    ZYNError::Message(ZYNError::tKind::kBadStackMap, NameOf(StackMapAttr), length);
  if (!in.Done) return attr;  // the end of the file, which the caller reports
  if (const IndexSlot* slot = FirstNotOfTag(cp, *attr, ZYNClassFile::kConstantClass))
    ZYNError::Message(ZYNError::tKind::kBadStackMapClass, attr->IndexAt(*slot), NameOf(StackMapAttr));
  return attr;
}

template <tRead R, std::int16_t Kind>
constexpr Reader ReaderFor() {
  if constexpr (R == tRead::kCode) return ReadCode;
  else if constexpr (R == tRead::kRecord) return ReadRecord;
  else if constexpr (R == tRead::kStackMap) return ReadStackMap;
  else if constexpr (R == tRead::kOriginal) return ReadOriginal<Kind>;
  else if constexpr (R == tRead::kFlag) return ReadFlag<Kind>;
  else return ReadIndexed<Kind>;
}

// The reader of each row of kKinds.
constexpr Reader kReaders[] = {
#define ZYN_KIND_READER(kind, value, name, since, read, ...) ReaderFor<tRead::read, kind##Attr>(),
    ZYN_ATTRIBUTE_KINDS(ZYN_KIND_READER)
#undef ZYN_KIND_READER
};
static_assert(std::size(kReaders) == std::size(kKinds));

// The row of the name where the class file's version defines the kind, or null.
const tKind* FindKind(std::string_view name, std::int32_t majorVersion) {
  for (const tKind& kind : kKinds)
    if (kind.name == name) return majorVersion >= kind.sinceMajor ? &kind : nullptr;
  return nullptr;
}

Reader ReaderOf(const tKind& kind) { return kReaders[static_cast<std::size_t>(&kind - kKinds)]; }

// Parsed from exactly its declared length; kept as unknown when the layout disagrees.
bool LayoutSized(const tKind& kind) { return kind.read == tRead::kIndexed || kind.read == tRead::kRecord; }

void WarnUnknown(tDiagnostics& diag, std::string_view name, std::int32_t length) {
  ZYNError::Warning(diag, "Unknown attribute \"", name, "\" ignored. Length=", FormatUtils::Int2Str(length, 10));
}

// Reads a kind that must fill exactly its declared length; whatever does not is kept as unknown.
AttrPtr ReadSized(const tKind& kind, ConstPool& cp, tInput& in, tDiagnostics& diag, std::string_view name,
                  std::int32_t length) {
  const std::int32_t start = in.PC;
  AttrPtr attr;
  if (length >= 0 && static_cast<std::size_t>(length) <= Remaining(in)) {
    const std::size_t outer = LimitInput(in, static_cast<std::size_t>(start) + length);
    attr = ReaderOf(kind)(cp, in, diag, length);
    LimitInput(in, outer);
    if (!in.Done || in.PC != start + length) attr.reset();
  }
  if (attr) return attr;
  Rewind(in, start);
  WarnUnknown(diag, name, length);
  return ReadUnknownBody(cp, in, length);
}

}  // namespace

AttrPtr NewAttr(ConstPool& cp, tInput& in, tDiagnostics& diag) {
  std::int32_t nameIndex = 0, length = 0;
  GetU2(in, nameIndex);
  GetU4(in, length);
  RequireInput(in);
  // The known names are ASCII, so a name whose bytes spell one is that name; any other is decoded (which
  // also refuses an index that names no Utf8 entry).
  std::string decoded;
  std::string_view name = ZYNConstPool::Utf8Text(cp, nameIndex);
  const tKind* kind = FindKind(name, cp.majorVersion);
  if (kind == nullptr) {
    decoded = ZYNConstPool::GetUtf8(cp, nameIndex);
    name = decoded;
    kind = FindKind(name, cp.majorVersion);
  }
  const std::int32_t bodyStart = in.PC;
  AttrPtr attr;
  if (kind == nullptr) {
    WarnUnknown(diag, name, length);
    attr = ReadUnknownBody(cp, in, length);
  } else if (LayoutSized(*kind)) {
    attr = ReadSized(*kind, cp, in, diag, name, length);
  } else {
    attr = ReaderOf(*kind)(cp, in, diag, length);
  }
  RequireInput(in);
  // A layout that disagrees with the declared length would be written back inconsistent.
  if (in.PC - bodyStart != length)
    ZYNError::Message(ZYNError::tKind::kBadAttributeLength, name, length);
  attr->nameIndex = nameIndex;
  attr->length = length;
  return attr;
}

void ReadAttributes(ConstPool& cp, tInput& in, tDiagnostics& diag, std::int32_t& count, AttrArray& attrs) {
  GetU2(in, count);
  RequireInput(in);
  attrs.reserve(ItemsThatFit(in, count, 6));  // every attribute is at least its 6-byte header
  for (std::int32_t i = 0; i < count; ++i) attrs.push_back(NewAttr(cp, in, diag));
}

std::int32_t Delete(std::int16_t kind, std::int32_t& count, AttrArray& attrs) {
  std::int32_t bytes = 0;
  if (count <= 0) return bytes;
  for (auto& attr : attrs) {
    if (!attr) continue;
    if (attr->This(kind)) {
      --count;
      bytes += attr->length + 6;
      attr.reset();
    } else {
      bytes += attr->DeleteNested(kind);
    }
  }
  return bytes;
}

void MarkAttributes(tMarking& m, const AttrArray& attrs) {
  for (const auto& attr : attrs)
    if (attr) {
      Mark(m, attr->nameIndex);
      attr->MarkAttr(m);
    }
}

void WriteAttributes(std::int32_t count, const AttrArray& attrs, const tMarking& m, tOutput& out) {
  PutU2(out, count);
  if (count <= 0) return;
  for (const auto& attr : attrs)
    if (attr) {
      PutU2(out, m.NewIndexOf(attr->nameIndex));
      PutU4(out, attr->length);
      attr->Write(m, out);
    }
}

bool HasAttr(const AttrArray& attrs, std::int16_t kind) {
  return std::any_of(attrs.begin(), attrs.end(), [kind](const auto& attr) { return attr && attr->This(kind); });
}

bool HoldsUnknown(const AttrArray& attrs) {
  for (const AttrPtr& attr : attrs) {
    if (!attr) continue;
    if (attr->This(UnknownAttr)) return true;
    if (const auto* code = dynamic_cast<const CodeAttributeDesc*>(attr.get()); code != nullptr && HoldsUnknown(code->attrs))
      return true;
    if (const auto* record = dynamic_cast<const RecordAttributeDesc*>(attr.get()))
      for (const recordComponentInfo& component : record->components)
        if (HoldsUnknown(component.attrs)) return true;
  }
  return false;
}

void NarrowIndexes(const AttrArray& attrs, std::vector<std::int32_t>& narrow) {
  for (const AttrPtr& attr : attrs)
    if (const auto* code = dynamic_cast<const CodeAttributeDesc*>(attr.get()))
      for (const ZYNCode::CodeIndex& index : code->code.Indexes())
        if (!index.wide) narrow.push_back(index.index);
}

void CodeAttributeDesc::MarkAttr(tMarking& m) const {
  ZYNCode::MarkCode(m, code);
  for (const exceptionEntry& e : exceptions)
    if (e.catchType != 0) Mark(m, e.catchType);
  if (attrCount > 0) MarkAttributes(m, attrs);
}

void CodeAttributeDesc::Write(const tMarking& m, tOutput& out) const {
  PutU2(out, maxStack);
  PutU2(out, maxLocals);
  ZYNCode::WriteCode(codeLength, code, m, out);
  PutU2(out, exceptionCount);
  for (const exceptionEntry& e : exceptions) {
    PutU2(out, e.startPC);
    PutU2(out, e.endPC);
    PutU2(out, e.handlerPC);
    PutU2(out, e.catchType != 0 ? m.NewIndexOf(e.catchType) : 0);
  }
  WriteAttributes(attrCount, attrs, m, out);
}

std::int32_t CodeAttributeDesc::DeleteNested(std::int16_t kind) {
  const std::int32_t nested = Delete(kind, attrCount, attrs);
  length -= nested;
  return nested;
}

void UnknownAttributeDesc::Write(const tMarking&, tOutput& out) const { PutBytes(out, data); }

void IndexedAttributeDesc::MarkAttr(tMarking& m) const {
  for (const IndexSlot& slot : indexes) {
    const std::int32_t index = IndexAt(slot);
    if (index != 0 || !slot.optional) Mark(m, index);
  }
}

void IndexedAttributeDesc::Write(const tMarking& m, tOutput& out) const {
  const std::size_t start = out.bytes.size();
  PutBytes(out, body);
  for (const IndexSlot& slot : indexes) {
    const std::int32_t index = IndexAt(slot);
    if (index == 0 && slot.optional) continue;
    const std::int32_t newIndex = m.NewIndexOf(index);
    out.bytes[start + slot.offset] = static_cast<std::uint8_t>(newIndex >> 8);
    out.bytes[start + slot.offset + 1] = static_cast<std::uint8_t>(newIndex);
  }
}

void RecordAttributeDesc::MarkAttr(tMarking& m) const {
  for (const recordComponentInfo& component : components) {
    Mark(m, component.nameIndex);
    Mark(m, component.descriptorIndex);
    if (component.attrCount > 0) MarkAttributes(m, component.attrs);
  }
}

void RecordAttributeDesc::Write(const tMarking& m, tOutput& out) const {
  PutU2(out, count);
  for (const recordComponentInfo& component : components) {
    PutU2(out, m.NewIndexOf(component.nameIndex));
    PutU2(out, m.NewIndexOf(component.descriptorIndex));
    WriteAttributes(component.attrCount, component.attrs, m, out);
  }
}

std::int32_t RecordAttributeDesc::DeleteNested(std::int16_t kind) {
  std::int32_t removed = 0;
  for (recordComponentInfo& component : components) removed += Delete(kind, component.attrCount, component.attrs);
  length -= removed;
  return removed;
}

}  // namespace ZYNAttr
