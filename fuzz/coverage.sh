#!/usr/bin/env bash
# Line coverage of the product's sources (src/) reached by the fuzz corpora: each target runs every input of
# its corpus folder once, and llvm-cov reports per file and in total.
# usage: fuzz/coverage.sh CLASS_CORPUS ARCHIVE_CORPUS CMDLINE_CORPUS [BUILD_DIR]
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=${4:-$src/build-fuzzcov}
cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DZYN_FUZZ=ON -DZYN_FUZZ_COVERAGE=ON -DZYN_TESTS=OFF -DZYN_MIMALLOC=OFF > /dev/null
cmake --build "$build" --target zyn_fuzz_class zyn_fuzz_archive zyn_fuzz_cmdline > /dev/null
profiles=$(mktemp -d "${TMPDIR:-/tmp}/zyn-cov.XXXXXX")
trap 'rm -rf "$profiles"' EXIT
set -- "$1" "$2" "$3"
targets=(class archive cmdline)
for i in 0 1 2; do
  LLVM_PROFILE_FILE="$profiles/${targets[$i]}.profraw" \
    "$build/fuzz/zyn_fuzz_${targets[$i]}" -runs=0 -max_len=65536 "${@:$((i + 1)):1}" > /dev/null 2>&1
done
llvm-profdata merge -sparse "$profiles"/*.profraw -o "$profiles/all.profdata"
llvm-cov report "$build/fuzz/zyn_fuzz_class" -object "$build/fuzz/zyn_fuzz_archive" \
  -object "$build/fuzz/zyn_fuzz_cmdline" -instr-profile="$profiles/all.profdata" "$src"/src/*.cpp
