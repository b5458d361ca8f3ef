#!/usr/bin/env bash
# Reading and writing keep class files whole:
#  - marking every entry gives back each compiled class byte for byte;
#  - marking what the class uses gives a class that still verifies and prints the same.
# usage: roundtrip.sh ROUNDTRIP_BINARY JDK_HOME RELEASE
set -euo pipefail
tool=$1 jdk=$2 release=$3
here=$(cd "$(dirname "$0")" && pwd)
corpus="$here/../java/corpus"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
passed=0 failed=0

fail() { echo "FAIL $1"; failed=$((failed + 1)); }

for dir in "$corpus"/*/; do
  name=$(basename "$dir")
  need=$(sed -n '1s#^// release: *\([0-9]*\).*#\1#p' "$dir/Main.java")
  [ -n "$need" ] && [ "$need" -le "$release" ] || continue
  for debug in -g -g:none; do
    out="$scratch/$name$debug"
    mkdir -p "$out/classes" "$out/copy"
    if ! "$jdk/bin/javac" $debug --release "$release" -nowarn -Xlint:none -d "$out/classes" "$dir"/*.java >"$out/javac.txt" 2>&1; then
      fail "$name $debug: javac failed"; cat "$out/javac.txt"; continue
    fi
    ok=1
    while IFS= read -r -d '' class; do
      rel=${class#"$out/classes/"}
      mkdir -p "$(dirname "$out/copy/$rel")"
      if ! "$tool" markall "$class" "$out/copy/$rel" >"$out/tool.txt" 2>&1 || ! cmp -s "$class" "$out/copy/$rel"; then
        fail "$name $debug: $rel not rewritten byte for byte"; cat "$out/tool.txt"; ok=0
      fi
    done < <(find "$out/classes" -name '*.class' -print0)
    [ $ok = 1 ] || continue
    if [ "$debug" = -g ]; then
      expected=$(cd "$out/classes" && timeout 60 "$jdk/bin/java" -Xverify:all -cp . Main 2>&1; echo "exit=$?")
      while IFS= read -r -d '' class; do
        "$tool" markclass "$class" "$class.new" >"$out/tool.txt" 2>&1 && mv "$class.new" "$class" || { fail "$name: markclass $class"; cat "$out/tool.txt"; ok=0; }
      done < <(find "$out/classes" -name '*.class' -print0)
      actual=$(cd "$out/classes" && timeout 60 "$jdk/bin/java" -Xverify:all -cp . Main 2>&1; echo "exit=$?")
      if [ "$expected" != "$actual" ]; then
        fail "$name: output changed after pruning the pool"; diff <(echo "$expected") <(echo "$actual") | head -20; ok=0
      fi
    fi
    [ $ok = 1 ] && passed=$((passed + 1)) && echo "PASS $name $debug"
  done
done
echo "$passed passed, $failed failed"
[ "$failed" = 0 ] && [ "$passed" -gt 0 ]
