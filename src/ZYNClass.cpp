#include "ZYNClass.h"

#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "FileModule.h"
#include "ZYNAttr.h"
#include "ZYNClassFile.h"
#include "ZYNData.h"
#include "ZYNError.h"

namespace ZYNClass {

using namespace FileModule;
using enum ZYNError::tKind;
using ZYNConstPool::Mark;

namespace {

// The outputs that take the member decisions: the mapping, the usage list, the answers to -why:, the report.
bool DecisionsAsked(const ZYNData::tParams& p) {
  return !p.map.empty() || !p.usage.empty() || !p.why.empty() || !p.report.empty();
}

void ReadMembers(tContext& ctx, tClassDesc& cls, std::int32_t& count, std::vector<memberInfo>& members) {
  tInput& in = ctx.in;
  GetU2(in, count);
  RequireInput(in);
  members.reserve(ItemsThatFit(in, count, 8));  // each member is at least its 8-byte header
  for (std::int32_t i = 0; i < count; ++i) {
    memberInfo& member = members.emplace_back(&cls.cp->arena);
    GetU2(in, member.accessFlags);
    GetU2(in, member.nameIndex);
    GetU2(in, member.descriptorIndex);
    RequireInput(in);
    ZYNAttr::ReadAttributes(*cls.cp, in, ctx.diag, member.attrCount, member.attrs);
  }
}

void WriteMembers(tOutput& out, const tClassDesc& cls, std::int32_t count, const std::vector<memberInfo>& members) {
  PutU2(out, count);
  for (const memberInfo& member : members) {
    if (!member.present) continue;
    PutU2(out, member.accessFlags);
    PutU2(out, cls.marking.NewIndexOf(member.nameIndex));
    PutU2(out, cls.marking.NewIndexOf(member.descriptorIndex));
    ZYNAttr::WriteAttributes(member.attrCount, member.attrs, cls.marking, out);
  }
}

void DeleteInMembers(std::int16_t kind, std::vector<memberInfo>& members, std::int32_t& change) {
  for (memberInfo& member : members) change += ZYNAttr::Delete(kind, member.attrCount, member.attrs);
}

void DeleteEverywhere(std::int16_t kind, tClassDesc& cls, std::int32_t& change) {
  DeleteInMembers(kind, cls.fields, change);
  DeleteInMembers(kind, cls.methods, change);
  change += ZYNAttr::Delete(kind, cls.attrCount, cls.attrs);
}

bool KeyGiven(const ZYNData::tParams& p, ZYNAttr::tKey key) {
  using ZYNAttr::tKey;
  switch (key) {
    case tKey::kNone: return false;
    case tKey::kSrc: return p.src;
    case tKey::kVar: return p.var;
    case tKey::kLin: return p.lin;
    case tKey::kDepr: return p.depr;
    case tKey::kSynt: return p.synt;
    case tKey::kUattr: return p.uattr;
  }
  return false;
}

// Attribute removal by key: each kind's row names its key and where it goes from.
void RemoveAttributes(tClassDesc& cls, const ZYNData::tParams& p, std::int32_t& change) {
  using ZYNAttr::tScope;
  // kotlinc copies an anonymous class of an inline function wherever it inlines the function and maps the lines
  // of what it inlines into the copy through the class's SMAP, which it cannot read without the source name.
  const bool inlineMap = KotlinClass(cls) && ZYNAttr::HasAttr(cls.attrs, ZYNAttr::EnclosingMethodAttr) &&
                         ZYNAttr::HasAttr(cls.attrs, ZYNAttr::SourceDebugExtensionAttr);
  for (const ZYNAttr::tKind& kind : ZYNAttr::kKinds) {
    if (!KeyGiven(p, kind.key) || (kind.key == ZYNAttr::tKey::kSrc && inlineMap)) continue;
    if (kind.scope == tScope::kClass) change += ZYNAttr::Delete(kind.kind, cls.attrCount, cls.attrs);
    if (kind.scope == tScope::kMethods) DeleteInMembers(kind.kind, cls.methods, change);
    if (kind.scope == tScope::kEverywhere) DeleteEverywhere(kind.kind, cls, change);
  }
  // Unknown attributes are for whoever wrote them; without ScalaInlineInfo scalac only inlines less, and the
  // Java SE verifier does not read StackMap (their rows). ScalaSig and Scala stay under every key: without them
  // scalac takes a class for a Java one and cannot compile against the library. A type table without its
  // variable table is rejected by the JVM: both go under one key.
  if (p.uattr) DeleteEverywhere(ZYNAttr::UnknownAttr, cls, change);
}

// The first and last source lines of a method's code, from the line number tables that are kept.
void LineRange(const memberInfo& method, std::int32_t& first, std::int32_t& last) {
  first = INT32_MAX, last = 0;
  for (const auto& attr : method.attrs) {
    const auto* code = dynamic_cast<const ZYNAttr::CodeAttributeDesc*>(attr.get());
    if (code == nullptr) continue;
    for (const auto& nested : code->attrs) {
      const auto* table = dynamic_cast<const ZYNAttr::IndexedAttributeDesc*>(nested.get());
      if (table == nullptr || !table->This(ZYNAttr::LineNumberTableAttr)) continue;
      // line_number_table_length, then (start_pc, line_number) pairs: the layout was checked when read.
      for (std::size_t at = 2; at + 4 <= table->body.size(); at += 4) {
        const auto line = static_cast<std::int32_t>(FileModule::BigEndian(&table->body[at + 2], 2));
        first = std::min(first, line), last = std::max(last, line);
      }
    }
  }
}

std::vector<std::string> Names(const ZYNConstPool::ConstPool& cp, const std::vector<memberInfo>& members) {
  std::vector<std::string> names;
  names.reserve(members.size());
  for (const memberInfo& member : members) names.emplace_back(ZYNConstPool::Utf8Text(cp, member.nameIndex));
  return names;
}

// The decisions on one table's members: those private, and any whose name is no longer the one it had.
void Decide(const tClassDesc& cls, const std::vector<memberInfo>& members, const std::vector<std::string>& before,
            bool methods, std::vector<ZYNResult::tMemberDecision>& decisions) {
  using ZYNResult::tFate;
  for (std::size_t i = 0; i < members.size() && i < before.size(); ++i) {
    const memberInfo& member = members[i];
    const std::string_view name = ZYNConstPool::Utf8Text(*cls.cp, member.nameIndex);
    const bool renamed = member.present && name != before[i];
    if (!IsPrivate(member) && !renamed) continue;
    ZYNResult::tMemberDecision& d = decisions.emplace_back();
    d.method = methods, d.access = member.accessFlags, d.name = before[i], d.descriptor = ZYNConstPool::Utf8Text(*cls.cp, member.descriptorIndex);
    d.fate = !member.present ? tFate::kRemoved : renamed ? tFate::kRenamed : tFate::kKept;
    if (renamed) d.newName = name;
    if (d.fate == tFate::kKept) d.rule = member.kept.rule, d.evidence = member.kept.evidence;
    if (renamed && methods) LineRange(member, d.first, d.last);
  }
}

}  // namespace

void MarkMember(ZYNConstPool::tMarking& m, const memberInfo& member) {
  Mark(m, member.nameIndex);
  Mark(m, member.descriptorIndex);
  if (member.attrCount > 0) ZYNAttr::MarkAttributes(m, member.attrs);
}

std::unique_ptr<tClassDesc> ReadClass(tContext& ctx) {
  tInput& in = ctx.in;
  auto cls = std::make_unique<tClassDesc>();
  GetU4(in, cls->magic);
  if (!in.Done || static_cast<std::uint32_t>(cls->magic) != ZYNClassFile::kMagic)
    ZYNError::Message(kNotClassFile);
  GetU2(in, cls->minorVersion);
  GetU2(in, cls->majorVersion);
  if (!in.Done) ZYNError::Message(kFileRead);
  GetU2(in, cls->cpCount);
  cls->cp = ZYNConstPool::NewConstPool(in, in.Done ? cls->cpCount : 0, cls->majorVersion);
  if (!in.Done) ZYNError::Message(kPoolRead);
  cls->marking = ZYNConstPool::tMarking(*cls->cp);
  GetU2(in, cls->accessFlags);
  GetU2(in, cls->thisClass);
  GetU2(in, cls->superClass);
  GetU2(in, cls->interfaceCount);
  RequireInput(in);
  cls->interfaces.reserve(ItemsThatFit(in, cls->interfaceCount, 2));
  for (std::int32_t i = 0; i < cls->interfaceCount && in.Done; ++i) GetU2(in, cls->interfaces.emplace_back());
  RequireInput(in);
  ReadMembers(ctx, *cls, cls->fieldCount, cls->fields);
  ReadMembers(ctx, *cls, cls->methodCount, cls->methods);
  ZYNAttr::ReadAttributes(*cls->cp, in, ctx.diag, cls->attrCount, cls->attrs);
  // The JVM refuses such a file; writing the class without them would pass off a broken file as sound.
  if (in.Done && Remaining(in) > 0) ZYNError::Message(kExtraBytes);
  return cls;
}

void MarkClass(tClassDesc& cls) {
  ZYNConstPool::tMarking& cp = cls.marking;
  ZYNConstPool::tDeferredMarking deferred(cp);
  Mark(cp, cls.thisClass);
  if (cls.superClass != 0) Mark(cp, cls.superClass);
  // An interface index of 0 names nothing that could be written: Mark refuses it.
  for (std::int32_t index : cls.interfaces) Mark(cp, index);
  for (const auto* members : {&cls.fields, &cls.methods})
    for (const memberInfo& member : *members)
      if (member.present) MarkMember(cp, member);
  if (cls.attrCount > 0) ZYNAttr::MarkAttributes(cp, cls.attrs);
  deferred.Finish();
}

tBefore NamesBefore(const tClassDesc& cls) { return {Names(*cls.cp, cls.fields), Names(*cls.cp, cls.methods)}; }

std::vector<ZYNResult::tMemberDecision> Decisions(const tClassDesc& cls, const tBefore& before) {
  std::vector<ZYNResult::tMemberDecision> decisions;
  Decide(cls, cls.fields, before.fields, false, decisions);
  Decide(cls, cls.methods, before.methods, true, decisions);
  return decisions;
}

void MarkAfresh(tClassDesc& cls) {
  ZYNConstPool::UnMark(cls.marking);
  MarkClass(cls);
}

void WriteClass(tOutput& out, const tClassDesc& cls) {
  const ZYNConstPool::tMarking& cp = cls.marking;
  PutU4(out, cls.magic);
  PutU2(out, cls.minorVersion);
  PutU2(out, cls.majorVersion);
  ZYNConstPool::WriteConstPool(cp, out);
  PutU2(out, cls.accessFlags);
  PutU2(out, cp.NewIndexOf(cls.thisClass));
  PutU2(out, cls.superClass != 0 ? cp.NewIndexOf(cls.superClass) : 0);
  PutU2(out, cls.interfaceCount);
  for (std::int32_t index : cls.interfaces) PutU2(out, cp.NewIndexOf(index));
  WriteMembers(out, cls, cls.fieldCount, cls.fields);
  WriteMembers(out, cls, cls.methodCount, cls.methods);
  ZYNAttr::WriteAttributes(cls.attrCount, cls.attrs, cp, out);
}

namespace {

// Whether the pool may take the compressor's order: not while an attribute kept as raw bytes may hold indexes.
bool MayPack(const tClassDesc& cls) {
  const auto holds = [](const std::vector<memberInfo>& members) {
    return std::ranges::any_of(members, [](const memberInfo& m) { return m.present && ZYNAttr::HoldsUnknown(m.attrs); });
  };
  return !ZYNAttr::HoldsUnknown(cls.attrs) && !holds(cls.fields) && !holds(cls.methods);
}

void PackPool(tClassDesc& cls) {
  std::vector<std::int32_t> narrow;
  for (const memberInfo& method : cls.methods)
    if (method.present) ZYNAttr::NarrowIndexes(method.attrs, narrow);
  ZYNConstPool::RenumPacked(cls.marking, narrow);
}

tFileResult CloseWithError(tOpenClass& open, ZYNError::tError error) {
  tFileResult result = std::move(open.result);
  result.error = std::move(error);
  // An error while reading comes after the warnings printed so far.
  if (!result.read) result.warnings = std::move(open.ctx.diag.lines);
  return result;
}

}  // namespace

void OpenClass(tOpenClass& open, std::span<const std::uint8_t> bytes, const ZYNHierarchy::tRunFacts* facts) {
  tContext& ctx = open.ctx;
  const ZYNData::tParams& p = ctx.params;
  tFileResult& result = open.result;
  Reset(ctx.in, bytes);
  open.cls = ReadClass(ctx);
  open.cls->facts = facts;
  result.read = true;
  result.oldSize = ctx.in.PC;
  result.warnings = std::move(ctx.diag.lines);
  RemoveAttributes(*open.cls, p, open.change);
  if (DecisionsAsked(p)) open.before = NamesBefore(*open.cls);
}

void CloseClass(tOpenClass& open, std::span<const std::uint8_t> bytes, std::int32_t memberBytes, tWrite write) {
  tContext& ctx = open.ctx;
  const ZYNData::tParams& p = ctx.params;
  tFileResult& result = open.result;
  tClassDesc& cls = *open.cls;
  if (DecisionsAsked(p)) {
    result.className = ZYNConstPool::ClassName(*cls.cp, cls.thisClass);
    result.members = Decisions(cls, open.before);
  }
  result.limited = ctx.diag.WarnCount != 0 && !p.nowarn && !p.uattr;
  if (result.limited) {
    ZYNConstPool::UnMark(cls.marking);
    ZYNConstPool::MarkAll(cls.marking);
  } else if (!cls.marking.classMarked) {
    MarkAfresh(cls);
  }
  std::int32_t poolBytes = 0;
  ZYNConstPool::RenumUnUsed(cls.marking, result.dropped, poolBytes);
  result.change = open.change + memberBytes + poolBytes;
  if (p.tst && write == tWrite::AsKeys) return;
  if (p.pack && !result.limited && MayPack(cls)) PackPool(cls);
  ctx.out.bytes.reserve(bytes.size());
  WriteClass(ctx.out, cls);
  result.bytes = std::move(ctx.out.bytes);
}

tFileResult OptimizeFile(std::span<const std::uint8_t> bytes, const ZYNData::tParams& params, tMemberPass memberPass,
                         tWrite write, const ZYNHierarchy::tRunFacts* facts) {
  tOpenClass open(params);
  // The passes in their fixed order; the result is filled as far as the file gets.
  try {
    OpenClass(open, bytes, facts);
    std::int32_t memberBytes = 0;
    memberPass(*open.cls, params, memberBytes);
    CloseClass(open, bytes, memberBytes, write);
  } catch (const ZYNError::Fatal& error) {
    return CloseWithError(open, error.Error());
  } catch (const std::bad_alloc&) {
    return CloseWithError(open, ZYNError::Make(kNoMemory));
  }
  return std::move(open.result);
}

}  // namespace ZYNClass
