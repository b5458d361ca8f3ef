#!/usr/bin/env bash
# The instructions whole runs of zyn execute (valgrind's callgrind), one thread, on JDK 17's java.base in a
# RAM-backed folder: as loose files with -tst and with the default keys, and as one jar with -super; for one
# binary or, with BEFORE, for two in the same corpus. Unlike the wall clock these counts repeat within a
# hundredth of a per cent from run to run, so they show changes of a few per cent that a shared machine hides.
#
# usage: bench/instructions.sh [ZYN]      (default: build-bench/zyn)
# environment: BEFORE (another zyn binary), JDK_HOME (JDK 17 with jmods), BENCH_RAM_DIR (/dev/shm)
set -euo pipefail
shopt -s inherit_errexit
here=$(cd "$(dirname "$0")" && pwd)
zyn=$(realpath "${1:-$here/../build-bench/zyn}")
jdk=${JDK_HOME:-/usr/lib/jvm/java-17-openjdk-amd64}
[[ -x $zyn ]] || { echo "no zyn binary at $zyn" >&2; exit 1; }
command -v valgrind >/dev/null || { echo "valgrind is needed" >&2; exit 1; }
command -v zip >/dev/null || { echo "zip is needed to make the jar" >&2; exit 1; }
builds=("$zyn")
labels=(zyn)
if [[ -n ${BEFORE:-} ]]; then
  builds=("$(realpath "$BEFORE")" "$zyn")
  labels=(before after)
fi

ram=$(mktemp -d "${BENCH_RAM_DIR:-/dev/shm}/zyn-instr.XXXXXX")
trap 'rm -rf "$ram"' EXIT
# shellcheck source=bench/corpus.sh
source "$here/corpus.sh"
java_base_corpus "$jdk" "$ram"
echo "corpus: $(find "$ram/corpus" -name '*.class' | wc -l) class files; the jar $(stat -c %s "$ram/base.jar") bytes"

# count BINARY ARGS...: the instructions of one run in $ram on fresh copies, as callgrind totals them.
count() {
  local bin=$1
  shift
  rm -rf "$ram/work" "$ram/work.jar" "$ram/work.~jar"
  cp -r "$ram/corpus" "$ram/work"
  cp "$ram/base.jar" "$ram/work.jar"
  (cd "$ram" && ZYN_THREADS=1 valgrind --tool=callgrind --callgrind-out-file="$ram/cg.out" "$bin" "$@" \
    >"$ram/out" 2>&1) || { echo "$bin $* failed:" >&2; tail -5 "$ram/out" >&2; exit 1; }
  awk '/^summary:/ {print $2}' "$ram/cg.out"
}

declare -A total
# The patterns are zyn's to expand.
set -f
runs=("-tst work/*.class" "work/*.class" "-super work.jar")
for b in "${builds[@]}"; do
  for r in "${runs[@]}"; do
    # shellcheck disable=SC2086
    total[$b/$r]=$(count "$b" $r)
  done
done

printf '%-24s' "instructions, 1 thread"
for l in "${labels[@]}"; do printf '%18s' "$l"; done
((${#builds[@]} == 2)) && printf '%13s' "after/before"
echo
for r in "${runs[@]}"; do
  printf '%-24s' "zyn $r"
  for b in "${builds[@]}"; do printf '%18s' "${total[$b/$r]}"; done
  if ((${#builds[@]} == 2)); then
    awk -v a="${total[${builds[1]}/$r]}" -v b="${total[${builds[0]}/$r]}" 'BEGIN { printf "%13.3f", a / b }'
  fi
  echo
done
