// The archive side of a zyn run on a jar with no class work in it, on one thread: the floor that archives.sh
// compares `zyn X.jar` with.
//
// usage: zyn_zipcopy IN.jar OUT.jar
// Reads IN whole into memory, reads its directory with the project's zip module (every local header checked,
// as zyn does) and writes it again entry by entry with every entry kept as it is, each piece the module hands
// over going to OUT with its own write(2), as zyn writes its temporary file. Prints the number of entries, of
// class entries, the bytes in and out, and the largest class entry (inflated). OUT must not be IN.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ZYNError.h"
#include "ZYNZip.h"

namespace {

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "zyn_zipcopy: %s: %s\n", what.c_str(), std::strerror(errno));
  std::exit(1);
}

// open, fstat, read into a buffer of the file's size, close: the whole archive in memory.
std::vector<std::uint8_t> ReadAll(const std::string& name) {
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) Fail("cannot open " + name);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) Fail("cannot stat " + name);
  // Room for the read that finds the end, so that it does not move the bytes to a larger buffer.
  std::vector<std::uint8_t> data;
  data.reserve(static_cast<std::size_t>(st.st_size) + 65536);
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
  return data;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: zyn_zipcopy IN.jar OUT.jar\n");
    return 2;
  }
  const std::string in = argv[1], out = argv[2];
  const std::vector<std::uint8_t> bytes = ReadAll(in);
  ZYNZip::tArchive archive;
  try {
    archive = ZYNZip::Read(bytes, in);
  } catch (const ZYNError::Fatal& error) {
    std::fprintf(stderr, "zyn_zipcopy: %s\n", error.Line().c_str());
    return 1;
  }

  const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) Fail("cannot create " + out);
  std::uint64_t written = 0;
  ZYNZip::Write(
      archive, [](std::size_t) -> const ZYNZip::tReplacement* { return nullptr; },
      [&](ZYNZip::tBytes part) {
        std::size_t done = 0;
        while (done < part.size()) {
          const ssize_t put = ::write(fd, part.data() + done, part.size() - done);
          if (put < 0) {
            if (errno == EINTR) continue;
            Fail("cannot write " + out);
          }
          done += static_cast<std::size_t>(put);
        }
        written += part.size();
      });
  if (::close(fd) != 0) Fail("cannot close " + out);

  std::size_t classes = 0;
  std::uint64_t largest = 0;
  for (const ZYNZip::tEntry& e : archive.entries) {
    if (!e.IsClass()) continue;
    ++classes;
    if (e.size > largest) largest = e.size;
  }
  std::printf("%zu entries, %zu class entries, %zu bytes in, %llu bytes out, largest class entry %llu bytes\n",
              archive.entries.size(), classes, bytes.size(), static_cast<unsigned long long>(written),
              static_cast<unsigned long long>(largest));
  return written == bytes.size() ? 0 : 1;
}
