// Decoding method code, the errors for malformed code, marking the constants the instructions use, and
// writing the code back with renumbered indexes and unchanged shape.
#include <cstdint>
#include <string>
#include <vector>

#include "FileModule.h"
#include "TestSupport.h"
#include "ZYNCode.h"

namespace {

using namespace ZYNCode;
using ZYNConstPool::ConstPool;

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// A pool with its marking: *pool is the marking, which the marking and writing functions take.
struct MarkedPool {
  std::unique_ptr<ConstPool> cp;
  ZYNConstPool::tMarking m;
  ZYNConstPool::tMarking& operator*() { return m; }
  ZYNConstPool::tMarking* operator->() { return &m; }
};

// A pool of Integer entries at indexes 1 to n - 1, nothing marked.
MarkedPool IntegerPool(int n) {
  ByteWriter w;
  for (int i = 1; i < n; ++i) w.u1(3).u4(i);
  OwnedInput input(w.bytes);
  MarkedPool pool{ZYNConstPool::NewConstPool(input.in, n, 61), {}};
  pool.m = ZYNConstPool::tMarking(*pool.cp);
  return pool;
}

void Renumber(ZYNConstPool::tMarking& cp) {
  std::int32_t dropped = 0, bytes = 0;
  ZYNConstPool::RenumUnUsed(cp, dropped, bytes);
}

Bytes Written(const InstructionArray& code, const ZYNConstPool::tMarking& cp) {
  FileModule::tOutput out;
  WriteCode(static_cast<std::int32_t>(code.size()), code, cp, out);
  return out.bytes;
}

Bytes U4(std::uint32_t v) { return ByteWriter().u4(v).bytes; }

// A switch at `offset` in the code: opcode, padding of `fill` bytes, then the 32-bit operands.
Bytes Switch(int opcode, int offset, const std::vector<std::uint32_t>& operands, std::uint8_t fill = 0) {
  ByteWriter w;
  w.u1(opcode);
  for (int p = offset + 1; p % 4 != 0; ++p) w.u1(fill);
  for (std::uint32_t v : operands) w.u4(v);
  return w.bytes;
}

class ZYNCodeTest : public ::testing::Test {
protected:
  // The input that the code is decoded from, and the arena the decoded code lives in.
  OwnedInput input;
  ZYNConstPool::tArena arena;

  // Decodes `code` standing `at` bytes into the input, with `after` following it.
  InstructionArray Decode(const Bytes& code, int major = 45, std::size_t at = 0, const Bytes& after = {}) {
    input.Reset(Cat({Bytes(at, 0xEE), code, after}));
    Bytes skipped;
    if (at > 0) FileModule::GetBytes(input.in, at, skipped);
    return NewCode(input.in, static_cast<std::int32_t>(code.size()), major, arena);
  }

  void ExpectCodeError(const Bytes& code, const std::string& line, std::size_t at = 0, int major = 45) {
    ExpectError([&] { Decode(code, major, at, Bytes(16, 0)); }, line);
  }
};

TEST_F(ZYNCodeTest, DecodesEveryFormAndWritesItBackUnchanged) {
  const std::vector<std::vector<Bytes>> rows = {
      {{0x00}, {0x0F}, {26}, {53}, {59}, {131}, {133}, {152}, {172}, {177}, {190}, {191}, {194}, {195}, {202}},
      {{16, 0xFF}, {17, 0xFF, 0xFE}, {18, 5}, {19, 0, 5}, {20, 1, 2}},
      {{21, 3}, {25, 255}, {54, 1}, {58, 2}, {169, 1}, {132, 1, 0xFF}, {188, 10}},
      {{153, 0xFF, 0xFD}, {168, 0, 3}, {198, 0, 3}, {199, 0x80, 0}, {200, 0xFF, 0xFF, 0xFF, 0xF0}, {201, 0, 0, 0, 5}},
      {{178, 0, 7}, {179, 0, 7}, {180, 0, 7}, {181, 0, 7}, {182, 0, 8}, {183, 0, 8}, {184, 0, 8}},
      {{185, 0, 9, 2, 0}, {185, 0, 9, 1, 7}, {187, 0, 7}, {189, 0, 7}, {192, 0, 7}, {193, 0, 7}, {197, 0, 7, 2}},
      {{196, 21, 1, 0}, {196, 132, 1, 0, 0xFF, 0xFF}, {196, 169, 0, 1}, {209, 1, 2}},
      {Switch(170, 0, {8, 1, 2, 20, 24})},
      {{0}, Switch(171, 1, {8, 0})},
      {{0}, {0}, Switch(171, 2, {8, 2, 1, 10, 0xFFFFFFFF, 12})},
      // Operand values of every sign and width, switches at later offsets.
      {{16, 0xFB}, {17, 0x80, 0x00}, {132, 200, 0x80}, {196, 132, 1, 0, 0xFF, 0xFE}, {196, 21, 0x12, 0x34},
       {185, 0, 9, 1, 7}, {197, 0, 7, 3}, {200, 0xFF, 0xFF, 0xFF, 0x00}, {209, 0xAB, 0xCD}, {188, 11}, {18, 200},
       {0}, Switch(170, 40, {0xFFFFFFF0, 0xFFFFFFFF, 1, 100, 200, 300}),
       Switch(171, 68, {44, 2, 0x80000000, 1, 0x7FFFFFFF, 2}), Switch(171, 96, {12, 0})},
  };
  auto cp = IntegerPool(300);
  ZYNConstPool::MarkAll(*cp);
  Renumber(*cp);
  for (std::size_t r = 0; r < rows.size(); ++r) {
    Bytes code;
    for (const Bytes& instruction : rows[r]) code.insert(code.end(), instruction.begin(), instruction.end());
    const InstructionArray decoded = Decode(code);
    ASSERT_EQ(decoded.size(), code.size()) << r;
    EXPECT_EQ(input.in.PC, static_cast<std::int32_t>(code.size())) << r;
    EXPECT_EQ(Written(decoded, *cp), Cat({U4(static_cast<std::uint32_t>(code.size())), code})) << r;
    // The lenient walk over the code alone finds the same indexes.
    std::vector<std::pair<std::int32_t, std::int32_t>> walked, indexes;
    EXPECT_TRUE(ForEachIndex(code, 45, [&](std::uint8_t, const CodeIndex& i) { walked.emplace_back(i.at, i.index); }));
    for (const CodeIndex& i : decoded.Indexes()) indexes.emplace_back(i.at, i.index);
    EXPECT_EQ(walked, indexes) << r;
  }
}

// The length of every instruction other than the switches, as the instruction set defines it.
int LengthOf(int opcode) {
  if (opcode == 16 || opcode == 18 || (opcode >= 21 && opcode <= 25) || (opcode >= 54 && opcode <= 58) ||
      opcode == 169 || opcode == 188)
    return 2;
  if (opcode == 17 || opcode == 19 || opcode == 20 || opcode == 132 || (opcode >= 153 && opcode <= 168) ||
      (opcode >= 178 && opcode <= 184) || opcode == 187 || opcode == 189 || opcode == 192 || opcode == 193 ||
      opcode == 198 || opcode == 199 || opcode == 209)
    return 3;
  if (opcode == 196 || opcode == 197) return 4;  // wide with a zero modified opcode
  if (opcode == 185 || opcode == 186 || opcode == 200 || opcode == 201) return 5;
  return 1;
}

bool IsInvalid(int opcode, int major) {
  return (opcode == 186 && major < 51) || (opcode >= 203 && opcode <= 208) || opcode >= 210;
}

TEST_F(ZYNCodeTest, EveryValidOpcodeHasItsLengthAndNoMore) {
  for (int opcode = 0; opcode < 256; ++opcode) {
    if (IsInvalid(opcode, 51) || opcode == 170 || opcode == 171) continue;
    const int length = LengthOf(opcode);
    // Operand bytes of 255, an invalid opcode: a decoder that took the instruction for shorter would refuse it.
    Bytes code(static_cast<std::size_t>(length), 0xFF);
    code[0] = static_cast<std::uint8_t>(opcode);
    if (opcode == 196) code[1] = 21;  // wide iload
    Decode(code, 51, 0, {0, 0, 0, 0});
    EXPECT_EQ(input.in.PC, length) << opcode;
    if (length > 1)
      ExpectError([&] { Decode(Bytes(code.begin(), code.end() - 1), 51, 7, Bytes(8, 0)); },
                  "Instruction runs past the end of the code in class file. Offset = 7");
  }
}

TEST_F(ZYNCodeTest, RefusesInvalidOpcodesWithTheirFilePosition) {
  for (int opcode = 0; opcode < 256; ++opcode) {
    if (!IsInvalid(opcode, 50)) continue;
    ExpectCodeError({0, 0, 0, 0, static_cast<std::uint8_t>(opcode)},
                    "Invalid opcode " + std::to_string(opcode) + " in class file. Offset = 1234", 1230, 50);
  }
}

TEST_F(ZYNCodeTest, InvokedynamicFromVersion51) {
  const Bytes code = {186, 0, 9, 0, 0, 177};
  ExpectCodeError(code, "Invalid opcode 186 in class file. Offset = 0", 0, 50);
  const InstructionArray decoded = Decode(code, 51);
  auto cp = IntegerPool(20);
  MarkCode(*cp, decoded);
  EXPECT_EQ(cp->CountOf(9), 1);
  ZYNConstPool::MarkAll(*cp);
  Renumber(*cp);
  EXPECT_EQ(Written(decoded, *cp), Cat({U4(6), code}));
}

TEST_F(ZYNCodeTest, SwitchPaddingFollowsTheCodeOffsetAndIsWrittenAsZeros) {
  auto cp = IntegerPool(2);
  for (int opcode : {170, 171}) {
    for (int nops = 0; nops < 4; ++nops) {
      for (std::size_t at : {0, 1, 2, 3}) {
        // One jump for tableswitch (default, low, high, offset); one pair for lookupswitch.
        const std::vector<std::uint32_t> operands = {7, opcode == 170 ? 5u : 1u, 5, 9};
        const Bytes code = Cat({Bytes(nops, 0), Switch(opcode, nops, operands, 0xAB)});
        EXPECT_EQ(code.size(), static_cast<std::size_t>(nops + 1 + (3 - nops) + 16));
        const InstructionArray d = Decode(code, 45, at, Bytes(16, 0));
        EXPECT_EQ(input.in.PC, static_cast<std::int32_t>(at + code.size())) << opcode << " " << nops << " " << at;
        EXPECT_EQ(Written(d, *cp), Cat({U4(static_cast<std::uint32_t>(code.size())), Bytes(nops, 0),
                                         Switch(opcode, nops, operands, 0)}))
            << opcode << " " << nops << " " << at;
      }
    }
  }
}

TEST_F(ZYNCodeTest, RefusesMalformedCode) {
  struct Row {
    Bytes code;
    std::size_t at;
    std::string line;
  };
  const std::vector<Row> rows = {
      {Switch(170, 0, {0, 2, 1}), 100, "Invalid tableswitch range in class file. Offset = 100"},
      {Cat({{0, 0}, Switch(170, 2, {0, 0, 0x7FFFFFFF, 4})}), 10,
       "Instruction runs past the end of the code in class file. Offset = 12"},
      {Switch(170, 0, {0, 0x80000000, 0x7FFFFFFF, 4}), 0,
       "Instruction runs past the end of the code in class file. Offset = 0"},
      {Switch(170, 0, {0, 1, 2, 4}), 0, "Instruction runs past the end of the code in class file. Offset = 0"},
      {Switch(171, 0, {0, 0xFFFFFFFF}), 3, "Invalid lookupswitch pair count in class file. Offset = 3"},
      {Switch(171, 0, {0, 0x7FFFFFFF, 1, 2}), 0,
       "Instruction runs past the end of the code in class file. Offset = 0"},
      {{0, 0, 0, 17, 0}, 5, "Instruction runs past the end of the code in class file. Offset = 8"},
      {{196, 132, 0, 1, 0}, 0, "Instruction runs past the end of the code in class file. Offset = 0"},
  };
  for (const Row& row : rows) {
    ExpectCodeError(row.code, row.line, row.at);
    EXPECT_FALSE(ForEachIndex(row.code, 45, [](std::uint8_t, const CodeIndex&) {})) << row.line;
  }
  EXPECT_FALSE(ForEachIndex(Bytes{186, 0, 9, 0, 0}, 50, [](std::uint8_t, const CodeIndex&) {}));
}

TEST_F(ZYNCodeTest, RefusesCodeLengthsTheInputCannotHold) {
  ExpectError([&] { Decode({}); }, "Null code length");
  const std::int32_t lengths[] = {2, INT32_MAX, INT32_MIN, -1};
  for (std::int32_t length : lengths) {
    ExpectError(
        [&] {
          input.Reset({177});
          NewCode(input.in, length, 45, arena);
        },
        "Unexpected end of class file");
  }
}

TEST_F(ZYNCodeTest, MarksOnlyConstantPoolOperands) {
  const Bytes code = {18, 1,  19, 0, 2, 20, 0, 3, 178, 0, 4, 185, 0, 5, 1, 0, 197, 0, 6, 1, 187, 0, 7,
                      189, 0, 8, 192, 0, 9, 193, 0, 10, 186, 0, 11, 0, 0, 17, 0, 12, 16, 13, 21, 14, 196,
                      21, 0, 15, 167, 0, 16, 209, 0, 17, 188, 18, 132, 19, 1, 200, 0, 0, 0, 20, 177};
  auto cp = IntegerPool(21);
  const InstructionArray d = Decode(code, 51);
  MarkCode(*cp, d);
  MarkCode(*cp, d);
  for (int i = 1; i <= 20; ++i) EXPECT_EQ(cp->CountOf(i), i <= 11 ? 2 : 0) << i;
}

TEST_F(ZYNCodeTest, TranslatesIndexesInTheirOwnWidth) {
  auto cp = IntegerPool(250);
  const Bytes code = {18, 200, 19, 0, 200, 180, 0, 220, 185, 0, 230, 1, 0, 197, 0, 240, 2, 177};
  const InstructionArray d = Decode(code);
  for (int i = 51; i < 200; ++i) ZYNConstPool::Mark(*cp, i);
  MarkCode(*cp, d);
  Renumber(*cp);
  // Fifty entries below index 200 are dropped: ldc stays two bytes, ldc_w is not narrowed.
  EXPECT_EQ(Written(d, *cp),
            Cat({U4(18), {18, 150, 19, 0, 150, 180, 0, 151, 185, 0, 152, 1, 0, 197, 0, 153, 2, 177}}));

  auto kept = IntegerPool(250);
  ZYNConstPool::MarkAll(*kept);
  Renumber(*kept);
  EXPECT_EQ(Written(d, *kept), Cat({U4(18), code}));
}

}  // namespace
