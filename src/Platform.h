// The small layer between the tool and the operating system: whole-file I/O, renaming and directory search.
// No other module includes an OS header.
// Uses: nothing else of ours.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Platform {

// One state of a file: which file it is, its size and its last changes. Bytes read earlier stand for the file
// as long as it shows the same.
struct tFileId {
  std::uint64_t dev = 0, ino = 0, size = 0;
  std::int64_t modified = 0, changed = 0;  // nanoseconds
  bool operator==(const tFileId&) const = default;
};
// Who owns a file and who may do what with it: what a file written in its place takes over.
struct tFileMode {
  unsigned uid = 0, gid = 0, mode = 0;
};
// The state of the file a name stands for (links followed); false when there is none. `mode`, when given,
// receives its owner and mode from the same look.
bool FileIdOf(const std::string& name, tFileId& id, tFileMode* mode = nullptr);

// The bytes of a file, in a buffer that is reused from file to file: it grows to the largest file read and
// is never cleared, which would cost as much as reading.
class FileBuffer {
public:
  std::span<const std::uint8_t> Bytes() const { return {data_.get(), size_}; }
  // The state of the file when it was read.
  const tFileId& Id() const { return id_; }
  // Hands the bytes over (the buffer is empty and grows again for the next file).
  std::unique_ptr<std::uint8_t[]> Take() {
    capacity_ = size_ = 0;
    return std::move(data_);
  }

private:
  friend struct tReading;
  std::unique_ptr<std::uint8_t[]> data_;
  std::size_t capacity_ = 0;
  std::size_t size_ = 0;
  tFileId id_;
};

// Reads the whole file (at most 2^31 - 1 bytes: the class reader counts positions in 32 bits); false, with
// no bytes, when the file cannot be read. When `whole` is given and says no to the file's first bytes (up to
// 4), nothing more is read: the buffer holds the first piece, at most 64 KiB, and a large file of another
// kind is not read for nothing.
bool ReadFile(const std::string& name, FileBuffer& buffer, bool (*whole)(std::span<const std::uint8_t> head) = nullptr);
// Reads the last `n` bytes of the file (all of a smaller one); false when it cannot be read.
bool ReadFileEnd(const std::string& name, std::size_t n, std::vector<std::uint8_t>& data);
// Reads the whole file when it holds at most `limit` bytes; false otherwise or when it cannot be read.
bool ReadFileUpTo(const std::string& name, std::size_t limit, std::vector<std::uint8_t>& data);
// Moves `from` to `to`, replacing a file of that name in one step.
bool RenameFile(const std::string& from, const std::string& to);
// Whether both names stand for one file (links followed).
bool SameFile(const std::string& a, const std::string& b);
// Gives the file a second name, which must not exist yet.
bool LinkFile(const std::string& existing, const std::string& name);
// A temporary file beside a name, written piece by piece: created with the permission bits, extended
// attributes (access control lists among them) of `near` and, where the process may set them, its owner and
// group. Where the file system makes unnamed files, it has no name until it moves to its target, so that a
// kill leaves nothing behind; elsewhere its name ends in ".~tmp", which no file list takes, and it is locked
// (flock) while it exists, so that a later run can tell a leftover (RemoveLeftover). Removed when destroyed
// unless moved, and by an interruption (HandleSignals) while it exists.
class TempFile {
public:
  TempFile() = default;
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  // False when the file cannot be created (LastError says why). It takes the owner and mode of the file
  // `near` (as `mode` gives them, when given, else as it is now) and its extended attributes.
  bool Create(const std::string& near, const tFileMode* mode = nullptr);
  // A failed write is remembered and reported by Close. Bytes of a MappedFile whose file shrank meanwhile
  // end the run as a read of them does (HandleSignals).
  void Write(std::span<const std::uint8_t> bytes);
  // Ends the writing, flushed to the disk first unless the caller syncs it later (SyncFileSystems); true only
  // when every byte reached it. The file stays open (and locked) until it moves or goes.
  bool Close(bool flush = true);
  // Whether Create made the file.
  bool Created() const { return fd_ >= 0 || !name_.empty(); }
  // A path in the file's folder (its name, where it has one), for SyncFileSystems.
  const std::string& Where() const { return name_.empty() ? folder_ : name_; }
  // Instead of a new file: a hard link to the existing file under a temporary name beside it. False where
  // the file system has none.
  bool LinkTo(const std::string& existing);
  // Moves the file to `target`, replacing a file of that name in one step; then it is no longer temporary.
  bool MoveTo(const std::string& target);

private:
  friend class MappedFile;
  bool Named();  // gives an unnamed file its temporary name
  std::string name_;    // empty while the file has none
  std::string folder_;  // its folder, with a "/"
  int fd_ = -1;
  bool ok_ = true;
  int error_ = 0;  // the first failure's reason
};
// Whether a file name (no folder) has the form of TempFile's names.
bool IsTemporaryName(std::string_view name);
// Removes a temporary file that no process holds (a run stopped by a kill left it); false when one holds it or
// it is not a regular file of that form.
bool RemoveLeftover(const std::string& path);
// Flushes the file systems that hold these files to the disk, each once.
void SyncFileSystems(const std::vector<std::string>& names);
// The system's reason for this thread's last failed call, as text ("No space left on device").
std::string LastError();
// Gives the memory that this thread's allocations freed back to the system: an allocator keeps it for the
// thread's next allocations, so that after large ones every thread would keep as much.
void ReleaseFreedMemory();

// An advisory lock on a file that a run rewrites, held from reading it to its commit, so that a second run
// does not take the same file at the same time.
class FileLock {
public:
  enum tState { kLocked, kBusy, kFailed };
  FileLock() = default;
  ~FileLock();
  FileLock(FileLock&& other) noexcept
      : fd_(std::exchange(other.fd_, -1)), id_(other.id_), size_(other.size_) {}
  FileLock& operator=(FileLock&& other) noexcept;
  // Locks the file the name stands for now (kBusy: another process holds it; kLocked also when this
  // process holds it already, under this name or another).
  tState Acquire(const std::string& name);
  // The state of the file when it was locked.
  const tFileId& Id() const { return id_; }
  // Whether the lock holds the file open (not when another lock of the process has it).
  bool Holds() const { return fd_ >= 0; }
  // Reads the locked file as ReadFile reads a name (false also when the lock holds no file of its own).
  bool Read(FileBuffer& buffer, bool (*whole)(std::span<const std::uint8_t> head) = nullptr) const;

private:
  void Release();
  int fd_ = -1;
  tFileId id_;
  std::int64_t size_ = -1;  // when locked, a regular file's size (else -1): reading needs no other look
};

// The processors the process may run on (its affinity; the hardware threads where the system does not tell).
unsigned ProcessorCount();

// How many more files the process may keep open, less a reserve for its work; the limit is raised to the
// most the system allows first.
std::size_t OpenFileRoom();

// Makes the process's table of open files hold `files` at once (at most what OpenFileRoom allows): growing it
// while the process has threads waits for every core to pass a quiescent point, each time it doubles, and
// costs little where it has none.
void ReserveOpenFiles(std::size_t files);

// From now on SIGINT, SIGTERM and SIGHUP remove every temporary file, call `report` and end the process with
// exit code 1 (a signal ignored when the process started, as under nohup, stays ignored); so does a read of
// a MappedFile whose file shrank under it (which would end the process with a bus error), calling `changed`
// with the file's name instead. A write beyond the file size limit fails instead of ending the process. Call
// before any other thread starts; false when the thread that waits for the signals cannot start (the system
// lacks memory for it).
bool HandleSignals(void (*report)(), void (*changed)(const std::string& name));
// Removes every temporary file, for a run that ends without unwinding; none is made or moved afterwards.
void RemoveTemporaryFiles();

// A whole file mapped into memory for reading; empty when it cannot be mapped (or is empty). Throws
// std::bad_alloc when the system lacks memory for the mapping.
class MappedFile {
public:
  MappedFile() = default;
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  bool Map(const std::string& name);
  // Maps a temporary file that Close has ended, named or not.
  bool Map(const TempFile& file);
  std::span<const std::uint8_t> Bytes() const { return {data_, size_}; }

private:
  bool MapOpen(int fd, const std::string& name);
  const std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  int slot_ = -1;  // where HandleSignals finds the mapping
};
// Lets the whole pages of these bytes leave the process's memory when they lie in a MappedFile (a later read
// finds them in the file again); other bytes stay as they are.
void DropMappedPages(std::span<const std::uint8_t> bytes);
// For a pass that reads bytes from front to back: lets the pages behind it go (DropMappedPages), a mebibyte
// at a time, so that reading a large mapped file does not keep all of it in memory.
class PagesBehind {
public:
  explicit PagesBehind(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  // The pass reads nothing more before this position (one further back is taken as no step at all).
  void Passed(std::size_t position);

private:
  std::span<const std::uint8_t> bytes_;
  std::size_t dropped_ = 0;  // the pages before it are gone
};
// Whether the name is a regular file (links followed).
bool IsFile(const std::string& name);
// Whether the name is a folder (links followed).
bool IsDirectory(const std::string& name);
// What a walk could not take: a folder that cannot be read, a path longer than the system takes.
struct tSkipped {
  bool folder = false;
  std::string path;    // with the walked folder in front
  std::string reason;  // the system's text
};
// The regular files below a folder (links to files followed, links to folders not), as paths relative to it
// with "/" between the components, in no particular order; false when the folder cannot be read. What it
// passes over below the folder is added to `skipped`; the paths that are links, to `links`.
bool WalkTree(const std::string& folder, std::vector<std::string>& paths, std::vector<tSkipped>* skipped = nullptr,
              std::vector<std::string>* links = nullptr);
// Whether the name is a symbolic link (not followed).
bool IsSymbolicLink(const std::string& name);
// The absolute name with every symbolic link resolved, or an empty text when it cannot be resolved.
std::string RealPath(const std::string& name);
// Names of the regular files (links followed) in a directory, in no particular order; false when the
// directory cannot be read. Those that are links, or may be (the directory does not tell), go to `links` too.
bool ListRegularFiles(const std::string& directory, std::vector<std::string>& names,
                      std::vector<std::string>* links = nullptr);

}  // namespace Platform
