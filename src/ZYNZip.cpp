#include "ZYNZip.h"

#include <libdeflate.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <unordered_map>
#include <unordered_set>

#include "Platform.h"
#include "ZYNError.h"

namespace ZYNZip {

using namespace Layout;

namespace {

// Deflate cannot expand data by more than about 1032 to 1: a declared size beyond that is not believed, and
// so never sizes an allocation.
constexpr std::uint64_t kMaxRatio = 1100;

std::uint16_t U2(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t U4(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::uint64_t U8(const std::uint8_t* p) { return U4(p) | static_cast<std::uint64_t>(U4(p + 4)) << 32; }
void Set(std::uint8_t* p, std::size_t n, std::uint64_t v) {
  for (std::size_t i = 0; i < n; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void Set2(std::uint8_t* p, std::uint64_t v) { Set(p, 2, v); }
void Set4(std::uint8_t* p, std::uint64_t v) { Set(p, 4, v); }
void Set8(std::uint8_t* p, std::uint64_t v) { Set(p, 8, v); }

[[noreturn]] void Damaged(std::string_view shown, std::string_view why) {
  ZYNError::Message(ZYNError::tKind::kArchiveDamaged, shown, why);
}

// Whether n bytes at `at` lie inside the bytes.
bool Fits(tBytes bytes, std::uint64_t at, std::uint64_t n) { return at <= bytes.size() && n <= bytes.size() - at; }

std::vector<std::uint8_t> Copy(tBytes bytes, std::size_t from, std::size_t to) {
  return std::vector<std::uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                                   bytes.begin() + static_cast<std::ptrdiff_t>(to));
}

// The end record: the last signature whose comment ends where the bytes end, else the last one whose comment
// fits (bytes after it are kept as they are).
std::size_t FindEnd(tBytes bytes) {
  if (bytes.size() < End::kFixed) return tArchive::kNone;
  const std::size_t last = bytes.size() - End::kFixed;
  const std::size_t first = last > kMaxLength ? last - kMaxLength : 0;
  std::size_t fitting = tArchive::kNone;
  for (std::size_t at = last + 1; at-- > first;) {
    if (U4(&bytes[at]) != End::kSignature) continue;
    const std::size_t commentEnd = at + End::kFixed + U2(&bytes[at + End::kCommentLength]);
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
  while (extra.size() - at >= Extra::kHead) {
    const std::uint16_t length = U2(&extra[at + Extra::kLength]);
    if (extra.size() - at - Extra::kHead < length) break;  // a ragged tail is kept as it is, never read
    blocks.push_back({U2(&extra[at + Extra::kTag]), at + Extra::kHead, length});
    at += Extra::kHead + std::size_t{length};
  }
  return blocks;
}

// The values of the Zip64 block for the fields that hold their saturated marker, in their fixed order;
// false when the block is missing or too short.
bool ReadZip64(tBytes extra, std::span<std::uint64_t*> fields, std::uint64_t* disk = nullptr) {
  const std::size_t length = Extra::kZip64Value * fields.size() + (disk != nullptr ? Extra::kZip64Disk : 0);
  for (const tBlock& block : Blocks(extra)) {
    if (block.tag != Extra::kZip64Tag) continue;
    if (block.length < length) return false;
    for (std::size_t i = 0; i < fields.size(); ++i) *fields[i] = U8(&extra[block.at + Extra::kZip64Value * i]);
    if (disk != nullptr) *disk = U4(&extra[block.at + Extra::kZip64Value * fields.size()]);
    return true;
  }
  return length == 0;
}

void PutZip64Block(std::vector<std::uint8_t>& to, const std::vector<std::uint8_t>& data) {
  const std::size_t at = to.size();
  to.resize(at + Extra::kHead);
  Set2(&to[at + Extra::kTag], Extra::kZip64Tag);
  Set2(&to[at + Extra::kLength], data.size());
  to.insert(to.end(), data.begin(), data.end());
}

// The extra field with its Zip64 block holding `values` (none: no block is added), and a disk start number
// (always 0 here) after them when asked.
std::vector<std::uint8_t> WithZip64(tBytes extra, const std::vector<std::uint64_t>& values, bool disk = false) {
  std::vector<std::uint8_t> data(Extra::kZip64Value * values.size() + (disk ? Extra::kZip64Disk : 0));
  for (std::size_t i = 0; i < values.size(); ++i) Set8(&data[Extra::kZip64Value * i], values[i]);
  std::vector<std::uint8_t> result;
  bool placed = false;
  std::size_t copied = 0;
  for (const tBlock& block : Blocks(extra)) {
    if (block.tag != Extra::kZip64Tag || placed) continue;
    // The block keeps its place; data beyond the values it now needs (a disk number) is kept.
    result.insert(result.end(), extra.begin(), extra.begin() + static_cast<std::ptrdiff_t>(block.at - Extra::kHead));
    std::vector<std::uint8_t> body(data);
    if (block.length > body.size())
      body.insert(body.end(), extra.begin() + static_cast<std::ptrdiff_t>(block.at + body.size()),
                  extra.begin() + static_cast<std::ptrdiff_t>(block.at + block.length));
    PutZip64Block(result, body);
    copied = block.at + block.length;
    placed = true;
  }
  result.insert(result.end(), extra.begin() + static_cast<std::ptrdiff_t>(copied), extra.end());
  if (!placed && !data.empty()) PutZip64Block(result, data);
  return result;
}

// Puts `values` (and a disk start number) in the Zip64 block of the record whose extra field starts at
// `extraAt`, its length standing at `lengthAt`.
void SetZip64(std::vector<std::uint8_t>& record, std::size_t extraAt, std::size_t lengthAt,
              const std::vector<std::uint64_t>& values, bool disk = false) {
  const std::size_t extraLength = U2(&record[lengthAt]);
  const std::vector<std::uint8_t> extra = WithZip64(tBytes(record).subspan(extraAt, extraLength), values, disk);
  if (extra.size() > kMaxLength) ZYNError::Message(ZYNError::tKind::kZip64Fields);
  const auto at = record.begin() + static_cast<std::ptrdiff_t>(extraAt);
  record.insert(record.erase(at, at + static_cast<std::ptrdiff_t>(extraLength)), extra.begin(), extra.end());
  Set2(&record[lengthAt], extra.size());
}

struct tDescriptorForm {
  bool signature = false;
  bool wide = false;  // 8-byte sizes
  std::size_t Start() const { return signature ? Descriptor::kSignatureSize : 0; }  // where the CRC stands
  std::size_t Width() const { return wide ? 8 : 4; }
  std::size_t Length() const { return Start() + Descriptor::kCompressedSize + 2 * Width(); }
};
std::uint64_t Sized(const std::uint8_t* p, bool wide) { return wide ? U8(p) : U4(p); }

// The data descriptor after the entry's data: the form whose values match the directory's.
bool FindDescriptor(tBytes bytes, const tEntry& e, std::size_t at, tDescriptorForm& form) {
  for (const bool signature : {true, false}) {
    for (const bool wide : {false, true}) {
      const tDescriptorForm f{signature, wide};
      if (!Fits(bytes, at, f.Length())) continue;
      if (signature && U4(&bytes[at]) != Descriptor::kSignature) continue;
      const std::uint8_t* p = &bytes[at + f.Start()];
      const std::uint8_t* sizes = p + Descriptor::kCompressedSize;
      if (U4(p + Descriptor::kCrc) == e.crc && Sized(sizes, wide) == e.compressedSize &&
          Sized(sizes + f.Width(), wide) == e.size) {
        form = f;
        return true;
      }
    }
  }
  return false;
}

void ReadLocal(tBytes bytes, tEntry& e, std::size_t directory, std::string_view shown) {
  if (!Fits(bytes, e.local, Local::kFixed) || e.local + Local::kFixed > directory ||
      U4(&bytes[e.local]) != Local::kSignature)
    Damaged(shown, "no local header for \"" + e.name + "\"");
  const std::uint8_t* h = &bytes[e.local];
  const std::size_t nameLength = U2(h + Local::kNameLength);
  const std::size_t extraLength = U2(h + Local::kExtraLength);
  e.data = e.local + Local::kFixed + nameLength + extraLength;
  if (e.data > directory || std::string_view(reinterpret_cast<const char*>(h + Local::kFixed), nameLength) != e.name ||
      U2(h + Local::kMethod) != e.method)
    Damaged(shown, "the local header of \"" + e.name + "\" does not match the directory");
  if (directory - e.data < e.compressedSize) Damaged(shown, "the data of \"" + e.name + "\" runs past the directory");
  e.descriptor = (U2(h + Local::kFlags) & kHasDescriptor) != 0;
  e.end = e.data + e.compressedSize;
  if (e.descriptor) {
    tDescriptorForm form;
    if (!FindDescriptor(bytes, e, e.end, form) || e.end + form.Length() > directory)
      Damaged(shown, "the data descriptor of \"" + e.name + "\" does not match the directory");
    e.end += form.Length();
    return;
  }
  std::uint64_t size = U4(h + Local::kSize), compressed = U4(h + Local::kCompressedSize);
  std::vector<std::uint64_t*> wide;
  if (size == kSaturated32) wide.push_back(&size);
  if (compressed == kSaturated32) wide.push_back(&compressed);
  const tBytes extra = bytes.subspan(e.local + Local::kFixed + nameLength, extraLength);
  if (!ReadZip64(extra, wide) || U4(h + Local::kCrc) != e.crc || size != e.size || compressed != e.compressedSize)
    Damaged(shown, "the local header of \"" + e.name + "\" does not match the directory");
}

std::size_t ReadCentral(tBytes bytes, std::size_t at, std::size_t directoryEnd, tEntry& e, std::uint64_t& offset,
                        std::string_view shown) {
  if (directoryEnd - at < Central::kFixed || U4(&bytes[at]) != Central::kSignature)
    Damaged(shown, "the central directory is inconsistent");
  const std::uint8_t* h = &bytes[at];
  const std::size_t nameLength = U2(h + Central::kNameLength), extraLength = U2(h + Central::kExtraLength),
                    commentLength = U2(h + Central::kCommentLength);
  const std::size_t next = at + Central::kFixed + nameLength + extraLength + commentLength;
  if (next > directoryEnd) Damaged(shown, "the central directory is inconsistent");
  e.central = at;
  e.centralEnd = next;
  e.flags = U2(h + Central::kFlags);
  e.method = U2(h + Central::kMethod);
  e.crc = U4(h + Central::kCrc);
  e.compressedSize = U4(h + Central::kCompressedSize);
  e.size = U4(h + Central::kSize);
  e.name.assign(reinterpret_cast<const char*>(h + Central::kFixed), nameLength);
  offset = U4(h + Central::kOffset);
  std::uint64_t disk = U2(h + Central::kDisk);
  std::vector<std::uint64_t*> wide;
  if (e.size == kSaturated32) wide.push_back(&e.size);
  if (e.compressedSize == kSaturated32) wide.push_back(&e.compressedSize);
  if (offset == kSaturated32) wide.push_back(&offset);
  if (!ReadZip64(bytes.subspan(at + Central::kFixed + nameLength, extraLength), wide,
                 disk == kSaturated16 ? &disk : nullptr))
    Damaged(shown, "the Zip64 field of \"" + e.name + "\" is missing");
  if (disk != 0) Damaged(shown, "it spans several disks");
  return next;
}

// What the end records say of the directory.
struct tDirectory {
  std::uint64_t entries = 0, size = 0, offset = 0;
};

// The Zip64 end record before the locator that ends at the end record, which it overrides where that one's
// fields are saturated.
void ReadZip64End(tBytes bytes, tArchive& a, tDirectory& d, std::string_view shown) {
  a.zip64Locator = a.end - Zip64Locator::kFixed;
  // Where the record's offset points when offsets count from the file's start, else right before the
  // locator (offsets count from a prefix's end).
  std::uint64_t at = U8(&bytes[a.zip64Locator + Zip64Locator::kOffset]);
  if (!Fits(bytes, at, Zip64End::kFixed) || at + Zip64End::kFixed > a.zip64Locator ||
      U4(&bytes[at]) != Zip64End::kSignature)
    at = a.zip64Locator >= Zip64End::kFixed ? a.zip64Locator - Zip64End::kFixed : tArchive::kNone;
  if (at == tArchive::kNone || U4(&bytes[at]) != Zip64End::kSignature) Damaged(shown, "no Zip64 end record");
  const std::uint8_t* z = &bytes[at];
  const std::uint64_t length = U8(z + Zip64End::kRecordSize);
  if (length < Zip64End::kFixed - Zip64End::kSizedFrom || length > a.zip64Locator - at - Zip64End::kSizedFrom)
    Damaged(shown, "the Zip64 end record is inconsistent");
  const std::uint64_t entries = U8(z + Zip64End::kEntries), size = U8(z + Zip64End::kDirectorySize),
                      offset = U8(z + Zip64End::kDirectoryOffset);
  if (U4(z + Zip64End::kDisk) != 0 || U4(z + Zip64End::kDirectoryDisk) != 0 ||
      U8(z + Zip64End::kDiskEntries) != entries)
    Damaged(shown, "it spans several disks");
  a.zip64End = at;
  a.directoryEnd = at;
  if (d.entries == kSaturated16) d.entries = entries;
  if (d.size == kSaturated32) d.size = size;
  if (d.offset == kSaturated32) d.offset = offset;
  // Readers differ in which record they believe; writing sets both, so both must say the same.
  if (d.entries != entries || d.size != size || d.offset != offset)
    Damaged(shown, "the Zip64 end record is inconsistent");
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
  if (deflater_ == nullptr && (deflater_ = libdeflate_alloc_compressor(level_)) == nullptr) throw std::bad_alloc();
  return *deflater_;
}

void tCoder::SetLevel(int level) {
  if (level == level_) return;
  if (deflater_ != nullptr) libdeflate_free_compressor(deflater_);
  deflater_ = nullptr;
  level_ = level;
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
  tDirectory d{U2(end + End::kEntries), U4(end + End::kDirectorySize), U4(end + End::kDirectoryOffset)};
  if (U2(end + End::kDisk) != 0 || U2(end + End::kDirectoryDisk) != 0 ||
      U2(end + End::kDiskEntries) != U2(end + End::kEntries)) {
    if (U2(end + End::kDisk) != kSaturated16) Damaged(shown, "it spans several disks");
  }
  a.directoryEnd = a.end;
  a.zip64End = a.zip64Locator = tArchive::kNone;
  if (a.end >= Zip64Locator::kFixed && U4(&bytes[a.end - Zip64Locator::kFixed]) == Zip64Locator::kSignature)
    ReadZip64End(bytes, a, d, shown);
  if (d.size > a.directoryEnd) Damaged(shown, "the central directory is truncated");
  a.directory = a.directoryEnd - d.size;
  if (d.offset > a.directory) Damaged(shown, "the central directory is truncated");
  a.base = static_cast<std::int64_t>(a.directory - d.offset);
  // Each record takes at least its fixed part: a count beyond that is no reason to reserve.
  if (d.entries > d.size / Central::kFixed) Damaged(shown, "the central directory is inconsistent");
  a.entries.resize(d.entries);
  std::size_t at = a.directory;
  for (tEntry& e : a.entries) {
    std::uint64_t offset = 0;
    at = ReadCentral(bytes, at, a.directoryEnd, e, offset, shown);
    if (offset >= a.directory - static_cast<std::size_t>(a.base))
      Damaged(shown, "the local header of \"" + e.name + "\" lies outside the archive");
    e.local = static_cast<std::size_t>(a.base) + offset;
  }
  if (at != a.directoryEnd) Damaged(shown, "the central directory is inconsistent");
  Platform::PagesBehind behind(bytes);
  for (tEntry& e : a.entries) {
    ReadLocal(bytes, e, a.directory, shown);
    behind.Passed(e.local);
  }
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
    ZYNError::Message(ZYNError::tKind::kEntryTooLarge, std::string(shown) + "!" + entry.name,
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

std::uint32_t Crc32(tBytes bytes) { return libdeflate_crc32(0, bytes.data(), bytes.size()); }

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

void Check(const tReplacement& r, std::uint16_t method, std::vector<std::uint8_t>& scratch, tCoder& coder) {
  const bool inflated = method == kStored || InflateInto(r.data, r.size, scratch, coder).empty();
  const tBytes content = method == kStored ? tBytes(r.data) : tBytes(scratch);
  if (!inflated || content.size() != r.size || Crc32(content) != r.crc)
    ZYNError::Message(ZYNError::tKind::kNoInflateBack);
}

namespace {

// Passes the archive's parts on, counting them: the directory and the end records point into what was written.
struct tSink {
  const tEmit& emit;
  std::uint64_t written = 0;
  void Put(tBytes part) {
    if (part.empty()) return;
    emit(part);
    written += part.size();
  }
};

// The directory's offset of a place in the written bytes (the prefix before offset 0 is written as it was).
std::uint64_t OffsetOf(const tArchive& a, std::uint64_t position) {
  return position - static_cast<std::uint64_t>(a.base);
}

// The local header of a replaced entry with its new CRC and sizes, in the Zip64 field where it had them there.
std::vector<std::uint8_t> LocalHeader(const tArchive& a, const tEntry& e, const tReplacement& r) {
  std::vector<std::uint8_t> header = Copy(a.bytes, e.local, e.data);
  std::uint8_t* h = header.data();
  // A header that defers its values to the descriptor keeps its zeros.
  auto set = [&](std::size_t at, std::uint64_t value) {
    if (!e.descriptor || U4(h + at) != 0) Set4(h + at, value);
  };
  set(Local::kCrc, r.crc);
  std::vector<std::uint64_t> wide;
  const bool wideSize = U4(h + Local::kSize) == kSaturated32;
  const bool wideCompressed = U4(h + Local::kCompressedSize) == kSaturated32;
  if (wideSize) wide.push_back(r.size);
  else set(Local::kSize, r.size);
  if (wideCompressed) wide.push_back(r.data.size());
  else set(Local::kCompressedSize, r.data.size());
  if (!wide.empty()) SetZip64(header, Local::kFixed + U2(h + Local::kNameLength), Local::kExtraLength, wide);
  return header;
}

// The data descriptor of a replaced entry, in the form its old one had.
std::vector<std::uint8_t> DataDescriptor(const tArchive& a, const tEntry& e, const tReplacement& r) {
  tDescriptorForm form;
  FindDescriptor(a.bytes, e, e.data + e.compressedSize, form);
  std::vector<std::uint8_t> d(form.Length());
  if (form.signature) Set4(d.data(), Descriptor::kSignature);
  std::uint8_t* p = d.data() + form.Start();
  Set4(p + Descriptor::kCrc, r.crc);
  Set(p + Descriptor::kCompressedSize, form.Width(), r.data.size());
  Set(p + Descriptor::kCompressedSize + form.Width(), form.Width(), r.size);
  return d;
}

// An entry's directory record with its values and the new offset of its local header. A field keeps its Zip64
// form, and takes it when its value no longer fits.
std::vector<std::uint8_t> CentralRecord(const tArchive& a, const tEntry& e, const tWritten& v, std::uint64_t offset) {
  std::vector<std::uint8_t> record = Copy(a.bytes, e.central, e.centralEnd);
  std::uint8_t* h = record.data();
  Set4(h + Central::kCrc, v.crc);
  std::vector<std::uint64_t> wide;
  for (const auto& [at, value] : {std::pair<std::size_t, std::uint64_t>{Central::kSize, v.size},
                                  {Central::kCompressedSize, v.compressedSize}, {Central::kOffset, offset}}) {
    const bool saturated = U4(h + at) == kSaturated32 || value >= kSaturated32;
    Set4(h + at, saturated ? kSaturated32 : value);
    if (saturated) wide.push_back(value);
  }
  const bool disk = U2(h + Central::kDisk) == kSaturated16;
  if (!wide.empty() || disk)
    SetZip64(record, Central::kFixed + U2(h + Central::kNameLength), Central::kExtraLength, wide, disk);
  return record;
}

// The Zip64 end record with the directory's new size and offset; the rest (and any data after it) as it was.
std::vector<std::uint8_t> Zip64EndRecord(const tArchive& a, std::uint64_t directorySize, std::uint64_t directory) {
  std::vector<std::uint8_t> record = Copy(a.bytes, a.zip64End, a.zip64Locator);
  Set8(&record[Zip64End::kDirectorySize], directorySize);
  Set8(&record[Zip64End::kDirectoryOffset], directory);
  return record;
}

std::vector<std::uint8_t> Zip64LocatorRecord(const tArchive& a, std::uint64_t zip64End) {
  std::vector<std::uint8_t> locator = Copy(a.bytes, a.zip64Locator, a.end);
  Set8(&locator[Zip64Locator::kOffset], zip64End);
  return locator;
}

// The end of central directory record with the directory's new size and offset, but where a field defers to
// the Zip64 end record.
std::vector<std::uint8_t> EndRecord(const tArchive& a, std::uint64_t directorySize, std::uint64_t directory) {
  std::vector<std::uint8_t> end = Copy(a.bytes, a.end, a.end + End::kFixed);
  for (const auto& [at, value] : {std::pair<std::size_t, std::uint64_t>{End::kDirectorySize, directorySize},
                                  {End::kDirectoryOffset, directory}}) {
    if (U4(&end[at]) == kSaturated32) continue;
    if (value >= kSaturated32) ZYNError::Message(ZYNError::tKind::kNeedsZip64);
    Set4(&end[at], value);
  }
  return end;
}

}  // namespace

std::vector<tWritten> Write(const tArchive& a, const tProvide& provide, const tEmit& emit) {
  tSink out{emit};
  auto raw = [&](std::size_t from, std::size_t to) { out.Put(a.bytes.subspan(from, to - from)); };
  std::vector<std::uint64_t> newOffset(a.entries.size());
  std::vector<tWritten> values(a.entries.size());
  raw(0, a.byPosition.empty() ? a.directory : a.entries[a.byPosition[0]].local);
  Platform::PagesBehind behind(a.bytes);
  for (std::size_t k = 0; k < a.byPosition.size(); ++k) {
    const std::size_t i = a.byPosition[k];
    const tEntry& e = a.entries[i];
    behind.Passed(e.local);
    const std::size_t next = k + 1 < a.byPosition.size() ? a.entries[a.byPosition[k + 1]].local : a.directory;
    newOffset[i] = OffsetOf(a, out.written);
    const tReplacement* r = provide(i);
    if (r == nullptr) {
      values[i] = {false, e.crc, e.size, e.compressedSize};
      raw(e.local, next);
      continue;
    }
    values[i] = {true, r->crc, r->size, r->data.size(), Crc32(r->data)};
    out.Put(LocalHeader(a, e, *r));
    out.Put(r->data);
    if (e.descriptor) out.Put(DataDescriptor(a, e, *r));
    raw(e.end, next);
  }
  const std::uint64_t directory = out.written;
  for (std::size_t i = 0; i < a.entries.size(); ++i) out.Put(CentralRecord(a, a.entries[i], values[i], newOffset[i]));
  const std::uint64_t directorySize = out.written - directory;
  if (a.zip64End != tArchive::kNone) {
    const std::uint64_t zip64End = out.written;
    out.Put(Zip64EndRecord(a, directorySize, OffsetOf(a, directory)));
    out.Put(Zip64LocatorRecord(a, OffsetOf(a, zip64End)));
  }
  out.Put(EndRecord(a, directorySize, OffsetOf(a, directory)));
  raw(a.end + End::kFixed, a.bytes.size());
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
  Platform::PagesBehind behindWritten(written), behindOriginal(original.bytes);
  for (std::size_t i = 0; i < a.entries.size(); ++i) {
    const tEntry& e = a.entries[i];
    const tEntry& o = original.entries[i];
    const tWritten& v = values[i];
    behindWritten.Passed(e.local);
    behindOriginal.Passed(o.local);
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
    if (Crc32(e.Data(written)) != v.dataCrc) return "the data of entry \"" + o.name + "\" differs from what was written";
  }
  return {};
}

}  // namespace ZYNZip
