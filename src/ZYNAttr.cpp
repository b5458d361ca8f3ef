#include "ZYNAttr.h"

#include <algorithm>

#include "FileModule.h"
#include "FormatUtils.h"
#include "ZYNError.h"

namespace ZYNAttr {

using namespace FileModule;
using ZYNConstPool::Mark;

namespace {

using Reader = std::unique_ptr<attributeInfoDesc> (*)(ConstPool& cp, std::int32_t length);

void RequireInput() {
  if (!Done) ZYNError::Message("Unexpected end of class file");
}

// Reads `count` entries of a fixed-size table, growing only as far as the input holds entries.
template <class Entry, class ReadEntry>
void ReadTable(std::int32_t count, std::vector<Entry>& table, std::size_t entryBytes, ReadEntry readEntry) {
  table.reserve(ItemsThatFit(count, entryBytes));
  for (std::int32_t i = 0; i < count && Done; ++i) readEntry(table.emplace_back());
}

std::unique_ptr<attributeInfoDesc> ReadUnknownBody(std::int32_t length) {
  auto attr = std::make_unique<UnknownAttributeDesc>();
  // A length of 2^31 or more is negative here and can never be satisfied by the input.
  if (length < 0)
    Done = false;
  else if (length > 0)
    GetBytes(static_cast<std::size_t>(length), attr->data);
  return attr;
}

std::unique_ptr<attributeInfoDesc> ReadCode(ConstPool& cp, std::int32_t) {
  auto attr = std::make_unique<CodeAttributeDesc>();
  GetU2(attr->maxStack);
  GetU2(attr->maxLocals);
  GetU4(attr->codeLength);
  RequireInput();
  attr->code = ZYNCode::NewCode(attr->codeLength, cp.majorVersion);
  GetU2(attr->exceptionCount);
  ReadTable(attr->exceptionCount, attr->exceptions, 8, [](exceptionEntry& e) {
    GetU2(e.startPC);
    GetU2(e.endPC);
    GetU2(e.handlerPC);
    GetU2(e.catchType);
  });
  RequireInput();
  ReadAttributes(cp, attr->attrCount, attr->attrs);
  return attr;
}

std::unique_ptr<attributeInfoDesc> ReadSourceFile(ConstPool&, std::int32_t) {
  auto attr = std::make_unique<SourceFileAttributeDesc>();
  GetU2(attr->sourceFileIndex);
  return attr;
}

std::unique_ptr<attributeInfoDesc> ReadConstantValue(ConstPool&, std::int32_t) {
  auto attr = std::make_unique<ConstantValueAttributeDesc>();
  GetU2(attr->valueIndex);
  return attr;
}

std::unique_ptr<attributeInfoDesc> ReadExceptions(ConstPool&, std::int32_t) {
  auto attr = std::make_unique<ExceptionsTableAttributeDesc>();
  GetU2(attr->count);
  ReadTable(attr->count, attr->classIndexes, 2, [](std::int32_t& index) { GetU2(index); });
  return attr;
}

std::unique_ptr<attributeInfoDesc> ReadLineNumberTable(ConstPool&, std::int32_t) {
  auto attr = std::make_unique<LineNumberTableAttributeDesc>();
  GetU2(attr->count);
  ReadTable(attr->count, attr->lines, 4, [](lineNumberEntry& e) {
    GetU2(e.startPC);
    GetU2(e.lineNumber);
  });
  return attr;
}

std::unique_ptr<attributeInfoDesc> ReadLocalVariableTable(ConstPool&, std::int32_t) {
  auto attr = std::make_unique<LocalVariableTableAttributeDesc>();
  GetU2(attr->count);
  ReadTable(attr->count, attr->variables, 10, [](localVariableEntry& e) {
    GetU2(e.startPC);
    GetU2(e.length);
    GetU2(e.nameIndex);
    GetU2(e.descriptorIndex);
    GetU2(e.index);
  });
  return attr;
}

template <class Desc>
std::unique_ptr<attributeInfoDesc> ReadFlag(std::int32_t length, std::string_view name) {
  if (length != 0) {
    ZYNError::Warning("Too long \"", name, "\" attribute. Length=", FormatUtils::Int2Str(length, 10));
    return ReadUnknownBody(length);
  }
  return std::make_unique<Desc>();
}

std::unique_ptr<attributeInfoDesc> ReadDeprecated(ConstPool&, std::int32_t length) {
  return ReadFlag<DeprecatedAttributeDesc>(length, "Deprecated");
}

std::unique_ptr<attributeInfoDesc> ReadSynthetic(ConstPool&, std::int32_t length) {
  return ReadFlag<SyntheticAttributeDesc>(length, "Synthetic");
}

std::unique_ptr<attributeInfoDesc> ReadInnerClasses(ConstPool&, std::int32_t) {
  auto attr = std::make_unique<InnerClassesAttributeDesc>();
  GetU2(attr->count);
  ReadTable(attr->count, attr->classes, 8, [](innerClassEntry& e) {
    GetU2(e.innerClassIndex);
    GetU2(e.outerClassIndex);
    GetU2(e.innerNameIndex);
    GetU2(e.accessFlags);
  });
  return attr;
}

// Whether a Record body of this many bytes at the input position is a whole number of components with
// whole attributes; only then are the nested attributes read as such.
bool RecordLayoutFits(std::int32_t length) {
  const std::span<const std::uint8_t> body = Peek(static_cast<std::size_t>(length));
  if (body.size() != static_cast<std::size_t>(length)) return false;
  std::size_t at = 0;
  auto take = [&](std::size_t n) -> std::uint32_t {
    if (body.size() - at < n) {
      at = body.size() + 1;
      return 0;
    }
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < n; ++i) v = v << 8 | body[at + i];
    at += n;
    return v;
  };
  for (std::uint32_t components = take(2); components > 0 && at <= body.size(); --components) {
    take(4);
    for (std::uint32_t attrs = take(2); attrs > 0 && at <= body.size(); --attrs) {
      take(2);
      const std::uint32_t attrLength = take(4);
      if (at <= body.size() && body.size() - at >= attrLength) at += attrLength;
      else at = body.size() + 1;
    }
  }
  return at == body.size();
}

std::unique_ptr<attributeInfoDesc> ReadRecord(ConstPool& cp, std::int32_t length) {
  if (!RecordLayoutFits(length)) return nullptr;
  auto attr = std::make_unique<RecordAttributeDesc>();
  GetU2(attr->count);
  attr->components.reserve(ItemsThatFit(attr->count, 6));
  for (std::int32_t i = 0; i < attr->count && Done; ++i) {
    recordComponentInfo& component = attr->components.emplace_back();
    GetU2(component.nameIndex);
    GetU2(component.descriptorIndex);
    if (Done) ReadAttributes(cp, component.attrCount, component.attrs);
  }
  return attr;
}

template <std::int16_t Kind>
std::unique_ptr<attributeInfoDesc> ReadIndexed(ConstPool&, std::int32_t length) {
  auto attr = std::make_unique<IndexedAttributeDesc>();
  attr->kind = Kind;
  if (length < 0)
    Done = false;
  else
    GetBytes(static_cast<std::size_t>(length), attr->body);
  if (Done && !FindIndexes(Kind, attr->body, attr->indexes)) return nullptr;
  return attr;
}

struct AttrKind {
  std::string_view name;
  std::int32_t sinceMajor;  // the first class file version that defines the attribute
  Reader read;
  bool layoutSized;  // parsed from exactly its declared length; kept as unknown when the layout disagrees
};

// One line per attribute name.
const AttrKind kKinds[] = {
    {"SourceFile", 0, ReadSourceFile, false},
    {"ConstantValue", 0, ReadConstantValue, false},
    {"Code", 0, ReadCode, false},
    {"Exceptions", 0, ReadExceptions, false},
    {"LineNumberTable", 0, ReadLineNumberTable, false},
    {"LocalVariableTable", 0, ReadLocalVariableTable, false},
    {"Deprecated", 0, ReadDeprecated, false},
    {"Synthetic", 0, ReadSynthetic, false},
    {"InnerClasses", 0, ReadInnerClasses, false},
    {"EnclosingMethod", 49, ReadIndexed<EnclosingMethodAttr>, true},
    {"Signature", 49, ReadIndexed<SignatureAttr>, true},
    {"SourceDebugExtension", 49, ReadIndexed<SourceDebugExtensionAttr>, true},
    {"LocalVariableTypeTable", 49, ReadIndexed<LocalVariableTypeTableAttr>, true},
    {"RuntimeVisibleAnnotations", 49, ReadIndexed<RuntimeVisibleAnnotationsAttr>, true},
    {"RuntimeInvisibleAnnotations", 49, ReadIndexed<RuntimeInvisibleAnnotationsAttr>, true},
    {"RuntimeVisibleParameterAnnotations", 49, ReadIndexed<RuntimeVisibleParameterAnnotationsAttr>, true},
    {"RuntimeInvisibleParameterAnnotations", 49, ReadIndexed<RuntimeInvisibleParameterAnnotationsAttr>, true},
    {"AnnotationDefault", 49, ReadIndexed<AnnotationDefaultAttr>, true},
    {"StackMapTable", 50, ReadIndexed<StackMapTableAttr>, true},
    {"BootstrapMethods", 51, ReadIndexed<BootstrapMethodsAttr>, true},
    {"MethodParameters", 52, ReadIndexed<MethodParametersAttr>, true},
    {"RuntimeVisibleTypeAnnotations", 52, ReadIndexed<RuntimeVisibleTypeAnnotationsAttr>, true},
    {"RuntimeInvisibleTypeAnnotations", 52, ReadIndexed<RuntimeInvisibleTypeAnnotationsAttr>, true},
    {"Module", 53, ReadIndexed<ModuleAttr>, true},
    {"ModulePackages", 53, ReadIndexed<ModulePackagesAttr>, true},
    {"ModuleMainClass", 53, ReadIndexed<ModuleMainClassAttr>, true},
    {"ModuleTarget", 53, ReadIndexed<ModuleTargetAttr>, true},
    {"ModuleHashes", 53, ReadIndexed<ModuleHashesAttr>, true},
    {"ModuleResolution", 53, ReadIndexed<ModuleResolutionAttr>, true},
    {"NestHost", 55, ReadIndexed<NestHostAttr>, true},
    {"NestMembers", 55, ReadIndexed<NestMembersAttr>, true},
    {"Record", 60, ReadRecord, true},
    {"PermittedSubclasses", 61, ReadIndexed<PermittedSubclassesAttr>, true},
};

const AttrKind* FindKind(std::string_view name, std::int32_t majorVersion) {
  for (const AttrKind& kind : kKinds)
    if (kind.name == name) return majorVersion >= kind.sinceMajor ? &kind : nullptr;
  return nullptr;
}

void WarnUnknown(std::string_view name, std::int32_t length) {
  ZYNError::Warning("Unknown attribute \"", name, "\" ignored. Length=", FormatUtils::Int2Str(length, 10));
}

// Reads a kind that must fill exactly its declared length; whatever does not is kept as unknown.
std::unique_ptr<attributeInfoDesc> ReadSized(const AttrKind& kind, ConstPool& cp, std::string_view name,
                                             std::int32_t length) {
  const std::int32_t start = PC;
  std::unique_ptr<attributeInfoDesc> attr;
  if (length >= 0 && static_cast<std::size_t>(length) <= Remaining()) {
    const std::size_t outer = LimitInput(static_cast<std::size_t>(start) + length);
    attr = kind.read(cp, length);
    LimitInput(outer);
    if (!Done || PC != start + length) attr.reset();
  }
  if (attr) return attr;
  Rewind(start);
  WarnUnknown(name, length);
  return ReadUnknownBody(length);
}

void TranslateInto(std::vector<std::uint8_t>& bytes, std::uint32_t offset, std::int32_t index) {
  bytes[offset] = static_cast<std::uint8_t>(index >> 8);
  bytes[offset + 1] = static_cast<std::uint8_t>(index);
}

}  // namespace

std::unique_ptr<attributeInfoDesc> NewAttr(ConstPool& cp) {
  std::int32_t nameIndex = 0, length = 0;
  GetU2(nameIndex);
  GetU4(length);
  RequireInput();
  const std::string name = ZYNConstPool::GetUtf8(cp, nameIndex);
  const std::int32_t bodyStart = PC;
  std::unique_ptr<attributeInfoDesc> attr;
  if (const AttrKind* kind = FindKind(name, cp.majorVersion); kind == nullptr) {
    WarnUnknown(name, length);
    attr = ReadUnknownBody(length);
  } else if (kind->layoutSized) {
    attr = ReadSized(*kind, cp, name, length);
  } else {
    attr = kind->read(cp, length);
  }
  RequireInput();
  // A layout that disagrees with the declared length would be written back inconsistent.
  if (PC - bodyStart != length)
    ZYNError::Message("Invalid length of \"", name, "\" attribute. Length=", FormatUtils::Int2Str(length));
  attr->nameIndex = nameIndex;
  attr->length = length;
  return attr;
}

void ReadAttributes(ConstPool& cp, std::int32_t& count, AttrArray& attrs) {
  GetU2(count);
  RequireInput();
  attrs.reserve(ItemsThatFit(count, 6));  // every attribute is at least its 6-byte header
  for (std::int32_t i = 0; i < count; ++i) attrs.push_back(NewAttr(cp));
}

void Delete(std::int16_t kind, std::int32_t& count, AttrArray& attrs, std::int32_t& bytes) {
  bytes = 0;
  if (count <= 0) return;
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
}

void MarkAttributes(ConstPool& cp, const AttrArray& attrs) {
  for (const auto& attr : attrs)
    if (attr) {
      Mark(cp, attr->nameIndex);
      attr->MarkAttr(cp);
    }
}

void WriteAttributes(std::int32_t count, const AttrArray& attrs, const ConstPool& cp) {
  PutU2(count);
  if (count <= 0) return;
  for (const auto& attr : attrs)
    if (attr) {
      PutU2(cp.NewIndexOf(attr->nameIndex));
      PutU4(attr->length);
      attr->Write(cp);
    }
}

bool HasAttr(const AttrArray& attrs, std::int16_t kind) {
  return std::any_of(attrs.begin(), attrs.end(), [kind](const auto& attr) { return attr && attr->This(kind); });
}

void CodeAttributeDesc::MarkAttr(ConstPool& cp) const {
  ZYNCode::MarkCode(cp, code);
  for (const exceptionEntry& e : exceptions)
    if (e.catchType != 0) Mark(cp, e.catchType);
  if (attrCount > 0) MarkAttributes(cp, attrs);
}

void CodeAttributeDesc::Write(const ConstPool& cp) const {
  PutU2(maxStack);
  PutU2(maxLocals);
  ZYNCode::WriteCode(codeLength, code, cp);
  PutU2(exceptionCount);
  for (const exceptionEntry& e : exceptions) {
    PutU2(e.startPC);
    PutU2(e.endPC);
    PutU2(e.handlerPC);
    PutU2(e.catchType != 0 ? cp.NewIndexOf(e.catchType) : 0);
  }
  WriteAttributes(attrCount, attrs, cp);
}

std::int32_t CodeAttributeDesc::DeleteNested(std::int16_t kind) {
  std::int32_t nested = 0;
  Delete(kind, attrCount, attrs, nested);
  length -= nested;
  return nested;
}

void SourceFileAttributeDesc::MarkAttr(ConstPool& cp) const { Mark(cp, sourceFileIndex); }
void SourceFileAttributeDesc::Write(const ConstPool& cp) const { PutU2(cp.NewIndexOf(sourceFileIndex)); }

void ConstantValueAttributeDesc::MarkAttr(ConstPool& cp) const { Mark(cp, valueIndex); }
void ConstantValueAttributeDesc::Write(const ConstPool& cp) const { PutU2(cp.NewIndexOf(valueIndex)); }

void ExceptionsTableAttributeDesc::MarkAttr(ConstPool& cp) const {
  for (std::int32_t index : classIndexes) Mark(cp, index);
}
void ExceptionsTableAttributeDesc::Write(const ConstPool& cp) const {
  PutU2(count);
  for (std::int32_t index : classIndexes) PutU2(cp.NewIndexOf(index));
}

void LineNumberTableAttributeDesc::Write(const ConstPool&) const {
  PutU2(count);
  for (const lineNumberEntry& e : lines) {
    PutU2(e.startPC);
    PutU2(e.lineNumber);
  }
}

void LocalVariableTableAttributeDesc::MarkAttr(ConstPool& cp) const {
  for (const localVariableEntry& e : variables) {
    Mark(cp, e.nameIndex);
    Mark(cp, e.descriptorIndex);
  }
}
void LocalVariableTableAttributeDesc::Write(const ConstPool& cp) const {
  PutU2(count);
  for (const localVariableEntry& e : variables) {
    PutU2(e.startPC);
    PutU2(e.length);
    PutU2(cp.NewIndexOf(e.nameIndex));
    PutU2(cp.NewIndexOf(e.descriptorIndex));
    PutU2(e.index);
  }
}

void InnerClassesAttributeDesc::MarkAttr(ConstPool& cp) const {
  for (const innerClassEntry& e : classes) {
    Mark(cp, e.innerClassIndex);
    if (e.outerClassIndex > 0) Mark(cp, e.outerClassIndex);
    if (e.innerNameIndex > 0) Mark(cp, e.innerNameIndex);
  }
}
void InnerClassesAttributeDesc::Write(const ConstPool& cp) const {
  PutU2(count);
  for (const innerClassEntry& e : classes) {
    PutU2(cp.NewIndexOf(e.innerClassIndex));
    PutU2(e.outerClassIndex > 0 ? cp.NewIndexOf(e.outerClassIndex) : 0);
    PutU2(e.innerNameIndex > 0 ? cp.NewIndexOf(e.innerNameIndex) : 0);
    PutU2(e.accessFlags);
  }
}

void UnknownAttributeDesc::Write(const ConstPool&) const { PutBytes(data); }

void IndexedAttributeDesc::MarkAttr(ConstPool& cp) const {
  for (const IndexSlot& slot : indexes) {
    const std::int32_t index = IndexAt(slot);
    if (index != 0 || !slot.optional) Mark(cp, index);
  }
}

void IndexedAttributeDesc::Write(const ConstPool& cp) const {
  std::vector<std::uint8_t> bytes = body;
  for (const IndexSlot& slot : indexes) {
    const std::int32_t index = IndexAt(slot);
    if (index != 0 || !slot.optional) TranslateInto(bytes, slot.offset, cp.NewIndexOf(index));
  }
  PutBytes(bytes);
}

void RecordAttributeDesc::MarkAttr(ConstPool& cp) const {
  for (const recordComponentInfo& component : components) {
    Mark(cp, component.nameIndex);
    Mark(cp, component.descriptorIndex);
    if (component.attrCount > 0) MarkAttributes(cp, component.attrs);
  }
}

void RecordAttributeDesc::Write(const ConstPool& cp) const {
  PutU2(count);
  for (const recordComponentInfo& component : components) {
    PutU2(cp.NewIndexOf(component.nameIndex));
    PutU2(cp.NewIndexOf(component.descriptorIndex));
    WriteAttributes(component.attrCount, component.attrs, cp);
  }
}

std::int32_t RecordAttributeDesc::DeleteNested(std::int16_t kind) {
  std::int32_t removed = 0;
  for (recordComponentInfo& component : components) {
    std::int32_t nested = 0;
    Delete(kind, component.attrCount, component.attrs, nested);
    removed += nested;
  }
  length -= removed;
  return removed;
}

}  // namespace ZYNAttr
