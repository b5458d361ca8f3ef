// Builds the table of JDK classes that user code can extend and that are Serializable: the member pass keeps
// the private instance fields of a user class below one of them, as they are part of its serialized form.
//
//   java JdkTable.java names FEATURE OUT         the names of the running JDK (must be release FEATURE) to OUT
//   java JdkTable.java packages FEATURE OUT      the packages of every module of the running JDK to OUT
//   java JdkTable.java format OUT HEADER LIST... the union of the name lists, as the C++ include file OUT
//
// Reads the class files of the running JDK's system image through the jrt file system rather than loading
// the classes, so that nothing is initialized and modules outside the boot layer are seen as well. Written
// for the oldest JDK the table is made from (17).
import java.io.ByteArrayInputStream;
import java.io.DataInputStream;
import java.io.IOException;
import java.lang.module.ModuleDescriptor;
import java.lang.module.ModuleFinder;
import java.lang.module.ModuleReference;
import java.net.URI;
import java.nio.charset.StandardCharsets;
import java.nio.file.FileSystem;
import java.nio.file.FileSystems;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Comparator;
import java.util.HashMap;
import java.util.HashSet;
import java.util.List;
import java.util.Map;
import java.util.Set;
import java.util.TreeMap;
import java.util.TreeSet;
import java.util.stream.Collectors;
import java.util.stream.Stream;

public class JdkTable {
  static final int ACC_PUBLIC = 0x0001, ACC_PROTECTED = 0x0004, ACC_FINAL = 0x0010, ACC_INTERFACE = 0x0200,
                   ACC_MODULE = 0x8000;
  static final String SERIALIZABLE = "java/io/Serializable";

  // What the table needs of one class file.
  static final class Info {
    String name, superName;
    List<String> interfaces = new ArrayList<>();
    int access;
    boolean sealed;              // has a PermittedSubclasses attribute
    boolean openConstructor;     // has a public or protected <init>
  }

  public static void main(String[] args) throws Exception {
    if (args.length == 3 && args[0].equals("names")) {
      names(Integer.parseInt(args[1]), Paths.get(args[2]));
    } else if (args.length == 3 && args[0].equals("packages")) {
      packages(Integer.parseInt(args[1]), Paths.get(args[2]));
    } else if (args.length >= 4 && args[0].equals("format")) {
      format(Paths.get(args[1]), args[2], Arrays.stream(args, 3, args.length).map(Paths::get).toList());
    } else {
      System.err.println("usage: JdkTable names|packages FEATURE OUT | JdkTable format OUT HEADER LIST...");
      System.exit(2);
    }
  }

  // Class names compare by their UTF-8 bytes, so that C++ can search the table with plain byte comparison.
  static final Comparator<String> BYTES = (a, b) ->
      Arrays.compareUnsigned(a.getBytes(StandardCharsets.UTF_8), b.getBytes(StandardCharsets.UTF_8));

  static void names(int feature, Path out) throws IOException {
    checkFeature(feature);
    FileSystem jrt = FileSystems.getFileSystem(URI.create("jrt:/"));
    Map<String, Info> all = new HashMap<>();
    List<Info> candidates = new ArrayList<>();
    Set<String> modules = new TreeSet<>();
    // Superclasses and superinterfaces may live in unexported packages or other modules: read every class.
    for (ModuleReference ref : ModuleFinder.ofSystem().findAll()) {
      ModuleDescriptor md = ref.descriptor();
      modules.add(md.name());
      Set<String> exported = md.exports().stream().filter(e -> !e.isQualified())
                               .map(e -> e.source().replace('.', '/')).collect(Collectors.toSet());
      Path root = jrt.getPath("/modules", md.name());
      if (!Files.isDirectory(root)) throw new IllegalStateException("no classes for module " + md.name());
      List<Path> files;
      try (Stream<Path> s = Files.walk(root)) {
        files = s.filter(p -> p.toString().endsWith(".class")).toList();
      }
      for (Path p : files) {
        Info info = read(Files.readAllBytes(p));
        if ((info.access & ACC_MODULE) != 0) continue;
        if (all.put(info.name, info) != null) throw new IllegalStateException("class twice: " + info.name);
        int slash = info.name.lastIndexOf('/');
        if (slash > 0 && exported.contains(info.name.substring(0, slash))) candidates.add(info);
      }
    }
    Map<String, Boolean> memo = new HashMap<>();
    List<String> result = new ArrayList<>();
    for (Info c : candidates) {
      boolean open = (c.access & ACC_PUBLIC) != 0 && (c.access & ACC_FINAL) == 0 && !c.sealed
                     && ((c.access & ACC_INTERFACE) != 0 || c.openConstructor);
      if (open && serializable(c.name, all, memo)) result.add(c.name);
    }
    result.sort(BYTES);
    // An image read wrongly must not pass for an empty or tiny table.
    if (!result.contains(SERIALIZABLE) || !result.contains("java/io/Externalizable")) {
      throw new IllegalStateException("java/io/Serializable or Externalizable missing: jrt read wrongly?");
    }
    Files.write(out, result, StandardCharsets.UTF_8);
    System.err.println("JDK " + Runtime.version() + ": " + modules.size() + " modules, " + all.size()
                       + " classes, " + candidates.size() + " in exported packages, " + result.size() + " in the table");
  }

  // Every package of every system module, exported or not: code of the run that refers to a class in one of them
  // refers to the JDK, which binds no field of the run by name, rather than to a library.
  static void packages(int feature, Path out) throws IOException {
    checkFeature(feature);
    Set<String> packages = new TreeSet<>(BYTES);
    for (ModuleReference ref : ModuleFinder.ofSystem().findAll()) {
      for (String p : ref.descriptor().packages()) packages.add(p.replace('.', '/'));
    }
    if (!packages.contains("java/lang") || !packages.contains("java/util")) {
      throw new IllegalStateException("java/lang or java/util missing: modules read wrongly?");
    }
    Files.write(out, packages, StandardCharsets.UTF_8);
    System.err.println("JDK " + Runtime.version() + ": " + packages.size() + " packages");
  }

  static void checkFeature(int feature) {
    if (Runtime.version().feature() != feature) {
      throw new IllegalStateException("expected JDK " + feature + ", running " + Runtime.version() + " from "
                                      + System.getProperty("java.home"));
    }
  }

  static boolean serializable(String name, Map<String, Info> all, Map<String, Boolean> memo) {
    if (name.equals(SERIALIZABLE)) return true;
    Boolean known = memo.get(name);
    if (known != null) return known;
    Info info = all.get(name);
    if (info == null) throw new IllegalStateException("supertype not in the image: " + name);
    boolean r = info.superName != null && serializable(info.superName, all, memo);
    for (int i = 0; !r && i < info.interfaces.size(); i++) r = serializable(info.interfaces.get(i), all, memo);
    memo.put(name, r);
    return r;
  }

  static Info read(byte[] bytes) throws IOException {
    DataInputStream in = new DataInputStream(new ByteArrayInputStream(bytes));
    if (in.readInt() != 0xCAFEBABE) throw new IOException("not a class file");
    in.readUnsignedShort();
    in.readUnsignedShort();
    int count = in.readUnsignedShort();
    String[] utf8 = new String[count];
    int[] classNameIndex = new int[count];
    for (int i = 1; i < count; i++) {
      int tag = in.readUnsignedByte();
      switch (tag) {
        case 1 -> utf8[i] = in.readUTF();
        case 7 -> classNameIndex[i] = in.readUnsignedShort();
        case 8, 16, 19, 20 -> in.readUnsignedShort();
        case 15 -> { in.readUnsignedByte(); in.readUnsignedShort(); }
        case 3, 4, 9, 10, 11, 12, 17, 18 -> in.readInt();
        case 5, 6 -> { in.readLong(); i++; }
        default -> throw new IOException("constant pool tag " + tag);
      }
    }
    Info info = new Info();
    info.access = in.readUnsignedShort();
    info.name = utf8[classNameIndex[in.readUnsignedShort()]];
    int superIndex = in.readUnsignedShort();
    info.superName = superIndex == 0 ? null : utf8[classNameIndex[superIndex]];
    for (int n = in.readUnsignedShort(); n > 0; n--) info.interfaces.add(utf8[classNameIndex[in.readUnsignedShort()]]);
    for (int n = in.readUnsignedShort(); n > 0; n--) {  // fields
      in.skipBytes(6);
      skipAttributes(in);
    }
    for (int n = in.readUnsignedShort(); n > 0; n--) {  // methods
      int access = in.readUnsignedShort();
      String name = utf8[in.readUnsignedShort()];
      in.readUnsignedShort();
      if (name.equals("<init>") && (access & (ACC_PUBLIC | ACC_PROTECTED)) != 0) info.openConstructor = true;
      skipAttributes(in);
    }
    for (int n = in.readUnsignedShort(); n > 0; n--) {
      String name = utf8[in.readUnsignedShort()];
      int length = in.readInt();
      if (name.equals("PermittedSubclasses")) info.sealed = true;
      in.skipBytes(length);
    }
    if (in.read() != -1) throw new IOException("bytes after the class file end: " + info.name);
    return info;
  }

  static void skipAttributes(DataInputStream in) throws IOException {
    for (int n = in.readUnsignedShort(); n > 0; n--) {
      in.readUnsignedShort();
      int length = in.readInt();
      if (in.skipBytes(length) != length) throw new IOException("truncated attribute");
    }
  }

  // One string per package: the prefix with its trailing '/', then " Name" for each class in it, wrapped
  // into adjacent literals so that lines stay short and a changed name shows as a small diff.
  static void format(Path out, String header, List<Path> lists) throws IOException {
    Set<String> names = new TreeSet<>(BYTES);
    for (Path p : lists) names.addAll(Files.readAllLines(p, StandardCharsets.UTF_8));
    names.remove("");
    Map<String, List<String>> byPackage = new TreeMap<>(BYTES);
    for (String n : names) {
      if (n.indexOf('"') >= 0 || n.indexOf('\\') >= 0 || n.indexOf(' ') >= 0 || n.indexOf('?') >= 0) {
        throw new IllegalStateException("name unfit for a C++ string literal: " + n);
      }
      int slash = n.lastIndexOf('/');
      byPackage.computeIfAbsent(n.substring(0, slash + 1), k -> new ArrayList<>()).add(n.substring(slash + 1));
    }
    StringBuilder sb = new StringBuilder();
    for (String line : header.split("\n", -1)) sb.append(line.isEmpty() ? "//" : "// " + line).append('\n');
    sb.append("// ").append(names.size()).append(" names in ").append(byPackage.size()).append(" packages.\n");
    for (Map.Entry<String, List<String>> e : byPackage.entrySet()) {
      StringBuilder line = new StringBuilder("\"").append(e.getKey());
      for (String simple : e.getValue()) {
        if (line.length() + simple.length() + 3 > 110) {
          sb.append(line).append("\"\n");
          line = new StringBuilder("\"");
        }
        line.append(' ').append(simple);
      }
      sb.append(line).append("\",\n");
    }
    Files.writeString(out, sb.toString(), StandardCharsets.UTF_8);
  }
}
