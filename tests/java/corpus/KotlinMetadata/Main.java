// release: 8
// Emulates Kotlin reflection: the member names come from the class's kotlin.Metadata annotation, packed
// inside longer strings (so no String constant equals a member name), and are looked up with
// getDeclaredField/getDeclaredMethod. The members are also used directly, so they stay; a class
// carrying kotlin.Metadata must not have them renamed.
import java.lang.reflect.Field;
import java.lang.reflect.Method;

@kotlin.Metadata(k = 1, d1 = { "field:count", "field:label", "method:render" }, d2 = { "Main" })
public class Main {
    private int count;
    private String label;

    private Main(int start, String text) {
        count = start;
        label = text;
    }

    private String render() { return label + "#" + count; }

    private void bump() { count++; }

    public static void main(String[] args) {
        Main m = new Main(40, "widget");
        m.bump();
        m.bump();
        System.out.println("direct " + m.render());
        kotlin.Metadata meta = Main.class.getAnnotation(kotlin.Metadata.class);
        for (String entry : meta.d1()) {
            int colon = entry.indexOf(':');
            String kind = entry.substring(0, colon);
            String name = entry.substring(colon + 1);
            try {
                if (kind.equals("field")) {
                    Field f = Main.class.getDeclaredField(name);
                    f.setAccessible(true);
                    System.out.println("property " + name + " = " + f.get(m));
                } else {
                    Method r = Main.class.getDeclaredMethod(name);
                    r.setAccessible(true);
                    System.out.println("function " + name + "() = " + r.invoke(m));
                }
            } catch (ReflectiveOperationException e) {
                System.out.println(kind + " " + name + ": " + e);
            }
        }
    }
}
