// release: 17
// Records: compact and canonical constructors with validation, static factories and fields, private
// helpers, records implementing interfaces, nested and local records, and the generated
// toString/equals/hashCode (int and String components only, so the output is stable).
import java.util.ArrayList;
import java.util.Comparator;
import java.util.List;
import java.util.TreeSet;

public class Main {
    interface Measurable { int size(); default String sizeLabel() { return "size=" + size(); } }

    record Point(int x, int y) implements Comparable<Point>, Measurable {
        private static int created;
        static final Point ORIGIN = new Point(0, 0);

        Point {
            if (x < -1000 || y < -1000) throw new IllegalArgumentException("out of range: " + x + "," + y);
            created++;
        }

        Point(int both) { this(both, both); }

        static Point of(String s) {
            String[] parts = s.split(",");
            return new Point(parse(parts[0]), parse(parts[1]));
        }

        private static int parse(String s) { return Integer.parseInt(s.trim()); }
        private int manhattan() { return Math.abs(x) + Math.abs(y); }

        Point plus(Point o) { return new Point(x + o.x, y + o.y()); }
        public int size() { return manhattan(); }
        public int compareTo(Point o) { return Comparator.comparingInt(Point::x).thenComparingInt(Point::y).compare(this, o); }
        static int created() { return created; }
    }

    record Named(String name, int rank) {
        Named {
            name = normalize(name);
            if (rank < 0) rank = 0;
        }
        private static String normalize(String s) { return s == null ? "?" : s.strip().toLowerCase(); }
        @Override public String name() { return "<" + name + ">"; }      // accessor overridden
        String rawName() { return name; }
    }

    record Line(Point from, Point to) implements Measurable {
        public int size() { return Math.abs(to.x() - from.x()) + Math.abs(to.y() - from.y()); }
        Line reversed() { return new Line(to, from); }
    }

    record Empty() {
        private static final String TEXT = "nothing";
        String text() { return TEXT; }
    }

    record Tagged(String tag, int value, String note) {
        Tagged(String tag, int value) { this(tag, value, "n/a"); }
        private String shout() { return tag.toUpperCase() + "!"; }
        String loud() { return shout() + value; }
    }

    private static String check(Object a, Object b) {
        return a.equals(b) + "/" + (a.hashCode() == b.hashCode());
    }

    public static void main(String[] args) {
        Point p = new Point(3, 4), q = Point.of(" 3, 4"), r = new Point(-2);
        System.out.println(p + " " + q + " " + r + " " + Point.ORIGIN + " created " + Point.created());
        System.out.println("eq " + check(p, q) + " " + p.equals(r) + " hash " + p.hashCode() + " " + r.hashCode() + " " + Point.ORIGIN.hashCode());
        System.out.println("plus " + p.plus(r) + " " + p.sizeLabel() + " cmp " + p.compareTo(r) + " " + r.compareTo(p));
        try {
            new Point(-5000, 1);
        } catch (IllegalArgumentException e) {
            System.out.println("rejected " + e.getMessage());
        }
        Named n1 = new Named("  Alice ", -3), n2 = new Named("alice", 0), n3 = new Named(null, 2);
        System.out.println(n1 + " " + n1.name() + " " + n1.rawName() + " " + check(n1, n2) + " " + n3 + " hash " + n1.hashCode() + " " + n3.hashCode());
        Line l = new Line(new Point(1, 1), new Point(4, -3));
        System.out.println(l + " " + l.size() + " " + l.reversed() + " " + check(l, l.reversed().reversed()) + " hash " + l.hashCode());
        Empty e = new Empty();
        System.out.println(e + " " + e.text() + " " + e.equals(new Empty()) + " " + e.hashCode());
        Tagged t = new Tagged("id", 5);
        System.out.println(t + " " + t.loud() + " " + t.hashCode() + " " + new Tagged("id", 5, null) + " " + new Tagged("id", 5, null).hashCode());
        record Pair(String k, int v) {
            private String joined() { return k + "=" + v; }
            String show() { return joined(); }
        }
        List<Pair> pairs = new ArrayList<>();
        for (String w : "b a c a".split(" ")) pairs.add(new Pair(w, w.charAt(0) - 'a'));
        TreeSet<String> uniq = new TreeSet<>();
        for (Pair pr : pairs) uniq.add(pr.show());
        System.out.println("local " + pairs + " uniq " + uniq + " " + check(pairs.get(1), pairs.get(3)));
        TreeSet<Point> pts = new TreeSet<>(List.of(new Point(2, 1), new Point(1, 5), new Point(1, 2), new Point(2, 1)));
        System.out.println("sorted " + pts);
        Measurable m = l;
        System.out.println("iface " + m.sizeLabel() + " isRecord " + Line.class.isRecord() + " components " + Line.class.getRecordComponents().length);
    }
}
