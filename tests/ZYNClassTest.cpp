// The class file as a whole: reading errors by where the file ends, round trips, and the marking that
// drops unused pool entries and renumbers the rest.
#include <algorithm>
#include <cstdint>
#include <memory_resource>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "FileModule.h"
#include "TestSupport.h"
#include "ZYNData.h"
#include "ZYNConstPool.h"
#include "ZYNAttr.h"
#include "ZYNCode.h"

namespace {

// A class of a recent version using pool kinds and attributes of later versions; `junk` adds unused
// entries in between.
Bytes ModernClass(bool junk, int minor = 0) {
  ClassBuilder b;
  auto junkHere = [&] {
    if (junk) b.Utf8("junk");
  };
  junkHere();
  const int self = b.Class("M"), super = b.Class("java/lang/Record"), iface = b.Class("java/io/Serializable");
  if (junk) b.Double(0, 1);
  const int code = b.Utf8("Code"), smt = b.Utf8("StackMapTable"), bsm = b.Utf8("BootstrapMethods");
  const int signature = b.Utf8("Signature"), nest = b.Utf8("NestMembers"), record = b.Utf8("Record");
  const int rva = b.Utf8("RuntimeVisibleAnnotations");
  const int x = b.Utf8("x"), xd = b.Utf8("I"), m = b.Utf8("m"), md = b.Utf8("()Ljava/lang/Object;");
  junkHere();
  const int sig = b.Utf8("()TT;"), ann = b.Utf8("LAnn;");
  const int indy = b.InvokeDynamic(0, b.NameAndType(b.Utf8("run"), b.Utf8("()Ljava/lang/Runnable;")));
  const int make = b.Methodref(b.Class("Factory"), b.NameAndType(b.Utf8("make"), b.Utf8("()V")));
  const int mh = b.MethodHandle(6, make), mt = b.MethodType(b.Utf8("()V"));
  const int inner = b.Class("M$In");
  junkHere();
  const Bytes codeBytes = ByteWriter().u1(186).u2(indy).u2(0).u1(176).bytes;
  const Bytes frames = ByteWriter().u2(1).u1(64).u1(7).u2(self).bytes;
  const Bytes annotations = Attribute(rva, ByteWriter().u2(1).u2(ann).u2(0).bytes);
  const Bytes component = ByteWriter().u2(x).u2(xd).u2(1).raw(annotations).bytes;
  b.Version(61, minor).This(self).Super(super).Interface(iface).Field(0x12, x, xd);
  b.Method(1, m, md, {Attribute(code, CodeBody(codeBytes, {}, {Attribute(smt, frames)})),
                      Attribute(signature, ByteWriter().u2(sig).bytes)});
  b.ClassAttr(Attribute(bsm, ByteWriter().u2(1).u2(mh).u2(1).u2(mt).bytes));
  b.ClassAttr(Attribute(nest, ByteWriter().u2(1).u2(inner).bytes));
  b.ClassAttr(Attribute(record, ByteWriter().u2(1).raw(component).bytes));
  return b.Build();
}

std::int32_t PoolEnd(const ZYNClass::tClassDesc& cls) {
  std::int32_t end = 10;
  for (std::int32_t i = 1; i < cls.cp->length(); ++i)
    if (cls.cp->Tag(i) != 0) end += ZYNConstPool::SizeOf(*cls.cp, i);
  return end;
}

void ExpectReadError(const Bytes& bytes, const std::string& line) {
  ExpectError(
      [&] {
        const ZYNData::tParams params;
        ZYNClass::tContext ctx(params);
        FileModule::Reset(ctx.in, bytes);
        ZYNClass::ReadClass(ctx);
      },
      line);
}

// While it lives, the default memory resource, which the arenas take their blocks from (and any vector that
// missed its arena): counts what is taken from it.
struct tCountedResource : std::pmr::memory_resource {
  tCountedResource() : upstream(std::pmr::set_default_resource(this)) {}
  ~tCountedResource() override { std::pmr::set_default_resource(upstream); }
  void* do_allocate(std::size_t n, std::size_t align) override {
    ++blocks, bytes += n;
    return upstream->allocate(n, align);
  }
  void do_deallocate(void* p, std::size_t n, std::size_t align) override { upstream->deallocate(p, n, align); }
  bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override { return this == &other; }
  std::pmr::memory_resource* upstream;
  int blocks = 0;
  std::size_t bytes = 0;
};

using ZYNClassTest = ::testing::Test;

TEST_F(ZYNClassTest, ReportsWhereATruncatedFileEnds) {
  const Bytes full = ModernClass(false);
  std::int32_t read = -1;
  auto cls = ReadBytes(full, nullptr, &read);
  ASSERT_TRUE(cls);
  EXPECT_EQ(read, static_cast<std::int32_t>(full.size()));
  const std::int32_t poolEnd = PoolEnd(*cls);
  for (std::int32_t cut = 0; cut < static_cast<std::int32_t>(full.size()); ++cut) {
    const char* line = cut < 4         ? "This is not class file"
                       : cut < 8       ? "File read error"
                       : cut < poolEnd ? "Constant pool read error"
                                       : "Unexpected end of class file";
    SCOPED_TRACE(cut);
    ExpectReadError(Bytes(full.begin(), full.begin() + cut), line);
  }
}

TEST_F(ZYNClassTest, RefusesAWrongMagic) {
  Bytes bytes = ModernClass(false);
  bytes[3] = 0xBF;
  ExpectReadError(bytes, "This is not class file");
  ExpectReadError({0xCA, 0xFE, 0xBA}, "This is not class file");
}

TEST_F(ZYNClassTest, KeptWholeTheClassIsWrittenAsRead) {
  for (int minor : {0, 0xFFFF}) {
    const Bytes bytes = ModernClass(true, minor);
    auto cls = ReadBytes(bytes);
    ASSERT_TRUE(cls);
    EXPECT_EQ(WriteMarked(*cls, true), bytes);
  }
  for (auto [major, minor] : {std::pair{45, 3}, {0, 0}, {0xFFFF, 0xFFFF}}) {
    ClassBuilder b;
    const int self = b.Class("V");
    b.Version(major, minor).This(self);
    auto cls = ReadBytes(b.Build());
    ASSERT_TRUE(cls);
    EXPECT_EQ(WriteMarked(*cls, true), b.Build()) << major;
  }
}

TEST_F(ZYNClassTest, MarkClassDropsUnusedEntriesAndRenumbers) {
  auto cls = ReadBytes(ModernClass(true));
  ASSERT_TRUE(cls);
  ZYNConstPool::UnMark(cls->marking);
  ZYNClass::MarkClass(*cls);
  std::int32_t dropped = 0, bytes = 0;
  ZYNConstPool::RenumUnUsed(cls->marking, dropped, bytes);
  EXPECT_EQ(dropped, 4);
  EXPECT_EQ(bytes, 3 * 7 + 9);
  EXPECT_EQ(WriteMarked(*cls), ModernClass(false));
}

TEST_F(ZYNClassTest, MarkClassCountsTheKeptStructure) {
  ClassBuilder b;
  const int self = b.Class("S"), iface = b.Class("I"), name = b.Utf8("v"), desc = b.Utf8("I");
  const int gone = b.Utf8("gone");
  b.This(self).Interface(iface).Interface(iface).Field(2, name, desc).Method(2, name, desc).Field(2, gone, desc);
  auto cls = ReadBytes(b.Build());
  ASSERT_TRUE(cls);
  cls->fields[1].present = false;
  cls->fieldCount = 1;
  ZYNConstPool::UnMark(cls->marking);
  ZYNClass::MarkClass(*cls);
  const std::pair<int, int> marks[] = {{self, 1}, {iface, 2}, {iface - 1, 2}, {name, 2}, {desc, 2}, {gone, 0}};
  for (const auto& [index, mark] : marks) EXPECT_EQ(cls->marking.CountOf(index), mark) << index;
}

// Counts reach every level of the pool (method handle, member reference, class and name-and-type, Utf8) as
// many times as they are used, whether the marking may cascade once at the end or, in a pool with a
// reference that does not lead down (a Class naming a String), must cascade at each reference.
TEST_F(ZYNClassTest, MarkClassCountsEveryLevelOfThePool) {
  for (bool odd : {false, true}) {
    ClassBuilder b;
    b.Version(52);
    const int self = b.Class("S"), name = b.Utf8("m"), desc = b.Utf8("()V"), code = b.Utf8("Code");
    const int handle = b.MethodHandle(6, b.Methodref(self, b.NameAndType(name, desc)));
    const int text = b.Utf8("x"), string = b.String(text), weird = odd ? b.ClassRef(string) : string;
    const auto hi = [](int index) { return static_cast<std::uint8_t>(index >> 8); };
    const auto lo = [](int index) { return static_cast<std::uint8_t>(index); };
    const Bytes body = {0x13, hi(handle), lo(handle), 0x13, hi(handle), lo(handle), 0x13, hi(weird), lo(weird), 177};
    b.This(self).Method(8, name, desc, {Attribute(code, CodeBody(body))});
    auto cls = ReadBytes(b.Build());
    ASSERT_TRUE(cls);
    ZYNConstPool::UnMark(cls->marking);
    ZYNClass::MarkClass(*cls);
    const std::pair<int, int> marks[] = {{handle, 2},   {handle - 1, 2}, {handle - 2, 2}, {self, 3}, {self - 1, 3},
                                         {name, 3},     {desc, 3},       {code, 1},       {string, 1}, {text, 1}};
    for (const auto& [index, mark] : marks) EXPECT_EQ(cls->marking.CountOf(index), mark) << index << (odd ? " odd" : "");
    if (odd) {
      EXPECT_EQ(cls->marking.CountOf(weird), 1);
    }
  }
}

TEST_F(ZYNClassTest, SuperClassZeroIsNeitherMarkedNorTranslated) {
  auto build = [](bool junk) {
    ClassBuilder b;
    if (junk) b.Utf8("junk");
    const int self = b.Class("java/lang/Object"), name = b.Utf8("f"), desc = b.Utf8("J");
    b.This(self).Super(0).Field(8, name, desc);
    return b.Build();
  };
  auto cls = ReadBytes(build(true));
  ASSERT_TRUE(cls);
  EXPECT_EQ(cls->superClass, 0);
  EXPECT_EQ(WriteMarked(*cls), build(false));
}

TEST_F(ZYNClassTest, RefusesAnInterfaceIndexOfZero) {
  ClassBuilder b;
  const int self = b.Class("Z");
  b.This(self).Interface(0);
  auto cls = ReadBytes(b.Build());
  ASSERT_TRUE(cls);
  ZYNConstPool::UnMark(cls->marking);
  ExpectError([&] { ZYNClass::MarkClass(*cls); }, "Constant pool index less than 1");
}

TEST_F(ZYNClassTest, BytesAfterTheAttributesAreRefused) {
  for (const Bytes& extra : {Bytes{0}, Bytes{0xCA, 0xFE, 0xBA, 0xBE, 0}, Bytes(5000, 0x41)}) {
    ClassBuilder b;
    b.This(b.Class("T"));
    b.Trailing(extra);
    const ZYNClass::tFileResult r = ZYNClass::OptimizeFile(b.Build(), {});
    EXPECT_EQ(r.error.Line(), "ERROR: Extra bytes at the end of class file");
    EXPECT_EQ(r.error.Code(), "ExtraBytes");
    EXPECT_TRUE(r.bytes.empty());
  }
}

TEST_F(ZYNClassTest, ReadingTakesAFewBlocksThatTheInputSizes) {
  ClassBuilder big;
  const int self = big.Class("Big"), code = big.Utf8("Code"), lines = big.Utf8("LineNumberTable");
  const int note = big.Utf8("Note"), desc = big.Utf8("()V");
  for (int i = 0; i < 400; ++i) {
    const Bytes table = ByteWriter().u2(1).u2(0).u2(i).bytes;
    big.Method(2, big.Utf8("m" + std::to_string(i)), desc,
               {Attribute(code, CodeBody({177}, {{0, 1, 0, self}}, {Attribute(lines, table), Attribute(note, {1})}))});
  }
  big.This(self).ClassAttr(Attribute(note, {2}));
  ClassBuilder hostile;  // a pool count of 65535 over a few bytes
  hostile.PoolCount(0xFFFF).Utf8("x");
  for (const auto& [bytes, blocks, whole] : {std::tuple{big.Build(), 3, true}, std::tuple{hostile.Build(), 1, false}}) {
    tCountedResource counted;
    const ZYNData::tParams params;
    ZYNClass::tContext ctx(params);
    FileModule::Reset(ctx.in, bytes);
    bool fatal = false;
    Captured([&] { ZYNClass::ReadClass(ctx); }, &fatal);
    EXPECT_EQ(fatal, !whole);
    EXPECT_LE(counted.blocks, blocks);
    EXPECT_LE(counted.bytes, 16 * bytes.size() + 1024);
  }
}

// The texts that the class's code loads with ldc and ldc_w, in code order, each with whether its operand
// took one byte; and the Utf8 texts of the pool in its order.
struct tLoaded {
  std::vector<std::pair<std::string, bool>> loads;
  std::vector<std::string> utf8;
};
tLoaded Loaded(const Bytes& bytes) {
  tLoaded l;
  const auto cls = ReadBytes(bytes);
  const auto& cp = *cls->cp;
  for (std::int32_t i = 1; i < cp.length(); ++i)
    if (ZYNConstPool::IsUtf8(cp, i)) l.utf8.emplace_back(ZYNConstPool::Utf8Text(cp, i));
  for (const auto& method : cls->methods)
    for (const auto& attr : method.attrs)
      if (const auto* code = dynamic_cast<const ZYNAttr::CodeAttributeDesc*>(attr.get()))
        for (const ZYNCode::CodeIndex& index : code->code.Indexes()) {
          // The invokestatic operands are the other indexes; a String lost or gained shows in the list.
          if (const std::int32_t text = ZYNConstPool::StringAt(cp, index.index))
            l.loads.emplace_back(ZYNConstPool::Utf8Text(cp, text), index.wide);
        }
  return l;
}

// -pack sorts the pool by kind and text, but what a one-byte ldc names comes first: here strings whose texts
// sort last, at the end of the part ldc reaches, in a pool of over 700 entries.
TEST_F(ZYNClassTest, PackingKeepsWhatLdcNamesBelow256AndIsAFixedPoint) {
  ClassBuilder b;
  const int self = b.Class("P"), super = b.Class("java/lang/Object");
  const int code = b.Utf8("Code"), name = b.Utf8("m"), desc = b.Utf8("()V");
  ByteWriter ins;
  const auto load = [&](char first, int below) {
    while (b.NextIndex() < below) {
      const int string = b.String(b.Utf8(first + std::to_string(1000 - b.NextIndex())));
      if (first == 'z') ins.u1(0x12).u1(string).u1(0x57);  // ldc, pop
      else ins.u1(0x13).u2(string).u1(0x57);               // ldc_w, pop
    }
  };
  load('a', 240), load('z', 255), load('b', 420);
  // Private methods that renaming gives the texts above as names: which it offers must not hang on the order.
  for (int k = 0; k < 120; ++k) {
    const int helper = b.Utf8("helper" + std::to_string(k));
    ins.u1(0xB8).u2(b.Methodref(self, b.NameAndType(helper, desc)));  // invokestatic
    b.Method(0x0A, helper, desc, {Attribute(code, CodeBody({0xB1}, {}, {}, 0, 0))});
  }
  ins.u1(0xB1);
  b.Version(52).This(self).Super(super).Method(9, name, desc, {Attribute(code, CodeBody(ins.bytes, {}, {}, 1, 0))});
  const Bytes input = b.Build();
  ZYNData::tParams pack;
  pack.pack = true;
  const ZYNClass::tFileResult first = ZYNClass::OptimizeFile(input, pack);
  ASSERT_TRUE(first.error.empty()) << first.error.Line();
  const tLoaded before = Loaded(input), after = Loaded(first.bytes);
  EXPECT_EQ(after.loads, before.loads);
  EXPECT_TRUE(std::ranges::is_sorted(after.utf8));
  EXPECT_FALSE(std::ranges::is_sorted(before.utf8));
  EXPECT_EQ(ZYNClass::OptimizeFile(first.bytes, pack).bytes, first.bytes);
  // Without the key the pool keeps its order.
  EXPECT_FALSE(std::ranges::is_sorted(Loaded(ZYNClass::OptimizeFile(input, {}).bytes).utf8));
}

// An unknown attribute may hold pool indexes no one can move: its class keeps the pool's order, also when
// -nowarn lets it be written.
TEST_F(ZYNClassTest, PackingLeavesAClassWithAnUnknownAttributeInOrder) {
  ClassBuilder b;
  const int self = b.Class("Q"), note = b.Utf8("Note");
  b.Utf8("zz"), b.Utf8("aa");
  b.This(self).ClassAttr(Attribute(note, {0, 4}));
  ZYNData::tParams packed, plain;
  packed.pack = packed.nowarn = plain.nowarn = true;
  EXPECT_EQ(ZYNClass::OptimizeFile(b.Build(), packed).bytes, ZYNClass::OptimizeFile(b.Build(), plain).bytes);
  packed.uattr = true;
  EXPECT_TRUE(std::ranges::is_sorted(Loaded(ZYNClass::OptimizeFile(b.Build(), packed).bytes).utf8));
}

}  // namespace
