#!/usr/bin/env bash
# Every class of a JDK's java.base module is read without an error or a warning (-super -tst); written with
# -super into a scratch copy, every result is read again by zyn -tst without an error and accepted by javap -v.
# usage: jdk_base.sh ZYN_BINARY JDK_HOME
set -euo pipefail
zyn=$1 jdk=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
if [ -f "$jdk/jmods/java.base.jmod" ]; then
  "$jdk/bin/jmod" extract --dir "$scratch/jmod" "$jdk/jmods/java.base.jmod"
  root="$scratch/jmod/classes"
else
  "$jdk/bin/jimage" extract --dir "$scratch/image" --include 'regex:/java.base/.*' "$jdk/lib/modules"
  root="$scratch/image/java.base"
fi
classes=$(find "$root" -name '*.class' | wc -l)
cp -r "$root" "$scratch/original"
failed=0

# Runs zyn once per directory; any ERROR or WARNING line fails.
each_dir() {
  local keys=$1 dir
  while IFS= read -r -d '' dir; do
    compgen -G "$dir/*.class" >/dev/null || continue
    if ! "$zyn" $keys "$dir/*.class" >"$scratch/out.txt" || grep -q -E '^(ERROR|WARNING):' "$scratch/out.txt"; then
      echo "FAIL zyn $keys $dir"; grep -E -B1 '^(ERROR|WARNING):' "$scratch/out.txt" | head -10
      failed=$((failed + 1))
    fi
  done < <(find "$root" -type d -print0)
}

each_dir "-super -tst"
each_dir "-super"
find "$root" -name '*.~class' -delete
# A run over the results is a fixed point: every class comes out as it went in.
cp -r "$root" "$scratch/first"
each_dir "-super"
find "$root" -name '*.~class' -delete
if ! diff -r -q "$scratch/first" "$root" >"$scratch/again.diff"; then
  echo "FAIL a run over the results changed $(wc -l <"$scratch/again.diff") classes"; head -5 "$scratch/again.diff"
  failed=$((failed + 1))
fi
rm -rf "$scratch/first"
each_dir "-tst"

# javap reads every written class, and finds nothing to complain of that it did not find in the original
# (a few JDK-generated classes carry flags that javap reports).
javap_errors() {
  local dir
  dir=$(cd "$1" && pwd)/
  (cd "$1" && find . -name '*.class' -print0 | xargs -0 -n 400 "$jdk/bin/javap" -v 2>&1) |
    awk -v dir="$dir" '/^Classfile /{c=$2; if (index(c, dir) == 1) c = substr(c, length(dir) + 1); n++}
                       /^Error/{print c ": " $0} END{print n " classes"}' >"$2"
}
# The sanitizer run checks zyn itself; javap's reading of the results is the release run's business.
if [ -n "${ZYN_SKIP_JAVAP:-}" ]; then
  echo "java.base of $jdk: $classes classes (javap skipped)"
  if [ "$failed" = 0 ]; then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; exit 1; fi
  exit 0
fi
javap_errors "$root" "$scratch/javap.txt"
javap_errors "$scratch/original" "$scratch/javap-original.txt"
if ! diff "$scratch/javap-original.txt" "$scratch/javap.txt" >"$scratch/javap.diff"; then
  echo "FAIL javap"; head -20 "$scratch/javap.diff"; failed=$((failed + 1))
fi
read_back=$(tail -n 1 "$scratch/javap.txt" | cut -d' ' -f1)
echo "java.base of $jdk: $classes classes, $read_back read back by javap"
[ "$read_back" = "$classes" ] || { echo "FAIL javap read $read_back of $classes"; failed=$((failed + 1)); }
if [ "$failed" = 0 ]; then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; exit 1; fi
