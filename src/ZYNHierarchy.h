// What a class inherits, as far as the run can know it: the names of every class of the run (superclass,
// interfaces, non-private members), read before any class is optimized, and the Serializable classes of the
// JDK. The member pass asks it which names and descriptors a supertype may declare, and whether the class
// is (or may be) serializable. It also holds what reaches a private member from outside its class: names
// that other classes spell as String constants or that the run's resource files hold, and the methods that
// inner classes name as their enclosing method, and whether code may bind the run's fields by their names.
// Uses: FileModule, ZYNAttr, ZYNClassFile, ZYNCode, ZYNConstPool, ZYNRules.
#pragma once
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "ZYNAttr.h"
#include "ZYNRules.h"

namespace ZYNHierarchy {

// The names of one class file that its subclasses see.
struct tClassNames {
  std::string name;
  std::string super;  // empty for java/lang/Object (and a malformed super index)
  std::vector<std::string> interfaces;
  std::vector<std::string> members;  // non-private members as MemberKey gives them (sorted by the run)
  std::vector<std::string> privates;  // the names of the private members
  std::vector<std::string> strings;   // String constants that could name a member (reflection, method handles)
  std::string enclosing;  // EnclosingMethodKey of the method its EnclosingMethod attribute names, or empty
  std::string nestHost;                  // the class its NestHost attribute names, or empty
  std::vector<std::string> nestMembers;  // the classes its NestMembers attribute lists
  std::vector<std::string> outside;  // the classes it names outside the JDK's packages but its own, each once
  bool reflectsFields = false;  // lists fields by reflection, or looks one up by a name that is no constant
  bool bindsPackage = false;    // a package-info whose annotation declares how its package's fields bind
  // Where it lists methods by reflection: itself and the classes its code loads as constants or makes objects of.
  std::vector<std::string> methodsListed;
};

// What a class file says of its nest, for grouping the run's nests: the class's name, the class its NestHost
// attribute names (or empty) and the classes its NestMembers attribute lists.
struct tNestNames {
  std::string name, host;
  std::vector<std::string> members;
};
// Takes a class's nest names out of its names.
tNestNames TakeNestNames(tClassNames& names);

// A member's key: its kind ('F' field, 'M' method), descriptor and name.
std::string MemberKey(char kind, std::string_view descriptor, std::string_view name);

// The key of a method as an EnclosingMethod attribute names it: the class, then MemberKey.
std::string EnclosingMethodKey(std::string_view owner, std::string_view descriptor, std::string_view name);

// Reads the names of a class file; false (and nothing learned) when the bytes are not a class file this
// reader can follow. Never reads beyond the bytes.
bool ReadNames(std::span<const std::uint8_t> bytes, tClassNames& names);

// A hash of a short text a word at a time, which may be asked with a string_view without making a string of it:
// names and member keys are looked up for every reference of every pool, and the library's byte-wise hash was
// the larger part of that. Only lookups depend on it, never an order.
struct tTextHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view text) const noexcept {
    constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15u;
    std::uint64_t h = text.size() * kMultiplier;
    std::size_t at = 0;
    for (; at + 8 <= text.size(); at += 8) {
      std::uint64_t word = 0;
      std::memcpy(&word, text.data() + at, 8);
      h = (h ^ word) * kMultiplier;
      h ^= h >> 29;
    }
    std::uint64_t tail = 0;
    for (std::size_t shift = 0; at < text.size(); ++at, shift += 8)
      tail |= std::uint64_t{static_cast<unsigned char>(text[at])} << shift;
    h = (h ^ tail) * kMultiplier;
    return static_cast<std::size_t>(h ^ (h >> 32));
  }
};
using tTextSet = std::unordered_set<std::string, tTextHash, std::equal_to<>>;

// What the run keeps of a class: the names its subclasses see.
struct tKnownClass {
  std::string_view super;
  std::vector<std::string_view> interfaces;
  std::vector<std::string_view> members;  // sorted, each once
};

// A class's names as the run's facts keep them, with its texts in a block of its own: made on the thread
// that read the class, so that the thread that adds it to the facts neither copies nor frees a text.
class tClassFacts {
public:
  explicit tClassFacts(tClassNames names);

private:
  friend class tRunFacts;
  std::unique_ptr<char[]> texts_;
  std::unique_ptr<char[]> stringTexts_;  // the strings', which the facts need until Finish
  std::string_view name_;
  tKnownClass known_;
  std::vector<std::string_view> privates_;
  std::vector<std::string_view> strings_;
  std::vector<std::string_view> outside_;  // in stringTexts_
  std::vector<std::string> methodsListed_;
  std::string enclosing_;
  bool reflectsFields_ = false, bindsPackage_ = false;
};

// The classes of a run: the first class of a name, in list order, stands for it.
class tRunFacts {
public:
  void Add(tClassFacts names);
  void Add(tClassNames names) { Add(tClassFacts(std::move(names))); }
  const tKnownClass* Find(std::string_view name) const;

  // Once every class is added: only the strings that name a private member of the run are kept.
  void Finish();
  // Adds the words of a resource file that name a private member of the run; nothing when the bytes are not
  // UTF-8 text. `origin` names the file (an archive's entry: "app.jar!conf.xml"). Call after Finish.
  void AddWords(std::span<const std::uint8_t> text, std::string_view origin = {});
  // A resource file of the run: the keep rules a library ships for shrinkers are read as rules (as if given,
  // naming the file), any other file for its words.
  void AddResource(std::span<const std::uint8_t> text, const std::string& origin);
  // What outside a class may reach a private member of this name by it: the first class (internal name) whose
  // String constant spells it, else the first resource file that holds it as a word; null for nothing.
  struct tNamedBy {
    std::string_view where;
    bool resource = false;
  };
  const tNamedBy* NamedOutside(std::string_view name) const;
  // Whether an inner class of the run names this method as its enclosing method.
  bool Encloses(std::string_view owner, std::string_view descriptor, std::string_view name) const;
  // Whether code may bind the run's fields by their names (known after Finish): a class of the run names a
  // class that neither the run nor the JDK holds, whose code the run cannot see, or a class of the run reflects
  // over fields. The evidence: the first class outside the run in list order, else the first that reflects.
  bool FieldsBound() const { return !FieldBinder().empty(); }
  std::string_view FieldBinder() const { return unseen_.empty() ? reflector_ : unseen_; }
  // Whether a class of the run that lists methods by reflection names the class (or is it).
  bool MethodsListed(std::string_view name) const { return methodsListed_.contains(name); }
  // Whether the package's package-info declares how its classes bind their fields.
  bool PackageBinds(std::string_view package) const { return boundPackages_.contains(package); }
  // Every ancestor of the class that the run knows of, nearest first, each once (the JDK's beyond the first).
  std::vector<std::string_view> Supertypes(std::string_view name) const;
  // Calls f for every class of the run, in no particular order.
  void ForEachClass(const std::function<void(std::string_view, const tKnownClass&)>& f) const {
    for (const auto& [name, known] : classes_) f(name, known);
  }

  // The run's keep rules: its -rules: files and the rules its archives ship, prepared against its classes.
  ZYNRules::tRuleSet rules;

private:
  std::vector<std::unique_ptr<char[]>> texts_;  // the classes' texts, which the views below name
  std::unordered_map<std::string_view, tKnownClass> classes_;
  std::unordered_set<std::string_view> privates_;     // private member names of every class
  std::vector<std::unique_ptr<char[]>> stringTexts_;  // the strings', until Finish
  std::vector<std::string_view> strings_;             // String constants of every class, until Finish
  std::vector<std::string_view> stringOwners_;        // the class of each of strings_, until Finish
  std::unordered_map<std::string_view, tNamedBy> named_;  // names reached from outside their class
  std::vector<std::unique_ptr<std::string>> origins_;     // the resource files' names that named_ gives
  tTextSet enclosingOwners_;  // classes with a method that an inner class names as its enclosing one
  tTextSet enclosing_;
  std::vector<std::string_view> outside_;  // what the classes name outside the JDK, until Finish
  std::string unseen_, reflector_;
  tTextSet boundPackages_;
  tTextSet methodsListed_;
};

// What the annotations of one attribute say to the member pass, from the slots that the attribute's layout
// found in its body: calls `word` for every identifier-like word (and a hyphenated one's camel-case form) of
// their String element values, but of Scala's pickled signatures, which are no text, and `type` (if given) for
// each annotation's type; returns whether one may declare binding (any but the JDK's and compilers' markers).
bool ReadAnnotations(std::span<const std::uint8_t> body, std::span<const ZYNAttr::IndexSlot> slots,
                     const std::function<std::string_view(std::int32_t)>& text,
                     const std::function<void(std::string_view)>& word,
                     const std::function<void(std::string_view)>& type = {});

// Whether the class (an internal name) is in one of the packages of the JDK's modules.
bool JdkPackage(std::string_view className);

// Resource files of at most this size are read for words.
constexpr std::size_t kMaxResourceText = 16u << 20;

// What one class inherits.
struct tInherited {
  // The sorted member keys of each supertype that declares members non-private (java/lang/Object's too).
  std::vector<const std::vector<std::string_view>*> members;
  bool unknownSupertype = false;  // a supertype other than java/lang/Object is not a class of the run
  bool serializable = false;      // a supertype is Serializable (the run's classes or the JDK's table)
  bool maybeSerializable = false;  // a supertype is unknown and outside the JDK
  bool bindsFields = false;  // a supertype of the JDK records its subclasses' fields by name (a JFR event)

  // Whether a supertype may declare the member of this key non-private.
  bool Declares(std::string_view key) const;
};

// Follows the superclass and interfaces up through the run's classes (facts may be null: no class is
// known). java/lang/Object's methods are always inherited.
tInherited Inherit(const tRunFacts* facts, std::string_view super, const std::vector<std::string_view>& interfaces);

}  // namespace ZYNHierarchy
