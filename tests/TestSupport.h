// Helpers shared by the unit tests: inputs over bytes, running the reader, capturing the console, expecting
// errors, and running the batch in-process as the program does.
#pragma once
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "ClassBuilder.h"
#include "FileModule.h"
#include "ZYNClass.h"

// Runs f with standard output captured; returns what it printed. A fatal error is reported in `fatal` and
// its line ("ERROR: ...") in `error`.
std::string Captured(const std::function<void()>& f, bool* fatal = nullptr, std::string* error = nullptr);

// Runs f and expects it to end with exactly this error line (given without "ERROR: ") and to print nothing:
// errors travel to the batch, which alone prints them.
void ExpectError(const std::function<void()>& f, const std::string& line);

// An input over bytes that it owns, as a file's context holds one. Not copyable: the input points into the
// bytes.
struct OwnedInput {
  Bytes bytes;
  FileModule::tInput in;

  OwnedInput() = default;
  explicit OwnedInput(Bytes data) { Reset(std::move(data)); }
  OwnedInput(const OwnedInput&) = delete;
  OwnedInput& operator=(const OwnedInput&) = delete;
  // Starts reading these bytes from their first one.
  void Reset(Bytes data) {
    bytes = std::move(data);
    FileModule::Reset(in, bytes);
  }
};

// Reads a class from bytes in a context of its own. The warning lines of reading go to `warnings`, the number
// of bytes read to `bytesRead`. An error fails the test and gives no class.
std::unique_ptr<ZYNClass::tClassDesc> ReadBytes(const Bytes& bytes, std::vector<std::string>* warnings = nullptr,
                                                std::int32_t* bytesRead = nullptr);

// Bytes held in a class's arena, for comparing with the bytes expected.
inline Bytes AsBytes(std::span<const std::uint8_t> bytes) { return {bytes.begin(), bytes.end()}; }

// Marks, renumbers and writes the class; returns the written bytes.
Bytes WriteMarked(ZYNClass::tClassDesc& cls, bool markAll = false);

// What the program does with these command-line words, run in this process: the batch, and an error that
// escapes it printed as main prints it. Returns the exit code. Output goes to standard output.
int RunLikeMain(const std::vector<std::string>& words);

struct RunResult {
  int code = -1;
  std::string out;
};

// RunLikeMain with standard output captured, in `dir` when one is given.
RunResult RunZyn(const std::vector<std::string>& words, const std::string& dir = {});

// A fresh scratch directory, removed with the object.
class TempDir {
public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
  std::string path_;
};

Bytes ReadFileBytes(const std::string& name);

// One instruction with a two-byte pool index.
inline Bytes Ins(std::uint8_t opcode, int index) {
  return {opcode, static_cast<std::uint8_t>(index >> 8), static_cast<std::uint8_t>(index)};
}

inline Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}
void WriteFileBytes(const std::string& name, const Bytes& bytes);
