// Big-endian class file byte streams over memory; the module's file list, backups and commits are declared
// apart (FileModuleList.h), so that the core's headers do not pull in the platform layer.
//
// An input is a view of bytes read front to back: Done is its sticky status, PC the number of bytes read (an
// offset in the file, not a program counter). An output collects the bytes written. Both belong to the file
// being optimized; files never share them.
// Uses: ZYNError.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace FileModule {

struct tInput {
  std::span<const std::uint8_t> data;
  std::size_t end = 0;  // the end of the readable input: data.size(), or a limit set by LimitInput
  std::int32_t PC = 0;  // bytes read since Reset: the offset of the next byte
  bool Done = true;     // FALSE once a read has failed; every later read is then a no-op
};

struct tOutput {
  std::vector<std::uint8_t> bytes;
};

// Starts reading the bytes from their first one. The bytes must outlive the reading.
void Reset(tInput& in, std::span<const std::uint8_t> data);

// The unsigned value of n (1 to 4) bytes, the first most significant.
inline std::uint32_t BigEndian(const std::uint8_t* p, int n) {
  std::uint32_t v = 0;
  for (int i = 0; i < n; ++i) v = (v << 8) | p[i];
  return v;
}

// The one place where reads are bounds-checked: n bytes at PC, or nothing (Done FALSE).
inline const std::uint8_t* Take(tInput& in, std::size_t n) {
  const auto at = static_cast<std::size_t>(in.PC);
  if (!in.Done || at > in.end || in.end - at < n) {
    in.Done = false;
    return nullptr;
  }
  in.PC += static_cast<std::int32_t>(n);
  return in.data.data() + at;
}

// Reads: a no-op while Done is FALSE; a short read sets Done FALSE and leaves the variable and PC unchanged.
inline void GetU1(tInput& in, std::int16_t& value) {
  if (const auto* p = Take(in, 1)) value = p[0];
}
inline void GetU2(tInput& in, std::int32_t& value) {
  if (const auto* p = Take(in, 2)) value = static_cast<std::int32_t>(BigEndian(p, 2));
}
inline void GetU4(tInput& in, std::int32_t& value) {
  if (const auto* p = Take(in, 4)) value = static_cast<std::int32_t>(BigEndian(p, 4));
}
// Reads n bytes at once; when fewer remain nothing is read and Done becomes FALSE, so a length from the
// file never sizes an allocation beyond the input.
void GetBytes(tInput& in, std::size_t n, std::vector<std::uint8_t>& bytes);
// Ends the run with "Unexpected end of class file" once a read has failed.
void RequireInput(const tInput& in);
// Bytes left in the input.
std::size_t Remaining(const tInput& in);
// How many of `count` items of at least `itemBytes` bytes each the rest of the input can hold: a count read
// from a file sizes no allocation beyond that.
std::size_t ItemsThatFit(const tInput& in, std::int32_t count, std::size_t itemBytes);
// Moves the read position back to an earlier position and sets Done; used to reread an attribute body.
void Rewind(tInput& in, std::int32_t position);
// Reads beyond `end` fail as if the input ended there; returns the previous end, for restoring it.
std::size_t LimitInput(tInput& in, std::size_t end);
// The next n input bytes without reading them, or nothing when fewer remain.
std::span<const std::uint8_t> Peek(const tInput& in, std::size_t n);

// The error for a value that does not fit its field.
[[noreturn]] void OutOfRange();

// Writes are inlined where they are called (the compiler would keep one copy of these): a class's output is
// written a byte or two at a time, millions of times a run.
[[gnu::always_inline]] inline void PutU1(tOutput& out, std::int32_t value) {
  if (value < 0 || value > 0xFF) OutOfRange();
  out.bytes.push_back(static_cast<std::uint8_t>(value));
}
[[gnu::always_inline]] inline void PutU2(tOutput& out, std::int32_t value) {
  if (value < 0 || value > 0xFFFF) OutOfRange();
  out.bytes.push_back(static_cast<std::uint8_t>(value >> 8));
  out.bytes.push_back(static_cast<std::uint8_t>(value));
}
[[gnu::always_inline]] inline void PutU4(tOutput& out, std::int32_t value) {
  const auto v = static_cast<std::uint32_t>(value);
  for (const int shift : {24, 16, 8, 0}) out.bytes.push_back(static_cast<std::uint8_t>(v >> shift));
}
inline void PutBytes(tOutput& out, std::span<const std::uint8_t> bytes) {
  out.bytes.insert(out.bytes.end(), bytes.begin(), bytes.end());
}

}  // namespace FileModule
