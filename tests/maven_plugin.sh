#!/usr/bin/env bash
# The Maven plugin, offline against Debian's repository: its own tests pass and it installs; the example (a
# library and an application on Gson) built with the plugin runs and prints what it printed built without it;
# the mapping, usage list and report are where the configuration says, the original jar is kept as zyn's
# backup, the mapping is installed with the classifier "mapping"; a missing zyn, a bad key and a bad thread
# count fail the build with a message that names the parameter.
# usage: tests/maven_plugin.sh ZYN_BINARY
set -euo pipefail
zyn=$(realpath "$1")
src=$(cd "$(dirname "$0")/.." && pwd)
command -v mvn >/dev/null || { echo "no mvn (tools/setup.sh --tests installs maven)"; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/zyn-maven.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/repo"
cp -rs /usr/share/maven-repo/. "$work/repo/"
cp -r "$src/integrations/maven" "$work/maven"
rm -rf "$work"/maven/*/target "$work"/maven/example/*/target
failed=0
fail() { echo "FAIL $1"; [[ -z ${2:-} ]] || sed 's/^/    /' "$2" | tail -n 30; failed=1; }
build() {  # folder, log, maven arguments...
  local dir=$1 log=$2
  shift 2
  (cd "$work/maven/$dir" && mvn -o -B -Dmaven.repo.local="$work/repo" "$@") > "$log" 2>&1
}
run() {  # the example as built
  local t=$work/maven/example
  java -Xverify:all -cp "$t/app/target/zyn-example-app-1.0.jar:$t/lib/target/zyn-example-lib-1.0.jar:/usr/share/java/gson.jar" \
    org.example.app.Main 2>&1
}

build zyn-maven-plugin "$work/plugin.log" install || { fail "the plugin does not build" "$work/plugin.log"; exit 1; }
grep -q "Tests run: [1-9][0-9]*, Failures: 0, Errors: 0" "$work/plugin.log" || fail "the plugin's tests did not run" "$work/plugin.log"

start=$(date +%s%N)
build example "$work/plain.log" -Dzyn.skip=true package || fail "the example does not build" "$work/plain.log"
plain_ms=$((($(date +%s%N) - start) / 1000000))
before=$(run)
start=$(date +%s%N)
build example "$work/shrunk.log" -Dzyn.executable="$zyn" install || fail "the example does not build with zyn" "$work/shrunk.log"
shrunk_ms=$((($(date +%s%N) - start) / 1000000))
after=$(run)
app=$work/maven/example/app/target
[[ $before == "$after" && -n $after ]] || fail "the example prints \"$after\" shrunk, \"$before\" as built"
for f in zyn/mapping.txt zyn/usage.txt zyn/report.json zyn-example-app-1.0.~jar; do
  [[ -f $app/$f ]] || fail "no $f under app/target"
done
[[ -s $work/maven/example/lib/target/zyn/mapping.txt ]] || fail "the library's mapping is empty"
grep -q "private void unused()" "$app/zyn/usage.txt" || fail "the usage list lacks the removed method" "$app/zyn/usage.txt"
[[ $(stat -c %s "$app/zyn-example-app-1.0.jar") -lt $(stat -c %s "$app/zyn-example-app-1.0.~jar") ]] || fail "the jar did not shrink"
grep -q "^\[INFO\] Total reduction: [1-9]" "$work/shrunk.log" || fail "no size table in the build log" "$work/shrunk.log"
[[ -f $work/repo/org/example/zyn-example-app/1.0/zyn-example-app-1.0-mapping.txt ]] || fail "the mapping is not installed"

# On target/classes: the classes shrink in place and no backup of theirs is left to be packed.
build example "$work/classes.log" -Dzyn.executable="$zyn" -Dzyn.classes=true package || fail "classes mode failed" "$work/classes.log"
grep -q "target/classes/org/example/app/Main.class" "$work/classes.log" || fail "classes mode did not shrink target/classes" "$work/classes.log"
[[ -z $(find "$work/maven/example" -name '*.~class') ]] || fail "backups left in target/classes"

# Configuration errors name their parameter.
build example "$work/missing.log" -Dzyn.executable="$work/no-such-zyn" package && fail "a missing zyn passed"
grep -q "(parameter executable)" "$work/missing.log" || fail "a missing zyn does not name the parameter" "$work/missing.log"
build example "$work/threads.log" -Dzyn.executable="$zyn" -Dzyn.threads=0 package && fail "threads 0 passed"
grep -q "(parameter threads)" "$work/threads.log" || fail "a bad thread count does not name the parameter" "$work/threads.log"
sed -i 's|<key>-super</key>|<key>-bogus</key>|' "$work/maven/example/pom.xml"
build example "$work/key.log" -Dzyn.executable="$zyn" package && fail "a bad key passed"
grep -q 'ERROR: Unknown parameter "-bogus" (parameter keys)' "$work/key.log" || fail "a bad key does not name the parameter" "$work/key.log"

echo "maven plugin: example built in ${plain_ms} ms without zyn, ${shrunk_ms} ms with it (and install)"
[[ $failed -eq 0 ]] && echo "maven plugin: all checks passed"
exit $failed
