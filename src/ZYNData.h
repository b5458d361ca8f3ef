// Run state shared by the modules: the options, the file parameter, the string node.
#pragma once
#include <array>
#include <string>

#include "Queue.h"

namespace ZYNData {

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
  bool max = false;     // -max was given
  bool super = false;   // -super was given
  bool dbg = false;     // -dbg was given
};

extern tParams Params;

// The file parameter. POSIX paths are long, so the buffer is larger than a Windows name needs; a parameter
// is at most kMaxParamLength characters, so the appended ".class" always fits.
constexpr std::size_t kPathCapacity = 4096;
constexpr std::size_t kMaxParamLength = kPathCapacity - 1 - 6;
extern std::array<char, kPathCapacity> Path;

// A queued text: a command-line word or a file name.
struct tStringNodeDesc : Queue::tNodeRec {
  std::string str;
  explicit tStringNodeDesc(std::string s) : str(std::move(s)) {}
};

// Back to the start-up state (all options FALSE, empty Path); used by tests between runs.
void ResetState();

}  // namespace ZYNData
