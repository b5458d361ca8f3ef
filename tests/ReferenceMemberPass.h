// The member pass as rounds of whole-class marking and pool scans: the plain statement of what the product's
// linear pass must produce, kept for differential tests. What is protected comes from the product's Protect
// and CheckClass; this file only restates the removal rounds and the renaming scans.
#pragma once
#include <cstdint>

#include "ZYNClass.h"

namespace ReferenceMemberPass {

// Drop-in for ZYNClass::ReduceMembers (a ZYNClass::tMemberPass).
void ReduceMembers(ZYNClass::tClassDesc& cls, std::int32_t& bytes);
void RemoveUnusedPrivate(ZYNClass::tClassDesc& cls, std::int32_t& bytes);
void RenameMembers(ZYNClass::tClassDesc& cls, std::int32_t& bytes);

}  // namespace ReferenceMemberPass
