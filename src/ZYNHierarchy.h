// What a class inherits, as far as the run can know it: the names of every class of the run (superclass,
// interfaces, non-private members), read before any class is optimized, and the Serializable classes of the
// JDK. The member pass asks it which names and descriptors a supertype may declare, and whether the class
// is (or may be) serializable.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <map>
#include <unordered_set>
#include <vector>

namespace ZYNHierarchy {

// The names of one class file that its subclasses see.
struct tClassNames {
  std::string name;
  std::string super;  // empty for java/lang/Object (and a malformed super index)
  std::vector<std::string> interfaces;
  std::vector<std::string> members;  // non-private members as MemberKey gives them (sorted by the run)
};

// A member's key: its kind ('F' field, 'M' method), descriptor and name.
std::string MemberKey(char kind, std::string_view descriptor, std::string_view name);

// Reads the names of a class file; false (and nothing learned) when the bytes are not a class file this
// reader can follow. Never reads beyond the bytes.
bool ReadNames(std::span<const std::uint8_t> bytes, tClassNames& names);

// The classes of a run: the first class of a name, in list order, stands for it.
class tRunFacts {
public:
  void Add(tClassNames names);
  const tClassNames* Find(std::string_view name) const;
  std::size_t Size() const { return classes_.size(); }

private:
  std::map<std::string, tClassNames, std::less<>> classes_;
};

// What one class inherits.
struct tInherited {
  // The sorted member keys of each supertype that declares members non-private (java/lang/Object's too).
  std::vector<const std::vector<std::string>*> members;
  bool unknownSupertype = false;  // a supertype other than java/lang/Object is not a class of the run
  bool serializable = false;      // a supertype is Serializable (the run's classes or the JDK's table)
  bool maybeSerializable = false;  // a supertype is unknown and outside the JDK

  // Whether a supertype may declare the member of this key non-private.
  bool Declares(std::string_view key) const;
};

// Follows the superclass and interfaces up through the run's classes (facts may be null: no class is
// known). java/lang/Object's methods are always inherited.
tInherited Inherit(const tRunFacts* facts, std::string_view super, const std::vector<std::string_view>& interfaces);

// Whether the JDK's table lists the class as Serializable and open to subclasses.
bool JdkSerializable(std::string_view name);

}  // namespace ZYNHierarchy
