#!/usr/bin/env bash
# Checks that Java serialization streams pass between optimized and unoptimized classes.
#
#   serial_crosscheck.sh ZYN_BINARY JDK_HOME RELEASE
#
# The program in tests/java/serial/ is compiled with JDK_HOME's javac at --release RELEASE. A stream
# written by the unoptimized classes and read back by them gives the reference output. Then, for the
# default keys and for -max, zyn optimizes its own copy of the classes, and
#   - the optimized classes must read the unoptimized stream and print the reference output;
#   - the unoptimized classes must read a stream the optimized ones wrote and print it too.
# A within-build round trip cannot catch a renamed field or a lost serialVersionUID: both sides would
# agree. Only mixing the builds does.
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

src=$(cd "$(dirname "${BASH_SOURCE[0]}")/../java/serial" && pwd)

# shellcheck source=common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

# Compares a reading run ($2.out/.err, exit code $3) with the reference; $1 labels it.
expect_reference() {
  local label=$1 out=$2 rc=$3
  if [[ $rc != 0 ]]; then
    fail "$label" "reading exited with $rc" "$out.err"
    return
  fi
  if ! diff -u --label reference --label crossed "$scratch/ref.out" "$out.out" > "$out.diff"; then
    fail "$label" "output changed" "$out.diff" "$out.err"
    return
  fi
  echo "PASS $label"
  passed=$((passed + 1))
}

plain=$scratch/plain
mkdir -p "$plain"
if ! "$jdk/bin/javac" -g --release "$release" -Xlint:none -nowarn -d "$plain" "$src"/*.java > "$scratch/javac.log" 2>&1; then
  sed -e 's/^/    /' "$scratch/javac.log" >&2
  echo "javac failed" >&2
  exit 1
fi

rc=$(run_java "$plain" "$scratch/ref-write" write "$scratch/ref.ser")
[[ $rc == 0 ]] || { sed -e 's/^/    /' "$scratch/ref-write.err" >&2; echo "unoptimized write exited with $rc" >&2; exit 1; }
rc=$(run_java "$plain" "$scratch/ref" read "$scratch/ref.ser")
[[ $rc == 0 ]] || { sed -e 's/^/    /' "$scratch/ref.err" >&2; echo "unoptimized read exited with $rc" >&2; exit 1; }
[[ -s $scratch/ref.out ]] || { echo "unoptimized read printed nothing" >&2; exit 1; }

n=0
for keys in "" "-max"; do
  read -r -a keyargs <<< "$keys" || true
  n=$((n + 1))
  opt=$scratch/opt$n
  cp -r "$plain" "$opt"
  zyn_rc=0
  (cd "$scratch" && timeout 300 "$zyn" ${keyargs[@]+"${keyargs[@]}"} "$opt/*.class") > "$opt.zyn.log" 2>&1 || zyn_rc=$?
  if [[ $zyn_rc != 0 ]] || grep -q '^ERROR:' "$opt.zyn.log"; then
    fail "zyn [$keys]" "zyn exited with $zyn_rc" "$opt.zyn.log"
    continue
  fi
  rm -f "$opt"/*.~class
  if cmp -s "$plain/Profile.class" "$opt/Profile.class"; then
    fail "zyn [$keys]" "Profile.class was left unchanged, so nothing would be crossed"
    continue
  fi

  rc=$(run_java "$opt" "$opt.read" read "$scratch/ref.ser")
  expect_reference "unoptimized write -> optimized read [$keys]" "$opt.read" "$rc"

  rc=$(run_java "$opt" "$opt.write" write "$opt.ser")
  if [[ $rc != 0 ]]; then
    fail "optimized write -> unoptimized read [$keys]" "optimized write exited with $rc" "$opt.write.err"
    continue
  fi
  rc=$(run_java "$plain" "$opt.back" read "$opt.ser")
  expect_reference "optimized write -> unoptimized read [$keys]" "$opt.back" "$rc"
done

echo "$passed passed, $failed failed"
(( failed == 0 ))
