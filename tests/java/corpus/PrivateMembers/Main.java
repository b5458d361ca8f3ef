// release: 8
// Many private members: names shared with string constants and with library members, overloads,
// private constructors, recursion, and dead chains the optimizer may drop.
import java.util.ArrayList;
import java.util.List;

public class Main {
    // Field names equal to string constants below and to library member names (System.out, String.length).
    private static int out = 3;
    private int count;
    private String name;
    private int length;
    private final List<String> items = new ArrayList<String>();
    private static long total;
    private static final String LABEL = "count";

    // Never read or written: candidates for removal.
    private int unusedInt;
    private static String unusedText = null;
    private double unusedDouble;

    private Main() {
        this("default");
    }

    private Main(String name) {
        this.name = name;
        this.count = 0;
    }

    private Main(String name, int start) {
        this(name);
        this.count = start;
    }

    private static Main create(String name) { return new Main(name, name.length()); }

    // Same name as List.size(), which is also called in this class.
    private int size() { return items.size() + count; }

    private void count() { count++; }
    private void count(int by) { count += by; }
    private void count(String what) { items.add(what); count(what.length()); }
    private long count(long by) { total += by; return total; }

    private String name() { return "name:" + name; }

    private int length() { return length = name.length() + items.size(); }

    private static int fib(int n) { return n < 2 ? n : fib(n - 1) + fib(n - 2); }

    private static int ackermann(int m, int n) {
        if (m == 0) return n + 1;
        if (n == 0) return ackermann(m - 1, 1);
        return ackermann(m - 1, ackermann(m, n - 1));
    }

    private static boolean isEven(int n) { return n == 0 || isOdd(n - 1); }
    private static boolean isOdd(int n) { return n != 0 && isEven(n - 1); }

    private String describe() { return describe("["); }
    private String describe(String open) { return describe(open, "]"); }
    private String describe(String open, String close) {
        StringBuilder sb = new StringBuilder(open);
        sb.append(name).append(' ').append(count).append(' ');
        for (int i = 0; i < items.size(); i++) {
            if (i > 0) sb.append(',');
            sb.append(items.get(i));
        }
        return sb.append(close).toString();
    }

    // Dead chain: deadA -> deadB -> deadC; deadC also touches an otherwise unused field.
    private void deadA() { deadB(1); }
    private void deadB(int x) { deadC("x" + x); }
    private void deadC(String s) { unusedText = s; unusedInt = s.length(); }
    private static void deadStatic() { deadStatic(); }

    public static void main(String[] args) {
        Main m = new Main();
        m.count();
        m.count(4);
        m.count("alpha");
        m.count("be");
        System.out.println(LABEL + " " + m.count);
        System.out.println("count" + "=" + m.size());
        System.out.println("name " + m.name() + " " + "name");
        System.out.println("length " + m.length() + " " + m.length);
        System.out.println("out " + out + " " + "out");
        System.out.println("total " + m.count(10L) + " " + m.count(5L) + " " + total);
        System.out.println(m.describe());
        System.out.println(m.describe("<"));
        System.out.println(m.describe("{", "}"));

        Main n = create("second");
        n.count("gamma");
        System.out.println(n.describe() + " size=" + n.size() + " items=" + n.items.size());
        System.out.println("fib " + fib(20) + " ack " + ackermann(2, 3));
        System.out.println("even " + isEven(10) + " " + isOdd(7) + " " + isEven(3));
        System.out.println("items" + " " + m.items);
        out += 4;
        System.out.println("out now " + out);
    }
}
