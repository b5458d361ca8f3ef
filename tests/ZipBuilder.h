// States a zip archive in the order its bytes stand, with what real writers vary: methods, data descriptors
// with and without signature, Zip64 fields and end records, extra fields, comments, a prefix, and values that
// lie (declared CRC and sizes), for damaged archives.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ClassBuilder.h"

struct ZipEntry {
  std::string name;
  Bytes content;
  std::uint16_t method = 8;  // 0 stored, 8 deflated; any other is written with the content as it is
  std::uint16_t flags = 0;   // bit 3 (a data descriptor) is set by `descriptor`
  bool descriptor = false;
  bool descriptorSignature = true;
  bool zip64 = false;  // sizes and offset in Zip64 fields, in both headers
  bool zip64Disk = false;  // with zip64: the central record's disk number too (0xFFFF there, 4 bytes of 0)
  Bytes localExtra, centralExtra;
  std::string comment;
  std::uint16_t time = 0x6000, date = 0x5A87;
  std::uint32_t externalAttributes = 0x81A40000;
  std::optional<std::uint32_t> declaredCrc;   // instead of the content's
  std::optional<std::uint32_t> declaredSize;  // instead of the content's size
  Bytes gapAfter;                             // bytes between this entry and the next
};

struct ZipSpec {
  Bytes prefix;
  bool offsetsFromFileStart = false;  // offsets count from the file's first byte (else from the prefix's end)
  std::vector<ZipEntry> entries;
  std::string comment;
  bool zip64End = false;  // Zip64 end record and locator, with saturated fields in the end record
};

Bytes BuildZip(const ZipSpec& spec);
// An entry as most archives of the tests hold one: a name, its content, the method.
inline ZipEntry MakeEntry(std::string name, Bytes content, std::uint16_t method = 8) {
  ZipEntry e;
  e.name = std::move(name);
  e.content = std::move(content);
  e.method = method;
  return e;
}
// Raw deflate of the bytes.
Bytes Deflated(const Bytes& content);
std::uint32_t Crc(const Bytes& content);
