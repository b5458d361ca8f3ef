// release: 8
// Explicit StringBuilder work, and string constants whose text equals descriptors, member names and
// class names in the same class file (their pool entries may be shared).
import java.util.Locale;

public class Main {
    private final StringBuilder buf = new StringBuilder();
    private int appended;
    private String sep = ", ";
    private static String value = "value";   // field name equals its own content

    private Main put(Object o) {
        if (appended++ > 0) buf.append(sep);
        buf.append(o);
        return this;
    }

    private Main put(char c) { return put(Character.valueOf(c)); }
    private Main put(int i) { return put(Integer.valueOf(i)); }

    private String done() { String s = buf.toString(); buf.setLength(0); appended = 0; return s; }

    private static String reverseWords(String s) {
        StringBuilder out = new StringBuilder();
        int end = s.length();
        for (int i = s.length() - 1; i >= -1; i--) {
            if (i == -1 || s.charAt(i) == ' ') {
                if (out.length() > 0) out.append(' ');
                out.append(s, i + 1, end);
                end = i;
            }
        }
        return out.toString();
    }

    private static String caesar(String s, int shift) {
        char[] cs = s.toCharArray();
        for (int i = 0; i < cs.length; i++) {
            char c = cs[i];
            if (c >= 'a' && c <= 'z') cs[i] = (char) ('a' + (c - 'a' + shift + 26) % 26);
            else if (c >= 'A' && c <= 'Z') cs[i] = (char) ('A' + (c - 'A' + shift + 26) % 26);
        }
        return new String(cs);
    }

    private static String pad(String s, int width, char fill) {
        StringBuilder sb = new StringBuilder(width);
        for (int i = s.length(); i < width; i++) sb.append(fill);
        return sb.append(s).toString();
    }

    public static void main(String[] args) {
        Main m = new Main();
        m.put("a").put('b').put(3).put(4.5).put(true).put((Object) null).put(-7L);
        System.out.println(m.done());
        m.sep = "|";
        m.put("()V").put("<init>").put("Ljava/lang/Object;").put("main").put("toString").put("Main").put("java/lang/StringBuilder").put("Code");
        System.out.println(m.done());
        System.out.println("value=" + value + " " + "value".equals(value) + " " + ("val" + "ue" == value));
        StringBuilder sb = new StringBuilder("0123456789");
        sb.insert(3, "abc").delete(0, 2).reverse().setCharAt(0, 'X');
        sb.deleteCharAt(1).replace(2, 4, "--").append('!').append(new char[] { 'x', 'y' }).append(1.5f).append(2L);
        System.out.println("sb " + sb + " len " + sb.length() + " idx " + sb.indexOf("--") + " char " + sb.charAt(5));
        System.out.println("words " + reverseWords("the quick brown fox"));
        System.out.println("caesar " + caesar("Hello, World", 3) + " " + caesar(caesar("Zebra", 5), -5));
        System.out.println("pad [" + pad("42", 6, '0') + "] [" + pad("toolong", 3, '*') + "]");
        String s = "  Mixed Case Text  ";
        System.out.println("ops [" + s.trim() + "] " + s.toUpperCase(Locale.ROOT).trim() + " " + s.indexOf('C') + " " + s.replace(' ', '_') + " " + s.trim().split(" ").length);
        System.out.println("fmt " + String.format(Locale.ROOT, "%05d|%-6s|%.3f|%x|%c|%b|%,d", 42, "ab", Math.E, 255, 'q', null, 1234567));
        System.out.println("join " + String.join("+", "a", "b", "c") + " repeat " + new String(new char[3]).replace("\0", "ab"));
        StringBuilder unicode = new StringBuilder();
        unicode.appendCodePoint(0x1F600).append('\u00e9').append("\u4e2d");
        System.out.println("unicode len " + unicode.length() + " cps " + unicode.codePointCount(0, unicode.length()) + " first " + Integer.toHexString(unicode.codePointAt(0)));
        String interned = new StringBuilder("inter").append("ned").toString();
        System.out.println("intern " + (interned == "interned") + " " + (interned.intern() == "interned"));
        char[] zeros = { '\0', '\u0001', '\u0002', 'A' };
        System.out.println("controls " + new String(zeros).length() + " " + (int) new String(zeros).charAt(1));
        System.out.println("compare " + "apple".compareTo("banana") + " " + "a".compareToIgnoreCase("A") + " " + "abc".hashCode() + " " + "".isEmpty());
    }
}
