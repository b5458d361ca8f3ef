// The in-memory class file, the member pass, and the core that optimizes one class file.
// Uses: FileModule, ZYNAttr, ZYNClassFile, ZYNConstPool, ZYNData, ZYNError, ZYNHierarchy, ZYNResult.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "FileModule.h"
#include "ZYNAttr.h"
#include "ZYNClassFile.h"
#include "ZYNConstPool.h"
#include "ZYNData.h"
#include "ZYNError.h"
#include "ZYNHierarchy.h"
#include "ZYNResult.h"

namespace ZYNClass {

struct memberInfo {
  memberInfo() = default;
  explicit memberInfo(const ZYNConstPool::tArenaAlloc& arena) : attrs(arena) {}
  bool present = true;
  std::int32_t accessFlags = 0;
  std::int32_t nameIndex = 0;
  std::int32_t descriptorIndex = 0;
  std::int32_t attrCount = 0;
  ZYNAttr::AttrArray attrs;
  ZYNResult::tKept kept;  // the guard that kept it, as the member pass found it
};

struct tClassDesc {
  std::int32_t magic = 0;
  std::int32_t minorVersion = 0, majorVersion = 0;
  std::int32_t cpCount = 0;
  // Before the members and attributes, which live in its arena: they go first.
  std::unique_ptr<ZYNConstPool::ConstPool> cp;
  ZYNConstPool::tMarking marking;  // of cp, whose arena holds it
  std::int32_t accessFlags = 0;
  std::int32_t thisClass = 0, superClass = 0;
  std::int32_t interfaceCount = 0;
  std::vector<std::int32_t> interfaces;
  std::int32_t fieldCount = 0;  // members still present
  std::vector<memberInfo> fields;
  std::int32_t methodCount = 0;
  std::vector<memberInfo> methods;
  std::int32_t attrCount = 0;
  ZYNAttr::AttrArray attrs;  // like the other tables of the class, one heap block; the records are in the arena
  // The run's classes, which tell what this class inherits; nothing known when null.
  const ZYNHierarchy::tRunFacts* facts = nullptr;
};

// Everything that lives for one class file while it is optimized, and the run's options it reads; files share
// none of it.
struct tContext {
  explicit tContext(const ZYNData::tParams& params) : params(params) { diag.quiet = params.nowarn; }
  tContext(ZYNData::tParams&&) = delete;  // the options outlive the context
  const ZYNData::tParams& params;
  FileModule::tInput in;
  FileModule::tOutput out;
  ZYNError::tDiagnostics diag;
};

// Reads the class file from the context's input, which Reset has just started.
std::unique_ptr<tClassDesc> ReadClass(tContext& ctx);
// Counts one reference for every pool entry that the kept class structure uses (after UnMark).
void MarkClass(tClassDesc& cls);
// The names of the class's members as read; a renaming may rewrite a name entry in place.
struct tBefore {
  std::vector<std::string> fields, methods;
};
tBefore NamesBefore(const tClassDesc& cls);
// The decisions on the private members (and any whose name is no longer the one it had), fields then methods.
std::vector<ZYNResult::tMemberDecision> Decisions(const tClassDesc& cls, const tBefore& before);
// Counts the class's references anew: every count back to 0, then MarkClass.
void MarkAfresh(tClassDesc& cls);
// Writes the class with the renumbered pool.
void WriteClass(FileModule::tOutput& out, const tClassDesc& cls);

// The member pass: removal of unreferenced private members, then renaming unless -noren.
void ReduceMembers(tClassDesc& cls, const ZYNData::tParams& params, std::int32_t& bytes);
inline bool IsPrivate(const memberInfo& member) { return (member.accessFlags & ZYNClassFile::kAccPrivate) != 0; }
// The bytes a member takes in the class file: its header and its attributes, which go with it.
std::int32_t MemberSize(const memberInfo& member);
// The references that may reach a member. Counts only fall while a pass asks for the first in use, so the
// search never needs to look back.
template <class Ref>
struct tRefList {
  std::vector<Ref> refs;
  std::size_t first = 0;  // refs before it are known to be unused
  // The first of refs whose count is above 0, or null.
  template <class CountOf>
  const Ref* FirstInUse(const CountOf& countOf) {
    while (first < refs.size() && countOf(refs[first]) <= 0) ++first;
    return first < refs.size() ? &refs[first] : nullptr;
  }
};

// What the class file shows about members that are reached other than through its own references.
struct tProtection {
  bool wholeClass = false;    // a nest: its other classes use the private members directly
  bool noRename = false;      // names are read back from elsewhere (Kotlin metadata)
  bool serializable = false;  // the instance fields are the serialized form (or may be: a supertype is unknown)
  bool typeNamesOnly = false;  // a supertype is unknown: new names only of the form of type names
  bool namesByText = false;    // -pack: the pool's names are offered in the order of their texts
  ZYNHierarchy::tInherited inherited;  // what a supertype may declare non-private
  std::vector<ZYNResult::tKept> fieldKept, methodKept;  // neither removed nor renamed, and by which rule
  std::vector<ZYNResult::tKept> fieldNamed, methodNamed;  // kept under their names if kept (native methods, rules)
};
tProtection Protect(const tClassDesc& cls, const ZYNData::tParams& params);
inline bool Kept(const std::vector<ZYNResult::tKept>& kept, std::size_t i) { return i < kept.size() && kept[i]; }
// Whether the member in that slot may only go whole: removed, never renamed.
inline bool NamedOnly(const tProtection& p, bool isMethod, std::size_t slot) {
  return Kept(isMethod ? p.methodNamed : p.fieldNamed, slot);
}
// Puts the rule that keeps each member on the member, for its decision: the first of kept, named and, for
// members no rule keeps, what holds for the whole class.
void RecordKept(tClassDesc& cls, const tProtection& p);
// The references a member's declaration counts: its name, its descriptor, its attributes.
void MarkMember(ZYNConstPool::tMarking& m, const memberInfo& member);
// The renaming step of ReduceMembers for a pass that decides itself what is kept, on marks fresh from
// MarkClass.
std::int32_t RenameUnprotected(tClassDesc& cls, const tProtection& p);
// Refuses a class whose this, super or member name indexes do not name what the member pass reads there.
void CheckClass(const tClassDesc& cls);
// Whether the text has the form of a type name (an upper-case letter, a lower-case one, then letters, digits,
// "_" or "$"), which Java code never gives to members by convention.
bool TypeNameShaped(std::string_view text);
// Whether kotlinc wrote the class: it bears Kotlin's metadata, which kotlinc reads back from a library.
bool KotlinClass(const tClassDesc& cls);

using ZYNResult::tFileResult;

// The core: optimizes one class file given as bytes, with the options of the run. Errors inside it end
// only this file: they come back as its error line. The member pass can be swapped for another (tests
// compare the pass with a reference).
using tMemberPass = void (*)(tClassDesc& cls, const ZYNData::tParams& params, std::int32_t& bytes);
// Whether the optimized class is written to bytes: as the keys say (not with -tst), or always (an archive
// entry, which -tst still builds to measure the archive).
enum class tWrite { AsKeys, Always };
tFileResult OptimizeFile(std::span<const std::uint8_t> bytes, const ZYNData::tParams& params,
                         tMemberPass memberPass = ReduceMembers, tWrite write = tWrite::AsKeys,
                         const ZYNHierarchy::tRunFacts* facts = nullptr);

// One class held between reading and writing, for a member pass over several classes (a nest).
struct tOpenClass {
  explicit tOpenClass(const ZYNData::tParams& params) : ctx(params) {}
  tContext ctx;
  std::unique_ptr<tClassDesc> cls;
  tBefore before;           // the member names as read, for the decisions
  std::int32_t change = 0;  // the bytes the attribute removal saved
  tFileResult result;
};
// Reads the class and removes the attributes the options name.
void OpenClass(tOpenClass& open, std::span<const std::uint8_t> bytes, const ZYNHierarchy::tRunFacts* facts);
// After a member pass that saved memberBytes: the decisions, the final marking, the pool, the bytes.
void CloseClass(tOpenClass& open, std::span<const std::uint8_t> bytes, std::int32_t memberBytes, tWrite write);

}  // namespace ZYNClass
