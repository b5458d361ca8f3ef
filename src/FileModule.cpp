#include "FileModule.h"

#include <algorithm>
#include <span>

#include "ZYNError.h"

namespace FileModule {

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
  if (!in.Done) ZYNError::Message(ZYNError::tKind::kUnexpectedEnd);
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

void OutOfRange() { ZYNError::Message(ZYNError::tKind::kOutOfRange); }

}  // namespace FileModule
