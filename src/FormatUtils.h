// Number text for messages and the console output of the report.
// Uses: nothing else of ours.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace FormatUtils {

// Decimal digits of x as a bounded text of the given capacity (at most capacity - 1 characters, the least
// significant digits kept). A negative x gets a minus sign in front, within the same bound.
std::string Int2Str(std::int32_t x, std::size_t capacity = 11);

// The text with each control character (a line end, an escape) as \xNN: names read from a file or an
// archive must not break a line of the report or drive the terminal.
std::string Printable(std::string_view text);

// Console output: everything goes to standard output.
void PrintText(std::string_view text);
void PrintLn();
// The text and a line end.
void PrintLine(std::string_view text);
// The number right-aligned in a field of `width` characters; a wider number is printed in full.
void PrintInt(std::int64_t n, int width);
// The label, the number without padding, a line end.
void Print(std::string_view label, std::int32_t n);
void Flush();
// From now on only this thread prints: another thread's line cannot break into what it prints (it waits,
// for good, at its next piece). For the last words of an interrupted run.
void TakeConsole();

// The console integer output rule as text (used by PrintInt).
std::string IntField(std::int64_t n, int width);

}  // namespace FormatUtils
