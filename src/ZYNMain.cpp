#include "ZYNMain.h"

#include <string>
#include <string_view>

#include "FileModule.h"
#include "FormatUtils.h"
#include "Strings.h"
#include "ZYNClass.h"
#include "ZYNData.h"
#include "ZYNError.h"

namespace ZYNMain {

namespace {

using ZYNData::Params;

const std::string_view kDashes = "-------------------------------------------------------";

void PrintLine(std::string_view text) {
  FormatUtils::PrintText(text);
  FormatUtils::PrintLn();
}

std::string TakeWord(Queue::tQueue& queue) {
  std::unique_ptr<Queue::tNodeRec> node = queue.Get();
  auto* word = dynamic_cast<ZYNData::tStringNodeDesc*>(node.get());
  if (word == nullptr) ZYNError::Message("Internal error: the queue holds no text");
  return std::move(word->str);
}

// Applies a key; false when the word is not a key.
bool ApplyKey(std::string_view key) {
  ZYNData::tParams& p = Params;
  if (key == "-tst") p.tst = true;
  else if (key == "-src") p.src = true;
  else if (key == "-lin") p.lin = true;
  else if (key == "-var") p.var = true;
  else if (key == "-noren") p.noren = true;
  else if (key == "-nowarn") p.nowarn = true;
  else if (key == "-depr") p.depr = true;
  else if (key == "-synt") p.synt = true;
  else if (key == "-uattr") p.uattr = true;
  else if (key == "-old") p.old = true;
  else if (key == "-dbg") p.dbg = p.var = p.lin = p.src = true;
  else if (key == "-max") {
    p.max = p.var = p.lin = p.src = p.uattr = p.depr = true;
    p.noren = p.synt = false;
  } else if (key == "-super") {
    p.super = p.var = p.lin = p.src = p.uattr = p.depr = p.synt = true;
    p.noren = false;
  } else {
    return false;
  }
  return true;
}

}  // namespace

void Usage() {
  PrintLine("");
  PrintLine("Usage: ZYN [keys] file(s) [keys]");
  PrintLine("");
  PrintLine("keys: -dbg     -- remove all debug information");
  PrintLine("         -var  -- remove local variables tables");
  PrintLine("         -lin  -- remove line numbers tables");
  PrintLine("         -src  -- remove source file information");
  PrintLine("      -depr    -- remove Deprecated attributes");
  PrintLine("      -synt    -- remove Synthetic attributes");
  PrintLine("      -uattr   -- remove undefined attributes");
  PrintLine("      -max     -- maximal reduction without removal of Synthetic attributes");
  PrintLine("      -super   -- maximal reduction including removal of Synthetic attributes");
  PrintLine("      -noren   -- disable members renaming (reduction decreases)");
  PrintLine("      -nowarn  -- ignore and no print warnings");
  PrintLine("      -old     -- old file(s) keep old name(s)");
  PrintLine("      -tst     -- optimization test without rewriting class file(s)");
  PrintLine("      -help    -- printing this text");
  PrintLine("");
  PrintLine("   To optimize many files use wildcards * and ? in the file(s) parameter");
}

bool ParseParams(Queue::tQueue& words) {
  bool haveFile = false;
  while (words.NotEmpty()) {
    const std::string w = TakeWord(words);
    if (w.empty() || w[0] != '-') {
      if (haveFile) ZYNError::Message("Superfluous file parameter ", "\"", w, "\"");
      if (w.size() > ZYNData::kMaxParamLength) ZYNError::Message("Too long file parameter ", "\"", w, "\"");
      ZYNData::Path.fill('\0');
      w.copy(ZYNData::Path.data(), w.size());
      haveFile = true;
    } else if (w == "-help") {
      Usage();
      return false;
    } else if (!ApplyKey(w)) {
      ZYNError::Message("Unknown parameter ", "\"", w, "\"");
    }
  }
  if (!haveFile) {
    Usage();
    return false;
  }
  return true;
}

int Run(Queue::tQueue& words) {
  FormatUtils::PrintText("Zyncraft");
  PrintLine(" for Windows. Version 1.00");
  if (!ParseParams(words)) return kExitHelp;
  if (Strings::Pos(".", ZYNData::Path, 0) < 0) Strings::Append(".class", ZYNData::Path);
  const std::string path(ZYNData::Path.data());
  FileModule::GetFileList(path, words);
  if (!words.NotEmpty()) ZYNError::Message("File(s) \"", path, "", "\" not found");
  PrintLine("");
  PrintLine("Class file name               Old size  Change  Percent");
  PrintLine(kDashes);
  std::int32_t filesProcessed = 0;
  std::int32_t totalReduction = 0;
  while (words.NotEmpty()) {
    ++filesProcessed;
    const std::string name = TakeWord(words);
    std::int32_t dropped = 0, change = 0;
    ZYNClass::OptimizeFile(name, dropped, change);
    totalReduction += change;
    FormatUtils::PrintLn();
  }
  PrintLine(kDashes);
  FormatUtils::Print("Files processed: ", filesProcessed);
  FormatUtils::Print("Total reduction: ", totalReduction);
  return kExitOk;
}

}  // namespace ZYNMain
