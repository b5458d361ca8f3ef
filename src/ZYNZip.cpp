#include "ZYNZip.h"

#include <libdeflate.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <unordered_map>
#include <unordered_set>

#include "ZYNError.h"

namespace ZYNZip {

namespace {

constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kZip64EndSignature = 0x06064b50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr std::uint32_t kDescriptorSignature = 0x08074b50;
constexpr std::size_t kLocalFixed = 30;
constexpr std::size_t kCentralFixed = 46;
constexpr std::size_t kEndFixed = 22;
constexpr std::size_t kZip64EndFixed = 56;
constexpr std::size_t kZip64LocatorSize = 20;
constexpr std::uint16_t kZip64Tag = 0x0001;
constexpr std::uint32_t kSaturated32 = 0xFFFFFFFF;
constexpr std::uint16_t kSaturated16 = 0xFFFF;
constexpr std::uint16_t kEncrypted = 0x0001;
constexpr std::uint16_t kHasDescriptor = 0x0008;
// Deflate cannot expand data by more than about 1032 to 1: a declared size beyond that is not believed, and
// so never sizes an allocation.
constexpr std::uint64_t kMaxRatio = 1100;
// At least zlib's default ratio on class files, and faster than zlib at it.
constexpr int kDeflateLevel = 6;

std::uint16_t U2(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t U4(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::uint64_t U8(const std::uint8_t* p) { return U4(p) | static_cast<std::uint64_t>(U4(p + 4)) << 32; }
void Set2(std::uint8_t* p, std::uint64_t v) {
  for (int i = 0; i < 2; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void Set4(std::uint8_t* p, std::uint64_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void Set8(std::uint8_t* p, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

[[noreturn]] void Damaged(std::string_view shown, std::string_view why) {
  ZYNError::Message("Archive \"", shown, "\" is damaged: ", why);
}

// Whether n bytes at `at` lie inside the bytes.
bool Fits(tBytes bytes, std::uint64_t at, std::uint64_t n) { return at <= bytes.size() && n <= bytes.size() - at; }

// The end record: the last signature whose comment ends where the bytes end, else the last one whose comment
// fits (bytes after it are kept as they are).
std::size_t FindEnd(tBytes bytes) {
  if (bytes.size() < kEndFixed) return tArchive::kNone;
  const std::size_t last = bytes.size() - kEndFixed;
  const std::size_t first = last > 0xFFFF ? last - 0xFFFF : 0;
  std::size_t fitting = tArchive::kNone;
  for (std::size_t at = last + 1; at-- > first;) {
    if (U4(&bytes[at]) != kEndSignature) continue;
    const std::size_t commentEnd = at + kEndFixed + U2(&bytes[at + 20]);
    if (commentEnd == bytes.size()) return at;
    if (commentEnd < bytes.size() && fitting == tArchive::kNone) fitting = at;
  }
  return fitting;
}

// The extra field's blocks: tag, then the data's position and length within the field.
struct tBlock {
  std::uint16_t tag;
  std::size_t at, length;
};
std::vector<tBlock> Blocks(tBytes extra) {
  std::vector<tBlock> blocks;
  std::size_t at = 0;
  while (extra.size() - at >= 4) {
    const std::uint16_t length = U2(&extra[at + 2]);
    if (extra.size() - at - 4 < length) break;  // a ragged tail is kept as it is, never read
    blocks.push_back({U2(&extra[at]), at + 4, length});
    at += 4 + std::size_t{length};
  }
  return blocks;
}

// The values of the Zip64 block for the fields that hold their saturated marker, in their fixed order;
// false when the block is missing or too short.
bool ReadZip64(tBytes extra, std::span<std::uint64_t*> fields, std::uint64_t* disk = nullptr) {
  // The sizes and the offset take 8 bytes each; the disk start number after them only 4.
  const std::size_t length = 8 * fields.size() + (disk != nullptr ? 4 : 0);
  for (const tBlock& block : Blocks(extra)) {
    if (block.tag != kZip64Tag) continue;
    if (block.length < length) return false;
    for (std::size_t i = 0; i < fields.size(); ++i) *fields[i] = U8(&extra[block.at + 8 * i]);
    if (disk != nullptr) *disk = U4(&extra[block.at + 8 * fields.size()]);
    return true;
  }
  return length == 0;
}

// The extra field with its Zip64 block holding `values` (none: no block is added).
std::vector<std::uint8_t> WithZip64(tBytes extra, const std::vector<std::uint64_t>& values, bool disk = false) {
  // The values take 8 bytes each; a disk start number (always 0 here) 4 bytes after them.
  std::vector<std::uint8_t> data(8 * values.size() + (disk ? 4 : 0));
  for (std::size_t i = 0; i < values.size(); ++i) Set8(&data[8 * i], values[i]);
  std::vector<std::uint8_t> result;
  bool placed = false;
  std::size_t copied = 0;
  for (const tBlock& block : Blocks(extra)) {
    if (block.tag != kZip64Tag || placed) continue;
    // The block keeps its place; data beyond the values it now needs (a disk number) is kept.
    result.insert(result.end(), extra.begin(), extra.begin() + static_cast<std::ptrdiff_t>(block.at - 4));
    std::vector<std::uint8_t> body(data);
    if (block.length > body.size())
      body.insert(body.end(), extra.begin() + static_cast<std::ptrdiff_t>(block.at + body.size()),
                  extra.begin() + static_cast<std::ptrdiff_t>(block.at + block.length));
    const std::uint8_t head[] = {0x01, 0x00, 0, 0};
    result.insert(result.end(), head, head + 4);
    Set2(&result[result.size() - 2], body.size());
    result.insert(result.end(), body.begin(), body.end());
    copied = block.at + block.length;
    placed = true;
  }
  result.insert(result.end(), extra.begin() + static_cast<std::ptrdiff_t>(copied), extra.end());
  if (!placed && !data.empty()) {
    const std::uint8_t head[] = {0x01, 0x00, 0, 0};
    result.insert(result.end(), head, head + 4);
    Set2(&result[result.size() - 2], data.size());
    result.insert(result.end(), data.begin(), data.end());
  }
  return result;
}

struct tDescriptorForm {
  bool signature = false;
  bool wide = false;  // 8-byte sizes
  std::size_t Length() const { return (signature ? 4 : 0) + 4 + (wide ? 16 : 8); }
};

// The data descriptor after the entry's data: the form whose values match the directory's.
bool FindDescriptor(tBytes bytes, const tEntry& e, std::size_t at, tDescriptorForm& form) {
  for (const bool signature : {true, false}) {
    for (const bool wide : {false, true}) {
      const tDescriptorForm f{signature, wide};
      if (!Fits(bytes, at, f.Length())) continue;
      const std::uint8_t* p = &bytes[at];
      if (signature) {
        if (U4(p) != kDescriptorSignature) continue;
        p += 4;
      }
      const std::uint64_t compressed = wide ? U8(p + 4) : U4(p + 4);
      const std::uint64_t size = wide ? U8(p + 12) : U4(p + 8);
      if (U4(p) == e.crc && compressed == e.compressedSize && size == e.size) {
        form = f;
        return true;
      }
    }
  }
  return false;
}

void ReadLocal(tBytes bytes, tEntry& e, std::size_t directory, std::string_view shown) {
  if (!Fits(bytes, e.local, kLocalFixed) || e.local + kLocalFixed > directory ||
      U4(&bytes[e.local]) != kLocalSignature)
    Damaged(shown, "no local header for \"" + e.name + "\"");
  const std::uint8_t* h = &bytes[e.local];
  const std::size_t nameLength = U2(h + 26);
  const std::size_t extraLength = U2(h + 28);
  e.data = e.local + kLocalFixed + nameLength + extraLength;
  if (e.data > directory || std::string_view(reinterpret_cast<const char*>(h + kLocalFixed), nameLength) != e.name ||
      U2(h + 8) != e.method)
    Damaged(shown, "the local header of \"" + e.name + "\" does not match the directory");
  if (directory - e.data < e.compressedSize) Damaged(shown, "the data of \"" + e.name + "\" runs past the directory");
  e.descriptor = (U2(h + 6) & kHasDescriptor) != 0;
  e.end = e.data + e.compressedSize;
  if (e.descriptor) {
    tDescriptorForm form;
    if (!FindDescriptor(bytes, e, e.end, form) || e.end + form.Length() > directory)
      Damaged(shown, "the data descriptor of \"" + e.name + "\" does not match the directory");
    e.end += form.Length();
    return;
  }
  std::uint64_t size = U4(h + 22), compressed = U4(h + 18);
  std::vector<std::uint64_t*> wide;
  if (size == kSaturated32) wide.push_back(&size);
  if (compressed == kSaturated32) wide.push_back(&compressed);
  const tBytes extra = bytes.subspan(e.local + kLocalFixed + nameLength, extraLength);
  if (!ReadZip64(extra, wide) || U4(h + 14) != e.crc || size != e.size || compressed != e.compressedSize)
    Damaged(shown, "the local header of \"" + e.name + "\" does not match the directory");
}

std::size_t ReadCentral(tBytes bytes, std::size_t at, std::size_t directoryEnd, tEntry& e, std::uint64_t& offset,
                        std::string_view shown) {
  if (directoryEnd - at < kCentralFixed || U4(&bytes[at]) != kCentralSignature)
    Damaged(shown, "the central directory is inconsistent");
  const std::uint8_t* h = &bytes[at];
  const std::size_t nameLength = U2(h + 28), extraLength = U2(h + 30), commentLength = U2(h + 32);
  const std::size_t next = at + kCentralFixed + nameLength + extraLength + commentLength;
  if (next > directoryEnd) Damaged(shown, "the central directory is inconsistent");
  e.central = at;
  e.centralEnd = next;
  e.flags = U2(h + 8);
  e.method = U2(h + 10);
  e.crc = U4(h + 16);
  e.compressedSize = U4(h + 20);
  e.size = U4(h + 24);
  e.name.assign(reinterpret_cast<const char*>(h + kCentralFixed), nameLength);
  offset = U4(h + 42);
  std::uint64_t disk = U2(h + 34);
  std::vector<std::uint64_t*> wide;
  if (e.size == kSaturated32) wide.push_back(&e.size);
  if (e.compressedSize == kSaturated32) wide.push_back(&e.compressedSize);
  if (offset == kSaturated32) wide.push_back(&offset);
  if (!ReadZip64(bytes.subspan(at + kCentralFixed + nameLength, extraLength), wide,
                 disk == kSaturated16 ? &disk : nullptr))
    Damaged(shown, "the Zip64 field of \"" + e.name + "\" is missing");
  if (disk != 0) Damaged(shown, "it spans several disks");
  return next;
}

// Whether the text ends with the tail, letters in either case.
bool EndsWithAnyCase(std::string_view text, std::string_view tail) {
  if (text.size() < tail.size()) return false;
  text.remove_prefix(text.size() - tail.size());
  return std::equal(text.begin(), text.end(), tail.begin(), [](char a, char b) {
    return (a >= 'a' && a <= 'z' ? a - 32 : a) == (b >= 'a' && b <= 'z' ? b - 32 : b);
  });
}

// Inflates exactly `size` bytes; an empty text when it worked, else what went wrong.
std::string InflateInto(tBytes data, std::uint64_t size, std::vector<std::uint8_t>& out, tCoder& coder) {
  out.resize(size);
  std::size_t used = 0, made = 0;
  const libdeflate_result r = libdeflate_deflate_decompress_ex(&coder.Inflater(), data.data(), data.size(), out.data(),
                                                               out.size(), &used, &made);
  if (r == LIBDEFLATE_INSUFFICIENT_SPACE) return "inflates beyond its declared size";
  if (r != LIBDEFLATE_SUCCESS) return "is not valid deflate data";
  if (made != size) return "inflates to fewer bytes than declared";
  return {};
}

}  // namespace

tCoder::~tCoder() {
  if (inflater_ != nullptr) libdeflate_free_decompressor(inflater_);
  if (deflater_ != nullptr) libdeflate_free_compressor(deflater_);
}

libdeflate_decompressor& tCoder::Inflater() {
  if (inflater_ == nullptr && (inflater_ = libdeflate_alloc_decompressor()) == nullptr) throw std::bad_alloc();
  return *inflater_;
}

libdeflate_compressor& tCoder::Deflater() {
  if (deflater_ == nullptr && (deflater_ = libdeflate_alloc_compressor(kDeflateLevel)) == nullptr)
    throw std::bad_alloc();
  return *deflater_;
}

bool tEntry::IsClass() const { return name.ends_with(".class"); }

bool tEntry::IsNestedArchive() const {
  return EndsWithAnyCase(name, ".jar") || EndsWithAnyCase(name, ".war") || EndsWithAnyCase(name, ".zip");
}

bool IsArchive(tBytes bytes) { return FindEnd(bytes) != tArchive::kNone; }

bool IsBomb(const tEntry& entry) {
  return entry.method == kDeflated && entry.size > kRatioFreeNested &&
         entry.size / kMaxNestedRatio > entry.compressedSize && entry.size / kMaxRatio <= entry.compressedSize;
}

tArchive Read(tBytes bytes, std::string_view shown) {
  tArchive a;
  a.bytes = bytes;
  a.end = FindEnd(bytes);
  if (a.end == tArchive::kNone) Damaged(shown, "no end of central directory");
  const std::uint8_t* end = &bytes[a.end];
  std::uint64_t entries = U2(end + 10), directorySize = U4(end + 12), directoryOffset = U4(end + 16);
  if (U2(end + 4) != 0 || U2(end + 6) != 0 || U2(end + 8) != U2(end + 10)) {
    if (U2(end + 4) != kSaturated16) Damaged(shown, "it spans several disks");
  }
  a.directoryEnd = a.end;
  a.zip64End = a.zip64Locator = tArchive::kNone;
  if (a.end >= kZip64LocatorSize && U4(&bytes[a.end - kZip64LocatorSize]) == kZip64LocatorSignature) {
    a.zip64Locator = a.end - kZip64LocatorSize;
    const std::uint64_t declared = U8(&bytes[a.zip64Locator + 8]);
    // Where the record's offset points when offsets count from the file's start, else right before the
    // locator (offsets count from a prefix's end).
    std::uint64_t at = declared;
    if (!Fits(bytes, at, kZip64EndFixed) || at + kZip64EndFixed > a.zip64Locator ||
        U4(&bytes[at]) != kZip64EndSignature)
      at = a.zip64Locator >= kZip64EndFixed ? a.zip64Locator - kZip64EndFixed : tArchive::kNone;
    if (at == tArchive::kNone || U4(&bytes[at]) != kZip64EndSignature) Damaged(shown, "no Zip64 end record");
    const std::uint8_t* z = &bytes[at];
    const std::uint64_t length = U8(z + 4);
    if (length < kZip64EndFixed - 12 || length > a.zip64Locator - at - 12) Damaged(shown, "the Zip64 end record is inconsistent");
    if (U4(z + 16) != 0 || U4(z + 20) != 0 || U8(z + 24) != U8(z + 32)) Damaged(shown, "it spans several disks");
    a.zip64End = at;
    a.directoryEnd = at;
    if (entries == kSaturated16) entries = U8(z + 32);
    if (directorySize == kSaturated32) directorySize = U8(z + 40);
    if (directoryOffset == kSaturated32) directoryOffset = U8(z + 48);
    // Readers differ in which record they believe; writing sets both, so both must say the same.
    if (entries != U8(z + 32) || directorySize != U8(z + 40) || directoryOffset != U8(z + 48))
      Damaged(shown, "the Zip64 end record is inconsistent");
  }
  if (directorySize > a.directoryEnd) Damaged(shown, "the central directory is truncated");
  a.directory = a.directoryEnd - directorySize;
  if (directoryOffset > a.directory) Damaged(shown, "the central directory is truncated");
  a.base = static_cast<std::int64_t>(a.directory - directoryOffset);
  // Each record takes at least its fixed part: a count beyond that is no reason to reserve.
  if (entries > directorySize / kCentralFixed) Damaged(shown, "the central directory is inconsistent");
  a.entries.resize(entries);
  std::size_t at = a.directory;
  for (tEntry& e : a.entries) {
    std::uint64_t offset = 0;
    at = ReadCentral(bytes, at, a.directoryEnd, e, offset, shown);
    if (offset >= a.directory - static_cast<std::size_t>(a.base))
      Damaged(shown, "the local header of \"" + e.name + "\" lies outside the archive");
    e.local = static_cast<std::size_t>(a.base) + offset;
  }
  if (at != a.directoryEnd) Damaged(shown, "the central directory is inconsistent");
  for (tEntry& e : a.entries) ReadLocal(bytes, e, a.directory, shown);
  a.byPosition.resize(a.entries.size());
  for (std::size_t i = 0; i < a.entries.size(); ++i) a.byPosition[i] = i;
  std::sort(a.byPosition.begin(), a.byPosition.end(),
            [&](std::size_t x, std::size_t y) { return a.entries[x].local < a.entries[y].local; });
  for (std::size_t k = 1; k < a.byPosition.size(); ++k)
    if (a.entries[a.byPosition[k - 1]].end > a.entries[a.byPosition[k]].local)
      Damaged(shown, "entries \"" + a.entries[a.byPosition[k - 1]].name + "\" and \"" +
                         a.entries[a.byPosition[k]].name + "\" overlap");
  return a;
}

std::string MustNotChange(const tArchive& archive) {
  bool signature = false, signatureBlock = false;
  for (const tEntry& e : archive.entries) {
    const std::string_view name = e.name;
    if (name.size() <= 9 || !EndsWithAnyCase(name.substr(0, 9), "META-INF/") ||
        name.find('/', 9) != std::string_view::npos)
      continue;
    signature = signature || EndsWithAnyCase(name, ".SF");
    signatureBlock = signatureBlock || EndsWithAnyCase(name, ".RSA") || EndsWithAnyCase(name, ".DSA") ||
                     EndsWithAnyCase(name, ".EC");
  }
  if (signature && signatureBlock) return "it is signed";
  for (const tEntry& e : archive.entries)
    if ((e.flags & kEncrypted) != 0) return "entry \"" + e.name + "\" is encrypted";
  for (const tEntry& e : archive.entries)
    if (e.IsClass() && e.method != kStored && e.method != kDeflated)
      return "class entry \"" + e.name + "\" is compressed with method " + std::to_string(e.method);
  // Readers differ in which of two entries of a name they take; it matters only when the two differ. Folders
  // hold nothing that zyn changes.
  const std::vector<std::size_t> repeats = Repeats(archive);
  std::unordered_set<std::string_view> names;
  for (const std::size_t i : archive.byPosition) {
    const tEntry& e = archive.entries[i];
    if (!names.insert(e.name).second && repeats[i] == tArchive::kNone && !e.name.ends_with('/'))
      return "duplicate entry name \"" + e.name + "\"";
  }
  return {};
}

std::vector<std::size_t> Repeats(const tArchive& archive) {
  std::vector<std::size_t> repeats(archive.entries.size(), tArchive::kNone);
  std::unordered_map<std::string_view, std::size_t> first;
  for (const std::size_t i : archive.byPosition) {
    const auto [it, added] = first.try_emplace(archive.entries[i].name, i);
    if (added) continue;
    const tEntry &e = archive.entries[i], &f = archive.entries[it->second];
    const tBytes mine = archive.bytes.subspan(e.local, e.end - e.local);
    const tBytes theirs = archive.bytes.subspan(f.local, f.end - f.local);
    if (std::equal(mine.begin(), mine.end(), theirs.begin(), theirs.end())) repeats[i] = it->second;
  }
  return repeats;
}

void Inflate(const tArchive& archive, const tEntry& entry, std::string_view shown, std::uint64_t limit,
             std::vector<std::uint8_t>& out) {
  tCoder coder;
  Inflate(archive, entry, shown, limit, out, coder);
}

void Inflate(const tArchive& archive, const tEntry& entry, std::string_view shown, std::uint64_t limit,
             std::vector<std::uint8_t>& out, tCoder& coder) {
  if (entry.size > limit)
    ZYNError::Message("Entry \"", std::string(shown) + "!" + entry.name, "\" is larger than ",
                      limit == kMaxClassEntry ? "64 MiB" : "1 GiB");
  const tBytes data = entry.Data(archive.bytes);
  if (entry.method == kStored) {
    if (entry.size != entry.compressedSize) Damaged(shown, "the sizes of stored \"" + entry.name + "\" differ");
    out.assign(data.begin(), data.end());
  } else {
    if (entry.size / kMaxRatio > entry.compressedSize)
      Damaged(shown, "\"" + entry.name + "\" declares more than its data can hold");
    if (const std::string why = InflateInto(data, entry.size, out, coder); !why.empty())
      Damaged(shown, "\"" + entry.name + "\" " + why);
  }
  if (Crc32(out) != entry.crc) Damaged(shown, "the CRC of \"" + entry.name + "\" does not match");
}

std::uint32_t Crc32(tBytes bytes) {
  return libdeflate_crc32(0, bytes.data(), bytes.size());
}

tReplacement Compress(tBytes content, std::uint16_t method) {
  tCoder coder;
  return Compress(content, method, coder);
}

tReplacement Compress(tBytes content, std::uint16_t method, tCoder& coder) {
  tReplacement r;
  r.crc = Crc32(content);
  r.size = content.size();
  if (method == kStored) {
    r.data.assign(content.begin(), content.end());
    return r;
  }
  libdeflate_compressor& c = coder.Deflater();
  r.data.resize(libdeflate_deflate_compress_bound(&c, content.size()));
  r.data.resize(libdeflate_deflate_compress(&c, content.data(), content.size(), r.data.data(), r.data.size()));
  // The result waits with others for its turn to be written: the bound it was given is not kept.
  r.data.shrink_to_fit();
  return r;
}

std::vector<tWritten> Write(const tArchive& a, const tProvide& provide, const tEmit& emit) {
  const tBytes bytes = a.bytes;
  std::uint64_t written = 0;
  auto put = [&](tBytes part) {
    if (part.empty()) return;
    emit(part);
    written += part.size();
  };
  auto raw = [&](std::size_t from, std::size_t to) { put(bytes.subspan(from, to - from)); };
  auto offsetOf = [&](std::uint64_t position) { return position - static_cast<std::uint64_t>(a.base); };

  std::vector<std::uint64_t> newOffset(a.entries.size());
  std::vector<tWritten> values(a.entries.size());
  raw(0, a.byPosition.empty() ? a.directory : a.entries[a.byPosition[0]].local);
  for (std::size_t k = 0; k < a.byPosition.size(); ++k) {
    const std::size_t i = a.byPosition[k];
    const tEntry& e = a.entries[i];
    const std::size_t next = k + 1 < a.byPosition.size() ? a.entries[a.byPosition[k + 1]].local : a.directory;
    newOffset[i] = offsetOf(written);
    const tReplacement* r = provide(i);
    if (r == nullptr) {
      values[i] = {false, e.crc, e.size, e.compressedSize};
      raw(e.local, next);
      continue;
    }
    values[i] = {true, r->crc, r->size, r->data.size()};
    std::vector<std::uint8_t> header(bytes.begin() + static_cast<std::ptrdiff_t>(e.local),
                                     bytes.begin() + static_cast<std::ptrdiff_t>(e.data));
    std::uint8_t* h = header.data();
    const std::size_t nameLength = U2(h + 26);
    // A header that defers its values to the descriptor keeps its zeros.
    if (!e.descriptor || U4(h + 14) != 0) Set4(h + 14, r->crc);
    std::vector<std::uint64_t> wide;
    const bool wideSize = U4(h + 22) == kSaturated32, wideCompressed = U4(h + 18) == kSaturated32;
    if (wideSize) wide.push_back(r->size);
    else if (!e.descriptor || U4(h + 22) != 0) Set4(h + 22, r->size);
    if (wideCompressed) wide.push_back(r->data.size());
    else if (!e.descriptor || U4(h + 18) != 0) Set4(h + 18, r->data.size());
    if (!wide.empty()) {
      const std::size_t extraAt = kLocalFixed + nameLength;
      const std::vector<std::uint8_t> extra =
          WithZip64(tBytes(header).subspan(extraAt, U2(h + 28)), wide);
      header.resize(extraAt);
      header.insert(header.end(), extra.begin(), extra.end());
      Set2(header.data() + 28, extra.size());
    }
    put(header);
    put(r->data);
    if (e.descriptor) {
      tDescriptorForm form;
      FindDescriptor(bytes, e, e.data + e.compressedSize, form);
      std::vector<std::uint8_t> d(form.Length());
      std::uint8_t* p = d.data();
      if (form.signature) {
        Set4(p, kDescriptorSignature);
        p += 4;
      }
      Set4(p, r->crc);
      if (form.wide) {
        Set8(p + 4, r->data.size());
        Set8(p + 12, r->size);
      } else {
        Set4(p + 4, r->data.size());
        Set4(p + 8, r->size);
      }
      put(d);
    }
    raw(e.end, next);
  }

  const std::uint64_t directory = written;
  for (std::size_t i = 0; i < a.entries.size(); ++i) {
    const tEntry& e = a.entries[i];
    const tWritten& v = values[i];
    std::vector<std::uint8_t> record(bytes.begin() + static_cast<std::ptrdiff_t>(e.central),
                                     bytes.begin() + static_cast<std::ptrdiff_t>(e.centralEnd));
    std::uint8_t* h = record.data();
    const std::uint64_t size = v.size;
    const std::uint64_t compressed = v.compressedSize;
    Set4(h + 16, v.crc);
    // A field keeps its Zip64 form, and takes it when its value no longer fits.
    std::vector<std::uint64_t> wide;
    auto field = [&](std::size_t at, std::uint64_t value) {
      if (U4(h + at) == kSaturated32 || value >= kSaturated32) {
        Set4(h + at, kSaturated32);
        wide.push_back(value);
      } else {
        Set4(h + at, value);
      }
    };
    field(24, size);
    field(20, compressed);
    field(42, newOffset[i]);
    const bool disk = U2(h + 34) == kSaturated16;
    const std::size_t nameLength = U2(h + 28), extraLength = U2(h + 30);
    if (!wide.empty() || disk) {
      const std::size_t extraAt = kCentralFixed + nameLength;
      const std::vector<std::uint8_t> extra = WithZip64(tBytes(record).subspan(extraAt, extraLength), wide, disk);
      if (extra.size() > 0xFFFF) ZYNError::Message("Archive too large for its Zip64 fields");
      std::vector<std::uint8_t> rebuilt(record.begin(), record.begin() + static_cast<std::ptrdiff_t>(extraAt));
      rebuilt.insert(rebuilt.end(), extra.begin(), extra.end());
      rebuilt.insert(rebuilt.end(), record.begin() + static_cast<std::ptrdiff_t>(extraAt + extraLength), record.end());
      Set2(rebuilt.data() + 30, extra.size());
      record = std::move(rebuilt);
    }
    put(record);
  }
  const std::uint64_t directorySize = written - directory;

  const std::uint64_t zip64End = written;
  if (a.zip64End != tArchive::kNone) {
    std::vector<std::uint8_t> z(bytes.begin() + static_cast<std::ptrdiff_t>(a.zip64End),
                                bytes.begin() + static_cast<std::ptrdiff_t>(a.zip64Locator));
    Set8(z.data() + 40, directorySize);
    Set8(z.data() + 48, offsetOf(directory));
    put(z);
    std::vector<std::uint8_t> locator(bytes.begin() + static_cast<std::ptrdiff_t>(a.zip64Locator),
                                      bytes.begin() + static_cast<std::ptrdiff_t>(a.end));
    Set8(locator.data() + 8, offsetOf(zip64End));
    put(locator);
  }
  std::vector<std::uint8_t> end(bytes.begin() + static_cast<std::ptrdiff_t>(a.end),
                                bytes.begin() + static_cast<std::ptrdiff_t>(a.end + kEndFixed));
  for (const auto& [at, value] : {std::pair<std::size_t, std::uint64_t>{12, directorySize}, {16, offsetOf(directory)}}) {
    if (U4(&end[at]) == kSaturated32) continue;
    if (value >= kSaturated32) ZYNError::Message("Archive too large for an archive without Zip64 records");
    Set4(&end[at], value);
  }
  put(end);
  raw(a.end + kEndFixed, bytes.size());
  return values;
}

std::string Verify(tBytes written, const tArchive& original, const std::vector<tWritten>& values) {
  tArchive a;
  try {
    a = Read(written, "");
  } catch (const ZYNError::Fatal& error) {
    return error.Line();
  }
  if (a.entries.size() != original.entries.size()) return "the number of entries differs";
  std::vector<std::uint8_t> content;
  tCoder coder;
  for (std::size_t i = 0; i < a.entries.size(); ++i) {
    const tEntry& e = a.entries[i];
    const tEntry& o = original.entries[i];
    const tWritten& v = values[i];
    if (e.name != o.name || e.method != o.method || e.flags != o.flags) return "entry \"" + o.name + "\" differs";
    if (!v.replaced) {
      if (e.crc != o.crc || e.size != o.size || e.compressedSize != o.compressedSize ||
          e.end - e.local != o.end - o.local ||
          !std::equal(o.Data(original.bytes).begin(), o.Data(original.bytes).end(), e.Data(written).begin()))
        return "unchanged entry \"" + o.name + "\" differs";
      continue;
    }
    if (e.crc != v.crc || e.size != v.size || e.compressedSize != v.compressedSize)
      return "entry \"" + o.name + "\" has other values than written";
    try {
      Inflate(a, e, "", e.size, content, coder);
    } catch (const ZYNError::Fatal& error) {
      return error.Line();
    }
  }
  return {};
}

}  // namespace ZYNZip
