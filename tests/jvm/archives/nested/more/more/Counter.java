package more;

public class Counter {
  private int total;
  private int neverRead;

  private void add(int n) {
    total += n;
  }

  private static String show(int v) {
    return "counted " + v;
  }

  public static void main(String[] args) {
    Counter c = new Counter();
    for (int i = 1; i <= 10; i++) c.add(i);
    System.out.println(show(c.total));
  }
}
