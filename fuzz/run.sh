#!/usr/bin/env bash
# Runs each fuzz target from the seed corpus with a fixed seed and a fixed number of runs, under
# AddressSanitizer and UndefinedBehaviorSanitizer; any finding (crash, broken promise, leak, an input that
# takes more than a second) fails the run and its input is printed in base64.
# usage: fuzz/run.sh [BUILD_DIR] [CLASS_RUNS] [ARCHIVE_RUNS] [CMDLINE_RUNS] [RULES_RUNS]
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$src/build-fuzz}")
declare -A runs=([class]=${2:-250000} [archive]=${3:-400000} [cmdline]=${4:-600000} [rules]=${5:-300000})

work=$(mktemp -d "${TMPDIR:-/tmp}/zyn-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$src/fuzz/make_corpus.sh" "$work/seeds"

fuzz() {  # target
  local target=$1
  mkdir -p "$work/$target" "$work/found-$target"
  "$build/fuzz/zyn_fuzz_$target" -seed=1 -runs="${runs[$target]}" -timeout=1 -max_len=65536 \
    -dict="$src/fuzz/zyn.dict" -artifact_prefix="$work/found-$target/" -print_final_stats=1 \
    "$work/$target" "$work/seeds/$target" > "$work/$target.log" 2>&1
}

# The two slow targets side by side, one per core; then the command line.
status=0
fuzz class & class=$!
fuzz archive & archive=$!
wait "$class" || status=1
wait "$archive" || status=1
fuzz cmdline & cmdline=$!
fuzz rules || status=1
wait "$cmdline" || status=1

for target in class archive cmdline rules; do
  echo "== $target: $(grep -E '^#[0-9]+[[:space:]]+DONE' "$work/$target.log" | tail -n 1)"
  for found in "$work/found-$target"/*; do
    [ -f "$found" ] || continue
    status=1
    grep -E 'BROKEN PROMISE|ERROR: |SUMMARY|^ +#[0-9]+ 0x' "$work/$target.log" | head -n 40
    echo "finding $(basename "$found") (base64; replay with zyn_fuzz_$target FILE):"
    base64 "$found" | head -c 20000
    echo
  done
done
exit $status
