#!/usr/bin/env bash
# The README's Gradle snippet (integrations/gradle), built offline with Debian's Gradle: the jar shrinks, runs
# and prints what it printed before; the outputs are under build/zyn and the original is zyn's backup.
# usage: tests/gradle_snippet.sh ZYN_BINARY
set -euo pipefail
zyn=$(realpath "$1")
src=$(cd "$(dirname "$0")/.." && pwd)
command -v gradle >/dev/null || { echo "no gradle (tools/setup.sh --tests installs it)"; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/zyn-gradle.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp -r "$src/integrations/gradle" "$work/project"
rm -rf "$work/project/build" "$work/project/.gradle"
cd "$work/project"
gradle --offline --no-daemon -q -g "$work/home" "-Pzyn=$zyn" assemble > "$work/log" 2>&1 || { sed 's/^/    /' "$work/log"; exit 1; }
failed=0
before=$(java -Xverify:all -cp build/libs/zyn-gradle-example.~jar org.example.Hello 2>&1)
after=$(java -Xverify:all -cp build/libs/zyn-gradle-example.jar org.example.Hello 2>&1)
[[ $before == "hello, gradle" && $after == "$before" ]] || { echo "FAIL prints \"$after\", before \"$before\""; failed=1; }
for f in build/zyn/mapping.txt build/zyn/usage.txt build/zyn/report.json; do
  [[ -f $f ]] || { echo "FAIL no $f"; failed=1; }
done
grep -q "private void neverCalled()" build/zyn/usage.txt || { echo "FAIL the usage list lacks neverCalled"; failed=1; }
grep -q "^Total reduction: [1-9]" "$work/log" || { echo "FAIL no size table"; sed 's/^/    /' "$work/log"; failed=1; }
[[ $failed -eq 0 ]] && echo "gradle snippet: shrunk, runs the same"
exit $failed
