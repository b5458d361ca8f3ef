// release: 8
// Generic classes and methods: erasure, bridge methods (Comparable, covariant returns, generic
// overrides), bounded wildcards, private generic helpers, varargs in many shapes.
import java.util.ArrayList;
import java.util.Collections;
import java.util.Comparator;
import java.util.Iterator;
import java.util.List;
import java.util.TreeMap;

public class Main {
    interface Source<T> { T next(); }

    static class Box<T extends Comparable<T>> implements Comparable<Box<T>> {
        private final T value;
        private static int compared;
        Box(T value) { this.value = value; }
        private T value() { return value; }
        public int compareTo(Box<T> o) { compared++; return value.compareTo(o.value()); }   // bridge compareTo(Object)
        @Override public String toString() { return "Box(" + value + ")"; }
    }

    static class Counter implements Source<Integer> {
        private int n;
        public Integer next() { return n++; }                  // bridge Object next()
    }

    static abstract class Node {
        abstract Node copy();
        abstract String label();
    }

    static class Leaf extends Node {
        private final String text;
        Leaf(String text) { this.text = text; }
        @Override Leaf copy() { return new Leaf(text + "'"); }  // covariant: bridge Node copy()
        String label() { return text; }
    }

    static class Pair<A, B> {
        private final A first;
        private final B second;
        private Pair(A a, B b) { first = a; second = b; }
        static <A, B> Pair<A, B> of(A a, B b) { return new Pair<A, B>(a, b); }
        private <C> Pair<A, C> withSecond(C c) { return new Pair<A, C>(first, c); }
        Pair<B, A> swap() { return new Pair<B, A>(second, first); }
        public String toString() { return "(" + first + ", " + second + ")"; }
    }

    static class Range implements Iterable<Integer> {
        private final int from, to;
        Range(int from, int to) { this.from = from; this.to = to; }
        public Iterator<Integer> iterator() {
            return new Iterator<Integer>() {
                private int cur = from;
                public boolean hasNext() { return cur < to; }
                public Integer next() { return cur++; }
                public void remove() { throw new UnsupportedOperationException(); }
            };
        }
    }

    private static <T extends Comparable<? super T>> T max(List<? extends T> xs) {
        T best = null;
        for (T x : xs) if (best == null || x.compareTo(best) > 0) best = x;
        return best;
    }

    private static double total(List<? extends Number> nums) {
        double s = 0;
        for (Number n : nums) s += n.doubleValue();
        return s;
    }

    private static void fill(List<? super Integer> sink, int n) { for (int i = 0; i < n; i++) sink.add(i * i); }

    @SafeVarargs
    private static <T> List<T> listOf(T... xs) {
        List<T> r = new ArrayList<T>();
        Collections.addAll(r, xs);
        return r;
    }

    private static String join(String sep, Object... parts) {
        StringBuilder sb = new StringBuilder();
        for (int i = 0; i < parts.length; i++) { if (i > 0) sb.append(sep); sb.append(parts[i]); }
        return sb.toString() + "#" + parts.length;
    }

    private static int sum(int... xs) { int s = 0; for (int x : xs) s += x; return s; }
    private static String sum(String first, int... rest) { return first + sum(rest); }

    private static <T> T firstOr(Iterable<T> it, T dflt) {
        Iterator<T> i = it.iterator();
        return i.hasNext() ? i.next() : dflt;
    }

    @SuppressWarnings({ "rawtypes", "unchecked" })
    private static String rawUse() {
        List raw = new ArrayList();
        raw.add("s");
        raw.add(1);
        List<String> typed = raw;
        try {
            String s = typed.get(1);        // checkcast inserted by erasure fails here
            return "no cce " + s;
        } catch (ClassCastException e) {
            return "cce after erasure, size " + typed.size();
        }
    }

    public static void main(String[] args) {
        List<Box<String>> boxes = listOf(new Box<String>("pear"), new Box<String>("apple"), new Box<String>("fig"));
        Collections.sort(boxes);
        System.out.println("boxes " + boxes + " max " + max(boxes) + " compared>0 " + (Box.compared > 0));
        Comparable<Box<String>> asRaw = boxes.get(0);
        System.out.println("cmp " + asRaw.compareTo(boxes.get(2)));
        Source<Integer> src = new Counter();
        src.next();
        System.out.println("source " + src.next() + " " + src.next());
        Node n = new Leaf("leaf");
        System.out.println("copy " + n.copy().label() + " " + ((Leaf) n).copy().copy().label());
        Pair<String, Integer> p = Pair.of("x", 1);
        System.out.println("pair " + p + " " + p.swap() + " " + p.withSecond(2.5) + " " + p.withSecond(listOf('a', 'b')));
        List<Number> sink = new ArrayList<Number>();
        fill(sink, 5);
        sink.add(0.5);
        System.out.println("wild " + sink + " total " + total(sink) + " max " + max(listOf(3, 9, 4)));
        System.out.println("varargs " + join(", ") + " | " + join("-", "a", 2, 'c', 4.0) + " | " + join("/", (Object[]) new String[] { "p", "q" }) + " | " + join("/", (Object) new String[] { "p", "q" }).endsWith("#1"));
        System.out.println("sums " + sum() + " " + sum(1) + " " + sum(1, 2, 3) + " " + sum("s", 4, 5) + " " + sum(new int[] { 10, 20 }));
        int acc = 0;
        for (int i : new Range(3, 8)) acc = acc * 10 + i;
        System.out.println("range " + acc + " first " + firstOr(new Range(5, 9), -1) + " empty " + firstOr(new Range(1, 1), -1));
        TreeMap<String, List<Integer>> groups = new TreeMap<String, List<Integer>>(new Comparator<String>() {
            public int compare(String a, String b) { return b.compareTo(a); }
        });
        for (int i = 0; i < 10; i++) {
            String key = i % 3 == 0 ? "fizz" : (i % 2 == 0 ? "even" : "odd");
            List<Integer> l = groups.get(key);
            if (l == null) { l = new ArrayList<Integer>(); groups.put(key, l); }
            l.add(i);
        }
        System.out.println("groups " + groups);
        System.out.println(rawUse());
    }
}
