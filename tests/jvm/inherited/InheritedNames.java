import java.io.ByteArrayInputStream;
import java.io.DataInputStream;
import java.io.IOException;
import java.io.InputStream;
import java.net.URI;
import java.nio.file.FileSystem;
import java.nio.file.FileSystems;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayDeque;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.Deque;
import java.util.HashMap;
import java.util.HashSet;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.Set;
import java.util.TreeSet;
import java.util.stream.Stream;
import java.util.zip.ZipEntry;
import java.util.zip.ZipFile;

/**
 * Compares the jars of one folder (the originals) with the jars of the same names in another (the optimized
 * ones) and reports each private member of an optimized class that takes a name and descriptor (a method) or
 * a name and type (a field) that one of the class's supertypes declares non-private, unless the original class
 * already had a private member of that name and descriptor. Supertypes are looked up among all classes of the
 * same side's jars first, then in the running JDK; one found in neither is listed as unresolved.
 *
 * Also prints the private fields and methods of the originals (constructors aside), how many of them the
 * optimized classes renamed and how many they dropped. Members are paired in declaration order: the optimized
 * list must be the original one with private members left out, and a kept private member may differ in name.
 *
 * usage: java InheritedNames ORIGINAL_DIR OPTIMIZED_DIR
 * The last line is "violations N"; the exit code is 0 unless the input cannot be read.
 */
public class InheritedNames {
  static final int ACC_PRIVATE = 0x0002;

  record Member(int access, String name, String descriptor) {
    boolean isPrivate() { return (access & ACC_PRIVATE) != 0; }
    boolean isInitializer() { return name.equals("<init>") || name.equals("<clinit>"); }
  }

  record ClassInfo(String where, String name, String superName, List<String> interfaces, List<Member> fields,
                   List<Member> methods) {}

  // The classes of one side: by name every class of that name, versioned entries of a jar included (the JVM
  // may take any of them).
  static final class Side {
    final Map<String, List<ClassInfo>> byName = new HashMap<>();
    final Map<String, ClassInfo> byEntry = new LinkedHashMap<>();  // "jar!entry" in jar and entry order
  }

  public static void main(String[] args) throws IOException {
    if (args.length != 2) {
      System.err.println("usage: java InheritedNames ORIGINAL_DIR OPTIMIZED_DIR");
      System.exit(2);
    }
    Side original = readSide(Path.of(args[0]));
    Side optimized = readSide(Path.of(args[1]));
    Jdk jdk = new Jdk();

    long privates = 0, renamed = 0, removed = 0, classes = 0, missing = 0, unaligned = 0;
    List<String> violations = new ArrayList<>();
    Set<String> unresolved = new TreeSet<>();
    for (Map.Entry<String, ClassInfo> e : original.byEntry.entrySet()) {
      ClassInfo before = e.getValue();
      ClassInfo after = optimized.byEntry.get(e.getKey());
      if (after == null) {
        System.out.println("MISSING " + e.getKey() + ": no such class entry among the optimized jars");
        missing++;
        continue;
      }
      classes++;
      for (boolean methods : new boolean[] {false, true}) {
        List<Member> b = methods ? before.methods() : before.fields();
        List<Member> a = methods ? after.methods() : after.fields();
        long own = b.stream().filter(m -> m.isPrivate() && !m.isInitializer()).count();
        privates += own;
        int[] pairs = align(b, a);
        if (pairs == null) {
          System.out.println("UNALIGNED " + e.getKey() + (methods ? " methods" : " fields"));
          unaligned++;
          continue;
        }
        long kept = 0;
        for (int j = 0; j < a.size(); j++) {
          Member m = a.get(j);
          if (!m.isPrivate() || m.isInitializer()) continue;
          kept++;
          if (!m.name().equals(b.get(pairs[j]).name())) renamed++;
        }
        removed += own - kept;
      }

      Map<String, String> inherited = new HashMap<>();
      Set<String> absent = new TreeSet<>();
      supertypeMembers(after, optimized, jdk, inherited, absent);
      if (!absent.isEmpty()) unresolved.add(e.getKey() + " (" + String.join(", ", absent) + ")");
      Set<String> hadPrivate = new HashSet<>();
      for (Member m : before.fields()) if (m.isPrivate()) hadPrivate.add(key('F', m));
      for (Member m : before.methods()) if (m.isPrivate()) hadPrivate.add(key('M', m));
      for (boolean methods : new boolean[] {false, true}) {
        for (Member m : methods ? after.methods() : after.fields()) {
          if (!m.isPrivate() || m.isInitializer()) continue;
          String k = key(methods ? 'M' : 'F', m);
          String declaredBy = inherited.get(k);
          if (declaredBy != null && !hadPrivate.contains(k)) {
            violations.add(e.getKey() + ": private " + (methods ? "method " : "field ") + m.name() + " "
                + m.descriptor() + " is declared non-private by supertype " + declaredBy);
          }
        }
      }
    }
    for (ClassInfo c : optimized.byEntry.values()) {
      if (!original.byEntry.containsKey(c.where())) System.out.println("EXTRA " + c.where());
    }

    Collections.sort(violations);
    for (String v : violations) System.out.println("VIOLATION " + v);
    for (String u : unresolved) System.out.println("UNRESOLVED " + u);
    System.out.println("classes " + classes + ", with unresolved supertypes " + unresolved.size()
        + " (checked against the supertypes found), missing " + missing + ", unaligned " + unaligned);
    System.out.printf("private members %d, renamed %d (%.1f%%), removed %d%n", privates, renamed,
        privates == 0 ? 0.0 : 100.0 * renamed / privates, removed);
    System.out.println("violations " + violations.size());
  }

  static String key(char kind, Member m) { return kind + m.name() + " " + m.descriptor(); }

  // For each optimized member, the index of its original; null when the optimized list is not the original
  // one with private members left out. Among the pairings, the one keeping the most names is taken, so that a
  // dropped member of the same descriptor does not pass for a renamed one.
  static int[] align(List<Member> before, List<Member> after) {
    int n = before.size(), m = after.size();
    if (n == m && before.equals(after)) {
      int[] same = new int[m];
      for (int j = 0; j < m; j++) same[j] = j;
      return same;
    }
    final int none = Integer.MIN_VALUE / 2;
    // best[i][j]: names kept when before[0..i) is paired with all of after[0..j).
    int[][] best = new int[n + 1][m + 1];
    for (int[] row : best) Arrays.fill(row, none);
    best[0][0] = 0;
    for (int i = 1; i <= n; i++) {
      Member b = before.get(i - 1);
      for (int j = 0; j <= m; j++) {
        int v = b.isPrivate() ? best[i - 1][j] : none;  // only a private member may be dropped
        if (j > 0 && best[i - 1][j - 1] != none && pairs(b, after.get(j - 1))) {
          v = Math.max(v, best[i - 1][j - 1] + (b.name().equals(after.get(j - 1).name()) ? 1 : 0));
        }
        best[i][j] = v;
      }
    }
    if (best[n][m] == none) return null;
    int[] result = new int[m];
    for (int i = n, j = m; j > 0; i--) {
      Member b = before.get(i - 1);
      int paired = best[i - 1][j - 1] == none || !pairs(b, after.get(j - 1)) ? none
          : best[i - 1][j - 1] + (b.name().equals(after.get(j - 1).name()) ? 1 : 0);
      if (paired == best[i][j]) result[--j] = i - 1;
    }
    return result;
  }

  static boolean pairs(Member b, Member a) {
    if (b.access() != a.access() || !b.descriptor().equals(a.descriptor())) return false;
    return b.isPrivate() && !b.isInitializer() || b.name().equals(a.name());
  }

  // Collects the non-private members (constructors aside) of every supertype, transitively, with the name of
  // a supertype declaring each; adds to absent each supertype that is neither among the side's classes nor
  // the JDK's.
  static void supertypeMembers(ClassInfo c, Side side, Jdk jdk, Map<String, String> into, Set<String> absent)
      throws IOException {
    Deque<String> pending = new ArrayDeque<>();
    if (c.superName() != null) pending.add(c.superName());
    pending.addAll(c.interfaces());
    Set<String> seen = new HashSet<>();
    while (!pending.isEmpty()) {
      String type = pending.poll();
      if (!seen.add(type)) continue;
      List<ClassInfo> found = side.byName.get(type);
      if (found == null) {
        ClassInfo fromJdk = jdk.find(type);
        found = fromJdk == null ? null : List.of(fromJdk);
      }
      if (found == null) {
        absent.add(type);
        continue;
      }
      for (ClassInfo s : found) {
        for (Member f : s.fields()) if (!f.isPrivate()) into.putIfAbsent(key('F', f), type);
        for (Member m : s.methods()) if (!m.isPrivate() && !m.isInitializer()) into.putIfAbsent(key('M', m), type);
        if (s.superName() != null) pending.add(s.superName());
        pending.addAll(s.interfaces());
      }
    }
  }

  static Side readSide(Path dir) throws IOException {
    List<Path> jars;
    try (Stream<Path> list = Files.list(dir)) {
      jars = list.filter(p -> p.getFileName().toString().endsWith(".jar")).sorted().toList();
    }
    if (jars.isEmpty()) throw new IOException("no jars in " + dir);
    Side side = new Side();
    for (Path jar : jars) {
      try (ZipFile zip = new ZipFile(jar.toFile())) {
        for (ZipEntry entry : Collections.list(zip.entries())) {
          String name = entry.getName();
          if (!name.endsWith(".class") || name.endsWith("module-info.class") || entry.isDirectory()) continue;
          String where = jar.getFileName() + "!" + name;
          ClassInfo c;
          try (InputStream in = zip.getInputStream(entry)) {
            c = parse(where, in.readAllBytes());
          }
          side.byEntry.put(where, c);
          side.byName.computeIfAbsent(c.name(), k -> new ArrayList<>()).add(c);
        }
      }
    }
    return side;
  }

  // The JDK's own classes, read as class files from the run-time image.
  static final class Jdk {
    final FileSystem jrt = FileSystems.getFileSystem(URI.create("jrt:/"));
    final Map<String, ClassInfo> cache = new HashMap<>();

    ClassInfo find(String name) throws IOException {
      if (cache.containsKey(name)) return cache.get(name);
      ClassInfo found = null;
      int slash = name.lastIndexOf('/');
      Path modules = jrt.getPath("/packages", slash < 0 ? "" : name.substring(0, slash).replace('/', '.'));
      if (slash > 0 && Files.isDirectory(modules)) {
        try (Stream<Path> list = Files.list(modules)) {
          for (Path module : list.toList()) {
            Path file = jrt.getPath("/modules", module.getFileName().toString(), name + ".class");
            if (Files.exists(file)) {
              found = parse("jrt:" + file, Files.readAllBytes(file));
              break;
            }
          }
        }
      }
      cache.put(name, found);
      return found;
    }
  }

  static ClassInfo parse(String where, byte[] bytes) throws IOException {
    DataInputStream in = new DataInputStream(new ByteArrayInputStream(bytes));
    if (in.readInt() != 0xCAFEBABE) throw new IOException(where + ": not a class file");
    in.readInt();  // minor and major version
    int count = in.readUnsignedShort();
    String[] utf = new String[count];
    int[] classNames = new int[count];
    for (int i = 1; i < count; i++) {
      int tag = in.readUnsignedByte();
      switch (tag) {
        case 1 -> utf[i] = in.readUTF();
        case 7 -> classNames[i] = in.readUnsignedShort();
        case 8, 16, 19, 20 -> in.skipNBytes(2);
        case 15 -> in.skipNBytes(3);
        case 3, 4, 9, 10, 11, 12, 17, 18 -> in.skipNBytes(4);
        case 5, 6 -> {
          in.skipNBytes(8);
          i++;
        }
        default -> throw new IOException(where + ": constant pool tag " + tag + " at " + i);
      }
    }
    in.readUnsignedShort();  // access flags
    String name = utf[classNames[in.readUnsignedShort()]];
    int superIndex = in.readUnsignedShort();
    String superName = superIndex == 0 ? null : utf[classNames[superIndex]];
    List<String> interfaces = new ArrayList<>();
    for (int n = in.readUnsignedShort(); n > 0; n--) interfaces.add(utf[classNames[in.readUnsignedShort()]]);
    List<Member> fields = members(in, utf);
    List<Member> methods = members(in, utf);
    return new ClassInfo(where, name, superName, interfaces, fields, methods);
  }

  static List<Member> members(DataInputStream in, String[] utf) throws IOException {
    List<Member> list = new ArrayList<>();
    for (int n = in.readUnsignedShort(); n > 0; n--) {
      int access = in.readUnsignedShort();
      String name = utf[in.readUnsignedShort()];
      String descriptor = utf[in.readUnsignedShort()];
      for (int a = in.readUnsignedShort(); a > 0; a--) {
        in.readUnsignedShort();
        in.skipNBytes(Integer.toUnsignedLong(in.readInt()));
      }
      list.add(new Member(access, name, descriptor));
    }
    return list;
  }
}
