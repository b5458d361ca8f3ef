#include "ZipBuilder.h"

#include <libdeflate.h>

namespace {

struct LE {
  Bytes& b;
  LE& u2(std::uint64_t v) {
    for (int i = 0; i < 2; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return *this;
  }
  LE& u4(std::uint64_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return *this;
  }
  LE& u8(std::uint64_t v) {
    for (int i = 0; i < 8; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return *this;
  }
  LE& raw(const Bytes& x) {
    b.insert(b.end(), x.begin(), x.end());
    return *this;
  }
  LE& text(const std::string& s) {
    b.insert(b.end(), s.begin(), s.end());
    return *this;
  }
};

Bytes Zip64Extra(const std::vector<std::uint64_t>& values, bool disk = false) {
  Bytes x;
  LE{x}.u2(1).u2(8 * values.size() + (disk ? 4 : 0));
  for (std::uint64_t v : values) LE{x}.u8(v);
  if (disk) LE{x}.u4(0);
  return x;
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
  std::vector<std::uint64_t> offsets;
  std::vector<Bytes> data;
  for (const ZipEntry& e : spec.entries) {
    const Bytes d = e.method == 8 ? Deflated(e.content) : e.content;
    const std::uint32_t crc = e.declaredCrc.value_or(Crc(e.content));
    const std::uint64_t size = e.declaredSize.value_or(e.content.size());
    const std::uint16_t flags = static_cast<std::uint16_t>(e.flags | (e.descriptor ? 8 : 0));
    offsets.push_back(out.size() - base);
    Bytes extra = e.localExtra;
    if (e.zip64) {
      const Bytes z = Zip64Extra({size, d.size()});
      extra.insert(extra.begin(), z.begin(), z.end());
    }
    LE w{out};
    w.u4(0x04034b50).u2(e.zip64 ? 45 : 20).u2(flags).u2(e.method).u2(e.time).u2(e.date);
    if (e.descriptor) w.u4(0).u4(e.zip64 ? 0xFFFFFFFF : 0).u4(e.zip64 ? 0xFFFFFFFF : 0);
    else w.u4(crc).u4(e.zip64 ? 0xFFFFFFFF : d.size()).u4(e.zip64 ? 0xFFFFFFFF : size);
    w.u2(e.name.size()).u2(extra.size()).text(e.name).raw(extra).raw(d);
    if (e.descriptor) {
      if (e.descriptorSignature) w.u4(0x08074b50);
      w.u4(crc);
      if (e.zip64) w.u8(d.size()).u8(size);
      else w.u4(d.size()).u4(size);
    }
    w.raw(e.gapAfter);
    data.push_back(d);
  }
  const std::uint64_t directory = out.size();
  for (std::size_t i = 0; i < spec.entries.size(); ++i) {
    const ZipEntry& e = spec.entries[i];
    const std::uint32_t crc = e.declaredCrc.value_or(Crc(e.content));
    const std::uint64_t size = e.declaredSize.value_or(e.content.size());
    Bytes extra = e.centralExtra;
    if (e.zip64) {
      const Bytes z = Zip64Extra({size, data[i].size(), offsets[i]}, e.zip64Disk);
      extra.insert(extra.begin(), z.begin(), z.end());
    }
    LE w{out};
    w.u4(0x02014b50).u2(0x031E).u2(e.zip64 ? 45 : 20).u2(e.flags | (e.descriptor ? 8 : 0)).u2(e.method);
    w.u2(e.time).u2(e.date).u4(crc);
    if (e.zip64) w.u4(0xFFFFFFFF).u4(0xFFFFFFFF);
    else w.u4(data[i].size()).u4(size);
    w.u2(e.name.size()).u2(extra.size()).u2(e.comment.size()).u2(e.zip64Disk ? 0xFFFF : 0).u2(0);
    w.u4(e.externalAttributes);
    w.u4(e.zip64 ? 0xFFFFFFFF : offsets[i]).text(e.name).raw(extra).text(e.comment);
  }
  const std::uint64_t directorySize = out.size() - directory;
  LE w{out};
  if (spec.zip64End) {
    const std::uint64_t zip64End = out.size();
    w.u4(0x06064b50).u8(44).u2(45).u2(45).u4(0).u4(0).u8(spec.entries.size()).u8(spec.entries.size());
    w.u8(directorySize).u8(directory - base);
    w.u4(0x07064b50).u4(0).u8(zip64End - base).u4(1);
    w.u4(0x06054b50).u2(0).u2(0).u2(0xFFFF).u2(0xFFFF).u4(0xFFFFFFFF).u4(0xFFFFFFFF);
  } else {
    w.u4(0x06054b50).u2(0).u2(0).u2(spec.entries.size()).u2(spec.entries.size()).u4(directorySize);
    w.u4(directory - base);
  }
  w.u2(spec.comment.size()).text(spec.comment);
  return out;
}
