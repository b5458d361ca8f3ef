#!/usr/bin/env bash
# A stack trace of renamed classes reads back through the mapping: a program whose exception passes through
# private methods and a lambda of a loose class and of a class in a jar is shrunk with -map (default keys, and
# -max, which also drops line numbers and source names); its trace, run through ProGuard's ReTrace with the
# map, names the same methods in the same order as the trace of the program before shrinking.
#
#   retrace.sh ZYN_BINARY JDK_HOME
set -euo pipefail
[[ $# -eq 2 ]] || { echo "usage: $0 ZYN_BINARY JDK_HOME" >&2; exit 2; }
zyn=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
jdk=$2
retrace_jar=/usr/share/java/proguard-retrace.jar
[[ -f $retrace_jar ]] || { echo "no ReTrace at $retrace_jar (Debian package proguard-cli)" >&2; exit 2; }
# shellcheck source=common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

mkdir -p "$scratch/src/lib" "$scratch/classes"
cat > "$scratch/src/lib/Lib.java" <<'JAVA'
package lib;
public class Lib {
  private int depth;
  public static int entry(int n) { return new Lib().stepOne(n); }
  private int stepOne(int n) {
    depth = n;
    java.util.function.IntUnaryOperator op = v -> stepTwo(v, "deep");
    return op.applyAsInt(n) + 1;
  }
  private int stepTwo(int n, String why) {
    if (n > depth - 1) throw new IllegalStateException(why + n);
    return n;
  }
}
JAVA
cat > "$scratch/src/Main.java" <<'JAVA'
public class Main {
  private static long counted;
  public static void main(String[] args) {
    try {
      outer(args.length + 3);
    } catch (IllegalStateException e) {
      e.printStackTrace(System.out);
    }
  }
  private static void outer(int n) { counted += inner(new int[] {n}); }
  private static int inner(int[] n) { return lib.Lib.entry(n[0]); }
}
JAVA
"$jdk/bin/javac" -d "$scratch/classes" "$scratch/src/lib/Lib.java" "$scratch/src/Main.java"

# The frames of a trace: "class.method" of every "at" line, in order.
frames() { sed -n 's/^[[:space:]]*at \([^(]*\)(.*/\1/p' "$1"; }

for keys in "" "-max"; do
  label="retrace ${keys:-default keys}"
  dir=$scratch/run${keys}
  mkdir -p "$dir/app"
  cp "$scratch/classes/Main.class" "$dir/app/"
  (cd "$scratch/classes" && zip -q -r "$dir/app/lib.jar" lib)
  run_java "$dir/app:$dir/app/lib.jar" "$dir/before" > /dev/null
  # shellcheck disable=SC2086
  if ! "$zyn" $keys "-map:$dir/out.map" "$dir/app/*.*" > "$dir/zyn.out" 2>&1; then
    fail "$label" "zyn failed" "$dir/zyn.out"; continue
  fi
  run_java "$dir/app:$dir/app/lib.jar" "$dir/after" > /dev/null
  java -jar "$retrace_jar" "$dir/out.map" "$dir/after.out" > "$dir/retraced.out" 2> "$dir/retrace.err" ||
    { fail "$label" "retrace failed" "$dir/retrace.err"; continue; }
  frames "$dir/before.out" > "$dir/before.frames"
  frames "$dir/after.out" > "$dir/after.frames"
  frames "$dir/retraced.out" > "$dir/retraced.frames"
  # Not vacuous: the trace went through renamed methods of both classes, which the map lists.
  if ! grep -q 'lib.Lib.stepTwo' "$dir/before.frames" || cmp -s "$dir/before.frames" "$dir/after.frames" ||
     ! grep -q '^lib.Lib -> lib.Lib:' "$dir/out.map" || ! grep -q '^Main -> Main:' "$dir/out.map"; then
    fail "$label" "the trace or the map shows no renamed method" "$dir/before.out" "$dir/after.out" "$dir/out.map"
  elif ! cmp -s "$dir/before.frames" "$dir/retraced.frames"; then
    fail "$label" "retraced frames differ from the original ones" "$dir/before.out" "$dir/retraced.out" "$dir/out.map"
  else
    passed=$((passed + 1))
  fi
done
echo "retrace: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
