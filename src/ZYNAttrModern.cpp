// Attributes kept as body bytes (every known kind but Code and Record): where the pool indexes stand in their
// bodies.
//
// These kinds hold pool references and nothing the tool rewrites otherwise, so one walk over the layout finds
// every index; marking and writing both use its result. LineNumberTable, StackMapTable, StackMap and the type
// annotations also hold code offsets, which stay valid because bytecode is never restructured.
// SourceDebugExtension, ModuleResolution, Deprecated, Synthetic and Scala are stateless: they hold no index.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <memory_resource>
#include <span>
#include <vector>

#include "FileModule.h"
#include "ZYNAttr.h"
#include "ZYNClassFile.h"

namespace ZYNAttr {

namespace {

using namespace ZYNClassFile;

// Element values nest through arrays and annotations; a crafted body must not be able to exhaust the stack.
// depth counts element value levels: 1 for the outermost.
constexpr int MaxNesting = 256;

// Reads a body front to back on an input over it, whose sticky Done makes every read after a failed one
// return 0 without moving, so the loops driven by counts stop at once.
class Cursor {
 public:
  Cursor(std::span<const std::uint8_t> body, std::pmr::vector<IndexSlot>& indexes) : indexes_(indexes) {
    FileModule::Reset(in_, body);
  }

  bool Ok() const { return in_.Done; }
  std::size_t Position() const { return static_cast<std::size_t>(in_.PC); }
  void Fail() { in_.Done = false; }

  std::uint32_t U1() {
    std::int16_t value = 0;
    FileModule::GetU1(in_, value);
    return in_.Done ? static_cast<std::uint32_t>(value) : 0;
  }

  std::uint32_t U2() {
    std::int32_t value = 0;
    FileModule::GetU2(in_, value);
    return in_.Done ? static_cast<std::uint32_t>(value) : 0;
  }

  void Skip(std::size_t n) {
    if (FileModule::Remaining(in_) >= n) in_.PC += static_cast<std::int32_t>(n);
    else Fail();
  }

  // A u2 pool index; optional where 0 means "no entry".
  void Index(bool optional = false, IndexSlot::Role role = IndexSlot::kIndex) {
    const auto offset = static_cast<std::uint32_t>(in_.PC);
    U2();
    if (in_.Done) indexes_.push_back({offset, optional, role});
  }

  // n entries of a table, each read by `entry`, up to the first that fails.
  template <class Entry>
  void Repeat(std::uint32_t n, Entry entry) {
    for (std::uint32_t i = 0; i < n && Ok(); ++i) entry();
  }

  // n indexes in a row, as in the many "u2 n; n × idx" tables.
  void Indexes(std::uint32_t n) {
    Repeat(n, [this] { Index(); });
  }

 private:
  FileModule::tInput in_;
  std::pmr::vector<IndexSlot>& indexes_;
};

void ElementValue(Cursor& c, int depth);

// The part after the type: element_value_pairs. depth is the level of the element value holding the
// annotation, 0 at the top.
void ElementValuePairs(Cursor& c, int depth) {
  c.Repeat(c.U2(), [&] {
    c.Index();
    ElementValue(c, depth + 1);
  });
}

void Annotation(Cursor& c, int depth) {
  c.Index(false, IndexSlot::kAnnotationType);
  ElementValuePairs(c, depth);
}

void ElementValue(Cursor& c, int depth) {
  if (depth > MaxNesting) return c.Fail();
  switch (c.U1()) {
    case 'B': case 'C': case 'D': case 'F': case 'I': case 'J': case 'S': case 'Z': case 'c':
      return c.Index();
    case 's':
      return c.Index(false, IndexSlot::kText);
    case 'e':
      c.Index();
      return c.Index();
    case '@':
      return Annotation(c, depth);
    case '[':
      return c.Repeat(c.U2(), [&] { ElementValue(c, depth + 1); });
    default:
      return c.Fail();
  }
}

void Annotations(Cursor& c) {
  c.Repeat(c.U2(), [&] { Annotation(c, 0); });
}

void ParameterAnnotations(Cursor& c) {
  c.Repeat(c.U1(), [&] { Annotations(c); });
}

void TypeAnnotation(Cursor& c) {
  const std::uint32_t targetType = c.U1();
  switch (targetType) {
    case kTargetClassTypeParameter: case kTargetMethodTypeParameter: case kTargetMethodFormalParameter:
      c.Skip(1);
      break;
    // supertype, throws, catch, code offset (a u2); type parameter bound (two u1)
    case kTargetClassExtends: case kTargetThrows: case kTargetExceptionParameter: case kTargetInstanceof:
    case kTargetNew: case kTargetConstructorReference: case kTargetMethodReference:
    case kTargetClassTypeParameterBound: case kTargetMethodTypeParameterBound:
      c.Skip(2);
      break;
    case kTargetField: case kTargetMethodReturn: case kTargetMethodReceiver:  // empty target
      break;
    case kTargetLocalVariable: case kTargetResourceVariable:  // a table of (start_pc, length, index)
      c.Repeat(c.U2(), [&] { c.Skip(6); });
      break;
    // type argument: offset, argument index
    case kTargetCast: case kTargetConstructorInvocationTypeArgument: case kTargetMethodInvocationTypeArgument:
    case kTargetConstructorReferenceTypeArgument: case kTargetMethodReferenceTypeArgument:
      c.Skip(3);
      break;
    default:
      return c.Fail();
  }
  c.Skip(2 * std::size_t{c.U1()});  // type_path
  Annotation(c, 0);
}

void TypeAnnotations(Cursor& c) {
  c.Repeat(c.U2(), [&] { TypeAnnotation(c); });
}

void VerificationTypeInfo(Cursor& c) {
  const std::uint32_t tag = c.U1();
  if (tag == kItemObject) return c.Index();         // a Class entry
  if (tag == kItemUninitialized) return c.Skip(2);  // a code offset, not an index
  if (tag > kItemUninitialized) c.Fail();
}

void VerificationTypeInfos(Cursor& c, std::uint32_t n) {
  c.Repeat(n, [&] { VerificationTypeInfo(c); });
}

void StackMapFrame(Cursor& c) {
  const std::uint32_t frameType = c.U1();
  if (frameType < kSameLocals1StackItemFrame) return;  // same_frame
  if (frameType < kReservedFrame) return VerificationTypeInfo(c);
  if (frameType < kSameLocals1StackItemFrameExtended) return c.Fail();
  c.Skip(2);  // offset_delta
  if (frameType == kSameLocals1StackItemFrameExtended) return VerificationTypeInfo(c);
  if (frameType <= kSameFrameExtended) return;  // chop_frame, same_frame_extended
  if (frameType < kFullFrame) return VerificationTypeInfos(c, frameType - kSameFrameExtended);  // append_frame
  VerificationTypeInfos(c, c.U2());  // full_frame: locals
  VerificationTypeInfos(c, c.U2());  // full_frame: stack
}

void StackMapTable(Cursor& c) {
  c.Repeat(c.U2(), [&] { StackMapFrame(c); });
}

// StackMapTable's forerunner, written by the CLDC preverifier: every frame in full, at an absolute offset.
void StackMap(Cursor& c) {
  c.Repeat(c.U2(), [&] {
    c.Skip(2);                         // offset
    VerificationTypeInfos(c, c.U2());  // locals
    VerificationTypeInfos(c, c.U2());  // stack
  });
}

// LocalVariableTable and LocalVariableTypeTable.
void LocalVariables(Cursor& c) {
  c.Repeat(c.U2(), [&] {
    c.Skip(4);  // start_pc, length
    c.Index();  // name
    c.Index();  // descriptor, or signature
    c.Skip(2);  // local variable index
  });
}

void InnerClasses(Cursor& c) {
  c.Repeat(c.U2(), [&] {
    c.Index();      // inner class
    c.Index(true);  // outer class, none for a local or anonymous class
    c.Index(true);  // simple name, none for an anonymous class
    c.Skip(2);      // access flags
  });
}

void BootstrapMethods(Cursor& c) {
  c.Repeat(c.U2(), [&] {
    c.Index();
    c.Indexes(c.U2());
  });
}

void MethodParameters(Cursor& c) {
  c.Repeat(c.U1(), [&] {
    c.Index(true);  // a parameter may be unnamed
    c.Skip(2);      // access_flags
  });
}

// exports and opens share one layout: package, flags, target modules.
void ModulePackageGrants(Cursor& c) {
  c.Repeat(c.U2(), [&] {
    c.Index();
    c.Skip(2);
    c.Indexes(c.U2());
  });
}

void Module(Cursor& c) {
  c.Index();      // module name
  c.Skip(2);      // module flags
  c.Index(true);  // module version
  c.Repeat(c.U2(), [&] {  // requires
    c.Index();
    c.Skip(2);
    c.Index(true);
  });
  ModulePackageGrants(c);  // exports
  ModulePackageGrants(c);  // opens
  c.Indexes(c.U2());       // uses
  c.Repeat(c.U2(), [&] {  // provides
    c.Index();
    c.Indexes(c.U2());
  });
}

// Scala 2's inlining facts, as scala-library and scalac's output hold them: u1 version (1), u1 flags (bit 0:
// the class is effectively final; bit 1: a self type follows, u2 Utf8 of its internal name; no other bit is
// seen, and one would bring fields this reader does not know), u2 count, then per method u2 name (Utf8),
// u2 descriptor (Utf8), u1 flags (final, trait method with a static body, inline, noinline).
void ScalaInlineInfo(Cursor& c) {
  if (c.U1() != 1) return c.Fail();
  const std::uint32_t flags = c.U1();
  if ((flags & ~std::uint32_t{kScalaEffectivelyFinal | kScalaSelfType}) != 0) return c.Fail();
  if ((flags & kScalaSelfType) != 0) c.Index();
  c.Repeat(c.U2(), [&] {
    c.Index();
    c.Index();
    c.Skip(1);
  });
}

void ModuleHashes(Cursor& c) {
  c.Index();  // algorithm
  c.Repeat(c.U2(), [&] {
    c.Index();
    c.Skip(c.U2());  // the hash bytes
  });
}

// Walks the layout over the cursor; false for the kinds parsed into fields, which hold no kept body.
bool Walk(tLayout layout, Cursor& c, std::size_t size) {
  switch (layout) {
    case tLayout::kParsed: return false;
    case tLayout::kIndex: c.Index(); break;
    case tLayout::kOptionalIndex: c.Index(true); break;
    case tLayout::kIndexes: c.Indexes(c.U2()); break;
    case tLayout::kEnclosingMethod: c.Index(); c.Index(true); break;
    case tLayout::kLineNumbers: c.Skip(4 * std::size_t{c.U2()}); break;  // start_pc, line_number
    case tLayout::kLocalVariables: LocalVariables(c); break;
    case tLayout::kInnerClasses: InnerClasses(c); break;
    case tLayout::kAnnotations: Annotations(c); break;
    case tLayout::kParameterAnnotations: ParameterAnnotations(c); break;
    case tLayout::kElementValue: ElementValue(c, 1); break;
    case tLayout::kTypeAnnotations: TypeAnnotations(c); break;
    case tLayout::kStackMapTable: StackMapTable(c); break;
    case tLayout::kStackMap: StackMap(c); break;
    case tLayout::kBootstrapMethods: BootstrapMethods(c); break;
    case tLayout::kMethodParameters: MethodParameters(c); break;
    case tLayout::kModule: Module(c); break;
    case tLayout::kModuleHashes: ModuleHashes(c); break;
    case tLayout::kScalaInlineInfo: ScalaInlineInfo(c); break;
    case tLayout::kRest: c.Skip(size); break;
    case tLayout::kSkip2: c.Skip(2); break;
    // ScalaSig: u1 major (5), u1 minor, u1 0 -- the pickled signature itself is in a ScalaSignature
    // annotation.
    case tLayout::kSkip3: c.Skip(3); break;
    case tLayout::kEmpty: break;  // Deprecated, Synthetic; Scala, a mark of a Scala class without a signature
  }
  return true;
}

}  // namespace

std::optional<std::size_t> LayoutSize(std::int16_t kind, std::span<const std::uint8_t> bytes,
                                      std::pmr::vector<IndexSlot>& indexes) {
  indexes.clear();
  Cursor c(bytes, indexes);
  const tKind* row = KindOf(kind);
  if (row == nullptr || !Walk(row->layout, c, bytes.size())) return std::nullopt;
  if (c.Ok()) return c.Position();
  indexes.clear();
  return std::nullopt;
}

bool FindIndexes(std::int16_t kind, std::span<const std::uint8_t> body, std::pmr::vector<IndexSlot>& indexes) {
  if (LayoutSize(kind, body, indexes) == body.size()) return true;
  indexes.clear();
  return false;
}

}  // namespace ZYNAttr
