#!/usr/bin/env bash
# Builds the Maven plugin offline against Debian's repository (without its tests, which tests/maven_plugin.sh
# runs) and puts its jar and pom in OUT, for the Debian package to install into /usr/share/maven-repo.
# usage: integrations/maven/build_plugin.sh OUT
set -euo pipefail
out=$(mkdir -p "$1" && cd "$1" && pwd)
src=$(cd "$(dirname "$0")/zyn-maven-plugin" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/zyn-plugin.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/repo"
cp -rs /usr/share/maven-repo/. "$work/repo/"
cp -r "$src" "$work/plugin"
rm -rf "$work/plugin/target"
(cd "$work/plugin" && mvn -o -B -q -Dmaven.repo.local="$work/repo" -DskipTests package) > "$work/log" 2>&1 ||
  { cat "$work/log" >&2; exit 1; }
cp "$work/plugin/target/zyn-maven-plugin-1.0.jar" "$out/"
cp "$src/pom.xml" "$out/zyn-maven-plugin-1.0.pom"
