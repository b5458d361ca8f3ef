# Shared by the JVM test scripts; expects $jdk to be set. Sets $scratch (removed on exit), $passed, $failed.

scratch=$(mktemp -d "${TMPDIR:-/tmp}/zyn-jvm.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
# zyn reads only the first blank-delimited word of its file parameter.
[[ $scratch != *[[:space:]]* ]] || { echo "scratch path contains blanks: $scratch" >&2; exit 2; }

passed=0
failed=0

fail() {  # label, reason, [file to show]...
  local label=$1 reason=$2 f
  shift 2
  echo "FAIL $label: $reason"
  for f in "$@"; do
    if [[ -s $f ]]; then
      sed -e 's/^/    /' "$f" | head -n 60 || true
    fi
  done
  failed=$((failed + 1))
}

# Runs Main from class directory $1 with output in $2.out/$2.err and the remaining arguments;
# prints the exit code.
run_java() {
  local classes=$1 out=$2 rc=0
  shift 2
  timeout 60 "$jdk/bin/java" -Xverify:all -cp "$classes" Main "$@" > "$out.out" 2> "$out.err" < /dev/null || rc=$?
  echo "$rc"
}
