// Where FindIndexes finds the pool indexes in the bodies of the attribute kinds kept as bytes (every known kind
// but Code and Record), and that it refuses every body that does not follow its kind's layout exactly.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ZYNAttr.h"

namespace {

using ZYNAttr::FindIndexes;
using ZYNAttr::IndexSlot;
using Bytes = std::vector<std::uint8_t>;
using Slots = std::pmr::vector<IndexSlot>;

// States a body in the order its bytes stand; Idx and Opt also note where the parser must find an index.
struct Body {
  Bytes bytes;
  std::vector<IndexSlot> slots;

  Body& U1(std::uint32_t v) {
    bytes.push_back(static_cast<std::uint8_t>(v));
    return *this;
  }
  Body& U2(std::uint32_t v) { return U1(v >> 8).U1(v); }
  Body& Idx(std::uint32_t v) { return Slot(v, false); }
  Body& Opt(std::uint32_t v) { return Slot(v, true); }
  Body& Fill(std::size_t n, std::uint8_t v = 0xA5) {
    bytes.insert(bytes.end(), n, v);
    return *this;
  }
  Body& Append(const Body& other) {
    for (IndexSlot s : other.slots) slots.push_back({s.offset + static_cast<std::uint32_t>(bytes.size()), s.optional});
    bytes.insert(bytes.end(), other.bytes.begin(), other.bytes.end());
    return *this;
  }

 private:
  Body& Slot(std::uint32_t v, bool optional) {
    slots.push_back({static_cast<std::uint32_t>(bytes.size()), optional});
    return U2(v);
  }
};

std::string Show(std::span<const IndexSlot> slots) {
  std::string text;
  for (IndexSlot s : slots) text += std::to_string(s.offset) + (s.optional ? "? " : " ");
  return text;
}

// An annotation using every element_value tag, arrays and a nested annotation included.
Body RichAnnotation() {
  Body nested;
  nested.Idx(30).U2(1).Idx(31).U1('Z').Idx(32);
  Body a;
  a.Idx(10).U2(13);
  for (char tag : std::string("BCDFIJSZsc")) a.Idx(11).U1(tag).Idx(12);
  a.Idx(13).U1('e').Idx(14).Idx(15);
  a.Idx(16).U1('@').Append(nested);
  a.Idx(17).U1('[').U2(2).U1('I').Idx(18).U1('[').U2(0);
  return a;
}

Body Annotations() {
  Body b;
  b.U2(2).Append(RichAnnotation()).Idx(40).U2(0);
  return b;
}

Body ParameterAnnotations() {
  Body b;
  b.U1(3).U2(1).Append(RichAnnotation()).U2(0).U2(2).Idx(5).U2(0).Idx(6).U2(1).Idx(7).U1('s').Idx(8);
  return b;
}

Body AnnotationDefault() {
  Body b;
  b.U1('[').U2(3).U1('e').Idx(1).Idx(2).U1('@').Idx(3).U2(0).U1('c').Idx(4);
  return b;
}

// Every frame kind and verification type; tag 8 holds a code offset, which is not an index.
Body StackMapTable() {
  Body b;
  b.U2(11);
  b.U1(0).U1(63);
  b.U1(64).U1(7).Idx(20);
  b.U1(127).U1(8).U2(0x0102);
  b.U1(247).U2(9).U1(1);
  b.U1(248).U2(3).U1(250).U2(4).U1(251).U2(5);
  b.U1(252).U2(6).U1(7).Idx(21);
  b.U1(254).U2(7).U1(2).U1(8).U2(0x0203).U1(7).Idx(22);
  b.U1(255).U2(8).U2(7).U1(0).U1(3).U1(4).U1(5).U1(6).U1(7).Idx(23).U1(8).U2(0x0304).U2(2).U1(7).Idx(24).U1(0);
  return b;
}

// Every target_info layout, a type_path of two steps, and an element value pair.
Body TypeAnnotations() {
  Body b;
  b.U2(11);
  auto rest = [&b](std::uint32_t type) { b.U1(2).U1(0).U1(0).U1(3).U1(1).Idx(type).U2(1).Idx(50).U1('I').Idx(51); };
  b.U1(0x00).U1(1), rest(60);
  b.U1(0x10).U2(0xFFFF), rest(61);
  b.U1(0x11).U1(1).U1(2), rest(62);
  b.U1(0x13), rest(63);
  b.U1(0x16).U1(0), rest(64);
  b.U1(0x17).U2(1), rest(65);
  b.U1(0x40).U2(2).U2(0).U2(5).U2(1).U2(2).U2(3).U2(4), rest(66);
  b.U1(0x41).U2(0), rest(67);
  b.U1(0x42).U2(3), rest(68);
  b.U1(0x46).U2(4), rest(69);
  b.U1(0x4B).U2(5).U1(0);
  b.U1(0).Idx(70).U2(0);  // an empty type_path and no pairs
  return b;
}

Body Module() {
  Body b;
  b.Idx(1).U2(0x0020).Opt(0);
  b.U2(2).Idx(2).U2(0x8000).Opt(3).Idx(4).U2(0).Opt(0);
  b.U2(2).Idx(5).U2(0).U2(0).Idx(6).U2(0).U2(2).Idx(7).Idx(8);
  b.U2(1).Idx(9).U2(0).U2(1).Idx(10);
  b.U2(2).Idx(11).Idx(12);
  b.U2(2).Idx(13).U2(1).Idx(14).Idx(15).U2(0);
  return b;
}

struct Case {
  const char* name;
  std::int16_t kind;
  Body body;
};

std::vector<Case> WellFormed() {
  using namespace ZYNAttr;
  return {
      {"SourceFile", SourceFileAttr, Body().Idx(4)},
      {"ConstantValue", ConstantValueAttr, Body().Idx(5)},
      {"Exceptions", ExceptionsAttr, Body().U2(2).Idx(6).Idx(7)},
      {"LineNumberTable", LineNumberTableAttr, Body().U2(2).U2(0).U2(10).U2(4).U2(11)},
      {"LocalVariableTable", LocalVariableTableAttr, Body().U2(1).U2(0).U2(9).Idx(8).Idx(9).U2(0)},
      {"Deprecated", DeprecatedAttr, Body()},
      {"Synthetic", SyntheticAttr, Body()},
      {"InnerClasses", InnerClassesAttr, Body().U2(2).Idx(1).Opt(2).Opt(3).U2(8).Idx(4).Opt(0).Opt(0).U2(0)},
      {"EnclosingMethod", EnclosingMethodAttr, Body().Idx(3).Opt(4)},
      {"EnclosingMethod outside a method", EnclosingMethodAttr, Body().Idx(3).Opt(0)},
      {"Signature", SignatureAttr, Body().Idx(0x1234)},
      {"LocalVariableTypeTable", LocalVariableTypeTableAttr,
       Body().U2(2).U2(0).U2(10).Idx(5).Idx(6).U2(1).U2(2).U2(8).Idx(7).Idx(8).U2(2)},
      {"LocalVariableTypeTable empty", LocalVariableTypeTableAttr, Body().U2(0)},
      {"RuntimeVisibleAnnotations", RuntimeVisibleAnnotationsAttr, Annotations()},
      {"RuntimeInvisibleAnnotations", RuntimeInvisibleAnnotationsAttr, Annotations()},
      {"RuntimeVisibleAnnotations empty", RuntimeVisibleAnnotationsAttr, Body().U2(0)},
      {"RuntimeVisibleParameterAnnotations", RuntimeVisibleParameterAnnotationsAttr, ParameterAnnotations()},
      {"RuntimeInvisibleParameterAnnotations", RuntimeInvisibleParameterAnnotationsAttr, ParameterAnnotations()},
      {"ParameterAnnotations without parameters", RuntimeVisibleParameterAnnotationsAttr, Body().U1(0)},
      {"AnnotationDefault", AnnotationDefaultAttr, AnnotationDefault()},
      {"AnnotationDefault constant", AnnotationDefaultAttr, Body().U1('J').Idx(9)},
      {"StackMapTable", StackMapTableAttr, StackMapTable()},
      {"StackMap", StackMapAttr,  // an empty entry, then one with every verification type
       Body().U2(2).U2(0).U2(0).U2(0).U2(5).U2(9).U1(0).U1(1).U1(2).U1(3).U1(4).U1(5).U1(6).U1(7).Idx(25).U1(8)
           .U2(0x0102).U2(2).U1(7).Idx(26).U1(1)},
      {"BootstrapMethods", BootstrapMethodsAttr, Body().U2(2).Idx(1).U2(3).Idx(2).Idx(3).Idx(4).Idx(5).U2(0)},
      {"MethodParameters", MethodParametersAttr, Body().U1(3).Opt(0).U2(0x1000).Opt(7).U2(0x0010).Opt(8).U2(0)},
      {"RuntimeVisibleTypeAnnotations", RuntimeVisibleTypeAnnotationsAttr, TypeAnnotations()},
      {"RuntimeInvisibleTypeAnnotations", RuntimeInvisibleTypeAnnotationsAttr, TypeAnnotations()},
      {"Module", ModuleAttr, Module()},
      {"Module minimal", ModuleAttr, Body().Idx(1).U2(0).Opt(0).U2(0).U2(0).U2(0).U2(0).U2(0)},
      {"ModulePackages", ModulePackagesAttr, Body().U2(2).Idx(3).Idx(4)},
      {"ModuleMainClass", ModuleMainClassAttr, Body().Idx(5)},
      {"NestHost", NestHostAttr, Body().Idx(6)},
      {"NestMembers", NestMembersAttr, Body().U2(3).Idx(7).Idx(8).Idx(9)},
      {"NestMembers empty", NestMembersAttr, Body().U2(0)},
      {"PermittedSubclasses", PermittedSubclassesAttr, Body().U2(1).Idx(10)},
      {"ModuleTarget", ModuleTargetAttr, Body().Opt(11)},
      {"ModuleTarget without platform", ModuleTargetAttr, Body().Opt(0)},
      {"ModuleHashes", ModuleHashesAttr, Body().Idx(12).U2(2).Idx(13).U2(3).Fill(3).Idx(14).U2(0)},
      {"ModuleResolution", ModuleResolutionAttr, Body().U2(0x0008)},
      {"ScalaSig", ScalaSigAttr, Body().U1(5).U1(0).U1(0)},
      {"Scala", ScalaAttr, Body()},
      {"ScalaInlineInfo", ScalaInlineInfoAttr, Body().U1(1).U1(0).U2(2).Idx(3).Idx(4).U1(1).Idx(5).Idx(6).U1(4)},
      {"ScalaInlineInfo of a final class with a self type", ScalaInlineInfoAttr,
       Body().U1(1).U1(3).Idx(7).U2(1).Idx(8).Idx(9).U1(2)},
      {"ScalaInlineInfo without methods", ScalaInlineInfoAttr, Body().U1(1).U1(1).U2(0)},
  };
}

TEST(ZYNAttrModern, FindsEveryIndexOfWellFormedBodies) {
  for (const Case& c : WellFormed()) {
    SCOPED_TRACE(c.name);
    Slots found(3, IndexSlot{999, true});  // stale entries must go
    ASSERT_TRUE(FindIndexes(c.kind, c.body.bytes, found));
    EXPECT_EQ(Show(found), Show(c.body.slots));
  }
}

// The same facts with the bytes spelled out, independent of the builder.
TEST(ZYNAttrModern, ReadsBigEndianOffsetsLiterally) {
  Slots found;
  ASSERT_TRUE(FindIndexes(ZYNAttr::EnclosingMethodAttr, Bytes{0, 5, 0, 0}, found));
  EXPECT_EQ(Show(found), "0 2? ");
  ASSERT_TRUE(FindIndexes(ZYNAttr::StackMapTableAttr, Bytes{0, 2, 65, 8, 0, 9, 66, 7, 0, 3}, found));
  EXPECT_EQ(Show(found), "8 ");  // the Uninitialized offset at 4 is code, not pool
  ASSERT_TRUE(FindIndexes(ZYNAttr::RuntimeVisibleAnnotationsAttr, Bytes{0, 1, 0, 4, 0, 1, 0, 6, 'e', 0, 7, 0, 8},
                          found));
  EXPECT_EQ(Show(found), "2 6 9 11 ");
}

TEST(ZYNAttrModern, SourceDebugExtensionIsAnyBytes) {
  Slots found(1);
  for (const Bytes& body : {Bytes{}, Bytes{0xFF}, Bytes{'S', 'M', 'A', 'P', '\n', 0, 0, 0}}) {
    EXPECT_TRUE(FindIndexes(ZYNAttr::SourceDebugExtensionAttr, body, found));
    EXPECT_TRUE(found.empty());
  }
}

TEST(ZYNAttrModern, RefusesKindsItDoesNotKeep) {
  using namespace ZYNAttr;
  Slots found;
  const std::vector<std::int16_t> kinds = {UnknownAttr, CodeAttr, RecordAttr, 99, -1};
  for (std::int16_t kind : kinds) {
    EXPECT_FALSE(FindIndexes(kind, Bytes{0, 0}, found)) << kind;
    EXPECT_FALSE(FindIndexes(kind, Bytes{0, 1}, found)) << kind;
  }
}

// The original kinds are read from the rest of the file by their layout, whatever length they declare.
TEST(ZYNAttrModern, LayoutSizeMeasuresTheLayoutAtTheStartOfTheBytes) {
  using namespace ZYNAttr;
  Slots found(1);
  EXPECT_EQ(LayoutSize(SourceFileAttr, Bytes{0, 5, 9, 9, 9}, found), 2u);
  EXPECT_EQ(Show(found), "0 ");
  EXPECT_EQ(LayoutSize(LineNumberTableAttr, Bytes{0, 1, 0, 0, 0, 7, 0, 1}, found), 6u);
  EXPECT_EQ(LayoutSize(DeprecatedAttr, Bytes{1, 2}, found), 0u);
  EXPECT_TRUE(found.empty());
  EXPECT_EQ(LayoutSize(ExceptionsAttr, Bytes{0, 2, 0, 1}, found), std::nullopt);  // ends inside
  EXPECT_TRUE(found.empty());
  EXPECT_EQ(LayoutSize(CodeAttr, Bytes{0, 0}, found), std::nullopt);
}

TEST(ZYNAttrModern, RefusesEveryTruncationAndTrailingByte) {
  for (const Case& c : WellFormed()) {
    SCOPED_TRACE(c.name);
    Slots found;
    for (std::size_t n = 0; n < c.body.bytes.size(); ++n) {
      const Bytes prefix(c.body.bytes.begin(), c.body.bytes.begin() + static_cast<std::ptrdiff_t>(n));
      EXPECT_FALSE(FindIndexes(c.kind, prefix, found)) << "prefix of " << n << " bytes";
      EXPECT_TRUE(found.empty());
    }
    Bytes longer = c.body.bytes;
    longer.push_back(0);
    EXPECT_FALSE(FindIndexes(c.kind, longer, found));
  }
}

// A malformed byte followed by 0 to 3 filler bytes: whatever size a parser guessed for it, some variant
// would then be consumed exactly, so refusing them all shows the byte itself is refused.
void ExpectRefused(std::int16_t kind, const Bytes& head, const Bytes& tail, const std::string& what) {
  for (std::size_t pad = 0; pad <= 3; ++pad) {
    Bytes body = head;
    body.insert(body.end(), pad, 0);
    body.insert(body.end(), tail.begin(), tail.end());
    Slots found;
    EXPECT_FALSE(FindIndexes(kind, body, found)) << what << " with " << pad << " filler bytes";
  }
}

// A version or a flag this reader does not know may bring fields it cannot place: the body stays unknown.
TEST(ZYNAttrModern, RefusesScalaInlineInfoOfAnotherVersionOrWithUnknownFlags) {
  for (std::uint32_t version : {0u, 2u, 255u})
    ExpectRefused(ZYNAttr::ScalaInlineInfoAttr, Body().U1(version).U1(0).U2(0).bytes, {}, "version");
  for (std::uint32_t flags : {4u, 5u, 8u, 0x80u})
    ExpectRefused(ZYNAttr::ScalaInlineInfoAttr, Body().U1(1).U1(flags).U2(0).bytes, {}, "flags");
}

TEST(ZYNAttrModern, RefusesReservedFrameTypesAndVerificationTags) {
  for (std::uint32_t frameType = 128; frameType <= 246; ++frameType)
    ExpectRefused(ZYNAttr::StackMapTableAttr, Body().U2(1).U1(frameType).bytes, {},
                  "frame " + std::to_string(frameType));
  for (std::uint32_t tag = 9; tag <= 255; ++tag) {
    ExpectRefused(ZYNAttr::StackMapTableAttr, Body().U2(1).U1(64).U1(tag).bytes, {}, "tag " + std::to_string(tag));
    ExpectRefused(ZYNAttr::StackMapTableAttr, Body().U2(1).U1(255).U2(0).U2(1).U1(tag).bytes, Body().U2(0).bytes,
                  "local tag " + std::to_string(tag));
    ExpectRefused(ZYNAttr::StackMapAttr, Body().U2(1).U2(0).U2(0).U2(1).U1(tag).bytes, {},
                  "StackMap tag " + std::to_string(tag));
  }
}

TEST(ZYNAttrModern, RefusesUnknownTargetTypes) {
  const std::vector<std::uint32_t> known = {0x00, 0x01, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x40,
                                            0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x4B};
  const Bytes rest = Body().U1(0).Idx(1).U2(0).bytes;
  Slots found;
  for (std::uint32_t type = 0; type <= 255; ++type) {
    bool isKnown = false;
    for (std::uint32_t k : known) isKnown = isKnown || k == type;
    if (!isKnown) {
      ExpectRefused(ZYNAttr::RuntimeVisibleTypeAnnotationsAttr, Body().U2(1).U1(type).bytes, rest,
                    "target " + std::to_string(type));
    }
  }
  // The empty targets accept exactly the rest, which the filler above relies on.
  Bytes empty = Body().U2(1).U1(0x14).bytes;
  empty.insert(empty.end(), rest.begin(), rest.end());
  EXPECT_TRUE(FindIndexes(ZYNAttr::RuntimeVisibleTypeAnnotationsAttr, empty, found));
}

TEST(ZYNAttrModern, RefusesUnknownElementTags) {
  const std::string known = "BCDFIJSZsec@[";
  for (std::uint32_t tag = 0; tag <= 255; ++tag) {
    if (known.find(static_cast<char>(tag)) != std::string::npos) continue;
    ExpectRefused(ZYNAttr::AnnotationDefaultAttr, Body().U1(tag).bytes, {}, "tag " + std::to_string(tag));
    ExpectRefused(ZYNAttr::RuntimeInvisibleAnnotationsAttr, Body().U2(1).Idx(1).U2(1).Idx(2).U1(tag).bytes, {},
                  "pair tag " + std::to_string(tag));
  }
}

// levels element values, each but the innermost an array holding the next.
Body NestedArrays(int levels) {
  Body b;
  for (int i = 1; i < levels; ++i) b.U1('[').U2(1);
  return b.U1('I').Idx(1);
}

// levels element values, each but the innermost an annotation whose one pair holds the next.
Body NestedAnnotations(int levels) {
  Body b;
  b.U2(1).Idx(1).U2(1);
  for (int i = 1; i < levels; ++i) b.Idx(2).U1('@').Idx(3).U2(1);
  return b.Idx(4).U1('s').Idx(5);
}

TEST(ZYNAttrModern, LimitsNestingTo256Levels) {
  struct Depth {
    int levels;
    bool accepted;
  };
  for (Depth d : {Depth{1, true}, Depth{200, true}, Depth{256, true}, Depth{257, false}, Depth{300, false},
                  Depth{100000, false}}) {
    SCOPED_TRACE(d.levels);
    Slots found;
    const Body arrays = NestedArrays(d.levels);
    EXPECT_EQ(FindIndexes(ZYNAttr::AnnotationDefaultAttr, arrays.bytes, found), d.accepted);
    if (d.accepted) {
      EXPECT_EQ(Show(found), Show(arrays.slots));
    }
    const Body annotations = NestedAnnotations(d.levels);
    EXPECT_EQ(FindIndexes(ZYNAttr::RuntimeVisibleAnnotationsAttr, annotations.bytes, found), d.accepted);
    if (d.accepted) {
      EXPECT_EQ(Show(found), Show(annotations.slots));
    }
  }
}

// A deterministic mutation loop in the manner of a fuzzer: whatever the bytes, no crash, and on success
// every index lies inside the body, in body order, without overlap.
TEST(ZYNAttrModern, SurvivesMutatedBodies) {
  std::uint64_t state = 0x9E3779B97F4A7C15u;
  auto next = [&state](std::uint64_t bound) {
    state ^= state << 13, state ^= state >> 7, state ^= state << 17;
    return bound == 0 ? 0 : state % bound;
  };
  std::vector<Case> cases = WellFormed();
  cases.push_back({"deep", ZYNAttr::AnnotationDefaultAttr, NestedArrays(250)});
  int accepted = 0;
  for (const Case& c : cases) {
    Bytes body = c.body.bytes;
    for (int i = 0; i < 4000; ++i) {
      if (next(8) == 0) body = c.body.bytes;  // restart now and then so mutants stay near the layout
      for (std::uint64_t m = next(3) + 1; m > 0; --m) {
        switch (next(5)) {
          case 0: if (!body.empty()) body[next(body.size())] = static_cast<std::uint8_t>(next(256)); break;
          case 1: if (!body.empty()) body[next(body.size())] ^= static_cast<std::uint8_t>(1u << next(8)); break;
          case 2: body.insert(body.begin() + static_cast<std::ptrdiff_t>(next(body.size() + 1)),
                              static_cast<std::uint8_t>(next(256))); break;
          case 3: if (!body.empty()) body.erase(body.begin() + static_cast<std::ptrdiff_t>(next(body.size()))); break;
          default: body.resize(next(body.size() + 1)); break;
        }
      }
      Slots found;
      if (!FindIndexes(c.kind, body, found)) continue;
      ++accepted;
      std::uint32_t end = 0;
      for (IndexSlot s : found) {
        ASSERT_GE(s.offset, end) << c.name;
        ASSERT_LE(s.offset + 2u, body.size()) << c.name;
        end = s.offset + 2;
      }
    }
  }
  EXPECT_GT(accepted, 0);  // the loop also exercised the accepting paths
}

}  // namespace
