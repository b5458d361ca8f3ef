// release: 8
// The members that Java serialization looks up by name and that no code calls: serialPersistentFields,
// writeReplace, readResolve, readObjectNoData, serialVersionUID; and private instance fields whose
// names make up the serial form (one of them is never used by code at all). A class that only
// inherits Serializable but declares serialVersionUID counts as serializable too.
import java.io.ByteArrayInputStream;
import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.ObjectInputStream;
import java.io.ObjectOutputStream;
import java.io.ObjectStreamClass;
import java.io.ObjectStreamField;
import java.io.Serializable;
import java.nio.charset.StandardCharsets;

public class Main {
    // The serial form is the array, not the declared fields: "dropped" must come back as 0.
    static class Limited implements Serializable {
        private static final long serialVersionUID = 3L;
        private static final ObjectStreamField[] serialPersistentFields = { new ObjectStreamField("kept", int.class) };
        private int kept;
        private int dropped;
        Limited(int k, int d) { kept = k; dropped = d; }
        String show() { return "kept=" + kept + " dropped=" + dropped; }
    }

    // Written as a Token, read back as a new Money marked as having taken that route.
    static class Money implements Serializable {
        private static final long serialVersionUID = 4L;
        private final long cents;
        private final String route;
        Money(long cents, String route) { this.cents = cents; this.route = route; }
        private Object writeReplace() { return new Token(cents + "c"); }
        String show() { return cents + " via " + route; }
    }

    static class Token implements Serializable {
        private static final long serialVersionUID = 5L;
        private final String text;
        Token(String text) { this.text = text; }
        private Object readResolve() { return new Money(Long.parseLong(text.substring(0, text.length() - 1)), "token"); }
    }

    // Parent is missing from a stream written for Plain, so the runtime calls its readObjectNoData.
    static class Parent implements Serializable {
        private static final long serialVersionUID = 6L;
        private int level = 7;
        private void readObjectNoData() { level = -1; }
        int level() { return level; }
    }

    static class Child extends Parent {
        private static final long serialVersionUID = 9L;
        private int count;
        private int reserved;            // in the serial form only; no code uses it
        Child(int count) { this.count = count; }
        String show() { return "count=" + count + " level=" + level(); }
    }

    static class Plain implements Serializable {
        private static final long serialVersionUID = 9L;
        private int count;
        Plain(int count) { this.count = count; }
        int count() { return count; }
    }

    private static byte[] freeze(Object o) throws IOException {
        ByteArrayOutputStream bytes = new ByteArrayOutputStream();
        ObjectOutputStream out = new ObjectOutputStream(bytes);
        out.writeObject(o);
        out.close();
        return bytes.toByteArray();
    }

    private static Object thaw(byte[] data) throws IOException, ClassNotFoundException {
        ObjectInputStream in = new ObjectInputStream(new ByteArrayInputStream(data));
        try {
            return in.readObject();
        } finally {
            in.close();
        }
    }

    // Replaces one class name in the stream by another of the same length.
    private static void retarget(byte[] data, String from, String to) {
        byte[] f = from.getBytes(StandardCharsets.UTF_8);
        byte[] t = to.getBytes(StandardCharsets.UTF_8);
        for (int i = 0; i + f.length <= data.length; i++) {
            int j = 0;
            while (j < f.length && data[i + j] == f[j]) j++;
            if (j == f.length) {
                System.arraycopy(t, 0, data, i, t.length);
                return;
            }
        }
        throw new IllegalStateException("class name not in stream");
    }

    private static String form(Class<?> c) {
        ObjectStreamClass osc = ObjectStreamClass.lookup(c);
        StringBuilder sb = new StringBuilder(c.getSimpleName()).append(" uid ").append(osc.getSerialVersionUID()).append(" [");
        for (ObjectStreamField f : osc.getFields()) sb.append(' ').append(f.getName()).append(':').append(f.getTypeCode());
        return sb.append(" ]").toString();
    }

    interface Step {
        String run() throws Exception;
    }

    // Each check reports on its own line, so one failure does not hide the others.
    private static void check(String label, Step step) {
        String result;
        try {
            result = step.run();
        } catch (Exception e) {
            result = "threw " + e.getClass().getName();
        }
        System.out.println(label + " " + result);
    }

    public static void main(String[] args) throws Exception {
        check("limited", () -> ((Limited) thaw(freeze(new Limited(12, 34)))).show());
        check("money", () -> {
            Object m = thaw(freeze(new Money(250, "direct")));
            return m.getClass().getSimpleName() + " " + ((Money) m).show();
        });
        check("child", () -> {
            Plain p = new Plain(41);
            byte[] stream = freeze(p);
            retarget(stream, "Main$Plain", "Main$Child");
            return ((Child) thaw(stream)).show() + " (plain " + p.count() + ")";
        });
        check("fresh", () -> new Child(3).show());
        for (Class<?> k : new Class<?>[] { Limited.class, Money.class, Token.class, Parent.class, Child.class, Plain.class })
            check("form", () -> form(k));
    }
}
