#!/usr/bin/env bash
# Whole runs of zyn on JDK 17's java.base in a RAM-backed folder, as loose files and as one jar, against the
# file-operation floor (zyn_fileloop), at one thread and all threads, alone and with two busy loops on the
# cores; optionally a second binary (BEFORE) measured in the same rounds, so that before and after share
# every slow spell of the machine. Prints medians, the ratios that matter, peak memory and, with strace, the
# opens per file.
#
# usage: bench/whole_run.sh [ZYN] [RUNS]      (defaults: build-bench/zyn, 7)
# environment: BEFORE (another zyn binary), JDK_HOME (JDK 17 with jmods), FILELOOP, BENCH_RAM_DIR (/dev/shm)
set -euo pipefail
shopt -s inherit_errexit
unset ZYN_THREADS
here=$(cd "$(dirname "$0")" && pwd)
zyn=$(realpath "${1:-$here/../build-bench/zyn}")
runs=${2:-7}
jdk=${JDK_HOME:-/usr/lib/jvm/java-17-openjdk-amd64}
loop=${FILELOOP:-$(dirname "$zyn")/zyn_fileloop}
[[ -x $loop ]] || loop=$here/../build-bench/zyn_fileloop
[[ -x $loop ]] || { echo "zyn_fileloop not found: build with -DZYN_BENCH=ON or set FILELOOP" >&2; exit 1; }
[[ -x $zyn ]] || { echo "no zyn binary at $zyn" >&2; exit 1; }
command -v zip >/dev/null || { echo "zip is needed to make the jar" >&2; exit 1; }
declare -A bin=([after]=$zyn)
builds=(after)
if [[ -n ${BEFORE:-} ]]; then
  bin[before]=$(realpath "$BEFORE")
  builds=(before after)
fi

ram=$(mktemp -d "${BENCH_RAM_DIR:-/dev/shm}/zyn-whole.XXXXXX")
busy_pids=()
stop_busy() {
  if ((${#busy_pids[@]})); then
    kill "${busy_pids[@]}" 2>/dev/null || true
    wait "${busy_pids[@]}" 2>/dev/null || true
  fi
  busy_pids=()
}
trap 'stop_busy; rm -rf "$ram"' EXIT

# shellcheck source=bench/corpus.sh
source "$here/corpus.sh"
java_base_corpus "$jdk" "$ram"
count=$(find "$ram/corpus" -name '*.class' | wc -l)
bytes=$(cat "$ram/corpus"/*.class | wc -c)
echo "corpus:  $count class files, $bytes bytes; the jar $(stat -c %s "$ram/base.jar") bytes (java.base of $jdk)"
for b in "${builds[@]}"; do echo "$b:   ${bin[$b]}"; done
echo "machine: $(nproc) hardware threads; load average before: $(cut -d' ' -f1-3 /proc/loadavg); $runs rounds"
echo

now_us() { local t=${EPOCHREALTIME/./}; echo "$t"; }
declare -A times rss

# run_one KEY THREADS COMMAND...: the wall time in ms of the command on fresh copies, its peak memory in KiB.
run_one() {
  local key=$1 threads=$2 start end rc=0
  shift 2
  rm -rf "$ram/work" "$ram/work.jar" "$ram/work.~jar"
  cp -r "$ram/corpus" "$ram/work"
  cp "$ram/base.jar" "$ram/work.jar"
  sync -f "$ram"
  start=$(now_us)
  ZYN_THREADS=$threads /usr/bin/time -f %M -o "$ram/rss" "$@" >"$ram/out" 2>&1 || rc=$?
  end=$(now_us)
  if ((rc != 0)) || ! grep -q -e "^Files processed: " -e "^$count files," "$ram/out"; then
    echo "$key (exit code $rc) did not run through:" >&2
    tail -5 "$ram/out" >&2
    exit 1
  fi
  times[$key]+="$(((end - start + 500) / 1000)) "
  local kb
  kb=$(tail -1 "$ram/rss")
  [[ -z ${rss[$key]:-} || $kb -gt ${rss[$key]} ]] && rss[$key]=$kb
  return 0
}

# The configurations of one binary: name, threads, arguments.
configs=(tst tst1 def def1 supertst jar jar1)
declare -A threads=([tst]=0 [tst1]=1 [def]=0 [def1]=1 [supertst]=0 [jar]=0 [jar1]=1)
declare -A args=([tst]="-tst work/*.class" [tst1]="-tst work/*.class" [def]="work/*.class" [def1]="work/*.class"
  [supertst]="-super -tst work/*.class" [jar]="-super work.jar" [jar1]="-super work.jar")
busy_configs=(tst tst1 def def1 jar jar1)
all=$(nproc)
# The patterns are zyn's to expand.
set -f

for ((r = 1; r <= runs; r++)); do
  cd "$ram"
  run_one read 1 "$loop" read "$ram/work"
  run_one rewrite 1 "$loop" rewrite "$ram/work"
  for b in "${builds[@]}"; do
    for c in "${configs[@]}"; do
      t=${threads[$c]}; ((t == 0)) && t=$all
      # shellcheck disable=SC2086
      run_one "$b.$c" "$t" "${bin[$b]}" ${args[$c]}
    done
  done
  # Two processes that want a core each for as long as the runs below last.
  for _ in 1 2; do (while :; do :; done) & busy_pids+=($!); done
  for b in "${builds[@]}"; do
    for c in "${busy_configs[@]}"; do
      t=${threads[$c]}; ((t == 0)) && t=$all
      # shellcheck disable=SC2086
      run_one "$b.busy.$c" "$t" "${bin[$b]}" ${args[$c]}
    done
  done
  stop_busy
  echo "round $r of $runs done" >&2
done

median() { tr ' ' '\n' | grep . | sort -n | awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
declare -A med
for key in "${!times[@]}"; do med[$key]=$(median <<<"${times[$key]}"); done

declare -A label=([tst]="zyn -tst" [tst1]="zyn -tst, 1 thread" [def]="zyn" [def1]="zyn, 1 thread"
  [supertst]="zyn -super -tst" [jar]="zyn -super, the jar" [jar1]="zyn -super, the jar, 1 thread")
printf '%-34s %8s %9s   %s\n' "median wall ms" ms "peak KiB" runs
for key in read rewrite; do printf '%-34s %8s %9s   %s\n' "$key loop" "${med[$key]}" "" "${times[$key]}"; done
for b in "${builds[@]}"; do
  for c in "${configs[@]}"; do
    printf '%-34s %8s %9s   %s\n' "$b: ${label[$c]}" "${med[$b.$c]}" "${rss[$b.$c]}" "${times[$b.$c]}"
  done
  for c in "${busy_configs[@]}"; do
    printf '%-34s %8s %9s   %s\n' "$b: ${label[$c]}, busy" "${med[$b.busy.$c]}" "${rss[$b.busy.$c]}" "${times[$b.busy.$c]}"
  done
done
echo

# ratio TEXT A B TARGET SENSE: the ratio of two medians against a target (le: at most, ge: at least).
ratio() {
  awk -v text="$1" -v a="${med[$2]}" -v b="${med[$3]}" -v target="$4" -v sense="$5" 'BEGIN {
    q = a / b; ok = (sense == "le") ? q <= target : q >= target
    printf "  %-44s %6.2f   %s %s: %s\n", text, q, (sense == "le") ? "<=" : ">=", target, ok ? "met" : "missed" }'
}
for b in "${builds[@]}"; do
  echo "$b:"
  ratio "zyn -tst / read loop" "$b.tst" read 2.0 le
  ratio "zyn / rewrite loop" "$b.def" rewrite 1.3 le
  ratio "the jar -super / the tree -super -tst" "$b.jar" "$b.supertst" 1.5 le
  ratio "-tst: 1 thread / all threads" "$b.tst1" "$b.tst" 1.6 ge
  ratio "default: 1 thread / all threads" "$b.def1" "$b.def" 1.6 ge
  ratio "the jar: 1 thread / all threads" "$b.jar1" "$b.jar" 1.6 ge
  ratio "busy, -tst: all threads / 1 thread" "$b.busy.tst" "$b.busy.tst1" 1.05 le
  ratio "busy, default: all threads / 1 thread" "$b.busy.def" "$b.busy.def1" 1.05 le
  ratio "busy, the jar: all threads / 1 thread" "$b.busy.jar" "$b.busy.jar1" 1.05 le
  for c in def jar; do
    awk -v text="peak memory, ${label[$c]}" -v kb="${rss[$b.$c]}" 'BEGIN {
      printf "  %-44s %6.1f MiB   <= 64: %s\n", text, kb / 1024, (kb <= 65536) ? "met" : "missed" }'
  done
done
if [[ ${#builds[@]} == 2 ]]; then
  echo "after / before:"
  for c in "${configs[@]}"; do ratio "${label[$c]}" "after.$c" "before.$c" 1 le; done
fi

if command -v strace >/dev/null; then
  echo
  echo "opens (openat) per listed file, one thread:"
  for b in "${builds[@]}"; do
    for c in tst def; do
      rm -rf "$ram/work" && cp -r "$ram/corpus" "$ram/work"
      # shellcheck disable=SC2086
      opens=$(ZYN_THREADS=1 strace -f -c -e trace=openat -o "$ram/strace" "${bin[$b]}" ${args[$c]} >/dev/null 2>&1 &&
        awk '$NF == "openat" {print $4}' "$ram/strace")
      awk -v text="$b: ${label[$c]}" -v n="$opens" -v c="$count" 'BEGIN { printf "  %-44s %6.2f\n", text, n / c }'
    done
  done
fi
echo
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
