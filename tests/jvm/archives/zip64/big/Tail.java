package big;

// The last entry of the Zip64 jar, after more than 65,535 others.
public class Tail {
  private static int depth = 3;

  private static String repeat(String s, int n) {
    StringBuilder b = new StringBuilder();
    for (int i = 0; i < n; i++) b.append(s);
    return b.toString();
  }

  private static void unused() {
    depth = 0;
  }

  public static String note() {
    return "tail " + repeat("ab", depth);
  }
}
