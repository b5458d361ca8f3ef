#!/usr/bin/env bash
# Archives: zyn optimizes the class entries of jars, wars and zips in place and keeps everything else.
#
#   archives.sh ZYN_BINARY JDK17_HOME JDK25_HOME
#
# Every archive is built here from the Java sources in archives/ with JDK 17's javac, jar, keytool and
# jarsigner, or with zip, and binary-patched by a small perl helper (zipmeta.pl, written below). The JDK 25
# runs are left out when JDK25_HOME has no bin/java.
#
# Archives that zyn rewrites: a multi-release jar, a jar with a stored nested jar and a deflated nested zip
# holding another jar, a war, a modular jar, a Zip64 jar of more than 65,535 entries, a launch script in front
# of a jar with a comment (named app.run, and app without any suffix). After `zyn -super` the table lists every
# class entry in archive order (nested ones as outer.jar!lib/inner.jar!entry) with its entry's size; each class
# entry holds, and its row shows, what zyn -super makes of that class as a file of its own; the totals and the
# archive reduction add up; the original is the backup and the mode is kept; entries that did not change are
# byte for byte the same, changed ones keep their header fields; prefix and comment stay; unzip -t accepts the
# result; and the programs print what they printed before, under -Xverify:all on each JDK.
# Archives that zyn must refuse with an error (damaged ones, a class entry that is no class) or leave alone with
# a warning (signed, encrypted, duplicate names, an unknown method), writing nothing. -old and -tst print what
# the default mode prints. Batches run with ZYN_THREADS=4 must print and write what ZYN_THREADS=1 does: all
# kinds of rewritten archives, skipped ones before a good one, and a damaged archive in the middle.
set -euo pipefail

usage() {
  echo "usage: $0 ZYN_BINARY JDK17_HOME JDK25_HOME" >&2
  exit 2
}

[[ $# -eq 3 ]] || usage
zyn=$1
jdk17=$2
jdk25=$3
[[ -x $zyn ]] || { echo "not an executable: $zyn" >&2; exit 2; }
for tool in javac java jar jarsigner keytool; do
  [[ -x $jdk17/bin/$tool ]] || { echo "no $tool under $jdk17/bin" >&2; exit 2; }
done
for tool in zip unzip zipinfo perl; do
  command -v "$tool" > /dev/null || { echo "$tool is not installed" >&2; exit 2; }
done
zyn=$(cd "$(dirname "$zyn")" && pwd)/$(basename "$zyn")
jdks=("$jdk17")
if [[ -x $jdk25/bin/java ]]; then
  jdks+=("$jdk25")
else
  echo "SKIP runs on JDK 25: no $jdk25/bin/java"
fi

jdk=$jdk17
# shellcheck source=common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
export LC_ALL=C
src=$(cd "$(dirname "${BASH_SOURCE[0]}")/archives" && pwd)
started=$SECONDS

pass() {
  echo "PASS $1"
  passed=$((passed + 1))
}

# Construction must give the archive that a check is about; if not, the check would prove nothing.
broken_setup() {
  echo "setup: $*" >&2
  exit 2
}

# --- zipmeta.pl: reads and patches zip headers found by their signatures ------------------------------------
zipmeta=$scratch/zipmeta.pl
cat > "$zipmeta" <<'PERL'
# zipmeta.pl COMMAND ...
#   list FILE                    one line per central entry, then an END line
#   names FILE                   entry names in central directory order
#   compare OLD NEW              what differs beyond rewritten class and nested archive entries
#   set FILE NAME FIELD VALUE    FIELD (method, crc, usize, csize, time, name) of entry NAME in its central and
#                                local header (or data descriptor); VALUE is a number, +N, -N, ^N (xor) or /N
#                                (divided by N); a new name must have the old one's length
#   setcentral FILE NAME offset VALUE   the local header offset, which only the central header has
#   setend FILE entries VALUE    both entry counts of the end record
#   cdpos FILE                   file position of the central directory
use strict;
use warnings;
use Digest::MD5 qw(md5_hex);

sub slurp { my ($f) = @_; open my $h, '<:raw', $f or die "$f: $!\n"; local $/; my $d = <$h>; close $h; $d // '' }
sub spew { my ($f, $d) = @_; open my $h, '>:raw', $f or die "$f: $!\n"; print $h $d; close $h or die "$f: $!\n" }

# Field offsets: central header (PK 1 2, 46 bytes, then name, extra, comment), local header (PK 3 4, 30 bytes,
# then name, extra), data descriptor after the data when flag bit 3 is set (optional PK 7 8, crc, sizes).
my %cen = (flags => [8, 'v'], method => [10, 'v'], time => [12, 'v'], date => [14, 'v'], crc => [16, 'V'],
           csize => [20, 'V'], usize => [24, 'V'], offset => [42, 'V']);
my %loc = (flags => [6, 'v'], method => [8, 'v'], time => [10, 'v'], date => [12, 'v'], crc => [14, 'V'],
           csize => [18, 'V'], usize => [22, 'V']);
my %desc = (crc => 0, csize => 4, usize => 8);

sub parse {
  my ($d, $file) = @_;
  my $size = length $d;
  my $eocd = -1;
  # The end record (PK 5 6, 22 bytes, then the comment) is the last one whose comment reaches the file's end.
  for (my $p = $size - 22; $p >= 0 && $p >= $size - 22 - 65535; $p--) {
    next unless substr($d, $p, 4) eq "PK\x05\x06";
    if ($p + 22 + unpack('v', substr($d, $p + 20, 2)) == $size) { $eocd = $p; last }
  }
  die "$file: no end of central directory record\n" if $eocd < 0;
  my ($entries, $cdsize, $cdoff, $clen) = unpack('v V V v', substr($d, $eocd + 10, 12));
  my $zip64 = 0;
  my $cdend = $eocd;
  if ($entries == 0xFFFF || $cdoff == 0xFFFFFFFF || $cdsize == 0xFFFFFFFF) {
    # Zip64: a locator (PK 6 7) right before the end record points at the Zip64 end record (PK 6 6).
    my $locator = $eocd - 20;
    die "$file: no Zip64 locator\n" unless $locator >= 0 && substr($d, $locator, 4) eq "PK\x06\x07";
    my $rec = unpack('Q<', substr($d, $locator + 8, 8));
    $rec += $locator - ($rec + 56) if substr($d, $rec, 4) ne "PK\x06\x06";
    die "$file: no Zip64 end record\n" unless substr($d, $rec, 4) eq "PK\x06\x06";
    ($entries, $cdsize, $cdoff) = unpack('Q< Q< Q<', substr($d, $rec + 32, 24));
    $zip64 = 1;
    $cdend = $rec;
  }
  # Offsets count from the zip's own start: a prefix glued in front without adjusting them shifts them all.
  my $delta = $cdend - $cdsize - $cdoff;
  my @e;
  my $p = $cdoff + $delta;
  for my $i (0 .. $entries - 1) {
    die "$file: no central header $i at $p\n" unless substr($d, $p, 4) eq "PK\x01\x02";
    my %x = (cpos => $p);
    for my $k (keys %cen) {
      my ($o, $t) = @{$cen{$k}};
      $x{$k} = unpack($t, substr($d, $p + $o, $t eq 'v' ? 2 : 4));
    }
    my ($nl, $xl, $cl) = unpack('v v v', substr($d, $p + 28, 6));
    $x{name} = substr($d, $p + 46, $nl);
    $x{cextra} = unpack('H*', substr($d, $p + 46 + $nl, $xl));
    $x{comment} = unpack('H*', substr($d, $p + 46 + $nl + $xl, $cl));
    $x{clen} = 46 + $nl + $xl + $cl;
    my $c = substr($d, $p, $x{clen});
    substr($c, 42, 4) = "\0\0\0\0";  # earlier entries that changed size move this one
    $x{cmd5} = md5_hex($c);
    my $l = $x{offset} + $delta;
    die "$file: no local header for $x{name} at $l\n" unless substr($d, $l, 4) eq "PK\x03\x04";
    $x{lpos} = $l;
    my ($lnl, $lxl) = unpack('v v', substr($d, $l + 26, 4));
    die "$file: the local header of $x{name} names another entry\n" unless substr($d, $l + 30, $lnl) eq $x{name};
    $x{lextra} = unpack('H*', substr($d, $l + 30 + $lnl, $lxl));
    my $end = $l + 30 + $lnl + $lxl + $x{csize};
    if ($x{flags} & 8) {
      $x{desc} = substr($d, $end, 4) eq "PK\x07\x08" ? $end + 4 : $end;
      $end = $x{desc} + 12;
    }
    $x{lmd5} = md5_hex(substr($d, $l, $end - $l));
    push @e, \%x;
    $p += $x{clen};
  }
  my $first = $cdoff + $delta;
  for (@e) { $first = $_->{lpos} if $_->{lpos} < $first }
  return {entries => \@e, eocd => $eocd, comment => unpack('H*', substr($d, $eocd + 22, $clen)), zip64 => $zip64,
          delta => $delta, cdpos => $cdoff + $delta, prefix => md5_hex(substr($d, 0, $first)), prefixlen => $first};
}

sub find_entry {
  my ($z, $name, $file) = @_;
  my @m = grep { $_->{name} eq $name } @{$z->{entries}};
  die "$file: " . scalar(@m) . " entries named $name\n" unless @m == 1;
  return $m[0];
}

sub newval {
  my ($old, $v) = @_;
  return $old + $1 if $v =~ /^\+(\d+)$/;
  return $old - $1 if $v =~ /^-(\d+)$/;
  return $old ^ $1 if $v =~ /^\^(\d+)$/;
  return int($old / $1) if $v =~ /^\/(\d+)$/;
  return $v if $v =~ /^\d+$/;
  die "bad value $v\n";
}

sub poke {
  my ($dref, $pos, $t, $v) = @_;
  substr($$dref, $pos, $t eq 'v' ? 2 : 4) = pack($t, $v);
}

my $cmd = shift // '';
if ($cmd eq 'list') {
  my $z = parse(slurp($ARGV[0]), $ARGV[0]);
  for my $x (@{$z->{entries}}) {
    my @fields = qw(method flags time date crc csize usize lextra cextra comment);
    print join("\t", $x->{name}, map({ "$_=$x->{$_}" } @fields), "local=$x->{lmd5}", "central=$x->{cmd5}"), "\n";
  }
  print join("\t", 'END', 'entries=' . scalar(@{$z->{entries}}), "zip64=$z->{zip64}", "delta=$z->{delta}",
             "prefixlen=$z->{prefixlen}", "comment=$z->{comment}"), "\n";
} elsif ($cmd eq 'names') {
  print "$_->{name}\n" for @{parse(slurp($ARGV[0]), $ARGV[0])->{entries}};
} elsif ($cmd eq 'cdpos') {
  print parse(slurp($ARGV[0]), $ARGV[0])->{cdpos}, "\n";
} elsif ($cmd eq 'compare') {
  my ($a, $b) = map { parse(slurp($_), $_) } @ARGV[0, 1];
  my ($ea, $eb) = ($a->{entries}, $b->{entries});
  my @p;
  my $names = sub { join("\n", map { $_->{name} } @{$_[0]}) };
  push @p, 'entry names or order differ' if $names->($ea) ne $names->($eb);
  push @p, 'archive comment differs' if $a->{comment} ne $b->{comment};
  if ($a->{prefix} ne $b->{prefix}) {
    push @p, "bytes before the first entry differ ($a->{prefixlen} and $b->{prefixlen} of them)";
  }
  push @p, 'Zip64 end records came or went' if $a->{zip64} != $b->{zip64};
  my $changed = 0;
  for my $i (0 .. ($#$ea < $#$eb ? $#$ea : $#$eb)) {
    my ($x, $y) = ($ea->[$i], $eb->[$i]);
    next if $x->{name} ne $y->{name};
    if ($x->{crc} == $y->{crc} && $x->{usize} == $y->{usize}) {
      push @p, "unchanged $x->{name}: local header or data differ" if $x->{lmd5} ne $y->{lmd5};
      push @p, "unchanged $x->{name}: central header differs" if $x->{cmd5} ne $y->{cmd5};
      next;
    }
    $changed++;
    if ($x->{name} !~ /\.(class|jar|war|zip)$/) {
      push @p, "$x->{name} changed, though neither a class nor an archive";
    }
    for my $k (qw(method flags time date lextra cextra comment)) {
      push @p, "$x->{name}: $k $x->{$k} became $y->{$k}" if $x->{$k} ne $y->{$k};
    }
  }
  print "  $_\n" for @p;
  print scalar(@$ea) . " entries, $changed changed\n";
} elsif ($cmd eq 'set' || $cmd eq 'setcentral') {
  my ($file, $name, $field, $v) = @ARGV;
  my $d = slurp($file);
  my $x = find_entry(parse($d, $file), $name, $file);
  if ($field eq 'name') {
    die "a new name must have the length of $name\n" unless length($v) == length($name);
    substr($d, $x->{cpos} + 46, length $v) = $v;
    substr($d, $x->{lpos} + 30, length $v) = $v;
  } else {
    die "no field $field for $cmd\n" unless $cen{$field} && ($cmd eq 'setcentral' || $loc{$field});
    my $n = newval($x->{$field}, $v);
    poke(\$d, $x->{cpos} + $cen{$field}[0], $cen{$field}[1], $n);
    if ($cmd eq 'set') {
      # With a data descriptor the local header holds zeros for the crc and sizes.
      if (($x->{flags} & 8) && exists $desc{$field}) {
        poke(\$d, $x->{desc} + $desc{$field}, 'V', $n);
      } else {
        poke(\$d, $x->{lpos} + $loc{$field}[0], $loc{$field}[1], $n);
      }
    }
  }
  spew($file, $d);
} elsif ($cmd eq 'setend') {
  my ($file, $field, $v) = @ARGV;
  die "setend knows only entries\n" unless $field eq 'entries';
  my $d = slurp($file);
  my $z = parse($d, $file);
  die "$file has Zip64 end records\n" if $z->{zip64};
  my $n = newval(scalar(@{$z->{entries}}), $v);
  poke(\$d, $z->{eocd} + 8, 'v', $n);
  poke(\$d, $z->{eocd} + 10, 'v', $n);
  spew($file, $d);
} else {
  die "usage: zipmeta.pl list|names|compare|set|setcentral|setend|cdpos ...\n";
}
PERL
zm() { perl "$zipmeta" "$@"; }

# Prints field $3 (method, flags, crc, ...) of entry $2 of archive $1.
field() {
  zm list "$1" | awk -F'\t' -v name="$2" -v key="$3=" '
    $1 == name { for (i = 2; i <= NF; i++) if (index($i, key) == 1) print substr($i, length(key) + 1) }'
}

# --- running zyn and java ------------------------------------------------------------------------------------
# run_zyn THREADS DIR OUT ARGS...: zyn inside DIR (ZYN_THREADS=THREADS unless "-"), its output in OUT, exit
# code in $rc.
run_zyn() {
  local n=$1 dir=$2 out=$3
  shift 3
  rc=0
  if [[ $n == - ]]; then
    (cd "$dir" && timeout 300 "$zyn" "$@") > "$out" 2>&1 || rc=$?
  else
    (cd "$dir" && ZYN_THREADS=$n timeout 300 "$zyn" "$@") > "$out" 2>&1 || rc=$?
  fi
}

# Prints "NAME OLD CHANGE" for each row of the size table in zyn output $1 (a name of 30 characters or more, or
# one with warnings, has its numbers on a later line).
table_rows() {
  awk '
    /^-+$/ { dashes++; next }
    dashes != 1 || /^(WARNING|ERROR):/ { next }
    NF == 4 && $4 ~ /%$/ { print $1, $2, $3; next }
    NF == 3 && $3 ~ /%$/ && pending != "" { print pending, $1, $2; pending = ""; next }
    NF == 1 { pending = $1 }
  ' "$1"
}

# Prints the value of summary line "$2: N" of zyn output $1.
summary() {
  sed -n "s/^$2: \\([0-9-]*\\)\$/\\1/p" "$1"
}

# extract ARCHIVE ENTRY OUT: writes the entry's bytes to OUT. (unzip warns, with exit code 1, of bytes in
# front of a zip whose offsets do not count them.)
extract() {
  local code=0
  unzip -qq -p "$1" "$2" > "$3" 2> "$3.err" || code=$?
  if (( code > 1 )); then
    echo "unzip -p $1 $2 exits with $code: $(head -c 300 "$3.err")"
    return 1
  fi
}

# class_sizes FILE SHOWN [DIR]: "SHOWN!entry usize" for each class entry of archive FILE and, recursively, of
# the archives nested in it, in the order of the central directories: the rows zyn's table must have. With DIR,
# the entries are also extracted there as 0001.class, 0002.class, ... in that order.
extracted=0
class_sizes() {
  local file=$1 shown=$2 dir=${3:-} name size nested
  while read -r name size; do
    case $name in
      *.class)
        echo "$shown!$name $size"
        if [[ -n $dir ]]; then
          extracted=$((extracted + 1))
          extract "$file" "$name" "$dir/$(printf %04d "$extracted").class" || true
        fi
        ;;
      *.jar | *.war | *.zip)
        nested=$(mktemp "$scratch/nested.XXXXXX")
        extract "$file" "$name" "$nested" || true
        class_sizes "$nested" "$shown!$name" "$dir"
        ;;
    esac
  done < <(zm list "$file" | awk -F'\t' '$1 ~ /\.(class|jar|war|zip)$/ { sub(/^usize=/, "", $8); print $1, $8 }')
}

# same_archive_parts OLD NEW: zipmeta's compare of the two archives and of every nested archive in them; prints
# the problems and, last, the number of changed entries at the top.
same_archive_parts() {
  local old=$1 new=$2 report name a b
  report=$(zm compare "$old" "$new")
  sed '$d' <<< "$report"
  while read -r name; do
    case $name in
      *.jar | *.war | *.zip)
        a=$(mktemp "$scratch/nested.XXXXXX")
        b=$(mktemp "$scratch/nested.XXXXXX")
        extract "$old" "$name" "$a" || true
        extract "$new" "$name" "$b" || true
        same_archive_parts "$a" "$b" | sed -e '$d' -e "s|^  |  $name!|"
        ;;
    esac
  done < <(zm names "$old" | grep -E '\.(jar|war|zip)$' || true)
  tail -n 1 <<< "$report" | cut -d' ' -f3
}

# unzip_like PRISTINE RESULT: unzip -t must say of RESULT what it says of PRISTINE, with no error. (A prefix
# glued in front without adjusting the offsets gets a warning and exit code 1 from unzip.)
unzip_like() {
  local want=0 got=0
  unzip -t "$1" > "$scratch/unzip.want" 2>&1 || want=$?
  unzip -t "$2" > "$scratch/unzip.got" 2>&1 || got=$?
  if (( want > 1 )); then
    broken_setup "unzip -t fails on $1: $(tail -n 3 "$scratch/unzip.want")"
  fi
  if [[ $got != "$want" ]] || ! grep -q '^No errors detected' "$scratch/unzip.got"; then
    echo "unzip -t exits with $got (with $want before):"
    grep -v ' OK$' "$scratch/unzip.got" | head -n 20 || true
  fi
}

# behaves_alike LABEL BEFORE AFTER COMMAND...: on every JDK, COMMAND with {} standing for archive BEFORE and
# then for AFTER prints the same and exits with 0 both times. A leading "java" becomes that JDK's
# java -Xverify:all; any other command finds that java in $JAVA.
java_runs=0
behaves_alike() {
  local label=$1 before=$2 after=$3 j side path a out problems=() rc_before
  shift 3
  for j in "${jdks[@]}"; do
    out=$scratch/java/$((++java_runs))
    mkdir -p "$out"
    for side in before after; do
      [[ $side == before ]] && path=$before || path=$after
      local args=()
      for a in "$@"; do args+=("${a//\{\}/$path}"); done
      if [[ ${args[0]} == java ]]; then
        args=("$j/bin/java" -Xverify:all "${args[@]:1}")
      fi
      rc=0
      JAVA=$j/bin/java timeout 120 "${args[@]}" > "$out/$side.out" 2> "$out/$side.err" < /dev/null || rc=$?
      [[ $side == before ]] && rc_before=$rc
    done
    if [[ $rc_before != 0 || ! -s $out/before.out ]]; then
      broken_setup "$label: '$*' on $j before optimization: exit code $rc_before, $(head -c 300 "$out/before.err")"
    fi
    if [[ $rc != 0 ]]; then
      fail "$label" "'$*' on $(basename "$j") exits with $rc after optimization" "$out/after.err" "$out/after.out"
      return 1
    fi
    if ! diff -u --label before --label after "$out/before.out" "$out/after.out" > "$out/diff"; then
      fail "$label" "'$*' on $(basename "$j") prints something else after optimization" "$out/diff"
      return 1
    fi
  done
}

# Lists the names in directory $1, one a line.
dir_names() {
  (cd "$1" && find . -mindepth 1 -printf '%P\n' | sort)
}

# check_rewritten LABEL OUT PRISTINE RESULT SHOWN: zyn (output OUT, exit code $rc) optimized archive PRISTINE
# alone into RESULT, its table naming it SHOWN. Checks the table against the entries, the totals, and the
# archive's parts; with "nounzip" as $6, unzip -t is not asked. Each class entry must have become what zyn
# -super makes of it as a class file of its own, with the same table row.
check_rewritten() {
  local label=$1 out=$2 pristine=$3 result=$4 shown=$5 unzip=${6:-} problems=() t=$scratch/rows rows changed k
  if [[ $rc != 0 ]]; then
    fail "$label" "zyn exited with $rc" "$out"
    return 1
  fi
  if grep -Eq '^(ERROR|WARNING):' "$out"; then
    fail "$label" "zyn printed an error or a warning" "$out"
    return 1
  fi
  rm -rf "$t.in" "$t.out"
  mkdir -p "$t.in" "$t.out"
  extracted=0
  class_sizes "$pristine" "$shown" "$t.in" > "$t.before"
  extracted=0
  class_sizes "$result" "$shown" "$t.out" > "$t.after"
  table_rows "$out" > "$t.table"
  [[ -s $t.before ]] || broken_setup "$label: $pristine holds no class entry"
  run_zyn - "$t.in" "$t.ref" -super '*.class'
  [[ $rc == 0 ]] || broken_setup "$label: zyn -super on the extracted classes exits with $rc: $(tail -n 3 "$t.ref")"
  if ! cmp -s <(cut -d' ' -f1 "$t.table") <(cut -d' ' -f1 "$t.before") ||
     ! cmp -s <(cut -d' ' -f1 "$t.after") <(cut -d' ' -f1 "$t.before"); then
    diff -u --label 'class entries' --label table <(cut -d' ' -f1 "$t.before") <(cut -d' ' -f1 "$t.table") \
      > "$t.diff" || true
    fail "$label" "the table does not list the class entries in order, or the result has others" "$t.diff" "$out"
    return 1
  fi
  # Old size is the entry's size; old size and change are those of the class as a file of its own.
  rows=$(table_rows "$t.ref" | paste -d' ' "$t.table" "$t.before" - |
         awk '$2 != $5 || $2 != $7 || $3 != $8 {
                print $1 ": " $2 " " $3 ", entry of " $5 ", on its own " $7 " " $8 }')
  [[ -z $rows ]] || problems+=("table rows: $rows")
  for ((k = 1; k <= $(wc -l < "$t.before"); k++)); do
    if ! cmp -s "$t.in/$(printf %04d "$k").class" "$t.out/$(printf %04d "$k").class"; then
      problems+=("$(sed -n "${k}p" "$t.after" | cut -d' ' -f1) is not what zyn -super makes of it on its own")
    fi
  done
  local files total archive_red want_archive
  files=$(summary "$out" 'Files processed')
  total=$(summary "$out" 'Total reduction')
  archive_red=$(summary "$out" 'Archive reduction')
  [[ $files == $(wc -l < "$t.before") ]] ||
    problems+=("Files processed: '$files', with $(wc -l < "$t.before") class entries")
  [[ $total == $(awk '{ s -= $3 } END { print s + 0 }' "$t.table") ]] ||
    problems+=("Total reduction '$total' is not the sum of the changes")
  want_archive=$(( $(stat -c %s "$pristine") - $(stat -c %s "$result") ))
  [[ $archive_red == "$want_archive" ]] ||
    problems+=("Archive reduction '$archive_red', the archive shrank by $want_archive")
  same_archive_parts "$pristine" "$result" > "$t.parts"
  changed=$(tail -n 1 "$t.parts")
  sed '$d' "$t.parts" > "$t.problems"
  [[ ! -s $t.problems ]] || problems+=("the archives differ where they must not: $(cat "$t.problems")")
  (( changed > 0 )) || problems+=("no entry changed")
  if [[ $unzip != nounzip ]]; then
    unzip_like "$pristine" "$result" > "$t.unzip"
    [[ ! -s $t.unzip ]] || problems+=("$(cat "$t.unzip")")
  fi
  if (( ${#problems[@]} > 0 )); then
    fail "$label" "$(printf '%s\n' "${problems[@]}" | head -n 40)" "$out"
    return 1
  fi
}

# check_written LABEL DIR FILE BACKUP PRISTINE MODE: the default mode left the result in FILE and the original
# (PRISTINE) in BACKUP, with nothing else in DIR and FILE's permission bits MODE.
check_written() {
  local label=$1 dir=$2 file=$3 backup=$4 pristine=$5 mode=$6
  if [[ $(dir_names "$dir") != $(printf '%s\n' "$file" "$backup" | sort) ]]; then
    fail "$label" "expected just $file and $backup, found: $(dir_names "$dir" | tr '\n' ' ')"
    return 1
  fi
  if ! cmp -s "$dir/$backup" "$pristine"; then
    fail "$label" "the backup $backup is not the original archive"
    return 1
  fi
  if [[ $(stat -c %a "$dir/$file") != "$mode" ]]; then
    fail "$label" "$file has mode $(stat -c %a "$dir/$file"), not $mode as before"
    return 1
  fi
}

# untouched LABEL DIR PRISTINE FILE...: the files are byte for byte as they were (FILE from PRISTINE/FILE) and
# DIR holds nothing else.
untouched() {
  local label=$1 dir=$2 pristine=$3 f
  shift 3
  if [[ $(dir_names "$dir") != $(printf '%s\n' "$@" | sort) ]]; then
    fail "$label" "files were written: $(dir_names "$dir" | tr '\n' ' ')"
    return 1
  fi
  for f in "$@"; do
    if ! cmp -s "$dir/$f" "$pristine/$f"; then
      fail "$label" "$f changed"
      return 1
    fi
  done
}

# same_as DIR FROM NAME...: the files NAME of DIR are byte for byte the files NAME of directory FROM.
same_as() {
  local dir=$1 from=$2 f
  shift 2
  for f in "$@"; do cmp -s "$dir/$f" "$from/$f" || return 1; done
}

# fresh NAME FILE...: a new case directory $scratch/cases/NAME with copies of FILEs; prints it.
built=$scratch/built
fresh() {
  local dir=$scratch/cases/$1
  shift
  mkdir -p "$dir"
  cp -p "$@" "$dir/"
  echo "$dir"
}

# --- building the programs and archives ----------------------------------------------------------------------
mkdir -p "$built" "$scratch/classes"
javac17() {  # OUT RELEASE SOURCES... (classes with all debug information, so -super finds some to remove)
  local out=$scratch/classes/$1 release=$2
  shift 2
  mkdir -p "$out"
  "$jdk17/bin/javac" -g --release "$release" -Xlint:none -nowarn -cp "$out" -d "$out" "$@" \
    > "$scratch/javac.log" 2>&1 || broken_setup "javac failed: $(cat "$scratch/javac.log")"
}
cls=$scratch/classes
jar17() { "$jdk17/bin/jar" "$@" > /dev/null || broken_setup "jar $* failed"; }

# javac takes a while to start: one run per release, and apart only the module and the plain program (whose
# Main would clash with the multi-release one).
javac17 r8 8 "$src"/mr/base/Main.java "$src"/mr/base/mr/Impl.java "$src"/nested/inner/inner/Greeter.java \
  "$src"/nested/more/more/Counter.java "$src"/nested/deep/deep/Leaf.java "$src"/web/web/Page.java
javac17 r11 11 "$src"/mr/v11/mr/Impl.java "$src"/nested/outer/Launcher.java "$src"/zip64/Main.java \
  "$src"/zip64/big/Tail.java "$src"/zip64/MakeZip64.java

# Multi-release jar: base classes at release 8, mr.Impl again at release 11 under META-INF/versions/11/.
jar17 --create --file "$built/mr.jar" --main-class Main -C "$cls/r8" Main.class -C "$cls/r8" mr \
  --release 11 -C "$cls/r11" mr
grep -qx 'META-INF/versions/11/mr/Impl.class' <(zm names "$built/mr.jar") ||
  broken_setup "mr.jar has no versioned class"
# On JDK 17 the versioned class runs; with multi-release support off, the base one.
mr_modern=$("$jdk17/bin/java" -cp "$built/mr.jar" Main)
mr_base=$("$jdk17/bin/java" -Djdk.util.jar.enableMultiRelease=false -cp "$built/mr.jar" Main)
[[ $mr_modern == 'release 11:'* && $mr_base == base:* ]] ||
  broken_setup "mr.jar does not pick its classes by release: '$mr_modern' / '$mr_base'"

# Nested archives: outer.jar holds lib/inner.jar stored and lib/more.zip deflated, which holds deep.jar.
mkdir -p "$scratch/stage/lib" "$scratch/stage/more"
jar17 --create --file "$scratch/stage/lib/inner.jar" -C "$cls/r8" inner
jar17 --create --file "$scratch/stage/more/deep.jar" -C "$cls/r8" deep
cp -r "$cls/r8/more" "$scratch/stage/more/"
(cd "$scratch/stage/more" && zip -q -X -r ../lib/more.zip more deep.jar)
# shellcheck disable=SC2016 # a class file name with a dollar sign
jar17 --create --file "$built/outer.jar" --main-class Launcher -C "$cls/r11" Launcher.class \
  -C "$cls/r11" 'Launcher$1.class'
(cd "$scratch/stage" && zip -q -X -0 "$built/outer.jar" lib/inner.jar && zip -q -X -9 "$built/outer.jar" lib/more.zip)
[[ $(field "$built/outer.jar" lib/inner.jar method) == 0 && $(field "$built/outer.jar" lib/more.zip method) == 8 ]] ||
  broken_setup "outer.jar does not hold lib/inner.jar stored and lib/more.zip deflated"
zipinfo "$built/outer.jar" lib/inner.jar | grep -q ' stor ' || broken_setup "zipinfo sees lib/inner.jar compressed"

# A web archive with classes under WEB-INF/classes and a library jar.
mkdir -p "$scratch/stage/war/WEB-INF/classes" "$scratch/stage/war/WEB-INF/lib"
cp -r "$cls/r8/web" "$scratch/stage/war/WEB-INF/classes/"
cp "$scratch/stage/lib/inner.jar" "$scratch/stage/war/WEB-INF/lib/"
echo '<html><body>site</body></html>' > "$scratch/stage/war/index.html"
jar17 --create --file "$built/site.war" -C "$scratch/stage/war" .

# A modular jar: module-info.class at the top.
javac17 module 11 "$src"/module/module-info.java "$src"/module/demo/Main.java
jar17 --create --file "$built/mod.jar" -C "$cls/module" .
grep -qx module-info.class <(zm names "$built/mod.jar") || broken_setup "mod.jar has no module-info.class"

# Zip64: Main.class, 70,000 stored text entries, big/Tail.class.
"$jdk17/bin/java" -cp "$cls/r11" MakeZip64 "$built/big.jar" 70000 "$cls/r11" ||
  broken_setup "MakeZip64 failed"
zm list "$built/big.jar" | tail -n 1 | grep -q $'entries=70002\tzip64=1' ||
  broken_setup "big.jar is not a Zip64 archive of 70,002 entries: $(zm list "$built/big.jar" | tail -n 1)"

# A small program for the archives with a launch script and the damaged and skipped ones.
javac17 plain 8 "$src"/plain/Main.java "$src"/plain/p/A.java "$src"/plain/p/B.java
echo 'a text entry' > "$cls/plain/readme.txt"

# A launch script in front of a jar with a comment: glued as it is (app.run) and with the offsets
# adjusted by zip -A (app, no suffix).
jar17 --create --file "$scratch/stage/app.jar" -C "$cls/plain" Main.class -C "$cls/plain" p
printf 'built for the archive test\nsecond line of the comment\n' | zip -q -z "$scratch/stage/app.jar"
# shellcheck disable=SC2016 # expanded by the launch script
printf '#!/bin/sh\n# Runs the jar glued below.\nexec "${JAVA:-java}" -Xverify:all -cp "$0" Main "$@"\n' \
  > "$scratch/stage/launch.sh"
cat "$scratch/stage/launch.sh" "$scratch/stage/app.jar" > "$built/app.run"
cat "$scratch/stage/launch.sh" "$scratch/stage/app.jar" > "$built/app"
zip -q -A "$built/app"
chmod 750 "$built/app.run" "$built/app"
prefix_len=$(stat -c %s "$scratch/stage/launch.sh")
for f in app.run app; do
  [[ $(zm list "$built/$f" | tail -n 1) == *$'\tprefixlen='"$prefix_len"$'\tcomment='?* ]] ||
    broken_setup "$f has no prefix of $prefix_len bytes and a comment: $(zm list "$built/$f" | tail -n 1)"
done
[[ $(zm list "$built/app.run" | tail -n 1) == *$'\tdelta='"$prefix_len"$'\t'* ]] ||
  broken_setup "app.run has adjusted offsets"
[[ $(zm list "$built/app" | tail -n 1) == *$'\tdelta=0\t'* ]] || broken_setup "app's offsets are not adjusted"

# The damaged and skipped archives start from base.jar, made by zip: classes deflated, no data descriptors.
(cd "$cls/plain" && zip -q -X -9 "$built/base.jar" Main.class p/A.class p/B.class readme.txt)
for e in Main.class p/A.class p/B.class; do
  [[ $(field "$built/base.jar" "$e" method) == 8 && $(( $(field "$built/base.jar" "$e" flags) & 8 )) == 0 ]] ||
    broken_setup "base.jar: $e is not deflated without a data descriptor"
done
mkdir -p "$built/bad"
cdpos=$(zm cdpos "$built/base.jar")
# The central directory cut short, the end record kept.
{ head -c $((cdpos + 30)) "$built/base.jar"; tail -c 22 "$built/base.jar"; } > "$built/bad/truncated.jar"
# Cut in the central directory, no end record at all.
head -c $((cdpos + 30)) "$built/base.jar" > "$built/bad/cut.jar"
cp "$built/base.jar" "$built/bad/offset.jar"
zm setcentral "$built/bad/offset.jar" p/B.class offset +1
cp "$built/base.jar" "$built/bad/count.jar"
zm setend "$built/bad/count.jar" entries +1
cp "$built/base.jar" "$built/bad/crc.jar"
zm set "$built/bad/crc.jar" p/A.class crc ^1
# p/A.class inflates to twice what its headers declare.
cp "$built/base.jar" "$built/bad/bomb.jar"
zm set "$built/bad/bomb.jar" p/A.class usize /2
[[ $(( $(field "$built/bad/bomb.jar" p/A.class usize) * 2 )) -le $(field "$built/base.jar" p/A.class usize) ]] ||
  broken_setup "bomb.jar: p/A.class does not declare half its size"
# The same damage in an archive of stored entries.
(cd "$cls/plain" && zip -q -X -0 "$built/stored.jar" Main.class p/A.class p/B.class)
cp "$built/stored.jar" "$built/bad/crc-stored.jar"
zm set "$built/bad/crc-stored.jar" p/B.class crc ^256
for f in truncated offset count crc crc-stored; do
  if unzip -tqq "$built/bad/$f.jar" > /dev/null 2>&1; then broken_setup "unzip -t accepts bad/$f.jar"; fi
done
# Class entries that are not classes.
mkdir -p "$scratch/stage/notclass/p" "$scratch/stage/cutclass/p"
echo 'this is text, not a class' > "$scratch/stage/notclass/p/A.class"
head -c 150 "$cls/plain/p/A.class" > "$scratch/stage/cutclass/p/A.class"
for f in notclass cutclass; do
  cp "$cls/plain/Main.class" "$scratch/stage/$f/"
  (cd "$scratch/stage/$f" && zip -q -X "$built/bad/$f.jar" Main.class p/A.class)
done

mkdir -p "$built/skip"
# Only p/B.class is encrypted.
cp "$built/base.jar" "$built/skip/encrypted.jar"
(cd "$cls/plain" && zip -q -X -e -P secret "$built/skip/encrypted.jar" p/B.class)
encrypted=$(zm list "$built/skip/encrypted.jar" |
            awk -F'\t' '$1 != "END" { sub(/flags=/, "", $3); if ($3 % 2) print $1 }')
[[ $encrypted == p/B.class ]] ||
  broken_setup "encrypted.jar: p/B.class is not the one encrypted entry"
cp "$built/base.jar" "$built/skip/duplicate.jar"
zm set "$built/skip/duplicate.jar" p/B.class name p/A.class
[[ $(zm names "$built/skip/duplicate.jar" | grep -cx p/A.class) == 2 ]] ||
  broken_setup "duplicate.jar has no duplicate"
cp "$built/base.jar" "$built/skip/method.jar"
zm set "$built/skip/method.jar" p/A.class method 12
# Signed with an RSA key, and with an EC key.
for alg in RSA EC; do
  "$jdk17/bin/keytool" -genkeypair -keystore "$scratch/keys-$alg.p12" -storepass zynsecret -keypass zynsecret \
    -alias zyn -dname CN=zyn -keyalg "$alg" -validity 30 > /dev/null 2>&1 ||
    broken_setup "keytool -keyalg $alg failed"
  cp "$built/base.jar" "$built/skip/signed-$alg.jar"
  "$jdk17/bin/jarsigner" -keystore "$scratch/keys-$alg.p12" -storepass zynsecret "$built/skip/signed-$alg.jar" zyn \
    > /dev/null 2>&1 || broken_setup "jarsigner with $alg failed"
  grep -qx META-INF/ZYN.SF <(zm names "$built/skip/signed-$alg.jar") || broken_setup "signed-$alg.jar has no ZYN.SF"
  grep -qx "META-INF/ZYN.$alg" <(zm names "$built/skip/signed-$alg.jar") ||
    broken_setup "signed-$alg.jar has no ZYN.$alg"
done
# Neither of these is a reason to leave an archive alone: a .SF file without a signature block, and a text
# entry (not a class) with an unknown method.
mkdir -p "$scratch/stage/sfonly/META-INF"
printf 'Signature-Version: 1.0\r\n\r\n' > "$scratch/stage/sfonly/META-INF/ZYN.SF"
cp "$built/base.jar" "$built/sfonly.jar"
(cd "$scratch/stage/sfonly" && zip -q -X "$built/sfonly.jar" META-INF/ZYN.SF)
cp "$built/base.jar" "$built/textmethod.jar"
zm set "$built/textmethod.jar" readme.txt method 12

echo "archives built in $((SECONDS - started)) s"

# The comparisons must see what they are meant to see: a changed time in an entry that is otherwise the same,
# and a changed byte before the first entry.
cp "$built/base.jar" "$scratch/planted.jar"
zm set "$scratch/planted.jar" readme.txt time +1
cp "$built/app" "$scratch/planted-app"
printf 'X' | dd of="$scratch/planted-app" bs=1 seek=3 conv=notrunc status=none
if grep -q 'unchanged readme.txt: local' <(zm compare "$built/base.jar" "$scratch/planted.jar") &&
   grep -q 'bytes before the first entry differ' <(zm compare "$built/app" "$scratch/planted-app") &&
   [[ -z $(zm compare "$built/app" "$built/app" | sed '$d') ]]; then
  pass "self-check (the archive comparison finds planted differences)"
else
  fail "self-check" "the archive comparison misses planted differences"
fi

# --- archives that zyn rewrites -------------------------------------------------------------------------------
# optimize_one LABEL FILE SHOWN BACKUP MODE COMMAND...: copies FILE (mode MODE) to its own directory, runs
# zyn -super SHOWN there, checks the result and backup, and runs COMMAND before and after (see behaves_alike).
optimize_one() {
  local label=$1 file=$2 shown=$3 backup=$4 mode=$5 dir name
  shift 5
  name=$(basename "$file")
  dir=$(fresh "$label" "$file")
  chmod "$mode" "$dir/$name"
  run_zyn - "$dir" "$dir.out" -super "$shown"
  check_rewritten "$label" "$dir.out" "$file" "$dir/$name" "$shown" "${skip_unzip:-}" || return 1
  check_written "$label" "$dir" "$name" "$backup" "$file" "$mode" || return 1
  behaves_alike "$label" "$file" "$dir/$name" "$@" || return 1
  local files red
  files=$(summary "$dir.out" 'Files processed')
  red=$(summary "$dir.out" 'Archive reduction')
  pass "$label ($files classes, $red bytes less)"
}

# Multi-release jar, run with the versioned classes and with the base ones.
if optimize_one multi-release "$built/mr.jar" mr.jar mr.~jar 640 java -cp {} Main; then
  d=$scratch/cases/multi-release
  if ! grep -q '^mr.jar!META-INF/versions/11/mr/Impl.class' "$d.out"; then
    fail multi-release-versioned "no table line for META-INF/versions/11/mr/Impl.class" "$d.out"
  elif cmp -s <(unzip -p "$built/mr.jar" META-INF/versions/11/mr/Impl.class) \
              <(unzip -p "$d/mr.jar" META-INF/versions/11/mr/Impl.class); then
    fail multi-release-versioned "META-INF/versions/11/mr/Impl.class is as it was"
  elif behaves_alike multi-release-base "$built/mr.jar" "$d/mr.jar" \
         java -Djdk.util.jar.enableMultiRelease=false -cp {} Main; then
    pass "multi-release-versioned (versioned class optimized, base classes still run)"
  fi
fi

# -old: the archive stays, the result goes to the backup name; -tst writes nothing; both print what the default
# mode prints.
default_out=$scratch/cases/multi-release.out
if [[ -f $default_out ]] && grep -q '^Archive reduction:' "$default_out"; then
  d=$(fresh old "$built/mr.jar")
  run_zyn - "$d" "$d.out" -super -old mr.jar
  if [[ $rc != 0 ]]; then
    fail old "zyn -old exited with $rc" "$d.out"
  elif ! cmp -s "$d/mr.jar" "$built/mr.jar"; then
    fail old "-old changed mr.jar"
  elif [[ $(dir_names "$d") != $'mr.jar\nmr.~jar' ]]; then
    fail old "expected mr.jar and mr.~jar, found: $(dir_names "$d" | tr '\n' ' ')"
  elif ! diff -u --label default --label -old "$default_out" "$d.out" > "$d.diff"; then
    fail old "-old prints something else than the default mode" "$d.diff"
  elif ! cmp -s "$d/mr.~jar" "$scratch/cases/multi-release/mr.jar"; then
    fail old "mr.~jar is not what the default mode writes to mr.jar"
  elif check_rewritten old "$d.out" "$built/mr.jar" "$d/mr.~jar" mr.jar &&
       behaves_alike old "$built/mr.jar" "$d/mr.~jar" java -cp {} Main; then
    pass old
  fi
  d=$(fresh tst "$built/mr.jar")
  run_zyn - "$d" "$d.out" -super -tst mr.jar
  if [[ $rc != 0 ]]; then
    fail tst "zyn -tst exited with $rc" "$d.out"
  elif ! diff -u --label default --label -tst "$default_out" "$d.out" > "$d.diff"; then
    fail tst "-tst prints something else than the default mode" "$d.diff"
  elif untouched tst "$d" "$built" mr.jar; then
    pass tst
  fi
else
  fail old-tst "no default-mode output of mr.jar to compare -old and -tst with"
fi

# Signed jars are left alone, still verifying.
for alg in RSA EC; do
  label=signed-$alg
  d=$(fresh "$label" "$built/skip/$label.jar")
  run_zyn - "$d" "$d.out" -super "$label.jar"
  want="WARNING: Archive \"$label.jar\" left unchanged: it is signed"
  if [[ $rc != 0 ]]; then
    fail "$label" "zyn exited with $rc" "$d.out"
  elif ! grep -qxF "$want" "$d.out"; then
    fail "$label" "no line '$want'" "$d.out"
  elif untouched "$label" "$d" "$built/skip" "$label.jar"; then
    if "$jdk17/bin/jarsigner" -verify "$d/$label.jar" > "$d.verify" 2>&1 && grep -q '^jar verified' "$d.verify"; then
      pass "$label"
    else
      fail "$label" "jarsigner -verify fails" "$d.verify"
    fi
  fi
done

# Nested archives: the stored one stays stored, the deflated one deflated, and the classes loaded from
# inside them still run.
if optimize_one nested "$built/outer.jar" outer.jar outer.~jar 644 java -cp {} Launcher; then
  d=$scratch/cases/nested
  if ! grep -q '^outer.jar!lib/inner.jar!inner/Greeter.class' "$d.out" ||
     ! grep -q '^outer.jar!lib/more.zip!deep.jar!deep/Leaf.class' "$d.out"; then
    fail nested-names "nested class entries are not shown as outer.jar!lib/inner.jar!..." "$d.out"
  elif ! zipinfo "$d/outer.jar" lib/inner.jar | grep -q ' stor '; then
    fail nested-stored "lib/inner.jar is no longer stored: $(zipinfo "$d/outer.jar" lib/inner.jar)"
  elif [[ $(field "$d/outer.jar" lib/more.zip method) != 8 ]]; then
    fail nested-stored "lib/more.zip is no longer deflated"
  elif [[ $(field "$d/outer.jar" lib/inner.jar crc) == $(field "$built/outer.jar" lib/inner.jar crc) ]]; then
    fail nested-stored "lib/inner.jar is as it was"
  else
    pass "nested-stored (lib/inner.jar stored, lib/more.zip deflated, both rewritten)"
  fi
fi
# shellcheck disable=SC2016 # expanded by sh -c
optimize_one war "$built/site.war" site.war site.~war 600 sh -c \
  'rm -rf "$0.x" && mkdir "$0.x" && cd "$0.x" && unzip -qq "$0" &&
   "$JAVA" -Xverify:all -cp WEB-INF/classes web.Page && "$JAVA" -Xverify:all -cp WEB-INF/lib/inner.jar inner.Greeter' \
  {} || true
optimize_one module "$built/mod.jar" mod.jar mod.~jar 644 java -p {} -m demo.app/demo.Main || true

# Zip64.
optimize_one zip64 "$built/big.jar" big.jar big.~jar 644 java -cp {} Main {} || true

# Launch scripts in front, comment at the end: the script still starts the program.
for f in app.run app; do
  [[ $f == app ]] && shown=./app backup=app.~zip || shown=app.run backup=app.~run
  if optimize_one "prefix-$f" "$built/$f" "$shown" "$backup" 750 {}; then
    d=$scratch/cases/prefix-$f
    if ! cmp -s <(head -c "$prefix_len" "$d/$f") "$scratch/stage/launch.sh"; then
      fail "prefix-$f-parts" "the launch script in front changed"
    elif ! cmp -s <(unzip -z "$d/$f" 2> /dev/null | sed 1d) <(unzip -z "$built/$f" 2> /dev/null | sed 1d) ||
         ! unzip -z "$d/$f" 2> /dev/null | grep -q '^second line of the comment$'; then
      fail "prefix-$f-parts" "the archive comment changed: $(unzip -z "$d/$f" 2>&1)"
    else
      pass "prefix-$f-parts (launch script and comment kept)"
    fi
  fi
done

# Not reasons to leave an archive alone.
optimize_one sf-without-block "$built/sfonly.jar" sfonly.jar sfonly.~jar 644 java -cp {} Main || true
# Neither unzip nor the JVM opens that one: its classes run extracted.
# shellcheck disable=SC2016 # expanded by sh -c
skip_unzip=nounzip optimize_one text-entry-method "$built/textmethod.jar" textmethod.jar textmethod.~jar 644 sh -c \
  'rm -rf "$0.x" && unzip -qq -d "$0.x" "$0" Main.class "p/*" && "$JAVA" -Xverify:all -cp "$0.x" Main' {} || true

# --- archives that zyn refuses or leaves alone -------------------------------------------------------------
# refused LABEL FILE PATTERN: zyn -super ends with exit code 1, a last line matching PATTERN, nothing written.
refused() {
  local label=$1 file=$2 pattern=$3 name d
  name=$(basename "$file")
  d=$(fresh "$label" "$file")
  run_zyn - "$d" "$d.out" -super "$name"
  if [[ $rc != 1 ]]; then
    fail "$label" "zyn exited with $rc, not 1" "$d.out"
  elif ! grep -Eq "$pattern" <<< "$(tail -n 1 "$d.out")"; then
    fail "$label" "the last line does not match '$pattern'" "$d.out"
  elif grep -q '^Files processed' "$d.out"; then
    fail "$label" "zyn printed totals after the error" "$d.out"
  elif untouched "$label" "$d" "$(dirname "$file")" "$name"; then
    pass "$label ($(tail -n 1 "$d.out"))"
  fi
}
for f in truncated offset count crc bomb crc-stored; do
  refused "damaged-$f" "$built/bad/$f.jar" "^ERROR: Archive \"$f\\.jar\" is damaged: .+"
done
# Without an end record it is no archive: refused as a damaged archive or as a file that is no class.
refused damaged-cut "$built/bad/cut.jar" '^ERROR: (Archive "cut\.jar" is damaged: .+|This is not class file)$'
refused not-a-class "$built/bad/notclass.jar" '^ERROR: This is not class file$'
refused cut-class "$built/bad/cutclass.jar" '^ERROR: .+'
# Main.class comes first and has its whole row; then the table names the entry that is no class.
for f in notclass:not-a-class cutclass:cut-class; do
  d=$scratch/cases/${f#*:}
  f=${f%:*}
  if ! grep -q "^$f.jar!Main.class " <(table_rows "$d.out") || ! grep -Eq "^$f\.jar!p/A\.class( |\$)" "$d.out"; then
    fail "$f-names" "the table does not name $f.jar!Main.class and then $f.jar!p/A.class" "$d.out"
  fi
done

# skipped LABEL FILE REASON: zyn -super exits with 0, warns with REASON and writes nothing.
skipped() {
  local label=$1 file=$2 reason=$3 name d want
  name=$(basename "$file")
  d=$(fresh "$label" "$file")
  run_zyn - "$d" "$d.out" -super "$name"
  want="WARNING: Archive \"$name\" left unchanged: $reason"
  if [[ $rc != 0 ]]; then
    fail "$label" "zyn exited with $rc" "$d.out"
  elif ! grep -qxF "$want" "$d.out"; then
    fail "$label" "no line '$want'" "$d.out"
  elif untouched "$label" "$d" "$(dirname "$file")" "$name"; then
    pass "$label"
  fi
}
skipped encrypted "$built/skip/encrypted.jar" 'entry "p/B.class" is encrypted'
skipped duplicate "$built/skip/duplicate.jar" 'duplicate entry name "p/A.class"'
skipped method "$built/skip/method.jar" 'class entry "p/A.class" is compressed with method 12'

# --- batches, on one thread and on four --------------------------------------------------------------------
# batch NAME EXPECTED_EXIT PATTERN FILE...: runs zyn -super PATTERN on copies of FILEs with ZYN_THREADS=1 and
# =4; both must exit with EXPECTED_EXIT and print and leave the same. Returns 1 after a failure.
batch() {
  local name=$1 expect=$2 pattern=$3 n d
  shift 3
  for n in 1 4; do
    d=$(fresh "$name-$n" "$@")
    run_zyn "$n" "$d" "$d.out" -super "$pattern"
    echo "$rc" > "$d.rc"
  done
  d=$scratch/cases/$name
  if [[ $(cat "$d-1.rc") != "$expect" ]]; then
    fail "$name" "ZYN_THREADS=1 exited with $(cat "$d-1.rc"), not $expect" "$d-1.out"
    return 1
  fi
  if [[ $(cat "$d-4.rc") != "$expect" ]] || ! cmp -s "$d-1.out" "$d-4.out" ||
     [[ $(cd "$d-1" && find . -printf '%P %m\n' | sort) != $(cd "$d-4" && find . -printf '%P %m\n' | sort) ]] ||
     ! diff -rq "$d-1" "$d-4" > /dev/null; then
    diff -u --label 'ZYN_THREADS=1' --label 'ZYN_THREADS=4' "$d-1.out" "$d-4.out" > "$d.diff" || true
    diff -rq "$d-1" "$d-4" >> "$d.diff" || true
    fail "$name" "ZYN_THREADS=4 (exit code $(cat "$d-4.rc")) differs from ZYN_THREADS=1" "$d.diff"
    return 1
  fi
}

# All the rewritten kinds together; the table and totals are those of the single runs one after another.
good=(app.run mod.jar mr.jar outer.jar site.war)
if batch batch-good 0 '*.*' "${good[@]/#/$built/}"; then
  d=$scratch/cases/batch-good-1
  want_red=0
  for f in "${good[@]}"; do
    class_sizes "$built/$f" "$f" | cut -d' ' -f1
    want_red=$((want_red + $(stat -c %s "$built/$f") - $(stat -c %s "$d/$f")))
  done > "$d.want"
  table_rows "$d.out" | cut -d' ' -f1 > "$d.table"
  if ! diff -u --label 'class entries' --label table "$d.want" "$d.table" > "$d.diff"; then
    fail batch-good "the table does not list the class entries of the archives in name order" "$d.diff"
  elif [[ $(summary "$d.out" 'Archive reduction') != "$want_red" ]]; then
    fail batch-good "Archive reduction is not the sum of what the five archives lost ($want_red)" "$d.out"
  elif [[ $(dir_names "$d" | tr '\n' ' ') != \
          'app.run app.~run mod.jar mod.~jar mr.jar mr.~jar outer.jar outer.~jar site.war site.~war ' ]]; then
    fail batch-good "unexpected files: $(dir_names "$d" | tr '\n' ' ')"
  elif ! cmp -s "$d/mr.jar" "$scratch/cases/multi-release/mr.jar" ||
       ! cmp -s "$d/outer.jar" "$scratch/cases/nested/outer.jar"; then
    fail batch-good "mr.jar or outer.jar differs from its single run"
  else
    pass "batch-good (ZYN_THREADS=4 as ZYN_THREADS=1)"
  fi
fi

# Skipped archives do not end the run: a-*.jar ... d-*.jar are left alone, e-good.jar is written.
mkdir -p "$scratch/mixed"
cp "$built/skip/signed-RSA.jar" "$scratch/mixed/a-signed.jar"
cp "$built/skip/encrypted.jar" "$scratch/mixed/b-encrypted.jar"
cp "$built/skip/duplicate.jar" "$scratch/mixed/c-duplicate.jar"
cp "$built/skip/method.jar" "$scratch/mixed/d-method.jar"
cp "$built/base.jar" "$scratch/mixed/e-good.jar"
if batch batch-skips 0 '*.jar' "$scratch/mixed"/*.jar; then
  d=$scratch/cases/batch-skips-1
  missing=$(for w in 'a-signed.jar" left unchanged: it is signed' \
                     'b-encrypted.jar" left unchanged: entry "p/B.class" is encrypted' \
                     'c-duplicate.jar" left unchanged: duplicate entry name "p/A.class"' \
                     'd-method.jar" left unchanged: class entry "p/A.class" is compressed with method 12'; do
              grep -qxF "WARNING: Archive \"$w" "$d.out" || echo "$w"
            done)
  if [[ -n $missing ]]; then
    fail batch-skips "warnings missing: $missing" "$d.out"
  elif [[ $(dir_names "$d" | tr '\n' ' ') != \
          'a-signed.jar b-encrypted.jar c-duplicate.jar d-method.jar e-good.jar e-good.~jar ' ]]; then
    fail batch-skips "unexpected files: $(dir_names "$d" | tr '\n' ' ')"
  elif ! same_as "$d" "$scratch/mixed" a-signed.jar b-encrypted.jar c-duplicate.jar d-method.jar; then
    fail batch-skips "a skipped archive changed"
  elif ! grep -q '^e-good.jar!p/B.class ' "$d.out" || ! cmp -s "$d/e-good.~jar" "$built/base.jar" ||
       cmp -s "$d/e-good.jar" "$built/base.jar"; then
    fail batch-skips "e-good.jar after the skipped archives was not optimized" "$d.out"
  else
    pass "batch-skips (four archives left alone, the fifth optimized)"
  fi
fi

# A damaged archive in the middle ends the run: the archive before it is written, it and the one after are not.
# a.jar comes out as a run that completes over the same classes writes it: the three jars with b.jar's damaged
# entry left out (the classes of the run tell how a.jar's fields may be bound).
mkdir -p "$scratch/stopping" "$scratch/completing"
cp "$built/mr.jar" "$scratch/stopping/a.jar"
cp "$built/bad/crc.jar" "$scratch/stopping/b.jar"
cp "$built/outer.jar" "$scratch/stopping/c.jar"
cp "$scratch/stopping"/*.jar "$scratch/completing/"
zip -q -d "$scratch/completing/b.jar" p/A.class
run_zyn - "$scratch/completing" "$scratch/completing.out" -super '*.jar'
if batch batch-stop 1 '*.jar' "$scratch/stopping"/*.jar; then
  d=$scratch/cases/batch-stop-1
  if ! grep -q '^ERROR: Archive "b.jar" is damaged: ' <<< "$(tail -n 1 "$d.out")"; then
    fail batch-stop "the run does not end with b.jar's damage" "$d.out"
  elif grep -q '^c.jar!' "$d.out"; then
    fail batch-stop "c.jar is in the table" "$d.out"
  elif [[ $(dir_names "$d" | tr '\n' ' ') != 'a.jar a.~jar b.jar c.jar ' ]]; then
    fail batch-stop "unexpected files: $(dir_names "$d" | tr '\n' ' ')"
  elif ! cmp -s "$d/a.~jar" "$built/mr.jar" || ! cmp -s "$d/a.jar" "$scratch/completing/a.jar" ||
       ! same_as "$d" "$scratch/stopping" b.jar c.jar; then
    fail batch-stop "a.jar is not written as in a completed run with its backup, or b.jar or c.jar changed" \
      "$scratch/completing.out"
  else
    pass "batch-stop (a.jar written, b.jar and c.jar untouched)"
  fi
fi

echo "$passed passed, $failed failed in $((SECONDS - started)) s"
(( passed > 0 && failed == 0 ))
