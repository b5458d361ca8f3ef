#include "Platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <mutex>
#include <shared_mutex>
#include <set>
#include <new>
#include <system_error>
#include <thread>
#include <unordered_set>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <climits>
#include <limits>

// mimalloc's functions, where the program is linked with it (the library is not).
#if __has_include(<mimalloc.h>)
#include <mimalloc.h>
#pragma weak mi_collect
#pragma weak mi_option_set
#define ZYN_MIMALLOC_API
#endif

namespace Platform {

namespace {

constexpr std::size_t kMaxFileSize = std::numeric_limits<std::int32_t>::max();

thread_local int lastErrno = 0;

// Remembers the reason of a failed call for LastError.
bool Failed(int error = errno) {
  lastErrno = error;
  return false;
}

// Closes the descriptor however the function that opened it ends.
struct tDescriptor {
  int fd;
  ~tDescriptor() {
    if (fd >= 0) ::close(fd);
  }
};

// Fills `data` from the file's byte `offset` on, stopping early where the file ends; the bytes read, or -1.
ssize_t ReadAt(int fd, std::uint64_t offset, std::span<std::uint8_t> data) {
  std::size_t got = 0;
  while (got < data.size()) {
    const ssize_t r = ::pread(fd, data.data() + got, data.size() - got, static_cast<off_t>(offset + got));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return -1;
    if (r == 0) break;
    got += static_cast<std::size_t>(r);
  }
  return static_cast<ssize_t>(got);
}

// A path as the calls relative to a folder take it: the path itself where the system takes it in one piece;
// a longer one (a deep tree) is entered a piece at a time, each shorter than the system's limit, and the
// folder reached is held open with what is left of the path. The path must outlive it.
class tAt {
public:
  explicit tAt(const std::string& path) : name_(path.c_str()) {
    if (path.size() < PATH_MAX) return;
    std::size_t at = 0;
    while (path.size() - at >= PATH_MAX) {
      const std::size_t cut = path.rfind('/', at + PATH_MAX - 2);
      if (cut == std::string::npos || cut < at || (cut == at && at > 0)) {
        error_ = ENAMETOOLONG;
        return;
      }
      const std::string piece = cut == at ? std::string("/") : path.substr(at, cut - at);
      const int next = ::openat(Dir(), piece.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
      if (next < 0) {
        error_ = errno;
        return;
      }
      if (fd_ >= 0) ::close(fd_);
      fd_ = next;
      at = cut + 1;
      while (at < path.size() && path[at] == '/') ++at;
    }
    name_ = at < path.size() ? path.c_str() + at : ".";
  }
  ~tAt() {
    if (fd_ >= 0) ::close(fd_);
  }
  tAt(const tAt&) = delete;
  tAt& operator=(const tAt&) = delete;
  int Dir() const { return fd_ >= 0 ? fd_ : AT_FDCWD; }
  const char* Name() const { return name_; }
  // False, with errno set, where a folder on the way could not be entered.
  bool Ok() const {
    if (error_ != 0) errno = error_;
    return error_ == 0;
  }
  bool Stat(struct stat& st, bool follow = true) const {
    return Ok() && ::fstatat(Dir(), name_, &st, follow ? 0 : AT_SYMLINK_NOFOLLOW) == 0;
  }
  int Open(int flags, mode_t mode = 0) const { return Ok() ? ::openat(Dir(), name_, flags, mode) : -1; }
  bool Unlink() const { return Ok() && ::unlinkat(Dir(), name_, 0) == 0; }

private:
  int fd_ = -1;
  const char* name_;
  int error_ = 0;
};

bool Stat(const std::string& name, struct stat& st, bool follow = true) { return tAt(name).Stat(st, follow); }
int Open(const std::string& name, int flags, mode_t mode = 0) { return tAt(name).Open(flags, mode); }
bool Unlink(const std::string& name) { return tAt(name).Unlink(); }
bool Rename(const std::string& from, const std::string& to) {
  const tAt a(from), b(to);
  return a.Ok() && b.Ok() && ::renameat(a.Dir(), a.Name(), b.Dir(), b.Name()) == 0;
}
bool Link(const std::string& existing, const std::string& name) {
  const tAt a(existing), b(name);
  return a.Ok() && b.Ok() && ::linkat(a.Dir(), a.Name(), b.Dir(), b.Name(), 0) == 0;
}

// The folder of a name, ending in "/".
std::string FolderOf(const std::string& name) {
  const auto slash = name.rfind('/');
  return slash == std::string::npos ? std::string("./") : name.substr(0, slash + 1);
}

tFileId IdOf(const struct stat& st) {
  auto ns = [](const struct timespec& t) { return std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec; };
  return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
          static_cast<std::uint64_t>(st.st_size), ns(st.st_mtim), ns(st.st_ctim)};
}
}  // namespace

bool FileIdOf(const std::string& name, tFileId& id, tFileMode* mode) {
  struct stat st {};
  if (!Stat(name, st)) return false;
  id = IdOf(st);
  if (mode != nullptr) *mode = {st.st_uid, st.st_gid, st.st_mode & 07777};
  return true;
}

// Reads an open file into a buffer.
struct tReading {
  // `known`: the file's id and size (-1: no regular file) from a look at the descriptor just taken, or null.
  static bool Read(int fd, FileBuffer& buffer, bool (*whole)(std::span<const std::uint8_t>),
                   const std::pair<tFileId, std::int64_t>* known = nullptr);
};

bool ReadFile(const std::string& name, FileBuffer& buffer, bool (*whole)(std::span<const std::uint8_t> head)) {
  const tDescriptor file{Open(name, O_RDONLY | O_CLOEXEC)};
  return tReading::Read(file.fd, buffer, whole);
}

bool tReading::Read(int fd, FileBuffer& buffer, bool (*whole)(std::span<const std::uint8_t>),
                    const std::pair<tFileId, std::int64_t>* known) {
  buffer.size_ = 0;
  struct stat st {};
  if (fd < 0) return false;
  if (known != nullptr) {
    if (known->second < 0) return false;
    buffer.id_ = known->first;
    st.st_size = static_cast<off_t>(known->second);
  } else {
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    buffer.id_ = IdOf(st);
  }
  // Room for the file as its size says, and more as long as it grows while it is read.
  auto reserve = [&buffer](std::size_t size) {
    if (size <= buffer.capacity_) return;
    auto grown = std::make_unique_for_overwrite<std::uint8_t[]>(size);
    std::copy(buffer.data_.get(), buffer.data_.get() + buffer.size_, grown.get());
    buffer.data_ = std::move(grown);
    buffer.capacity_ = size;
  };
  const std::size_t size = static_cast<std::size_t>(std::min<off_t>(st.st_size, kMaxFileSize));
  // A file that may be of another kind is read a first piece at a time, so that a large one is not read or
  // given room for nothing.
  constexpr std::size_t kFirstPiece = 65536;
  std::size_t limit = whole != nullptr ? std::min(size + 1, kFirstPiece) : size + 1;
  reserve(limit);
  bool ok = true;
  while (buffer.size_ < kMaxFileSize) {
    if (buffer.size_ == limit) {
      if (whole != nullptr) {
        if (!whole(buffer.Bytes().first(std::min<std::size_t>(buffer.size_, 4)))) break;
        whole = nullptr;
        limit = std::max(limit, size + 1);
      }
      if (buffer.size_ == limit) limit = std::min(kMaxFileSize, 2 * limit);
      reserve(limit);
    }
    const std::size_t wanted = limit - buffer.size_;
    // At its offset, so that a descriptor read before (a lock's) needs no seek.
    const ssize_t got = ::pread(fd, buffer.data_.get() + buffer.size_, wanted, static_cast<off_t>(buffer.size_));
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    buffer.size_ += static_cast<std::size_t>(got);
    // A regular file reads short only at its end: no further call to learn it.
    if (static_cast<std::size_t>(got) < wanted && buffer.size_ >= size) break;
  }
  if (!ok) buffer.size_ = 0;
  return ok;
}

bool ReadFileEnd(const std::string& name, std::size_t n, std::vector<std::uint8_t>& data) {
  data.clear();
  const tDescriptor file{Open(name, O_RDONLY | O_CLOEXEC)};
  struct stat st {};
  if (file.fd < 0 || ::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  const auto size = static_cast<std::uint64_t>(st.st_size);
  const std::uint64_t from = size > n ? size - n : 0;
  data.resize(static_cast<std::size_t>(size - from));
  const ssize_t got = ReadAt(file.fd, from, data);  // short where the file shrank meanwhile
  if (got < 0) return false;
  data.resize(static_cast<std::size_t>(got));
  return true;
}

bool ReadFileUpTo(const std::string& name, std::size_t limit, std::vector<std::uint8_t>& data) {
  data.clear();
  const tDescriptor file{Open(name, O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
  struct stat st {};
  if (file.fd < 0 || ::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<std::uint64_t>(st.st_size) > limit)
    return false;
  // One byte more than the size said tells a file that grew beyond the limit.
  data.resize(static_cast<std::size_t>(st.st_size) + 1);
  const ssize_t got = ReadAt(file.fd, 0, data);
  const bool ok = got >= 0 && static_cast<std::size_t>(got) <= limit;
  data.resize(ok ? static_cast<std::size_t>(got) : 0);
  return ok;
}

bool RenameFile(const std::string& from, const std::string& to) { return Rename(from, to) || Failed(); }

bool SameFile(const std::string& a, const std::string& b) {
  struct stat x {}, y {};
  return Stat(a, x) && Stat(b, y) && x.st_dev == y.st_dev && x.st_ino == y.st_ino;
}

bool LinkFile(const std::string& existing, const std::string& name) { return Link(existing, name) || Failed(); }

namespace {

// The temporary files that exist now, so that an interruption can remove them. Creating, moving and
// removing one happen inside the gate, so none appears or vanishes unseen while they are removed; threads
// pass it together (the interruption alone), and the set itself has a mutex of its own.
std::shared_mutex tempGate;
std::mutex tempSetMutex;
std::unordered_set<std::string>& Temps() {
  static auto* temps = new std::unordered_set<std::string>();  // outlives every thread
  return *temps;
}
void Register(const std::string& name) {
  std::lock_guard lock(tempSetMutex);
  Temps().insert(name);
}
void Unregister(const std::string& name) {
  std::lock_guard lock(tempSetMutex);
  Temps().erase(name);
}

constexpr int kTempSuffix = 5;  // ".~tmp"

// The pattern with its six X filled in, a different name each call: from a random start of the process and
// a count, mixed, so that a name cannot be guessed ahead. A name that is taken is tried again by the caller.
void FillTempName(std::string& pattern) {
  static const std::uint64_t start = [] {
    std::uint64_t seed = 0;
    if (::getentropy(&seed, sizeof seed) != 0) seed = static_cast<std::uint64_t>(::getpid()) * 0x9E3779B97F4A7C15u;
    return seed;
  }();
  static std::atomic<std::uint64_t> count{0};
  std::uint64_t x = start + 0x9E3779B97F4A7C15u * ++count;  // splitmix64
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9u;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBu;
  x ^= x >> 31;
  constexpr std::string_view kChars = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  const std::size_t at = pattern.size() - kTempSuffix - 6;
  for (std::size_t i = 0; i < 6; ++i, x /= kChars.size()) pattern[at + i] = kChars[x % kChars.size()];
}

// The extended attributes of `from` (access control lists among them) on the open file; where the file
// system or the process's rights do not allow one, it is left out.
void CopyExtendedAttributes(const std::string& from, int fd) {
  std::vector<char> names(4096), value;
  // Through the file opened: a path may be longer than the calls by name take.
  const tDescriptor source{Open(from, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
  if (source.fd < 0) return;
  ssize_t size = ::flistxattr(source.fd, names.data(), names.size());
  if (size < 0 && errno == ERANGE && (size = ::flistxattr(source.fd, nullptr, 0)) > 0) {
    names.resize(static_cast<std::size_t>(size));
    size = ::flistxattr(source.fd, names.data(), names.size());
  }
  for (ssize_t at = 0; size > 0 && at < size;) {
    const char* name = names.data() + at;
    at += static_cast<ssize_t>(std::strlen(name)) + 1;
    const ssize_t length = ::fgetxattr(source.fd, name, nullptr, 0);
    if (length < 0) continue;
    value.resize(static_cast<std::size_t>(length));
    const ssize_t got = ::fgetxattr(source.fd, name, value.data(), value.size());
    if (got >= 0) (void)::fsetxattr(fd, name, value.data(), static_cast<std::size_t>(got), 0);
  }
}

// Makes a file of a new temporary name in `folder` through make(name), false with errno set when it cannot;
// a name that is taken is tried again. The name, registered for an interruption, or empty. Call inside the
// gate.
template <class F>
std::string MakeTemp(const std::string& folder, const F& make) {
  // Hidden, and with a last suffix that no file list takes.
  std::string name = folder + ".zyn-XXXXXX.~tmp";
  for (int attempt = 0; attempt < 100; ++attempt) {
    FillTempName(name);
    if (make(name)) {
      Register(name);
      return name;
    }
    if (errno != EEXIST) break;
  }
  Failed();  // EEXIST when every name tried was taken
  return {};
}

}  // namespace

void ReleaseFreedMemory() {
#ifdef ZYN_MIMALLOC_API
  if (&mi_collect != nullptr) {
    // A delayed decommit would leave the pages with the thread until it allocates again.
    mi_option_set(mi_option_decommit_delay, 0);
    mi_collect(true);
    return;
  }
#endif
  ::malloc_trim(0);
}

std::string LastError() {
  char text[256] = "unknown error";
  const int error = lastErrno != 0 ? lastErrno : EIO;
  // The GNU strerror_r returns its text, which may not be the buffer.
  return ::strerror_r(error, text, sizeof text);
}

TempFile::~TempFile() {
  if (!name_.empty()) {
    std::shared_lock gate(tempGate);
    Unlink(name_);
    Unregister(name_);
  }
  if (fd_ >= 0) ::close(fd_);  // after the unlink: the lock tells other runs the file is held until it goes
}

bool TempFile::Create(const std::string& near, const tFileMode* mode) {
  folder_ = FolderOf(near);
  // An unnamed file where the file system makes one and the process can name it later (through /proc).
  static const bool nameable = ::access("/proc/self/fd", X_OK) == 0;
  fd_ = nameable ? Open(folder_, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600) : -1;
  if (fd_ < 0) {
    std::shared_lock gate(tempGate);
    name_ = MakeTemp(folder_, [this](const std::string& name) {
      return (fd_ = Open(name, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600)) >= 0;
    });
    if (name_.empty()) return false;
    // Held while the name exists: a later run removes only the leftovers no process holds.
    (void)::flock(fd_, LOCK_EX | LOCK_NB);
  }
  tFileMode now;
  if (struct stat st {}; mode == nullptr && Stat(near, st)) {
    now = {st.st_uid, st.st_gid, st.st_mode & 07777};
    mode = &now;
  }
  if (mode != nullptr) {
    // The owner and group stay the original's where the process may set them (as root, say); elsewhere the
    // file is the process's own, as any file it creates.
    if (::fchown(fd_, mode->uid, mode->gid) != 0) (void)::fchown(fd_, static_cast<uid_t>(-1), mode->gid);
    if (::fchmod(fd_, mode->mode) != 0) {
      ok_ = false;
      error_ = errno;
    }
    // After the mode: an access control list sets the group bits to its mask.
    CopyExtendedAttributes(near, fd_);
  }
  return true;
}

void TempFile::Write(std::span<const std::uint8_t> bytes) {
  std::size_t done = 0;
  while (ok_ && done < bytes.size()) {
    const ssize_t put = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (put < 0) {
      // The system does not raise a bus error for bytes it cannot copy: reading them here does.
      if (errno == EFAULT)
        for (std::size_t at = done; at < bytes.size(); at += 4096)
          (void)*static_cast<const volatile std::uint8_t*>(&bytes[at]);
      if (errno != EINTR) ok_ = false, error_ = errno;
      continue;
    }
    done += static_cast<std::size_t>(put);
  }
}

bool TempFile::Close(bool flush) {
  if (fd_ < 0) return Failed(EBADF);
  // On the disk before it takes a name: after a power loss the name holds the old file or the whole new one.
  if (flush && ok_ && ::fdatasync(fd_) != 0) ok_ = false, error_ = errno;
  // Some file systems report a full disk only when the file is closed; closing a second descriptor of it
  // tells as well, and the file stays open (and locked) until it moves.
  // (Where the process has no descriptor to spare for it, a flushed file has told already.)
  if (const int second = ::dup(fd_); second >= 0 && ::close(second) != 0 && ok_) ok_ = false, error_ = errno;
  return ok_ || Failed(error_);
}

bool TempFile::LinkTo(const std::string& existing) {
  std::shared_lock gate(tempGate);
  name_ = MakeTemp(FolderOf(existing), [&](const std::string& name) { return Link(existing, name); });
  return !name_.empty();
}

bool TempFile::Named() {
  if (!name_.empty()) return true;
  if (fd_ < 0) return Failed(EBADF);
  const std::string self = "/proc/self/fd/" + std::to_string(fd_);
  name_ = MakeTemp(folder_, [&](const std::string& name) {
    const tAt at(name);
    return at.Ok() && ::linkat(AT_FDCWD, self.c_str(), at.Dir(), at.Name(), AT_SYMLINK_FOLLOW) == 0;
  });
  return !name_.empty();
}

bool TempFile::MoveTo(const std::string& target) {
  std::shared_lock gate(tempGate);
  // An unnamed file takes its temporary name only now, just before it takes the target's.
  if (!Named()) return false;
  if (!Rename(name_, target)) return Failed();
  Unregister(name_);
  name_.clear();
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  return true;
}

bool IsTemporaryName(std::string_view name) {
  constexpr std::string_view kHead = ".zyn-", kTail = ".~tmp";
  if (name.size() != kHead.size() + 6 + kTail.size() || !name.starts_with(kHead) || !name.ends_with(kTail)) return false;
  return std::all_of(name.begin() + kHead.size(), name.end() - kTail.size(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
  });
}

bool RemoveLeftover(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (!IsTemporaryName(slash == std::string::npos ? path : path.substr(slash + 1))) return false;
  const tAt at(path);
  const tDescriptor file{at.Open(O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)};
  struct stat held {}, named {};
  if (file.fd < 0 || ::fstat(file.fd, &held) != 0 || !S_ISREG(held.st_mode)) return false;
  // A running zyn holds its temporary files locked (a result that waits under its temporary name).
  if (::flock(file.fd, LOCK_EX | LOCK_NB) != 0) return false;
  if (!at.Stat(named, false) || named.st_dev != held.st_dev || named.st_ino != held.st_ino) return false;
  return at.Unlink() || Failed();
}

void SyncFileSystems(const std::vector<std::string>& names) {
  std::vector<dev_t> synced;
  // Files made in one folder are on its file system: one look per folder.
  std::vector<std::string_view> folders;
  for (const std::string& name : names) {
    const std::string_view folder = std::string_view(name).substr(0, name.rfind('/') + 1);
    if (std::find(folders.begin(), folders.end(), folder) != folders.end()) continue;
    struct stat st {};
    if (!Stat(name, st)) continue;
    folders.push_back(folder);
    if (std::find(synced.begin(), synced.end(), st.st_dev) != synced.end()) continue;
    synced.push_back(st.st_dev);
    const int fd = Open(name, O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::syncfs(fd) != 0) ::sync();
    if (fd >= 0) ::close(fd);
  }
}

namespace {

// The files this process holds locked: another of its own names for one of them (a hard link, a second
// look) is not another run.
std::mutex lockMutex;
std::set<std::pair<dev_t, ino_t>>& Locked() {
  static auto* locked = new std::set<std::pair<dev_t, ino_t>>();  // outlives every thread
  return *locked;
}

}  // namespace

FileLock::~FileLock() { Release(); }

void FileLock::Release() {
  if (fd_ < 0) return;
  {
    std::lock_guard lock(lockMutex);
    Locked().erase({static_cast<dev_t>(id_.dev), static_cast<ino_t>(id_.ino)});
  }
  ::close(fd_);
  fd_ = -1;
}

bool FileLock::Read(FileBuffer& buffer, bool (*whole)(std::span<const std::uint8_t> head)) const {
  const std::pair<tFileId, std::int64_t> known{id_, size_};
  return fd_ >= 0 && tReading::Read(fd_, buffer, whole, &known);
}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
  if (this != &other) {
    Release();
    fd_ = std::exchange(other.fd_, -1);
    id_ = other.id_;
    size_ = other.size_;
  }
  return *this;
}

FileLock::tState FileLock::Acquire(const std::string& name) {
  Release();
  // A file replaced between opening and locking is opened again: the lock must be on what the name holds.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const tAt at(name);
    const int fd = at.Open(O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat held {};
    if (fd < 0 || ::fstat(fd, &held) != 0) {
      Failed();
      if (fd >= 0) ::close(fd);
      return kFailed;
    }
    std::lock_guard lock(lockMutex);
    if (Locked().contains({held.st_dev, held.st_ino})) {
      ::close(fd);
      return kLocked;  // this process has it already
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      ::close(fd);
      if (error == EWOULDBLOCK) return kBusy;
      if (error == EINTR) continue;
      Failed(error);
      return kFailed;
    }
    struct stat now {};
    if (at.Stat(now) && held.st_dev == now.st_dev && held.st_ino == now.st_ino) {
      fd_ = fd;
      id_ = IdOf(held);
      size_ = S_ISREG(held.st_mode) ? static_cast<std::int64_t>(held.st_size) : -1;
      Locked().insert({held.st_dev, held.st_ino});
      return kLocked;
    }
    ::close(fd);
  }
  return kFailed;
}

unsigned ProcessorCount() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return static_cast<unsigned>(CPU_COUNT(&set));
  return std::max(std::thread::hardware_concurrency(), 1u);
}

std::size_t OpenFileRoom() {
  constexpr rlim_t kReserve = 256;  // files, mappings and threads of the run itself
  struct rlimit limit {};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
  if (limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    (void)::setrlimit(RLIMIT_NOFILE, &limit);
    (void)::getrlimit(RLIMIT_NOFILE, &limit);
  }
  const rlim_t room = limit.rlim_cur == RLIM_INFINITY ? rlim_t{1} << 20 : limit.rlim_cur;
  return room > kReserve ? static_cast<std::size_t>(room - kReserve) : 0;
}

void ReserveOpenFiles(std::size_t files) {
  files = std::min(files, OpenFileRoom());
  if (files == 0 || files > static_cast<std::size_t>(INT_MAX)) return;
  const int any = ::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (any < 0) return;
  // A descriptor that high grows the table at once; it does not shrink when the descriptor is closed.
  const int high = ::fcntl(any, F_DUPFD_CLOEXEC, static_cast<int>(files - 1));
  if (high >= 0) ::close(high);
  ::close(any);
}

namespace {

// The mappings that exist now, for the bus error handler: a read inside one of them that faults means that
// its file shrank under it. Fixed slots, as the handler may neither lock nor allocate; there are more than
// the threads can map at once.
constexpr int kMappingSlots = 1024;
struct tMappingSlot {
  std::atomic<std::uintptr_t> begin{0}, end{0};  // begin 0: free
};
tMappingSlot mappingSlots[kMappingSlots];
std::mutex mappingMutex;  // guards the names and the choice of a free slot
std::string& MappingName(int slot) {
  static auto* names = new std::string[kMappingSlots];  // outlives every thread
  return names[slot];
}
// The slot of the first mapping that faulted; it is never handed out again.
std::atomic<int> faultedSlot{-1};
// Wakes the thread that waits for the signals after a fault.
constexpr int kHandOver = SIGUSR1;

int RegisterMapping(const std::string& name, const void* data, std::size_t size) {
  std::lock_guard lock(mappingMutex);
  for (int slot = 0; slot < kMappingSlots; ++slot) {
    if (mappingSlots[slot].begin.load() != 0 || slot == faultedSlot.load()) continue;
    MappingName(slot) = name;
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    mappingSlots[slot].end.store(begin + size);
    mappingSlots[slot].begin.store(begin);
    return slot;
  }
  return -1;
}

void UnregisterMapping(int slot) {
  if (slot < 0) return;
  std::lock_guard lock(mappingMutex);
  mappingSlots[slot].begin.store(0);
}

// Runs on the faulting thread: the thread that waits for the signals ends the run, this one waits for it.
void OnBusError(int, siginfo_t* info, void*) {
  const auto at = reinterpret_cast<std::uintptr_t>(info->si_addr);
  for (int slot = 0; slot < kMappingSlots; ++slot) {
    const std::uintptr_t begin = mappingSlots[slot].begin.load();
    if (begin == 0 || at < begin || at >= mappingSlots[slot].end.load()) continue;
    int none = -1;
    faultedSlot.compare_exchange_strong(none, slot);
    ::kill(::getpid(), kHandOver);
    for (;;) ::pause();
  }
  // Not a file's mapping: the default action, when the read faults again.
  ::signal(SIGBUS, SIG_DFL);
}

}  // namespace

bool HandleSignals(void (*report)(), void (*changed)(const std::string& name)) {
  // A write beyond the file size limit then fails with EFBIG, which the writer reports.
  std::signal(SIGXFSZ, SIG_IGN);
  sigset_t set;
  sigemptyset(&set);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction current {};
    if (::sigaction(s, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
    sigaddset(&set, s);
  }
  sigaddset(&set, kHandOver);
  // Every thread started later inherits the mask: only the waiting thread takes these signals.
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  try {
    std::thread([set, report, changed] {
      int taken = 0;
      // A stray SIGUSR1 without a fault is not a reason to stop.
      while (sigwait(&set, &taken) != 0 || (taken == kHandOver && faultedSlot.load() < 0)) {
      }
      // The gate stays closed: no temporary file is made, moved or left behind any more.
      tempGate.lock();
      for (const std::string& name : Temps()) Unlink(name);
      if (taken == kHandOver) {
        std::lock_guard lock(mappingMutex);
        changed(MappingName(faultedSlot.load()));
      } else {
        report();
      }
      std::_Exit(1);
    }).detach();
  } catch (const std::system_error&) {
    return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
  struct sigaction bus {};
  bus.sa_sigaction = OnBusError;
  bus.sa_flags = SA_SIGINFO;
  sigemptyset(&bus.sa_mask);
  sigaction(SIGBUS, &bus, nullptr);
  return true;
}

void RemoveTemporaryFiles() {
  // The thread that ends the run may be inside the gate itself: then the files cannot be known, and stay.
  if (!tempGate.try_lock()) return;
  for (const std::string& name : Temps()) Unlink(name);
}

MappedFile::~MappedFile() {
  if (data_ == nullptr) return;
  UnregisterMapping(slot_);
  ::munmap(const_cast<std::uint8_t*>(data_), size_);
}

bool MappedFile::Map(const TempFile& temp) { return temp.fd_ >= 0 && MapOpen(temp.fd_, temp.Where()); }

bool MappedFile::Map(const std::string& name) {
  const tDescriptor file{Open(name, O_RDONLY | O_CLOEXEC)};
  return file.fd >= 0 && MapOpen(file.fd, name);
}

bool MappedFile::MapOpen(int fd, const std::string& name) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (st.st_size == 0) return true;
  void* p = ::mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
  if (p == MAP_FAILED) {
    if (errno == ENOMEM) throw std::bad_alloc();
    return false;
  }
  data_ = static_cast<const std::uint8_t*>(p);
  size_ = static_cast<std::size_t>(st.st_size);
  slot_ = RegisterMapping(name, data_, size_);
  return true;
}

void DropMappedPages(std::span<const std::uint8_t> bytes) {
  static const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto begin = reinterpret_cast<std::uintptr_t>(bytes.data()), end = begin + bytes.size();
  const std::uintptr_t from = (begin + page - 1) / page * page, to = end / page * page;
  if (from >= to) return;
  // Other memory would come back as zeros.
  std::lock_guard lock(mappingMutex);
  for (const tMappingSlot& slot : mappingSlots) {
    const std::uintptr_t b = slot.begin.load();
    if (b == 0 || begin < b || end > slot.end.load()) continue;
    ::madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
    return;
  }
}

void PagesBehind::Passed(std::size_t position) {
  constexpr std::size_t kStep = std::size_t{1} << 20;
  if (position < dropped_ || position - dropped_ < kStep || position > bytes_.size()) return;
  DropMappedPages(bytes_.subspan(dropped_, position - dropped_));
  dropped_ = position;
}

namespace {
// The type and mode bits of the file the name stands for, or 0 when there is none.
mode_t ModeOf(const std::string& name, bool follow = true) {
  struct stat st {};
  return Stat(name, st, follow) ? st.st_mode : 0;
}
}  // namespace

bool IsFile(const std::string& name) { return S_ISREG(ModeOf(name)); }

bool IsDirectory(const std::string& name) { return S_ISDIR(ModeOf(name)); }

bool WalkTree(const std::string& folder, std::vector<std::string>& paths, std::vector<tSkipped>* skipped,
              std::vector<std::string>* links) {
  paths.clear();
  std::vector<std::string> pending{""};
  bool first = true;
  auto skip = [&](bool isFolder, const std::string& path, int error) {
    if (skipped != nullptr) skipped->push_back({isFolder, path, std::strerror(error)});
  };
  while (!pending.empty()) {
    const std::string relative = std::move(pending.back());
    pending.pop_back();
    std::string path = folder.empty() ? "." : folder;
    if (path.back() != '/') path += '/';
    path += relative;
    // A folder below is entered only as the folder it was listed as, not through a link put in its place.
    const int fd = Open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC | (first ? 0 : O_NOFOLLOW));
    DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (dir == nullptr) {
      const int error = errno;
      if (fd >= 0) ::close(fd);
      if (first) return false;
      skip(true, path, error);
      continue;
    }
    first = false;
    if (path.back() != '/') path += '/';
    const int at = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      unsigned char type = entry->d_type;
      if (type == DT_UNKNOWN) {
        struct stat st {};
        if (::fstatat(at, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
          skip(false, path + name, errno);
          continue;
        }
        type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
      }
      const std::string below = relative.empty() ? name : relative + "/" + name;
      if (type == DT_DIR) {
        pending.push_back(below);
      } else if (type == DT_REG) {
        paths.push_back(below);
      } else if (type == DT_LNK) {
        // A link to a file is listed; a link to a folder is not followed (it could lead in a circle).
        struct stat st {};
        if (::fstatat(at, name.c_str(), &st, 0) == 0 && S_ISREG(st.st_mode)) {
          paths.push_back(below);
          if (links != nullptr) links->push_back(below);
        }
      }
    }
    ::closedir(dir);
  }
  return true;
}

bool IsSymbolicLink(const std::string& name) { return S_ISLNK(ModeOf(name, false)); }

std::string RealPath(const std::string& name) {
  char* resolved = ::realpath(name.c_str(), nullptr);
  if (resolved == nullptr) return {};
  std::string path = resolved;
  std::free(resolved);
  return path;
}

bool ListRegularFiles(const std::string& directory, std::vector<std::string>& names, std::vector<std::string>* links) {
  names.clear();
  const int fd = Open(directory.empty() ? "." : directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
  if (dir == nullptr) {
    if (fd >= 0) ::close(fd);
    return false;
  }
  const int at = ::dirfd(dir);
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    // The type from the directory saves a stat per file; links and unknown types are followed.
    bool regular = entry->d_type == DT_REG;
    if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
      struct stat st {};
      regular = ::fstatat(at, name.c_str(), &st, 0) == 0 && S_ISREG(st.st_mode);
    }
    if (regular) names.push_back(name);
    if (regular && entry->d_type != DT_REG && links != nullptr) links->push_back(name);
  }
  ::closedir(dir);
  return true;
}

}  // namespace Platform
