// What --version prints after the banner: the build's version and the versions of the libraries it was built
// with, so that a report about a run can name what ran it.
// Uses: nothing else of ours.
#pragma once
#include <string>

namespace ZYNVersion {

// The mimalloc version as mi_version() gives it (209 for 2.0.9); 0 where the program is not linked with it.
// main sets it: only the zyn binary links mimalloc, the library and its tests do not.
extern int Mimalloc;

// "zyn 1.0 (git 681f802)": the project version, and what git describe said when the build was made from a
// checkout; "zyn 1.0" otherwise.
std::string Build();
// "libdeflate 1.14, mimalloc 2.0.9" ("mimalloc not linked" without it).
std::string Libraries();

}  // namespace ZYNVersion
