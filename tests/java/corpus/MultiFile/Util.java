final class Util {
    private static final String name = "util";   // private field with the same name as methods elsewhere
    private Util() {}

    static String name() { return name; }

    private static int mix(int h, char c) { return h * 131 + c; }

    static int checksum(String s) {
        int h = 7;
        for (int i = 0; i < s.length(); i++) h = mix(h, s.charAt(i));
        return h;
    }

    private static String pad(String s, int w) {
        StringBuilder sb = new StringBuilder(s);
        while (sb.length() < w) sb.append('.');
        return sb.toString();
    }

    static String table(String[] keys, int[] values) {
        StringBuilder sb = new StringBuilder();
        for (int i = 0; i < keys.length; i++) sb.append(pad(keys[i], 5)).append(pad(String.valueOf(values[i]), 4)).append(i + 1 < keys.length ? "\n" : "");
        return sb.toString();
    }
}
