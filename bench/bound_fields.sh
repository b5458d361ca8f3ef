#!/usr/bin/env bash
# What keeping the members that libraries may bind by name costs: JDK 17's java.base as a tree, Maven's jars
# and guava's jar, each with -super and -map, by two zyn binaries: the total reduction (and the archives'),
# the private fields and methods the run renamed, and those left (the rest it removed).
#
# usage: bench/bound_fields.sh BEFORE AFTER      environment: JDK_HOME (JDK 17 with jmods)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
before=$(realpath "$1") after=$(realpath "$2")
jdk=${JDK_HOME:-/usr/lib/jvm/java-17-openjdk-amd64}
work=$(mktemp -d "${TMPDIR:-/tmp}/zyn-bound.XXXXXX")
trap 'rm -rf "$work"' EXIT

# shellcheck source=bench/corpus.sh
source "$here/corpus.sh"
three_sets "$jdk" "$work"
count() { "$jdk/bin/java" "$here/MemberCount.java" "$@"; }

for set in "java.base:corpus:corpus" "Maven's jars:maven:maven/*.jar" "guava:guava.jar:guava.jar"; do
  IFS=: read -r label source target <<< "$set"
  echo "== $label (-super): $(count "$work/$source")"
  for build in before after; do
    bin=$before
    [[ $build == after ]] && bin=$after
    run=$work/run-$build
    rm -rf "$run"
    mkdir "$run"
    cp -r "$work/$source" "$run/"
    (cd "$run" && "$bin" -super -map:"$run/map.txt" "$target" > "$run/table.txt")
    find "$run" \( -name '*.~class' -o -name '*.~jar' \) -delete
    renamed_fields=$(grep -c -E '^    [^(]* -> ' "$run/map.txt" || true)
    renamed_methods=$(grep -c -E '\(.*\) -> ' "$run/map.txt" || true)
    echo "$build: $(grep -E '^(Total|Archive) reduction' "$run/table.txt" | tr '\n' ' ')"
    echo "        renamed: $renamed_fields fields, $renamed_methods methods; left: $(count "$run/$source")"
  done
done
