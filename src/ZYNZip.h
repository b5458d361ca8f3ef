// Zip archives (jar, war, ear, zip) in memory: the directory read and checked, entries inflated and deflated,
// and an archive rewritten with some entries replaced and every other byte as it was.
//
// Reading never trusts a size or an offset: every span is checked against the bytes, local headers against
// the central directory, and an entry inflates into exactly its declared size or is damaged. Errors are
// ZYNError::Fatal lines naming the archive as the table shows it.
// Uses: Platform, ZYNError.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct libdeflate_compressor;
struct libdeflate_decompressor;

namespace ZYNZip {

using tBytes = std::span<const std::uint8_t>;

// Where the fields of the zip records stand, as byte offsets from each record's start (all little-endian):
// the one description that the reader, the writer and the tests' builder share.
namespace Layout {
// What a 4-byte (2-byte) field holds when its value stands in the Zip64 field or record instead.
constexpr std::uint32_t kSaturated32 = 0xFFFFFFFF;
constexpr std::uint16_t kSaturated16 = 0xFFFF;
constexpr std::uint16_t kEncrypted = 0x0001;       // general purpose flag bits
constexpr std::uint16_t kHasDescriptor = 0x0008;
constexpr std::size_t kMaxLength = 0xFFFF;         // of a name, an extra field, a comment
namespace Local {
constexpr std::uint32_t kSignature = 0x04034b50;
constexpr std::size_t kVersion = 4, kFlags = 6, kMethod = 8, kTime = 10, kDate = 12, kCrc = 14,
                      kCompressedSize = 18, kSize = 22, kNameLength = 26, kExtraLength = 28;
constexpr std::size_t kFixed = 30;  // then the name and the extra field
}  // namespace Local
namespace Central {
constexpr std::uint32_t kSignature = 0x02014b50;
constexpr std::size_t kMadeBy = 4, kVersion = 6, kFlags = 8, kMethod = 10, kTime = 12, kDate = 14, kCrc = 16,
                      kCompressedSize = 20, kSize = 24, kNameLength = 28, kExtraLength = 30, kCommentLength = 32,
                      kDisk = 34, kInternal = 36, kExternal = 38, kOffset = 42;
constexpr std::size_t kFixed = 46;  // then the name, the extra field and the comment
}  // namespace Central
// After the data when flag bit 3 defers the CRC and sizes: an optional signature, then the CRC and the two
// sizes, 4 bytes each or 8 with Zip64.
namespace Descriptor {
constexpr std::uint32_t kSignature = 0x08074b50;
constexpr std::size_t kSignatureSize = 4;
constexpr std::size_t kCrc = 0, kCompressedSize = 4;  // from after the signature; the size follows
}  // namespace Descriptor
// A block of the extra field: tag and length, then the data. The Zip64 block holds, in this order and only
// for the fields saturated in the header, the size, the compressed size, the offset (8 bytes each) and the
// disk start number (4 bytes).
namespace Extra {
constexpr std::size_t kTag = 0, kLength = 2, kHead = 4;
constexpr std::uint16_t kZip64Tag = 0x0001;
constexpr std::size_t kZip64Value = 8, kZip64Disk = 4;
}  // namespace Extra
namespace Zip64End {
constexpr std::uint32_t kSignature = 0x06064b50;
constexpr std::size_t kRecordSize = 4, kMadeBy = 12, kVersion = 14, kDisk = 16, kDirectoryDisk = 20,
                      kDiskEntries = 24, kEntries = 32, kDirectorySize = 40, kDirectoryOffset = 48;
constexpr std::size_t kSizedFrom = 12;  // the record size counts the bytes from here on
constexpr std::size_t kFixed = 56;
}  // namespace Zip64End
namespace Zip64Locator {
constexpr std::uint32_t kSignature = 0x07064b50;
constexpr std::size_t kDisk = 4, kOffset = 8, kDisks = 16;
constexpr std::size_t kFixed = 20;
}  // namespace Zip64Locator
namespace End {
constexpr std::uint32_t kSignature = 0x06054b50;
constexpr std::size_t kDisk = 4, kDirectoryDisk = 6, kDiskEntries = 8, kEntries = 10, kDirectorySize = 12,
                      kDirectoryOffset = 16, kCommentLength = 20;
constexpr std::size_t kFixed = 22;  // then the comment
}  // namespace End
}  // namespace Layout

constexpr std::uint16_t kStored = 0;
constexpr std::uint16_t kDeflated = 8;
constexpr std::uint64_t kMaxClassEntry = std::uint64_t{64} << 20;   // a class entry above this is an error
constexpr std::uint64_t kMaxNestedArchive = std::uint64_t{1} << 30;  // so is a nested archive above this
// An archive's entries are compressed already: a nested archive that declares more than this many times its
// data (beyond kRatioFreeNested, which may hold anything) is a bomb, and an error.
constexpr std::uint64_t kMaxNestedRatio = 100;
constexpr std::uint64_t kRatioFreeNested = std::uint64_t{4} << 20;
// IsArchive looks no further back from the end than this.
constexpr std::size_t kEndArea = Layout::kMaxLength + Layout::End::kFixed;

struct tEntry {
  std::string name;
  std::uint16_t flags = 0;
  std::uint16_t method = 0;
  std::uint32_t crc = 0;
  std::uint64_t compressedSize = 0;
  std::uint64_t size = 0;
  std::size_t central = 0;     // where its central directory record starts
  std::size_t centralEnd = 0;  // and ends
  std::size_t local = 0;       // where its local header starts in the bytes
  std::size_t data = 0;        // where its data starts
  std::size_t end = 0;         // after its data and data descriptor
  bool descriptor = false;     // a data descriptor follows the data (flag bit 3)

  tBytes Data(tBytes archive) const { return archive.subspan(data, compressedSize); }
  bool IsClass() const;
  bool IsNestedArchive() const;
};

struct tArchive {
  tBytes bytes;
  std::vector<tEntry> entries;           // in central directory order
  std::vector<std::size_t> byPosition;   // entry indexes in the order of their local headers
  std::int64_t base = 0;                 // where offset 0 of the directory's offsets lies in the bytes
  std::size_t directory = 0;             // the central directory: start
  std::size_t directoryEnd = 0;          // and end
  std::size_t zip64End = 0;              // the Zip64 end record, or kNone
  std::size_t zip64Locator = 0;          // the Zip64 end locator, or kNone
  std::size_t end = 0;                   // the end of central directory record
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
};

// Whether the bytes end with an end of central directory record (a comment or nothing after it).
bool IsArchive(tBytes bytes);
// Whether an entry that holds an archive declares more than kMaxNestedRatio times its data, beyond
// kRatioFreeNested (an entry beyond what deflate can give at all is damaged instead: Inflate says so).
bool IsBomb(const tEntry& entry);

// Reads and checks the directory and every local header. Throws "Archive "shown" is damaged: ...".
tArchive Read(tBytes bytes, std::string_view shown);

// For each entry, the earlier entry (in the order of the local headers) of the same name whose local header,
// data and data descriptor it repeats byte for byte, or tArchive::kNone.
std::vector<std::size_t> Repeats(const tArchive& archive);

// Why the archive must stay as it is (signed, encrypted, a class entry neither stored nor deflated, a name
// that two entries of different bytes bear, unless they are folders), or an empty text.
std::string MustNotChange(const tArchive& archive);

// At least zlib's default ratio on class files, and faster than zlib at it.
inline constexpr int kDeflateLevel = 6;
// libdeflate's strongest: about 1.4% smaller class entries than kDeflateLevel, at several times its time.
inline constexpr int kStrongestLevel = 12;

// The inflater and deflater of one thread, made when first needed and kept from entry to entry (making a
// deflater costs more than deflating a small class). Owned by whoever runs the entries, never thread_local:
// a thread's destructor list needs memory that may not be there.
class tCoder {
public:
  tCoder() = default;
  ~tCoder();
  tCoder(const tCoder&) = delete;
  tCoder& operator=(const tCoder&) = delete;
  // Throw std::bad_alloc when they cannot be made.
  libdeflate_decompressor& Inflater();
  libdeflate_compressor& Deflater();
  // The level the deflater compresses at from now on (kDeflateLevel unless told).
  void SetLevel(int level);

private:
  libdeflate_decompressor* inflater_ = nullptr;
  libdeflate_compressor* deflater_ = nullptr;
  int level_ = kDeflateLevel;
};

// The entry's data, inflated into `out` (resized to its size) and its CRC checked. Throws a damaged-archive
// error, or an error for a class entry above `limit`.
void Inflate(const tArchive& archive, const tEntry& entry, std::string_view shown, std::uint64_t limit,
             std::vector<std::uint8_t>& out, tCoder& coder);
// The same for a single entry, with a coder of its own.
void Inflate(const tArchive& archive, const tEntry& entry, std::string_view shown, std::uint64_t limit,
             std::vector<std::uint8_t>& out);

// The entry's new content: data in the entry's method, its CRC and size.
struct tReplacement {
  std::vector<std::uint8_t> data;
  std::uint32_t crc = 0;
  std::uint64_t size = 0;
};
// Compresses the content with the method (stored or deflated), into no more room than the result takes.
tReplacement Compress(tBytes content, std::uint16_t method, tCoder& coder);
tReplacement Compress(tBytes content, std::uint16_t method);
// Reads the replacement's data back in the method (inflated into `scratch`) and checks its size and CRC, so
// that the written archive's read-back (Verify) need only compare the data with what was written. Throws an
// internal error when they do not match.
void Check(const tReplacement& replacement, std::uint16_t method, std::vector<std::uint8_t>& scratch, tCoder& coder);
std::uint32_t Crc32(tBytes bytes);

// What an entry holds after writing: replaced or not, and the values of its directory record.
struct tWritten {
  bool replaced = false;
  std::uint32_t crc = 0;
  std::uint64_t size = 0;
  std::uint64_t compressedSize = 0;
  std::uint32_t dataCrc = 0;  // of a replaced entry's data as written
};
// The new content of entry i, or nothing (nullptr) to keep it; asked once per entry in the order of the
// local headers, the content is used before the next question.
using tProvide = std::function<const tReplacement*(std::size_t entry)>;
using tEmit = std::function<void(tBytes)>;
// Writes the archive in order through `emit`: the prefix, each entry (kept byte for byte with its header,
// descriptor and any gap after it, or replaced: its local header with new CRC and sizes, Zip64 fields
// updated), the directory in its order with new values and offsets, the end records, the comment.
std::vector<tWritten> Write(const tArchive& archive, const tProvide& provide, const tEmit& emit);

// Checks a written archive against the original: the same entries in the same order, kept ones byte for byte,
// replaced ones with the values and the data written (whose content Check read back before). An empty text,
// or what does not match.
std::string Verify(tBytes written, const tArchive& original, const std::vector<tWritten>& values);

}  // namespace ZYNZip
