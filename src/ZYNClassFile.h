// The numbers of the class file format that the code compares against, with the names javap and ASM's
// Opcodes give them: constant pool tags, access flags, opcodes, and the tags and flags inside attributes.
// Uses: nothing else of ours.
#pragma once
#include <cstdint>

namespace ZYNClassFile {

inline constexpr std::uint32_t kMagic = 0xCAFEBABE;

// Constant pool tags.
inline constexpr std::uint8_t kConstantUtf8 = 1;
inline constexpr std::uint8_t kConstantUnicode = 2;  // obsolete: read and written like Utf8
inline constexpr std::uint8_t kConstantInteger = 3;
inline constexpr std::uint8_t kConstantFloat = 4;
inline constexpr std::uint8_t kConstantLong = 5;
inline constexpr std::uint8_t kConstantDouble = 6;
inline constexpr std::uint8_t kConstantClass = 7;
inline constexpr std::uint8_t kConstantString = 8;
inline constexpr std::uint8_t kConstantFieldref = 9;
inline constexpr std::uint8_t kConstantMethodref = 10;
inline constexpr std::uint8_t kConstantInterfaceMethodref = 11;
inline constexpr std::uint8_t kConstantNameAndType = 12;
inline constexpr std::uint8_t kConstantMethodHandle = 15;
inline constexpr std::uint8_t kConstantMethodType = 16;
inline constexpr std::uint8_t kConstantDynamic = 17;
inline constexpr std::uint8_t kConstantInvokeDynamic = 18;
inline constexpr std::uint8_t kConstantModule = 19;
inline constexpr std::uint8_t kConstantPackage = 20;
// The bytes after the tag of an entry of each tag: 0 for a u2 length and that many bytes, -1 for no such tag.
inline constexpr std::int8_t kEntryBody[] = {-1, 0, 0, 4, 4, 8, 8, 2, 2, 4, 4, 4, 4, -1, -1, 3, 2, 4, 4, 2, 2};
// Long and Double take two slots.
constexpr bool TakesTwoSlots(int tag) { return tag == kConstantLong || tag == kConstantDouble; }

// Access flags of members.
inline constexpr std::uint16_t kAccPrivate = 0x0002;
inline constexpr std::uint16_t kAccStatic = 0x0008;
inline constexpr std::uint16_t kAccTransient = 0x0080;
inline constexpr std::uint16_t kAccNative = 0x0100;

// Opcodes: those that begin or end a run of instructions of one shape, and those of a shape of their own.
inline constexpr std::uint8_t kOpDconst1 = 15;  // the last of the instructions without operands that start at 0
inline constexpr std::uint8_t kOpBipush = 16;
inline constexpr std::uint8_t kOpSipush = 17;
inline constexpr std::uint8_t kOpLdc = 18;
inline constexpr std::uint8_t kOpLdcW = 19;
inline constexpr std::uint8_t kOpLdc2W = 20;
inline constexpr std::uint8_t kOpIload = 21;
inline constexpr std::uint8_t kOpAload = 25;
inline constexpr std::uint8_t kOpIstore = 54;
inline constexpr std::uint8_t kOpAstore = 58;
inline constexpr std::uint8_t kOpIinc = 132;
inline constexpr std::uint8_t kOpIfeq = 153;
inline constexpr std::uint8_t kOpJsr = 168;
inline constexpr std::uint8_t kOpRet = 169;
inline constexpr std::uint8_t kOpTableswitch = 170;
inline constexpr std::uint8_t kOpLookupswitch = 171;
inline constexpr std::uint8_t kOpGetstatic = 178;
inline constexpr std::uint8_t kOpInvokestatic = 184;
inline constexpr std::uint8_t kOpInvokeinterface = 185;
inline constexpr std::uint8_t kOpInvokedynamic = 186;
inline constexpr std::uint8_t kOpNew = 187;
inline constexpr std::uint8_t kOpNewarray = 188;
inline constexpr std::uint8_t kOpAnewarray = 189;
inline constexpr std::uint8_t kOpCheckcast = 192;
inline constexpr std::uint8_t kOpInstanceof = 193;
inline constexpr std::uint8_t kOpMonitorexit = 195;
inline constexpr std::uint8_t kOpWide = 196;
inline constexpr std::uint8_t kOpMultianewarray = 197;
inline constexpr std::uint8_t kOpIfnull = 198;
inline constexpr std::uint8_t kOpIfnonnull = 199;
inline constexpr std::uint8_t kOpGotoW = 200;
inline constexpr std::uint8_t kOpJsrW = 201;
inline constexpr std::uint8_t kOpBreakpoint = 202;  // reserved for debuggers
inline constexpr std::uint8_t kOpRetW = 209;        // ret with a two-byte index, of early JVMs

// Stack map frame types (StackMapTable): the first of each range that the reader tells apart.
inline constexpr std::uint8_t kSameLocals1StackItemFrame = 64;
inline constexpr std::uint8_t kReservedFrame = 128;
inline constexpr std::uint8_t kSameLocals1StackItemFrameExtended = 247;
inline constexpr std::uint8_t kSameFrameExtended = 251;  // after the chop frames, before the append frames
inline constexpr std::uint8_t kFullFrame = 255;

// Verification type tags (StackMapTable, StackMap) with an operand: the highest there are.
inline constexpr std::uint8_t kItemObject = 7;
inline constexpr std::uint8_t kItemUninitialized = 8;

// Type annotation target types.
inline constexpr std::uint8_t kTargetClassTypeParameter = 0x00;
inline constexpr std::uint8_t kTargetMethodTypeParameter = 0x01;
inline constexpr std::uint8_t kTargetClassExtends = 0x10;
inline constexpr std::uint8_t kTargetClassTypeParameterBound = 0x11;
inline constexpr std::uint8_t kTargetMethodTypeParameterBound = 0x12;
inline constexpr std::uint8_t kTargetField = 0x13;
inline constexpr std::uint8_t kTargetMethodReturn = 0x14;
inline constexpr std::uint8_t kTargetMethodReceiver = 0x15;
inline constexpr std::uint8_t kTargetMethodFormalParameter = 0x16;
inline constexpr std::uint8_t kTargetThrows = 0x17;
inline constexpr std::uint8_t kTargetLocalVariable = 0x40;
inline constexpr std::uint8_t kTargetResourceVariable = 0x41;
inline constexpr std::uint8_t kTargetExceptionParameter = 0x42;
inline constexpr std::uint8_t kTargetInstanceof = 0x43;
inline constexpr std::uint8_t kTargetNew = 0x44;
inline constexpr std::uint8_t kTargetConstructorReference = 0x45;
inline constexpr std::uint8_t kTargetMethodReference = 0x46;
inline constexpr std::uint8_t kTargetCast = 0x47;
inline constexpr std::uint8_t kTargetConstructorInvocationTypeArgument = 0x48;
inline constexpr std::uint8_t kTargetMethodInvocationTypeArgument = 0x49;
inline constexpr std::uint8_t kTargetConstructorReferenceTypeArgument = 0x4A;
inline constexpr std::uint8_t kTargetMethodReferenceTypeArgument = 0x4B;

// ScalaInlineInfo's class flags.
inline constexpr std::uint8_t kScalaEffectivelyFinal = 0x01;
inline constexpr std::uint8_t kScalaSelfType = 0x02;  // a self type's name follows

}  // namespace ZYNClassFile
