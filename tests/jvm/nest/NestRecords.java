// release: 17
import java.util.function.Function;

// A record with nested types that use its private members, a sealed interface with nested implementations,
// and a switch over an enum nested in the record.
public record NestRecords(String name, int size) {
  private static int made;
  private static final String UNUSED = "unused";
  public NestRecords { made++; }
  private String label() { return name + "#" + size; }

  enum Kind { SMALL, LARGE }

  private Kind kind() { return size < 10 ? Kind.SMALL : Kind.LARGE; }

  sealed interface Node permits Leaf, Pair {}
  record Leaf(int value) implements Node {}
  record Pair(Node left, Node right) implements Node {}

  static final class Walker {
    private int visited;
    private int sum(Node n) {
      visited++;
      if (n instanceof Leaf l) return l.value();
      Pair p = (Pair) n;
      return sum(p.left()) + sum(p.right());
    }
  }

  class Printer {
    private final Function<String, String> wrap = s -> "[" + s + "|" + label() + "]";
    String print() {
      String k = switch (kind()) { case SMALL -> "small"; case LARGE -> "large"; };
      return wrap.apply(k);
    }
  }

  public static void main(String[] args) {
    NestRecords a = new NestRecords("a", 3), b = new NestRecords("b", 30);
    System.out.println(a.new Printer().print() + " " + b.new Printer().print());
    Walker w = new Walker();
    System.out.println(w.sum(new Pair(new Leaf(1), new Pair(new Leaf(2), new Leaf(3)))) + " " + w.visited);
    System.out.println(a + " " + made + " " + a.equals(new NestRecords("a", 3)));
  }
}
