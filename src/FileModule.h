// Big-endian class file byte streams, renaming, and the wildcard file list.
//
// The input is read whole at Reset and served from memory; the output is collected in memory and written at
// CloseOut. Done is the sticky status of the last operation; PC counts the bytes read since Reset.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "Queue.h"

namespace FileModule {

extern bool Done;
extern std::int32_t PC;

void Reset(const std::string& name);
// Opens an in-memory input, as Reset does with a file (used by tests).
void ResetBytes(std::vector<std::uint8_t> data);
void CloseIn();
void Rewrite(const std::string& name);
// Like Rewrite, for a new file with a unique name beside `near`; after CloseOut, OutputName tells its name.
void RewriteBeside(const std::string& near);
void CloseOut();
const std::string& OutputName();
void Rename(const std::string& oldName, const std::string& newName);

// Reads: a no-op while Done is FALSE; a short read sets Done FALSE and leaves the variable and PC unchanged.
void GetU1(std::int16_t& value);
void GetU2(std::int32_t& value);
void GetU4(std::int32_t& value);
void GetByte(std::int8_t& value);
void GetShort(std::int16_t& value);
void GetInt(std::int32_t& value);
// Reads n bytes at once; when fewer remain nothing is read and Done becomes FALSE, so a length from the
// file never sizes an allocation beyond the input.
void GetBytes(std::size_t n, std::vector<std::uint8_t>& bytes);
// Bytes left in the input.
std::size_t Remaining();
// How many of `count` items of at least `itemBytes` bytes each the rest of the input can hold: a count read
// from a file sizes no allocation beyond that.
std::size_t ItemsThatFit(std::int32_t count, std::size_t itemBytes);
// Moves the read position back to an earlier position and sets Done; used to reread an attribute body.
void Rewind(std::int32_t position);
// Reads beyond `end` fail as if the input ended there; returns the previous end, for restoring it.
std::size_t LimitInput(std::size_t end);
// The next n input bytes without reading them, or nothing when fewer remain.
std::span<const std::uint8_t> Peek(std::size_t n);

void PutU1(std::int32_t value);
void PutU2(std::int32_t value);
void PutU4(std::int32_t value);
void PutByte(std::int8_t value);
void PutShort(std::int16_t value);
void PutInt(std::int32_t value);
void PutBytes(std::span<const std::uint8_t> bytes);
// The bytes written since Rewrite (used by tests).
const std::vector<std::uint8_t>& Output();

// Empties the list and fills it with the regular files that match the pattern (* and ? in its last
// component), sorted by name, each with the pattern's directory part in front.
void GetFileList(const std::string& pattern, Queue::tQueue& list);
// Whether name matches the wildcard pattern: * any run of characters, ? any single character.
bool WildcardMatch(std::string_view pattern, std::string_view name);

}  // namespace FileModule
