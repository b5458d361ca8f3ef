#!/usr/bin/env bash
# What zyn says of its decisions, checked against the classes: the JVM corpus (as a tree and as a jar),
# guava's jar and Maven's jars are shrunk with -super -usage: -report: -map: -why:**. At 1 and 4 threads the
# files and the printed output are the same bytes, and the tree and the jar give the same usage list and
# report (entry names aside); the report validates against doc/report.schema.json, and every member it
# decides on is checked with javap against the classes before and after (tests/tools/explain_check.py).
#
#   explain.sh ZYN_BINARY JDK_HOME
set -euo pipefail
[[ $# -eq 2 ]] || { echo "usage: $0 ZYN_BINARY JDK_HOME" >&2; exit 2; }
zyn=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
jdk=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
# shellcheck source=common.sh
source "$here/common.sh"
/usr/bin/python3 -c 'import jsonschema' || { echo "no python3-jsonschema (tools/setup.sh --tests installs it)"; exit 2; }

# The corpus programs that compile alone, each in a folder of its own.
mkdir -p "$scratch/corpus"
for src in "$root"/tests/java/corpus/*/; do
  name=$(basename "$src")
  "$jdk/bin/javac" -g --release 17 -Xlint:none -nowarn -d "$scratch/corpus/$name" "$src"*.java > /dev/null 2>&1 ||
    rm -rf "${scratch:?}/corpus/$name"
done

# Copies a folder of classes, a jar, or a folder of jars to $2/t.
copy() {
  mkdir -p "$2/t"
  if [[ -d $1 ]]; then cp -r "$1/." "$2/t/"; else cp "$1" "$2/t/"; fi
}

# Runs zyn on a copy of $1 at $2 threads in $scratch/$3.
shrink() {
  local from=$1 threads=$2 out=$scratch/$3
  local target=t
  copy "$from" "$out"
  [[ -d $from && -z $(find "$from" -maxdepth 1 -name '*.jar' -print -quit) ]] || target="t/*.jar"
  (cd "$out" && ZYN_THREADS=$threads "$zyn" -super -usage:usage.txt -report:report.json -map:map.txt '-why:**' \
    "$target" > stdout.txt 2>&1) || { fail "$3" "zyn failed" "$out/stdout.txt"; return 1; }
  sed -n '/^Total reduction/,$p' "$out/stdout.txt" | tail -n +2 | grep -v '^Archive reduction' > "$out/why.txt" || true
}

# The class files of a run's folder, jars unpacked (an entry a.jar!p/C.class lies at a.jar/p/C.class).
unpack() {
  local dir=$1 jar
  for jar in "$dir"/t/*.jar; do
    [[ -f $jar ]] || continue
    mv "$jar" "$jar.zip"
    mkdir "$jar" && (cd "$jar" && unzip -qo "../$(basename "$jar").zip")
  done
}

check() {  # label, input (folder or jar or folder of jars)
  local label=$1 from=$2 f
  shrink "$from" 1 "$label.1" && shrink "$from" 4 "$label.4" || return 0
  for f in usage.txt report.json map.txt stdout.txt; do
    cmp -s "$scratch/$label.1/$f" "$scratch/$label.4/$f" || fail "$label" "$f differs between 1 and 4 threads"
  done
  copy "$from" "$scratch/$label.before"
  unpack "$scratch/$label.before"
  unpack "$scratch/$label.1"
  if (cd "$scratch" && /usr/bin/python3 "$root/tests/tools/explain_check.py" "$root/doc/report.schema.json" \
        "$jdk/bin/javap" "$label.before" "$label.1" "$label.1/report.json" "$label.1/usage.txt" \
        "$label.1/why.txt" "$label.1/map.txt") > "$scratch/$label.check" 2>&1; then
    echo "ok   $label: $(tail -n 1 "$scratch/$label.check")"
    passed=$((passed + 1))
  else
    fail "$label" "the decisions do not agree with the classes" "$scratch/$label.check"
  fi
}

check corpus-tree "$scratch/corpus"
# The jar holds the same classes in the order the tree's table gives them.
sed -n 's|^    {"name": "t/\([^"]*\)".*|\1|p' "$scratch/corpus-tree.1/report.json" |
  (cd "$scratch/corpus" && zip -qX ../corpus.jar -@)
check corpus-jar "$scratch/corpus.jar"
# A tree and a jar of the same classes: the same usage list, and the same report but for the entry names.
if cmp -s "$scratch/corpus-tree.1/usage.txt" "$scratch/corpus-jar.1/usage.txt" &&
   diff <(sed 's/^    {"name": "[^"]*"/    {"name": ""/' "$scratch/corpus-tree.1/report.json" | grep -v totals) \
        <(sed 's/^    {"name": "[^"]*"/    {"name": ""/' "$scratch/corpus-jar.1/report.json" | grep -v totals) > /dev/null; then
  passed=$((passed + 1))
else
  fail corpus "the tree and the jar differ in their usage list or report"
fi
[[ -f /usr/share/java/guava.jar ]] && cp -L /usr/share/java/guava.jar "$scratch/guava.jar" && check guava "$scratch/guava.jar"
mkdir -p "$scratch/maven" && cp -L /usr/share/maven/lib/*.jar "$scratch/maven/" && check maven "$scratch/maven"

# A rule that a jar ships keeps a method that only a name built at run time reaches: without the rule the
# method goes and the program fails; with it the program runs and -why names the rule. A -rules: file does the
# same for the loose class.
mkdir -p "$scratch/ship/src/p" "$scratch/ship/classes/META-INF/proguard"
cat > "$scratch/ship/src/p/Main.java" <<'JAVA'
package p;
public class Main {
  private int secret() { return 42; }
  public static void main(String[] args) throws Exception {
    String name = new StringBuilder("terces").reverse().toString();
    System.out.println(Main.class.getDeclaredMethod(name).invoke(new Main()));
  }
}
JAVA
"$jdk/bin/javac" --release 17 -d "$scratch/ship/classes" "$scratch/ship/src/p/Main.java"
printf -- '-dontwarn x.**\n-keepclassmembers class p.Main {\n  private int secret();\n}\n' > "$scratch/ship/keep.pro"
cp "$scratch/ship/keep.pro" "$scratch/ship/classes/META-INF/proguard/keep.pro"
(cd "$scratch/ship/classes" && zip -qX ../with.jar p/Main.class META-INF/proguard/keep.pro && zip -qX ../without.jar p/Main.class)
cp -r "$scratch/ship/classes/p" "$scratch/ship/p"
(cd "$scratch/ship" && "$zyn" -super '-why:p.Main' with.jar > with.out && "$zyn" -super without.jar > /dev/null &&
  "$zyn" -super -rules:keep.pro '-why:p.Main' p/Main.class > loose.out) || fail shipped-rule "zyn failed"
with=$(timeout 60 "$jdk/bin/java" -Xverify:all -cp "$scratch/ship/with.jar" p.Main 2>&1 || true)
without=$(timeout 60 "$jdk/bin/java" -Xverify:all -cp "$scratch/ship/without.jar" p.Main 2>&1 || true)
loose=$(timeout 60 "$jdk/bin/java" -Xverify:all -cp "$scratch/ship" p.Main 2>&1 || true)
expected='p.Main: private int secret(): kept by rule "-keepclassmembers class p.Main { private int secret(); }" in with.jar!META-INF/proguard/keep.pro:2'
if [[ $with == 42 && $loose == 42 && $without == *NoSuchMethodException* ]] && grep -qxF "$expected" "$scratch/ship/with.out" &&
   grep -qxF "${expected/with.jar!META-INF\/proguard\//}" "$scratch/ship/loose.out" &&
   grep -qxF 'WARNING: Rules option "-dontwarn" not applied (first in keep.pro:1)' "$scratch/ship/loose.out"; then
  echo "ok   shipped-rule: kept by the jar's rule and by -rules:, gone without"
  passed=$((passed + 1))
else
  fail shipped-rule "with: $with, without: ${without%%$'\n'*}, loose: $loose" "$scratch/ship/with.out" "$scratch/ship/loose.out"
fi

echo "explain: $passed passed, $failed failed"
[[ -z ${KEEP:-} ]] || cp -r "$scratch" /tmp/explain-scratch
[[ $failed -eq 0 ]]
