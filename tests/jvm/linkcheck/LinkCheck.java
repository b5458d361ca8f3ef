import java.io.IOException;
import java.net.URL;
import java.net.URLClassLoader;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.List;
import java.util.TreeSet;
import java.util.stream.Stream;

/**
 * Loads every class found under the given class path roots through a class loader of its own and forces
 * linking (and so verification) without running static initializers; prints the classes that fail, sorted.
 */
public class LinkCheck {
  public static void main(String[] args) throws IOException {
    List<URL> urls = new ArrayList<>();
    for (String root : args) urls.add(Paths.get(root).toUri().toURL());
    TreeSet<String> failed = new TreeSet<>();
    int checked = 0;
    try (URLClassLoader loader = new URLClassLoader(urls.toArray(new URL[0]), ClassLoader.getPlatformClassLoader())) {
      for (String root : args) {
        Path base = Paths.get(root);
        List<Path> files = new ArrayList<>();
        try (Stream<Path> walk = Files.walk(base)) {
          walk.filter(p -> p.toString().endsWith(".class")).forEach(files::add);
        }
        for (Path file : files) {
          String relative = base.relativize(file).toString();
          if (relative.startsWith("META-INF") || relative.endsWith("module-info.class")) continue;
          String name = relative.substring(0, relative.length() - ".class".length()).replace('/', '.');
          checked++;
          try {
            Class<?> c = Class.forName(name, false, loader);
            c.getDeclaredMethods();
            c.getDeclaredFields();
          } catch (Throwable t) {
            failed.add(name + " " + t.getClass().getName());
          }
        }
      }
    }
    for (String f : failed) System.out.println(f);
    System.out.println("checked " + checked + " classes, " + failed.size() + " fail to link");
  }
}
