#!/usr/bin/env bash
# Whole-run throughput of zyn on every class of JDK 17's java.base, gathered into one flat folder so that one
# process handles them all, compared with zyn_fileloop: the same file operations with no work between them.
# Measured in a RAM-backed folder and on the disk; every configuration runs once per round, RUNS rounds,
# each on a fresh copy of the corpus (copying not timed); the table shows medians.
#
# usage: bench/throughput.sh [ZYN] [JDK_HOME] [RUNS]
#   ZYN       the zyn binary (default build-bench/zyn)
#   JDK_HOME  a JDK 17 with jmods (default /usr/lib/jvm/java-17-openjdk-amd64)
#   RUNS      rounds (default 5)
# environment: FILELOOP (zyn_fileloop; default beside ZYN, else in build-bench/),
#              BENCH_RAM_DIR (default /dev/shm), BENCH_DISK_DIR (default /var/tmp)
set -euo pipefail
shopt -s inherit_errexit
# All threads unless a configuration says otherwise.
unset ZYN_THREADS
here=$(cd "$(dirname "$0")" && pwd)
zyn=$(realpath "${1:-$here/../build-bench/zyn}")
jdk=${2:-/usr/lib/jvm/java-17-openjdk-amd64}
runs=${3:-5}

loop=${FILELOOP:-}
if [[ -z $loop ]]; then
  for candidate in "$(dirname "$zyn")/zyn_fileloop" "$here/../build-bench/zyn_fileloop"; do
    if [[ -x $candidate ]]; then loop=$(realpath "$candidate"); break; fi
  done
fi
if [[ -z $loop || ! -x $loop ]]; then
  echo "zyn_fileloop not found: build with -DZYN_BENCH=ON or set FILELOOP" >&2
  exit 1
fi
[[ -x $zyn ]] || { echo "no zyn binary at $zyn" >&2; exit 1; }
[[ -f $jdk/jmods/java.base.jmod ]] || { echo "no jmods/java.base.jmod in $jdk" >&2; exit 1; }

ram=$(mktemp -d "${BENCH_RAM_DIR:-/dev/shm}/zyn-bench.XXXXXX")
disk=$(mktemp -d "${BENCH_DISK_DIR:-/var/tmp}/zyn-bench.XXXXXX")
trap 'rm -rf "$ram" "$disk"' EXIT

"$jdk/bin/jmod" extract --dir "$disk/jmod" "$jdk/jmods/java.base.jmod"
mkdir "$ram/corpus"
# java/lang/Object.class becomes java_lang_Object.class; one tar pair instead of a process per file.
(cd "$disk/jmod/classes" && find . -name '*.class' -print0 | tar --null -T - -cf -) |
  tar -xf - -C "$ram/corpus" --transform 's,^\./,,;s,/,_,g'
rm -rf "$disk/jmod"
cp -r "$ram/corpus" "$disk/corpus"
count=$(find "$ram/corpus" -name '*.class' | wc -l)
bytes=$(cat "$ram/corpus"/*.class | wc -c)

echo "corpus:  $count class files, $bytes bytes (java.base of $jdk)"
echo "zyn:     $zyn"
echo "loop:    $loop"
fstype() { df --output=fstype "$1" 2>/dev/null | tail -n 1 || stat -f -c %T "$1"; }
echo "RAM:     $ram ($(fstype "$ram"))"
echo "disk:    $disk ($(fstype "$disk"))"
echo "machine: $(nproc) hardware threads; load average before: $(cut -d' ' -f1-3 /proc/loadavg); $runs rounds"
echo

now_us() { local t=${EPOCHREALTIME/./}; echo "$t"; }

# Runs configuration $2 in folder $1 and prints its wall time in milliseconds: a writing configuration on a
# fresh copy of the corpus, a reading one on the corpus itself.
run_one() {
  local place=$1 config=$2 work=$1/corpus start end
  if [[ $config == default* || $config == rewrite ]]; then
    work=$place/work
    rm -rf "$work" && cp -r "$place/corpus" "$work"
  fi
  # Writeback of the copy or of the previous run must not fall into the timed run.
  sync -f "$place"
  local out=$ram/out.txt rc=0
  start=$(now_us)
  case $config in
    tst) "$zyn" -tst "$work/*.class" >"$out" ;;
    tst1) ZYN_THREADS=1 "$zyn" -tst "$work/*.class" >"$out" ;;
    default) "$zyn" "$work/*.class" >"$out" ;;
    default1) ZYN_THREADS=1 "$zyn" "$work/*.class" >"$out" ;;
    read) "$loop" read "$work" >"$out" ;;
    rewrite) "$loop" rewrite "$work" >"$out" ;;
  esac || rc=$?
  end=$(now_us)
  # A run that did not handle every file measures something else.
  if ((rc != 0)) || ! grep -q -e "^Files processed: $count\$" -e "^$count files," "$out"; then
    echo "$config in $place (exit code $rc) did not handle all $count files:" >&2
    tail -5 "$out" >&2
    exit 1
  fi
  echo $(((end - start + 500) / 1000))
}

configs=(tst tst1 default default1 read rewrite)
declare -A label=(
  [tst]="zyn -tst" [tst1]="zyn -tst, 1 thread" [default]="zyn" [default1]="zyn, 1 thread"
  [read]="read loop" [rewrite]="rewrite loop")
places=(ram disk)
declare -A dir=([ram]=$ram [disk]=$disk)
declare -A times
for ((r = 1; r <= runs; r++)); do
  for place in "${places[@]}"; do
    for config in "${configs[@]}"; do
      times[$place.$config]+="$(run_one "${dir[$place]}" "$config") "
    done
  done
  echo "round $r of $runs done" >&2
done

median() { tr ' ' '\n' | grep . | sort -n | awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
declare -A med
for key in "${!times[@]}"; do med[$key]=$(median <<<"${times[$key]}"); done

printf '%-20s %9s %9s   %-34s %s\n' "median wall ms" RAM disk "RAM runs" "disk runs"
for config in "${configs[@]}"; do
  printf '%-20s %9s %9s   %-34s %s\n' "${label[$config]}" "${med[ram.$config]}" "${med[disk.$config]}" \
    "${times[ram.$config]}" "${times[disk.$config]}"
done
echo
awk -v n="$count" -v b="$bytes" -v t="${med[ram.default]}" -v d="${med[disk.default]}" 'BEGIN {
  printf "zyn (all threads): %.0f classes/s, %.1f MB/s in RAM; %.0f classes/s, %.1f MB/s on disk\n\n",
    n / (t / 1000), b / 1e6 / (t / 1000), n / (d / 1000), b / 1e6 / (d / 1000) }'

# Ratio of two medians for both places, all threads and one thread, against a target for all threads.
ratio_line() {
  local text=$1 all=$2 one=$3 base=$4 target=$5
  awk -v text="$text" -v target="$target" \
    -v ra="${med[ram.$all]}" -v r1="${med[ram.$one]}" -v rb="${med[ram.$base]}" \
    -v da="${med[disk.$all]}" -v d1="${med[disk.$one]}" -v db="${med[disk.$base]}" 'BEGIN {
      printf "%-22s %8.2f %8.2f %9.2f %9.2f   <= %s: RAM %s, disk %s\n", text, ra / rb, r1 / rb, da / db, d1 / db,
        target, (ra / rb <= target) ? "met" : "missed", (da / db <= target) ? "met" : "missed" }'
}
printf '%-22s %8s %8s %9s %9s   %s\n' ratio "RAM all" "RAM 1" "disk all" "disk 1" "target (all threads)"
ratio_line "zyn / rewrite loop" default default1 rewrite 2
ratio_line "zyn -tst / read loop" tst tst1 read 3
echo
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
