#!/usr/bin/env bash
# Whatever stops a run that writes, no original is lost: each is under its name as it was, or under its
# backup name with the result under its name, and no name is ever missing. Runs on a tree of about 500
# classes of java.base (java/time, java/util/concurrent) and on a jar of them:
#
#  - kill -9 at random moments, on the disk and on a tmpfs, and before each rename and each link (strace),
#    each followed by the same command again, which finishes the rest: then every file and backup is what a
#    complete run leaves; a second run of a complete run changes nothing, one with other keys replaces the
#    backups as a run over results does;
#    where the file system makes unnamed files a random kill leaves no temporary file; where it does not (a
#    ramfs), a kill's temporary files are never listed by a later run, which removes them;
#  - two runs at once, and a second run that starts while the first waits between two of its syncs;
#  - a file size limit and a full tmpfs: the error names the file, the files before it hold their results,
#    it and the files after it are as they were, no temporary file is left;
#  - SIGINT, SIGTERM and SIGHUP at random moments: "ERROR: Interrupted", exit code 1, no temporary file;
#    a signal that was ignored when zyn started (nohup) stays ignored.
#
#   fault_injection.sh ZYN_BINARY JDK_HOME
#
# Moments are drawn over a measured run's duration from ZYN_FAULT_SEED (printed; the process id if unset).
# Exit code 77 when nothing failed but the tmpfs could not be mounted (mounting needs root).
set -euo pipefail

[[ $# -eq 2 ]] || { echo "usage: $0 ZYN_BINARY JDK_HOME" >&2; exit 2; }
zyn=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
jdk=$2
[[ -x $zyn ]] || { echo "not an executable: $1" >&2; exit 2; }
[[ -x $jdk/bin/jar ]] || { echo "no jar under $jdk/bin" >&2; exit 2; }
command -v strace >/dev/null || { echo "strace is needed (.ci/run installs it)" >&2; exit 2; }

# shellcheck source=common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
export LC_ALL=C
seed=${ZYN_FAULT_SEED:-$$}
RANDOM=$seed
echo "seed $seed"
mnt=$scratch/mnt
# A signal that reaches a child of this shell before it runs zyn makes the child run this trap: only this
# shell cleans up.
trap '(( BASHPID != $$ )) || { umount "$mnt" 2>/dev/null || true; rm -rf "$scratch"; }' EXIT
skipped=0
pass() { echo "PASS $1"; passed=$((passed + 1)); }

# --- inputs: a tree, a small tree, a jar ------------------------------------------------------------------
if [[ -f $jdk/jmods/java.base.jmod ]]; then
  "$jdk/bin/jmod" extract --dir "$scratch/jmod" "$jdk/jmods/java.base.jmod"
  root=$scratch/jmod/classes
else
  "$jdk/bin/jimage" extract --dir "$scratch/image" --include 'regex:/java.base/java/(time|util/concurrent)/.*' \
    "$jdk/lib/modules"
  root=$scratch/image/java.base
fi
mkdir -p "$scratch/tree/java/util" "$scratch/small/zone" "$scratch/jar"
cp -r "$root/java/time" "$scratch/tree/java/"
cp -r "$root/java/util/concurrent" "$scratch/tree/java/util/"
find "$scratch/tree" -type f ! -name '*.class' -delete
cp "$root"/java/time/zone/*.class "$scratch/small/zone/"
cp "$root"/java/time/{Duration,Instant,Period,Year}.class "$scratch/small/"
"$jdk/bin/jar" cf "$scratch/jar/x.jar" -C "$scratch/tree" .
count=$(find "$scratch/tree" -name '*.class' | wc -l)
(( count >= 300 )) || { echo "only $count classes under $root" >&2; exit 2; }

work=$scratch/work
fresh() { rm -rf "$work"; cp -a "$scratch/$1" "$work"; }  # FORM: a pristine copy in $work
param() { if [[ $1 == jar ]]; then echo "$work/x.jar"; else echo "$work"; fi; }
# The files below $1 with their MD5 sums, "SUM  ./path" a line, in list order.
sums() { (cd "$1" && find . -type f -print0 | xargs -0 -r md5sum) | sort -k2; }
ms() { local t; t=$(date +%s%N); echo $((t / 1000000)); }
# Sleeps $1 milliseconds without starting a process, so that short delays stay short.
exec {sleeper}<> <(:)
nap() { local s; printf -v s '%d.%03d' $(($1 / 1000)) $(($1 % 1000)); read -r -t "$s" -u "$sleeper" || true; }
# LeakSanitizer cannot work under a tracer: a sanitizer build checks leaks in the other runs.
traced() { ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 strace -f -qq -o /dev/null "$@"; }

# Three complete runs of each form: they must write the same files (the checks compare with them), and the
# median time spreads the moments of the faults.
declare -A duration
for form in tree small jar; do
  sums "$scratch/$form" > "$scratch/$form.orig"
  times=()
  for run in 1 2 3; do
    fresh "$form"
    start=$(ms)
    "$zyn" -max "$(param "$form")" > "$scratch/out" || { cat "$scratch/out"; echo "$form: zyn failed" >&2; exit 2; }
    times+=($(( $(ms) - start + 1 )))
    sed "s|$work|W|g" "$scratch/out" > "$scratch/$form.table"
    sums "$work" > "$scratch/$form.result$run"
    cmp -s "$scratch/$form.result1" "$scratch/$form.result$run" ||
      { echo "two complete runs on $form wrote different files" >&2; exit 2; }
  done
  duration[$form]=$(printf '%s\n' "${times[@]}" | sort -n | sed -n 2p)
  mv "$scratch/$form.result1" "$scratch/$form.result"
  cp -a "$work" "$scratch/$form.done"
done
echo "complete runs: tree ${duration[tree]} ms, jar ${duration[jar]} ms ($count classes)"

# Prints what is wrong in $work for FORM: every original is under its name with no backup other than a copy
# of itself, or its result is under its name and the original under the backup name; nothing else is there
# but temporary files.
verify() {
  sums "$work" | awk '
    function backup(p,  n) { n = match(p, /\.[^.\/]*$/); return substr(p, 1, n) "~" substr(p, n + 1) }
    FILENAME == ARGV[1] { o[$2] = $1; next }
    FILENAME == ARGV[2] { r[$2] = $1; next }
    { now[$2] = $1 }
    END {
      for (p in o) {
        b = backup(p); seen[p]; seen[b]
        if (!(p in now)) print p " is missing"
        else if (now[p] == o[p]) { if ((b in now) && now[b] != o[p]) print b " is not the original" }
        else if (now[p] != r[p]) print p " is neither the original nor its result"
        else if (now[b] != o[p]) print p " holds its result, but " b " is not the original"
      }
      for (f in now) if (!(f in seen) && f !~ /\/\.zyn-[^\/]*\.~tmp$/) print f " should not be there"
    }' "$scratch/$1.orig" "$scratch/$1.result" -
}

# The sums of FORM after a run that stopped at file $2 (a path as sums shows it): the files before it in
# list order hold their results and have their backups, it and the files after it are as they were.
stopped_at() {
  awk -v cut="$2" '
    function backup(p,  n) { n = match(p, /\.[^.\/]*$/); return substr(p, 1, n) "~" substr(p, n + 1) }
    FILENAME == ARGV[1] { o[$2] = $1; next }
    { r[$2] = $1 }
    END { for (p in o) if (p < cut) { print r[p] "  " p; print o[p] "  " backup(p) } else print o[p] "  " p }' \
    "$scratch/$1.orig" "$scratch/$1.result" | sort -k2
}

# The checks must see a loss (a missing name, a backup that is not the original, a stray file), and the
# state after a stop before the first file or after the last must be what no run and a complete run leave.
fresh small
rm "$work/Year.class"; echo x > "$work/Duration.~class"; touch "$work/zone/stray"
if [[ $(verify small | wc -l) == 3 && $(stopped_at small ./) == $(cat "$scratch/small.orig") &&
      $(stopped_at small ./~) == $(cat "$scratch/small.result") ]]; then
  pass "self-check (planted losses are found)"
else
  fail "self-check" "planted losses went unnoticed, or a stop is not modelled as it happens"
fi

# --- kill -9 at random moments ------------------------------------------------------------------------------
# Whether the file system of $work makes unnamed files (O_TMPFILE), where a kill must leave no temporary file.
unnamed_files() { [[ $(stat -f -c %T "$(dirname "$work")") =~ ^(ext2/ext3|xfs|btrfs|tmpfs)$ ]]; }
random_kills() {  # FORM COUNT
  local form=$1 n=$2 i pid rc delay finished=0 written=0 left=0 where
  where=$(stat -f -c %T "$(dirname "$work")")
  for ((i = 1; i <= n; i++)); do
    fresh "$form"
    delay=$((RANDOM * duration[$form] / 32768))
    "$zyn" -max "$(param "$form")" > "$scratch/out" & pid=$!
    nap "$delay"
    kill -9 "$pid" 2>/dev/null || true
    rc=0; wait "$pid" 2>/dev/null || rc=$?
    (( rc == 0 )) && finished=$((finished + 1))
    verify "$form" > "$scratch/problems"
    if [[ -s $scratch/problems ]]; then fail "kill -9 $form" "after $delay ms" "$scratch/problems"; return; fi
    # The same command again finishes what the killed run began, and takes nothing it wrote for an original.
    cp -a "$work" "$scratch/killed"
    rc=0; "$zyn" -max "$(param "$form")" > "$scratch/again" || rc=$?
    if (( rc != 0 )) || [[ $(sums "$work" | grep -v '\.~tmp$') != $(sums "$scratch/$form.done") ]]; then
      diff <(sums "$scratch/$form.done") <(sums "$work") > "$scratch/problems" || true
      fail "kill -9 $form, then the same command" "after $delay ms (exit code $rc)" "$scratch/problems" "$scratch/again"
      return
    fi
    rm -rf "$work"
    mv "$scratch/killed" "$work"
    [[ -n $(find "$work" -name '*.~*' ! -name '*.~tmp') ]] && written=$((written + 1))
    [[ -z $(find "$work" -name '*.~tmp') ]] && continue
    left=$((left + 1))
    # With unnamed files, a kill can leave only a whole result: one that had just taken its temporary name
    # to take the file's in the next call (the system has no call that does both).
    if unnamed_files; then
      find "$work" -name '*.~tmp' -print0 | xargs -0 md5sum | awk 'FILENAME == ARGV[1] { r[$1]; next }
        !($1 in r) { print $2 " left behind, not a whole result" }' "$scratch/$form.result" - > "$scratch/problems"
      if [[ -s $scratch/problems ]]; then fail "kill -9 $form on $where" "after $delay ms" "$scratch/problems"; return; fi
    fi
    # A temporary file is never listed, however the pattern is written.
    rc=0; "$zyn" -tst "$work/**/*.*" > "$scratch/tst" || rc=$?
    if (( rc != 0 )) || grep -q '\.~' "$scratch/tst"; then
      fail "kill -9 $form" "after $delay ms, zyn -tst listed a temporary file or backup (exit code $rc)" "$scratch/tst"
      return
    fi
  done
  local kind="left temporary files (not listed by -tst)"
  unnamed_files && kind="left a whole result under its temporary name (not listed by -tst)"
  pass "kill -9 $form on $where: $n kills over ${duration[$form]} ms, $finished after the run, \
$((written - finished)) with backups made, $left $kind"
}
random_kills jar 24
random_kills tree 24

# A second run of a complete run writes nothing; one with other keys takes the results for originals, as
# specified (-noren keeps the SourceFile that -max removed from every class: no class comes out as before).
for form in jar tree; do
  fresh "$form.done"
  rc=0; "$zyn" -max "$(param "$form")" > "$scratch/out" || rc=$?
  if (( rc != 0 )) || [[ $(sums "$work") != $(sums "$scratch/$form.done") ]] ||
     ! cmp -s <(sed "s|$work|W|g" "$scratch/out") "$scratch/$form.table"; then
    fail "second run, $form" "exit code $rc; files or table not those of the first run" "$scratch/out"
  else
    pass "second run, $form: no file or backup changed, the first run's table"
  fi
  fresh "$form.done"
  rc=0; "$zyn" -noren "$(param "$form")" > "$scratch/out" || rc=$?
  diff <(sums "$scratch/$form.done" | grep -v '\.~' | sed 's/\.\([a-z]*\)$/.~\1/') <(sums "$work" | grep '\.~') > "$scratch/problems" || true
  if (( rc != 0 )) || [[ -s $scratch/problems ]]; then
    fail "second run with other keys, $form" "exit code $rc; the backups are not the first run's results" "$scratch/problems"
  else
    pass "second run with other keys, $form: the backups are the first run's results, as specified"
  fi
done
# A run stopped by a damaged class midway, run again once that class is removed: the files it wrote are done,
# the rest is processed, and every file and backup is what a complete run leaves.
fresh tree
printf '\xca\xfe\xba\xbe\x00' > "$work/java/time/format/Broken.class"
ra=0; "$zyn" -max "$work" > "$scratch/out" || ra=$?
rm "$work/java/time/format/Broken.class"
rb=0; "$zyn" -max "$work" > "$scratch/out2" || rb=$?
if (( ra == 1 && rb == 0 )) && [[ $(sums "$work") == $(sums "$scratch/tree.done") ]]; then
  pass "a run stopped at a damaged class, run again without it: nothing lost, what a complete run leaves"
else
  diff <(sums "$scratch/tree.done") <(sums "$work") > "$scratch/problems" || true
  fail "run again after a damaged class" "exit codes $ra and $rb" "$scratch/problems" "$scratch/out2"
fi

mkdir -p "$mnt"
if mount -t tmpfs -o size=256m tmpfs "$mnt" 2>/dev/null; then
  work=$mnt/work
  random_kills jar 20
  random_kills tree 20
  work=$scratch/work
  umount "$mnt"
else
  echo "SKIP kill -9 on a tmpfs: cannot mount one here"
  skipped=1
fi

# Where zyn cannot name an unnamed file later (no /proc: a run in a mount namespace that hides it), it writes
# named temporary files as before, locked: a kill leaves them (a run killed in its second sync leaves the
# results that wait for it), no -tst run lists them, and the next run that writes removes each, with a line,
# and writes what a complete run writes.
noproc() { unshare -m sh -c 'mount -t tmpfs none /proc && exec "$@"' sh "$@"; }
if noproc true 2> /dev/null; then
  fresh tree
  { noproc strace -f -qq -o /dev/null -e trace=syncfs -e inject=syncfs:signal=SIGKILL:when=2 "$zyn" -max "$work" \
      > "$scratch/out"; } 2> /dev/null || true
  left=$(find "$work" -name '*.~tmp' | wc -l)
  rc=0; "$zyn" -tst "$work/**/*.*" > "$scratch/tst" || rc=$?
  listed=$(grep -c '\.~' "$scratch/tst" || true)
  # (The run after a kill that finishes the rest is checked below; here a fresh tree with such leftovers.)
  fresh tree
  planted=$(( left < 99 ? left : 99 ))
  for ((k = 1; k <= planted; k++)); do : > "$work/java/.zyn-Left$(printf '%02d' "$k").~tmp"; done
  noproc "$zyn" -max "$work" > "$scratch/out2" || rc=$?
  removed=$(grep -c '^WARNING: Temporary file ".*" of a stopped run removed$' "$scratch/out2" || true)
  if (( rc == 0 && left > 0 && listed == 0 && removed == planted )) && [[ -z $(find "$work" -name '*.~tmp') ]] &&
     [[ $(sums "$work") == $(cat "$scratch/tree.result") ]]; then
    pass "no /proc: a kill left $left temporary files, unlisted; a run removes $planted, a line each, and writes the same"
  else
    fail "no /proc" "exit code $rc, a kill left $left, $listed listed, $removed of $planted removed" "$scratch/out2"
  fi
else
  echo "SKIP no /proc: cannot make a mount namespace here"
  skipped=1
fi

# --- kill -9 on entering the 1st, 2nd, ... rename or link, until a run makes fewer ------------------------
kill_before() {  # FORM CALLS
  local n=1 rc
  while :; do
    fresh "$1"
    rc=0
    { traced -e trace="$2" -e inject="$2:signal=SIGKILL:when=$n" "$zyn" -max "$(param "$1")" > "$scratch/out"
    } 2>/dev/null || rc=$?
    verify "$1" > "$scratch/problems"
    if [[ -s $scratch/problems ]] || (( rc != 0 && rc != 137 )); then
      fail "kill before $2 $1" "call $n (exit code $rc)" "$scratch/problems" "$scratch/out"; return
    fi
    (( rc == 0 )) && break
    (( ++n <= 300 )) || { fail "kill before $2 $1" "still killed at call 300"; return; }
  done
  (( n > 1 )) || { fail "kill before $2 $1" "no call of $2 was made"; return; }
  pass "kill -9 before each of the $((n - 1)) calls of $2 of $1"
}
for calls in rename,renameat,renameat2 link,linkat; do
  kill_before small "$calls"
  kill_before jar "$calls"
done

# --- two runs at once ---------------------------------------------------------------------------------------
busy() { [[ $(tail -n 1 "$1") =~ ^ERROR:\ File\ \".*\"\ is\ being\ processed\ by\ another\ run$ ]]; }
commits=rename,renameat,renameat2,link,linkat
together() {  # FORM TRIES
  local i k rc pid=() stopped=0
  for ((i = 1; i <= $2; i++)); do
    fresh "$1"
    # Each run waits 0.7 s before its first rename and link, so that the two overlap however the machine
    # schedules them: a run that started only after the other had ended would rightly take its results for
    # originals.
    for k in 1 2; do
      traced -e trace="$commits" -e inject="$commits:delay_enter=700000:when=1" "$zyn" -max "$(param "$1")" \
        > "$scratch/out$k" & pid[k]=$!
    done
    : > "$scratch/problems"
    for k in 1 2; do
      rc=0; wait "${pid[k]}" || rc=$?
      if (( rc == 1 )) && busy "$scratch/out$k"; then stopped=$((stopped + 1))
      elif (( rc != 0 )); then echo "run $k: exit code $rc, $(tail -n 1 "$scratch/out$k")" >> "$scratch/problems"
      fi
    done
    verify "$1" >> "$scratch/problems"
    find "$work" -name '*.~tmp' -printf '%P left behind\n' >> "$scratch/problems"
    [[ ! -s $scratch/problems ]] || { fail "two runs on $1" "try $i" "$scratch/problems"; return; }
  done
  pass "two runs at once on $1: $2 tries, $stopped runs stopped as the file was being processed"
}
together jar 6
together tree 6

# The first run waits in its second sync, its first 64 files written and the next 64 locked; a second run
# that starts then must not replace the backups of the files the first one wrote.
fresh tree
traced -e trace=syncfs -e inject=syncfs:delay_enter=3000000:when=2 "$zyn" -max "$work" > "$scratch/out1" & first=$!
for ((i = 0; i < 500 && $(find "$work" -name '*.~class' | wc -l) < 128; i++)); do nap 20; done
rb=0; "$zyn" -max "$work" > "$scratch/out2" || rb=$?
ra=0; wait "$first" || ra=$?
verify tree > "$scratch/problems"
if [[ -s $scratch/problems ]] || (( ra != 0 )) || ! busy "$scratch/out2"; then
  sed -i "1i first run: exit code $ra; second run: exit code $rb, $(tail -n 1 "$scratch/out2")" "$scratch/problems"
  fail "second run during the first" "$(wc -l < "$scratch/problems") problems" "$scratch/problems"
else
  pass "second run during the first: stopped as busy, nothing lost"
fi

# --- a file size limit and a full disk: the exact state after the error ------------------------------------
# Checks a run on FORM in $work that ended with exit code RC and should have stopped with REASON at file CUT
# (a path below $work; when not given, the file its error line names): the files before it in list order
# hold their results, it and the files after it are as they were, no temporary file is left.
check_stop() {  # LABEL FORM RC REASON [CUT]
  local label=$1 form=$2 rc=$3 reason=$4 cut=${5:-} line
  line=$(tail -n 1 "$scratch/out")
  [[ -n $cut ]] || cut=$(sed -n 's|^ERROR: File "'"$work"'/\(.*\)" not written: '"$reason"'$|\1|p' <<< "$line")
  diff <(stopped_at "$form" "./$cut") <(sums "$work") > "$scratch/problems" || true
  if (( rc != 1 )) || [[ -z $cut || $line != "ERROR: File \"$work/$cut\" not written: $reason" ]]; then
    fail "$label" "exit code $rc, expected 1 and \"$reason\" on ${cut:-a file} as the last line" "$scratch/out"
  elif [[ -s $scratch/problems ]]; then
    fail "$label" "the files are not as they should be after a stop at $cut" "$scratch/problems"
  else
    pass "$label: stopped at $cut, the files before it written, no temporary file"
  fi
}

# Under a file size limit of KB KiB; the output goes through a pipe, which the limit does not cut.
limited() {  # FORM KB CUT
  local rc
  fresh "$1"
  (ulimit -f "$2"; rc=0; "$zyn" -max "$(param "$1")" || rc=$?; echo "$rc" > "$scratch/rc") | cat > "$scratch/out"
  check_stop "file size limit, $1" "$1" "$(cat "$scratch/rc")" "File too large" "$3"
}
limited jar $(( $(stat -c %s "$scratch/jar.done/x.jar") / 2048 )) x.jar
# Just below the largest result: the first file in list order whose result is larger stops the run.
kb=$(( $(find "$scratch/tree.done" -name '*.class' -printf '%s\n' | sort -n | tail -n 1) / 1024 - 1 ))
cut=$(cd "$scratch/tree.done" && find . -name '*.class' -size +"$kb"k | sort | head -n 1)
limited tree "$kb" "${cut#./}"

if mount -t tmpfs -o size=64m tmpfs "$mnt" 2>/dev/null; then
  work=$mnt/work
  for form in jar tree; do
    mount -o remount,size=64m "$mnt"
    fresh "$form"
    # Room for a third of the results beside the originals, which their backups keep.
    room=$(find "$scratch/$form.done" -type f ! -name '*.~*' -printf '%s\n' |
      awk '{ s += $1 } END { print int(s / 3072) }')
    mount -o remount,size=$(( $(df -k --output=used "$mnt" | tail -n 1) + room ))k "$mnt"
    rc=0; "$zyn" -max "$(param "$form")" > "$scratch/out" || rc=$?
    check_stop "full disk, $form" "$form" "$rc" "No space left on device"
  done
  work=$scratch/work
  umount "$mnt"
else
  echo "SKIP full disk: cannot mount a tmpfs here"
  skipped=1
fi

# --- SIGINT, SIGTERM and SIGHUP at random moments ----------------------------------------------------------
interrupts() {  # FORM COUNT: for each signal, until COUNT runs are caught (at most three times as many)
  local form=$1 sig i j pid rc delay caught finished early
  for sig in INT TERM HUP; do
    caught=0 finished=0 early=0
    for ((i = 1; i <= 3 * $2 && caught < $2; i++)); do
      fresh "$form"
      delay=$((RANDOM * duration[$form] / 32768))
      # As from a terminal: a background job of a script would start with SIGINT ignored.
      env --default-signal=INT "$zyn" -max "$(param "$form")" > "$scratch/out" & pid=$!
      for ((j = 0; j < 20000; j++)); do [[ /proc/$pid/exe -ef $zyn ]] && break; done
      nap "$delay"
      kill -s "$sig" "$pid" 2>/dev/null || true
      rc=0; wait "$pid" 2>/dev/null || rc=$?
      verify "$form" > "$scratch/problems"
      find "$work" -name '*.~tmp' -printf '%P left behind\n' >> "$scratch/problems"
      if (( rc == 1 )) && [[ $(tail -n 1 "$scratch/out") == "ERROR: Interrupted" ]]; then caught=$((caught + 1))
      elif (( rc == 0 )) && grep -q '^Total reduction' "$scratch/out"; then finished=$((finished + 1))
      # Before zyn takes the signals over, a signal ends it as any process.
      elif (( rc > 128 )) && [[ ! -s $scratch/out ]]; then early=$((early + 1))
      else echo "exit code $rc; output ends: $(tail -n 1 "$scratch/out")" >> "$scratch/problems"
      fi
      if [[ -s $scratch/problems ]]; then fail "SIG$sig $form" "after $delay ms" "$scratch/problems"; return; fi
    done
    if (( caught == 0 )); then fail "SIG$sig $form" "no run was caught while it ran"; return; fi
    pass "SIG$sig $form: $caught interrupted, $finished finished first, $early before zyn started"
  done
}
interrupts jar 5
interrupts tree 5

# A run started with SIGHUP ignored (as nohup starts it) must not end when its terminal hangs up: the
# signal comes once the first backup shows the run under way.
fresh tree
nohup "$zyn" -max "$work" > "$scratch/out" & pid=$!
for ((i = 0; i < 2000 && $(find "$work" -name '*.~class' -print -quit | wc -l) == 0; i++)); do nap 1; done
kill -s HUP "$pid" 2>/dev/null || true
rc=0; wait "$pid" || rc=$?
if (( rc == 0 )); then pass "SIGHUP ignored under nohup"
else fail "SIGHUP ignored under nohup" "exit code $rc; output ends: $(tail -n 1 "$scratch/out")"
fi

echo "$passed passed, $failed failed"
(( failed == 0 )) || exit 1
(( skipped == 0 )) || exit 77
