// Compiles each program folder given on its own, in one JVM: javac started once per folder would take most
// of the corpus script's time. Usage: java CompileEach.java RELEASE OUT DIR...
import java.io.OutputStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.stream.Stream;
import javax.tools.JavaCompiler;
import javax.tools.ToolProvider;

public class CompileEach {
  public static void main(String[] args) throws Exception {
    JavaCompiler javac = ToolProvider.getSystemJavaCompiler();
    Path out = Path.of(args[1]);
    for (int i = 2; i < args.length; i++) {
      Path dir = Path.of(args[i]);
      List<String> words = new ArrayList<>(List.of("-g", "-nowarn", "--release", args[0], "-d",
          out.resolve(dir.getFileName()).toString()));
      try (Stream<Path> files = Files.walk(dir)) {
        files.map(Path::toString).filter(f -> f.endsWith(".java")).sorted().forEach(words::add);
      }
      // A program that does not compile at this release is left out.
      javac.run(null, OutputStream.nullOutputStream(), OutputStream.nullOutputStream(), words.toArray(new String[0]));
    }
  }
}
