// Helpers shared by the unit tests: running the reader on bytes, capturing the console, expecting errors.
#pragma once
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "ClassBuilder.h"
#include "ZYNClass.h"

// Runs f with standard output captured; returns what it printed. A fatal error is reported in `fatal`.
std::string Captured(const std::function<void()>& f, bool* fatal = nullptr);

// Runs f and expects it to end the run with exactly this error line.
void ExpectError(const std::function<void()>& f, const std::string& line);

// Reads a class from bytes (output captured and dropped unless asked for).
std::unique_ptr<ZYNClass::tClassDesc> ReadBytes(const Bytes& bytes, std::string* console = nullptr);

// Marks, renumbers and writes the class; returns the written bytes.
Bytes WriteMarked(ZYNClass::tClassDesc& cls, bool markAll = false);

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
void WriteFileBytes(const std::string& name, const Bytes& bytes);

// Resets options and diagnostics to their start-up state before each test.
class ZynTest : public ::testing::Test {
protected:
  void SetUp() override;
};
