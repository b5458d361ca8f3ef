import java.io.IOException;
import java.util.zip.ZipFile;

// Runs from a Zip64 jar and reads that jar (its path is the argument) with ZipFile.
public class Main {
  private final String label;
  private int unusedField;

  private Main(String label) {
    this.label = label;
  }

  private String line(long entries, long classes) {
    return label + ": " + entries + " entries, " + classes + " classes";
  }

  private void unused() {
    unusedField++;
  }

  public static void main(String[] args) throws IOException {
    System.out.println(big.Tail.note());
    try (ZipFile zip = new ZipFile(args[0])) {
      long classes = zip.stream().filter(e -> e.getName().endsWith(".class")).count();
      System.out.println(new Main("zip64").line(zip.size(), classes));
      System.out.println(zip.getEntry("filler/065536.txt") != null);
    }
  }
}
