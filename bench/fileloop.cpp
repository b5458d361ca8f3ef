// The file operations of a zyn run with no work between them, on one thread: the floor that zyn's own
// throughput is compared with.
//
// usage: zyn_fileloop read|rewrite DIR
//   read     lists DIR's *.class files, then opens, reads whole and closes each one (zyn -tst)
//   rewrite  also writes each file's bytes to a new temporary file beside it, moves the file to its backup
//            name (Foo.class -> Foo.~class) and the temporary file to the file's name (zyn, default keys)
// Prints the number of files and bytes handled.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "zyn_fileloop: %s: %s\n", what.c_str(), std::strerror(errno));
  std::exit(1);
}

// The regular files (links followed) of the directory whose names match *.class, sorted by name: what zyn
// lists for the pattern DIR/*.class. The entry's type saves a stat per file, as in zyn.
std::vector<std::string> List(const std::string& directory) {
  DIR* dir = ::opendir(directory.c_str());
  if (dir == nullptr) Fail("cannot list " + directory);
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    bool regular = entry->d_type == DT_REG;
    if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
      struct stat st {};
      regular = ::stat((directory + std::string(name)).c_str(), &st) == 0 && S_ISREG(st.st_mode);
    }
    if (regular) names.emplace_back(name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  std::vector<std::string> matching;
  for (const std::string& name : names)
    if (name.size() >= 6 && name.compare(name.size() - 6, 6, ".class") == 0) matching.push_back(directory + name);
  return matching;
}

// open, fstat, read into a buffer of the file's size, close: as zyn reads a class file.
void Read(const std::string& name, std::vector<std::uint8_t>& data) {
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) Fail("cannot open " + name);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) Fail("cannot stat " + name);
  data.resize(static_cast<std::size_t>(st.st_size));
  std::size_t done = 0;
  for (;;) {
    if (done == data.size()) data.resize(data.size() + 65536);
    const ssize_t got = ::read(fd, data.data() + done, data.size() - done);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      Fail("cannot read " + name);
    }
    done += static_cast<std::size_t>(got);
  }
  data.resize(done);
  if (::close(fd) != 0) Fail("cannot close " + name);
}

// Foo.class -> Foo.~class: the last "."-suffix of the file name is replaced.
std::string BackupName(const std::string& name) {
  const std::size_t slash = name.rfind('/');
  const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
  std::size_t j = name.size();
  while (j > start && name[j] != '.') --j;
  if (j == start) j = name.size();
  return name.substr(0, j) + ".~class";
}

// The sequence of zyn's default mode: a temporary file beside the original (mkstemp, the original's
// permission bits, the bytes, close), the original to its backup name, the temporary file to its name.
void Rewrite(const std::string& name, const std::vector<std::uint8_t>& data) {
  std::string temp = name.substr(0, name.rfind('/') + 1) + ".zyn-XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) Fail("cannot create a file beside " + name);
  struct stat st {};
  if (::stat(name.c_str(), &st) != 0 || ::fchmod(fd, st.st_mode & 07777) != 0) Fail("cannot copy the mode of " + name);
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t put = ::write(fd, data.data() + done, data.size() - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      Fail("cannot write " + temp);
    }
    done += static_cast<std::size_t>(put);
  }
  if (::close(fd) != 0) Fail("cannot close " + temp);
  const std::string backup = BackupName(name);
  if (std::rename(name.c_str(), backup.c_str()) != 0) Fail("cannot rename " + name);
  if (std::rename(temp.c_str(), name.c_str()) != 0) Fail("cannot rename " + temp);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string_view mode = argc == 3 ? argv[1] : "";
  if (mode != "read" && mode != "rewrite") {
    std::fprintf(stderr, "usage: %s read|rewrite DIR\n", argv[0]);
    return 2;
  }
  std::string directory = argv[2];
  if (directory.back() != '/') directory += '/';
  std::vector<std::uint8_t> data;
  std::size_t files = 0, bytes = 0;
  for (const std::string& name : List(directory)) {
    Read(name, data);
    if (mode == "rewrite") Rewrite(name, data);
    ++files;
    bytes += data.size();
  }
  std::printf("%zu files, %zu bytes\n", files, bytes);
  return 0;
}
