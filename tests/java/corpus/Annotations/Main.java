// release: 8
// renaming: no, or with -keep:Main$Target1
// Runtime annotations with every kind of element value (primitives, String, enum, Class, nested
// annotation, arrays, defaults) on classes, fields, methods and parameters, read back through
// reflection in sorted order; class-retention and TYPE_USE annotations are present but never read.
import java.lang.annotation.Annotation;
import java.lang.annotation.ElementType;
import java.lang.annotation.Retention;
import java.lang.annotation.RetentionPolicy;
import java.lang.annotation.Target;
import java.lang.reflect.Field;
import java.lang.reflect.Method;
import java.util.ArrayList;
import java.util.Collections;
import java.util.Comparator;
import java.util.List;

public class Main {
    enum Level { LOW, HIGH }

    @Retention(RetentionPolicy.RUNTIME)
    @interface Note {
        String value();
        int priority() default 5;
    }

    @Retention(RetentionPolicy.RUNTIME)
    @interface Everything {
        byte b() default 1;
        short s() default 2;
        char c() default 'c';
        int i();
        long l() default 4L;
        float f() default 0.5f;
        double d() default 0.25;
        boolean z() default true;
        String str();
        Level level() default Level.LOW;
        Class<?> type() default Object.class;
        Note note() default @Note("dflt");
        int[] ints() default {};
        String[] strs() default { "x", "y" };
        Level[] levels() default { Level.HIGH };
        Class<?>[] types() default {};
        Note[] notes() default {};
    }

    @Retention(RetentionPolicy.CLASS)
    @interface BuildOnly { String value(); }

    @Target({ ElementType.TYPE_USE, ElementType.TYPE_PARAMETER })
    @Retention(RetentionPolicy.CLASS)
    @interface NonNull {}

    @Target(ElementType.TYPE_USE)
    @Retention(RetentionPolicy.RUNTIME)
    @interface Tainted {}

    @Everything(i = 1, str = "class", level = Level.HIGH, type = String.class, note = @Note(value = "on class", priority = 1),
            ints = { 3, 1, 2 }, types = { int.class, int[].class, Level.class }, notes = { @Note("n1"), @Note(value = "n2", priority = 9) })
    @Note("main")
    @BuildOnly("ignored")
    static class Target1 {
        @Everything(b = -1, s = -2, c = 'Z', i = -3, l = -4L, f = -1.5f, d = 1e-3, z = false, str = "field", strs = {})
        @Note("alpha")
        private int alpha = 1;

        @Note(value = "beta", priority = 2)
        private @NonNull String beta = "b";

        private int plain = 3;

        @Note("method")
        @Everything(i = 42, str = "method", levels = { Level.LOW, Level.HIGH, Level.LOW })
        private @Tainted String compute(@Note("p0") int a, int b, @Note("p2") @BuildOnly("x") String c) {
            @NonNull String local = c + a + b + alpha + beta + plain;
            java.util.List<@NonNull @Tainted String> typed = new java.util.ArrayList<@NonNull String>();
            typed.add(local);
            return typed.get(0);
        }

        @Note("other")
        private void other() { alpha++; }
    }

    private static String show(Object v) throws Exception {
        if (v == null) return "null";
        if (v instanceof String) return "\"" + v + "\"";
        if (v instanceof Character) return "'" + v + "'";
        if (v instanceof Class) return ((Class<?>) v).getName();
        if (v instanceof Enum) return ((Enum<?>) v).name();
        if (v instanceof Annotation) return showAnnotation((Annotation) v);
        if (v.getClass().isArray()) {
            StringBuilder sb = new StringBuilder("{");
            int n = java.lang.reflect.Array.getLength(v);
            for (int i = 0; i < n; i++) {
                if (i > 0) sb.append(", ");
                sb.append(show(java.lang.reflect.Array.get(v, i)));
            }
            return sb.append('}').toString();
        }
        return String.valueOf(v);
    }

    private static String showAnnotation(Annotation a) throws Exception {
        List<Method> elems = new ArrayList<Method>();
        for (Method m : a.annotationType().getDeclaredMethods()) elems.add(m);
        Collections.sort(elems, new Comparator<Method>() {
            public int compare(Method x, Method y) { return x.getName().compareTo(y.getName()); }
        });
        StringBuilder sb = new StringBuilder("@" + a.annotationType().getSimpleName() + "(");
        for (int i = 0; i < elems.size(); i++) {
            if (i > 0) sb.append(", ");
            sb.append(elems.get(i).getName()).append('=').append(show(elems.get(i).invoke(a)));
        }
        return sb.append(')').toString();
    }

    private static List<String> showAll(Annotation[] as) throws Exception {
        List<String> out = new ArrayList<String>();
        for (Annotation a : as) out.add(showAnnotation(a));
        Collections.sort(out);
        return out;
    }

    public static void main(String[] args) throws Exception {
        Target1 t = new Target1();
        t.other();
        System.out.println("direct " + t.compute(1, 2, "c"));
        for (String s : showAll(Target1.class.getAnnotations())) System.out.println("class " + s);
        List<String> fields = new ArrayList<String>();
        for (Field f : Target1.class.getDeclaredFields()) {
            if (f.isSynthetic()) continue;
            for (String s : showAll(f.getAnnotations())) fields.add(f.getName() + " " + s);
            if (f.getAnnotations().length == 0) fields.add(f.getName() + " none");
        }
        Collections.sort(fields);
        for (String s : fields) System.out.println("field " + s);
        Method compute = Target1.class.getDeclaredMethod("compute", int.class, int.class, String.class);
        for (String s : showAll(compute.getAnnotations())) System.out.println("method compute " + s);
        Annotation[][] params = compute.getParameterAnnotations();
        for (int i = 0; i < params.length; i++) System.out.println("param " + i + " " + showAll(params[i]));
        Method other = Target1.class.getDeclaredMethod("other");
        System.out.println("method other " + showAll(other.getAnnotations()));
        Note n = Target1.class.getAnnotation(Note.class);
        Everything e = Target1.class.getAnnotation(Everything.class);
        System.out.println("typed " + n.value() + " " + n.priority() + " " + e.note().value() + " " + e.ints().length + " " + e.types()[1].getSimpleName());
        System.out.println("visible on class " + Target1.class.getAnnotations().length);
    }
}
