// Diagnostics: every kind of failure is a row below, its text written once; an error is a value (its kind and
// arguments) that ends the file, and the run, through one exception. Warnings are collected per file.
// Uses: FormatUtils.
#pragma once
#include <concepts>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

namespace ZYNError {

// One row per kind of failure: its name (the code a machine-readable report carries) and its text, in which each
// {} takes the next argument.
#define ZYN_ERRORS(X)                                                                       \
  X(NotClassFile, "This is not class file")                                                 \
  X(FileRead, "File read error")                                                            \
  X(PoolRead, "Constant pool read error")                                                   \
  X(ExtraBytes, "Extra bytes at the end of class file")                                     \
  X(UnexpectedEnd, "Unexpected end of class file")                                          \
  X(NullCodeLength, "Null code length")                                                     \
  X(InvalidOpcode, "Invalid opcode {} in class file. Offset = {}")                          \
  X(BadInstruction, "{} in class file. Offset = {}")                                        \
  X(InvalidTag, "Ivalid tag")                                                               \
  X(PoolIndexBelowOne, "Constant pool index less than 1")                                   \
  X(PoolIndexTooLarge, "Too large constant pool index")                                     \
  X(PoolIndexSecondSlot, "Constant pool index {} names the second slot of a Long or Double") \
  X(PoolSelfReference, "Constant pool entry {} refers to itself")                           \
  X(PoolTooDeep, "Too deep constant pool reference at entry {}")                            \
  X(Utf8IndexBelowOne, "Utf8 index less than 1")                                            \
  X(Utf8IndexTooLarge, "Too large Utf8 index in class file")                                \
  X(BadUtf8Index, "Invalid Utf8 index in class file")                                       \
  X(BadThisClass, "Invalid this class index in class file")                                 \
  X(BadSuperClass, "Invalid super class index in class file")                               \
  X(BadNameAndType, "Invalid NameAndType index in class file")                              \
  X(BadMemberNameIndex, "Invalid member name index in class file")                          \
  X(BadMemberDescriptor, "Invalid member descriptor index in class file")                   \
  X(BadMemberName, "Invalid member name in class file")                                     \
  X(BadAttributeLength, "Invalid length of \"{}\" attribute. Length={}")                    \
  X(BadStackMap, "Invalid \"{}\" attribute. Length={}")                                     \
  X(BadStackMapClass, "Invalid class index {} in \"{}\" attribute")                         \
  X(NoMemory, "Not enough memory")                                                          \
  X(Interrupted, "Interrupted")                                                             \
  X(EmptyParameter, "Empty parameter")                                                      \
  X(InvalidParameter, "Invalid parameter \"{}\"")                                           \
  X(SuperfluousFile, "Superfluous file parameter \"{}\"")                                   \
  X(TooLongFile, "Too long file parameter \"{}\"")                                          \
  X(UnknownParameter, "Unknown parameter \"{}\"")                                           \
  X(BadKeepPattern, "Invalid keep pattern \"{}\"")                                          \
  X(BadMapFile, "Invalid map file \"{}\"")                                                  \
  X(BadThreads, "ZYN_THREADS must be a number from 1 to 256, not \"{}\"")                   \
  X(NotFound, "File(s) \"{}\" not found")                                                   \
  X(IsBackup, "File \"{}\" is a backup file")                                               \
  X(SameBackup, "Files \"{}\" and \"{}\" have the same backup name \"{}\"")                 \
  X(BeingProcessed, "File \"{}\" is being processed by another run")                        \
  X(NotOpen, "File \"{}\" not open")                                                        \
  X(NotWritten, "File \"{}\" not written: {}")                                              \
  X(NotRenamed, "File \"{}\" not renamed to \"{}\": {}")                                    \
  X(MapNotWritten, "Map file \"{}\" not written: {}")                                       \
  X(UsageNotWritten, "Usage file \"{}\" not written: {}")                                   \
  X(BadUsageFile, "Invalid usage file \"{}\"")                                              \
  X(BadWhyPattern, "Invalid why pattern \"{}\"")                                            \
  X(ReportNotWritten, "Report file \"{}\" not written: {}")                                 \
  X(BadReportFile, "Invalid report file \"{}\"")                                            \
  X(BadRules, "Rules file \"{}\" line {}: expected {}, not {}")                              \
  X(BadRulesFile, "Invalid rules file \"{}\"")                                              \
  X(RulesNotRead, "Rules file \"{}\" not read")                                             \
  X(RulesShippedInclude, "Rules file \"{}\" includes \"{}\": the rules of an archive include no file")     \
  X(TooManyRules, "Rules file \"{}\" brings the run's rules to more than {}")                \
  X(RulesTooDeep, "Rules file \"{}\" is included more than 16 deep")                        \
  X(ArchiveDamaged, "Archive \"{}\" is damaged: {}")                                        \
  X(ArchiveChanged, "Archive \"{}\" changed while it was read")                             \
  X(ArchiveNotReadBack, "Archive \"{}\" not written: it does not read back: {}")            \
  X(NestedTooLarge, "Archive \"{}\" holds more than 1 GiB of compressed nested archives")   \
  X(EntryTooLarge, "Entry \"{}\" is larger than {}")                                        \
  X(EntryBomb, "Entry \"{}\" declares more than {} times its compressed size")              \
  X(Zip64Fields, "Archive too large for its Zip64 fields")                                  \
  X(NeedsZip64, "Archive too large for an archive without Zip64 records")                   \
  X(OutOfRange, "Internal error: value out of range for its field")                         \
  X(UnmarkedIndex, "Internal error: unmarked constant pool index {}")                       \
  X(NoInflateBack, "Internal error: compressed data does not inflate back")                 \
  X(EmptyQueue, "Internal error: the queue holds no text")

#define ZYN_ERROR_KIND(name, text) k##name,
enum class tKind : std::uint8_t { kNone, ZYN_ERRORS(ZYN_ERROR_KIND) };
#undef ZYN_ERROR_KIND

// A failure as a value: what kind, and the arguments its text takes. kNone is no failure.
struct tError {
  tKind kind = tKind::kNone;
  std::vector<std::string> args;

  bool empty() const { return kind == tKind::kNone; }
  std::string Line() const;       // "ERROR: " and the text with the arguments (shown printable); "" for none
  std::string_view Code() const;  // the kind's name; "" for none
};

// An argument as its text shows it: numbers in decimal.
inline std::string Arg(std::string_view text) { return std::string(text); }
inline std::string Arg(std::integral auto number) { return std::to_string(number); }

template <class... A>
tError Make(tKind kind, const A&... args) {
  return {kind, {Arg(args)...}};
}

// The one exception type of a fatal error, carrying the failure and its line. Caught at the core's per-file
// boundary, which hands the failure to the batch, and in main.
class Fatal : public std::exception {
public:
  explicit Fatal(tError error) : error_(std::move(error)), line_(error_.Line()) {}
  const char* what() const noexcept override { return line_.c_str(); }
  const std::string& Line() const { return line_; }
  const tError& Error() const { return error_; }

private:
  tError error_;
  std::string line_;
};

// Ends the file (and the run) with the failure of that kind and those arguments.
template <class... A>
[[noreturn]] void Message(tKind kind, const A&... args) {
  throw Fatal(Make(kind, args...));
}

// The warnings of one file: their lines ("WARNING: ...") in order, and WarnCount, which stops at 32767.
struct tDiagnostics {
  bool quiet = false;  // -nowarn: warnings neither kept nor counted
  std::int16_t WarnCount = 0;
  std::vector<std::string> lines;
};

// Unless quiet: adds the line "WARNING: " and the four pieces, and counts it.
void Warning(tDiagnostics& diag, std::string_view a, std::string_view b = {}, std::string_view c = {},
             std::string_view d = {});

}  // namespace ZYNError
