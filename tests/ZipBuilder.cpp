#include "ZipBuilder.h"

#include <libdeflate.h>

#include "ZYNZip.h"

namespace {

using namespace ZYNZip::Layout;

constexpr std::uint16_t kVersion = 20, kVersionZip64 = 45;  // needed to extract
constexpr std::uint16_t kMadeByUnix = 0x031E;

// Little-endian values appended to the bytes, or set at a field's offset in the record that starts at `record`.
struct LE {
  Bytes& b;
  std::size_t record = b.size();
  LE& u(std::size_t n, std::uint64_t v) {
    for (std::size_t i = 0; i < n; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return *this;
  }
  LE& at(std::size_t field, std::size_t n, std::uint64_t v) {
    for (std::size_t i = 0; i < n; ++i) b.at(record + field + i) = static_cast<std::uint8_t>(v >> (8 * i));
    return *this;
  }
  // A record's fixed part, its signature set and its other fields 0 until set.
  LE& fixed(std::size_t length, std::uint32_t signature) {
    record = b.size();
    b.resize(record + length);
    return at(0, 4, signature);
  }
  LE& raw(const Bytes& x) {
    b.insert(b.end(), x.begin(), x.end());
    return *this;
  }
  LE& text(const std::string& s) { return raw(Bytes(s.begin(), s.end())); }
};

// The extra field with a Zip64 block of the values (and a disk start number) before it, for a Zip64 entry.
Bytes WithZip64(const ZipEntry& e, const Bytes& extra, const std::vector<std::uint64_t>& values, bool disk = false) {
  if (!e.zip64) return extra;
  Bytes x;
  LE w{x};
  w.u(2, Extra::kZip64Tag).u(2, Extra::kZip64Value * values.size() + (disk ? Extra::kZip64Disk : 0));
  for (std::uint64_t v : values) w.u(Extra::kZip64Value, v);
  if (disk) w.u(Extra::kZip64Disk, 0);
  return w.raw(extra).b;
}

// What both headers of an entry say.
struct Values {
  Bytes data;
  std::uint32_t crc;
  std::uint64_t size;
  std::uint16_t flags;
  std::uint64_t offset;
};

// The local header, data, descriptor and gap of an entry.
void PutEntry(Bytes& out, const ZipEntry& e, const Values& v) {
  const Bytes extra = WithZip64(e, e.localExtra, {v.size, v.data.size()});
  // The sizes stand in the Zip64 field, or in the descriptor.
  auto sized = [&](std::uint64_t value) { return e.zip64 ? kSaturated32 : e.descriptor ? 0 : value; };
  LE w{out};
  w.fixed(Local::kFixed, Local::kSignature).at(Local::kVersion, 2, e.zip64 ? kVersionZip64 : kVersion);
  w.at(Local::kFlags, 2, v.flags).at(Local::kMethod, 2, e.method).at(Local::kTime, 2, e.time);
  w.at(Local::kDate, 2, e.date).at(Local::kCrc, 4, e.descriptor ? 0 : v.crc);
  w.at(Local::kCompressedSize, 4, sized(v.data.size())).at(Local::kSize, 4, sized(v.size));
  w.at(Local::kNameLength, 2, e.name.size()).at(Local::kExtraLength, 2, extra.size());
  w.text(e.name).raw(extra).raw(v.data);
  if (e.descriptor) {
    if (e.descriptorSignature) w.u(4, Descriptor::kSignature);
    w.u(4, v.crc).u(e.zip64 ? 8 : 4, v.data.size()).u(e.zip64 ? 8 : 4, v.size);
  }
  w.raw(e.gapAfter);
}

void PutCentral(Bytes& out, const ZipEntry& e, const Values& v) {
  const Bytes extra = WithZip64(e, e.centralExtra, {v.size, v.data.size(), v.offset}, e.zip64Disk);
  LE w{out};
  w.fixed(Central::kFixed, Central::kSignature).at(Central::kMadeBy, 2, kMadeByUnix);
  w.at(Central::kVersion, 2, e.zip64 ? kVersionZip64 : kVersion).at(Central::kFlags, 2, v.flags);
  w.at(Central::kMethod, 2, e.method).at(Central::kTime, 2, e.time).at(Central::kDate, 2, e.date);
  w.at(Central::kCrc, 4, v.crc).at(Central::kCompressedSize, 4, e.zip64 ? kSaturated32 : v.data.size());
  w.at(Central::kSize, 4, e.zip64 ? kSaturated32 : v.size).at(Central::kOffset, 4, e.zip64 ? kSaturated32 : v.offset);
  w.at(Central::kNameLength, 2, e.name.size()).at(Central::kExtraLength, 2, extra.size());
  w.at(Central::kCommentLength, 2, e.comment.size()).at(Central::kDisk, 2, e.zip64Disk ? kSaturated16 : 0);
  w.at(Central::kExternal, 4, e.externalAttributes).text(e.name).raw(extra).text(e.comment);
}

// The end records: with the Zip64 ones, the end record's fields saturated.
void PutEnd(Bytes& out, const ZipSpec& spec, std::uint64_t directory, std::uint64_t base) {
  const std::uint64_t directorySize = out.size() - directory, entries = spec.entries.size();
  const bool wide = spec.zip64End;
  LE w{out};
  if (wide) {
    const std::uint64_t zip64End = out.size();
    w.fixed(Zip64End::kFixed, Zip64End::kSignature);
    w.at(Zip64End::kRecordSize, 8, Zip64End::kFixed - Zip64End::kSizedFrom);
    w.at(Zip64End::kMadeBy, 2, kVersionZip64).at(Zip64End::kVersion, 2, kVersionZip64);
    w.at(Zip64End::kDiskEntries, 8, entries).at(Zip64End::kEntries, 8, entries);
    w.at(Zip64End::kDirectorySize, 8, directorySize).at(Zip64End::kDirectoryOffset, 8, directory - base);
    w.fixed(Zip64Locator::kFixed, Zip64Locator::kSignature).at(Zip64Locator::kOffset, 8, zip64End - base);
    w.at(Zip64Locator::kDisks, 4, 1);
  }
  w.fixed(End::kFixed, End::kSignature).at(End::kDiskEntries, 2, wide ? kSaturated16 : entries);
  w.at(End::kEntries, 2, wide ? kSaturated16 : entries).at(End::kDirectorySize, 4, wide ? kSaturated32 : directorySize);
  w.at(End::kDirectoryOffset, 4, wide ? kSaturated32 : directory - base);
  w.at(End::kCommentLength, 2, spec.comment.size()).text(spec.comment);
}

}  // namespace

Bytes Deflated(const Bytes& content) {
  libdeflate_compressor* c = libdeflate_alloc_compressor(9);
  Bytes out(libdeflate_deflate_compress_bound(c, content.size()));
  out.resize(libdeflate_deflate_compress(c, content.data(), content.size(), out.data(), out.size()));
  libdeflate_free_compressor(c);
  return out;
}

std::uint32_t Crc(const Bytes& content) { return libdeflate_crc32(0, content.data(), content.size()); }

Bytes BuildZip(const ZipSpec& spec) {
  Bytes out = spec.prefix;
  const std::uint64_t base = spec.offsetsFromFileStart ? 0 : spec.prefix.size();
  std::vector<Values> values;
  for (const ZipEntry& e : spec.entries) {
    values.push_back({e.method == ZYNZip::kDeflated ? Deflated(e.content) : e.content,
                      e.declaredCrc.value_or(Crc(e.content)), e.declaredSize.value_or(e.content.size()),
                      static_cast<std::uint16_t>(e.flags | (e.descriptor ? kHasDescriptor : 0)), out.size() - base});
    PutEntry(out, e, values.back());
  }
  const std::uint64_t directory = out.size();
  for (std::size_t i = 0; i < spec.entries.size(); ++i) PutCentral(out, spec.entries[i], values[i]);
  PutEnd(out, spec, directory, base);
  return out;
}
