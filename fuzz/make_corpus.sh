#!/usr/bin/env bash
# Makes the seed corpus of the fuzz targets in OUT/class, OUT/archive and OUT/cmdline:
#   class    the test programs compiled with javac (releases 8 and 17, JDK 25's newest when it is there), the
#            sample classes and a few classes of the Scala, Groovy and Kotlin libraries and of java.base where
#            they are installed, each behind a byte that chooses the keys;
#   archive  jars made of those classes: stored and deflated, with a nested jar, with data descriptors,
#            Zip64 records, a launch script in front, a comment, and a signed one;
#   cmdline  a few command lines;
# and the findings kept under tests/fuzz/.
# Usage: fuzz/make_corpus.sh OUT
set -euo pipefail
out=${1:?usage: make_corpus.sh OUT}
src=$(cd "$(dirname "$0")/.." && pwd)
jdk17=${JDK17:-/usr/lib/jvm/java-17-openjdk-amd64}
jdk25=${JDK25:-/usr/lib/jvm/temurin-25-jdk-amd64}
max_len=65535  # the targets run with -max_len=65536; one byte is the keys

work=$(mktemp -d "${TMPDIR:-/tmp}/zyn-corpus.XXXXXX")
trap 'rm -rf "$work"' EXIT
rm -rf "$out"
mkdir -p "$out/class" "$out/archive" "$out/cmdline" "$work/classes"

# --- class files
compile() {  # jdk, release, label
  local jdk=$1 release=$2 label=$3
  "$jdk/bin/java" "$src/fuzz/CompileEach.java" "$release" "$work/classes/$label" \
    $(find "$src/tests/java/corpus" -mindepth 1 -maxdepth 1 -type d | sort)
}
compile "$jdk17" 8 r8 &
if [ -x "$jdk25/bin/javac" ]; then compile "$jdk25" 25 r25; else compile "$jdk17" 17 r17; fi
wait
mkdir -p "$work/classes/samples" && cp "$src"/samples/*.class "$work/classes/samples/"

take_from_jar() {  # jar, label, count: the first classes of the jar in name order
  local jar=$1 label=$2 count=$3
  [ -f "$jar" ] || return 0
  mkdir -p "$work/classes/$label"
  (cd "$work/classes/$label" && unzip -qq -o "$jar" $(unzip -Z1 "$jar" | grep '\.class$' | sort | head -n "$count") )
}
take_from_jar /usr/share/scala-2.11/lib/scala-library.jar scala 40
take_from_jar /usr/share/java/groovy-all.jar groovy 20
take_from_jar /usr/share/java/kotlin-stdlib.jar kotlin 20
if [ -f "$jdk17/jmods/java.base.jmod" ]; then
  mkdir -p "$work/jmod" "$work/classes/jdk"
  (cd "$work/jmod" && "$jdk17/bin/jmod" extract "$jdk17/jmods/java.base.jmod" >/dev/null 2>&1 || true)
  find "$work/jmod/classes/java/lang" "$work/jmod/classes/java/util/concurrent" -maxdepth 1 -name '*.class' 2>/dev/null |
    sort | awk 'NR % 8 == 1' | head -n 60 | xargs -r cp -t "$work/classes/jdk/"
fi

# Each class behind a key byte; the key sets turn in a fixed order so that each is seen with several.
keys=(00 ff 1f 48 87 23 5c c6)
n=0
while IFS= read -r f; do
  size=$(stat -c %s "$f")
  [ "$size" -le "$max_len" ] || continue
  key=${keys[$((n % ${#keys[@]}))]}
  { printf "\\x$key"; cat "$f"; } > "$out/class/$(printf '%04d' "$n")-$(basename "$f" .class | tr -c 'A-Za-z0-9_\n' '_')"
  n=$((n + 1))
done < <(find "$work/classes" -name '*.class' | sort)

# --- archives, small enough for -max_len
jars=$work/jars
mkdir -p "$jars"
pick=$work/classes/r8/Lambdas
small=$work/classes/r8/PrivateMembers
(cd "$pick" && zip -q -0 -X "$jars/stored.jar" $(find . -name '*.class' | sort))
(cd "$pick" && zip -q -9 -X "$jars/deflated.jar" $(find . -name '*.class' | sort))
(cd "$small" && zip -q -X "$work/inner.jar" $(find . -name '*.class' | sort))
(cd "$small" && zip -q -X -0 "$work/inner-stored.jar" $(find . -name '*.class' | sort))
mkdir -p "$work/outer/lib" "$work/outer2/lib"
cp "$work/inner.jar" "$work/outer/lib/inner.jar"
cp "$work/inner-stored.jar" "$work/outer2/lib/inner.jar"
(cd "$work/outer" && zip -q -X -0 "$jars/nested-stored.jar" lib/inner.jar)
(cd "$work/outer2" && zip -q -X -9 "$jars/nested-deflated.jar" lib/inner.jar)
# Written to a pipe, zip puts a data descriptor after each entry.
(cd "$small" && zip -q -X - $(find . -name '*.class' | sort) | cat > "$jars/descriptors.zip")
(cd "$small" && zip -q -X -fz "$jars/zip64.jar" $(find . -name '*.class' | sort))
{ printf '#!/bin/sh\nexec java -jar "$0" "$@"\n'; cat "$jars/deflated.jar"; } > "$jars/launcher.run"
cp "$jars/launcher.run" "$jars/launcher-adjusted.run" && zip -q -A "$jars/launcher-adjusted.run"
cp "$jars/stored.jar" "$jars/comment.jar" && echo "a comment" | zip -q -z "$jars/comment.jar"
if [ -x "$jdk17/bin/keytool" ]; then
  cp "$work/inner.jar" "$jars/signed.jar"
  "$jdk17/bin/keytool" -genkeypair -keystore "$work/ks" -storepass secret -keypass secret -alias k \
    -keyalg EC -dname CN=zyn -validity 3650 >/dev/null 2>&1 &&
  "$jdk17/bin/jarsigner" -keystore "$work/ks" -storepass secret "$jars/signed.jar" k >/dev/null 2>&1 || rm -f "$jars/signed.jar"
fi
for f in "$jars"/*; do
  [ "$(stat -c %s "$f")" -le "$max_len" ] && cp "$f" "$out/archive/"
done

# --- command lines: words ended by NUL
line() { printf '%s\0' "$@" > "$out/cmdline/$(printf '%02d' "$(ls "$out/cmdline" | wc -l)")"; }
line -max A
line -super -nowarn 'classes/**/*.class'
line -tst -src -lin -var -noren -depr -synt -uattr -old 'Some?Name*'
line -dbg app.jar
line -help
line -max
line 'dir/A' 'B'
line -bad x
# --- rules files
mkdir -p "$out/rules"
printf '%s\n' '-keep class a.b.Shop { *; }' '-dontwarn x.**' > "$out/rules/00"
printf '%s\n' '-keepclassmembers,allowshrinking class * extends a.b.Base {' '  @a.Json private <fields>;' '  *** get*(...);' '}' > "$out/rules/01"
printf '%s\n' '-if class **.*Shop' '-keepnames class <1>.<2>Shop { static % *; <init>(int, long, byte[]); }' > "$out/rules/02"
printf '%s\n' '-assumenosideeffects class a.L { public static *** d(...); }' '-include other.pro' > "$out/rules/03"
printf '%s\n' '-keep !final @a.Keep class !x.*,a.?.S* implements java.lang.Object { !static volatile **[][] c*t = 5; }' > "$out/rules/04"
# The findings kept as regression inputs are seeds too.
for target in class archive cmdline rules; do
  [ -d "$src/tests/fuzz/$target" ] && cp "$src/tests/fuzz/$target"/* "$out/$target/"
done
echo "corpus: $(ls "$out/class" | wc -l) classes, $(ls "$out/archive" | wc -l) archives, $(ls "$out/cmdline" | wc -l) command lines, $(ls "$out/rules" | wc -l) rules files in $out"
