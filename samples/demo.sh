#!/usr/bin/env bash
# Runs zyn -max on copies of the sample class files (the samples stay as they are) and checks that the
# optimized classes still run on the JVM.
# usage: samples/demo.sh [ZYN_BINARY]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
zyn=$(realpath "${1:-$here/../build-zyn/zyn}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$here"/*.class "$work"
cd "$work"
"$zyn" -max '*.class'
if command -v java >/dev/null; then
  echo
  for main in Inventory Temperature WordCount; do
    echo "java $main:"
    java -Xverify:all -cp . "$main" | sed 's/^/  /'
  done
fi
