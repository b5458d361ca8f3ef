#!/usr/bin/env bash
# Runs the Java corpus before and after optimization and checks that nothing observable changed.
#
#   jvm_corpus.sh ZYN_BINARY JDK_HOME RELEASE "KEYS[,KEYS...]" [PROGRAM_NAME...]
#
# Every program under tests/java/corpus/<Name>/ (or only the named ones) whose "// release: N"
# header is at most RELEASE is compiled with JDK_HOME's javac at --release RELEASE and run with
# -Xverify:all; then, for each key set (comma-separated; each split on blanks, may be empty), zyn
# optimizes a copy of its classes and the program runs again. Standard output and exit code must be
# identical.
# Header lines after the release (the 2nd to 5th line, in any order):
#   "// renaming: no"  the program reads member names through reflection and only runs when KEYS
#                      contains -noren; with ", or with -keep:PATTERN" after it, a key set that renames
#                      runs too, with that key added;
#   "// forms: F..."   the forms it is optimized in, of "files" (its classes as loose files, given by a
#                      pattern: the default), "tree" (zyn given the classes folder) and "jar" (the folder
#                      jarred with the JDK's jar tool, zyn given the jar, the program run from it) and
#                      "jars" (that jar and copies of the program's library jars in one folder, zyn given
#                      all of them in one run, the program run from them);
#   "// classpath: J..." library jars the program is compiled and run against (names in /usr/share/java,
#                      or absolute paths): zyn never sees them but in the form "jars";
#   "// protoc: F..."  .proto files of the program's folder whose Java classes protoc generates before the
#                      program is compiled, as part of the program.
# The corpus is tests/java/corpus, or the folder $ZYN_CORPUS names.
# A program's resources/ folder is copied into its classes folder, so that a tree or jar holds the
# resource files too. With -old the tool leaves the input alone and writes its result under the backup
# name, so that result is moved into place before the second run.
# A program's source files whose first line is "// library" are compiled first into a folder of their
# own, which is on the class path when the program is compiled and run but is never given to zyn: the
# program's classes then have supertypes that the run does not know.
set -euo pipefail

usage() {
  echo "usage: $0 ZYN_BINARY JDK_HOME RELEASE \"KEYS\" [PROGRAM_NAME...]" >&2
  exit 2
}

[[ $# -ge 4 ]] || usage
zyn=$1
jdk=$2
release=$3
keys=$4
shift 4

[[ $release =~ ^[0-9]+$ ]] || { echo "RELEASE must be a number, got '$release'" >&2; exit 2; }
[[ -x $zyn ]] || { echo "not an executable: $zyn" >&2; exit 2; }
[[ -x $jdk/bin/javac && -x $jdk/bin/java ]] || { echo "no javac/java under $jdk/bin" >&2; exit 2; }
zyn=$(cd "$(dirname "$zyn")" && pwd)/$(basename "$zyn")

corpus=$(cd "${ZYN_CORPUS:-$(dirname "${BASH_SOURCE[0]}")/../java/corpus}" && pwd)

IFS=, read -r -a keysets <<< "$keys," || true
keyargs=()
has_key() {
  local k
  for k in ${keyargs[@]+"${keyargs[@]}"}; do [[ $k == "$1" ]] && return 0; done
  return 1
}

# shellcheck source=common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

if [[ $# -gt 0 ]]; then
  programs=("$@")
else
  programs=()
  for dir in "$corpus"/*/; do
    programs+=("$(basename "$dir")")
  done
fi

# Optimizes the copy in $1 in form $3 with keyargs and compares the run with the one before; $2 names it.
check_keys() {
  local run=$1 name=$2 form=$3 classes=$1/classes zyn_rc=0 rc_after b target cp
  local runpath=$libpath
  case $form in
    files) target="$classes/*.class"; cp=$classes ;;
    tree) target=$classes; cp=$classes ;;
    jar | jars)
      mkdir -p "$run/jars"
      target=$run/jars/app.jar; cp=$target
      if ! "$jdk/bin/jar" cf "$target" -C "$classes" . > "$run/jar.log" 2>&1; then
        fail "$name" "jar failed" "$run/jar.log"
        return 1
      fi
      if [[ $form == jars ]]; then
        target="$run/jars/*.jar"
        runpath=$srcpath
        for j in ${jars[@]+"${jars[@]}"}; do
          cp "$j" "$run/jars/lib-$(basename "$j")"
          runpath+=":$run/jars/lib-$(basename "$j")"
        done
      fi ;;
  esac
  (cd "$run" && timeout 300 "$zyn" ${keyargs[@]+"${keyargs[@]}"} "$target") > "$run/zyn.log" 2>&1 || zyn_rc=$?
  if [[ $zyn_rc != 0 ]] || grep -q '^ERROR:' "$run/zyn.log"; then
    fail "$name" "zyn exited with $zyn_rc" "$run/zyn.log"
    return 1
  fi
  # A tree or jar that zyn did not take as one would pass unchanged.
  if ! grep -q '^Files processed: [1-9]' "$run/zyn.log"; then
    fail "$name" "zyn processed no class" "$run/zyn.log"
    return 1
  fi

  while IFS= read -r -d '' b; do
    if has_key -old; then
      mv -f "$b" "${b%.~*}.${b##*.~}"
    else
      rm -f "$b"
    fi
  done < <(find "$run" \( -name '*.~class' -o -name '*.~jar' \) -print0)

  rc_after=$(run_java "$cp$runpath" "$run/after")
  if [[ $rc_after != "$rc_before" ]]; then
    diff -u --label expected --label optimized "$work/before.out" "$run/after.out" > "$run/diff" || true
    fail "$name" "optimized program exited with $rc_after (expected $rc_before)" "$run/after.err" "$run/diff" "$run/zyn.log"
    return 1
  fi
  if ! diff -u --label expected --label optimized "$work/before.out" "$run/after.out" > "$run/diff"; then
    fail "$name" "output changed" "$run/diff" "$run/after.err" "$run/zyn.log"
    return 1
  fi
}

runs=0
for name in "${programs[@]}"; do
  src=$corpus/$name
  if [[ ! -f $src/Main.java ]]; then
    fail "$name" "no such program (expected $src/Main.java)"
    continue
  fi
  header=$(sed -n '1p' "$src/Main.java")
  if [[ ! $header =~ ^//\ release:\ ([0-9]+)[[:space:]]*$ ]]; then
    fail "$name" "first line of Main.java is not '// release: N'"
    continue
  fi
  need=${BASH_REMATCH[1]}
  if (( need > release )); then
    echo "SKIP $name: needs release $need"
    continue
  fi
  renaming=yes
  keep=
  forms=(files)
  jars=() protos=()
  for line in "$(sed -n '2p' "$src/Main.java")" "$(sed -n '3p' "$src/Main.java")" "$(sed -n '4p' "$src/Main.java")" \
              "$(sed -n '5p' "$src/Main.java")"; do
    if [[ $line =~ ^//\ protoc:((\ [^[:space:]]+)+)[[:space:]]*$ ]]; then read -r -a protos <<< "${BASH_REMATCH[1]}"; fi
    if [[ $line =~ ^//\ classpath:((\ [^[:space:]]+)+)[[:space:]]*$ ]]; then
      for j in ${BASH_REMATCH[1]}; do
        [[ $j == /* ]] || j=/usr/share/java/$j
        jars+=("$(readlink -f "$j")")
      done
    fi
    if [[ $line =~ ^//\ renaming:\ no(,\ or\ with\ (-keep:[^[:space:]]+))?[[:space:]]*$ ]]; then
      renaming=no
      keep=${BASH_REMATCH[2]}
    fi
    if [[ $line =~ ^//\ forms:((\ (files|tree|jar|jars))+)[[:space:]]*$ ]]; then
      read -r -a forms <<< "${BASH_REMATCH[1]}"
    elif [[ $line == "// forms:"* ]]; then
      fail "$name" "unknown form in '$line' (files, tree, jar, jars)"
      continue 2
    fi
  done

  work=$scratch/$name
  classes=$work/classes
  mkdir -p "$classes"

  sources=()
  libsources=()
  if [[ ${#protos[@]} -gt 0 ]]; then
    mkdir -p "$work/generated"
    if ! (cd "$src" && protoc --java_out="$work/generated" "${protos[@]}") > "$work/protoc.log" 2>&1; then
      fail "$name" "protoc failed" "$work/protoc.log"
      continue
    fi
    while IFS= read -r -d '' f; do sources+=("$f"); done < <(find "$work/generated" -name '*.java' -print0)
  fi
  for f in "$src"/*.java; do
    if [[ $(sed -n '1p' "$f") =~ ^//\ library[[:space:]]*$ ]]; then libsources+=("$f"); else sources+=("$f"); fi
  done
  missing=
  for j in ${jars[@]+"${jars[@]}"}; do [[ -f $j ]] || missing+=" $j"; done
  if [[ -n $missing ]]; then
    fail "$name" "library jars missing:$missing (tools/setup.sh --tests installs them)"
    continue
  fi
  libpath= srcpath=
  for j in ${jars[@]+"${jars[@]}"}; do libpath+=":$j"; done
  libcp=()
  [[ -z $libpath ]] || libcp=(-cp "${libpath#:}")
  if [[ ${#libsources[@]} -gt 0 ]]; then
    mkdir -p "$work/lib"
    if ! "$jdk/bin/javac" -g --release "$release" -Xlint:none -nowarn -d "$work/lib" "${libsources[@]}" > "$work/javac.log" 2>&1; then
      fail "$name" "javac failed on the library" "$work/javac.log"
      continue
    fi
    srcpath=:$work/lib
    libpath+=$srcpath
    libcp=(-cp "${libpath#:}")
  fi
  if ! "$jdk/bin/javac" -g --release "$release" -Xlint:none -nowarn ${libcp[@]+"${libcp[@]}"} -d "$classes" "${sources[@]}" > "$work/javac.log" 2>&1; then
    fail "$name" "javac failed" "$work/javac.log"
    continue
  fi

  if [[ -d $src/resources ]]; then cp -r "$src/resources/." "$classes/"; fi

  rc_before=$(run_java "$classes$libpath" "$work/before")
  if [[ $rc_before != 0 ]]; then
    fail "$name" "unoptimized program exited with $rc_before" "$work/before.err"
    continue
  fi

  for keys in "${keysets[@]}"; do
    read -r -a keyargs <<< "$keys" || true
    if [[ $renaming == no ]] && ! has_key -noren; then
      if [[ -z $keep ]]; then
        echo "SKIP $name [${keys}]: depends on member names, runs only with -noren"
        continue
      fi
      keyargs+=("$keep")
      keys="${keys:+$keys }$keep"
    fi
    for form in "${forms[@]}"; do
      label="$name [${keys}]"
      [[ $form == files ]] || label="$name $form [${keys}]"
      run=$work/run$((++runs))
      mkdir -p "$run"
      cp -r "$classes" "$run/classes"
      if check_keys "$run" "$label" "$form"; then
        echo "PASS $label"
        passed=$((passed + 1))
      fi
    done
  done
done

echo "$passed passed, $failed failed"
if (( passed + failed == 0 )); then
  echo "no program was run" >&2
  exit 1
fi
(( failed == 0 ))
