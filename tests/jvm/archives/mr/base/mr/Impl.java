package mr;

// Release 8 flavour; private members to remove (neverRead, unused) and rename (seed, scaled, tag).
public class Impl {
  private final int seed;
  private int neverRead;

  public Impl(int seed) {
    this.seed = seed;
  }

  public String describe() {
    return "base: " + scaled(3) + " " + tag();
  }

  private int scaled(int factor) {
    return seed * factor;
  }

  private static String tag() {
    return "classic";
  }

  private void unused() {
    System.out.println("never called");
  }
}
