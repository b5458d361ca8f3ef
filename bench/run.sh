#!/usr/bin/env bash
# Throughput of zyn on every class of JDK 17's java.base, gathered into one folder so that one process
# handles them all. Prints the median of several runs for each mode and their ratios.
# usage: bench/run.sh [ZYN_BINARY] [JDK_HOME] [RUNS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
zyn=$(realpath "${1:-$here/../build/zyn}")
jdk=${2:-/usr/lib/jvm/java-17-openjdk-amd64}
runs=${3:-5}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

"$jdk/bin/jmod" extract --dir "$scratch/jmod" "$jdk/jmods/java.base.jmod"
mkdir "$scratch/flat"
(cd "$scratch/jmod/classes" && find . -name '*.class' | while IFS= read -r f; do
  g=${f#./}; cp "$f" "$scratch/flat/${g//\//_}"; done)
count=$(ls "$scratch/flat" | wc -l)
bytes=$(cat "$scratch/flat"/*.class | wc -c)
echo "corpus: $count class files, $bytes bytes (java.base of $jdk)"

# Median wall time in milliseconds of `zyn KEYS` over fresh copies of the corpus.
median_ms() {
  local keys=$1 i t times=()
  for ((i = 0; i < runs; i++)); do
    rm -rf "$scratch/work" && cp -r "$scratch/flat" "$scratch/work"
    t=$( { TIMEFORMAT=%R; time "$zyn" $keys "$scratch/work/*.class" >/dev/null; } 2>&1 )
    times+=("$(awk -v s="$t" 'BEGIN{printf "%d", s * 1000}')")
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END{print a[int((NR+1)/2)]}'
}

printf '%-22s %10s %12s %10s\n' mode "median ms" "classes/s" "MB/s"
declare -A result
for keys in "-super -tst" "-tst" "-super" ""; do
  ms=$(median_ms "$keys")
  result["k$keys"]=$ms
  awk -v k="${keys:-(no keys)}" -v ms="$ms" -v n="$count" -v b="$bytes" \
    'BEGIN{printf "%-22s %10d %12.0f %10.1f\n", k, ms, n / (ms / 1000), b / 1e6 / (ms / 1000)}'
done
awk -v w="${result[k-super]}" -v t="${result[k-super -tst]}" \
  'BEGIN{printf "ratio -super / -super -tst (cost of writing the files): %.2f\n", w / t}'
awk -v a="${result[k-tst]}" -v b="${result[k-super -tst]}" \
  'BEGIN{printf "ratio -tst / -super -tst (default keys vs all removals): %.2f\n", a / b}'
