#include "ZYNClass.h"

#include "FileModule.h"
#include "FormatUtils.h"
#include "Platform.h"
#include "ZYNData.h"
#include "ZYNError.h"

namespace ZYNClass {

using namespace FileModule;
using ZYNConstPool::Mark;

namespace {

void RequireInput() {
  if (!Done) ZYNError::Message("Unexpected end of class file");
}

void ReadMembers(tClassDesc& cls, std::int32_t& count, std::vector<memberInfo>& members) {
  GetU2(count);
  RequireInput();
  members.reserve(ItemsThatFit(count, 8));  // each member is at least its 8-byte header
  for (std::int32_t i = 0; i < count; ++i) {
    memberInfo& member = members.emplace_back();
    member.present = true;
    GetU2(member.accessFlags);
    GetU2(member.nameIndex);
    GetU2(member.descriptorIndex);
    RequireInput();
    ZYNAttr::ReadAttributes(*cls.cp, member.attrCount, member.attrs);
  }
}

void MarkMembers(tClassDesc& cls, std::int32_t count, const std::vector<memberInfo>& members) {
  if (count <= 0) return;
  for (const memberInfo& member : members) {
    if (!member.present) continue;
    Mark(*cls.cp, member.nameIndex);
    Mark(*cls.cp, member.descriptorIndex);
    if (member.attrCount > 0) ZYNAttr::MarkAttributes(*cls.cp, member.attrs);
  }
}

void WriteMembers(const tClassDesc& cls, std::int32_t count, const std::vector<memberInfo>& members) {
  PutU2(count);
  if (count <= 0) return;
  for (const memberInfo& member : members) {
    if (!member.present) continue;
    PutU2(member.accessFlags);
    PutU2(cls.cp->NewIndexOf(member.nameIndex));
    PutU2(cls.cp->NewIndexOf(member.descriptorIndex));
    ZYNAttr::WriteAttributes(member.attrCount, member.attrs, *cls.cp);
  }
}

}  // namespace

std::unique_ptr<tClassDesc> ReadClass() {
  auto cls = std::make_unique<tClassDesc>();
  GetU4(cls->magic);
  if (!Done || static_cast<std::uint32_t>(cls->magic) != 0xCAFEBABE) ZYNError::Message("This is not class file");
  GetU2(cls->minorVersion);
  GetU2(cls->majorVersion);
  if (!Done) ZYNError::Message("File read error");
  GetU2(cls->cpCount);
  cls->cp = ZYNConstPool::NewConstPool(Done ? cls->cpCount : 0, cls->majorVersion);
  if (!Done) ZYNError::Message("Constant pool read error");
  GetU2(cls->accessFlags);
  GetU2(cls->thisClass);
  GetU2(cls->superClass);
  GetU2(cls->interfaceCount);
  RequireInput();
  cls->interfaces.reserve(ItemsThatFit(cls->interfaceCount, 2));
  for (std::int32_t i = 0; i < cls->interfaceCount && Done; ++i) GetU2(cls->interfaces.emplace_back());
  RequireInput();
  ReadMembers(*cls, cls->fieldCount, cls->fields);
  ReadMembers(*cls, cls->methodCount, cls->methods);
  ZYNAttr::ReadAttributes(*cls->cp, cls->attrCount, cls->attrs);
  return cls;
}

void MarkClass(tClassDesc& cls) {
  ZYNConstPool::ConstPool& cp = *cls.cp;
  Mark(cp, cls.thisClass);
  if (cls.superClass != 0) Mark(cp, cls.superClass);
  // An interface index of 0 names nothing that could be written: Mark refuses it.
  for (std::int32_t index : cls.interfaces) Mark(cp, index);
  MarkMembers(cls, cls.fieldCount, cls.fields);
  MarkMembers(cls, cls.methodCount, cls.methods);
  if (cls.attrCount > 0) ZYNAttr::MarkAttributes(cp, cls.attrs);
}

namespace {

void PutClass(const tClassDesc& cls) {
  const ZYNConstPool::ConstPool& cp = *cls.cp;
  PutU4(cls.magic);
  PutU2(cls.minorVersion);
  PutU2(cls.majorVersion);
  ZYNConstPool::WriteConstPool(cp);
  PutU2(cls.accessFlags);
  PutU2(cp.NewIndexOf(cls.thisClass));
  PutU2(cls.superClass != 0 ? cp.NewIndexOf(cls.superClass) : 0);
  PutU2(cls.interfaceCount);
  for (std::int32_t index : cls.interfaces) PutU2(cp.NewIndexOf(index));
  WriteMembers(cls, cls.fieldCount, cls.fields);
  WriteMembers(cls, cls.methodCount, cls.methods);
  ZYNAttr::WriteAttributes(cls.attrCount, cls.attrs, cp);
}

}  // namespace

void WriteClass(const std::string& name, const tClassDesc& cls) {
  Rewrite(name);
  PutClass(cls);
  CloseOut();
}

std::string BackupName(const std::string& name) {
  // Only the file name is searched: a "." in a directory name must not move the backup to another place.
  const std::size_t slash = name.rfind('/');
  const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
  std::size_t j = name.size();
  while (j > start && name[j] != '.') --j;
  if (j == start) j = name.size();
  return name.substr(0, j) + ".~class";
}

std::int32_t Percent(std::int32_t change, std::int32_t oldSize) {
  auto floorDiv = [](std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
  };
  return static_cast<std::int32_t>(floorDiv(floorDiv(static_cast<std::int64_t>(change) * 1000, oldSize) + 5, 10));
}

namespace {

using ZYNAttr::AttrArray;

// Removes a kind from every member list of one table.
void DeleteInMembers(std::int16_t kind, std::vector<memberInfo>& members, std::int32_t& change) {
  for (memberInfo& member : members) {
    std::int32_t bytes = 0;
    ZYNAttr::Delete(kind, member.attrCount, member.attrs, bytes);
    change += bytes;
  }
}

void DeleteInClass(std::int16_t kind, tClassDesc& cls, std::int32_t& change) {
  std::int32_t bytes = 0;
  ZYNAttr::Delete(kind, cls.attrCount, cls.attrs, bytes);
  change += bytes;
}

void DeleteEverywhere(std::int16_t kind, tClassDesc& cls, std::int32_t& change) {
  DeleteInMembers(kind, cls.fields, change);
  DeleteInMembers(kind, cls.methods, change);
  DeleteInClass(kind, cls, change);
}

// Attribute removal by key, in a fixed order.
void RemoveAttributes(tClassDesc& cls, std::int32_t& change) {
  const ZYNData::tParams& p = ZYNData::Params;
  if (p.src) {
    DeleteInClass(ZYNAttr::SourceFileAttr, cls, change);
    DeleteInClass(ZYNAttr::SourceDebugExtensionAttr, cls, change);
  }
  if (p.var) {
    DeleteInMembers(ZYNAttr::LocalVariableTableAttr, cls.methods, change);
    // A type table without its variable table is rejected by the JVM.
    DeleteInMembers(ZYNAttr::LocalVariableTypeTableAttr, cls.methods, change);
  }
  if (p.lin) DeleteInMembers(ZYNAttr::LineNumberTableAttr, cls.methods, change);
  if (p.depr) DeleteEverywhere(ZYNAttr::DeprecatedAttr, cls, change);
  if (p.synt) DeleteEverywhere(ZYNAttr::SyntheticAttr, cls, change);
  if (p.uattr) DeleteEverywhere(ZYNAttr::UnknownAttr, cls, change);
}

// Writes the class beside the file first; only a complete result replaces anything.
void WriteResult(const std::string& name, const tClassDesc& cls) {
  const std::string backup = BackupName(name);
  const std::string target = ZYNData::Params.old ? backup : name;
  RewriteBeside(name);
  PutClass(cls);
  CloseOut();
  if (!Done) ZYNError::Message("File \"", target, "\" not written");
  const std::string temp = OutputName();
  if (ZYNData::Params.old) {
    Rename(temp, backup);
    if (!Done) {
      Platform::RemoveFile(temp);
      ZYNError::Message("File \"", backup, "\" not written");
    }
    return;
  }
  Rename(name, backup);
  if (!Done) {
    Platform::RemoveFile(temp);
    ZYNError::Message("File \"", name, "\" not renamed to \"", backup + "\"");
  }
  Rename(temp, name);
  if (!Done) {
    Platform::RenameFile(backup, name);
    Platform::RemoveFile(temp);
    ZYNError::Message("File \"", name, "\" not written");
  }
}

}  // namespace

void OptimizeFile(const std::string& name, std::int32_t& dropped, std::int32_t& change) {
  using FormatUtils::PrintInt;
  using FormatUtils::PrintText;
  ZYNError::WarningReset();
  PrintText(name);
  Reset(name);
  if (!Done) ZYNError::Message("File ", "\"", name, "\" not open");
  std::unique_ptr<tClassDesc> cls = ReadClass();
  const std::int32_t oldSize = PC;
  CloseIn();
  change = 0;
  std::size_t n = name.size();
  if (n >= 30 || ZYNError::WarnCount > 0) {
    FormatUtils::PrintLn();
    n = 0;
  }
  PrintText(std::string(30 - n, ' '));
  PrintInt(oldSize, 8);
  RemoveAttributes(*cls, change);
  std::int32_t memberBytes = 0;
  ReduceMembers(*cls, memberBytes);
  change += memberBytes;
  ZYNConstPool::UnMark(*cls->cp);
  const ZYNData::tParams& p = ZYNData::Params;
  const bool limited = ZYNError::WarnCount != 0 && !p.nowarn && !p.uattr;
  if (limited)
    ZYNConstPool::MarkAll(*cls->cp);
  else
    MarkClass(*cls);
  std::int32_t poolBytes = 0;
  ZYNConstPool::RenumUnUsed(*cls->cp, dropped, poolBytes);
  change += poolBytes;
  PrintInt(-static_cast<std::int64_t>(change), 8);
  PrintInt(Percent(change, oldSize), 8);
  PrintText("%");
  if (limited) {
    FormatUtils::PrintLn();
    ZYNError::Warning("Optimization limited");
  }
  if (!p.tst) WriteResult(name, *cls);
}

}  // namespace ZYNClass
