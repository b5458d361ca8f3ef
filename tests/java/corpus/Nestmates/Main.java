// release: 11
// Nest-based access: nested, inner, local and anonymous classes use each other's private fields,
// methods and constructors directly (no synthetic accessors); private interface methods; var in
// lambda parameters.
import java.util.ArrayList;
import java.util.List;
import java.util.function.BiFunction;
import java.util.function.Function;

public class Main {
    private int secret = 10;
    private static String registry = "";
    private final List<String> trail = new ArrayList<>();

    private Main() {}

    private void record(String s) { trail.add(s); }
    private static void register(String s) { registry += s + ";"; }
    private int twice(int x) { return 2 * x + secret; }

    static class Nested {
        private int hidden;
        private static int nestedCount;
        private Nested(int h) { hidden = h; nestedCount++; }
        private int peek(Main m) { return m.secret + hidden; }      // outer private via instance
        private static Nested make(int h) { register("nested" + h); return new Nested(h); }
    }

    class Inner {
        private int mine = 1;
        private Inner() { secret += 5; record("inner-created"); }
        private int combined() { return secret * 100 + mine + twice(mine); }
        class Deeper {
            private String deep() { mine++; secret++; return "deep:" + mine + ":" + secret + ":" + Nested.nestedCount; }
        }
    }

    interface Shape {
        double area();
        default String describe() { return name() + " " + format(area()); }
        String name();
        private String format(double d) { return String.valueOf(Math.round(d * 10) / 10.0); }   // private interface method
        private static String unit() { return "u2"; }
        static String withUnit(Shape s) { return s.describe() + unit(); }
    }

    private String walk() {
        int base = 3;
        class Local {
            private int value = base + secret;
            private String show() { record("local"); return "local:" + value + ":" + twice(value); }
        }
        Object anon = new Object() {
            private int calls;
            @Override public String toString() { calls++; secret -= 1; return "anon:" + calls + ":" + secret; }
        };
        Local l = new Local();
        l.value += 1;                       // outer reaches into the local class's private field
        return l.show() + " " + anon + " " + anon;
    }

    public static void main(String[] args) {
        Main m = new Main();
        Nested n = Nested.make(4);
        n.hidden += 2;
        System.out.println("nested " + n.peek(m) + " " + n.hidden + " count " + Nested.nestedCount);
        Main.Inner in = m.new Inner();
        System.out.println("inner " + in.combined() + " mine " + in.mine);
        Main.Inner.Deeper d = in.new Deeper();
        System.out.println(d.deep() + " " + d.deep());
        System.out.println(m.walk());
        Shape sq = new Shape() {
            private final double side = 1.5;
            public double area() { return side * side; }
            public String name() { return "square"; }
        };
        System.out.println(sq.describe() + " | " + Shape.withUnit(sq));
        BiFunction<Integer, Integer, Integer> add = (var a, var b) -> a + b + m.secret;
        Function<String, String> shout = (final var s) -> s.toUpperCase() + m.twice(s.length());
        var list = new ArrayList<String>();
        for (var i = 0; i < 3; i++) list.add(shout.apply("x" + i));
        System.out.println("lambdas " + add.apply(1, 2) + " " + list);
        Runnable r = () -> { m.secret *= 2; m.record("lambda"); register("lambda"); };
        r.run();
        System.out.println("secret " + m.secret + " trail " + m.trail + " registry " + registry);
        System.out.println("nestmates " + Main.class.isNestmateOf(Nested.class) + " " + (Inner.Deeper.class.getNestHost() == Main.class));
    }
}
