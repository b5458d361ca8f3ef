package p;

public class B {
  private static String prefix = "B says ";

  public static String text(String s) {
    return wrap(s);
  }

  private static String wrap(String s) {
    return prefix + "[" + s + "]";
  }

  private static int unused(int x) {
    return x + 1;
  }
}
