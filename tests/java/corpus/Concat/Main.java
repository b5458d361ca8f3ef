// release: 11
// String concatenation with + compiled to invokedynamic (makeConcatWithConstants): every operand
// type, null, constants folded into the recipe, literal \u0001/\u0002 characters (which the recipe
// must pass as separate constants), and very long operand lists.
public class Main {
    private static final String CONST = "K";
    private int n = 42;
    private String label = "lbl";
    private static char mark = '#';

    private String describe(Object o) { return "d(" + o + ")"; }

    private String all(boolean z, byte b, short s, char c, int i, long l, float f, double d, Object o, String str) {
        return z + "|" + b + "|" + s + "|" + c + "|" + i + "|" + l + "|" + f + "|" + d + "|" + o + "|" + str;
    }

    private static String controls(int x) {
        return "\u0001" + x + "\u0002" + x + "\u0001\u0002" + CONST;
    }

    private String many(int a) {
        int b = a + 1, c = a + 2, d = a + 3, e = a + 4, f = a + 5, g = a + 6, h = a + 7;
        long L = a * 1000L;
        return a + "," + b + "," + c + "," + d + "," + e + "," + f + "," + g + "," + h + "," + L + "," + a + b + c + d
                + "," + e + f + g + h + "," + L + L + "," + a + b + c + d + e + f + g + h + "," + L + L + L + L
                + "," + a + b + c + d + e + f + g + h + a + b + c + d + e + f + g + h + "," + L + L + L + L + L + L
                + "," + a + b + c + d + e + f + g + h + a + b + c + d + e + f + g + h + a + b + c + d + e + f + g + h
                + "," + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L
                + "," + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L
                + "," + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L
                + "," + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L
                + "," + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L + L;
    }

    public static void main(String[] args) {
        Main m = new Main();
        String s = null;
        Object o = null;
        System.out.println("plain " + m.n + " " + m.label + mark + CONST + 1 + 2 + (1 + 2) + 'c' + 1.5f + 2.5 + 3L + true + s + o);
        System.out.println(m.all(true, (byte) -1, (short) 300, 'q', -7, Long.MIN_VALUE, 0.1f, 1e100, m.describe(null), null));
        String ctl = controls(9);
        StringBuilder codes = new StringBuilder();
        for (char c : ctl.toCharArray()) codes.append((int) c).append(' ');
        System.out.println("controls " + ctl.length() + " " + codes.toString().trim());
        String acc = "";
        for (int i = 0; i < 5; i++) acc += i + ":" + (char) ('a' + i) + " ";
        System.out.println("loop " + acc);
        String many = m.many(3);
        System.out.println("many " + many.length() + " " + many.substring(0, 60) + " " + many.hashCode());
        int[] arr = { 1, 2 };
        m.label += "+" + arr.length + m.describe(m.n);
        System.out.println("compound " + m.label);
        char c1 = 'x', c2 = 'y';
        System.out.println(c1 + c2 + " vs " + c1 + c2 + " " + (char) (c1 + 1));
    }
}
