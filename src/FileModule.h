// Big-endian class file byte streams over memory, and the wildcard file list.
//
// An input is a view of bytes read front to back: Done is its sticky status, PC the number of bytes read.
// An output collects the bytes written. Both belong to the file being optimized; files never share them.
// Uses: Platform, Queue, ZYNData, ZYNError.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "Platform.h"
#include "Queue.h"

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

// Moves oldName to newName, replacing a file of that name; false when it failed.
bool Rename(const std::string& oldName, const std::string& newName);

// Empties the list and fills it with the regular files that match the pattern (backups never) (* and ? in its last
// component), sorted by name, each with the pattern's directory part in front. A folder component "**"
// matches zero or more folders (links to folders are not followed), and then the folder components after the
// one before it may hold * and ? too; those files are sorted by their path.
// The listed files that are links, or may be, are added to `links` as listed; the temporary files among the
// files it looked at (Platform::IsTemporaryName), to `leftovers`.
void GetFileList(const std::string& pattern, Queue::tQueue& list, std::vector<Platform::tSkipped>* skipped = nullptr,
                 std::unordered_set<std::string>* links = nullptr, std::vector<std::string>* leftovers = nullptr);
// Empties the list and fills it with every "*.class" file below the folder, sorted by the byte order of
// their paths from it, each with the folder in front.
// The tree's other files (not backups) are added to `others`, with the folder in front, sorted.
// Links among the listed files go to `links`, and temporary files to `leftovers`, as GetFileList's do.
void GetTreeList(const std::string& folder, Queue::tQueue& list, std::vector<Platform::tSkipped>* skipped = nullptr,
                 std::vector<std::string>* others = nullptr, std::unordered_set<std::string>* links = nullptr,
                 std::vector<std::string>* leftovers = nullptr);
// Whether the file name is a backup's or a temporary file's: its last suffix begins with "~" (Foo.~class,
// app.~jar). No file list takes such a file.
bool IsBackupName(std::string_view name);
// The backup name: the last "."-suffix of the file name replaced by ".~class", or ".~class" appended. An
// archive's keeps its own suffix after the "~" (app.jar: app.~jar), and takes ".~zip" when it has none.
std::string BackupName(const std::string& name, bool archive = false);
// Makes the backup as a second name of the file, before the result takes the name: at no moment is the name
// missing, whenever the run is stopped. False, with nothing done, where the file system has no hard links.
bool LinkBackup(const std::string& name, const std::string& backup);
// What LinkBackup does after its first step (the second name made where there was none) failed: a backup
// that is there replaced in one step.
bool ReplaceBackup(const std::string& name, const std::string& backup);
// Puts the written temporary file in place: the file kept under its backup name (made already when `linked`)
// and the temporary file moved to the file's name, or with `old` the temporary file moved to the backup name.
// Errors end the run.
void Commit(const std::string& name, Platform::TempFile& result, bool archive, bool old, bool linked);
// Whether name matches the wildcard pattern: * any run of characters, ? any single character.
bool WildcardMatch(std::string_view pattern, std::string_view name);

}  // namespace FileModule
