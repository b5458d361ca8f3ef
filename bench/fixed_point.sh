#!/usr/bin/env bash
# Whether a run over a run's results changes anything: JDK 17's java.base as a tree, Maven's jars and guava's
# jar, under the default keys, -max and -super. For each zyn binary: the first run's reduction, then the second
# run's over the results (their backups removed) and the number of files it changed.
#
# usage: bench/fixed_point.sh ZYN [ZYN...]      environment: JDK_HOME (JDK 17 with jmods), BENCH_RAM_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
jdk=${JDK_HOME:-/usr/lib/jvm/java-17-openjdk-amd64}
work=$(mktemp -d "${BENCH_RAM_DIR:-/dev/shm}/zyn-fixed.XXXXXX")
trap 'rm -rf "$work"' EXIT
# shellcheck source=bench/corpus.sh
source "$here/corpus.sh"
three_sets "$jdk" "$work"

reduction() { awk '/^(Total|Archive) reduction:/ { printf "%s%s", sep, $3; sep = "/" }' "$1"; }
printf '%-10s %-7s %-22s %-22s %s\n' binary keys set "first run" "second run, changed"
for given in "$@"; do
  zyn=$(realpath "$given")
  for keys in default -max -super; do
    k=$keys
    [[ $k == default ]] && k=
    for set in "java.base:corpus:t" "maven:maven:t/*.jar" "guava:guava.jar:t/guava.jar"; do
      IFS=: read -r label source target <<< "$set"
      rm -rf "$work/a" "$work/b"
      mkdir -p "$work/a"
      if [[ -d $work/$source ]]; then cp -r "$work/$source" "$work/a/t"; else mkdir "$work/a/t" && cp "$work/$source" "$work/a/t/"; fi
      (cd "$work/a" && "$zyn" $k "$target" > "$work/first.out") || true
      find "$work/a" -name '*.~*' -delete
      cp -r "$work/a" "$work/b"
      (cd "$work/b" && "$zyn" $k "$target" > "$work/again.out") || true
      find "$work/b" -name '*.~*' -delete
      changed=$(diff -r -q "$work/a" "$work/b" | wc -l || true)
      printf '%-10s %-7s %-22s %-22s %s\n' "$given" "$keys" "$label" "$(reduction "$work/first.out")" \
        "$(reduction "$work/again.out"), $changed"
    done
  done
done
