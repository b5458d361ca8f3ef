// The options of a run, as the command line gives them, and the string node.
// Uses: Queue.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "Queue.h"

namespace ZYNData {

// A -keep: pattern: a class name in internal form, where "*" stands for any part of one package or class
// name and "**" for any run of packages, and a member name where "*" stands for any run of characters
// (empty: every private member of the class).
struct tKeepPattern {
  std::string type;
  std::string member;
  std::string text;  // as the key gave it
};

struct tParams {
  bool tst = false;     // test run: nothing is renamed or written
  bool src = false;     // remove SourceFile (and SourceDebugExtension)
  bool lin = false;     // remove LineNumberTable
  bool var = false;     // remove LocalVariableTable (and LocalVariableTypeTable)
  bool noren = false;   // do not rename members
  bool nowarn = false;  // warnings neither printed nor counted
  bool depr = false;    // remove Deprecated
  bool synt = false;    // remove Synthetic
  bool uattr = false;   // remove unknown attributes; warnings then do not limit the pool pass
  bool old = false;     // keep the file, write the result under the backup name
  bool pack = false;    // order each pool for the compressor, deflate rewritten archive entries hardest
  std::vector<tKeepPattern> keep;  // private members kept as they are, whatever the pass finds
  std::string map;                 // the file that receives the mapping of renamed members, or empty
  std::string usage;               // the file that receives the list of removed members, or empty
  std::vector<tKeepPattern> why;   // the private members whose fate the run prints after the totals
  std::string report;              // the file that receives the run as JSON, or empty
  std::vector<std::string> rules;  // the keep rules files, in order
  std::string file;                // the file parameter as given
  std::vector<std::string> keys;   // the keys as given, in order (for a report of the run)
};

// The pattern of a -keep: key's text (binary or internal form, optionally "#member"); false when it is empty
// or holds what a class or member name cannot.
bool ParseKeep(std::string_view text, tKeepPattern& pattern);
// Whether a pattern's class part matches a class name in internal form.
bool KeepsClass(const tKeepPattern& pattern, std::string_view type);
// Whether the pattern keeps a member of a class it matches.
bool KeepsMember(const tKeepPattern& pattern, std::string_view member);

// The longest file parameter: with ".class" appended it still fits a path of 4095 characters.
constexpr std::size_t kMaxParamLength = 4095 - 6;

// A queued text: a command-line word or a file name.
struct tStringNodeDesc : Queue::tNodeRec {
  std::string str;
  explicit tStringNodeDesc(std::string s) : str(std::move(s)) {}
};

}  // namespace ZYNData
