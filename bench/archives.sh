#!/usr/bin/env bash
# zyn on whole jars: JDK 17's java.base packed as one jar, and guava's jar. For each, the wall time and peak
# memory (RSS) of `zyn -super` on the jar (all threads and one), of `zyn -super -tst` on the same classes as a
# folder tree, of zyn_zipcopy (the archive copied entry by entry through the project's zip module, nothing
# else: the floor for the jar runs) and, where its inputs allow, of the ProGuard peer baseline. Every case
# runs once per round, RUNS rounds (ProGuard in the first PG_RUNS only: it is slow); the table shows medians.
#
# usage: bench/archives.sh ZYN ZIPCOPY [RUNS]
#   ZYN      the zyn binary
#   ZIPCOPY  the zyn_zipcopy binary (built beside zyn with -DZYN_BENCH=ON)
#   RUNS     rounds (default 5)
# environment: JDK_HOME (default /usr/lib/jvm/java-17-openjdk-amd64), GUAVA (default /usr/share/java/guava.jar),
#              PROGUARD (default /work/shared/tools/proguard-baseline.sh), PG_RUNS (default 3; 0 leaves it out),
#              BENCH_DIR (where the corpora and the written jars go; default /var/tmp)
set -euo pipefail
shopt -s inherit_errexit
# All threads unless a case says otherwise.
unset ZYN_THREADS
[[ $# -ge 2 ]] || { sed -n '8,14p' "$0" >&2; exit 2; }
zyn=$(realpath "$1")
zipcopy=$(realpath "$2")
runs=${3:-5}
jdk=${JDK_HOME:-/usr/lib/jvm/java-17-openjdk-amd64}
guava=$(readlink -f "${GUAVA:-/usr/share/java/guava.jar}")
proguard=${PROGUARD:-/work/shared/tools/proguard-baseline.sh}
pg_runs=${PG_RUNS:-3}
((pg_runs <= runs)) || pg_runs=$runs

[[ -x $zyn ]] || { echo "no zyn binary at $zyn" >&2; exit 1; }
[[ -x $zipcopy ]] || { echo "no zyn_zipcopy binary at $zipcopy" >&2; exit 1; }
[[ -f $jdk/jmods/java.base.jmod ]] || { echo "no jmods/java.base.jmod in $jdk" >&2; exit 1; }
[[ -f $guava ]] || { echo "no guava jar at $guava" >&2; exit 1; }
if [[ ! -x $proguard ]] && ((pg_runs > 0)); then
  echo "no ProGuard baseline at $proguard: left out" >&2
  pg_runs=0
fi
# GNU time gives the peak RSS; without it (Debian package "time") only the wall time is measured.
gnu_time=
if [[ -x /usr/bin/time ]] && /usr/bin/time -f %M true >/dev/null 2>&1; then gnu_time=/usr/bin/time; fi

work=$(mktemp -d "${BENCH_DIR:-/var/tmp}/zyn-archives.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The corpora: each input as a jar and as a folder tree of the same classes.
"$jdk/bin/jmod" extract --dir "$work/jmod" "$jdk/jmods/java.base.jmod"
mkdir -p "$work/java.base"
mv "$work/jmod/classes" "$work/java.base/tree"
rm -rf "$work/jmod"
"$jdk/bin/jar" cf "$work/java.base/java.base.jar" -C "$work/java.base/tree" .
mkdir -p "$work/guava/tree"
cp "$guava" "$work/guava/guava.jar"
(cd "$work/guava/tree" && "$jdk/bin/jar" xf "$work/guava/guava.jar")
# One small class alone: the fixed footprint of a zyn run.
mkdir -p "$work/one"
cp "$work/java.base/tree/java/lang/Object.class" "$work/one/"

inputs=(java.base guava)
declare -A jar tree classes largest jarbytes major
for input in "${inputs[@]}"; do
  jar[$input]=$work/$input/$input.jar
  tree[$input]=$work/$input/tree
  jarbytes[$input]=$(stat -c %s "${jar[$input]}")
  # The copy loop reports the class entries; the tree must hold as many classes.
  line=$("$zipcopy" "${jar[$input]}" "$work/copy.jar")
  cmp -s "${jar[$input]}" "$work/copy.jar" || { echo "zyn_zipcopy did not copy $input.jar exactly" >&2; exit 1; }
  classes[$input]=$(sed -E 's/.* ([0-9]+) class entries.*/\1/' <<<"$line")
  largest[$input]=$(sed -E 's/.*largest class entry ([0-9]+) bytes.*/\1/' <<<"$line")
  count=$(find "${tree[$input]}" -name '*.class' | wc -l)
  if ((count != classes[$input])); then
    echo "$input: $count classes in the tree, ${classes[$input]} class entries in the jar" >&2
    exit 1
  fi
  # The class file version (major) of the first class, for the ProGuard baseline's limit.
  first=$(find "${tree[$input]}" -name '*.class' -print -quit)
  major[$input]=$(od -An -t u1 -j 6 -N 2 "$first" | awk '{print $1 * 256 + $2}')
done

threads=$(nproc)
echo "inputs:  java.base of $jdk as one jar (${jarbytes[java.base]} bytes, ${classes[java.base]} classes);"
echo "         $guava (${jarbytes[guava]} bytes, ${classes[guava]} classes); each also as a folder tree"
echo "zyn:     $zyn"
echo "copy:    $zipcopy"
echo "place:   $work ($(df --output=fstype "$work" | tail -n 1))"
echo "machine: $threads hardware threads, $(awk '/MemTotal/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo);" \
  "load average before: $(cut -d' ' -f1-3 /proc/loadavg); $runs rounds, ProGuard in $pg_runs"
[[ -n $gnu_time ]] || echo "GNU time not found (Debian package \"time\"): no peak RSS figures"
echo

# Runs a command and prints "WALL_US RSS_KB CPU_US" (RSS and CPU "-" without GNU time); its output goes to
# $work/out.txt. The wall time is the shell's (EPOCHREALTIME, microseconds) around the command; GNU time's own
# %e has 10 ms steps, too coarse for the shortest cases. CPU is user plus system time (10 ms steps), which
# other processes on the machine disturb less than the wall time.
timed() {
  local start end rc=0 rss=- cpu=-
  start=${EPOCHREALTIME/./}
  if [[ -n $gnu_time ]]; then
    "$gnu_time" -f '%e %M %U %S' -o "$work/time.txt" "$@" >"$work/out.txt" 2>&1 || rc=$?
  else
    "$@" >"$work/out.txt" 2>&1 || rc=$?
  fi
  end=${EPOCHREALTIME/./}
  if ((rc != 0)); then
    echo "failed (exit code $rc): $*" >&2
    tail -n 5 "$work/out.txt" >&2
    exit 1
  fi
  if [[ -n $gnu_time ]]; then
    read -r rss cpu < <(tail -n 1 "$work/time.txt" | awk '{printf "%s %d\n", $2, ($3 + $4) * 1e6 + 0.5}')
  fi
  echo "$((end - start)) $rss $cpu"
}

# A zyn run must have handled every class.
check_zyn() {
  local want=$1
  grep -q "^Files processed: $want\$" "$work/out.txt" || {
    echo "zyn did not handle all $want classes:" >&2
    tail -n 5 "$work/out.txt" >&2
    exit 1
  }
}

# Runs case $2 on input $1 once and prints "WALL_US RSS_KB CPU_US". Copies made for writing cases are not timed,
# and the file system is synced before the timed command.
run_case() {
  local input=$1 case=$2 result
  local j=${jar[$input]} t=${tree[$input]} n=${classes[$input]}
  case $case in
    jar | jar1)
      rm -f "$work/w.jar" "$work/w.~jar"
      cp "$j" "$work/w.jar"
      ;;
    treew)
      rm -rf "$work/wtree"
      cp -r "$t" "$work/wtree"
      ;;
  esac
  sync -f "$work"
  case $case in
    jar) result=$(timed "$zyn" -super "$work/w.jar") ;;
    jar1) result=$(ZYN_THREADS=1 timed "$zyn" -super "$work/w.jar") ;;
    jartst) result=$(timed "$zyn" -super -tst "$j") ;;
    tree) result=$(timed "$zyn" -super -tst "$t") ;;
    treew) result=$(timed "$zyn" -super "$work/wtree") ;;
    copy)
      result=$(timed "$zipcopy" "$j" "$work/copy.jar")
      grep -q " ${jarbytes[$input]} bytes out," "$work/out.txt" || { echo "zyn_zipcopy: short copy" >&2; exit 1; }
      ;;
    one) result=$(timed "$zyn" -super -tst "$work/one/Object.class") ;;
    pg)
      # The baseline times itself (GNU time around its java process): "proguard wall_s=S peak_kb=K ...".
      local line
      line=$("$proguard" "$j" "$work/pg-out.jar")
      result=$(sed -E 's/.*wall_s=([0-9.]+) peak_kb=([0-9]+).*/\1 \2/' <<<"$line" |
        awk '{printf "%d %d -", $1 * 1e6 + 0.5, $2}')
      ;;
  esac
  case $case in
    one) check_zyn 1 ;;
    copy | pg) ;;
    *) check_zyn "$n" ;;
  esac
  echo "$result"
}

cases=(jar jar1 tree copy jartst treew)
declare -A label=(
  [jar]="zyn -super JAR, $threads threads" [jar1]="zyn -super JAR, 1 thread" [tree]="zyn -super -tst TREE"
  [copy]="zipcopy JAR (copy loop)" [pg]="ProGuard baseline"
  [jartst]="extra: zyn -super -tst JAR" [treew]="extra: zyn -super TREE (written)" [one]="zyn -super -tst on one class")
declare -A walls rsses cpus

# The baseline's first run may install ProGuard and builds its library once: not timed.
pg_inputs=()
if ((pg_runs > 0)); then
  for input in "${inputs[@]}"; do
    if ((major[$input] <= 57)); then
      pg_inputs+=("$input")
      "$proguard" "${jar[$input]}" "$work/pg-out.jar" >/dev/null
    fi
  done
fi

for ((r = 1; r <= runs; r++)); do
  for input in "${inputs[@]}"; do
    todo=("${cases[@]}")
    for p in "${pg_inputs[@]}"; do
      if [[ $p == "$input" ]] && ((r <= pg_runs)); then todo+=(pg); fi
    done
    for case in "${todo[@]}"; do
      result=$(run_case "$input" "$case")
      read -r wall rss cpu <<<"$result"
      walls[$input.$case]+="$wall "
      rsses[$input.$case]+="$rss "
      cpus[$input.$case]+="$cpu "
    done
  done
  result=$(run_case java.base one)
  read -r wall rss cpu <<<"$result"
  walls[one]+="$wall "
  rsses[one]+="$rss "
  cpus[one]+="$cpu "
  echo "round $r of $runs done" >&2
done

# The median of the numbers in a line ("-" for none).
median() { tr ' ' '\n' | awk '$1 != "" && $1 != "-"' | sort -n | awk '
  {a[NR] = $1} END {if (NR == 0) print "-"; else print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
declare -A mw mr mc
for key in "${!walls[@]}"; do
  mw[$key]=$(median <<<"${walls[$key]}")
  mr[$key]=$(median <<<"${rsses[$key]}")
  mc[$key]=$(median <<<"${cpus[$key]}")
done
secs() { if [[ $1 == - ]]; then echo -; else awk -v u="$1" 'BEGIN {printf "%.3f", u / 1e6}'; fi; }
mib() { if [[ $1 == - ]]; then echo -; else awk -v k="$1" 'BEGIN {printf "%.1f", k / 1024}'; fi; }
runs_s() { for u in $1; do printf '%s ' "$(awk -v u="$u" 'BEGIN {printf "%.2f", u / 1e6}')"; done; }

row='%-10s %7s  %-36s %8s %9s %8s   %s\n'
# shellcheck disable=SC2059
printf "$row" input classes case "wall s" "RSS MiB" "CPU s" "wall of every run, s"
for input in "${inputs[@]}"; do
  todo=("${cases[@]}")
  [[ -z ${walls[$input.pg]:-} ]] || todo+=(pg)
  for case in "${todo[@]}"; do
    # shellcheck disable=SC2059
    printf "$row" "$input" "${classes[$input]}" "${label[$case]}" "$(secs "${mw[$input.$case]}")" \
      "$(mib "${mr[$input.$case]}")" "$(secs "${mc[$input.$case]}")" "$(runs_s "${walls[$input.$case]}")"
  done
done
# shellcheck disable=SC2059
printf "$row" - 1 "${label[one]}" "$(secs "${mw[one]}")" "$(mib "${mr[one]}")" "$(secs "${mc[one]}")" \
  "$(runs_s "${walls[one]}")"
for input in "${inputs[@]}"; do
  if ((major[$input] > 57)); then
    echo "ProGuard left out for $input: its classes are major ${major[$input]}, the baseline reads major 57 at most"
  fi
done
echo

# Ratio of two medians: wall, RSS, CPU.
ratio() {
  local a=$1 b=$2
  awk -v wa="${mw[$a]}" -v wb="${mw[$b]}" -v ra="${mr[$a]}" -v rb="${mr[$b]}" -v ca="${mc[$a]}" -v cb="${mc[$b]}" '
    function r(x, y) { return (x == "-" || y == "-" || y == 0) ? "-" : sprintf("%.2f", x / y) }
    BEGIN { printf "%8s %8s %8s", r(wa, wb), r(ra, rb), r(ca, cb) }'
}
printf '%-10s %-44s %8s %8s %8s\n' input "ratio of medians" wall RSS CPU
for input in "${inputs[@]}"; do
  printf '%-10s %-44s %s\n' "$input" "jar ($threads threads) / tree -tst" "$(ratio "$input.jar" "$input.tree")"
  printf '%-10s %-44s %s\n' "$input" "jar ($threads threads) / tree written (extra)" "$(ratio "$input.jar" "$input.treew")"
  printf '%-10s %-44s %s\n' "$input" "jar ($threads threads) / copy loop" "$(ratio "$input.jar" "$input.copy")"
  printf '%-10s %-44s %s\n' "$input" "jar (1 thread) / copy loop" "$(ratio "$input.jar1" "$input.copy")"
  printf '%-10s %-44s %s\n' "$input" "jar (1 thread) / jar ($threads threads)" "$(ratio "$input.jar1" "$input.jar")"
  if [[ -n ${walls[$input.pg]:-} ]]; then
    printf '%-10s %-44s %s\n' "$input" "ProGuard / jar ($threads threads)" "$(ratio "$input.pg" "$input.jar")"
    printf '%-10s %-44s %s\n' "$input" "ProGuard / jar (1 thread)" "$(ratio "$input.pg" "$input.jar1")"
  fi
done
echo

# The memory goal: the largest class entries times the thread count, plus the fixed footprint.
echo "memory (MiB): largest class entry x threads + fixed footprint (zyn on one class), against zyn's peak RSS"
printf '%-10s %8s %8s %9s %9s %9s %10s %10s\n' input "jar" "largest" "x$threads+fix" "x1+fix" "fixed" \
  "zyn $threads thr" "zyn 1 thr"
for input in "${inputs[@]}"; do
  awk -v input="$input" -v jb="${jarbytes[$input]}" -v l="${largest[$input]}" -v t="$threads" \
    -v fixed="${mr[one]}" -v r="${mr[$input.jar]}" -v r1="${mr[$input.jar1]}" 'BEGIN {
      m = 1048576; f = (fixed == "-") ? 0 : fixed * 1024
      printf "%-10s %8.1f %8.2f %9.1f %9.1f %9s %10s %10s\n", input, jb / m, l / m, (l * t + f) / m, (l + f) / m,
        (fixed == "-") ? "-" : sprintf("%.1f", f / m), (r == "-") ? "-" : sprintf("%.1f", r / 1024),
        (r1 == "-") ? "-" : sprintf("%.1f", r1 / 1024) }'
done
echo
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
