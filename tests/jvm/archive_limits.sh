#!/usr/bin/env bash
# Hostile archives and a hostile system. zyn's peak memory (GNU time's %M) must not grow with the thread
# count, an archive cut short while zyn reads it must end the run cleanly, and too little address space
# must give "ERROR: Not enough memory" or a normal run, never an abort.
#
#   archive_limits.sh ZYN_BINARY
#
# The archives are made here by python3: four 2 KB jars whose nested jar holds a deflated gigabyte; a 1 MB
# jar of 16 deflated classes of 61 MB each; a jar of 300 small classes.
set -euo pipefail
[[ $# -eq 1 && -x $1 ]] || { echo "usage: $0 ZYN_BINARY" >&2; exit 2; }
zyn=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
for tool in python3 /usr/bin/time; do command -v "$tool" > /dev/null || { echo "no $tool" >&2; exit 2; }; done
# shellcheck source=common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
export LC_ALL=C
mib=1024  # %M counts KiB

python3 - "$scratch" <<'PY'
import struct, sys, zlib
out = sys.argv[1]
def deflated(name, chunks):  # the content given in pieces, so that a gigabyte need not be in memory
    c, data, crc, size = zlib.compressobj(9, zlib.DEFLATED, -15), [], 0, 0
    for piece in chunks:
        data.append(c.compress(piece))
        crc, size = zlib.crc32(piece, crc), size + len(piece)
    return name, 8, b''.join(data) + c.flush(), crc, size
def jar(entries):
    body, central = bytearray(), bytearray()
    for name, method, data, crc, size in entries:
        n, head = name.encode(), struct.pack('<HHHHHIII', 20, 0, method, 0, 0x21, crc, len(data), size)
        central += b'PK\1\2\24\0' + head + struct.pack('<HHHHHII', len(n), 0, 0, 0, 0, 0, len(body)) + n
        body += b'PK\3\4' + head + struct.pack('<HH', len(n), 0) + n + data
    end = struct.pack('<IHHHHIIH', 0x06054b50, 0, 0, len(entries), len(entries), len(central), len(body), 0)
    return bytes(body + central + end)
def klass(name, pad=1, length=8):  # a class of its own name, java/lang/Object's subclass, with unused texts
    pool = [b'\1' + struct.pack('>H', len(name)) + name, b'\7\0\1', b'\1\0\20java/lang/Object', b'\7\0\3']
    pool += [b'\1' + struct.pack('>H', length) + b'%0*d' % (length, i) for i in range(pad)]
    body = b'\xca\xfe\xba\xbe\0\0\0\x34' + struct.pack('>H', len(pool) + 1) + b''.join(pool)
    return deflated(name.decode() + '.class', [body + bytes.fromhex('0021000200040000000000000000')])
inner = jar([deflated('c.jar', (bytes(1 << 20) for _ in range(1000))), klass(b'B')])
bomb = jar([deflated('lib/b.jar', [inner]), klass(b'A')])
for i in range(1, 5): open(f'{out}/b{i}.jar', 'wb').write(bomb)
big = klass(b'p/C', 930, 65535)
open(f'{out}/big.jar', 'wb').write(jar([(f'p/C{i}.class',) + big[1:] for i in range(16)]))
open(f'{out}/small.jar', 'wb').write(jar([klass(b'p/K%d' % i, 3, 20) for i in range(300)]))
PY
mkdir "$scratch/bombs" && mv "$scratch"/b?.jar "$scratch/bombs/"

pass() {
  echo "PASS $1"
  passed=$((passed + 1))
}

# Runs zyn in folder $1 with ZYN_THREADS=$2 and the remaining arguments; output in $1.out, $1.err, exit code
# in $1.rc, peak RSS in KiB in $1.rss, wall seconds in $1.s.
run() {
  local dir=$1 threads=$2 rc=0 start=$SECONDS
  shift 2
  (cd "$dir" && ZYN_THREADS=$threads /usr/bin/time -f %M -o "$dir.rss" "$zyn" "$@" > "$dir.out" 2> "$dir.err") || rc=$?
  echo "$rc" > "$dir.rc"
  echo $((SECONDS - start)) > "$dir.s"
}

# Case $1 on folder $2 (arguments after): at 1 and 8 threads the same output, peaks within 64 MiB of each
# other and below $3 MiB, each run within 30 s.
same_peak() {
  local label=$1 dir=$2 bound=$3
  shift 3
  run "$dir" 1 "$@"
  for f in out rc rss s; do mv "$dir.$f" "$dir.1.$f"; done
  run "$dir" 8 "$@"
  local r1 r8
  r1=$(tail -n 1 "$dir.1.rss") r8=$(tail -n 1 "$dir.rss")
  if ! cmp -s "$dir.1.out" "$dir.out" || [[ $(cat "$dir.1.rc") != $(cat "$dir.rc") || -s $dir.err ]]; then
    fail "$label" "1 and 8 threads differ" "$dir.1.out" "$dir.out" "$dir.err"
  elif ((r1 > bound * mib || r8 > bound * mib || r8 - r1 > 64 * mib || r1 - r8 > 64 * mib)); then
    fail "$label" "peak RSS $((r1 / mib)) MiB at 1 thread, $((r8 / mib)) MiB at 8 (bound $bound MiB, 64 MiB apart)"
  elif (($(cat "$dir.1.s") > 30 || $(cat "$dir.s") > 30)); then
    fail "$label" "$(cat "$dir.1.s") s at 1 thread, $(cat "$dir.s") s at 8"
  else
    pass "$label (peak RSS $((r1 / mib)) MiB at 1 thread, $((r8 / mib)) MiB at 8)"
  fi
}

same_peak nested-bombs "$scratch/bombs" 128 -tst '*.jar'
want='ERROR: Entry "b1.jar!lib/b.jar!c.jar" declares more than 100 times its compressed size'
[[ $(tail -n 1 "$scratch/bombs.out") == "$want" ]] || fail nested-bombs "not refused" "$scratch/bombs.out"

mkdir "$scratch/big" && cp "$scratch/big.jar" "$scratch/big/"
same_peak big-classes "$scratch/big" 512 -tst big.jar
grep -q '^Files processed: 16$' "$scratch/big.out" || fail big-classes "not every class processed" "$scratch/big.out"

# Cut to half its size once writing has begun (the run holds its temporary file open, unnamed or named):
# the classes left to inflate lie beyond the end.
mkdir "$scratch/cut" && cp "$scratch/big.jar" "$scratch/cut/w.jar"
(cd "$scratch/cut" && ZYN_THREADS=1 exec "$zyn" w.jar > ../cut.out 2> ../cut.err) &
pid=$!
for ((i = 0; i < 6000; i++)); do
  ls -l "/proc/$pid/fd" 2> /dev/null | grep -qE " $scratch/cut/(#|\.zyn-)" && break
  sleep 0.01
done
truncate -s $(($(stat -c %s "$scratch/big.jar") / 2)) "$scratch/cut/w.jar"
rc=0
wait "$pid" || rc=$?
if [[ $rc != 1 || $(tail -n 1 "$scratch/cut.out") != 'ERROR: Archive "w.jar" changed while it was read' ||
      -s $scratch/cut.err ]]; then
  fail cut-while-read "exit code $rc" "$scratch/cut.out" "$scratch/cut.err"
elif [[ $(ls -A "$scratch/cut") != w.jar ]]; then
  fail cut-while-read "left behind: $(ls -A "$scratch/cut")"
else
  pass cut-while-read
fi

# Too little address space, with many threads: a normal run, or the error with nothing written.
mkdir "$scratch/free" && cp "$scratch/small.jar" "$scratch/free/w.jar"
run "$scratch/free" 8 w.jar
for limit in 40 64 80 100 128 512; do
  d=$scratch/limit$limit
  mkdir "$d" && cp "$scratch/small.jar" "$d/w.jar"
  rc=0
  (ulimit -v $((limit * 1024)) && cd "$d" && ZYN_THREADS=8 exec "$zyn" w.jar > "$d.out" 2> "$d.err") || rc=$?
  if [[ $rc == 0 ]] && cmp -s "$d.out" "$scratch/free.out" && [[ ! -s $d.err ]]; then
    pass "address space $limit MiB (a normal run)"
  elif [[ $rc == 1 && $(tail -n 1 "$d.out") == 'ERROR: Not enough memory' && ! -s $d.err ]] &&
       cmp -s "$d/w.jar" "$scratch/small.jar" && [[ $(ls -A "$d") == w.jar ]]; then
    pass "address space $limit MiB (not enough memory)"
  else
    fail "address-space-$limit" "exit code $rc" "$d.out" "$d.err"
  fi
done

echo "$passed passed, $failed failed"
((passed > 0 && failed == 0))
