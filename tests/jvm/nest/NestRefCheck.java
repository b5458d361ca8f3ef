import java.io.DataInputStream;
import java.io.IOException;
import java.lang.reflect.Executable;
import java.lang.reflect.Field;
import java.lang.reflect.Method;
import java.net.URL;
import java.net.URLClassLoader;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.List;
import java.util.stream.Collectors;
import java.util.stream.Stream;

/**
 * For every field and method reference of every class under a root whose class is of the referring class's
 * nest, finds through reflection the member it names (by name and descriptor, in the class or a supertype);
 * prints those it cannot find, then the count of references checked.
 *
 * With --kept ORIGINAL UNIT ONE: every member of a class of ORIGINAL that the nest pass (UNIT) kept under its
 * name and descriptor must be kept so by the rule for one class (ONE) too; prints those that are not.
 */
public class NestRefCheck {
  public static void main(String[] args) throws Exception {
    if (args[0].equals("--kept")) {
      kept(Paths.get(args[1]), Paths.get(args[2]), Paths.get(args[3]));
      return;
    }
    Path root = Paths.get(args[0]);
    int checked = 0, missing = 0;
    try (URLClassLoader loader = new URLClassLoader(new URL[] {root.toUri().toURL()}, null);
         Stream<Path> walk = Files.walk(root)) {
      for (Path file : walk.filter(p -> p.toString().endsWith(".class")).collect(Collectors.toList())) {
        String name = root.relativize(file).toString().replace(".class", "").replace('/', '.');
        Class<?> self = Class.forName(name, false, loader);
        for (String[] ref : references(file)) {
          Class<?> owner;
          try {
            owner = Class.forName(ref[1].replace('/', '.'), false, loader);
          } catch (ClassNotFoundException | NoClassDefFoundError e) {
            continue;
          }
          if (owner.getNestHost() != self.getNestHost()) continue;
          checked++;
          // An interface method reference may name a method of Object.
          if (!finds(owner, ref[0], ref[2], ref[3]) && !finds(Object.class, ref[0], ref[2], ref[3])) {
            missing++;
            System.out.println("missing: " + name + " -> " + ref[1] + "." + ref[2] + ref[3]);
          }
        }
      }
    }
    System.out.println(checked + " references checked, " + missing + " missing");
  }

  static void kept(Path original, Path unit, Path one) throws Exception {
    int kept = 0, notKept = 0;
    try (Stream<Path> walk = Files.walk(original)) {
      for (Path file : walk.filter(p -> p.toString().endsWith(".class")).collect(Collectors.toList())) {
        String name = original.relativize(file).toString().replace(".class", "").replace('/', '.');
        List<String> byOne = members(one, name);
        for (String m : members(unit, name)) {
          if (!members(original, name).contains(m)) continue;
          kept++;
          if (!byOne.contains(m)) {
            notKept++;
            System.out.println("kept by the nest pass only: " + name + " " + m);
          }
        }
      }
    }
    System.out.println(kept + " members kept by the nest pass, " + notKept + " not kept one by one");
  }

  // The declared members of a class of the folder, as "name descriptor".
  static List<String> members(Path root, String name) throws Exception {
    try (URLClassLoader loader = new URLClassLoader(new URL[] {root.toUri().toURL()}, null)) {
      Class<?> c = Class.forName(name, false, loader);
      List<String> all = new ArrayList<>();
      for (Field f : c.getDeclaredFields()) all.add(f.getName() + " " + of(f.getType()));
      for (Executable e : c.getDeclaredConstructors()) all.add("<init> " + of(e.getParameterTypes()) + "V");
      for (Method m : c.getDeclaredMethods()) all.add(m.getName() + " " + of(m.getParameterTypes()) + of(m.getReturnType()));
      return all;
    }
  }

  // Kind ("F" or "M"), owner, name and descriptor of each member reference of the class file.
  static List<String[]> references(Path file) throws IOException {
    try (DataInputStream in = new DataInputStream(Files.newInputStream(file))) {
      in.readInt();
      in.readInt();
      int count = in.readUnsignedShort();
      Object[] pool = new Object[count];
      int[][] links = new int[count][];
      int[] tags = new int[count];
      for (int i = 1; i < count; i++) {
        int tag = in.readUnsignedByte();
        tags[i] = tag;
        switch (tag) {
          case 1: pool[i] = in.readUTF(); break;
          case 3: case 4: in.readInt(); break;
          case 5: case 6: in.readLong(); i++; break;
          case 7: case 8: case 16: case 19: case 20: links[i] = new int[] {in.readUnsignedShort()}; break;
          case 15: in.readUnsignedByte(); in.readUnsignedShort(); break;
          case 9: case 10: case 11: case 12: case 17: case 18:
            links[i] = new int[] {in.readUnsignedShort(), in.readUnsignedShort()}; break;
          default: throw new IOException("tag " + tag);
        }
      }
      List<String[]> refs = new ArrayList<>();
      for (int i = 1; i < count; i++) {
        if (tags[i] < 9 || tags[i] > 11) continue;
        String owner = (String) pool[links[links[i][0]][0]];
        int[] nat = links[links[i][1]];
        refs.add(new String[] {tags[i] == 9 ? "F" : "M", owner, (String) pool[nat[0]], (String) pool[nat[1]]});
      }
      return refs;
    }
  }

  static boolean finds(Class<?> type, String kind, String name, String descriptor) {
    if (type == null) return false;
    if (kind.equals("F")) {
      for (Field f : type.getDeclaredFields())
        if (f.getName().equals(name) && of(f.getType()).equals(descriptor)) return true;
    } else if (name.equals("<init>")) {
      for (Executable c : type.getDeclaredConstructors())
        if (descriptor.equals(of(c.getParameterTypes()) + "V")) return true;
    } else {
      for (Method m : type.getDeclaredMethods())
        if (m.getName().equals(name) && descriptor.equals(of(m.getParameterTypes()) + of(m.getReturnType())))
          return true;
    }
    for (Class<?> i : type.getInterfaces())
      if (finds(i, kind, name, descriptor)) return true;
    return finds(type.getSuperclass(), kind, name, descriptor);
  }

  static String of(Class<?>[] types) {
    StringBuilder b = new StringBuilder("(");
    for (Class<?> t : types) b.append(of(t));
    return b.append(')').toString();
  }

  static String of(Class<?> t) {
    if (t == void.class) return "V";
    if (t.isArray()) return t.getName().replace('.', '/');
    if (t.isPrimitive())
      return String.valueOf("ZBCSIJFD".charAt(List.of(boolean.class, byte.class, char.class, short.class, int.class,
          long.class, float.class, double.class).indexOf(t)));
    return "L" + t.getName().replace('.', '/') + ";";
  }
}
