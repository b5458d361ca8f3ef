#!/usr/bin/env bash
# Libraries built by other JVM compilers (Scala 2.11, Groovy, Kotlin), optimized as jars, on copies:
#  1. scala-library.jar with `zyn -dbg`: the run succeeds without warnings, lists every class entry once,
#     keeps the original as the backup, and saves at least 17% of the class bytes by its own table;
#  2. a small Scala program (other_compilers/Main.scala) compiled with scalac against that library, with the
#     optimizer inlining the library's @inline methods: scalac reads the library's pickled signatures and
#     inline information from the optimized jar and nothing else, compiles without a warning, still inlines,
#     and the program prints under -Xverify:all what it prints compiled and run against the original library;
#  3. the same program against scala-library shrunk with `zyn -max` and with `zyn -super`: they keep ScalaSig
#     and Scala, so scalac still reads the library as Scala and compiles cleanly with the optimizer on; they
#     remove ScalaInlineInfo, so the @inline calls stay; the program prints what it prints with the original;
#  4. scala-library, groovy-all and kotlin-stdlib with one `zyn -super 'lib/*.jar'`: the run succeeds, lists
#     every class entry once, and no class of these jars fails to link (under -Xverify:all) that linked before.
#  5. a Kotlin program (other_compilers/Main.kt) that calls inline functions of every kind kotlinc inlines from
#     the library's class files, compiled by kotlinc against the kotlin-stdlib of 4.: kotlinc prints what it
#     prints against the original, and the program prints the same under -Xverify:all;
#  6. the compiler's own jars (kotlin-compiler, 97 MB with duplicate folder entries, and the jars its manifest
#     and launcher name) with `zyn -super`: every jar is written, and the shrunk compiler, run as kotlinc's
#     launcher runs it, compiles the program against the shrunk kotlin-stdlib into one that prints the same;
#  7. jython.jar with `zyn -tst`: its preverified classes' StackMap attributes are known, so no warning.
#
#   other_compilers.sh ZYN_BINARY JDK_HOME
set -euo pipefail

usage() {
  echo "usage: $0 ZYN_BINARY JDK_HOME" >&2
  exit 2
}

[[ $# -eq 2 ]] || usage
zyn=$1
jdk=$2
[[ -x $zyn ]] || { echo "not an executable: $zyn" >&2; exit 2; }
for tool in javac java javap; do
  [[ -x $jdk/bin/$tool ]] || { echo "no $tool under $jdk/bin" >&2; exit 2; }
done
[[ -f $jdk/lib/ct.sym ]] || { echo "no lib/ct.sym under $jdk" >&2; exit 2; }
for tool in scalac kotlinc unzip cmp perl; do
  command -v "$tool" > /dev/null || { echo "$tool is not installed" >&2; exit 2; }
done
scala_lib=/usr/share/scala-2.11/lib/scala-library.jar
groovy_lib=/usr/share/java/groovy-all.jar
kotlin_lib=/usr/share/java/kotlin-stdlib.jar
for jar in "$scala_lib" "$groovy_lib" "$kotlin_lib"; do
  [[ -f $jar ]] || { echo "$jar is missing (packages scala, groovy, kotlin)" >&2; exit 2; }
done
zyn=$(cd "$(dirname "$zyn")" && pwd)/$(basename "$zyn")
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
program=$here/other_compilers/Main.scala
kotlin_program=$here/other_compilers/Main.kt
kotlin_home=/usr/share/kotlin/kotlinc
for f in "$program" "$kotlin_program" "$kotlin_home/lib/kotlin-compiler.jar"; do
  [[ -f $f ]] || { echo "no $f" >&2; exit 2; }
done

# shellcheck source=common.sh
source "$here/common.sh"
export LC_ALL=C
# The scalac launcher runs $JAVA_HOME/bin/java; without it, whatever java the PATH holds.
export JAVA_HOME=$jdk
unset JAVA_OPTS
started=$SECONDS

# Prints "NAME OLD CHANGE" per table row of a zyn output: the row's numbers end the name line when the name
# is short, else they stand on a line of their own after it.
table_rows() {
  awk '/!/ { name = $1 }
       $NF ~ /^-?[0-9]+%$/ && $(NF-1) ~ /^-?[0-9]+$/ && $(NF-2) ~ /^[0-9]+$/ { print name, $(NF-2), $(NF-1); name = "?" }' "$1"
}

# Checks a zyn run over jars: exit code, ERROR (and, for -dbg, WARNING) lines, and that the table names each
# class entry of the jars once. Arguments: label, rc, output, stderr, expected table names, warnings allowed.
check_run() {
  local label=$1 rc=$2 out=$3 err=$4 expected=$5 warnings=$6 n
  (( rc == 0 )) || fail "$label" "zyn exited with $rc" "$err" "$out"
  if grep -q '^ERROR:' "$out" "$err"; then
    grep -h -B1 '^ERROR:' "$out" "$err" > "$scratch/errors.txt" || true
    fail "$label" "zyn printed ERROR lines" "$scratch/errors.txt"
  fi
  if [[ $warnings == no ]] && grep -q '^WARNING:' "$out" "$err"; then
    grep -h -B1 '^WARNING:' "$out" "$err" > "$scratch/warnings.txt" || true
    fail "$label" "zyn printed WARNING lines" "$scratch/warnings.txt"
  fi
  n=$(wc -l < "$expected")
  if ! diff <(sort "$expected") <(awk '/!/ { print $1 }' "$out" | sort) > "$scratch/table.diff"; then
    fail "$label" "the table does not name each of the $n class entries once (< missing, > unexpected)" \
      "$scratch/table.diff"
  fi
  grep -qx "Files processed: $n" "$out" ||
    fail "$label" "expected 'Files processed: $n', got '$(grep '^Files processed' "$out" || true)'"
}

# --- 1. scala-library with -dbg ----------------------------------------------------------------------------
mkdir -p "$scratch/orig" "$scratch/shrunk"
cp -L "$scala_lib" "$scratch/orig/scala-library.jar"
cp -L "$scala_lib" "$scratch/shrunk/scala-library.jar"
unzip -Z1 "$scratch/orig/scala-library.jar" | grep '\.class$' | sed 's|^|scala-library.jar!|' \
  > "$scratch/dbg_expected.txt" || true
scala_classes=$(wc -l < "$scratch/dbg_expected.txt")
(( scala_classes > 1000 )) || { echo "only $scala_classes class entries in $scala_lib" >&2; exit 2; }
rc=0
(cd "$scratch/shrunk" && "$zyn" -dbg scala-library.jar) > "$scratch/dbg.out" 2> "$scratch/dbg.err" || rc=$?
check_run dbg "$rc" "$scratch/dbg.out" "$scratch/dbg.err" "$scratch/dbg_expected.txt" no
if [[ ! -f $scratch/shrunk/scala-library.~jar ]]; then
  fail dbg "no backup scala-library.~jar"
elif ! cmp -s "$scratch/shrunk/scala-library.~jar" "$scratch/orig/scala-library.jar"; then
  fail dbg "the backup scala-library.~jar differs from the original jar"
fi
unzip -tq "$scratch/shrunk/scala-library.jar" > "$scratch/unzip_t.txt" 2>&1 ||
  fail dbg "unzip -t rejects the optimized scala-library.jar" "$scratch/unzip_t.txt"
table_rows "$scratch/dbg.out" > "$scratch/dbg_rows.txt"
read -r rows old change < <(awk '{ n++; old += $2; ch += $3 } END { printf "%d %d %d\n", n, old, ch }' \
  "$scratch/dbg_rows.txt")
total=$(sed -n 's/^Total reduction: \([0-9]*\)$/\1/p' "$scratch/dbg.out")
dbg_saving="?"
if (( rows != scala_classes )); then
  fail dbg "the table has $rows rows with sizes, the jar has $scala_classes class entries"
elif [[ -z $total ]]; then
  fail dbg "no 'Total reduction:' line"
elif (( total != -change )); then
  fail dbg "Total reduction: $total, but the Change column adds up to $change"
else
  # In tenths of a percent, rounded down: 17% is 170.
  permille=$((total * 1000 / old))
  dbg_saving="$((permille / 10)).$((permille % 10))% ($total of $old bytes)"
  (( permille >= 170 )) || fail dbg "saves $dbg_saving of the class bytes, less than 17%"
fi
dbg_seconds=$((SECONDS - started))

# --- 2. a Scala program against the shrunk library --------------------------------------------------------
# Scala 2.11's optimizer reads the bytecode of every class it meets with an ASM that refuses class files newer
# than version 52 (Java 8), and JDK 17's own are 61. So scalac gets the Java 8 API instead: JDK 17's ct.sym
# holds it as class files without code (.sig), which only need version 52 to be read. The program still runs
# on JDK 17.
step=$SECONDS
mkdir -p "$scratch/ctsym" "$scratch/jdk8"
unzip -q "$jdk/lib/ct.sym" '*8*/java.base/*' -d "$scratch/ctsym" < /dev/null
perl -e '
  use strict; use File::Find; use File::Path qw(make_path); use File::Basename qw(dirname);
  my ($src, $dst) = @ARGV;
  opendir my $d, $src or die "$src: $!";
  # The folder names list the releases (7, 8, 9, A = 10, ...) a file belongs to.
  for my $rel (grep { /^[0-9A-Z]*8[0-9A-Z]*$/ } readdir $d) {
    my $base = "$src/$rel/java.base";
    next unless -d $base;
    find({ no_chdir => 1, wanted => sub {
      return unless /\.sig$/;
      (my $name = substr($_, length($base) + 1)) =~ s/\.sig$/.class/;
      open my $in, "<:raw", $_ or die "$_: $!";
      my $bytes = do { local $/; <$in> };
      close $in;
      substr($bytes, 6, 2) = pack("n", 52);
      make_path(dirname("$dst/$name"));
      open my $out, ">:raw", "$dst/$name" or die "$dst/$name: $!";
      print $out $bytes;
      close $out;
    } }, $base);
  }' "$scratch/ctsym" "$scratch/jdk8"
stubs=$(find "$scratch/jdk8" -name '*.class' | wc -l)
if [[ ! -f $scratch/jdk8/java/lang/Object.class ]] || (( stubs < 1000 )); then
  echo "could not take the Java 8 API from $jdk/lib/ct.sym ($stubs classes)" >&2
  exit 2
fi

# Compiles the program against a library jar into a folder; prints scalac's exit code. -usejavacp off:
# the launcher would otherwise add its own class path, the original library included, to the compiler's.
scalac_on() {  # library jar, output folder, optimizer options
  local rc=0 jar=$1 out=$2
  shift 2
  mkdir -p "$out"
  scalac -Dscala.usejavacp=false -nobootcp -verbose -javabootclasspath "$scratch/jdk8" -classpath "$jar" \
    -Ybackend:GenBCode "$@" -d "$out" "$program" > "$out.log" 2>&1 < /dev/null || rc=$?
  echo "$rc"
}
# Checks a compilation log: clean, and every class file read from the stubs or from the given jar; and
# whether the @inline calls into the library were inlined or stay calls.
check_compile() {  # label, rc, library jar, output folder, inlined|called
  local label=$1 rc=$2 jar=$3 out=$4 inline=$5 loaded
  # -verbose lines are all in brackets; anything else is a warning or an error.
  grep -v '^\[' "$out.log" > "$out.other" || true
  if (( rc != 0 )); then
    fail "$label" "scalac exited with $rc" "$out.other"
  elif [[ -s $out.other ]]; then
    fail "$label" "scalac printed warnings" "$out.other"
  fi
  sed -n 's/^\[search path for class files: \(.*\)\]$/\1/p' "$out.log" | tr ':' '\n' |
    grep -F scala-library > "$out.libs" || true
  [[ $(cat "$out.libs") == "$jar" ]] ||
    fail "$label" "scalac's class path has other scala-library jars than $jar, or not it:" "$out.libs"
  sed -n 's/^\[loaded class file \(.*\)(\(.*\)) in [0-9]*ms\]$/\1 \2/p' "$out.log" > "$out.loaded"
  sed -n 's/^\[loaded class file \([^(]*\) in [0-9]*ms\]$/\1/p' "$out.log" > "$out.files"
  if awk -v jar="$jar" '$1 != jar' "$out.loaded" | grep . > "$out.strange" ||
     grep -v -F "$scratch/jdk8/" "$out.files" >> "$out.strange"; then
    fail "$label" "scalac read class files from elsewhere than $jar and the Java 8 stubs" "$out.strange"
  fi
  loaded=$(awk -v jar="$jar" '$1 == jar && $2 ~ /^scala\// { n++ } END { print n + 0 }' "$out.loaded")
  # The program uses List, Option, Predef, tuples, case class support...: scores of pickled classes.
  (( loaded >= 100 )) || fail "$label" "scalac read only $loaded classes of $jar"
  echo "$loaded" > "$out.count"
  # Option.map and getOrElse are @inline: with the library's inline information their bodies (isEmpty, get)
  # replace the calls; without it, the calls stay.
  if [[ -f $out/Main\$.class ]]; then
    "$jdk/bin/javap" -c -p -cp "$out" 'Main$' > "$out.javap" 2>&1 || fail "$label" "javap fails on Main\$"
    if [[ $inline == called ]]; then
      grep -q -E 'Method scala/Option\.(map|getOrElse):' "$out.javap" ||
        fail "$label" "Option.map/getOrElse were inlined into Main\$ without the library's inline information"
    elif grep -E 'Method scala/Option\.(map|getOrElse):' "$out.javap" > "$out.calls"; then
      fail "$label" "Option.map/getOrElse were not inlined into Main\$" "$out.calls"
    elif ! grep -q 'Method scala/Option\.isEmpty:' "$out.javap"; then
      fail "$label" "no inlined Option.isEmpty call in Main\$"
    fi
  else
    fail "$label" "no Main\$.class in $out"
  fi
}
run_program() {  # label, library jar, class folder, output prefix
  local rc=0
  # Without classes, the compilation has failed already.
  [[ -f $3/Main.class ]] || { : > "$4.out"; return 0; }
  timeout 60 "$jdk/bin/java" -Xverify:all -cp "$2:$3" Main > "$4.out" 2> "$4.err" < /dev/null || rc=$?
  (( rc == 0 )) || fail "$1" "the program exited with $rc" "$4.err"
  [[ ! -s $4.err ]] || fail "$1" "the program wrote to stderr" "$4.err"
}

optimize=(-Yopt:l:classpath -Yopt-warnings:_)
rc=$(scalac_on "$scratch/orig/scala-library.jar" "$scratch/out_orig" "${optimize[@]}")
check_compile scalac_original "$rc" "$scratch/orig/scala-library.jar" "$scratch/out_orig" inlined
run_program run_original "$scratch/orig/scala-library.jar" "$scratch/out_orig" "$scratch/run_orig"
rc=$(scalac_on "$scratch/shrunk/scala-library.jar" "$scratch/out_shrunk" "${optimize[@]}")
check_compile scalac_shrunk "$rc" "$scratch/shrunk/scala-library.jar" "$scratch/out_shrunk" inlined
run_program run_shrunk "$scratch/shrunk/scala-library.jar" "$scratch/out_shrunk" "$scratch/run_shrunk"
program_lines=$(wc -l < "$scratch/run_orig.out")
(( program_lines >= 10 )) ||
  fail program "the program compiled against the original library printed $program_lines lines" \
    "$scratch/run_orig.out" "$scratch/run_orig.err"
if ! diff "$scratch/run_orig.out" "$scratch/run_shrunk.out" > "$scratch/run.diff"; then
  fail program "output against the shrunk library (>) differs from the original's (<)" "$scratch/run.diff"
fi
# Only reported: the compiled classes may differ, e.g. in the local variable tables of inlined code, which
# -dbg removed from the library.
same_output_classes=$(cd "$scratch/out_orig" && find . -name '*.class' | sort | while read -r f; do
  if cmp -s "$f" "$scratch/out_shrunk/$f"; then echo "$f"; fi; done | wc -l)
program_classes=$(find "$scratch/out_orig" -name '*.class' | wc -l)
scalac_seconds=$((SECONDS - step))

# --- 3. the program against scala-library shrunk with -max and with -super --------------------------------
# scalac without ScalaSig and Scala would take the library's classes for Java ones and fail on the first
# pickled member it needs. The optimizer stays on, so scalac also reads the shrunk bytecode; its warnings about
# the inline information that -uattr removed are not asked for.
step=$SECONDS
declare -A key_total
for key in max super; do
  mkdir -p "$scratch/$key"
  cp -L "$scala_lib" "$scratch/$key/scala-library.jar"
  rc=0
  (cd "$scratch/$key" && "$zyn" "-$key" scala-library.jar) > "$scratch/$key.out" 2> "$scratch/$key.err" || rc=$?
  check_run "$key" "$rc" "$scratch/$key.out" "$scratch/$key.err" "$scratch/dbg_expected.txt" no
  key_total[$key]=$(sed -n 's/^Total reduction: \([0-9]*\)$/\1/p' "$scratch/$key.out")
  jar=$scratch/$key/scala-library.jar
  rc=$(scalac_on "$jar" "$scratch/out_$key" -Yopt:l:classpath)
  check_compile "scalac_$key" "$rc" "$jar" "$scratch/out_$key" called
  run_program "run_$key" "$jar" "$scratch/out_$key" "$scratch/run_$key"
  if ! diff "$scratch/run_orig.out" "$scratch/run_$key.out" > "$scratch/run_$key.diff"; then
    fail "program_$key" "output against the library shrunk with -$key (>) differs from the original's (<)" \
      "$scratch/run_$key.diff"
  fi
done
keys_seconds=$((SECONDS - step))

# --- 4. three libraries with -super, linked before and after ----------------------------------------------
step=$SECONDS
sup=$scratch/super
mkdir -p "$sup/orig" "$sup/lib" "$sup/before" "$sup/after"
jars=(scala-library groovy-all kotlin-stdlib)
sources=("$scala_lib" "$groovy_lib" "$kotlin_lib")
: > "$sup/expected.txt"
for i in "${!jars[@]}"; do
  b=${jars[$i]}
  cp -L "${sources[$i]}" "$sup/orig/$b.jar"
  cp -L "${sources[$i]}" "$sup/lib/$b.jar"
  unzip -Z1 "$sup/orig/$b.jar" | grep '\.class$' | sed "s|^|lib/$b.jar!|" >> "$sup/expected.txt" || true
  unzip -q "$sup/orig/$b.jar" -d "$sup/before/$b" < /dev/null
done
super_classes=$(wc -l < "$sup/expected.txt")
# LinkCheck defines each class from the first root that has it: a name in two jars would be checked once.
if [[ -n $(sed 's/^[^!]*!//' "$sup/expected.txt" | sort | uniq -d) ]]; then
  fail super "a class is in more than one of the jars; the link check would see only one of them"
fi
rc=0
(cd "$sup" && "$zyn" -super 'lib/*.jar') > "$sup/zyn.out" 2> "$sup/zyn.err" || rc=$?
check_run super "$rc" "$sup/zyn.out" "$sup/zyn.err" "$sup/expected.txt" yes
super_warnings=$(grep -c '^WARNING:' "$sup/zyn.out" || true)
super_total=$(sed -n 's/^Total reduction: \([0-9]*\)$/\1/p' "$sup/zyn.out")
super_old=$(table_rows "$sup/zyn.out" | awk '{ old += $2 } END { print old + 0 }')
for b in "${jars[@]}"; do
  if [[ ! -f $sup/lib/$b.~jar ]] || ! cmp -s "$sup/lib/$b.~jar" "$sup/orig/$b.jar"; then
    fail super "the backup lib/$b.~jar is missing or differs from the original jar"
  fi
  if ! unzip -q "$sup/lib/$b.jar" -d "$sup/after/$b" < /dev/null > "$sup/unzip_x.txt" 2>&1; then
    fail super "unzip cannot extract the optimized $b.jar" "$sup/unzip_x.txt"
  fi
done

"$jdk/bin/javac" -d "$scratch/check" "$here/linkcheck/LinkCheck.java"
# The jars come first, so every class is defined from a jar; the extracted folders after them only supply the
# names (a jar root yields none to the walk). None of these jars has a manifest Class-Path.
linkable=$(sed 's/^[^!]*!//' "$sup/expected.txt" | grep -v '^META-INF' | grep -c -v 'module-info\.class$' || true)
linkcheck() {  # output, jar folder, extracted folder
  local jar_roots=() dir_roots=() b last
  for b in "${jars[@]}"; do
    jar_roots+=("$2/$b.jar")
    dir_roots+=("$3/$b")
  done
  "$jdk/bin/java" -Xverify:all -cp "$scratch/check" LinkCheck "${jar_roots[@]}" "${dir_roots[@]}" \
    > "$1" 2> "$1.err" || fail link "LinkCheck exited with $? on $2" "$1.err"
  last=$(tail -n 1 "$1")
  [[ $last == "checked $linkable classes, "*" fail to link" ]] ||
    fail link "LinkCheck on $2 says '$last', expected $linkable classes checked"
}
linkcheck "$sup/link_before.txt" "$sup/orig" "$sup/before"
linkcheck "$sup/link_after.txt" "$sup/lib" "$sup/after"
sed '$d' "$sup/link_before.txt" | cut -d' ' -f1 | sort > "$sup/failed_before.txt"
sed '$d' "$sup/link_after.txt" | cut -d' ' -f1 | sort > "$sup/failed_after.txt"
comm -13 "$sup/failed_before.txt" "$sup/failed_after.txt" > "$sup/newfail.txt"
if [[ -s $sup/newfail.txt ]]; then
  grep -F -f "$sup/newfail.txt" "$sup/link_after.txt" > "$sup/newfail_why.txt" || true
  fail link "$(wc -l < "$sup/newfail.txt") classes link before the optimization but not after" "$sup/newfail_why.txt"
fi
failed_before=$(wc -l < "$sup/failed_before.txt")
failed_after=$(wc -l < "$sup/failed_after.txt")
# Classes of groovy-all that need Ant, JUnit, servlets... fail either way; the comparison means something only
# when most classes do link.
(( failed_before * 5 < linkable )) ||
  fail link "$failed_before of $linkable classes fail to link even before the optimization"
super_seconds=$((SECONDS - step))

# --- 5. a Kotlin program against the shrunk kotlin-stdlib --------------------------------------------------
step=$SECONDS
kt=$scratch/kotlin
mkdir -p "$kt"
# Compiles Main.kt with a compiler command against a library jar into a folder; its messages, with the paths
# that differ between runs put as words, go to FOLDER.log.
kotlinc_on() {  # label, library jar, output folder, compiler command...
  local label=$1 jar=$2 out=$3 rc=0
  shift 3
  "$@" -no-stdlib -no-reflect -cp "$jar" -d "$out" "$kotlin_program" > "$out.raw" 2>&1 < /dev/null || rc=$?
  sed -e "s|$jar|LIBRARY|g" -e "s|$out|OUT|g" "$out.raw" > "$out.log"
  (( rc == 0 )) || fail "$label" "the compiler exited with $rc" "$out.log"
}
run_kotlin() {  # label, library jar, class folder, output
  local rc=0
  # Without classes, the compilation has failed already.
  [[ -f $3/MainKt.class ]] || { : > "$4"; return 0; }
  timeout 60 "$jdk/bin/java" -Xverify:all -cp "$2:$3" MainKt > "$4" 2>&1 < /dev/null || rc=$?
  (( rc == 0 )) || fail "$1" "the program exited with $rc" "$4"
}
kotlinc_on kotlinc_original "$sup/orig/kotlin-stdlib.jar" "$kt/orig" kotlinc
kotlinc_on kotlinc_shrunk "$sup/lib/kotlin-stdlib.jar" "$kt/shrunk" kotlinc
diff "$kt/orig.log" "$kt/shrunk.log" > "$kt/log.diff" ||
  fail kotlinc "kotlinc's messages against the shrunk kotlin-stdlib (>) differ from the original's (<)" "$kt/log.diff"
run_kotlin kotlin_original "$sup/orig/kotlin-stdlib.jar" "$kt/orig" "$kt/orig.out"
run_kotlin kotlin_shrunk "$sup/lib/kotlin-stdlib.jar" "$kt/shrunk" "$kt/shrunk.out"
kotlin_lines=$(wc -l < "$kt/orig.out")
(( kotlin_lines >= 20 )) || fail kotlin "Main.kt printed $kotlin_lines lines against the original library" "$kt/orig.out"
diff "$kt/orig.out" "$kt/shrunk.out" > "$kt/run.diff" ||
  fail kotlin "Main.kt against the shrunk kotlin-stdlib (>) prints otherwise than against the original (<)" "$kt/run.diff"
kotlinc_seconds=$((SECONDS - step))

# --- 6. the compiler's own jars ----------------------------------------------------------------------------
step=$SECONDS
kc=$scratch/kotlinc
mkdir -p "$kc/lib"
# kotlinc's launcher runs the preloader on kotlin-compiler.jar, whose manifest names the rest.
# (Manifest lines go on after a newline and a blank.)
read -ra listed < <(unzip -p "$kotlin_home/lib/kotlin-compiler.jar" META-INF/MANIFEST.MF | tr -d '\r' |
  sed -n '/^Class-Path:/,/^[^ ]/{ s/^Class-Path://; /^[^ ]/d; s/^ //; p; }' | tr -d '\n' | sed 's/\.jar/ /g') || true
compiler_jars=(kotlin-preloader kotlin-compiler "${listed[@]}")
(( ${#compiler_jars[@]} >= 6 )) || fail compiler "the compiler jar's manifest names only ${listed[*]}"
for b in "${compiler_jars[@]}"; do cp -L "$kotlin_home/lib/$b.jar" "$kc/lib/"; done
rc=0
(cd "$kc" && "$zyn" -super 'lib/*.jar') > "$kc/zyn.out" 2> "$kc/zyn.err" || rc=$?
(( rc == 0 )) || fail compiler "zyn exited with $rc" "$kc/zyn.err" "$kc/zyn.out"
if grep -h -B1 '^\(WARNING\|ERROR\):' "$kc/zyn.out" "$kc/zyn.err" > "$kc/problems.txt"; then
  fail compiler "zyn left a jar unchanged or failed" "$kc/problems.txt"
fi
for b in "${compiler_jars[@]}"; do
  [[ -f $kc/lib/$b.~jar ]] || fail compiler "lib/$b.jar was not written"
done
compiler_saving=$(sed -n 's/^Archive reduction: //p' "$kc/zyn.out")
kotlinc_on compiler_shrunk "$sup/lib/kotlin-stdlib.jar" "$kc/out" "$jdk/bin/java" -cp "$kc/lib/kotlin-preloader.jar" \
  org.jetbrains.kotlin.preloading.Preloader -cp "$kc/lib/kotlin-compiler.jar" org.jetbrains.kotlin.cli.jvm.K2JVMCompiler
# kotlinc's launcher runs java with -noverify, which Java 17 warns of.
{ grep -v 'noverify were deprecated' "$kt/shrunk.log" || true; } | diff - "$kc/out.log" > "$kc/log.diff" ||
  fail compiler "the shrunk compiler's messages (>) differ from kotlinc's (<)" "$kc/log.diff"
run_kotlin compiler_shrunk "$sup/lib/kotlin-stdlib.jar" "$kc/out" "$kc/run.out"
diff "$kt/orig.out" "$kc/run.out" > "$kc/run.diff" ||
  fail compiler "Main.kt compiled by the shrunk compiler (>) prints otherwise than compiled by kotlinc (<)" "$kc/run.diff"
compiler_seconds=$((SECONDS - step))

# --- 7. Jython's jar: its preverified classes carry the small devices' StackMap, which zyn knows ----------
step=$SECONDS
jython_lib=/usr/share/java/jython.jar
if [[ -f $jython_lib ]]; then
  mkdir -p "$scratch/jython"
  cp -L "$jython_lib" "$scratch/jython/jython.jar"
  rc=0
  "$zyn" -tst "$scratch/jython/jython.jar" > "$scratch/jython/out" 2>&1 || rc=$?
  jython_warnings=$(grep -c '^WARNING' "$scratch/jython/out" || true)
  [[ $rc == 0 && $jython_warnings == 0 ]] ||
    fail jython "zyn -tst on jython.jar exited with $rc and printed $jython_warnings warnings" "$scratch/jython/out"
else
  fail jython "$jython_lib is missing (package jython)"
fi
jython_seconds=$((SECONDS - step))

# --- summary -----------------------------------------------------------------------------------------------
echo "1. scala-library -dbg: $scala_classes class entries, saving $dbg_saving (${dbg_seconds}s)"
echo "2. Main.scala: $program_classes classes, $program_lines output lines; scalac read" \
     "$(cat "$scratch/out_orig.count" 2>/dev/null || echo ?) library classes from the original jar," \
     "$(cat "$scratch/out_shrunk.count" 2>/dev/null || echo ?) from the shrunk one;" \
     "$same_output_classes of $program_classes compiled classes byte-identical (${scalac_seconds}s)"
echo "3. scala-library -max: reduction ${key_total[max]:-?}, -super: reduction ${key_total[super]:-?};" \
     "Main.scala compiled against each, read $(cat "$scratch/out_max.count" 2>/dev/null || echo ?) and" \
     "$(cat "$scratch/out_super.count" 2>/dev/null || echo ?) library classes (${keys_seconds}s)"
echo "4. -super on scala-library, groovy-all, kotlin-stdlib: $super_classes class entries," \
     "reduction ${super_total:-?} of $super_old bytes, $super_warnings WARNING lines;" \
     "linkable $linkable, failing before $failed_before, after $failed_after (${super_seconds}s)"
echo "5. Main.kt: $kotlin_lines output lines, the same compiled against kotlin-stdlib shrunk with -super" \
     "(${kotlinc_seconds}s)"
echo "6. the compiler's ${#compiler_jars[@]} jars with -super: ${compiler_saving:-?} bytes smaller; the shrunk" \
     "compiler run on Main.kt (${compiler_seconds}s)"
echo "7. jython.jar -tst: ${jython_warnings:-?} warnings (${jython_seconds}s)"
echo "total ${SECONDS}s"
if (( failed == 0 )); then
  echo "1 passed, 0 failed"
else
  echo "0 passed, 1 failed ($failed problems)"
  exit 1
fi
