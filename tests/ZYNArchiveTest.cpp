// Archives as a source of class entries: what the names pass inflates serves the archive's turn.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "ZYNArchive.h"
#include "ZYNError.h"
#include "ZipBuilder.h"

namespace {

// A class of this name with an unused text of `unused` characters, which -super removes.
Bytes Class(const std::string& name, std::size_t unused) {
  ClassBuilder b;
  b.This(b.Class(name)).Super(b.Class("java/lang/Object"));
  b.Utf8(std::string(unused, 'u'));
  return b.Build();
}

ZipEntry Entry(std::string name, Bytes content, std::uint16_t method = 8) {
  ZipEntry e;
  e.name = std::move(name);
  e.content = std::move(content);
  e.method = method;
  return e;
}

struct tTurn {
  std::uint64_t keptByNames = 0, keptInTurn = 0, keptAfter = 0;  // of the run's held input
  Bytes written;
  std::string error;
};

// The names pass over `named` as `keptFor`, then the turn of `processed` as a.jar, as zyn -super takes them.
tTurn Turn(const Bytes& named, const Bytes& processed, const std::string& keptFor = "a.jar") {
  tTurn t;
  ZYNArchive::tMemory memory;
  std::vector<ZYNHierarchy::tClassNames> classes;
  ZYNArchive::ReadNames(keptFor, named, 2, memory, classes);
  t.keptByNames = memory.held.Used();
  ZYNHierarchy::tRunFacts facts;
  for (ZYNHierarchy::tClassNames& c : classes) facts.Add(std::move(c));
  facts.Finish();
  ZYNData::tParams params;
  params.var = params.lin = params.src = params.uattr = params.depr = params.synt = true;
  Captured([&] {
    try {
      ZYNArchive::tJob job(processed, "a.jar", facts, memory);
      t.keptInTurn = memory.held.Used();
      ZYNReport::tReport report;
      if (job.Keep().empty())
        job.Write(2, params, report, [&](ZYNZip::tBytes part) { t.written.insert(t.written.end(), part.begin(), part.end()); });
    } catch (const ZYNError::Fatal& error) {
      t.error = error.Line();
    }
  });
  t.keptAfter = memory.held.Used();
  return t;
}

// The turn takes the bytes of each class entry it optimizes and gives back the others at once: an archive
// left as it is, a repeated entry, one that the turn refuses. An entry whose data changed since is inflated
// again. Whatever was kept, the archive comes out as without the names pass's bytes, and every byte goes back.
TEST(ArchiveTest, TheNamesPassKeepsClassEntriesForTheArchivesTurn) {
  const Bytes a = Class("A", 30), b = Class("p/B", 40), changed = Class("Q", 30);
  ZipSpec inner;
  inner.entries = {Entry("p/B.class", b)};
  auto jar = [&](const Bytes& first, std::uint16_t innerMethod = 0) {
    ZipSpec s;
    s.entries = {Entry("A.class", first), Entry("lib/in.jar", BuildZip(inner), innerMethod), Entry("t.txt", Bytes(9, 't'))};
    return s;
  };
  ZipSpec damaged = jar(a), twice, same;
  damaged.entries[1].declaredCrc = 1;  // the names pass reads a stored archive as it lies
  twice.entries = {Entry("A.class", a), Entry("A.class", b)};
  same.entries = {Entry("A.class", a), Entry("A.class", a)};
  const std::uint64_t both = a.size() + b.size();
  const struct {
    const char* what;
    Bytes named, processed;
    std::uint64_t keptByNames, keptInTurn;
    std::string error;
  } cases[] = {
      {"stored nested jar", BuildZip(jar(a)), BuildZip(jar(a)), both, both, ""},
      {"deflated nested jar", BuildZip(jar(a, 8)), BuildZip(jar(a, 8)), both, both, ""},
      {"changed since", BuildZip(jar(a)), BuildZip(jar(changed)), both, both, ""},
      {"left as it is", BuildZip(twice), BuildZip(twice), both, 0, ""},
      {"repeated", BuildZip(same), BuildZip(same), 2 * a.size(), a.size(), ""},
      {"refused", BuildZip(damaged), BuildZip(damaged), both, 0,
       "ERROR: Archive \"a.jar\" is damaged: the CRC of \"lib/in.jar\" does not match"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const tTurn t = Turn(c.named, c.processed), alone = Turn(c.named, c.processed, "other.jar");
    EXPECT_EQ(t.keptByNames, c.keptByNames);
    EXPECT_EQ(t.keptInTurn, c.keptInTurn);
    EXPECT_EQ(t.keptAfter, 0u);
    EXPECT_EQ(t.error, c.error);
    EXPECT_EQ(t.written, alone.written);
    EXPECT_EQ(t.written.empty(), c.keptInTurn == 0);
  }
}

}  // namespace
