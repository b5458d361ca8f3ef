#!/usr/bin/env bash
# No function of src/ (its headers included) runs over 60 lines or takes more than 6 parameters: clang-tidy's
# readability-function-size over every source file, with the build's compile commands. Skipped without
# clang-tidy. LINES and PARAMETERS override the limits (to see that the check finds what is over them).
# usage: function_size.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1 root=$(cd "$2" && pwd)
command -v clang-tidy >/dev/null || { echo "no clang-tidy: skipped"; exit 77; }
[[ -f $build/compile_commands.json ]] || { echo "no $build/compile_commands.json" >&2; exit 2; }
config="{CheckOptions: [{key: readability-function-size.LineThreshold, value: ${LINES:-60}},
  {key: readability-function-size.ParameterThreshold, value: ${PARAMETERS:-6}}]}"
found=$(for f in "$root"/src/*.cpp; do
  clang-tidy -p "$build" --quiet --header-filter="$root/src/.*" -checks='-*,readability-function-size' \
    -config="$config" "$f" 2>/dev/null || true
done | grep -E '(warning: function|note: [0-9]+ (lines|parameters))' | sed "s|$root/||" | sort -u || true)
if [[ -n $found ]]; then
  echo "$found"
  echo "0 passed, 1 failed"
  exit 1
fi
echo "1 passed, 0 failed"
