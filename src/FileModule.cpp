#include "FileModule.h"

#include <algorithm>

#include "Platform.h"
#include "ZYNData.h"
#include "ZYNError.h"

namespace FileModule {

namespace {

void CheckRange(std::int32_t value, std::int32_t max) {
  if (value < 0 || value > max) ZYNError::Message("Internal error: value out of range for its field");
}

}  // namespace

void Reset(tInput& in, std::span<const std::uint8_t> data) {
  in.data = data;
  in.end = data.size();
  in.PC = 0;
  in.Done = true;
}

void GetBytes(tInput& in, std::size_t n, std::vector<std::uint8_t>& bytes) {
  if (const auto* p = Take(in, n)) bytes.assign(p, p + n);
}

void RequireInput(const tInput& in) {
  if (!in.Done) ZYNError::Message("Unexpected end of class file");
}

std::size_t Remaining(const tInput& in) {
  const auto at = static_cast<std::size_t>(in.PC);
  return at < in.end ? in.end - at : 0;
}

void Rewind(tInput& in, std::int32_t position) {
  in.PC = position;
  in.Done = true;
}

std::size_t ItemsThatFit(const tInput& in, std::int32_t count, std::size_t itemBytes) {
  return count <= 0 ? 0 : std::min(static_cast<std::size_t>(count), Remaining(in) / itemBytes);
}

std::size_t LimitInput(tInput& in, std::size_t end) {
  const std::size_t previous = in.end;
  in.end = std::min(in.data.size(), end);
  return previous;
}

std::span<const std::uint8_t> Peek(const tInput& in, std::size_t n) {
  if (Remaining(in) < n) return {};
  return in.data.subspan(static_cast<std::size_t>(in.PC), n);
}

void PutU1(tOutput& out, std::int32_t value) {
  CheckRange(value, 0xFF);
  out.bytes.push_back(static_cast<std::uint8_t>(value));
}

void PutU2(tOutput& out, std::int32_t value) {
  CheckRange(value, 0xFFFF);
  const std::uint8_t b[] = {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
  out.bytes.insert(out.bytes.end(), b, b + 2);
}

void PutU4(tOutput& out, std::int32_t value) {
  const auto v = static_cast<std::uint32_t>(value);
  const std::uint8_t b[] = {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16),
                            static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
  out.bytes.insert(out.bytes.end(), b, b + 4);
}

void PutByte(tOutput& out, std::int8_t value) { out.bytes.push_back(static_cast<std::uint8_t>(value)); }

void PutShort(tOutput& out, std::int16_t value) { PutU2(out, static_cast<std::uint16_t>(value)); }

void PutInt(tOutput& out, std::int32_t value) { PutU4(out, value); }

void PutBytes(tOutput& out, std::span<const std::uint8_t> bytes) {
  out.bytes.insert(out.bytes.end(), bytes.begin(), bytes.end());
}

bool Rename(const std::string& oldName, const std::string& newName) { return Platform::RenameFile(oldName, newName); }

bool WildcardMatch(std::string_view pattern, std::string_view name) {
  // Greedy matching with one backtrack point: linear in practice, never exponential.
  std::size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

void GetFileList(const std::string& pattern, Queue::tQueue& list) {
  list.Init();
  const auto slash = pattern.rfind('/');
  const std::string directory = slash == std::string::npos ? std::string() : pattern.substr(0, slash + 1);
  const std::string namePattern = pattern.substr(directory.size());
  std::vector<std::string> names;
  if (namePattern.empty() || !Platform::ListRegularFiles(directory, names)) return;
  std::sort(names.begin(), names.end());
  for (const std::string& name : names)
    if (WildcardMatch(namePattern, name))
      list.Add(std::make_unique<ZYNData::tStringNodeDesc>(directory + name));
}

}  // namespace FileModule
