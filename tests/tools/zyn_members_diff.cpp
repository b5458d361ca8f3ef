// Optimizes class files twice per key set, once with the product's member pass and once with the round-based
// reference (tests/ReferenceMemberPass), and reports every class whose results differ in anything the table or
// the written file shows. Also counts the comparisons in which the pass changed anything at all, so that a run
// over classes with nothing to remove or rename shows as such.
//
//   zyn_members_diff FILE_OR_DIRECTORY...
//
// Directories are walked for *.class files. Prints one line per difference and a summary line; exits 1 when
// anything differed or could not be read, 2 on a usage error.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "Platform.h"
#include "Queue.h"
#include "ReferenceMemberPass.h"
#include "ZYNClass.h"
#include "ZYNData.h"
#include "ZYNError.h"
#include "ZYNHierarchy.h"

namespace {

using ReferenceMemberPass::Joined;

ZYNData::tParams Keys(const std::vector<std::string>& keys) {
  std::optional<ZYNData::tParams> params = ReferenceMemberPass::ParseKeys(keys);
  if (!params) ZYNError::Message(ZYNError::tKind::kUnknownParameter, Joined(keys));
  return std::move(*params);
}

void CollectFiles(const std::string& arg, std::vector<std::string>& files, bool& ok) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (!fs::is_directory(arg, ec)) {
    files.push_back(arg);
    return;
  }
  std::vector<std::string> found;
  for (fs::recursive_directory_iterator it(arg, ec), end; !ec && it != end; it.increment(ec))
    if (it->is_regular_file(ec) && it->path().extension() == ".class") found.push_back(it->path().string());
  if (ec) {
    std::cout << "cannot walk " << arg << ": " << ec.message() << "\n";
    ok = false;
  }
  std::sort(found.begin(), found.end());
  files.insert(files.end(), found.begin(), found.end());
}

// The differences between two results, one text per field that differs.
std::vector<std::string> Differences(const ZYNClass::tFileResult& product, const ZYNClass::tFileResult& reference) {
  std::vector<std::string> diffs;
  auto field = [&](const char* name, const auto& a, const auto& b) {
    if (a == b) return;
    std::ostringstream s;
    s << name << " " << a << " (reference " << b << ")";
    diffs.push_back(s.str());
  };
  field("error", '"' + product.error.Line() + '"', '"' + reference.error.Line() + '"');
  field("oldSize", product.oldSize, reference.oldSize);
  field("change", product.change, reference.change);
  field("dropped", product.dropped, reference.dropped);
  field("limited", product.limited, reference.limited);
  if (product.bytes != reference.bytes) {
    const auto mismatch =
        std::mismatch(product.bytes.begin(), product.bytes.end(), reference.bytes.begin(), reference.bytes.end());
    std::ostringstream s;
    s << "bytes differ from offset " << (mismatch.first - product.bytes.begin()) << " (sizes " << product.bytes.size()
      << " and reference " << reference.bytes.size() << ")";
    diffs.push_back(s.str());
  }
  return diffs;
}

// No member pass at all: a comparison where the reference's result differs from this one exercised the pass.
void NoMemberPass(ZYNClass::tClassDesc&, const ZYNData::tParams&, std::int32_t& bytes) { bytes = 0; }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cout << "usage: zyn_members_diff FILE_OR_DIRECTORY...\n";
    return 2;
  }
  bool ok = true;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) CollectFiles(argv[i], files, ok);
  // The files are one run: what each class says of the others (names, strings, the evidence of binding by
  // name) reaches both passes alike.
  ZYNHierarchy::tRunFacts facts;
  for (const std::string& name : files)
    if (Platform::FileBuffer buffer; Platform::ReadFile(name, buffer))
      if (ZYNHierarchy::tClassNames names; ZYNHierarchy::ReadNames(buffer.Bytes(), names)) facts.Add(std::move(names));
  facts.Finish();
  std::size_t classes = 0, comparisons = 0, differences = 0, exercised = 0;
  for (const std::string& name : files) {
    Platform::FileBuffer buffer;
    if (!Platform::ReadFile(name, buffer)) {
      std::cout << "cannot read " << name << "\n";
      ok = false;
      continue;
    }
    ++classes;
    const std::span<const std::uint8_t> bytes = buffer.Bytes();
    for (const std::vector<std::string>& keys : ReferenceMemberPass::KeySets()) {
      const ZYNData::tParams params = Keys(keys);
      using ZYNClass::tWrite;
      const ZYNClass::tFileResult product =
          ZYNClass::OptimizeFile(bytes, params, ZYNClass::ReduceMembers, tWrite::AsKeys, &facts);
      const ZYNClass::tFileResult reference =
          ZYNClass::OptimizeFile(bytes, params, ReferenceMemberPass::ReduceMembers, tWrite::AsKeys, &facts);
      ++comparisons;
      const ZYNClass::tFileResult untouched =
          ZYNClass::OptimizeFile(bytes, params, NoMemberPass, tWrite::AsKeys, &facts);
      if (untouched.bytes != reference.bytes || untouched.change != reference.change) ++exercised;
      const std::vector<std::string> diffs = Differences(product, reference);
      if (diffs.empty()) continue;
      ++differences;
      std::cout << "DIFF " << name << " " << Joined(keys) << ":";
      for (std::size_t i = 0; i < diffs.size(); ++i) std::cout << (i == 0 ? " " : "; ") << diffs[i];
      std::cout << "\n";
    }
  }
  std::cout << classes << " classes, " << comparisons << " comparisons (" << exercised
            << " where the pass removed or renamed members), " << differences << " differences\n";
  return ok && differences == 0 && classes > 0 ? 0 : 1;
}
