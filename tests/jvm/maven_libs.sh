#!/usr/bin/env bash
# Every class of Maven's own library jars is processed with -super without an error or a warning, and every
# class that links and verifies on the JDK before the optimization still does after it.
# usage: maven_libs.sh ZYN_BINARY JDK_HOME [LIB_DIR]
set -euo pipefail
zyn=$1 jdk=$2 lib=${3:-/usr/share/maven/lib}
here=$(cd "$(dirname "$0")" && pwd)
compgen -G "$lib/*.jar" >/dev/null || { echo "no jars in $lib"; exit 1; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
roots=()
for jar in "$lib"/*.jar; do
  dir="$scratch/jars/$(basename "$jar" .jar)"
  mkdir -p "$dir"
  (cd "$dir" && "$jdk/bin/jar" xf "$jar")
  roots+=("$dir")
done
classes=$(find "$scratch/jars" -name '*.class' | wc -l)
"$jdk/bin/javac" -d "$scratch/check" "$here/linkcheck/LinkCheck.java"
linkcheck() { "$jdk/bin/java" -Xverify:all -cp "$scratch/check" LinkCheck "${roots[@]}" >"$1" 2>/dev/null; }
linkcheck "$scratch/before.txt"

failed=0
while IFS= read -r -d '' dir; do
  compgen -G "$dir/*.class" >/dev/null || continue
  if ! "$zyn" -super "$dir/*.class" >"$scratch/out.txt" || grep -q -E '^(ERROR|WARNING):' "$scratch/out.txt"; then
    echo "FAIL zyn -super $dir"; grep -E -B1 '^(ERROR|WARNING):' "$scratch/out.txt" | head -10
    failed=$((failed + 1))
  fi
done < <(find "$scratch/jars" -type d -print0)
find "$scratch/jars" -name '*.~class' -delete

linkcheck "$scratch/after.txt"
tail -n 1 "$scratch/before.txt" | sed 's/^/before: /'
tail -n 1 "$scratch/after.txt" | sed 's/^/after:  /'
# The classes failing after must be among those failing before.
if comm -13 <(sed '$d' "$scratch/before.txt" | cut -d' ' -f1 | sort) <(sed '$d' "$scratch/after.txt" | cut -d' ' -f1 | sort) | grep .; then
  echo "FAIL: classes above link before the optimization but not after"
  failed=$((failed + 1))
fi
echo "$classes class files in $(ls "$lib"/*.jar | wc -l) jars"
if [ "$failed" = 0 ]; then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; exit 1; fi
