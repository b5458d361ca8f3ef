// The small layer between the tool and the operating system: whole-file I/O, renaming and directory search.
// No other module includes an OS header.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace Platform {

// The bytes of a file, in a buffer that is reused from file to file: it grows to the largest file read and
// is never cleared, which would cost as much as reading.
class FileBuffer {
public:
  std::span<const std::uint8_t> Bytes() const { return {data_.get(), size_}; }

private:
  friend bool ReadFile(const std::string& name, FileBuffer& buffer);
  std::unique_ptr<std::uint8_t[]> data_;
  std::size_t capacity_ = 0;
  std::size_t size_ = 0;
};

// Reads the whole file (at most 2^31 - 1 bytes: the class reader counts positions in 32 bits); false, with
// no bytes, when the file cannot be read.
bool ReadFile(const std::string& name, FileBuffer& buffer);
bool ReadFile(const std::string& name, std::vector<std::uint8_t>& data);
// Creates or truncates the file and writes all bytes; true only when every byte reached the file and it was
// closed without error.
bool WriteFile(const std::string& name, const std::vector<std::uint8_t>& data);
// Moves `from` to `to`, replacing a file of that name in one step.
bool RenameFile(const std::string& from, const std::string& to);
bool RemoveFile(const std::string& name);
// Writes the bytes to a new file with a unique name in the directory of `near`, with the permission bits of
// `near` and, where the process may set them, its owner and group; returns its name, or an empty text when any step failed (and then leaves no file behind).
std::string WriteTempFileBeside(const std::string& near, const std::vector<std::uint8_t>& data);
// Whether the name is a symbolic link (not followed).
bool IsSymbolicLink(const std::string& name);
// The absolute name with every symbolic link resolved, or an empty text when it cannot be resolved.
std::string RealPath(const std::string& name);
// Names of the regular files (links followed) in a directory, in no particular order; false when the
// directory cannot be read.
bool ListRegularFiles(const std::string& directory, std::vector<std::string>& names);

}  // namespace Platform
