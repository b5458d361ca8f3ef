// release: 8
// Anonymous and local classes declared in private methods, instance and static ones, overloaded ones and
// lambdas inside them, each asked for its enclosing method and class. getEnclosingMethod() looks the
// method up by the name and descriptor that the inner class's EnclosingMethod attribute holds, so those
// methods keep their names; the unused private method still goes. One line per inner class.
import java.lang.reflect.Method;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Comparator;
import java.util.List;
import java.util.concurrent.Callable;
import java.util.function.Function;
import java.util.function.Supplier;

public class Main {
    interface Named { String name(); }

    // Declared in an initializer: no enclosing method at all.
    private static final Object INIT = new Object() { };

    private final String tag;

    private Main(String tag) { this.tag = tag; }

    private Runnable task(String label) {
        return new Runnable() { public void run() { System.out.println("run " + tag + label); } };
    }

    // An overload that encloses nothing: only task(String) must be found.
    private Runnable task(int n) { return task("#" + n); }

    private static Comparator<String> byLength(boolean reversed) {
        return new Comparator<String>() {
            public int compare(String a, String b) { return reversed ? b.length() - a.length() : a.length() - b.length(); }
        };
    }

    private Named point(int x, long y) {
        class Point implements Named {
            public String name() { return tag + "(" + x + "," + y + ")"; }
        }
        return new Point();
    }

    private static Named counter(String[] names, double[][] weights) {
        class Counter implements Named {
            public String name() { return names.length + "x" + weights.length; }
        }
        return new Counter();
    }

    // The inner classes are created in lambda bodies; the method that holds the lambda encloses them.
    private static Supplier<Named> lazy(char c) {
        return () -> new Named() { public String name() { return "lazy " + c; } };
    }

    private Function<Integer, Named> factory(List<String> seen) {
        return n -> {
            class Made implements Named {
                public String name() { return tag + " made " + n + " " + seen; }
            }
            return new Made();
        };
    }

    private static int unused(int x) { return x * 31; }

    private static String describe(Class<?> c) {
        String where = c.getEnclosingClass() == null ? "no enclosing class" : "in " + c.getEnclosingClass().getName();
        try {
            Method m = c.getEnclosingMethod();
            if (m == null) return "no enclosing method, " + where;
            return m.getName() + Arrays.toString(m.getParameterTypes()) + " -> " + m.getReturnType().getName() + ", " + where;
        } catch (Throwable e) {
            return "enclosing method lost (" + e + "), " + where;
        }
    }

    public static void main(String[] args) throws Exception {
        Main m = new Main("m");
        List<Object> inner = new ArrayList<Object>();
        Runnable r = m.task(7);
        r.run();
        inner.add(r);
        Comparator<String> cmp = byLength(true);
        List<String> words = new ArrayList<String>(Arrays.asList("ccc", "a", "bb"));
        words.sort(cmp);
        System.out.println("sorted " + words);
        inner.add(cmp);
        inner.add(m.point(1, 2L));
        inner.add(counter(new String[] {"a"}, new double[2][]));
        inner.add(lazy('z').get());
        inner.add(m.factory(words).apply(3));
        for (Object o : inner) {
            if (o instanceof Named) System.out.println("name " + ((Named) o).name());
            System.out.println(describe(o.getClass()));
        }
        System.out.println(describe(INIT.getClass()));
        Callable<String> lambda = () -> "called";
        System.out.println("lambda " + lambda.call() + ": " + (lambda.getClass().getEnclosingMethod() == null ? "no enclosing method" : "has one"));
    }
}
