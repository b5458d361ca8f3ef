// The member pass over a nest. From Java 11 a class and its inner classes form a nest (NestHost, NestMembers)
// and use one another's private members directly, so whether a private member is referred to, and under
// which names, is decided over all the classes of the nest at once.
// Uses: ZYNClass, ZYNClassFile, ZYNConstPool, ZYNData, ZYNError, ZYNHierarchy.
#pragma once
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "ZYNClass.h"

namespace ZYNNest {

// The host a class names: its own name when it lists nest members, the class its NestHost attribute names,
// or an empty text when it is in no nest (or the attributes are not what the JVM reads).
std::string HostOf(const ZYNClass::tClassDesc& cls);

// Whether the classes are a whole nest: one host whose NestMembers lists exactly the other classes, each of
// which names it as its NestHost, every name once, every class of class file version 55 or later.
bool CompleteNest(const std::vector<const ZYNClass::tClassDesc*>& classes);

// What the pass did with the private members of a nest and what it refused them, and why: for a tool that
// weighs the rule. bytes holds what removal and renaming across pools saved (the name entries that went
// included), for a member the pass for one class renamed its old name's bytes, and for a refusal the bytes
// of the names it left.
struct tReport {
  enum Reason {
    kRemoved,         // no reference of the nest reaches it
    kRenamedAcross,   // renamed in every pool of the nest that refers to it
    kOwnPool,         // referred to only from its own pool: renamed by the pass for one class
    kOwnPoolKept,     // referred to only from its own pool: the pass for one class left its name
    kProtected,       // kept as the pass for one class keeps it (serialization, reflection, -keep:, ...)
    kNamedInNest,     // a String constant or an EnclosingMethod of the nest names it
    kNoRename,        // its class is Kotlin's or Scala's
    kNative,          // a native method
    kThroughOther,    // a reference through another class may reach it
    kSharedName,      // a name or NameAndType entry serves something else too
    kNoName,          // no shorter name is free
    kReasons
  };
  std::array<long long, kReasons> members{}, bytes{};
};

// The nests among the classes of a list, as the names pass read them (an entry with no name is no class):
// every nest whose host and each member it lists stand in the list once, and name it back, as the indexes of
// its classes in list order. The other classes are in no group: the pass for one class takes them.
std::vector<std::vector<std::size_t>> Groups(const std::vector<const ZYNHierarchy::tNestNames*>& classes);

// By index of a list of `count`, whether it is a nest's class after the first, whose unit does its work.
std::vector<bool> Later(std::size_t count, const std::vector<std::vector<std::size_t>>& groups);

// The core for the class files of one nest (host and members, in any order): one result per class, in the
// given order, each shaped as OptimizeFile shapes it. When the classes are no complete nest, or one of them
// fails, every class is optimized alone as OptimizeFile does it, the failing one with its error line. A report,
// when asked for, receives what the pass did over a whole nest.
std::vector<ZYNClass::tFileResult> OptimizeNest(const std::vector<std::span<const std::uint8_t>>& classes,
                                                const ZYNHierarchy::tRunFacts* facts, const ZYNData::tParams& params,
                                                ZYNClass::tWrite write = ZYNClass::tWrite::AsKeys,
                                                tReport* report = nullptr);

}  // namespace ZYNNest
