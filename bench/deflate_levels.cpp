// Which deflate library, at which level, to re-compress class entries of a jar with: zlib or libdeflate.
//
// usage: zyn_deflate_bench [--runs N] PATH...
//   PATH  a directory (searched recursively for *.class) or a file (taken whatever its name)
//   N     timed runs per configuration (default 7, at least 1); one untimed run comes first
//
// All files are read into memory first. Each configuration then compresses every file on its own, as a raw
// deflate stream (what a jar entry holds), on one thread:
//   zlib        deflateInit2(level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) once, deflateReset per file;
//               levels 1, 6 and 9
//   libdeflate  one compressor per level, libdeflate_deflate_compress per file; levels 1 to 9 and 12
// Both keep their state from file to file, as a tool writing a jar would. Decompression is then timed on
// the level-6 output of each library, with each library's decoder:
//   zlib        inflateInit2(-15) once, inflateReset per file, one inflate(Z_FINISH) into a buffer of the
//               file's size
//   libdeflate  libdeflate_deflate_decompress with the size known (the output must fill it exactly)
// Every decoded file is checked against the original, once, before the timing.
//
// A round runs every configuration once, in order, and there are N rounds, so a slow spell of the machine
// touches all configurations alike. Each configuration's figure is the median over its N runs of the time for
// all files, on the wall clock and on the CPU clock (which leaves out spells in which other processes
// had the core). MB/s is the uncompressed size (10^6 bytes) over the median wall time, for both directions.
// The last line names the configuration with the lowest median wall time among those whose total is at most
// zlib level 6's.
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "zyn_deflate_bench: %s\n", what.c_str());
  std::exit(1);
}

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail("cannot read " + path.string());
  Bytes data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) Fail("cannot read " + path.string());
  return data;
}

// The files named by the arguments, directories searched recursively for *.class, in sorted order.
std::vector<Bytes> Load(const std::vector<std::string>& paths) {
  std::vector<fs::path> files;
  for (const std::string& arg : paths) {
    std::error_code error;
    if (fs::is_directory(arg, error)) {
      for (fs::recursive_directory_iterator it(arg, error), end; !error && it != end; it.increment(error)) {
        if (it->is_regular_file(error) && it->path().extension() == ".class") files.push_back(it->path());
      }
      if (error) Fail("cannot list " + arg + ": " + error.message());
    } else {
      files.push_back(arg);
    }
  }
  std::sort(files.begin(), files.end());
  std::vector<Bytes> data;
  data.reserve(files.size());
  for (const fs::path& file : files) data.push_back(ReadFile(file));
  return data;
}

// CPU time of the process, which has one thread: std::clock reads the precise CPU clock on Linux, where the
// thread's resource usage counts in scheduler ticks.
double ThreadCpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// One compressed file: its bytes live in a buffer of the library's bound, of which `size` are used.
struct Packed {
  Bytes buffer;
  size_t size = 0;
};

// A configuration: a function that handles every file once and returns the bytes it produced (compressed
// bytes for compression, decoded bytes for decompression), plus its timings.
struct Config {
  std::string name;
  bool compresses = true;
  int library = 0;  // 0 zlib, 1 libdeflate
  int level = 0;
  std::function<uint64_t()> run;
  uint64_t total = 0;
  std::vector<double> wall;
  std::vector<double> cpu;
};

class ZlibDeflater {
 public:
  ZlibDeflater(int level, const std::vector<Bytes>& files) : files_(files), out_(files.size()) {
    std::memset(&stream_, 0, sizeof stream_);
    if (deflateInit2(&stream_, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) Fail("deflateInit2");
    for (size_t i = 0; i < files.size(); ++i) out_[i].buffer.resize(deflateBound(&stream_, files[i].size()));
  }
  ~ZlibDeflater() { deflateEnd(&stream_); }
  ZlibDeflater(const ZlibDeflater&) = delete;
  ZlibDeflater& operator=(const ZlibDeflater&) = delete;

  uint64_t Run() {
    uint64_t total = 0;
    for (size_t i = 0; i < files_.size(); ++i) {
      if (deflateReset(&stream_) != Z_OK) Fail("deflateReset");
      stream_.next_in = const_cast<Bytef*>(files_[i].data());
      stream_.avail_in = static_cast<uInt>(files_[i].size());
      stream_.next_out = out_[i].buffer.data();
      stream_.avail_out = static_cast<uInt>(out_[i].buffer.size());
      if (deflate(&stream_, Z_FINISH) != Z_STREAM_END) Fail("deflate did not finish");
      out_[i].size = out_[i].buffer.size() - stream_.avail_out;
      total += out_[i].size;
    }
    return total;
  }
  const std::vector<Packed>& Output() const { return out_; }

 private:
  const std::vector<Bytes>& files_;
  std::vector<Packed> out_;
  z_stream stream_;
};

class LibdeflateCompressor {
 public:
  LibdeflateCompressor(int level, const std::vector<Bytes>& files)
      : files_(files), out_(files.size()), compressor_(libdeflate_alloc_compressor(level)) {
    if (compressor_ == nullptr) Fail("libdeflate_alloc_compressor");
    for (size_t i = 0; i < files.size(); ++i) {
      out_[i].buffer.resize(libdeflate_deflate_compress_bound(compressor_, files[i].size()));
    }
  }
  ~LibdeflateCompressor() { libdeflate_free_compressor(compressor_); }
  LibdeflateCompressor(const LibdeflateCompressor&) = delete;
  LibdeflateCompressor& operator=(const LibdeflateCompressor&) = delete;

  uint64_t Run() {
    uint64_t total = 0;
    for (size_t i = 0; i < files_.size(); ++i) {
      out_[i].size = libdeflate_deflate_compress(compressor_, files_[i].data(), files_[i].size(),
                                                 out_[i].buffer.data(), out_[i].buffer.size());
      if (out_[i].size == 0) Fail("libdeflate_deflate_compress: no room");
      total += out_[i].size;
    }
    return total;
  }
  const std::vector<Packed>& Output() const { return out_; }

 private:
  const std::vector<Bytes>& files_;
  std::vector<Packed> out_;
  libdeflate_compressor* compressor_;
};

class ZlibInflater {
 public:
  ZlibInflater(const std::vector<Packed>& packed, const std::vector<Bytes>& files)
      : packed_(packed), out_(files.size()) {
    std::memset(&stream_, 0, sizeof stream_);
    if (inflateInit2(&stream_, -15) != Z_OK) Fail("inflateInit2");
    for (size_t i = 0; i < files.size(); ++i) out_[i].resize(files[i].size());
  }
  ~ZlibInflater() { inflateEnd(&stream_); }
  ZlibInflater(const ZlibInflater&) = delete;
  ZlibInflater& operator=(const ZlibInflater&) = delete;

  uint64_t Run() {
    uint64_t total = 0;
    for (size_t i = 0; i < packed_.size(); ++i) {
      if (inflateReset(&stream_) != Z_OK) Fail("inflateReset");
      stream_.next_in = const_cast<Bytef*>(packed_[i].buffer.data());
      stream_.avail_in = static_cast<uInt>(packed_[i].size);
      stream_.next_out = out_[i].data();
      stream_.avail_out = static_cast<uInt>(out_[i].size());
      if (inflate(&stream_, Z_FINISH) != Z_STREAM_END || stream_.avail_out != 0) Fail("inflate failed");
      total += out_[i].size();
    }
    return total;
  }
  const std::vector<Bytes>& Output() const { return out_; }

 private:
  const std::vector<Packed>& packed_;
  std::vector<Bytes> out_;
  z_stream stream_;
};

class LibdeflateDecompressor {
 public:
  LibdeflateDecompressor(const std::vector<Packed>& packed, const std::vector<Bytes>& files)
      : packed_(packed), out_(files.size()), decompressor_(libdeflate_alloc_decompressor()) {
    if (decompressor_ == nullptr) Fail("libdeflate_alloc_decompressor");
    for (size_t i = 0; i < files.size(); ++i) out_[i].resize(files[i].size());
  }
  ~LibdeflateDecompressor() { libdeflate_free_decompressor(decompressor_); }
  LibdeflateDecompressor(const LibdeflateDecompressor&) = delete;
  LibdeflateDecompressor& operator=(const LibdeflateDecompressor&) = delete;

  uint64_t Run() {
    uint64_t total = 0;
    for (size_t i = 0; i < packed_.size(); ++i) {
      // No actual-size pointer: the output must be exactly the buffer's size, which is known.
      if (libdeflate_deflate_decompress(decompressor_, packed_[i].buffer.data(), packed_[i].size, out_[i].data(),
                                        out_[i].size(), nullptr) != LIBDEFLATE_SUCCESS) {
        Fail("libdeflate_deflate_decompress failed");
      }
      total += out_[i].size();
    }
    return total;
  }
  const std::vector<Bytes>& Output() const { return out_; }

 private:
  const std::vector<Packed>& packed_;
  std::vector<Bytes> out_;
  libdeflate_decompressor* decompressor_;
};

void Check(const std::vector<Bytes>& decoded, const std::vector<Bytes>& files, const std::string& what) {
  if (decoded != files) Fail(what + ": the decoded files differ from the originals");
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 7;
  std::vector<std::string> paths;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--runs" && i + 1 < argc) {
      runs = std::atoi(argv[++i]);
      if (runs < 1) Fail("--runs needs a number of at least 1");
    } else if (arg == "--help" || arg == "-h") {
      std::printf("usage: zyn_deflate_bench [--runs N] PATH...\n");
      return 0;
    } else {
      paths.push_back(arg);
    }
  }
  if (paths.empty()) Fail("usage: zyn_deflate_bench [--runs N] PATH...");

  const std::vector<Bytes> files = Load(paths);
  if (files.empty()) Fail("no files");
  uint64_t original = 0;
  for (const Bytes& file : files) original += file.size();

  double load[3] = {0, 0, 0};
  std::FILE* loadavg = std::fopen("/proc/loadavg", "r");
  if (loadavg != nullptr) {
    if (std::fscanf(loadavg, "%lf %lf %lf", &load[0], &load[1], &load[2]) != 3) load[0] = load[1] = load[2] = 0;
    std::fclose(loadavg);
  }
  std::printf("zlib %s, libdeflate %s; %zu files, %llu bytes; %d timed runs; load average %.2f %.2f %.2f\n",
              zlibVersion(), LIBDEFLATE_VERSION_STRING, files.size(), static_cast<unsigned long long>(original),
              runs, load[0], load[1], load[2]);

  // The compressors live until the end: the level-6 outputs feed the decompressors.
  std::vector<std::unique_ptr<ZlibDeflater>> zlibs;
  std::vector<std::unique_ptr<LibdeflateCompressor>> libdeflates;
  std::vector<Config> configs;
  const ZlibDeflater* zlib6 = nullptr;
  const LibdeflateCompressor* libdeflate6 = nullptr;
  for (int level : {1, 6, 9}) {
    zlibs.push_back(std::make_unique<ZlibDeflater>(level, files));
    ZlibDeflater* z = zlibs.back().get();
    if (level == 6) zlib6 = z;
    configs.push_back({"zlib " + std::to_string(level), true, 0, level, [z] { return z->Run(); }, 0, {}, {}});
  }
  for (int level : {1, 2, 3, 4, 5, 6, 7, 8, 9, 12}) {
    libdeflates.push_back(std::make_unique<LibdeflateCompressor>(level, files));
    LibdeflateCompressor* l = libdeflates.back().get();
    if (level == 6) libdeflate6 = l;
    configs.push_back({"libdeflate " + std::to_string(level), true, 1, level, [l] { return l->Run(); }, 0, {}, {}});
  }

  // The untimed run: it fills the compressed outputs (and warms caches), which the decoders need.
  for (Config& config : configs) config.total = config.run();

  ZlibInflater zlibFromZlib(zlib6->Output(), files);
  ZlibInflater zlibFromLibdeflate(libdeflate6->Output(), files);
  LibdeflateDecompressor libdeflateFromZlib(zlib6->Output(), files);
  LibdeflateDecompressor libdeflateFromLibdeflate(libdeflate6->Output(), files);
  struct Decoder {
    const char* name;
    int library;
    std::function<uint64_t()> run;
    const std::vector<Bytes>* output;
  };
  const Decoder decoders[] = {
      {"zlib inflate  <- zlib 6", 0, [&] { return zlibFromZlib.Run(); }, &zlibFromZlib.Output()},
      {"libdeflate    <- zlib 6", 1, [&] { return libdeflateFromZlib.Run(); }, &libdeflateFromZlib.Output()},
      {"zlib inflate  <- libdeflate 6", 0, [&] { return zlibFromLibdeflate.Run(); }, &zlibFromLibdeflate.Output()},
      {"libdeflate    <- libdeflate 6", 1, [&] { return libdeflateFromLibdeflate.Run(); },
       &libdeflateFromLibdeflate.Output()},
  };
  const size_t compressors = configs.size();
  for (const Decoder& decoder : decoders) {
    Config config{decoder.name, false, decoder.library, 6, decoder.run, 0, {}, {}};
    config.total = config.run();
    Check(*decoder.output, files, decoder.name);
    configs.push_back(std::move(config));
  }

  for (int round = 0; round < runs; ++round) {
    for (Config& config : configs) {
      const double cpu0 = ThreadCpuSeconds();
      const auto wall0 = std::chrono::steady_clock::now();
      const uint64_t total = config.run();
      const auto wall1 = std::chrono::steady_clock::now();
      const double cpu1 = ThreadCpuSeconds();
      if (total != config.total) Fail(config.name + ": output size changed between runs");
      config.wall.push_back(std::chrono::duration<double>(wall1 - wall0).count());
      config.cpu.push_back(cpu1 - cpu0);
    }
  }

  const auto megabytesPerSecond = [&](double seconds) { return static_cast<double>(original) / 1e6 / seconds; };
  std::printf("\ncompression (each file its own raw deflate stream)\n");
  std::printf("%-15s %12s %7s %10s %10s %8s\n", "library level", "bytes", "ratio", "wall ms", "CPU ms", "MB/s");
  std::printf("%-15s %12llu %7.4f\n", "original", static_cast<unsigned long long>(original), 1.0);
  for (size_t i = 0; i < compressors; ++i) {
    const Config& c = configs[i];
    const double wall = Median(c.wall);
    std::printf("%-15s %12llu %7.4f %10.1f %10.1f %8.1f\n", c.name.c_str(),
                static_cast<unsigned long long>(c.total), static_cast<double>(c.total) / static_cast<double>(original),
                wall * 1e3, Median(c.cpu) * 1e3, megabytesPerSecond(wall));
  }

  std::printf("\ndecompression of the level-6 output (MB/s of decoded bytes)\n");
  std::printf("%-30s %10s %10s %8s\n", "decoder <- data", "wall ms", "CPU ms", "MB/s");
  for (size_t i = compressors; i < configs.size(); ++i) {
    const Config& c = configs[i];
    const double wall = Median(c.wall);
    std::printf("%-30s %10.1f %10.1f %8.1f\n", c.name.c_str(), wall * 1e3, Median(c.cpu) * 1e3,
                megabytesPerSecond(wall));
  }

  const Config* zlib6Config = nullptr;
  for (size_t i = 0; i < compressors; ++i) {
    if (configs[i].library == 0 && configs[i].level == 6) zlib6Config = &configs[i];
  }
  const uint64_t reference = zlib6Config->total;
  const Config* best = nullptr;
  for (size_t i = 0; i < compressors; ++i) {
    const Config& c = configs[i];
    if (c.total <= reference && (best == nullptr || Median(c.wall) < Median(best->wall))) best = &c;
  }
  std::printf("\nfastest with total <= zlib 6 (%llu bytes): %s, %llu bytes, %.1f ms (zlib 6: %.1f ms)\n",
              static_cast<unsigned long long>(reference), best->name.c_str(),
              static_cast<unsigned long long>(best->total), Median(best->wall) * 1e3,
              Median(zlib6Config->wall) * 1e3);
  return 0;
}
