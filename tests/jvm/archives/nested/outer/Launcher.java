import java.io.ByteArrayInputStream;
import java.io.IOException;
import java.io.InputStream;
import java.util.HashMap;
import java.util.Map;
import java.util.zip.ZipEntry;
import java.util.zip.ZipInputStream;

// Runs classes that live only inside archives nested in this jar: every class entry of lib/inner.jar and
// lib/more.zip (and of archives nested in those) is defined by one class loader, then the entry points run.
public class Launcher {
  public static void main(String[] args) throws Exception {
    Map<String, byte[]> classes = new HashMap<>();
    for (String lib : new String[] {"lib/inner.jar", "lib/more.zip"}) {
      try (InputStream in = Launcher.class.getResourceAsStream("/" + lib)) {
        if (in == null) throw new IllegalStateException("no " + lib);
        collect(in, lib, classes);
      }
    }
    ClassLoader loader = new ClassLoader(Launcher.class.getClassLoader()) {
      @Override
      protected Class<?> findClass(String name) throws ClassNotFoundException {
        byte[] b = classes.get(name.replace('.', '/') + ".class");
        if (b == null) throw new ClassNotFoundException(name);
        return defineClass(name, b, 0, b.length);
      }
    };
    for (String entry : new String[] {"inner.Greeter", "more.Counter", "deep.Leaf"}) {
      Class.forName(entry, true, loader).getMethod("main", String[].class).invoke(null, (Object) new String[0]);
    }
    System.out.println("classes loaded: " + classes.size());
  }

  // Reading through ZipInputStream checks every entry's CRC and size.
  private static void collect(InputStream in, String where, Map<String, byte[]> classes) throws IOException {
    ZipInputStream zip = new ZipInputStream(in);
    for (ZipEntry e; (e = zip.getNextEntry()) != null; ) {
      String name = e.getName();
      byte[] bytes = zip.readAllBytes();
      if (name.endsWith(".class")) {
        classes.put(name, bytes);
      } else if (name.endsWith(".jar") || name.endsWith(".zip")) {
        collect(new ByteArrayInputStream(bytes), where + "!" + name, classes);
      }
    }
  }
}
