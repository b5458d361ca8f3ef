package mr;

import java.util.List;

// Release 11 flavour with the same public interface and other private members.
public class Impl {
  private final int seed;
  private long unusedCounter;

  public Impl(int seed) {
    this.seed = seed;
  }

  public String describe() {
    var parts = List.of(String.valueOf(scaled(5)), label());
    return "release 11: " + String.join("/", parts) + " " + "=".repeat(seed);
  }

  private int scaled(int factor) {
    return seed * factor + 1;
  }

  private String label() {
    return "modern";
  }

  private void leftover() {
    unusedCounter++;
  }
}
