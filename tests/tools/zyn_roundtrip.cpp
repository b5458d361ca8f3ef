// Reads a class file, marks it (every entry, or what the class uses), renumbers the pool and writes it.
// Used by the JVM tests to check that reading and writing keep a class file whole.
#include <cstring>
#include <iostream>
#include <string>

#include "FileModule.h"
#include "FormatUtils.h"
#include "ZYNClass.h"
#include "ZYNConstPool.h"
#include "ZYNData.h"
#include "ZYNError.h"

int main(int argc, char** argv) {
  if (argc != 4 || (std::strcmp(argv[1], "markall") != 0 && std::strcmp(argv[1], "markclass") != 0)) {
    std::cout << "usage: zyn_roundtrip markall|markclass IN OUT\n";
    return 2;
  }
  const bool markAll = std::strcmp(argv[1], "markall") == 0;
  ZYNData::Params.nowarn = true;  // unknown attributes are expected here and kept as they are
  try {
    FileModule::Reset(argv[2]);
    if (!FileModule::Done) ZYNError::Message("File \"", argv[2], "\" not open");
    auto cls = ZYNClass::ReadClass();
    FileModule::CloseIn();
    ZYNConstPool::UnMark(*cls->cp);
    if (markAll)
      ZYNConstPool::MarkAll(*cls->cp);
    else
      ZYNClass::MarkClass(*cls);
    std::int32_t dropped = 0, bytes = 0;
    ZYNConstPool::RenumUnUsed(*cls->cp, dropped, bytes);
    ZYNClass::WriteClass(argv[3], *cls);
    if (!FileModule::Done) ZYNError::Message("File \"", argv[3], "\" not written");
  } catch (const ZYNError::Fatal&) {
    FormatUtils::Flush();
    return 1;
  }
  return 0;
}
