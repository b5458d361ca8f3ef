#!/usr/bin/env bash
# No private member that zyn renames takes a name and descriptor (a method) or a name and type (a field) that
# a supertype declares non-private: it would hide what the class inherits, or be taken for an override.
#
#   inherited_names.sh ZYN_BINARY JDK_HOME [OTHER_ZYN_BINARY]
#
# MAVEN_LIB names another folder of jars than /usr/share/maven/lib.
#
# Copies of every jar of Maven's lib folder, and a small jar compiled from inherited/synthetic/, are optimized
# with `zyn -super 'lib/*.jar'`; inherited/InheritedNames.java then reads the class files before and after,
# with the JDK's own classes for supertypes outside the jars, and lists every such member. Any one fails the
# test. Before that, a class patched by hand to break the rule must be caught, so the harness cannot pass by
# seeing nothing. With OTHER_ZYN_BINARY (an earlier build, say), the same runs are made with it on fresh
# copies and its figures and violations are printed beside the tested binary's, without failing the test.
set -euo pipefail

usage() {
  echo "usage: $0 ZYN_BINARY JDK_HOME [OTHER_ZYN_BINARY]" >&2
  exit 2
}

[[ $# -eq 2 || $# -eq 3 ]] || usage
zyn=$1
jdk=$2
other=${3:-}
lib=${MAVEN_LIB:-/usr/share/maven/lib}
[[ -x $zyn ]] || { echo "not an executable: $zyn" >&2; exit 2; }
[[ -z $other || -x $other ]] || { echo "not an executable: $other" >&2; exit 2; }
for tool in javac java jar; do
  [[ -x $jdk/bin/$tool ]] || { echo "no $tool under $jdk/bin" >&2; exit 2; }
done
command -v perl >/dev/null || { echo "perl is needed" >&2; exit 2; }
# The cases run in the scratch folder.
zyn=$(cd "$(dirname "$zyn")" && pwd)/$(basename "$zyn")
[[ -z $other ]] || other=$(cd "$(dirname "$other")" && pwd)/$(basename "$other")
jdk=$(cd "$jdk" && pwd)
compgen -G "$lib/*.jar" >/dev/null || { echo "no jars in $lib" >&2; exit 2; }
lib=$(cd "$lib" && pwd)
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
start=$SECONDS

# shellcheck source=common.sh
source "$here/common.sh"

"$jdk/bin/javac" -d "$scratch/harness" "$here/inherited/InheritedNames.java"
check() { "$jdk/bin/java" -cp "$scratch/harness" InheritedNames "$@"; }

# The synthetic jar: a JDK superclass (Thread, with "start" among the class's strings) and a superclass and
# superinterface of the run whose members have the shortest names.
mkdir -p "$scratch/synthetic/classes" "$scratch/synthetic/jars"
"$jdk/bin/javac" -Xlint:-options --release 8 -d "$scratch/synthetic/classes" "$here"/inherited/synthetic/*.java
(cd "$scratch/synthetic/classes" && "$jdk/bin/jar" cf ../jars/synthetic.jar ./*.class)

# The harness sees a violation: W's h1() renamed by hand to start(), which Thread declares public.
mkdir -p "$scratch/canary/classes" "$scratch/canary/jars"
cp "$scratch/synthetic/classes"/*.class "$scratch/canary/classes/"
# The Utf8 entry "h1" becomes "start" (nothing in a class file holds an offset into the constant pool, so an
# entry may grow); the method and the call to it both name it.
patched=$(perl -0777 -i -pe '$n = s/\x01\x00\x02h1/\x01\x00\x05start/g; END { print STDERR $n + 0 }' \
  "$scratch/canary/classes/W.class" 2>&1)
(cd "$scratch/canary/classes" && "$jdk/bin/jar" cf ../jars/synthetic.jar ./*.class)
check "$scratch/synthetic/jars" "$scratch/canary/jars" >"$scratch/canary.txt"
if [[ $patched == 1 ]] && grep -q '^VIOLATION synthetic.jar!W.class: private method start ()V .*java/lang/Thread$' \
  "$scratch/canary.txt" && grep -qx 'violations 1' "$scratch/canary.txt"; then
  passed=$((passed + 1))
else
  fail "canary" "the harness misses W.start() patched in by hand ($patched entries patched)" "$scratch/canary.txt"
fi

# Optimizes copies of the jars of folder $3 with binary $2 under label $1 and checks them; leaves the harness's
# report in $scratch/$1.txt and zyn's output in $scratch/$1.zyn.
run_case() {
  local label=$1 binary=$2 from=$3 dir="$scratch/$1"
  mkdir -p "$dir/original" "$dir/lib"
  cp -L "$from"/*.jar "$dir/original/"
  cp "$dir/original"/*.jar "$dir/lib/"
  if ! "$binary" -super "$dir/lib/*.jar" >"$label.zyn" 2>"$label.zyn.err"; then
    fail "$label" "zyn exited with an error" "$label.zyn.err" "$label.zyn"
    return 1
  fi
  if ! check "$dir/original" "$dir/lib" >"$label.txt" 2>"$label.err"; then
    fail "$label" "the harness could not read the classes" "$label.err"
    return 1
  fi
}

# The figures of a case: private members, renamed, removed, bytes saved, violations.
figures() {
  local label=$1 total archive
  total=$(sed -n 's/^Total reduction: //p' "$label.zyn")
  archive=$(sed -n 's/^Archive reduction: //p' "$label.zyn")
  printf '  %-22s %s; classes %s; Total reduction %s, Archive reduction %s; violations %s\n' "$label" \
    "$(grep '^private members' "$label.txt")" "$(sed -n 's/^classes \([0-9]*\),.*/\1/p' "$label.txt")" \
    "${total:-?}" "${archive:-?}" "$(sed -n 's/^violations //p' "$label.txt")"
}

# Passes when the report of $1 has no violation, every class paired, and at least one member renamed (a run
# that renames nothing proves nothing).
expect_clean() {
  local label=$1 renamed
  renamed=$(sed -n 's/^private members [0-9]*, renamed \([0-9]*\) .*/\1/p' "$label.txt")
  if ! grep -qx 'violations 0' "$label.txt"; then
    fail "$label" "private members take names their supertypes declare" "$label.txt"
  elif grep -q -E '^(MISSING|EXTRA|UNALIGNED) ' "$label.txt"; then
    fail "$label" "classes before and after do not pair up" "$label.txt"
  elif [[ -z $renamed || $renamed == 0 ]]; then
    fail "$label" "no private member was renamed" "$label.txt"
  else
    passed=$((passed + 1))
  fi
}

cd "$scratch"
echo "figures (private fields and methods of the originals, constructors aside):"
if run_case synthetic "$zyn" "$scratch/synthetic/jars"; then figures synthetic; expect_clean synthetic; fi
if run_case maven "$zyn" "$lib"; then figures maven; expect_clean maven; fi
if [[ -n $other ]]; then
  for label in other-synthetic other-maven; do
    from=$lib
    [[ $label == other-synthetic ]] && from=$scratch/synthetic/jars
    run_case "$label" "$other" "$from" && figures "$label"
  done
  echo "violations with $other:"
  grep -h '^VIOLATION ' other-synthetic.txt other-maven.txt | sed 's/^/  /' || echo "  none"
fi

grep -h '^classes ' maven.txt | sed 's/^/maven: /' || true
echo "$((SECONDS - start)) s"
echo "$passed passed, $failed failed"
[[ $failed == 0 ]]
