#include "FileModule.h"

#include <algorithm>

#include "Platform.h"
#include "ZYNData.h"
#include "ZYNError.h"

namespace FileModule {

bool Done = true;
std::int32_t PC = 0;

namespace {

std::vector<std::uint8_t> input;
std::size_t inputEnd = 0;  // the end of the readable input: its size, or a limit set by LimitInput
std::vector<std::uint8_t> output;
std::string outputName;
std::string outputBeside;  // when not empty, CloseOut creates a new file beside this one

// The one place where reads are bounds-checked: n bytes at PC, or nothing (Done FALSE).
const std::uint8_t* Take(std::size_t n) {
  if (!Done) return nullptr;
  const auto at = static_cast<std::size_t>(PC);
  if (at > inputEnd || inputEnd - at < n) {
    Done = false;
    return nullptr;
  }
  PC += static_cast<std::int32_t>(n);
  return input.data() + at;
}

std::uint32_t BigEndian(const std::uint8_t* p, int n) {
  std::uint32_t v = 0;
  for (int i = 0; i < n; ++i) v = (v << 8) | p[i];
  return v;
}

void CheckRange(std::int32_t value, std::int32_t max) {
  if (value < 0 || value > max) ZYNError::Message("Internal error: value out of range for its field");
}

}  // namespace

void ResetBytes(std::vector<std::uint8_t> data) {
  input = std::move(data);
  inputEnd = input.size();
  PC = 0;
  Done = true;
}

void Reset(const std::string& name) {
  std::vector<std::uint8_t> data;
  const bool ok = Platform::ReadFile(name, data);
  ResetBytes(ok ? std::move(data) : std::vector<std::uint8_t>{});
  Done = ok;
}

void CloseIn() {
  input.clear();
  input.shrink_to_fit();
  inputEnd = 0;
  Done = true;
}

void Rewrite(const std::string& name) {
  outputName = name;
  outputBeside.clear();
  output.clear();
  Done = true;
}

void RewriteBeside(const std::string& near) {
  Rewrite({});
  outputBeside = near;
}

void CloseOut() {
  if (outputBeside.empty()) {
    Done = Platform::WriteFile(outputName, output);
  } else {
    outputName = Platform::WriteTempFileBeside(outputBeside, output);
    Done = !outputName.empty();
  }
  output.clear();
}

const std::string& OutputName() { return outputName; }

void Rename(const std::string& oldName, const std::string& newName) {
  Done = Platform::RenameFile(oldName, newName);
}

void GetU1(std::int16_t& value) {
  if (const auto* p = Take(1)) value = p[0];
}

void GetU2(std::int32_t& value) {
  if (const auto* p = Take(2)) value = static_cast<std::int32_t>(BigEndian(p, 2));
}

void GetU4(std::int32_t& value) {
  if (const auto* p = Take(4)) value = static_cast<std::int32_t>(BigEndian(p, 4));
}

void GetByte(std::int8_t& value) {
  if (const auto* p = Take(1)) value = static_cast<std::int8_t>(p[0]);
}

void GetShort(std::int16_t& value) {
  if (const auto* p = Take(2)) value = static_cast<std::int16_t>(BigEndian(p, 2));
}

void GetInt(std::int32_t& value) {
  if (const auto* p = Take(4)) value = static_cast<std::int32_t>(BigEndian(p, 4));
}

void GetBytes(std::size_t n, std::vector<std::uint8_t>& bytes) {
  if (const auto* p = Take(n)) bytes.assign(p, p + n);
}

std::size_t Remaining() {
  const auto at = static_cast<std::size_t>(PC);
  return at < inputEnd ? inputEnd - at : 0;
}

void Rewind(std::int32_t position) {
  PC = position;
  Done = true;
}

std::size_t ItemsThatFit(std::int32_t count, std::size_t itemBytes) {
  return count <= 0 ? 0 : std::min(static_cast<std::size_t>(count), Remaining() / itemBytes);
}

std::size_t LimitInput(std::size_t end) {
  const std::size_t previous = inputEnd;
  inputEnd = std::min(input.size(), end);
  return previous;
}

std::span<const std::uint8_t> Peek(std::size_t n) {
  if (Remaining() < n) return {};
  return {input.data() + PC, n};
}

void PutU1(std::int32_t value) {
  CheckRange(value, 0xFF);
  output.push_back(static_cast<std::uint8_t>(value));
}

void PutU2(std::int32_t value) {
  CheckRange(value, 0xFFFF);
  output.push_back(static_cast<std::uint8_t>(value >> 8));
  output.push_back(static_cast<std::uint8_t>(value));
}

void PutU4(std::int32_t value) {
  const auto v = static_cast<std::uint32_t>(value);
  for (int shift = 24; shift >= 0; shift -= 8) output.push_back(static_cast<std::uint8_t>(v >> shift));
}

void PutByte(std::int8_t value) { output.push_back(static_cast<std::uint8_t>(value)); }

void PutShort(std::int16_t value) {
  const auto v = static_cast<std::uint16_t>(value);
  output.push_back(static_cast<std::uint8_t>(v >> 8));
  output.push_back(static_cast<std::uint8_t>(v));
}

void PutInt(std::int32_t value) { PutU4(value); }

void PutBytes(std::span<const std::uint8_t> bytes) { output.insert(output.end(), bytes.begin(), bytes.end()); }

const std::vector<std::uint8_t>& Output() { return output; }

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
