// release: 8
// renaming: no, or with -keep:Main
// Lists and changes its own private fields and calls its own private methods by name through
// reflection. Every member is also used directly, so only renaming can change the output.
import java.lang.reflect.Field;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.util.ArrayList;
import java.util.Collections;
import java.util.List;

public class Main {
    private int alpha;
    private long beta;
    private String gamma;
    private static double delta;
    private final boolean epsilon;
    private transient char zeta;
    private volatile short eta;

    private Main(int a) {
        alpha = a;
        beta = a * 1000L;
        gamma = "g" + a;
        delta = a / 4.0;
        epsilon = a % 2 == 0;
        zeta = (char) ('a' + a);
        eta = (short) -a;
    }

    private String twice(String s) { return s + s; }
    private static int square(int x) { return x * x; }
    private String summary() { return alpha + "/" + beta + "/" + gamma + "/" + delta + "/" + epsilon + "/" + zeta + "/" + eta; }

    private static List<String> describeFields(Object target) throws IllegalAccessException {
        List<String> out = new ArrayList<String>();
        for (Field f : Main.class.getDeclaredFields()) {
            if (f.isSynthetic()) continue;
            f.setAccessible(true);
            Object v = Modifier.isStatic(f.getModifiers()) ? f.get(null) : f.get(target);
            out.add(f.getName() + ":" + f.getType().getSimpleName() + ":" + Modifier.toString(f.getModifiers()) + "=" + v);
        }
        Collections.sort(out);
        return out;
    }

    private static List<String> describeMethods() {
        List<String> out = new ArrayList<String>();
        for (Method m : Main.class.getDeclaredMethods()) {
            if (m.isSynthetic()) continue;
            out.add(m.getName() + "/" + m.getParameterTypes().length + ":" + Modifier.toString(m.getModifiers()));
        }
        Collections.sort(out);
        return out;
    }

    public static void main(String[] args) throws Exception {
        Main m = new Main(3);
        System.out.println("direct " + m.summary() + " " + m.twice("x") + " " + square(5));
        for (String s : describeFields(m)) System.out.println("field " + s);
        for (String s : describeMethods()) System.out.println("method " + s);

        Field fa = Main.class.getDeclaredField("alpha");
        fa.setAccessible(true);
        fa.setInt(m, 77);
        Field fg = Main.class.getDeclaredField("gamma");
        fg.setAccessible(true);
        fg.set(m, "changed");
        Field fd = Main.class.getDeclaredField("delta");
        fd.setAccessible(true);
        fd.setDouble(null, -1.5);
        System.out.println("after set " + m.summary());

        Method tw = Main.class.getDeclaredMethod("twice", String.class);
        tw.setAccessible(true);
        Method sq = Main.class.getDeclaredMethod("square", int.class);
        sq.setAccessible(true);
        System.out.println("invoke " + tw.invoke(m, "ab") + " " + sq.invoke(null, 12));
        try {
            Main.class.getDeclaredField("missing");
        } catch (NoSuchFieldException e) {
            System.out.println("missing field " + e.getMessage());
        }
        System.out.println("ctor count " + Main.class.getDeclaredConstructors().length + " params " + Main.class.getDeclaredConstructors()[0].getParameterTypes()[0]);
    }
}
