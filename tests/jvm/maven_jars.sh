#!/usr/bin/env bash
# Maven's library jars, optimized as archives with one `zyn -super 'lib/*.jar'`, on copies:
#  - the run succeeds and lists every class entry of every jar once;
#  - unzip -t, the JDK's jar tool and ZipInputStream accept every result; jar tf lists the same names in the
#    same order;
#  - entries whose bytes did not change (all non-class entries, and the classes that came out the same) are
#    copied raw, local header included; changed entries keep their central record apart from CRC, sizes
#    and offset, and their local header apart from CRC and sizes;
#  - each class entry holds exactly what zyn makes of that class in a folder tree of all the jars;
#  - loaded from the optimized jars under -Xverify:all, no class fails to link that linked before.
#
#   maven_jars.sh ZYN_BINARY JDK_HOME [LIB_DIR]
set -euo pipefail

usage() {
  echo "usage: $0 ZYN_BINARY JDK_HOME [LIB_DIR]" >&2
  exit 2
}

[[ $# -eq 2 || $# -eq 3 ]] || usage
zyn=$1
jdk=$2
lib=${3:-/usr/share/maven/lib}
[[ -x $zyn ]] || { echo "not an executable: $zyn" >&2; exit 2; }
[[ -x $jdk/bin/javac && -x $jdk/bin/java ]] || { echo "no javac/java under $jdk/bin" >&2; exit 2; }
compgen -G "$lib/*.jar" >/dev/null || { echo "no jars in $lib" >&2; exit 2; }
for tool in unzip cmp; do
  command -v "$tool" >/dev/null || { echo "$tool is needed" >&2; exit 2; }
done
zyn=$(cd "$(dirname "$zyn")" && pwd)/$(basename "$zyn")
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# shellcheck source=common.sh
source "$here/common.sh"
export LC_ALL=C

problems=0
bad() {
  echo "FAIL: $*"
  problems=$((problems + 1))
}
# Shows the head of a file under a FAIL line.
show() { [[ ! -s $1 ]] || head -n "${2:-20}" "$1" | sed -e 's/^/    /'; }

# --- copies of the jars ------------------------------------------------------------------------------------
# orig/ stays untouched as the reference; lib/ is what zyn rewrites. The jars are mostly symlinks, copied
# as files so that zyn replaces a copy and not the link or its target.
mkdir -p "$scratch/orig" "$scratch/lib" "$scratch/names" "$scratch/before" "$scratch/after" "$scratch/tree"
jars=()
for jar in "$lib"/*.jar; do
  b=$(basename "$jar" .jar)
  cp -L "$jar" "$scratch/orig/$b.jar"
  cp -L "$jar" "$scratch/lib/$b.jar"
  jars+=("$b")
done
classes=0
entries=0
: > "$scratch/expected_table.txt"
for b in "${jars[@]}"; do
  unzip -Z1 "$scratch/orig/$b.jar" > "$scratch/names/$b"
  # Extraction and the comparisons below go by name, so a name must not be there twice.
  if [[ -n $(sort "$scratch/names/$b" | uniq -d) ]]; then
    bad "$b.jar has duplicate entry names; the comparisons by name would be ambiguous"
  fi
  n=$(grep -c '\.class$' "$scratch/names/$b" || true)
  classes=$((classes + n))
  entries=$((entries + $(wc -l < "$scratch/names/$b")))
  grep '\.class$' "$scratch/names/$b" | sed "s|^|lib/$b.jar!|" >> "$scratch/expected_table.txt" || true
  unzip -q "$scratch/orig/$b.jar" -d "$scratch/before/$b" < /dev/null
  unzip -q "$scratch/orig/$b.jar" -d "$scratch/tree/$b" < /dev/null
done
(( classes > 0 )) || { echo "no class entries in the jars of $lib" >&2; exit 2; }

# --- 1. zyn over the archives ------------------------------------------------------------------------------
start=$SECONDS
rc=0
(cd "$scratch" && "$zyn" -super 'lib/*.jar') > "$scratch/zyn_jars.out" 2> "$scratch/zyn_jars.err" || rc=$?
zyn_seconds=$((SECONDS - start))
if (( rc != 0 )); then
  bad "zyn -super 'lib/*.jar' exited with $rc"
  show "$scratch/zyn_jars.err"
fi
if grep -q '^ERROR:' "$scratch/zyn_jars.out" "$scratch/zyn_jars.err"; then
  bad "zyn -super 'lib/*.jar' printed ERROR lines"
  grep -h -B1 '^ERROR:' "$scratch/zyn_jars.out" "$scratch/zyn_jars.err" | head -n 20 | sed 's/^/    /' || true
fi
table_lines=$(grep -c '!' "$scratch/zyn_jars.out" || true)
[[ $table_lines == "$classes" ]] ||
  bad "the table has $table_lines lines naming a jar entry, the jars have $classes class entries"
# Not only as many lines as classes: each class entry once, none other.
if ! diff <(sort "$scratch/expected_table.txt") <(awk '/!/ { print $1 }' "$scratch/zyn_jars.out" | sort) \
    > "$scratch/table.diff"; then
  bad "the table does not name each class entry once (< missing, > unexpected)"
  show "$scratch/table.diff"
fi
grep -qx "Files processed: $classes" "$scratch/zyn_jars.out" ||
  bad "expected 'Files processed: $classes', got '$(grep '^Files processed' "$scratch/zyn_jars.out" || true)'"
grep -q '^Archive reduction: [0-9]' "$scratch/zyn_jars.out" || bad "no 'Archive reduction:' line"
for b in "${jars[@]}"; do
  [[ -f $scratch/lib/$b.jar ]] || { bad "lib/$b.jar is gone"; continue; }
  if [[ ! -f $scratch/lib/$b.~jar ]]; then
    bad "no backup lib/$b.~jar"
  elif ! cmp -s "$scratch/lib/$b.~jar" "$scratch/orig/$b.jar"; then
    bad "backup lib/$b.~jar differs from the original jar"
  fi
done

# --- the helpers: the link check and a raw reader of both archives -----------------------------------------
mkdir -p "$scratch/src"
cat > "$scratch/src/JarPairs.java" <<'EOF'
import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Arrays;
import java.util.spi.ToolProvider;
import java.util.zip.ZipEntry;
import java.util.zip.ZipInputStream;

/**
 * tf OUT_DIR JAR...: runs the JDK's jar tool (one JVM for all jars) as `jar tf`, listing to OUT_DIR/NAME.tf.
 * raw ORIG NEW...: compares pairs of archives record by record from their central directories; prints
 * "changed JAR!NAME" per entry whose CRC changed and "FAIL: ..." per fault, and then a count line.
 */
public class JarPairs {
  static int faults = 0;

  static void fault(String s) { System.out.println("FAIL: " + s); faults++; }

  static int u16(byte[] b, int o) { return (b[o] & 0xff) | (b[o + 1] & 0xff) << 8; }

  static long u32(byte[] b, int o) { return u16(b, o) | (long) u16(b, o + 2) << 16; }

  /** Offsets of the central records, or null (with a fault) when the archive cannot be walked. */
  static int[] central(String what, byte[] b) {
    int eocd = -1;
    for (int i = b.length - 22; i >= Math.max(0, b.length - 22 - 65535); i--) {
      if (u32(b, i) == 0x06054b50L) { eocd = i; break; }
    }
    if (eocd < 0) { fault(what + ": no end of central directory"); return null; }
    int count = u16(b, eocd + 10);
    long size = u32(b, eocd + 12), start = u32(b, eocd + 16);
    // Zip64 does not occur in these jars; reading it would only add code that never runs here.
    if (count == 0xffff || size == 0xffffffffL || start == 0xffffffffL) {
      fault(what + ": zip64 archive, not handled by this check");
      return null;
    }
    int[] at = new int[count];
    int p = (int) start;
    for (int i = 0; i < count; i++) {
      if (p + 46 > b.length || u32(b, p) != 0x02014b50L) { fault(what + ": bad central record " + i); return null; }
      at[i] = p;
      p += 46 + u16(b, p + 28) + u16(b, p + 30) + u16(b, p + 32);
    }
    if (p != start + size) fault(what + ": central directory size " + size + " but records span " + (p - start));
    return at;
  }

  static String name(byte[] b, int c) { return new String(b, c + 46, u16(b, c + 28), StandardCharsets.UTF_8); }

  static int recordLength(byte[] b, int c) { return 46 + u16(b, c + 28) + u16(b, c + 30) + u16(b, c + 32); }

  /** Equal apart from the byte ranges in skip ({from, to} pairs, to exclusive). */
  static boolean sameExcept(byte[] a, int ao, byte[] b, int bo, int length, int... skip) {
    for (int i = 0; i < length; i++) {
      boolean skipped = false;
      for (int k = 0; k < skip.length; k += 2) skipped |= i >= skip[k] && i < skip[k + 1];
      if (!skipped && a[ao + i] != b[bo + i]) return false;
    }
    return true;
  }

  /** Start of the local header of central record c, or -1 (with a fault). */
  static int local(String what, byte[] b, int c) {
    long o = u32(b, c + 42);
    if (o + 30 > b.length || u32(b, (int) o) != 0x04034b50L) { fault(what + ": no local header at " + o); return -1; }
    int l = (int) o;
    int n = u16(b, c + 28);
    if (u16(b, l + 26) != n || !Arrays.equals(b, l + 30, l + 30 + n, b, c + 46, c + 46 + n)) {
      fault(what + ": local header name differs from the central one");
    }
    return l;
  }

  /** End of the entry's data, with its data descriptor if it has one. */
  static long end(byte[] b, int c, int l) {
    long e = l + 30L + u16(b, l + 26) + u16(b, l + 28) + u32(b, c + 20);
    if ((u16(b, c + 8) & 8) != 0 && e + 4 <= b.length) e += (u32(b, (int) e) == 0x08074b50L ? 16 : 12);
    return e;
  }

  static void raw(String origPath, String newPath) throws IOException {
    byte[] a = Files.readAllBytes(Path.of(origPath)), b = Files.readAllBytes(Path.of(newPath));
    String jar = Path.of(newPath).getFileName().toString();
    int[] ca = central(origPath, a), cb = central(newPath, b);
    if (ca == null || cb == null) return;
    if (ca.length == 0) fault(jar + ": no entries");
    if (ca.length != cb.length) { fault(jar + ": " + ca.length + " entries before, " + cb.length + " after"); return; }
    int ea = eocdComment(a), eb = eocdComment(b);
    if (!Arrays.equals(a, ea, a.length, b, eb, b.length)) fault(jar + ": archive comment differs");
    for (int i = 0; i < ca.length; i++) {
      int x = ca[i], y = cb[i];
      String nx = name(a, x), ny = name(b, y);
      String what = jar + "!" + nx;
      entries++;
      if (!nx.equals(ny)) { fault(jar + ": entry " + i + " is " + nx + " before, " + ny + " after"); continue; }
      int lx = local(origPath + "!" + nx, a, x), ly = local(newPath + "!" + ny, b, y);
      if (lx < 0 || ly < 0) continue;
      int rl = recordLength(a, x);
      if (recordLength(b, y) != rl) { fault(what + ": central record length differs"); continue; }
      if (u32(a, x + 16) == u32(b, y + 16)) {
        // Same CRC: the entry must be copied as it was, only its place in the archive may move.
        if (!sameExcept(a, x, b, y, rl, 42, 46)) fault(what + ": unchanged entry, central record differs");
        long endx = end(a, x, lx), endy = end(b, y, ly);
        if (endx > a.length || endy > b.length || endx - lx != endy - ly
            || !Arrays.equals(a, lx, (int) endx, b, ly, (int) endy)) {
          fault(what + ": unchanged entry, local header and data are not the same bytes");
        } else {
          identical++;
        }
      } else {
        changed++;
        System.out.println("changed " + what);
        // Only CRC, sizes (16-27) and local header offset (42-45) may differ.
        if (!sameExcept(a, x, b, y, rl, 16, 28, 42, 46)) {
          fault(what + ": changed entry, central record differs beyond CRC, sizes and offset");
        }
        int hl = 30 + u16(a, lx + 26) + u16(a, lx + 28);
        if (30 + u16(b, ly + 26) + u16(b, ly + 28) != hl || !sameExcept(a, lx, b, ly, hl, 14, 26)) {
          fault(what + ": changed entry, local header differs beyond CRC and sizes");
        }
      }
    }
    // The JDK's streaming reader checks each entry's CRC and sizes as it inflates it.
    int streamed = 0;
    try (ZipInputStream in = new ZipInputStream(Files.newInputStream(Path.of(newPath)))) {
      byte[] buf = new byte[65536];
      for (ZipEntry e; (e = in.getNextEntry()) != null; streamed++) {
        while (in.read(buf) >= 0) { }
      }
    } catch (IOException e) {
      fault(newPath + ": ZipInputStream: " + e);
    }
    if (streamed != cb.length) fault(jar + ": ZipInputStream read " + streamed + " entries of " + cb.length);
  }

  static int eocdComment(byte[] b) {
    for (int i = b.length - 22; i >= 0; i--) if (u32(b, i) == 0x06054b50L) return i + 22;
    return b.length;
  }

  static long entries = 0, identical = 0, changed = 0;

  public static void main(String[] args) throws IOException {
    if (args[0].equals("tf")) {
      ToolProvider jar = ToolProvider.findFirst("jar").orElseThrow();
      for (int i = 2; i < args.length; i++) {
        ByteArrayOutputStream out = new ByteArrayOutputStream(), err = new ByteArrayOutputStream();
        int rc = jar.run(new PrintStream(out, true), new PrintStream(err, true), "tf", args[i]);
        String base = Path.of(args[i]).getFileName().toString();
        Files.write(Path.of(args[1], base.replaceFirst("[.]jar$", "") + ".tf"), out.toByteArray());
        if (rc != 0) fault("jar tf " + args[i] + " exited with " + rc + ": " + err.toString().trim());
      }
    } else {
      for (int i = 1; i + 1 < args.length; i += 2) raw(args[i], args[i + 1]);
      System.out.println("raw " + entries + " entries, " + identical + " identical, " + changed + " changed");
    }
    System.exit(faults == 0 ? 0 : 1);
  }
}
EOF
"$jdk/bin/javac" -d "$scratch/check" "$here/linkcheck/LinkCheck.java" "$scratch/src/JarPairs.java"

# --- 2. unzip -t and jar tf ---------------------------------------------------------------------------------
for b in "${jars[@]}"; do
  [[ -f $scratch/lib/$b.jar ]] || continue
  if ! unzip -tq "$scratch/lib/$b.jar" > "$scratch/unzip_t.txt" 2>&1; then
    bad "unzip -t rejects the optimized $b.jar"
    show "$scratch/unzip_t.txt"
  fi
done
mkdir -p "$scratch/tf/before" "$scratch/tf/after"
run_tf() {  # folder, jars...
  local out=$1
  shift
  if ! "$jdk/bin/java" -cp "$scratch/check" JarPairs tf "$out" "$@" > "$scratch/tf.txt" 2>&1; then
    bad "jar tf failed on some jar"
    show "$scratch/tf.txt"
  fi
}
orig_jars=() new_jars=()
for b in "${jars[@]}"; do
  orig_jars+=("$scratch/orig/$b.jar")
  new_jars+=("$scratch/lib/$b.jar")
done
run_tf "$scratch/tf/before" "${orig_jars[@]}"
run_tf "$scratch/tf/after" "${new_jars[@]}"
tf_compared=0
for b in "${jars[@]}"; do
  if [[ ! -s $scratch/tf/before/$b.tf ]]; then
    bad "jar tf listed nothing for the original $b.jar"
  elif ! cmp -s "$scratch/tf/before/$b.tf" "$scratch/tf/after/$b.tf"; then
    bad "jar tf lists other names or another order for $b.jar"
    diff "$scratch/tf/before/$b.tf" "$scratch/tf/after/$b.tf" | head -n 10 | sed 's/^/    /' || true
  else
    tf_compared=$((tf_compared + 1))
  fi
done

# --- 3. entry contents and raw records ---------------------------------------------------------------------
# One perl per jar rather than one cmp per entry: forks cost ~10 ms here, and there are ~13000 comparisons.
# Prints "same NAME", "differs NAME" or "missing NAME" for each file entry (names ending in / are folders).
compare_files() {  # folder A, folder B, file of entry names
  perl -e '
    my ($da, $db, $list) = @ARGV;
    sub slurp { my $p = shift; return undef unless -f $p; open my $f, "<:raw", $p or return undef; local $/; my $d = <$f>; $d // "" }
    open my $l, "<", $list or die "$list: $!";
    while (my $n = <$l>) {
      chomp $n;
      next if $n =~ m{/$};
      my ($x, $y) = (slurp("$da/$n"), slurp("$db/$n"));
      print !defined $x || !defined $y ? "missing" : $x eq $y ? "same" : "differs", " $n\n";
    }' "$@"
}
same_other=0
same_class=0
compared=0
: > "$scratch/changed_cmp.txt"
for b in "${jars[@]}"; do
  if ! unzip -q "$scratch/lib/$b.jar" -d "$scratch/after/$b" < /dev/null > "$scratch/unzip_x.txt" 2>&1; then
    bad "unzip cannot extract the optimized $b.jar"
    show "$scratch/unzip_x.txt"
  fi
  compare_files "$scratch/before/$b" "$scratch/after/$b" "$scratch/names/$b" > "$scratch/cmp.txt"
  compared=$((compared + $(wc -l < "$scratch/cmp.txt")))
  while read -r verdict name; do
    case $verdict:$name in
      same:*.class) same_class=$((same_class + 1)) ;;
      same:*) same_other=$((same_other + 1)) ;;
      differs:*.class) echo "$b.jar!$name" >> "$scratch/changed_cmp.txt" ;;
      differs:*) bad "$b.jar!$name is not a class, yet its content changed" ;;
      *) bad "$b.jar!$name: $verdict in the original or the optimized jar" ;;
    esac
  done < "$scratch/cmp.txt"
done
changed_classes=$(wc -l < "$scratch/changed_cmp.txt")
files=$(cat "$scratch"/names/* | grep -c -v '/$' || true)
(( compared > 0 && compared == files && same_other + same_class + changed_classes == files )) ||
  bad "compared $compared extracted entries ($((same_other + same_class)) same, $changed_classes changed)," \
      "the jars have $files file entries"
(( same_class + changed_classes == classes )) ||
  bad "$((same_class + changed_classes)) class entries compared, $classes expected"
(( changed_classes > 0 )) || bad "no class entry changed at all: -super did nothing to $classes classes"

pairs=()
for b in "${jars[@]}"; do pairs+=("$scratch/orig/$b.jar" "$scratch/lib/$b.jar"); done
if ! "$jdk/bin/java" -cp "$scratch/check" JarPairs raw "${pairs[@]}" > "$scratch/raw.txt" 2>&1; then
  bad "raw records of the optimized jars (JarPairs raw):"
  grep -v '^changed ' "$scratch/raw.txt" | head -n 30 | sed 's/^/    /' || true
fi
raw_summary=$(grep '^raw ' "$scratch/raw.txt" || true)
read -r raw_entries raw_identical raw_changed < <(echo "$raw_summary" |
  sed -n 's/^raw \([0-9]*\) entries, \([0-9]*\) identical, \([0-9]*\) changed$/\1 \2 \3/p') || true
[[ ${raw_entries:-x} == "$entries" ]] || bad "raw check walked '${raw_entries:-}' entries, the jars have $entries"
[[ ${raw_changed:-x} == "$changed_classes" ]] ||
  bad "raw check sees '${raw_changed:-}' entries with a new CRC, the extracted contents show $changed_classes changed classes"
[[ ${raw_identical:-x} == "$((entries - changed_classes))" ]] ||
  bad "raw check found '${raw_identical:-}' raw-identical entries, expected $((entries - changed_classes))"
# The entries with a new CRC are exactly those whose extracted content differs.
if ! diff <(sort "$scratch/changed_cmp.txt") <(sed -n 's/^changed //p' "$scratch/raw.txt" | sort) \
    > "$scratch/changed.diff"; then
  bad "entries with a new CRC (>) are not those whose content changed (<)"
  show "$scratch/changed.diff"
fi

# --- 4. the same classes as one folder tree ----------------------------------------------------------------
rc=0
(cd "$scratch" && "$zyn" -super tree) > "$scratch/zyn_tree.out" 2> "$scratch/zyn_tree.err" || rc=$?
if (( rc != 0 )); then
  bad "zyn -super tree exited with $rc"
  show "$scratch/zyn_tree.err"
fi
if grep -q '^ERROR:' "$scratch/zyn_tree.out" "$scratch/zyn_tree.err"; then
  bad "zyn -super tree printed ERROR lines"
  grep -h -B1 '^ERROR:' "$scratch/zyn_tree.out" "$scratch/zyn_tree.err" | head -n 20 | sed 's/^/    /' || true
fi
grep -qx "Files processed: $classes" "$scratch/zyn_tree.out" ||
  bad "tree: expected 'Files processed: $classes', got '$(grep '^Files processed' "$scratch/zyn_tree.out" || true)'"
tree_same=0
: > "$scratch/tree_mismatch.txt"
for b in "${jars[@]}"; do
  grep '\.class$' "$scratch/names/$b" > "$scratch/class_names.txt" || true
  compare_files "$scratch/after/$b" "$scratch/tree/$b" "$scratch/class_names.txt" > "$scratch/cmp.txt"
  tree_same=$((tree_same + $(grep -c '^same ' "$scratch/cmp.txt" || true)))
  grep -v '^same ' "$scratch/cmp.txt" | sed "s|^\([a-z]*\) \(.*\)|$b.jar!\2 and tree/$b/\2: \1|" \
    >> "$scratch/tree_mismatch.txt" || true
done
if (( tree_same != classes )) || [[ -s $scratch/tree_mismatch.txt ]]; then
  bad "$tree_same of $classes class entries match the tree; the first others:"
  show "$scratch/tree_mismatch.txt"
fi

# A run over the results (their backups gone) is a fixed point: every jar comes out byte for byte as it went in.
mkdir -p "$scratch/again"
for b in "${jars[@]}"; do cp "$scratch/lib/$b.jar" "$scratch/again/$b.jar"; done
(cd "$scratch" && "$zyn" -super 'again/*.jar') > "$scratch/zyn_again.out" 2>&1 || bad "the run over the results failed"
grep -qx 'Total reduction: 0' "$scratch/zyn_again.out" ||
  bad "the run over the results: '$(grep '^Total reduction' "$scratch/zyn_again.out" || true)', expected 0"
for b in "${jars[@]}"; do
  [[ ! -e $scratch/again/$b.~jar ]] || cmp -s "$scratch/again/$b.~jar" "$scratch/again/$b.jar" ||
    bad "again/$b.jar changed on a run over the result"
done

# --- 5. link and verify --------------------------------------------------------------------------------------
# LinkCheck finds class names by walking its roots and loads them through one loader over the same roots in
# order. The jars come first, so every class is defined from a jar; the extracted folders after them only
# supply the names (a jar root yields none to the walk).
# The loader also follows a jar's manifest Class-Path right after that jar, and cdi-api names
# /usr/share/java/atinject-jsr330-api.jar there, which would shadow javax.inject.jar; jars with a Class-Path
# therefore go last, so every class of these jars is found in its own jar first.
ordered=()
late=()
for b in "${jars[@]}"; do
  manifest=$(unzip -p "$scratch/orig/$b.jar" META-INF/MANIFEST.MF 2>/dev/null || true)
  if grep -q -i '^Class-Path:' <<< "$manifest"; then late+=("$b"); else ordered+=("$b"); fi
done
ordered+=("${late[@]}")
(( ${#ordered[@]} == ${#jars[@]} )) || bad "ordering the class path lost jars"
linkable=$(cat "$scratch"/names/* | grep '\.class$' | grep -v '^META-INF' | grep -c -v 'module-info\.class$' || true)
linkcheck() {  # output, jar folder, extracted folder
  local jar_roots=() dir_roots=() b
  for b in "${ordered[@]}"; do
    jar_roots+=("$2/$b.jar")
    dir_roots+=("$3/$b")
  done
  "$jdk/bin/java" -Xverify:all -cp "$scratch/check" LinkCheck "${jar_roots[@]}" "${dir_roots[@]}" \
    > "$1" 2> "$1.err" || bad "LinkCheck exited with $? on $2"
  local last
  last=$(tail -n 1 "$1")
  [[ $last == "checked $linkable classes, "*" fail to link" ]] ||
    bad "LinkCheck on $2 says '$last', expected $linkable classes checked"
}
linkcheck "$scratch/link_before.txt" "$scratch/orig" "$scratch/before"
linkcheck "$scratch/link_after.txt" "$scratch/lib" "$scratch/after"
if comm -13 <(sed '$d' "$scratch/link_before.txt" | cut -d' ' -f1 | sort) \
            <(sed '$d' "$scratch/link_after.txt" | cut -d' ' -f1 | sort) > "$scratch/newfail.txt" &&
   [[ -s $scratch/newfail.txt ]]; then
  bad "classes link before the optimization but not after:"
  show "$scratch/newfail.txt" 30
  grep -F -f "$scratch/newfail.txt" "$scratch/link_after.txt" | head -n 10 | sed 's/^/    /' || true
fi

# --- summary -----------------------------------------------------------------------------------------------
echo "jars: ${#jars[@]}, entries: $entries, class entries: $classes (zyn on the jars: ${zyn_seconds}s)"
echo "identical entries: $((same_other + same_class)) ($same_other non-class, $same_class classes)," \
     "raw-identical: ${raw_identical:-?}; changed class entries: $changed_classes"
echo "jar tf listings equal: $tf_compared of ${#jars[@]}; class entries equal to the tree: $tree_same"
echo "link check before: $(tail -n 1 "$scratch/link_before.txt")"
echo "link check after:  $(tail -n 1 "$scratch/link_after.txt")"
if (( problems == 0 )); then
  echo "1 passed, 0 failed"
else
  echo "0 passed, 1 failed ($problems problems)"
  exit 1
fi
