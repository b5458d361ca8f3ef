// The promises the fuzz targets check on one input. The libFuzzer targets call them on every input they
// make; the test suite replays the inputs kept under tests/fuzz/ through them, without clang.
#pragma once
#include <cstdint>
#include <span>
#include <string>

namespace ZYNFuzz {

using tInput = std::span<const std::uint8_t>;

// Each returns an empty text when the input kept every promise, and otherwise what broke. A crash, a hang or
// a leak is for the sanitizers and libFuzzer to see.

// The first byte chooses the keys, the rest is the class file: the core gives bytes or an error line; the
// bytes are read again by the core and by the names pass without an error; the sizes it reports are the
// sizes it wrote; and a class that reads without a warning is written back byte for byte when every pool
// entry is kept (but for switch padding, which is written as zeros, and a pool count that ends inside a
// Long or Double, which is mended).
std::string CheckClass(tInput input);

// The input is an archive: it is read (with the archives inside it), its class entries optimized and the
// archive written in memory, or it gives an error line. What was written reads back with every CRC right,
// is the input byte for byte when no entry changed, and goes through a second time without an error.
std::string CheckArchive(tInput input);

// The input is the command line, its words ended by NUL bytes: the keys and the file parameter are taken,
// or an error line is given, and nothing is searched for.
std::string CheckCommandLine(tInput input);

// The input is a rules file, as an archive may ship one: it is read or gives one error line naming it, and the
// rules read are asked, within the time limit, what they hold of a class of every kind of member.
std::string CheckRules(tInput input);

}  // namespace ZYNFuzz
