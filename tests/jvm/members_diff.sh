#!/usr/bin/env bash
# The product's member pass gives the same classes and table numbers as the round-based reference on classes
# javac writes and on the JDK's own.
#
#   members_diff.sh ZYN_MEMBERS_DIFF JDK_HOME
#
# Every program under tests/java/corpus/<Name>/ is compiled with JDK_HOME's javac at --release 8 and 17
# (those whose "// release: N" header allows it), each with -g and with -g:none; java.base is extracted from
# JDK_HOME. zyn_members_diff then compares the two passes on each group under its key sets. A group fails on
# any difference, and also when the pass removed or renamed nothing in it (the comparison would prove nothing).
set -euo pipefail

usage() {
  echo "usage: $0 ZYN_MEMBERS_DIFF JDK_HOME" >&2
  exit 2
}

[[ $# -eq 2 ]] || usage
tool=$1
jdk=$2
[[ -x $tool ]] || { echo "not an executable: $tool" >&2; exit 2; }
[[ -x $jdk/bin/javac && -x $jdk/bin/java ]] || { echo "no javac/java under $jdk/bin" >&2; exit 2; }

corpus=$(cd "$(dirname "${BASH_SOURCE[0]}")/../java/corpus" && pwd)

# shellcheck source=common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

# One JVM runs every compilation (one javac process per program would take most of the time): each line of
# the job file is one javac command line; a failed one prints the line.
cat > "$scratch/CompileAll.java" <<'EOF'
import java.nio.file.*;
import java.util.spi.ToolProvider;

public class CompileAll {
  public static void main(String[] args) throws Exception {
    ToolProvider javac = ToolProvider.findFirst("javac").orElseThrow();
    int failed = 0;
    for (String line : Files.readAllLines(Path.of(args[0]))) {
      if (line.isBlank()) continue;
      if (javac.run(System.out, System.err, line.trim().split(" +")) != 0) {
        System.out.println("javac failed: " + line);
        failed++;
      }
    }
    System.exit(failed == 0 ? 0 : 1);
  }
}
EOF

groups=()
jobs=$scratch/jobs.txt
: > "$jobs"
for release in 8 17; do
  for debug in -g -g:none; do
    group=$scratch/corpus-r$release$debug
    groups+=("$group")
    for dir in "$corpus"/*/; do
      name=$(basename "$dir")
      header=$(sed -n '1p' "$dir/Main.java")
      if [[ ! $header =~ ^//\ release:\ ([0-9]+)[[:space:]]*$ ]]; then
        fail "$name" "first line of Main.java is not '// release: N'"
        continue
      fi
      (( BASH_REMATCH[1] <= release )) || continue
      mkdir -p "$group/$name"
      echo "$debug --release $release -Xlint:none -nowarn -d $group/$name $(echo "$dir"*.java)" >> "$jobs"
    done
  done
done
if ! "$jdk/bin/java" "$scratch/CompileAll.java" "$jobs" > "$scratch/javac.log" 2>&1; then
  fail "corpus" "javac failed" "$scratch/javac.log"
fi

if [ -f "$jdk/jmods/java.base.jmod" ]; then
  "$jdk/bin/jmod" extract --dir "$scratch/jmod" "$jdk/jmods/java.base.jmod"
  groups+=("$scratch/jmod/classes")
else
  "$jdk/bin/jimage" extract --dir "$scratch/image" --include 'regex:/java.base/.*' "$jdk/lib/modules"
  groups+=("$scratch/image/java.base")
fi

for group in "${groups[@]}"; do
  label=${group#"$scratch"/}
  rc=0
  "$tool" "$group" > "$scratch/diff.log" 2>&1 || rc=$?
  summary=$(tail -n 1 "$scratch/diff.log")
  if [[ $rc != 0 ]]; then
    fail "$label" "zyn_members_diff exited with $rc" "$scratch/diff.log"
  elif [[ ! $summary =~ \(([0-9]+)\ where ]] || (( BASH_REMATCH[1] == 0 )); then
    fail "$label" "the member pass removed or renamed nothing: $summary"
  else
    echo "PASS $label: $summary"
    passed=$((passed + 1))
  fi
done

echo "$passed passed, $failed failed"
(( failed == 0 && passed > 0 ))
