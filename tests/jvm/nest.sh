#!/usr/bin/env bash
# The nest pass on real classes: the programs under tests/jvm/nest/ whose "// release: N" header is at most
# RELEASE are compiled with JDK_HOME's javac at --release RELEASE and run with -Xverify:all; then each nest
# of their classes goes through the core for a nest (zyn_nest) under the default keys and under -super, and
# the program must print the same, every reference within a nest must still find its member through
# reflection, every member the nest pass keeps under its name must be kept so by the rule for one class, and
# the nest pass must save bytes over the rule for one class. zyn itself, run on the folder of
# classes (on one thread and on four) and on a jar that lists them in another order, must write exactly what
# the core for a nest wrote.
#   nest.sh ZYN_NEST JDK_HOME RELEASE ZYN
set -euo pipefail
tool=$(readlink -f "$1") jdk=$2 release=$3 zyn=$(readlink -f "$4")
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$jdk/bin/javac" -d "$scratch/check" "$here/nest/NestRefCheck.java"
sources=()
for f in "$here"/nest/Nest*.java; do
  [[ $f == */NestRefCheck.java ]] && continue
  r=$(sed -n '1s|^// release: \([0-9]*\)$|\1|p' "$f")
  [[ -n $r && $r -le $release ]] && sources+=("$f")
done
"$jdk/bin/javac" --release "$release" -d "$scratch/classes" "${sources[@]}"
mains=()
for f in "${sources[@]}"; do mains+=("$(basename "$f" .java)"); done
run() {  # classes folder, output file
  : > "$2"
  for m in "${mains[@]}"; do "$jdk/bin/java" -Xverify:all -cp "$1" "$m" >> "$2" 2>&1 || echo "exit $? $m" >> "$2"; done
}
run "$scratch/classes" "$scratch/before.txt"
for keys in "" "-super" "-noren"; do
  for rule in nest nonest; do
    rm -rf "$scratch/$rule" && cp -r "$scratch/classes" "$scratch/$rule"
    flag=(); [[ $rule == nonest ]] && flag=(-nonest)
    # shellcheck disable=SC2086
    "$tool" $keys "${flag[@]}" "$scratch/$rule" > "$scratch/$rule.txt" || fail "zyn_nest $keys exited with $?"
  done
  cat "$scratch/nest.txt"
  grep -q ' errors 0$' "$scratch/nest.txt" || fail "zyn_nest $keys: errors"
  grep -q ', incomplete 0,' "$scratch/nest.txt" || fail "zyn_nest $keys: an incomplete nest"
  rm -rf "$scratch/zyn" && cp -r "$scratch/classes" "$scratch/zyn"
  # shellcheck disable=SC2086
  "$zyn" $keys "$scratch/zyn" > "$scratch/zyn.txt" || fail "zyn $keys exited with $?"
  find "$scratch/zyn" -name '*.~class' -delete
  diff -r "$scratch/nest" "$scratch/zyn" > /dev/null || fail "zyn $keys wrote other bytes than the core for a nest"
  rm -rf "$scratch/one" && cp -r "$scratch/classes" "$scratch/one"
  # shellcheck disable=SC2086
  ZYN_THREADS=1 "$zyn" $keys "$scratch/one" > "$scratch/one.txt" || fail "zyn $keys on one thread exited with $?"
  find "$scratch/one" -name '*.~class' -delete
  diff -r "$scratch/zyn" "$scratch/one" > /dev/null || fail "zyn $keys wrote other bytes on one thread"
  (cd "$scratch/classes" && find . -name '*.class' | sort -r > "$scratch/entries" &&
    "$jdk/bin/jar" cf "$scratch/all.jar" @"$scratch/entries")
  # shellcheck disable=SC2086
  ZYN_THREADS=4 "$zyn" $keys "$scratch/all.jar" > "$scratch/jar.txt" || fail "zyn $keys on the jar exited with $?"
  rm -rf "$scratch/unjarred" && mkdir "$scratch/unjarred" && (cd "$scratch/unjarred" && "$jdk/bin/jar" xf "$scratch/all.jar")
  rm -rf "$scratch/unjarred/META-INF"
  diff -r "$scratch/zyn" "$scratch/unjarred" > /dev/null || fail "zyn $keys wrote other classes into the jar"
  run "$scratch/nest" "$scratch/after.txt"
  diff "$scratch/before.txt" "$scratch/after.txt" || fail "output changed under '$keys'"
  "$jdk/bin/java" -cp "$scratch/check" NestRefCheck "$scratch/nest" > "$scratch/refs.txt"
  cat "$scratch/refs.txt"
  grep -q ' 0 missing$' "$scratch/refs.txt" || fail "a reference lost its member under '$keys'"
  "$jdk/bin/java" -cp "$scratch/check" NestRefCheck --kept "$scratch/classes" "$scratch/nest" "$scratch/nonest" \
    > "$scratch/kept.txt"
  cat "$scratch/kept.txt"
  grep -q ' 0 not kept one by one$' "$scratch/kept.txt" || fail "the nest pass kept a member the rule for one class did not"
  nest=$(find "$scratch/nest" -name '*.class' -printf '%s\n' | awk '{s+=$1} END{print s}')
  one=$(find "$scratch/nonest" -name '*.class' -printf '%s\n' | awk '{s+=$1} END{print s}')
  echo "keys '$keys': $one bytes by the rule for one class, $nest by the nest pass"
  [[ $nest -lt $one ]] || fail "the nest pass saved nothing under '$keys'"
done
echo "1 passed, 0 failed"
