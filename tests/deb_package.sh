#!/usr/bin/env bash
# The Debian package as a user gets it: unpacked into a scratch root, its zyn runs -tst on copies of the
# samples with the libraries the system provides and prints the table that the build's own zyn prints; it
# holds the man page and the README, and its Depends names libdeflate and mimalloc; its Maven plugin is found by an
# offline build.
# usage: tests/deb_package.sh DEB BUILT_ZYN
set -euo pipefail
deb=$1
built=$(realpath "$2")
samples=$(cd "$(dirname "$0")/../samples" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() { echo "FAIL: $*"; exit 1; }

dpkg-deb -I "$deb"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libdeflate libmimalloc libstdc++; do
  [[ "$depends" == *"$library"* ]] || fail "Depends does not name $library: $depends"
done

dpkg -x "$deb" "$scratch/root"
zyn=$scratch/root/usr/bin/zyn
[ -x "$zyn" ] || fail "no usr/bin/zyn"
[ -s "$scratch/root/usr/share/man/man1/zyn.1" ] || fail "no man page"
cmp -s "$scratch/root/usr/share/doc/zyn/README.md" "$samples/../README.md" || fail "no README, or another one"
"$zyn" --version

mkdir "$scratch/package" "$scratch/built"
cp "$samples"/*.class "$scratch/package"
cp "$samples"/*.class "$scratch/built"
code=0
(cd "$scratch/package" && "$zyn" -tst -max '*.class') >"$scratch/package.out" || code=$?
[ "$code" -eq 0 ] || { cat "$scratch/package.out"; fail "exit code $code"; }
(cd "$scratch/built" && "$built" -tst -max '*.class') >"$scratch/built.out"
diff "$scratch/built.out" "$scratch/package.out" || fail "the packaged zyn's table differs from the build's"
count=$(ls "$samples"/*.class | wc -l)
grep -qx "Files processed: $count" "$scratch/package.out" || fail "not $count files in the table"
for f in "$samples"/*.class; do
  name=$(basename "$f")
  grep -q "^$(printf '%s' "$name" | sed 's/[$.]/\\&/g') " "$scratch/package.out" || fail "no line for $name"
  cmp -s "$f" "$scratch/package/$name" || fail "-tst changed $name"
done
cat "$scratch/package.out"

# The Maven plugin where Debian's Java packages put theirs: a build offline against the system's repository
# with the package's files added finds it and shrinks the example with the packaged zyn.
plugin=$scratch/root/usr/share/maven-repo/org/zyncraft/zyn-maven-plugin/1.0
[ -s "$plugin/zyn-maven-plugin-1.0.jar" ] && [ -s "$plugin/zyn-maven-plugin-1.0.pom" ] || fail "no Maven plugin in the package"
mkdir -p "$scratch/repo"
cp -rs /usr/share/maven-repo/. "$scratch/repo/"
cp -rs "$scratch/root/usr/share/maven-repo/." "$scratch/repo/"
cp -r "$samples/../integrations/maven/example" "$scratch/example"
rm -rf "$scratch"/example/*/target
(cd "$scratch/example" && mvn -o -B -Dmaven.repo.local="$scratch/repo" -Dzyn.executable="$zyn" package) > "$scratch/mvn.log" 2>&1 ||
  { tail -n 30 "$scratch/mvn.log"; fail "the example does not build with the packaged plugin"; }
grep -q "Total reduction: [1-9]" "$scratch/mvn.log" || fail "the packaged plugin printed no size table"
echo "package ok: $(basename "$deb")"
