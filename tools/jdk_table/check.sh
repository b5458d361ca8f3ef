#!/usr/bin/env bash
# Fails when src/ZYNJdkTable.inc or src/ZYNJdkPackages.inc is not what make.sh makes from the JDKs installed
# here, so that a JDK update that adds or removes a Serializable class or a package cannot go unnoticed. Exits 77 (skipped) without JDK 25: a table
# from JDK 17 alone would differ without anything being wrong.
# usage: check.sh JDK17_HOME JDK25_HOME
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
src=$here/../../src
jdk17=$1 jdk25=$2

if [[ ! -x $jdk25/bin/java ]]; then
  echo "SKIP: no JDK 25 at $jdk25; the table is made from JDK 17 and JDK 25"
  exit 77
fi
if [[ ! -x $jdk17/bin/java ]]; then
  echo "FAIL: no JDK 17 at $jdk17"
  exit 1
fi

scratch=$(mktemp -d "${TMPDIR:-/tmp}/zyn-jdktable-check.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
if ! ZYN_JDK17=$jdk17 ZYN_JDK25=$jdk25 "$here/make.sh" "$scratch"; then
  echo "FAIL: tools/jdk_table/make.sh did not run through"
  exit 1
fi

# The names of a table, one per line: the first word of a package's string is its prefix.
names() {
  local line word words prefix=
  while IFS= read -r line; do
    [[ $line == \"* ]] || continue
    line=${line#\"} line=${line%,} line=${line%\"}
    [[ $line == ' '* ]] || { prefix=${line%% *}; line=${line#"$prefix"}; }
    read -ra words <<< "$line"
    for word in "${words[@]}"; do echo "$prefix$word"; done
  done < "$1"
}

failed=0
for table in ZYNJdkTable.inc ZYNJdkPackages.inc; do
  committed=$src/$table made=$scratch/$table
  if cmp -s "$committed" "$made"; then
    echo "src/$table is current ($(names "$committed" | wc -l) names)"
    continue
  fi
  failed=1
  names "$committed" > "$scratch/committed.txt"
  names "$made" > "$scratch/made.txt"
  echo "FAIL: src/$table is not what the JDKs at $jdk17 and $jdk25 give;"
  echo "      if the JDKs are right, regenerate it with tools/jdk_table/make.sh and review the change."
  echo "Only in the committed table:"
  LC_ALL=C comm -23 "$scratch/committed.txt" "$scratch/made.txt" | head -n 20 | sed 's/^/    /'
  echo "Only in the table made now:"
  LC_ALL=C comm -13 "$scratch/committed.txt" "$scratch/made.txt" | head -n 20 | sed 's/^/    /'
  echo "diff (head):"
  diff -u "$committed" "$made" | head -n 40 || true
done
exit "$failed"
