#!/usr/bin/env bash
# Checks that Java serialization streams pass between optimized and unoptimized classes.
#
#   serial_crosscheck.sh ZYN_BINARY JDK_HOME RELEASE
#
# The program in tests/java/serial/, and each one in a folder of its own below it, is compiled with
# JDK_HOME's javac at --release RELEASE. A stream written by the unoptimized classes and read back by
# them gives the reference output. Then, for the default keys and for -max, zyn optimizes its own copy
# of the classes, and
#   - the optimized classes must read the unoptimized stream and print the reference output;
#   - the unoptimized classes must read a stream the optimized ones wrote and print it too.
# A within-build round trip cannot catch a renamed field or a lost serialVersionUID: both sides would
# agree. Only mixing the builds does. The programs below are labelled with their folder's name.
set -euo pipefail

usage() {
  echo "usage: $0 ZYN_BINARY JDK_HOME RELEASE" >&2
  exit 2
}

[[ $# -eq 3 ]] || usage
zyn=$1
jdk=$2
release=$3

[[ $release =~ ^[0-9]+$ ]] || { echo "RELEASE must be a number, got '$release'" >&2; exit 2; }
[[ -x $zyn ]] || { echo "not an executable: $zyn" >&2; exit 2; }
[[ -x $jdk/bin/javac && -x $jdk/bin/java ]] || { echo "no javac/java under $jdk/bin" >&2; exit 2; }
zyn=$(cd "$(dirname "$zyn")" && pwd)/$(basename "$zyn")

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../java/serial" && pwd)

# shellcheck source=common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

# Compares a reading run ($2.out/.err, exit code $3) with the reference in $work; $1 labels it.
expect_reference() {
  local label=$1 out=$2 rc=$3
  if [[ $rc != 0 ]]; then
    fail "$label" "reading exited with $rc" "$out.err"
    return
  fi
  if ! diff -u --label reference --label crossed "$work/ref.out" "$out.out" > "$out.diff"; then
    fail "$label" "output changed" "$out.diff" "$out.err"
    return
  fi
  echo "PASS $label"
  passed=$((passed + 1))
}

# Crosses the program in folder $1; $2 starts its labels. $3 names the class that zyn must change for
# anything to be crossed; when it is empty, any changed class will do.
crosscheck() {
  local src=$1 prefix=$2 changed=$3 plain rc n keys opt zyn_rc c differs
  work=$scratch/${src##*/}
  plain=$work/plain
  mkdir -p "$plain"
  if ! "$jdk/bin/javac" -g --release "$release" -Xlint:none -nowarn -d "$plain" "$src"/*.java > "$work/javac.log" 2>&1; then
    fail "${prefix}javac" "javac failed" "$work/javac.log"
    return
  fi

  rc=$(run_java "$plain" "$work/ref-write" write "$work/ref.ser")
  [[ $rc == 0 ]] || { fail "${prefix}reference" "unoptimized write exited with $rc" "$work/ref-write.err"; return; }
  rc=$(run_java "$plain" "$work/ref" read "$work/ref.ser")
  [[ $rc == 0 ]] || { fail "${prefix}reference" "unoptimized read exited with $rc" "$work/ref.err"; return; }
  [[ -s $work/ref.out ]] || { fail "${prefix}reference" "unoptimized read printed nothing"; return; }

  n=0
  for keys in "" "-max"; do
    read -r -a keyargs <<< "$keys" || true
    n=$((n + 1))
    opt=$work/opt$n
    cp -r "$plain" "$opt"
    zyn_rc=0
    (cd "$work" && timeout 300 "$zyn" ${keyargs[@]+"${keyargs[@]}"} "$opt/*.class") > "$opt.zyn.log" 2>&1 || zyn_rc=$?
    if [[ $zyn_rc != 0 ]] || grep -q '^ERROR:' "$opt.zyn.log"; then
      fail "${prefix}zyn [$keys]" "zyn exited with $zyn_rc" "$opt.zyn.log"
      continue
    fi
    rm -f "$opt"/*.~class
    if [[ -n $changed ]]; then
      if cmp -s "$plain/$changed.class" "$opt/$changed.class"; then
        fail "${prefix}zyn [$keys]" "$changed.class was left unchanged, so nothing would be crossed"
        continue
      fi
    else
      differs=0
      for c in "$plain"/*.class; do
        cmp -s "$c" "$opt/${c##*/}" || differs=1
      done
      if [[ $differs == 0 ]]; then
        fail "${prefix}zyn [$keys]" "every class was left unchanged, so nothing would be crossed"
        continue
      fi
    fi

    rc=$(run_java "$opt" "$opt.read" read "$work/ref.ser")
    expect_reference "${prefix}unoptimized write -> optimized read [$keys]" "$opt.read" "$rc"

    rc=$(run_java "$opt" "$opt.write" write "$opt.ser")
    if [[ $rc != 0 ]]; then
      fail "${prefix}optimized write -> unoptimized read [$keys]" "optimized write exited with $rc" "$opt.write.err"
      continue
    fi
    rc=$(run_java "$plain" "$opt.back" read "$opt.ser")
    expect_reference "${prefix}optimized write -> unoptimized read [$keys]" "$opt.back" "$rc"
  done
}

crosscheck "$root" "" Profile
for dir in "$root"/*/; do
  dir=${dir%/}
  if [[ -f $dir/Main.java ]]; then
    crosscheck "$dir" "${dir##*/}: " ""
  fi
done

echo "$passed passed, $failed failed"
(( failed == 0 ))
