// The in-memory class file, the member pass, and the per-file pipeline.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ZYNAttr.h"
#include "ZYNConstPool.h"

namespace ZYNClass {

constexpr std::int32_t ACC_PRIVATE = 0x0002;

struct memberInfo {
  bool present = true;
  std::int32_t accessFlags = 0;
  std::int32_t nameIndex = 0;
  std::int32_t descriptorIndex = 0;
  std::int32_t attrCount = 0;
  ZYNAttr::AttrArray attrs;
};

struct tClassDesc {
  std::int32_t magic = 0;
  std::int32_t minorVersion = 0, majorVersion = 0;
  std::int32_t cpCount = 0;
  std::unique_ptr<ZYNConstPool::ConstPool> cp;
  std::int32_t accessFlags = 0;
  std::int32_t thisClass = 0, superClass = 0;
  std::int32_t interfaceCount = 0;
  std::vector<std::int32_t> interfaces;
  std::int32_t fieldCount = 0;  // members still present
  std::vector<memberInfo> fields;
  std::int32_t methodCount = 0;
  std::vector<memberInfo> methods;
  std::int32_t attrCount = 0;
  ZYNAttr::AttrArray attrs;
};

// Reads the class file from the input stream that Reset has just opened.
std::unique_ptr<tClassDesc> ReadClass();
// Counts one reference for every pool entry that the kept class structure uses (after UnMark).
void MarkClass(tClassDesc& cls);
// Writes the class with the renumbered pool to the output collected by Rewrite; CloseOut reports in Done.
void WriteClass(const std::string& name, const tClassDesc& cls);

// The member pass: removal of unreferenced private members, then renaming unless -noren.
void ReduceMembers(tClassDesc& cls, std::int32_t& bytes);
void RemoveUnusedPrivate(tClassDesc& cls, std::int32_t& bytes);
void RenameMembers(tClassDesc& cls, std::int32_t& bytes);

// The backup name: the last "."-suffix of the file name replaced by ".~class", or ".~class" appended.
std::string BackupName(const std::string& name);
// The Percent column: the saving in tenths of a percent, rounded half up to whole percent.
std::int32_t Percent(std::int32_t change, std::int32_t oldSize);

// Optimizes one class file and prints its table line (without the line end).
void OptimizeFile(const std::string& name, std::int32_t& dropped, std::int32_t& change);

}  // namespace ZYNClass
