#!/usr/bin/env bash
# -pack on real jars: Maven's library jars and java.base as one jar, each optimized with -super and with
# -super -pack on copies. With -pack the archives are at least 3% smaller; the same bytes come out at 1 and
# at 4 threads; a second -super -pack run leaves every jar as it is; and with renaming off (-noren: where a
# class has more reusable names than renaming offers, -pack offers them in the order of their texts, which
# the written pool keeps) every class reads back, through javap -v -p -c, exactly as without -pack but for
# the pool's order and the index numbers that follow it.
# usage: pack.sh ZYN_BINARY JDK_HOME [MAVEN_LIB]
set -euo pipefail
zyn=$1 jdk=$2 lib=${3:-/usr/share/maven/lib}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=0
fail() { echo "FAIL $*"; failed=$((failed + 1)); }

mkdir -p "$scratch/in" "$scratch/base"
cp -L "$lib"/*.jar "$scratch/in/"
"$jdk/bin/jimage" extract --dir "$scratch/base" --include 'regex:/java.base/.*' "$jdk/lib/modules"
(cd "$scratch/base/java.base" && "$jdk/bin/jar" cf "$scratch/in/java.base.jar" .)
rm -rf "$scratch/base"

# run NAME THREADS KEYS...: a copy of the inputs, optimized.
run() {
  local name=$1 threads=$2
  shift 2
  cp -r "$scratch/in" "$scratch/$name"
  if ! ZYN_THREADS=$threads "$zyn" "$@" "$scratch/$name/*.jar" >"$scratch/$name.out"; then
    fail "zyn $* ($name)"; tail -5 "$scratch/$name.out"
  fi
  rm -f "$scratch/$name"/*.~*
}
start=$(date +%s.%N)
run super 1 -super
middle=$(date +%s.%N)
run pack 1 -super -pack
end=$(date +%s.%N)
run pack4 4 -super -pack
run same 2 -super -noren
run packsame 2 -super -noren -pack

bytes() { cat "$@" | wc -c; }
# The archive bytes of java.base and of Maven's jars, each at least 3% below -super alone.
maven=$(cd "$scratch/in" && ls ./*.jar | grep -v java.base.jar)
for part in java.base maven; do
  if [[ $part == java.base ]]; then names=(java.base.jar); else mapfile -t names <<<"$maven"; fi
  s=$(cd "$scratch/super" && bytes "${names[@]}") p=$(cd "$scratch/pack" && bytes "${names[@]}")
  echo "$part: -super $s bytes, -super -pack $p bytes ($(( (s - p) * 1000 / s )) per mille smaller)"
  (( p * 100 <= s * 97 )) || fail "$part: -pack saves less than 3%"
done
echo "time: -super $(echo "$middle - $start" | bc) s, -super -pack $(echo "$end - $middle" | bc) s"

cmp_all() {
  local a=$1 b=$2 what=$3 jar
  for jar in "$scratch/$a"/*.jar; do
    cmp -s "$jar" "$scratch/$b/$(basename "$jar")" || fail "$what: $(basename "$jar") differs"
  done
}
cmp_all pack pack4 "1 and 4 threads"
cp -r "$scratch/pack" "$scratch/again"
ZYN_THREADS=2 "$zyn" -super -pack "$scratch/again/*.jar" >/dev/null || fail "zyn on its own output"
rm -f "$scratch/again"/*.~*
cmp_all pack again "a second run"

# Every class as javap reads it: the pool's lines go, index numbers become "#"; the rest must agree.
listing() {
  local dir=$1 jar
  for jar in "$scratch/$dir"/*.jar; do
    mkdir -p "$scratch/$dir.classes/$(basename "$jar")"
    unzip -q -o "$jar" '*.class' -d "$scratch/$dir.classes/$(basename "$jar")" 2>/dev/null || true
  done
  (cd "$scratch/$dir.classes" && find . -name '*.class' | LC_ALL=C sort | xargs -n 500 "$jdk/bin/javap" -v -p -c) |
    sed -E '/^Classfile |^  Last modified |^  (SHA-256|MD5) checksum |^ +#[0-9]+ = /d; s/#[0-9]+/#/g; s/ +/ /g'
}
listing same >"$scratch/super.javap"
listing packsame >"$scratch/pack.javap"
classes=$(grep -c '^ minor version' "$scratch/pack.javap" || true)
if ! diff -q "$scratch/super.javap" "$scratch/pack.javap" >/dev/null; then
  fail "javap reads $(diff "$scratch/super.javap" "$scratch/pack.javap" | grep -c '^[<>]') lines differently"
  diff "$scratch/super.javap" "$scratch/pack.javap" | head -20
fi
echo "$classes classes read back alike"
[[ $classes -gt 10000 ]] || fail "only $classes classes compared"
[[ $failed -eq 0 ]] && echo "PASS" || { echo "$failed failures"; exit 1; }
