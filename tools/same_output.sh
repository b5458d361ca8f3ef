#!/usr/bin/env bash
# Whether two zyn binaries write the same: JDK 17's java.base as a tree, Maven's jars and guava's jar, under
# the default keys, -max, -super (with a mapping file) and -super -pack, at 1 and 2 threads; every written
# file and the printed output compared byte for byte. For a change of structure that must not change what
# the program does.
#
# usage: tools/same_output.sh BEFORE AFTER      environment: JDK_HOME (JDK 17 with jmods), TMPDIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
before=$(realpath "$1") after=$(realpath "$2")
jdk=${JDK_HOME:-/usr/lib/jvm/java-17-openjdk-amd64}
work=$(mktemp -d "${TMPDIR:-/tmp}/zyn-same.XXXXXX")
trap 'rm -rf "$work"' EXIT
# shellcheck source=bench/corpus.sh
source "$here/../bench/corpus.sh"
three_sets "$jdk" "$work"
differ=0
for keys in default -max "-super -map:zyn.map" "-super -pack"; do
  k=$keys
  [[ $k == default ]] && k=
  for threads in 1 2; do
    for set in "java.base:corpus:t" "maven:maven:t/*.jar" "guava:guava.jar:t/guava.jar"; do
      IFS=: read -r label source target <<< "$set"
      for b in before after; do
        rm -rf "${work:?}/$b"
        mkdir -p "$work/$b"
        if [[ -d $work/$source ]]; then cp -r "$work/$source" "$work/$b/t"; else mkdir "$work/$b/t" && cp "$work/$source" "$work/$b/t/"; fi
        bin=$before
        [[ $b == after ]] && bin=$after
        (cd "$work/$b" && ZYN_THREADS=$threads "$bin" $k "$target" > "$work/$b.out" 2>&1) || true
      done
      if diff -r -q "$work/before" "$work/after" > /dev/null && cmp -s "$work/before.out" "$work/after.out"; then
        echo "same    $label $keys, $threads thread(s)"
      else
        echo "DIFFERS $label $keys, $threads thread(s)"
        differ=$((differ + 1))
      fi
    done
  done
done
(( differ == 0 ))
