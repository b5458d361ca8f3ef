// How the core's time grows with the size of a class: builds adversarial class files in memory, for sizes
// N = 1000 to 16000, and times ZYNClass::OptimizeFile on each (no process start-up, no file I/O).
//
// usage: zyn_core_bench [--runs R] [--kind KIND] [--dump DIR]
//   --runs R    timed runs per class (default 5); the median is reported
//   --kind K    only the classes of kind K (for profiling one of them)
//   --dump DIR  also writes each generated class and its optimized form to DIR (for javap -v)
//
// The class files are version 45.3, which needs no StackMapTable, so the builder below can state them
// byte by byte without computing frames.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ZYNClass.h"
#include "ZYNData.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kPublic = 0x0001, kPrivate = 0x0002, kStatic = 0x0008, kSuper = 0x0020;
constexpr std::uint8_t kGetstatic = 0xB2, kInvokestatic = 0xB8, kLdcW = 0x13, kPop = 0x57, kReturn = 0xB1;
// A method's code must be shorter than 64 KiB; public methods that touch many entries are split below it.
constexpr std::size_t kMaxCode = 65532;
constexpr int kMaxPoolCount = 65535;  // the u2 constant_pool_count: entries 1 to 65534

void Put(Bytes& b, std::uint32_t v, int n) {
  for (int shift = 8 * (n - 1); shift >= 0; shift -= 8) b.push_back(static_cast<std::uint8_t>(v >> shift));
}
void U1(Bytes& b, std::uint32_t v) { Put(b, v, 1); }
void U2(Bytes& b, std::uint32_t v) { Put(b, v, 2); }
void U4(Bytes& b, std::uint32_t v) { Put(b, v, 4); }

// The constant pool, in the order its entries are added.
class Pool {
public:
  int Utf8(std::string_view text) {
    Bytes& b = Start(1);
    U2(b, static_cast<std::uint32_t>(text.size()));
    b.insert(b.end(), text.begin(), text.end());
    return Next();
  }
  int Integer(std::uint32_t value) { return Entry(3, {value}, 4); }
  int Class(int name) { return Entry(7, {static_cast<std::uint32_t>(name)}, 2); }
  int String(int text) { return Entry(8, {static_cast<std::uint32_t>(text)}, 2); }
  int NameAndType(int name, int descriptor) { return Pair(12, name, descriptor); }
  int Fieldref(int cls, int nat) { return Pair(9, cls, nat); }
  int Methodref(int cls, int nat) { return Pair(10, cls, nat); }

  int Count() const { return next_; }  // the constant_pool_count field
  const Bytes& bytes() const { return bytes_; }

private:
  Bytes& Start(int tag) {
    if (next_ >= kMaxPoolCount) {
      std::fprintf(stderr, "internal error: constant pool overflow\n");
      std::exit(1);
    }
    U1(bytes_, static_cast<std::uint32_t>(tag));
    return bytes_;
  }
  int Next() { return next_++; }
  int Entry(int tag, std::initializer_list<std::uint32_t> values, int width) {
    Bytes& b = Start(tag);
    for (std::uint32_t v : values) Put(b, v, width);
    return Next();
  }
  int Pair(int tag, int a, int b) {
    Bytes& out = Start(tag);
    U2(out, static_cast<std::uint32_t>(a));
    U2(out, static_cast<std::uint32_t>(b));
    return Next();
  }

  Bytes bytes_;
  int next_ = 1;
};

struct Member {
  int access, name, descriptor;
  bool hasCode = false;
  Bytes code;
};

// A class of version 45.3 extending java/lang/Object; methods get a Code attribute with their code.
class ClassFile {
public:
  explicit ClassFile(std::string_view name) {
    code_ = pool.Utf8("Code");
    thisClass = pool.Class(pool.Utf8(name));
    superClass = pool.Class(pool.Utf8("java/lang/Object"));
    voidDescriptor = pool.Utf8("()V");
  }

  void Field(int access, int name, int descriptor) { fields.push_back({access, name, descriptor, false, {}}); }
  void Method(int access, int name, int descriptor, Bytes code) {
    code.push_back(kReturn);
    methods.push_back({access, name, descriptor, true, std::move(code)});
  }

  // Public static methods that run the instructions in order, as few as the code size limit allows.
  void PublicMethods(std::string_view stem, const std::vector<Bytes>& instructions) {
    std::vector<Bytes> bodies(1);
    for (const Bytes& ins : instructions) {
      if (bodies.back().size() + ins.size() > kMaxCode) bodies.emplace_back();
      bodies.back().insert(bodies.back().end(), ins.begin(), ins.end());
    }
    for (std::size_t k = 0; k < bodies.size(); ++k) {
      const std::string name = k == 0 ? std::string(stem) : std::string(stem) + std::to_string(k);
      Method(kPublic | kStatic, pool.Utf8(name), voidDescriptor, std::move(bodies[k]));
    }
  }

  Bytes Build() const {
    Bytes b;
    U4(b, 0xCAFEBABE);
    U2(b, 3);
    U2(b, 45);
    U2(b, static_cast<std::uint32_t>(pool.Count()));
    b.insert(b.end(), pool.bytes().begin(), pool.bytes().end());
    U2(b, kPublic | kSuper);
    U2(b, static_cast<std::uint32_t>(thisClass));
    U2(b, static_cast<std::uint32_t>(superClass));
    U2(b, 0);  // interfaces
    for (const auto* members : {&fields, &methods}) {
      U2(b, static_cast<std::uint32_t>(members->size()));
      for (const Member& m : *members) {
        U2(b, static_cast<std::uint32_t>(m.access));
        U2(b, static_cast<std::uint32_t>(m.name));
        U2(b, static_cast<std::uint32_t>(m.descriptor));
        U2(b, m.hasCode ? 1 : 0);
        if (!m.hasCode) continue;
        U2(b, static_cast<std::uint32_t>(code_));
        U4(b, static_cast<std::uint32_t>(12 + m.code.size()));
        U2(b, 2);  // max_stack: the deepest code below pushes one value
        U2(b, 0);  // max_locals: static methods without parameters
        U4(b, static_cast<std::uint32_t>(m.code.size()));
        b.insert(b.end(), m.code.begin(), m.code.end());
        U2(b, 0);  // exception table
        U2(b, 0);  // attributes
      }
    }
    U2(b, 0);  // class attributes
    return b;
  }

  Pool pool;
  int thisClass, superClass, voidDescriptor;
  std::vector<Member> fields, methods;

private:
  int code_;
};

Bytes Ins(std::uint8_t opcode, int index) {
  return {opcode, static_cast<std::uint8_t>(index >> 8), static_cast<std::uint8_t>(index)};
}
Bytes InsPop(std::uint8_t opcode, int index) {
  Bytes b = Ins(opcode, index);
  b.push_back(kPop);
  return b;
}

std::string Numbered(std::string_view stem, int i) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%05d", i);
  return std::string(stem) + digits;
}

// p0 calls p1, p1 calls p2, ...; nothing calls p0, so removal takes one link per round. Declared in
// call order or in reverse.
Bytes Chain(int n, bool reverse) {
  ClassFile c("bench/Chain");
  std::vector<int> names(static_cast<std::size_t>(n)), refs(static_cast<std::size_t>(n), 0);
  std::vector<int> order(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) order[static_cast<std::size_t>(i)] = reverse ? n - 1 - i : i;
  for (int i : order) names[static_cast<std::size_t>(i)] = c.pool.Utf8(Numbered("chainLink", i));
  for (int i : order)
    if (i > 0)
      refs[static_cast<std::size_t>(i)] =
          c.pool.Methodref(c.thisClass, c.pool.NameAndType(names[static_cast<std::size_t>(i)], c.voidDescriptor));
  for (int i : order) {
    Bytes code;
    if (i + 1 < n) code = Ins(kInvokestatic, refs[static_cast<std::size_t>(i) + 1]);
    c.Method(kPrivate | kStatic, names[static_cast<std::size_t>(i)], c.voidDescriptor, std::move(code));
  }
  return c.Build();
}

// N private static fields, each read once by one public method: all are kept and renamed as far as
// names last.
Bytes Fields(int n) {
  ClassFile c("bench/Fields");
  const int type = c.pool.Utf8("I");
  std::vector<Bytes> reads;
  for (int i = 0; i < n; ++i) {
    const int name = c.pool.Utf8(Numbered("privateField", i));
    c.Field(kPrivate | kStatic, name, type);
    reads.push_back(InsPop(kGetstatic, c.pool.Fieldref(c.thisClass, c.pool.NameAndType(name, type))));
  }
  c.PublicMethods("readAll", reads);
  return c.Build();
}

// N private static methods, each called once by one public method, in a pool full of other identifier
// texts: N/4 String constants whose texts are names renaming may reuse, and N/16 String constants that
// spell a private method's name (such a method is kept as if found by reflection). With `taken`, the
// class also calls methods of another class under every reusable name and every one-letter name, with the
// private methods' descriptor, so no name can be given without capturing a reference: each member makes
// the renamer try and refuse every candidate. (N/4 and N/16 keep the pool within 65,535 entries at
// N = 16000.)
Bytes Names(int n, bool taken) {
  ClassFile c(taken ? "bench/NamesTaken" : "bench/Names");
  // The reusable texts come first in the pool, so they are the first identifier texts renaming finds.
  std::vector<int> candidates;
  std::vector<Bytes> loads;
  for (int i = 0; i < n / 4; ++i) {
    candidates.push_back(c.pool.Utf8(Numbered("candidate", i)));
    loads.push_back(InsPop(kLdcW, c.pool.String(candidates.back())));
  }
  std::vector<Bytes> calls;
  for (int i = 0; i < n; ++i) {
    const int name = c.pool.Utf8(Numbered("privateMethod", i));
    c.Method(kPrivate | kStatic, name, c.voidDescriptor, {});
    calls.push_back(Ins(kInvokestatic, c.pool.Methodref(c.thisClass, c.pool.NameAndType(name, c.voidDescriptor))));
    if (i % 16 == 0) loads.push_back(InsPop(kLdcW, c.pool.String(name)));
  }
  c.PublicMethods("callAll", calls);
  std::vector<Bytes> foreign;
  if (taken) {
    const int other = c.pool.Class(c.pool.Utf8("bench/Other"));
    // Every identifier text that is no member name of this class: the candidates, the fixed texts, the letters.
    std::vector<int> names = candidates;
    for (std::string_view text : {"Code", "loadAll", "callAll", "callOther"}) names.push_back(c.pool.Utf8(text));
    for (char ch = 'A'; ch <= 'z'; ++ch)
      if (std::isalpha(static_cast<unsigned char>(ch))) names.push_back(c.pool.Utf8(std::string(1, ch)));
    for (int name : names)
      foreign.push_back(Ins(kInvokestatic, c.pool.Methodref(other, c.pool.NameAndType(name, c.voidDescriptor))));
  }
  c.PublicMethods("loadAll", loads);
  if (taken) c.PublicMethods("callOther", foreign);
  return c.Build();
}

// A constant pool of 65,534 entries (Utf8 texts, their String constants and Integer constants, one in
// eight of each loaded by code, the rest dropped) with a few hundred private members: half of them used,
// the other half removed.
Bytes BigPool(int members) {
  ClassFile c("bench/BigPool");
  const int type = c.pool.Utf8("I");
  std::vector<Bytes> uses;
  for (int i = 0; i < members; ++i) {
    const bool field = i % 2 == 0;
    const int name = c.pool.Utf8(Numbered(field ? "privateField" : "privateMethod", i));
    const int descriptor = field ? type : c.voidDescriptor;
    if (field) c.Field(kPrivate | kStatic, name, type);
    else c.Method(kPrivate | kStatic, name, descriptor, {});
    if (i % 4 >= 2) continue;  // unused: removed
    const int nat = c.pool.NameAndType(name, descriptor);
    uses.push_back(field ? InsPop(kGetstatic, c.pool.Fieldref(c.thisClass, nat))
                         : Ins(kInvokestatic, c.pool.Methodref(c.thisClass, nat)));
  }
  c.PublicMethods("useMembers", uses);
  std::vector<Bytes> loads;
  // Enough room for the public methods' names, added after the filling.
  const int room = 8;
  for (int i = 0; c.pool.Count() + 3 <= kMaxPoolCount - room; ++i) {
    const int text = c.pool.Utf8(Numbered("text", i));
    const int string = c.pool.String(text);
    const int integer = c.pool.Integer(static_cast<std::uint32_t>(i) * 2654435761u);
    if (i % 8 != 0) continue;
    loads.push_back(InsPop(kLdcW, string));
    loads.push_back(InsPop(kLdcW, integer));
  }
  c.PublicMethods("loadSome", loads);
  while (c.pool.Count() < kMaxPoolCount) c.pool.Integer(static_cast<std::uint32_t>(c.pool.Count()));
  return c.Build();
}

// What a class file holds, read just far enough to count its pool and members.
struct Shape {
  int pool = 0, fields = 0, methods = 0;
};

Shape ShapeOf(std::span<const std::uint8_t> b) {
  std::size_t p = 8;
  auto u2 = [&] {
    const int v = (b[p] << 8) | b[p + 1];
    p += 2;
    return v;
  };
  auto u4 = [&] {
    const auto high = static_cast<std::uint32_t>(u2());
    return (high << 16) | static_cast<std::uint32_t>(u2());
  };
  Shape s;
  s.pool = u2();
  for (int i = 1; i < s.pool; ++i) {
    const std::uint8_t tag = b[p++];
    switch (tag) {
      case 1: p += static_cast<std::size_t>(u2()); break;
      case 3: case 4: p += 4; break;
      case 5: case 6: p += 8; ++i; break;
      case 7: case 8: case 16: case 19: case 20: p += 2; break;
      case 15: p += 3; break;
      default: p += 4; break;
    }
  }
  p += 6;
  p += 2 * static_cast<std::size_t>(u2());
  for (int* count : {&s.fields, &s.methods}) {
    *count = u2();
    for (int i = 0; i < *count; ++i) {
      p += 6;
      for (int a = u2(); a > 0; --a) {
        p += 2;
        p += u4();
      }
    }
  }
  return s;
}

struct Kind {
  std::string name;
  std::function<Bytes(int)> build;
  std::vector<int> sizes;
};

// Wall time is what a user waits; the thread's CPU time leaves out the spells in which other processes had
// the core, so on a busy machine it shows the growth more faithfully.
enum Clock { kWall, kCpu };

struct Row {
  std::string kind;
  int n;
  std::size_t bytes, outBytes;
  Shape in, out;
  double ms[2];  // medians, by Clock
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 == 1 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

double CpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

void WriteFile(const std::string& name, const Bytes& bytes) {
  std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                               static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 5;
  std::string dump, only;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--runs" && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
    else if (arg == "--dump" && i + 1 < argc) dump = argv[++i];
    else if (arg == "--kind" && i + 1 < argc) only = argv[++i];
    else {
      std::fprintf(stderr, "usage: %s [--runs R] [--kind KIND] [--dump DIR]\n", argv[0]);
      return 2;
    }
  }

  // Default keys: renaming on, nothing but unused members and entries removed, the class written.
  const ZYNData::tParams params;

  const std::vector<int> sizes = {1000, 2000, 4000, 8000, 16000};
  const std::vector<Kind> kinds = {
      {"chain", [](int n) { return Chain(n, false); }, sizes},
      {"chain-reverse", [](int n) { return Chain(n, true); }, sizes},
      {"fields", Fields, sizes},
      {"names", [](int n) { return Names(n, false); }, sizes},
      {"names-taken", [](int n) { return Names(n, true); }, sizes},
      {"big-pool", BigPool, {400}},
  };

  if (!only.empty() && std::none_of(kinds.begin(), kinds.end(), [&](const Kind& k) { return k.name == only; })) {
    std::fprintf(stderr, "no kind named %s\n", only.c_str());
    return 2;
  }

  std::printf("Core time per class (ZYNClass::OptimizeFile, default keys, median of %d runs)\n", runs);
  // Other processes on the machine slow every figure down: the load says how busy it was.
  if (std::ifstream loadavg("/proc/loadavg"); loadavg) {
    std::string one, five, fifteen;
    loadavg >> one >> five >> fifteen;
    std::printf("load average before: %s %s %s\n", one.c_str(), five.c_str(), fifteen.c_str());
  }
  std::printf("\n");
  std::printf("%-14s %6s %8s %8s %12s %12s %9s %6s %9s %6s\n", "kind", "N", "bytes", "out", "pool in>out",
              "members", "wall ms", "ratio", "CPU ms", "ratio");
  std::vector<Row> rows;
  bool allAccepted = true;
  for (const Kind& kind : kinds) {
    if (!only.empty() && kind.name != only) continue;
    double base[2] = {0, 0};  // the first size's medians
    for (int n : kind.sizes) {
      const Bytes cls = kind.build(n);
      // The first run checks that the class is accepted and warms the caches; it is not counted.
      ZYNClass::tFileResult first = ZYNClass::OptimizeFile(cls, params);
      if (!first.error.empty()) {
        std::printf("%-14s %6d  not accepted: %s\n", kind.name.c_str(), n, first.error.c_str());
        allAccepted = false;
        continue;
      }
      if (!dump.empty()) {
        const std::string stem = dump + "/" + kind.name + "-" + std::to_string(n);
        WriteFile(stem + ".class", cls);
        WriteFile(stem + ".out.class", first.bytes);
      }
      std::vector<double> times[2];
      for (int r = 0; r < runs; ++r) {
        const double cpuStart = CpuMs();
        const auto start = std::chrono::steady_clock::now();
        ZYNClass::tFileResult result = ZYNClass::OptimizeFile(cls, params);
        const auto stop = std::chrono::steady_clock::now();
        times[kCpu].push_back(CpuMs() - cpuStart);
        times[kWall].push_back(std::chrono::duration<double, std::milli>(stop - start).count());
      }
      rows.push_back({kind.name, n, cls.size(), first.bytes.size(), ShapeOf(cls), ShapeOf(first.bytes),
                      {Median(times[kWall]), Median(times[kCpu])}});
      const Row& row = rows.back();
      if (base[kWall] == 0) base[kWall] = row.ms[kWall], base[kCpu] = row.ms[kCpu];
      const std::string pool = std::to_string(row.in.pool - 1) + ">" + std::to_string(row.out.pool - 1);
      const std::string members =
          std::to_string(row.in.fields + row.in.methods) + ">" + std::to_string(row.out.fields + row.out.methods);
      std::printf("%-14s %6d %8zu %8zu %12s %12s", kind.name.c_str(), n, row.bytes, row.outBytes, pool.c_str(),
                  members.c_str());
      for (Clock clock : {kWall, kCpu}) {
        std::printf(" %9.3f", row.ms[clock]);
        if (kind.sizes.size() > 1) std::printf(" %6.2f", row.ms[clock] / base[clock]);
        else std::printf(" %6s", "-");
      }
      std::printf("\n");
      std::fflush(stdout);
    }
  }
  if (!allAccepted) {
    std::printf("\nFAIL: a generated class was not accepted; the figures are incomplete\n");
    return 1;
  }

  std::printf("\nN: private members of the class (big-pool: its pool has 65,534 entries); bytes: the class,\n"
              "out: the optimized class; pool and members: before > after; ratio: ms / ms at N = 1000.\n\n");

  // The claims about the core's growth, judged on each clock.
  std::printf("%-44s %-30s %s\n", "claim", "wall", "CPU");
  std::string verdict[2][2];
  for (Clock clock : {kWall, kCpu}) {
    bool linear = true;
    std::string worst = "-";
    double worstRatio = 0;
    for (const Kind& kind : kinds) {
      double t1000 = 0, t16000 = 0;
      for (const Row& row : rows) {
        if (row.kind != kind.name) continue;
        if (row.n == 1000) t1000 = row.ms[clock];
        if (row.n == 16000) t16000 = row.ms[clock];
      }
      if (t1000 <= 0 || t16000 <= 0) continue;
      const double ratio = t16000 / t1000;
      if (ratio > worstRatio) worstRatio = ratio, worst = kind.name;
      linear = linear && ratio <= 20;
    }
    char text[96];
    if (worstRatio == 0) std::snprintf(text, sizeof text, "n/a");
    else std::snprintf(text, sizeof text, "%s %.2f %s", linear ? "PASS" : "FAIL", worstRatio, worst.c_str());
    verdict[0][clock] = text;
    const auto slowest = std::max_element(
        rows.begin(), rows.end(), [clock](const Row& a, const Row& b) { return a.ms[clock] < b.ms[clock]; });
    std::snprintf(text, sizeof text, "%s %.1f ms %s %d", slowest->ms[clock] <= 100 ? "PASS" : "FAIL",
                  slowest->ms[clock], slowest->kind.c_str(), slowest->n);
    verdict[1][clock] = text;
  }
  std::printf("%-44s %-30s %s\n", "16,000 costs at most 20 x 1,000 (highest)", verdict[0][kWall].c_str(),
              verdict[0][kCpu].c_str());
  std::printf("%-44s %-30s %s\n", "no class over 100 ms (slowest)", verdict[1][kWall].c_str(),
              verdict[1][kCpu].c_str());
  return 0;
}
