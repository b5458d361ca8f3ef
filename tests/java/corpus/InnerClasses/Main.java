// release: 8
// Nested, inner, anonymous and local classes reaching the outer class's private members
// (before nestmates this goes through synthetic accessors).
import java.util.ArrayList;
import java.util.Iterator;
import java.util.List;

public class Main {
    private int counter;
    private String tag = "outer";
    private static int created;
    private static final String PREFIX = "P:";
    private int[] history = new int[8];

    private Main(String tag) {
        this.tag = tag;
        created++;
    }

    private void bump(int by) {
        history[counter % history.length] = by;
        counter += by;
    }

    private static String fmt(String s) { return PREFIX + s; }

    private int sumHistory() {
        int s = 0;
        for (int v : history) s += v;
        return s;
    }

    // Static nested class with its own privates, created through a private constructor.
    static class Counter {
        private int value;
        private static int instances;
        private Counter(int start) { value = start; instances++; }
        private void inc() { value++; }
        private int get() { return value; }
    }

    // Inner class touching the outer instance's private state.
    class Walker implements Iterator<Integer> {
        private int pos;
        private final int limit;
        private Walker(int limit) { this.limit = limit; }
        public boolean hasNext() { return pos < limit; }
        public Integer next() {
            bump(pos + 1);
            return counter * 10 + pos++;
        }
        private String where() { return tag + "@" + pos; }
        public void remove() { throw new UnsupportedOperationException(); }
    }

    // Inner class nested two levels deep.
    class Level1 {
        private int depth = 1;
        class Level2 {
            private int depth = 2;
            private String path() { return tag + "/" + Level1.this.depth + "/" + depth + "/" + counter; }
        }
    }

    private interface Visitor {
        String visit(int x);
    }

    private String runVisitors(final int base) {
        final StringBuilder sb = new StringBuilder();
        // Local class capturing a local variable and the outer instance.
        class Doubler implements Visitor {
            private int calls;
            public String visit(int x) {
                calls++;
                return fmt(tag + (x * 2 + base) + "#" + calls);
            }
        }
        Doubler d = new Doubler();
        Visitor anon = new Visitor() {
            private int seen;
            public String visit(int x) {
                seen += x;
                bump(x);
                return "anon" + seen + "/" + counter;
            }
        };
        for (int i = 1; i <= 3; i++) {
            sb.append(d.visit(i)).append(' ').append(anon.visit(i)).append(' ');
        }
        sb.append("calls=").append(d.calls);
        return sb.toString();
    }

    public static void main(String[] args) {
        Main m = new Main("root");
        Counter c = new Counter(5);
        c.inc();
        c.inc();
        new Counter(0).inc();
        System.out.println("counter " + c.get() + " " + c.value + " instances " + Counter.instances);

        Main.Walker w = m.new Walker(4);
        List<Integer> seen = new ArrayList<Integer>();
        while (w.hasNext()) seen.add(w.next());
        System.out.println("walk " + seen + " " + w.where() + " counter " + m.counter);

        Main.Level1 l1 = m.new Level1();
        Main.Level1.Level2 l2 = l1.new Level2();
        System.out.println("path " + l2.path());

        System.out.println(m.runVisitors(100));
        System.out.println("history " + m.sumHistory() + " created " + created);

        Runnable r = new Runnable() {
            public void run() {
                Main other = new Main("anon-made");
                other.bump(7);
                System.out.println("run " + other.tag + " " + other.counter + " created " + created);
            }
        };
        r.run();
        System.out.println(fmt("done"));
    }
}
