// release: 8
// forms: files tree jar
// Main reaches Conf's private members by names that only Main spells: plain reflection, and method
// handles from a lookup with private access to Conf (privateLookupIn where the JVM has it, found by
// reflection because release 8 lacks it; unreflected methods otherwise, which print the same). A String
// constant of any class of the run keeps the private members of that name. One line per lookup.
import java.lang.invoke.MethodHandle;
import java.lang.invoke.MethodHandles;
import java.lang.invoke.MethodType;
import java.lang.reflect.Field;
import java.lang.reflect.Method;

public class Main {
    interface Step { String run() throws Throwable; }

    private static void check(String what, Step step) {
        try {
            System.out.println(what + ": " + step.run());
        } catch (Throwable e) {
            System.out.println(what + " failed: " + e);
        }
    }

    // A lookup that may use Conf's private members, or null where the JVM has no privateLookupIn.
    private static MethodHandles.Lookup privateLookup() throws ReflectiveOperationException {
        Method in;
        try {
            in = MethodHandles.class.getMethod("privateLookupIn", Class.class, MethodHandles.Lookup.class);
        } catch (NoSuchMethodException e) {
            return null;
        }
        return (MethodHandles.Lookup) in.invoke(null, Conf.class, MethodHandles.lookup());
    }

    private static MethodHandle method(MethodHandles.Lookup lookup, boolean isStatic, String name, MethodType type)
            throws ReflectiveOperationException {
        if (lookup != null)
            return isStatic ? lookup.findStatic(Conf.class, name, type) : lookup.findVirtual(Conf.class, name, type);
        Method m = Conf.class.getDeclaredMethod(name, type.parameterArray());
        m.setAccessible(true);
        return MethodHandles.lookup().unreflect(m);
    }

    public static void main(String[] args) throws Exception {
        final Conf conf = new Conf();
        check("total before", () -> String.valueOf(conf.total()));
        check("field limit", () -> {
            Field f = Conf.class.getDeclaredField("limit");
            f.setAccessible(true);
            f.setInt(conf, f.getInt(conf) + 10);
            return "now " + f.getInt(conf);
        });
        check("method hello", () -> {
            Method m = Conf.class.getDeclaredMethod("hello");
            m.setAccessible(true);
            return (String) m.invoke(null);
        });
        final MethodHandles.Lookup lookup = privateLookup();
        check("handle hello", () -> (String) method(lookup, true, "hello", MethodType.methodType(String.class)).invoke());
        check("handle scale", () -> (String) method(lookup, false, "scale",
                MethodType.methodType(String.class, int.class)).invoke(conf, 2));
        check("static field greeting", () -> {
            Field f = Conf.class.getDeclaredField("greeting");
            f.setAccessible(true);
            MethodHandle set = lookup != null ? lookup.findStaticSetter(Conf.class, "greeting", String.class)
                                              : MethodHandles.lookup().unreflectSetter(f);
            set.invoke("hello");
            return (String) f.get(null);
        });
        check("handle hello again", () -> (String) method(lookup, true, "hello", MethodType.methodType(String.class)).invoke());
        check("total after", () -> String.valueOf(conf.total()));
        check("unknown field", () -> String.valueOf(Conf.class.getDeclaredField("absent")));
    }
}
