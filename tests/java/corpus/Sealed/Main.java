// release: 17
// Sealed interfaces and classes with permits (including non-sealed and final subclasses), switch
// expressions with arrows and yield, text blocks, instanceof pattern matching, enhanced switch on
// strings and enums.
import java.util.List;

public class Main {
    sealed interface Shape permits Circle, Rect, Polygon {}

    static final class Circle implements Shape {
        private final int r;
        Circle(int r) { this.r = r; }
        private int diameter() { return 2 * r; }
        int r() { return r; }
    }

    static final class Rect implements Shape {
        private final int w, h;
        Rect(int w, int h) { this.w = w; this.h = h; }
        boolean square() { return w == h; }
        int area() { return w * h; }
    }

    static sealed class Polygon implements Shape permits Triangle, Free {
        private final int sides;
        Polygon(int sides) { this.sides = sides; }
        int sides() { return sides; }
    }

    static final class Triangle extends Polygon {
        Triangle() { super(3); }
    }

    static non-sealed class Free extends Polygon {
        Free(int n) { super(n); }
    }

    static class Star extends Free {
        private final int points;
        Star(int points) { super(points * 2); this.points = points; }
        private String spikes() { return "*".repeat(points); }
    }

    enum Day { MON, TUE, WED, THU, FRI, SAT, SUN }

    private static String describe(Shape s) {
        if (s instanceof Circle c && c.r() > 10) return "big circle d=" + c.diameter();
        if (s instanceof Circle c) return "circle d=" + c.diameter();
        if (s instanceof Rect r && r.square()) return "square area=" + r.area();
        if (!(s instanceof Polygon p)) return "rect area=" + ((Rect) s).area();
        if (p instanceof Star st) return "star " + st.spikes() + " sides=" + st.sides();
        return "polygon sides=" + p.sides();
    }

    private static int weight(Day d) {
        return switch (d) {
            case SAT, SUN -> 0;
            case MON -> 3;
            case FRI -> {
                int w = d.ordinal();
                yield w * 2;
            }
            default -> 1;
        };
    }

    private static String classify(String word) {
        return switch (word) {
            case "apple", "pear" -> "fruit";
            case "carrot" -> "vegetable";
            case "" -> "empty";
            default -> {
                if (word.length() > 6) yield "long word";
                String lower = word.toLowerCase();
                yield lower.equals(word) ? "word" : "Word";
            }
        };
    }

    private static int oldStyleYield(int k) {
        int r = switch (k % 4) {
            case 0:
                yield 100;
            case 1:
            case 2:
                int t = k * 3;
                yield t;
            default:
                yield -k;
        };
        return r;
    }

    private static final String REPORT = """
            Report:
              name:\t"%s"
              count: %d \
            (same line)
              path: C:\\tmp\\x
            end""";

    public static void main(String[] args) {
        List<Shape> shapes = List.of(new Circle(3), new Circle(12), new Rect(2, 2), new Rect(2, 5), new Triangle(), new Free(7), new Star(4));
        for (Shape s : shapes) System.out.println(describe(s));
        StringBuilder sb = new StringBuilder();
        for (Day d : Day.values()) sb.append(d).append('=').append(weight(d)).append(' ');
        System.out.println("weights " + sb.toString().strip());
        for (String w : new String[] { "apple", "carrot", "", "Banana", "kiwi", "watermelon" }) System.out.println("[" + w + "] " + classify(w));
        System.out.println("yield " + oldStyleYield(4) + " " + oldStyleYield(5) + " " + oldStyleYield(6) + " " + oldStyleYield(7));
        System.out.println(REPORT.formatted("demo", 3));
        String block = """
            <a>
              <b/>
            </a>
            """;
        System.out.println("block lines " + block.lines().count() + " len " + block.length() + " indent " + block.lines().map(l -> l.length() - l.strip().length()).toList());
        Object o = 42;
        String kind = o instanceof Integer i && i > 40 ? "big int " + (i + 1) : "other";
        System.out.println(kind);
        System.out.println("sealed " + Shape.class.isSealed() + " " + Polygon.class.isSealed() + " " + Free.class.isSealed() + " permits " + Shape.class.getPermittedSubclasses().length);
    }
}
