// release: 8
// Private members that the code never touches directly but reaches by a name written as a String
// constant of the class: the fields "secret" and "tally" and the method "compute". A member whose
// name the class spells as a String is kept. Each lookup reports on its own line.
import java.lang.reflect.Field;
import java.lang.reflect.Method;

public class Main {
    private String secret;
    private int tally;
    private int visible = 4;

    private int compute(int x) { return x * x + 1; }

    public static void main(String[] args) {
        Main m = new Main();
        try {
            Field f = Main.class.getDeclaredField("secret");
            f.setAccessible(true);
            f.set(m, "s3cr3t");
            System.out.println("secret = " + f.get(m));
        } catch (ReflectiveOperationException e) {
            System.out.println("secret: " + e);
        }
        try {
            Field t = Main.class.getDeclaredField("tally");
            t.setAccessible(true);
            for (int i = 0; i < 3; i++) t.setInt(m, t.getInt(m) + m.visible);
            System.out.println("tally = " + t.getInt(m));
        } catch (ReflectiveOperationException e) {
            System.out.println("tally: " + e);
        }
        try {
            Method c = Main.class.getDeclaredMethod("compute", int.class);
            c.setAccessible(true);
            System.out.println("compute(7) = " + c.invoke(m, 7));
        } catch (ReflectiveOperationException e) {
            System.out.println("compute: " + e);
        }
    }
}
