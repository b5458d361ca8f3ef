#!/usr/bin/env bash
# What the same command costs again on a finished run: JDK 17's java.base as a flat folder in a RAM-backed
# folder, optimized with -max, then run again (every file has a backup; each is checked by optimizing its
# backup, found done, and neither written nor renamed). Medians of RUNS rounds of wall time and peak memory,
# for ZYN and, with BEFORE, for an older binary in the same rounds (which rewrites every file instead).
#
# usage: bench/rerun.sh [ZYN] [RUNS]      (defaults: build/zyn, 5)
# environment: BEFORE (another zyn binary), JDK_HOME (JDK 17 with jmods), BENCH_RAM_DIR (/dev/shm)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
zyn=$(realpath "${1:-$here/../build/zyn}")
runs=${2:-5}
jdk=${JDK_HOME:-/usr/lib/jvm/java-17-openjdk-amd64}
ram=$(mktemp -d "${BENCH_RAM_DIR:-/dev/shm}/zyn-rerun.XXXXXX")
trap 'rm -rf "$ram"' EXIT
# shellcheck source=bench/corpus.sh
source "$here/corpus.sh"
java_base_corpus "$jdk" "$ram"
declare -A bin=([after]=$zyn)
builds=(after)
[[ -n ${BEFORE:-} ]] && bin[before]=$(realpath "$BEFORE") && builds=(before after)

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
for b in "${builds[@]}"; do : > "$ram/$b.first"; : > "$ram/$b.again"; done
for ((r = 1; r <= runs; r++)); do
  for b in "${builds[@]}"; do
    rm -rf "$ram/work" && cp -r "$ram/corpus" "$ram/work"
    /usr/bin/time -f '%e %M' -o "$ram/t" "${bin[$b]}" -max "$ram/work" > /dev/null
    cat "$ram/t" >> "$ram/$b.first"
    /usr/bin/time -f '%e %M' -o "$ram/t" "${bin[$b]}" -max "$ram/work" > /dev/null
    cat "$ram/t" >> "$ram/$b.again"
  done
done
echo "java.base, $(find "$ram/corpus" -name '*.class' | wc -l) class files, -max, median of $runs rounds"
for b in "${builds[@]}"; do
  for pass in first again; do
    printf '%-7s %-6s %6s s %8s KiB\n' "$b" "$pass" "$(cut -d' ' -f1 "$ram/$b.$pass" | median)" \
      "$(cut -d' ' -f2 "$ram/$b.$pass" | median)"
  done
done
