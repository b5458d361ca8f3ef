// Archives as a source of class entries: what the names pass inflates serves the archive's turn.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "ZYNArchive.h"
#include "ZYNError.h"
#include "ZipBuilder.h"

namespace {

// A class of this name with an unused text, which zyn removes.
Bytes Class(const std::string& name, std::size_t unused) {
  ClassBuilder b;
  b.This(b.Class(name)).Super(b.Class("java/lang/Object"));
  b.Utf8(std::string(unused, 'u'));
  return b.Build();
}

Bytes Zip(std::vector<ZipEntry> entries) {
  ZipSpec s;
  s.entries = std::move(entries);
  return BuildZip(s);
}

struct tTurn {
  std::uint64_t keptByNames = 0, keptInTurn = 0, keptAfter = 0;  // of the run's held input
  Bytes written;
  std::string error;
};

// The names pass over `named` as `keptFor`, then the turn of `processed` as a.jar, as zyn takes them.
tTurn Turn(const Bytes& named, const Bytes& processed, const std::string& keptFor = "a.jar") {
  tTurn t;
  ZYNArchive::tMemory memory;
  std::vector<ZYNHierarchy::tClassFacts> classes;
  ZYNArchive::ReadNames(keptFor, named, 2, memory, [&](ZYNHierarchy::tClassFacts&& c) { classes.push_back(std::move(c)); });
  t.keptByNames = memory.held.Used();
  ZYNHierarchy::tRunFacts facts;
  for (ZYNHierarchy::tClassFacts& c : classes) facts.Add(std::move(c));
  facts.Finish();
  Captured([&] {
    try {
      ZYNArchive::tJob job(processed, "a.jar", facts, memory);
      t.keptInTurn = memory.held.Used();
      ZYNReport::tReport report;
      if (job.Keep().empty())
        job.Write(2, {}, report, [&](ZYNZip::tBytes part) { t.written.insert(t.written.end(), part.begin(), part.end()); });
    } catch (const ZYNError::Fatal& error) {
      t.error = error.Line();
    }
  });
  t.keptAfter = memory.held.Used();
  return t;
}

// The turn takes the bytes of each class entry it optimizes and gives back the others at once: an archive
// left as it is, a repeated entry, one that the turn refuses. An entry whose data changed since is inflated
// again. The archive comes out as without the names pass's bytes, and every byte goes back.
TEST(ArchiveTest, TheNamesPassKeepsClassEntriesForTheArchivesTurn) {
  const Bytes a = Class("A", 30), b = Class("p/B", 40);
  auto jar = [&](const Bytes& first, std::uint16_t innerMethod, std::optional<std::uint32_t> innerCrc = {}) {
    std::vector<ZipEntry> e = {MakeEntry("A.class", first), MakeEntry("lib/in.jar", Zip({MakeEntry("p/B.class", b)}), innerMethod),
                               MakeEntry("t.txt", Bytes(9, 't'))};
    e[1].declaredCrc = innerCrc;
    return Zip(e);
  };
  const Bytes twice = Zip({MakeEntry("A.class", a), MakeEntry("A.class", b)}), same = Zip({MakeEntry("A.class", a), MakeEntry("A.class", a)});
  const std::uint64_t both = a.size() + b.size();
  const struct {
    const char* what;
    Bytes named, processed;
    std::uint64_t keptByNames, keptInTurn;
    std::string error;
  } cases[] = {
      {"stored nested jar", jar(a, 0), jar(a, 0), both, both, ""},
      {"deflated nested jar", jar(a, 8), jar(a, 8), both, both, ""},
      {"changed since", jar(a, 0), jar(Class("Q", 30), 0), both, both, ""},
      {"left as it is", twice, twice, both, 0, ""},
      {"repeated", same, same, 2 * a.size(), a.size(), ""},
      // The names pass reads a stored archive as it lies.
      {"refused", jar(a, 0, 1), jar(a, 0, 1), both, 0,
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
