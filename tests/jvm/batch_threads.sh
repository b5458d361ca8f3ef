#!/usr/bin/env bash
# The batch optimizes files on several threads, yet must act exactly as one file at a time: for the same
# command, a run with ZYN_THREADS=N (4 unless the environment sets another N >= 2) prints the same output,
# exits with the same code and leaves the same files (names, modes, bytes) as a run with ZYN_THREADS=1 on an
# identical copy.
#
#   batch_threads.sh ZYN_BINARY JDK_HOME
#
# The folder holds the classes of JDK_HOME's java.util package, a class with an attribute of unknown name
# (warning lines), and files beside their backups (Foo.class and Foo.~class, "Dot." and Dot.~class, "Qux",
# Qux.class and Qux.~class), each a different class: a backup is never listed, so reading one shows in the
# table, and "Qux" and Qux.class share a backup name, which refuses the whole run before anything is written.
# Some runs add a file in the middle that is not a class (or is a cut-off class), or block the writing of the
# middle class, where the run must stop. One run takes the package as a jar.
set -euo pipefail

usage() {
  echo "usage: $0 ZYN_BINARY JDK_HOME" >&2
  exit 2
}

[[ $# -eq 2 ]] || usage
zyn=$1
jdk=$2
[[ -x $zyn ]] || { echo "not an executable: $zyn" >&2; exit 2; }
[[ -x $jdk/bin/javac && -x $jdk/bin/jimage ]] || { echo "no javac/jimage under $jdk/bin" >&2; exit 2; }
zyn=$(cd "$(dirname "$zyn")" && pwd)/$(basename "$zyn")
threads=${ZYN_THREADS:-4}
# Comparing one thread with one thread would prove nothing.
if [[ ! $threads =~ ^[0-9]+$ ]] || (( threads < 2 )); then
  echo "ZYN_THREADS must be 2 or more, got '$threads'" >&2
  exit 2
fi

# shellcheck source=common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
export LC_ALL=C

# --- the folders -------------------------------------------------------------------------------------------
"$jdk/bin/jimage" extract --dir "$scratch/image" --include 'regex:/java.base/java/util/[^/]*\.class' \
  "$jdk/lib/modules"
util=$scratch/image/java.base/java/util
clean=$scratch/clean
mkdir -p "$clean"
cp "$util"/*.class "$clean"/
count=$(find "$clean" -type f | wc -l)
(( count >= 200 )) || { echo "only $count classes in $util" >&2; exit 2; }

# A class whose SourceFile attribute is renamed after the source file's own name, so it is unknown.
mkdir -p "$scratch/warn"
echo 'public class AWarn { public static void main(String[] a) { System.out.println(a.length); } }' \
  > "$scratch/warn/AWarn.java"
"$jdk/bin/javac" -g:source -d "$scratch/warn" "$scratch/warn/AWarn.java"
w=$scratch/warn/AWarn.class
size=$(stat -c %s "$w")
# The file ends with the SourceFile attribute: name index, length 2, index of "AWarn.java".
[[ $(tail -c 6 "$w" | head -c 4 | od -An -tx1 | tr -d ' \n') == 00000002 ]] ||
  { echo "AWarn.class does not end with a SourceFile attribute" >&2; exit 2; }
{ head -c $((size - 8)) "$w"; tail -c 2 "$w"; tail -c 6 "$w"; } > "$clean/AWarn.class"

# Backup-name cases, each file a different class. Bak and Dot sort before the middle of the list, Pair and Qux
# after it.
cp "$util/HashMap.class" "$clean/Bak.class"
cp "$util/ArrayList.class" "$clean/Bak.~class"
cp "$util/TreeMap.class" "$clean/Dot."
cp "$util/LinkedList.class" "$clean/Dot.~class"
cp "$util/Vector.class" "$clean/Pair.class"
cp "$util/Hashtable.class" "$clean/Pair.~class"
cp "$util/ArrayDeque.class" "$clean/Qux"
cp "$util/BitSet.class" "$clean/Qux.class"
cp "$util/Scanner.class" "$clean/Qux.~class"

# A name right after the middle of the list.
middle=$(cd "$clean" && find . -type f -printf '%P\n' | sort | sed -n "$(( $(find . -type f | wc -l) / 2 ))p")
bad=${middle%%.*}0.class
stop=$scratch/stop
cp -a "$clean" "$stop"
echo 'not a class file' > "$stop/$bad"
cut=$scratch/cut
cp -a "$clean" "$cut"
head -c 700 "$util/Formatter.class" > "$cut/$bad"
# A directory under the backup name of the middle class: writing that class fails.
blocked=$scratch/blocked
cp -a "$clean" "$blocked"
mkdir "$blocked/${middle%.class}.~class"

# The same package as one jar: its nests' entries go as units, others beyond the window beside them.
jarred=$scratch/jarred
mkdir -p "$jarred"
(cd "$scratch/image/java.base" && "$jdk/bin/jar" cf "$jarred/util.jar" java/util/*.class)

# --- running and comparing ---------------------------------------------------------------------------------
# Runs zyn in a fresh copy of folder $2 with ZYN_THREADS=$3; $1 names the run, the rest are zyn's arguments.
run() {
  local name=$1 from=$2 n=$3 dir=$scratch/runs/$1 rc=0
  shift 3
  mkdir -p "$dir"
  cp -a "$from" "$dir/files"
  (cd "$dir/files" && ZYN_THREADS=$n timeout 600 "$zyn" "$@") > "$dir/out" 2> "$dir/err" || rc=$?
  echo "$rc" > "$dir/rc"
}

# Lists every entry below $1 with its type and mode, one a line, in name order.
listing() {
  (cd "$1" && find . -mindepth 1 -printf '%P %y %m\n' | sort)
}

# Prints how runs $1 and $2 differ (exit code, output, files); nothing when they agree.
differences() {
  local a=$scratch/runs/$1 b=$scratch/runs/$2
  if [[ $(cat "$a/rc") != $(cat "$b/rc") ]]; then
    echo "exit code $(cat "$a/rc") with $1, $(cat "$b/rc") with $2"
  fi
  if ! cmp -s "$a/out" "$b/out"; then
    diff -u --label "$1" --label "$2" "$a/out" "$b/out" | head -n 20 || true
  fi
  if ! cmp -s "$a/err" "$b/err"; then
    diff -u --label "$1 stderr" --label "$2 stderr" "$a/err" "$b/err" | head -n 20 || true
  fi
  diff -u --label "$1 files" --label "$2 files" <(listing "$a/files") <(listing "$b/files") || true
  diff -rq --no-dereference "$a/files" "$b/files" | grep -v '^Only in' || true
}

# check NAME FOLDER EXPECTED_EXIT ARGS...: the reference run must end as designed, the threaded run like it.
check() {
  local name=$1 from=$2 expect=$3 ref lines refused=
  shift 3
  # "refused": the run ends before its first file.
  [[ $expect == refused ]] && expect=1 refused=1
  ref=$scratch/runs/$name-1
  run "$name-1" "$from" 1 "$@"
  run "$name-$threads" "$from" "$threads" "$@"
  if [[ $(cat "$ref/rc") != "$expect" ]]; then
    fail "$name" "one thread exited with $(cat "$ref/rc"), expected $expect" "$ref/out" "$ref/err"
    return
  fi
  # A stop must come in the middle, with files processed before it.
  lines=$(grep -c '%$' "$ref/out" || true)
  if [[ -n $refused ]] && ! { (( lines == 0 )) && grep -q 'have the same backup name' "$ref/out"; }; then
    fail "$name" "the run was not refused before its first file" "$ref/out"
    return
  fi
  if [[ $expect == 1 && -z $refused ]] && ! (( lines > count / 4 && lines < count )); then
    fail "$name" "one thread stopped after $lines files, not in the middle" "$ref/out"
    return
  fi
  differences "$name-1" "$name-$threads" > "$scratch/runs/$name.diff"
  if [[ -s $scratch/runs/$name.diff ]]; then
    fail "$name" "ZYN_THREADS=$threads differs from ZYN_THREADS=1" "$scratch/runs/$name.diff"
  else
    echo "PASS $name ($lines files)"
    passed=$((passed + 1))
  fi
}

check stop-default "$stop" 1 '*.*'
check stop-old "$stop" 1 -old '*.*'
check stop-tst "$stop" 1 -tst '*.*'
check stop-cut "$cut" 1 -max '*.*'
check stop-write "$blocked" 1 -dbg '*.*'
check stop-write-old "$blocked" 1 -old '*.*'
check complete-default "$clean" 0 '*.*'
if ! grep -q '^WARNING: Unknown attribute' "$scratch/runs/complete-default-1/out"; then
  fail complete-default "AWarn.class gave no warning" "$scratch/runs/complete-default-1/out"
fi
# "./*" lists "Qux" too, whose backup name is Qux.class's: refused, unless nothing is written.
check complete-all-dbg "$clean" refused -dbg './*'
check complete-all-old "$clean" refused -old -max './*'
check complete-all-tst "$clean" 0 -super -tst './*'
check jar-super "$jarred" 0 -super util.jar
# After a run every class has its backup beside it; only the classes are listed.
check again "$scratch/runs/complete-default-1/files" 0 -super '*.*'

# The comparison itself must see a difference: one changed byte, a file too many, another line of output.
planted() {  # NAME, then a command run inside the copy of run "again-1"
  local name=$1 dir=$scratch/runs/planted-$1
  shift
  cp -a "$scratch/runs/again-1" "$dir"
  (cd "$dir/files" && "$@")
  differences again-1 "planted-$name" > "$dir.diff"
  [[ -s $dir.diff ]] || fail "self-check $name" "a planted difference went unnoticed"
}
flip_byte() {  # FILE OFFSET
  local old
  old=$(od -An -tu1 -j "$2" -N 1 "$1" | tr -d ' ')
  printf '%b' "\\0$(printf %o $(((old + 1) % 256)))" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}
before=$failed
planted byte flip_byte "$middle" 100
planted file touch .zyn-leftover
planted output sed -i '5s/^/x/' ../out
(( failed > before )) || { echo "PASS self-check (planted differences are found)"; passed=$((passed + 1)); }

echo "$passed passed, $failed failed"
(( failed == 0 ))
