// The member pass as rounds of whole-class marking and pool scans: the plain statement of what the product's
// linear pass must produce, kept for differential tests. What is protected comes from the product's Protect
// and CheckClass; this file only restates the removal rounds and the renaming scans.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ZYNClass.h"
#include "ZYNData.h"

namespace ReferenceMemberPass {

// Drop-in for ZYNClass::ReduceMembers (a ZYNClass::tMemberPass).
void ReduceMembers(ZYNClass::tClassDesc& cls, const ZYNData::tParams& params, std::int32_t& bytes);
void RemoveUnusedPrivate(ZYNClass::tClassDesc& cls, const ZYNData::tParams& params, std::int32_t& bytes);
void RenameMembers(ZYNClass::tClassDesc& cls, const ZYNData::tParams& params, std::int32_t& bytes);

// The key sets both passes are compared under, parsed by the product's own command-line parser: the options
// that the command line `keys x.class` gives; nothing when the keys are not accepted.
std::vector<std::vector<std::string>> KeySets();
std::optional<ZYNData::tParams> ParseKeys(const std::vector<std::string>& keys);
// The keys as one text, "[-max -nowarn]".
std::string Joined(const std::vector<std::string>& keys);

}  // namespace ReferenceMemberPass
