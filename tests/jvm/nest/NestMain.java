// release: 11
import java.io.ByteArrayInputStream;
import java.io.ByteArrayOutputStream;
import java.io.ObjectInputStream;
import java.io.ObjectOutputStream;
import java.io.Serializable;
import java.util.ArrayList;
import java.util.List;
import java.util.function.IntSupplier;
import java.util.function.Supplier;

// Inner classes of every kind that use the private members of their outer class and of one another, private
// members nothing uses, lambdas and method references inside inner classes, private interface methods, an enum
// switched on in a nested class.
public class NestMain {
  private int counter = 3;
  private static String greeting = "hello";
  private final List<String> log = new ArrayList<>();
  private int unusedField = 7;
  private static long unusedStatic = 9L;

  private int bump(int by) { counter += by; return counter; }
  private static String shout(String s) { return s.toUpperCase(); }
  private void record(String what) { log.add(what); }
  private String neverCalled() { return helperOfNeverCalled(); }
  private String helperOfNeverCalled() { return "gone"; }
  private int same() { return 1; }

  class Inner {
    private int innerState = 5;
    private int same() { return 2; }
    int work() {
      record("inner " + bump(innerState));
      return same() + NestMain.this.same() + counter;
    }
    IntSupplier later() { return () -> bump(1) + innerState; }
  }

  static class Nested {
    private static int created;
    private final String name;
    private Nested(String name) { this.name = name; created++; }
    private String describe() { return shout(name) + "/" + greeting + "/" + created; }
  }

  interface Shape {
    double area();
    default String describe() { return name() + ":" + format(area()); }
    private String format(double d) { return String.format("%.2f", d); }
    private String name() { return getClass().getSimpleName(); }
  }

  static final class Square implements Shape {
    private final double side;
    Square(double side) { this.side = side; }
    public double area() { return side * side; }
  }

  enum Color { RED, GREEN, BLUE; private String lower() { return name().toLowerCase(); } }

  static class Painter {
    private static String paint(Color c) {
      switch (c) {
        case RED: return "warm " + c.lower();
        case BLUE: return "cold " + c.lower();
        default: return "plain " + c.lower();
      }
    }
  }

  static class Point implements Serializable {
    private static final long serialVersionUID = 1L;
    private int x, y;
    private transient int cache;
    Point(int x, int y) { this.x = x; this.y = y; cache = x * y; }
    private int sum() { return x + y; }
  }

  private Supplier<String> anonymous() {
    return new Supplier<String>() {
      private int calls;
      public String get() { calls++; record("anon " + calls); return shout(greeting) + counter; }
    };
  }

  private String local() {
    class Local {
      private String twice(String s) { return s + s; }
    }
    Local l = new Local();
    return l.twice(greeting);
  }

  public static void main(String[] args) throws Exception {
    NestMain outer = new NestMain();
    NestMain.Inner inner = outer.new Inner();
    System.out.println(inner.work());
    System.out.println(inner.later().getAsInt());
    System.out.println(new Nested("abc").describe() + " " + new Nested("de").describe());
    System.out.println(new Square(1.5).describe());
    for (Color c : Color.values()) System.out.println(Painter.paint(c));
    Supplier<String> s = outer.anonymous();
    System.out.println(s.get() + " " + s.get());
    System.out.println(outer.local());
    Supplier<String> ref = NestMain::staticRef;
    System.out.println(ref.get());
    Point p = new Point(3, 4);
    ByteArrayOutputStream bytes = new ByteArrayOutputStream();
    try (ObjectOutputStream out = new ObjectOutputStream(bytes)) { out.writeObject(p); }
    try (ObjectInputStream in = new ObjectInputStream(new ByteArrayInputStream(bytes.toByteArray()))) {
      Point q = (Point) in.readObject();
      System.out.println(q.sum() + " " + q.cache);
    }
    System.out.println(outer.log);
  }

  private static String staticRef() { return "ref " + greeting.length(); }
}
