// The zip container: what real writers vary reads and writes back byte for byte; a replaced entry changes
// only its CRC, sizes and offsets; a damaged archive is an error that names what is wrong, and no declared
// size sizes an allocation.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "TestSupport.h"
#include "ZYNError.h"
#include "ZYNZip.h"
#include "ZipBuilder.h"

namespace {

using ZYNZip::tArchive;
using namespace ZYNZip::Layout;

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

ZipEntry Entry(std::string name, Bytes content = {}, std::uint16_t method = 8,
               const std::function<void(ZipEntry&)>& more = {}) {
  ZipEntry e;
  e.name = std::move(name);
  e.content = std::move(content);
  e.method = method;
  if (more) more(e);
  return e;
}

ZipSpec Spec(std::vector<ZipEntry> entries) {
  ZipSpec s;
  s.entries = std::move(entries);
  return s;
}

std::size_t U2At(const Bytes& b, std::size_t at) { return b[at] | b[at + 1] << 8; }
std::uint64_t U8At(const Bytes& b, std::size_t at) {
  std::uint64_t v = 0;
  for (std::size_t i = 8; i-- > 0;) v = v << 8 | b[at + i];
  return v;
}

// The extra field with the values of its Zip64 block blanked: they change with the entry's sizes.
Bytes WithoutZip64Values(Bytes extra) {
  for (std::size_t at = 0; at + Extra::kHead <= extra.size();) {
    const std::size_t data = at + Extra::kHead, length = U2At(extra, at + Extra::kLength);
    if (U2At(extra, at + Extra::kTag) == Extra::kZip64Tag)
      for (std::size_t i = data; i < data + length && i < extra.size(); ++i) extra[i] = 0;
    at = data + length;
  }
  return extra;
}

// Content that deflates well but not to nothing.
Bytes Content(int seed, std::size_t n) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>("abcabcde"[(i * (seed + 3)) % 8] + i % 7);
  return b;
}

std::vector<ZipEntry> ThreeEntries() {
  return {Entry("META-INF/MANIFEST.MF", Text("Manifest-Version: 1.0\r\n\r\n")), Entry("a/A.class", Content(1, 700)),
          Entry("b/B.class", Content(2, 300), 0)};
}

// The shapes of archives that real writers make.
struct Shape {
  std::string what;
  std::function<ZipSpec()> spec;
};

std::vector<Shape> Shapes() {
  std::vector<Shape> shapes;
  shapes.push_back({"plain", [] { return Spec(ThreeEntries()); }});
  shapes.push_back({"descriptors with signature", [] {
                      ZipSpec s = Spec(ThreeEntries());
                      for (ZipEntry& e : s.entries) e.descriptor = true;
                      return s;
                    }});
  shapes.push_back({"descriptors without signature", [] {
                      ZipSpec s = Spec(ThreeEntries());
                      for (ZipEntry& e : s.entries) e.descriptor = true, e.descriptorSignature = false;
                      return s;
                    }});
  shapes.push_back({"Zip64 fields and end records", [] {
                      ZipSpec s = Spec(ThreeEntries());
                      s.zip64End = true;
                      for (ZipEntry& e : s.entries) e.zip64 = true;
                      s.entries[1].descriptor = true;
                      s.entries[2].zip64Disk = true;  // its disk number in the Zip64 field: 4 bytes
                      return s;
                    }});
  shapes.push_back({"launch script, offsets from its end", [] {
                      ZipSpec s = Spec(ThreeEntries());
                      s.prefix = Text("#!/bin/sh\nexec java -jar \"$0\" \"$@\"\n");
                      s.comment = "built by hand";
                      return s;
                    }});
  shapes.push_back({"launch script, offsets from the file start, Zip64 end", [] {
                      ZipSpec s = Spec(ThreeEntries());
                      s.prefix = Text("#!/bin/sh\nexit 0\n");
                      s.offsetsFromFileStart = s.zip64End = true;
                      return s;
                    }});
  shapes.push_back({"extras, comments, gaps", [] {
                      ZipSpec s = Spec(ThreeEntries());
                      s.comment = "archive comment";
                      for (ZipEntry& e : s.entries) {
                        e.localExtra = {0xFE, 0xCA, 0, 0};  // jar's marker
                        e.centralExtra = {0x55, 0x54, 5, 0, 1, 2, 3, 4, 5};
                        e.comment = "about " + e.name;
                        e.gapAfter = {0, 0, 0};
                      }
                      return s;
                    }});
  shapes.push_back({"no entries", [] {
                      ZipSpec s;
                      s.comment = "empty";
                      return s;
                    }});
  return shapes;
}

const ZYNZip::tProvide kKeepAll = [](std::size_t) { return nullptr; };

Bytes Rewrite(const tArchive& a, const ZYNZip::tProvide& provide, std::vector<ZYNZip::tWritten>* values = nullptr) {
  Bytes out;
  auto v = ZYNZip::Write(a, provide, [&](ZYNZip::tBytes part) { out.insert(out.end(), part.begin(), part.end()); });
  if (values != nullptr) *values = std::move(v);
  return out;
}

std::string ReadError(const Bytes& bytes) {
  try {
    ZYNZip::Read(bytes, "t.jar");
  } catch (const ZYNError::Fatal& error) {
    return error.Line();
  }
  return "(read)";
}

Bytes Raw(const Bytes& bytes, std::size_t from, std::size_t to) {
  return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.begin() + static_cast<std::ptrdiff_t>(to));
}

// A directory record's name, extra field (Zip64 values blanked) and comment.
std::vector<Bytes> CentralParts(const Bytes& b, const ZYNZip::tEntry& e) {
  const std::size_t name = e.central + Central::kFixed, extra = name + U2At(b, e.central + Central::kNameLength),
                    comment = extra + U2At(b, e.central + Central::kExtraLength);
  return {Raw(b, name, extra), WithoutZip64Values(Raw(b, extra, comment)), Raw(b, comment, e.centralEnd)};
}

// A local header's name and extra field (Zip64 values blanked).
std::vector<Bytes> LocalParts(const Bytes& b, const ZYNZip::tEntry& e) {
  const std::size_t name = e.local + Local::kFixed, extra = name + U2At(b, e.local + Local::kNameLength);
  return {Raw(b, name, extra), WithoutZip64Values(Raw(b, extra, e.data))};
}

TEST(ZipTest, EveryShapeReadsAndWritesBackByteForByte) {
  for (const Shape& shape : Shapes()) {
    SCOPED_TRACE(shape.what);
    const Bytes bytes = BuildZip(shape.spec());
    ASSERT_TRUE(ZYNZip::IsArchive(bytes));
    const tArchive a = ZYNZip::Read(bytes, "t.jar");
    ASSERT_EQ(a.entries.size(), shape.spec().entries.size());
    for (std::size_t i = 0; i < a.entries.size(); ++i) {
      EXPECT_EQ(a.entries[i].name, shape.spec().entries[i].name);
      Bytes content;
      ZYNZip::Inflate(a, a.entries[i], "t.jar", ZYNZip::kMaxClassEntry, content);
      EXPECT_EQ(content, shape.spec().entries[i].content);
    }
    std::vector<ZYNZip::tWritten> values;
    EXPECT_EQ(Rewrite(a, kKeepAll, &values), bytes);
    EXPECT_EQ(ZYNZip::Verify(bytes, a, values), "");
  }
}

TEST(ZipTest, AReplacedEntryChangesOnlyItsCrcSizesAndTheOffsetsAfterIt) {
  for (const Shape& shape : Shapes()) {
    SCOPED_TRACE(shape.what);
    const ZipSpec spec = shape.spec();
    if (spec.entries.empty()) continue;
    const Bytes bytes = BuildZip(spec);
    const tArchive a = ZYNZip::Read(bytes, "t.jar");
    for (std::size_t replaced = 0; replaced < a.entries.size(); ++replaced) {
      const Bytes newContent = Content(9, 120 + replaced);
      const ZYNZip::tReplacement r = ZYNZip::Compress(newContent, a.entries[replaced].method);
      std::vector<ZYNZip::tWritten> values;
      const Bytes out = Rewrite(a, [&](std::size_t i) { return i == replaced ? &r : nullptr; }, &values);
      ASSERT_EQ(ZYNZip::Verify(out, a, values), "");
      const tArchive b = ZYNZip::Read(out, "t.jar");
      ASSERT_EQ(b.entries.size(), a.entries.size());
      EXPECT_EQ(Raw(out, 0, spec.prefix.size()), spec.prefix);
      EXPECT_EQ(Raw(out, b.end + End::kFixed, out.size()), Text(spec.comment));
      // Readers that trust the locator find the Zip64 end record where it now stands.
      if (b.zip64Locator != tArchive::kNone) {
        EXPECT_EQ(U8At(out, b.zip64Locator + Zip64Locator::kOffset) + static_cast<std::uint64_t>(b.base), b.zip64End);
      }
      for (std::size_t i = 0; i < a.entries.size(); ++i) {
        const ZYNZip::tEntry &x = a.entries[i], &y = b.entries[i];
        EXPECT_EQ(y.name, x.name);
        EXPECT_EQ(y.method, x.method);
        EXPECT_EQ(y.flags, x.flags);
        EXPECT_EQ(y.descriptor, x.descriptor);
        // Made by, needed, flags, method, time and date; name, extra and comment; attributes.
        EXPECT_EQ(Raw(out, y.central + Central::kMadeBy, y.central + Central::kCrc),
                  Raw(bytes, x.central + Central::kMadeBy, x.central + Central::kCrc));
        EXPECT_EQ(Raw(out, y.central + Central::kInternal, y.central + Central::kOffset),
                  Raw(bytes, x.central + Central::kInternal, x.central + Central::kOffset));
        EXPECT_EQ(CentralParts(out, y), CentralParts(bytes, x));
        Bytes content;
        ZYNZip::Inflate(b, y, "t.jar", ZYNZip::kMaxClassEntry, content);
        if (i == replaced) {
          EXPECT_EQ(content, newContent);
          EXPECT_EQ(Raw(out, y.local + Local::kVersion, y.local + Local::kCrc),
                    Raw(bytes, x.local + Local::kVersion, x.local + Local::kCrc));
          EXPECT_EQ(LocalParts(out, y), LocalParts(bytes, x));
        } else {
          EXPECT_EQ(Raw(out, y.local, y.end), Raw(bytes, x.local, x.end)) << "kept entries are copied raw";
        }
      }
    }
  }
}

// A replacement is read back when it is made; the written archive then need only hold the bytes written.
TEST(ZipTest, ReadingBackFindsBytesThatDifferFromWhatWasWritten) {
  const Bytes bytes = BuildZip(Spec(ThreeEntries()));
  const tArchive a = ZYNZip::Read(bytes, "t.jar");
  std::vector<ZYNZip::tReplacement> r;
  ZYNZip::tCoder coder;
  Bytes scratch;
  for (std::size_t i = 1; i < 3; ++i) {
    r.push_back(ZYNZip::Compress(Content(9, 200), a.entries[i].method));
    EXPECT_NO_THROW(ZYNZip::Check(r.back(), a.entries[i].method, scratch, coder));
    ZYNZip::tReplacement bad = r.back();
    bad.data[bad.data.size() / 2] ^= 0x10;
    ExpectError([&] { ZYNZip::Check(bad, a.entries[i].method, scratch, coder); },
                "Internal error: compressed data does not inflate back");
  }
  std::vector<ZYNZip::tWritten> values;
  const Bytes out = Rewrite(a, [&](std::size_t i) { return i > 0 ? &r[i - 1] : nullptr; }, &values);
  const tArchive b = ZYNZip::Read(out, "t.jar");
  const std::string why[] = {"unchanged entry \"META-INF/MANIFEST.MF\" differs",
                             "the data of entry \"a/A.class\" differs from what was written",
                             "the data of entry \"b/B.class\" differs from what was written"};
  for (std::size_t i = 0; i < 3; ++i) {
    Bytes damaged = out;
    damaged[b.entries[i].data + 5] ^= 0x01;
    EXPECT_EQ(ZYNZip::Verify(damaged, a, values), why[i]);
  }
}

TEST(ZipTest, AFieldInZip64FormKeepsItWhenItsValueChanges) {
  ZipSpec spec = Spec(ThreeEntries());
  spec.zip64End = true;
  spec.entries[2].zip64 = true;
  const Bytes bytes = BuildZip(spec);
  const tArchive a = ZYNZip::Read(bytes, "t.jar");
  const ZYNZip::tReplacement r = ZYNZip::Compress(Content(3, 50), 8);
  const Bytes out = Rewrite(a, [&](std::size_t i) { return i == 0 ? &r : nullptr; });
  const tArchive b = ZYNZip::Read(out, "t.jar");
  EXPECT_EQ(b.entries[2].local, a.entries[2].local - (a.entries[0].end - b.entries[0].end));
  const std::size_t offset = b.entries[2].central + Central::kOffset;
  EXPECT_EQ(Raw(out, offset, offset + 4), Bytes(4, 0xFF));
}

// The records as the zip format lays them out, byte for byte: the reader, the writer and the builder share
// one layout, and this holds it to the format rather than only to itself.
TEST(ZipTest, TheSharedLayoutIsTheZipFormat) {
  ZipSpec spec = Spec({Entry("a", Text("x"), 0, [](ZipEntry& e) { e.zip64 = e.zip64Disk = true; })});
  spec.zip64End = true;
  const std::string hex =
      // local header, name, Zip64 field, data
      "504b03042d00000000000060875a8316dc8cffffffffffffffff0100140061010010000100000000000000010000000000000078"
      // directory record, name, Zip64 field with the disk number in 4 bytes
      "504b01021e032d00000000000060875a8316dc8cffffffffffffffff010020000000ffff00000000a481ffffffff6101001c0001"
      "000000000000000100000000000000000000000000000000000000"
      // Zip64 end record, Zip64 end locator, end record
      "504b06062c000000000000002d002d000000000000000000010000000000000001000000000000004f0000000000000034000000"
      "00000000504b060700000000830000000000000001000000504b050600000000ffffffffffffffffffffffff0000";
  Bytes expected;
  for (std::size_t i = 0; i < hex.size(); i += 2)
    expected.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  EXPECT_EQ(BuildZip(spec), expected);
  const tArchive a = ZYNZip::Read(expected, "t.jar");
  ASSERT_EQ(a.entries.size(), 1u);
  const ZYNZip::tEntry& e = a.entries[0];
  EXPECT_EQ(std::make_tuple(e.name, e.crc, e.size, e.compressedSize, e.data),
            std::make_tuple("a", Crc(Text("x")), 1u, 1u, 51u));
  EXPECT_EQ(std::vector<std::size_t>({a.directory, a.zip64End, a.zip64Locator, a.end}),
            std::vector<std::size_t>({52, 131, 187, 207}));
}

// A damaged archive: what is changed in a good one, and the line it gives.
struct Damage {
  std::string what;
  std::function<Bytes()> bytes;
  std::string line;
};

Bytes Patched(Bytes b, std::size_t at, std::initializer_list<std::uint8_t> values) {
  for (std::uint8_t v : values) b.at(at++) = v;
  return b;
}

std::size_t CentralOf(const Bytes& b, std::size_t k) {
  return ZYNZip::Read(b, "t.jar").entries.at(k).central;
}

TEST(ZipTest, DamagedArchivesAreErrorsThatSayWhy) {
  ZipSpec goodSpec = Spec(ThreeEntries());
  goodSpec.comment = "c";
  const Bytes good = BuildZip(goodSpec);
  const std::size_t end = ZYNZip::Read(good, "t.jar").end;
  const std::string damaged = "ERROR: Archive \"t.jar\" is damaged: ";
  const std::vector<Damage> cases = {
      {"cut in the directory", [&] { return Raw(good, 0, CentralOf(good, 1) + 10); }, "(not an archive)"},
      {"cut and the end record kept",
       [&] {
         Bytes b = Raw(good, 0, CentralOf(good, 1));
         b.insert(b.end(), good.begin() + static_cast<std::ptrdiff_t>(end), good.end());
         return b;
       },
       damaged + "the central directory is truncated"},
      {"one entry more counted", [&] { return Patched(good, end + End::kDiskEntries, {4, 0, 4, 0}); },
       damaged + "the central directory is inconsistent"},
      {"one entry less counted", [&] { return Patched(good, end + End::kDiskEntries, {2, 0, 2, 0}); },
       damaged + "the central directory is inconsistent"},
      {"a local header offset into the directory",
       [&] {
         const std::size_t c = CentralOf(good, 1);
         const std::uint32_t o = static_cast<std::uint32_t>(CentralOf(good, 0));
         return Patched(good, c + Central::kOffset,
                        {std::uint8_t(o), std::uint8_t(o >> 8), std::uint8_t(o >> 16), std::uint8_t(o >> 24)});
       },
       damaged + "the local header of \"a/A.class\" lies outside the archive"},
      {"two entries at one place", [&] { return Patched(good, CentralOf(good, 2) + Central::kOffset, {0, 0, 0, 0}); },
       damaged + "the local header of \"b/B.class\" does not match the directory"},
      {"a local name that differs",
       [&] { return Patched(good, ZYNZip::Read(good, "t.jar").entries[1].local + Local::kFixed, {'z'}); },
       damaged + "the local header of \"a/A.class\" does not match the directory"},
      {"a local CRC that differs",
       [&] { return Patched(good, ZYNZip::Read(good, "t.jar").entries[1].local + Local::kCrc, {0x11}); },
       damaged + "the local header of \"a/A.class\" does not match the directory"},
      {"a split archive", [&] { return Patched(good, end + End::kDisk, {1}); }, damaged + "it spans several disks"},
      {"a Zip64 size without its field",
       [&] { return Patched(good, CentralOf(good, 1) + Central::kSize, {0xFF, 0xFF, 0xFF, 0xFF}); },
       damaged + "the Zip64 field of \"a/A.class\" is missing"},
      {"a descriptor that does not match",
       [&] {
         ZipSpec s = Spec(ThreeEntries());
         s.entries[1].descriptor = true;
         const Bytes b = BuildZip(s);
         const ZYNZip::tEntry e = ZYNZip::Read(b, "t.jar").entries[1];
         return Patched(b, e.data + e.compressedSize + Descriptor::kSignatureSize + Descriptor::kCrc, {0x12});
       },
       damaged + "the data descriptor of \"a/A.class\" does not match the directory"},
  };
  for (const Damage& d : cases) {
    SCOPED_TRACE(d.what);
    const Bytes b = d.bytes();
    if (d.line == "(not an archive)") {
      EXPECT_FALSE(ZYNZip::IsArchive(b));
      continue;
    }
    EXPECT_EQ(ReadError(b), d.line);
  }
}

// An entry whose data lies: inflating it is an error, and the buffer never grows beyond what the data can
// hold.
TEST(ZipTest, EntriesThatLieAboutTheirDataAreErrors) {
  const std::string damaged = "ERROR: Archive \"t.jar\" is damaged: ";
  struct Case {
    std::string what;
    ZipEntry entry;
    std::uint64_t limit;
    std::string line;
  };
  const Bytes big(200000, 'x');
  const std::vector<Case> cases = {
      {"CRC", Entry("A.class", Content(1, 500), 8, [](ZipEntry& e) { e.declaredCrc = 1234; }), ZYNZip::kMaxClassEntry,
       damaged + "the CRC of \"A.class\" does not match"},
      {"a bomb: more data than declared", Entry("A.class", big, 8, [](ZipEntry& e) { e.declaredSize = 1000; }),
       ZYNZip::kMaxClassEntry, damaged + "\"A.class\" inflates beyond its declared size"},
      {"less data than declared", Entry("A.class", Content(1, 500), 8, [](ZipEntry& e) { e.declaredSize = 600; }),
       ZYNZip::kMaxClassEntry, damaged + "\"A.class\" inflates to fewer bytes than declared"},
      {"a size no deflate data of that length can give",
       Entry("A.class", Content(1, 50), 8, [](ZipEntry& e) { e.declaredSize = 60u << 20; }), ZYNZip::kMaxClassEntry,
       damaged + "\"A.class\" declares more than its data can hold"},
      {"above the limit of a class entry",
       Entry("A.class", big, 8, [](ZipEntry& e) { e.declaredSize = (64u << 20) + 1; }), ZYNZip::kMaxClassEntry,
       "ERROR: Entry \"t.jar!A.class\" is larger than 64 MiB"},
      {"above the limit of a nested archive",
       Entry("lib/x.jar", big, 8, [](ZipEntry& e) { e.declaredSize = (1u << 30) + 1; }), ZYNZip::kMaxNestedArchive,
       "ERROR: Entry \"t.jar!lib/x.jar\" is larger than 1 GiB"},
      {"stored sizes that differ", Entry("A.class", Content(1, 50), 0, [](ZipEntry& e) { e.declaredSize = 49; }),
       ZYNZip::kMaxClassEntry, damaged + "the sizes of stored \"A.class\" differ"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Bytes b = BuildZip(Spec({c.entry}));
    const tArchive a = ZYNZip::Read(b, "t.jar");
    Bytes out;
    try {
      ZYNZip::Inflate(a, a.entries[0], "t.jar", c.limit, out);
      ADD_FAILURE() << "no error";
    } catch (const ZYNError::Fatal& error) {
      EXPECT_EQ(error.Line(), c.line);
    }
    EXPECT_LE(out.size(), std::max<std::size_t>(a.entries[0].size, 1) * 1) << "no allocation beyond the declared size";
  }
  // Not deflate data at all.
  ZipSpec s = Spec({Entry("A.class", {0xFF, 0xFF, 0xFF, 0xFF})});
  Bytes b = BuildZip(s);
  const tArchive a = ZYNZip::Read(b, "t.jar");
  Bytes junk = b;
  for (std::size_t i = 0; i < a.entries[0].compressedSize; ++i) junk[a.entries[0].data + i] = 0xFF;
  const tArchive j = ZYNZip::Read(junk, "t.jar");
  Bytes out;
  EXPECT_THROW(ZYNZip::Inflate(j, j.entries[0], "t.jar", ZYNZip::kMaxClassEntry, out), ZYNError::Fatal);
}

TEST(ZipTest, ArchivesThatMustStayAsTheyAre) {
  struct Case {
    std::string what;
    std::vector<ZipEntry> entries;
    std::string why;
  };
  const std::vector<Case> cases = {
      {"signed", {Entry("META-INF/APP.SF"), Entry("META-INF/APP.RSA"), Entry("A.class")}, "it is signed"},
      {"signed with EC, lower case", {Entry("META-INF/x.sf"), Entry("META-INF/x.ec")}, "it is signed"},
      {"a signature file alone is no signature", {Entry("META-INF/APP.SF"), Entry("A.class")}, ""},
      {"signature files in a subfolder", {Entry("META-INF/x/APP.SF"), Entry("META-INF/x/APP.DSA")}, ""},
      {"encrypted", {Entry("A.class"), Entry("r.txt", {}, 8, [](ZipEntry& e) { e.flags = 1; })},
       "entry \"r.txt\" is encrypted"},
      {"a class entry in bzip2", {Entry("A.class", {}, 12)}, "class entry \"A.class\" is compressed with method 12"},
      {"another entry in bzip2 is fine", {Entry("r.txt", {}, 12)}, ""},
      {"a class name twice, other bytes", {Entry("A.class", Text("a")), Entry("B.class"), Entry("A.class", Text("b"))},
       "duplicate entry name \"A.class\""},
      {"another name twice, other bytes", {Entry("r.txt", Text("a")), Entry("r.txt", Text("b"))},
       "duplicate entry name \"r.txt\""},
      {"a third copy repeats the first, the second does not",
       {Entry("A.class", Text("a")), Entry("A.class", Text("b")), Entry("A.class", Text("a"))},
       "duplicate entry name \"A.class\""},
      {"folders twice, even of other bytes",
       {Entry("p/", {}, 0), Entry("p/A.class"), Entry("p/", {}, 0, [](ZipEntry& e) { e.time = 1; })}, ""},
      {"entries repeated byte for byte", {Entry("A.class", Text("a")), Entry("r.txt"), Entry("A.class", Text("a"))}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Bytes bytes = BuildZip(Spec(c.entries));
    const tArchive a = ZYNZip::Read(bytes, "t.jar");
    EXPECT_EQ(ZYNZip::MustNotChange(a), c.why);
    // What an entry repeats: the first of its name when their bytes are the same.
    const std::vector<std::size_t> repeats = ZYNZip::Repeats(a);
    for (std::size_t i = 0; i < c.entries.size(); ++i) {
      std::size_t first = 0;
      while (c.entries[first].name != c.entries[i].name) ++first;
      const bool same = first < i && BuildZip(Spec({c.entries[first]})) == BuildZip(Spec({c.entries[i]}));
      EXPECT_EQ(repeats[i], same ? first : tArchive::kNone) << i;
    }
  }
}

// Whatever the bytes, reading gives an error or an archive; every entry of it inflates or gives an error;
// and writing it, kept or with every entry replaced, gives an archive that reads back and verifies.
TEST(ZipTest, MutatedArchivesGiveAnErrorOrAnArchiveThatWritesBackAndVerifies) {
  std::vector<Bytes> seeds;
  for (const Shape& shape : Shapes()) seeds.push_back(BuildZip(shape.spec()));
  std::mt19937 random(20261207);
  auto below = [&](std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(random() % n); };
  int readable = 0, replaced = 0;
  for (int round = 0; round < 6000; ++round) {
    Bytes b = seeds[static_cast<std::size_t>(round) % seeds.size()];
    for (std::size_t edits = 1 + below(3); edits > 0 && !b.empty(); --edits) {
      const std::size_t at = below(b.size());
      switch (below(4)) {
        case 0: b[at] ^= static_cast<std::uint8_t>(1u << below(8)); break;
        case 1: b[at] = below(2) != 0 ? 0xFF : 0x00; break;
        case 2: b.erase(b.begin() + static_cast<std::ptrdiff_t>(at), b.begin() + static_cast<std::ptrdiff_t>(std::min(b.size(), at + 1 + below(8)))); break;
        default: b.insert(b.begin() + static_cast<std::ptrdiff_t>(at), static_cast<std::uint8_t>(random())); break;
      }
    }
    tArchive a;
    try {
      a = ZYNZip::Read(b, "t.jar");
    } catch (const ZYNError::Fatal&) {
      continue;
    }
    ++readable;
    std::vector<std::unique_ptr<ZYNZip::tReplacement>> contents(a.entries.size());
    for (std::size_t i = 0; i < a.entries.size(); ++i) {
      Bytes content;
      try {
        ZYNZip::Inflate(a, a.entries[i], "t.jar", ZYNZip::kMaxClassEntry, content);
      } catch (const ZYNError::Fatal&) {
        continue;
      }
      ASSERT_EQ(content.size(), a.entries[i].size);
      content.push_back(0x5A);  // a change, in the entry's own method
      if (a.entries[i].method == ZYNZip::kStored || a.entries[i].method == ZYNZip::kDeflated)
        contents[i] = std::make_unique<ZYNZip::tReplacement>(ZYNZip::Compress(content, a.entries[i].method));
    }
    std::vector<ZYNZip::tWritten> values;
    const Bytes kept = Rewrite(a, kKeepAll, &values);
    ASSERT_EQ(ZYNZip::Verify(kept, a, values), "") << "round " << round;
    const Bytes changed = Rewrite(a, [&](std::size_t i) { return contents[i].get(); }, &values);
    ASSERT_EQ(ZYNZip::Verify(changed, a, values), "") << "round " << round;
    for (const auto& c : contents) replaced += c != nullptr;
  }
  EXPECT_GT(readable, 600) << "the mutations must leave enough archives readable to test writing";
  EXPECT_GT(replaced, 600);
}

}  // namespace
