#!/usr/bin/env bash
# What -pack costs and saves: zyn -super against zyn -super -pack on JDK 17's java.base as one jar and as a
# folder tree (jarred afterwards with the JDK's jar tool, as a build would), Maven's library jars in one run,
# and guava's jar; and on guava, zyn -max and zyn -max -pack beside the ProGuard peer baseline, which keeps
# what -max keeps. Each case runs once per round, RUNS rounds, all threads; the table shows the median wall
# time and the bytes written (the same every round: the output is deterministic).
#
# usage: bench/pack.sh ZYN [RUNS]
# environment: JDK_HOME (default /usr/lib/jvm/java-17-openjdk-amd64), MAVEN_LIB (default /usr/share/maven/lib),
#              GUAVA (default /usr/share/java/guava.jar), PROGUARD (default /work/shared/tools/proguard-baseline.sh;
#              left out when missing), BENCH_DIR (default /var/tmp)
set -euo pipefail
shopt -s inherit_errexit
unset ZYN_THREADS
[[ $# -ge 1 ]] || { sed -n '8,11p' "$0" >&2; exit 2; }
zyn=$(realpath "$1")
runs=${2:-5}
jdk=${JDK_HOME:-/usr/lib/jvm/java-17-openjdk-amd64}
mavenlib=${MAVEN_LIB:-/usr/share/maven/lib}
guava=$(readlink -f "${GUAVA:-/usr/share/java/guava.jar}")
proguard=${PROGUARD:-/work/shared/tools/proguard-baseline.sh}
work=$(mktemp -d "${BENCH_DIR:-/var/tmp}/zyn-pack.XXXXXX")
trap 'rm -rf "$work"' EXIT
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores, $runs rounds"

mkdir -p "$work/in/maven" "$work/in/tree"
"$jdk/bin/jimage" extract --dir "$work/base" --include 'regex:/java.base/.*' "$jdk/lib/modules"
mv "$work/base/java.base" "$work/in/tree/java.base"
"$jdk/bin/jar" cf "$work/in/java.base.jar" -C "$work/in/tree/java.base" .
cp -L "$mavenlib"/*.jar "$work/in/maven/"
cp "$guava" "$work/in/guava.jar"

# measure CASE KEYS...: one round of a case; appends "seconds bytes" to $work/CASE.
measure() {
  local case=$1 target out start end
  shift
  rm -rf "$work/run" && mkdir "$work/run"
  case ${case%%:*} in
    java.base) cp "$work/in/java.base.jar" "$work/run/"; target=$work/run/java.base.jar ;;
    tree) cp -r "$work/in/tree/java.base" "$work/run/"; target=$work/run/java.base ;;
    maven) cp "$work/in/maven"/*.jar "$work/run/"; target="$work/run/*.jar" ;;
    guava) cp "$work/in/guava.jar" "$work/run/"; target=$work/run/guava.jar ;;
  esac
  start=$(date +%s.%N)
  "$zyn" "$@" "$target" >/dev/null
  end=$(date +%s.%N)
  find "$work/run" -name '*.~*' -delete
  if [[ ${case%%:*} == tree ]]; then
    "$jdk/bin/jar" cf "$work/run/tree.jar" -C "$work/run/java.base" .
    out=$(stat -c %s "$work/run/tree.jar")
  else
    out=$(cat "$work/run"/*.jar | wc -c)
  fi
  echo "$(echo "$end - $start" | bc) $out" >>"$work/$case"
}

cases=(java.base:-super java.base:-super+-pack tree:-super tree:-super+-pack maven:-super maven:-super+-pack
       guava:-super guava:-super+-pack guava:-max guava:-max+-pack)
for ((r = 0; r < runs; r++)); do
  for c in "${cases[@]}"; do
    keys=${c#*:}
    measure "$c" ${keys//+/ }
  done
done

median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
printf '%-11s %-12s %12s %9s %14s %9s\n' input keys bytes "vs base" "median wall s" "vs base"
for c in "${cases[@]}"; do
  input=${c%%:*} keys=${c#*:}
  t=$(cut -d' ' -f1 "$work/$c" | median) b=$(head -1 "$work/$c" | cut -d' ' -f2)
  if [[ $keys != *-pack ]]; then bt=$t bb=$b; fi
  printf '%-11s %-12s %12d %8.2f%% %14.3f %8.2fx\n' "$input" "${keys//+/ }" "$b" \
    "$(echo "($b - $bb) * 100 / $bb" | bc -l)" "$t" "$(echo "$t / $bt" | bc -l)"
done
if [[ -x $proguard ]]; then
  line=$("$proguard" "$work/in/guava.jar" "$work/pg-out.jar")
  echo "guava through the ProGuard baseline (keeps what -max keeps): $line"
fi
