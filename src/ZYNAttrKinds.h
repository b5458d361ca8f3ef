// The attribute kinds: one row each, the only place that describes a kind. The reader, the layout walkers, the
// removal by key and the names pass all take what they know of a kind from its row. Includes nothing of ours.
#pragma once
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace ZYNAttr {

// How a kind is read: Code and Record hold nested attribute lists and are parsed into fields; Original (the
// kinds of the first class files) is read by its layout whatever length it declares; Flag has no body;
// Indexed keeps a body of exactly its declared length; StackMap is read as the original kinds in every version.
enum class tRead : std::uint8_t { kCode, kRecord, kOriginal, kFlag, kIndexed, kStackMap };
// Where a kind's pool indexes stand in its body (kParsed: the kinds read into fields).
enum class tLayout : std::uint8_t {
  kParsed, kIndex, kOptionalIndex, kIndexes, kEnclosingMethod, kLineNumbers, kLocalVariables, kInnerClasses,
  kAnnotations, kParameterAnnotations, kElementValue, kTypeAnnotations, kStackMapTable, kStackMap,
  kBootstrapMethods, kMethodParameters, kModule, kModuleHashes, kScalaInlineInfo, kRest, kSkip2, kSkip3, kEmpty,
};
// The key that removes a kind, and from where: the class's own list, its methods', or every list.
enum class tKey : std::uint8_t { kNone, kSrc, kVar, kLin, kDepr, kSynt, kUattr };
enum class tScope : std::uint8_t { kNowhere, kClass, kMethods, kEverywhere };
// What the names pass, which reads classes before they are optimized, looks for in a kind.
enum class tNames : std::uint8_t { kNothing, kAnnotations, kCode, kNestHost, kNestMembers, kEnclosingMethod };

// KIND (the constant KIND##Attr and its value), NAME in class files, the first class file VERSION that
// defines it (0: any), READ, LAYOUT, KEY and SCOPE of its removal, NAMES. In the order a name is looked up:
// those of almost every method first.
#define ZYN_ATTRIBUTE_KINDS(X)                                                                            \
  X(Code, 1, "Code", 0, kCode, kParsed, kNone, kNowhere, kCode)                                           \
  X(LineNumberTable, 5, "LineNumberTable", 0, kOriginal, kLineNumbers, kLin, kMethods, kNothing)          \
  X(StackMapTable, 19, "StackMapTable", 50, kIndexed, kStackMapTable, kNone, kNowhere, kNothing)          \
  X(LocalVariableTable, 6, "LocalVariableTable", 0, kOriginal, kLocalVariables, kVar, kMethods, kNothing) \
  X(SourceFile, 2, "SourceFile", 0, kOriginal, kIndex, kSrc, kClass, kNothing)                            \
  X(ConstantValue, 3, "ConstantValue", 0, kOriginal, kIndex, kNone, kNowhere, kNothing)                   \
  X(Exceptions, 4, "Exceptions", 0, kOriginal, kIndexes, kNone, kNowhere, kNothing)                       \
  X(Deprecated, 7, "Deprecated", 0, kFlag, kEmpty, kDepr, kEverywhere, kNothing)                          \
  X(Synthetic, 8, "Synthetic", 0, kFlag, kEmpty, kSynt, kEverywhere, kNothing)                            \
  X(InnerClasses, 9, "InnerClasses", 0, kOriginal, kInnerClasses, kNone, kNowhere, kNothing)              \
  X(EnclosingMethod, 10, "EnclosingMethod", 49, kIndexed, kEnclosingMethod, kNone, kNowhere,               \
    kEnclosingMethod)                                                                                     \
  X(Signature, 11, "Signature", 49, kIndexed, kIndex, kNone, kNowhere, kNothing)                          \
  X(SourceDebugExtension, 12, "SourceDebugExtension", 49, kIndexed, kRest, kSrc, kClass, kNothing)        \
  X(LocalVariableTypeTable, 13, "LocalVariableTypeTable", 49, kIndexed, kLocalVariables, kVar, kMethods,   \
    kNothing)                                                                                             \
  X(RuntimeVisibleAnnotations, 14, "RuntimeVisibleAnnotations", 49, kIndexed, kAnnotations, kNone,        \
    kNowhere, kAnnotations)                                                                               \
  X(RuntimeInvisibleAnnotations, 15, "RuntimeInvisibleAnnotations", 49, kIndexed, kAnnotations, kNone,    \
    kNowhere, kAnnotations)                                                                               \
  X(RuntimeVisibleParameterAnnotations, 16, "RuntimeVisibleParameterAnnotations", 49, kIndexed,           \
    kParameterAnnotations, kNone, kNowhere, kAnnotations)                                                 \
  X(RuntimeInvisibleParameterAnnotations, 17, "RuntimeInvisibleParameterAnnotations", 49, kIndexed,       \
    kParameterAnnotations, kNone, kNowhere, kAnnotations)                                                 \
  X(AnnotationDefault, 18, "AnnotationDefault", 49, kIndexed, kElementValue, kNone, kNowhere, kAnnotations) \
  X(BootstrapMethods, 20, "BootstrapMethods", 51, kIndexed, kBootstrapMethods, kNone, kNowhere, kNothing) \
  X(MethodParameters, 21, "MethodParameters", 52, kIndexed, kMethodParameters, kNone, kNowhere, kNothing) \
  X(RuntimeVisibleTypeAnnotations, 22, "RuntimeVisibleTypeAnnotations", 52, kIndexed, kTypeAnnotations,  \
    kNone, kNowhere, kAnnotations)                                                                        \
  X(RuntimeInvisibleTypeAnnotations, 23, "RuntimeInvisibleTypeAnnotations", 52, kIndexed,                 \
    kTypeAnnotations, kNone, kNowhere, kAnnotations)                                                      \
  X(Module, 24, "Module", 53, kIndexed, kModule, kNone, kNowhere, kNothing)                               \
  X(ModulePackages, 25, "ModulePackages", 53, kIndexed, kIndexes, kNone, kNowhere, kNothing)              \
  X(ModuleMainClass, 26, "ModuleMainClass", 53, kIndexed, kIndex, kNone, kNowhere, kNothing)              \
  X(ModuleTarget, 31, "ModuleTarget", 53, kIndexed, kOptionalIndex, kNone, kNowhere, kNothing)            \
  X(ModuleHashes, 32, "ModuleHashes", 53, kIndexed, kModuleHashes, kNone, kNowhere, kNothing)             \
  X(ModuleResolution, 33, "ModuleResolution", 53, kIndexed, kSkip2, kNone, kNowhere, kNothing)            \
  X(NestHost, 27, "NestHost", 55, kIndexed, kIndex, kNone, kNowhere, kNestHost)                           \
  X(NestMembers, 28, "NestMembers", 55, kIndexed, kIndexes, kNone, kNowhere, kNestMembers)                \
  X(Record, 29, "Record", 60, kRecord, kParsed, kNone, kNowhere, kNothing)                                \
  X(PermittedSubclasses, 30, "PermittedSubclasses", 61, kIndexed, kIndexes, kNone, kNowhere, kNothing)    \
  /* Scala 2's own (scalac 2.11 and later), in class files of any version. */                            \
  X(ScalaSig, 34, "ScalaSig", 0, kIndexed, kSkip3, kNone, kNowhere, kNothing)                             \
  X(Scala, 35, "Scala", 0, kIndexed, kEmpty, kNone, kNowhere, kNothing)                                   \
  X(ScalaInlineInfo, 36, "ScalaInlineInfo", 0, kIndexed, kScalaInlineInfo, kUattr, kEverywhere, kNothing) \
  /* The stack maps of class files preverified for small devices (CLDC), in class files of any version. */ \
  X(StackMap, 37, "StackMap", 0, kStackMap, kStackMap, kUattr, kEverywhere, kNothing)

enum : std::int16_t {
  UnknownAttr = 0,  // a name no row holds (or a kind its class file's version does not define)
#define ZYN_KIND_CONSTANT(kind, value, ...) kind##Attr = value,
  ZYN_ATTRIBUTE_KINDS(ZYN_KIND_CONSTANT)
#undef ZYN_KIND_CONSTANT
};

struct tKind {
  std::int16_t kind;
  std::string_view name;
  std::int32_t sinceMajor;
  tRead read;
  tLayout layout;
  tKey key;
  tScope scope;
  tNames names;
};

inline constexpr tKind kKinds[] = {
#define ZYN_KIND_ROW(kind, value, name, since, read, layout, key, scope, names) \
  {kind##Attr, name, since, tRead::read, tLayout::layout, tKey::key, tScope::scope, tNames::names},
    ZYN_ATTRIBUTE_KINDS(ZYN_KIND_ROW)
#undef ZYN_KIND_ROW
};

namespace detail {
inline constexpr std::size_t kKindSlots = [] {
  std::size_t n = 0;
  for (const tKind& k : kKinds) n = std::max(n, static_cast<std::size_t>(k.kind) + 1);
  return n;
}();
// The row of each kind constant, or -1.
inline constexpr auto kRowOf = [] {
  std::array<std::int8_t, kKindSlots> at{};
  at.fill(-1);
  for (std::size_t i = 0; i < std::size(kKinds); ++i)
    at[static_cast<std::size_t>(kKinds[i].kind)] = static_cast<std::int8_t>(i);
  return at;
}();
}  // namespace detail

// Each kind and each name in one row only.
static_assert([] {
  for (std::size_t i = 0; i < std::size(kKinds); ++i)
    for (std::size_t j = i + 1; j < std::size(kKinds); ++j)
      if (kKinds[i].kind == kKinds[j].kind || kKinds[i].name == kKinds[j].name) return false;
  return true;
}());

// The row of a kind constant, or null (UnknownAttr, or no kind).
constexpr const tKind* KindOf(std::int16_t kind) {
  const auto slot = static_cast<std::size_t>(kind);
  if (kind < 0 || slot >= detail::kKindSlots || detail::kRowOf[slot] < 0) return nullptr;
  return &kKinds[static_cast<std::size_t>(detail::kRowOf[slot])];
}

// The kind's name in class files (empty for UnknownAttr).
constexpr std::string_view NameOf(std::int16_t kind) {
  const tKind* k = KindOf(kind);
  return k != nullptr ? k->name : std::string_view();
}

// What the names pass looks for in attributes of the kind (nothing for UnknownAttr).
constexpr tNames NamesOf(std::int16_t kind) {
  const tKind* k = KindOf(kind);
  return k != nullptr ? k->names : tNames::kNothing;
}

// Whether attributes of the kind hold annotations (of classes, members, parameters, types, or a default).
constexpr bool HoldsAnnotations(std::int16_t kind) { return NamesOf(kind) == tNames::kAnnotations; }

}  // namespace ZYNAttr
