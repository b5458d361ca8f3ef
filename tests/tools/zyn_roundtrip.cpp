// Reads a class file, marks it (every entry, or what the class uses), renumbers the pool and writes it.
// Used by the JVM tests to check that reading and writing keep a class file whole.
#include <cstring>
#include <fstream>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "FileModule.h"
#include "FormatUtils.h"
#include "Platform.h"
#include "ZYNClass.h"
#include "ZYNConstPool.h"
#include "ZYNData.h"
#include "ZYNError.h"
#include "ZYNReport.h"

int main(int argc, char** argv) {
  if (argc != 4 || (std::strcmp(argv[1], "markall") != 0 && std::strcmp(argv[1], "markclass") != 0)) {
    std::cout << "usage: zyn_roundtrip markall|markclass IN OUT\n";
    return 2;
  }
  const bool markAll = std::strcmp(argv[1], "markall") == 0;
  const std::string inName = argv[2], outName = argv[3];
  ZYNData::tParams params;
  params.nowarn = true;  // unknown attributes are expected here and kept as they are
  try {
    Platform::FileBuffer bytes;
    if (!Platform::ReadFile(inName, bytes)) ZYNError::Message(ZYNError::tKind::kNotOpen, inName);
    ZYNClass::tContext ctx(params);
    FileModule::Reset(ctx.in, bytes.Bytes());
    auto cls = ZYNClass::ReadClass(ctx);
    ZYNConstPool::UnMark(cls->marking);
    if (markAll)
      ZYNConstPool::MarkAll(cls->marking);
    else
      ZYNClass::MarkClass(*cls);
    std::int32_t dropped = 0, saved = 0;
    ZYNConstPool::RenumUnUsed(cls->marking, dropped, saved);
    ZYNClass::WriteClass(ctx.out, *cls);
    std::ofstream out(outName, std::ios::binary);
    out.write(reinterpret_cast<const char*>(ctx.out.bytes.data()), static_cast<std::streamsize>(ctx.out.bytes.size()));
    if (!out.flush()) ZYNError::Message(ZYNError::tKind::kNotWritten, outName, "the stream failed");
  } catch (const ZYNError::Fatal& error) {
    ZYNReport::Error(error.Line());
    return 1;
  } catch (const std::bad_alloc&) {
    ZYNReport::NoMemory();
    return 1;
  }
  FormatUtils::Flush();
  return 0;
}
