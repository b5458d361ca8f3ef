// release: 8
// Large dense (tableswitch) and sparse (lookupswitch) int switches, String switches with hash
// collisions, and enum switches (which use a synthetic switch-map class).
public class Main {
    private enum Color { RED, GREEN, BLUE, CYAN, MAGENTA, YELLOW, BLACK, WHITE }

    private static int dispatched;

    private static int dense(int k) {
        dispatched++;
        switch (k) {
            case -3: return 1;
            case -2: return 38;
            case -1: return 75;
            case 0: return 11;
            case 1: return 48;
            case 2: return 85;
            case 3: return 21;
            case 4: return 58;
            case 5: return 95;
            case 6: return 31;
            case 7: return 68;
            case 8: return 4;
            case 9: return 41;
            case 10: return 78;
            case 11: return 14;
            case 12: return 51;
            case 13: return 88;
            case 14: return 24;
            case 15: return 61;
            case 16: return 98;
            case 17: return 34;
            case 18: return 71;
            case 19: return 7;
            case 20: return 44;
            case 21: return 81;
            case 22: return 17;
            case 23: return 54;
            case 24: return 91;
            case 25: return 27;
            case 26: return 64;
            case 27: return 0;
            case 28: return 37;
            case 29: return 74;
            case 30: return 10;
            case 31: return 47;
            case 32: return 84;
            case 33: return 20;
            case 34: return 57;
            case 35: return 94;
            case 36: return 30;
            case 37: return 67;
            case 38: return 3;
            case 39: return 40;
            case 40: return 77;
            case 41: return 13;
            case 42: return 50;
            case 43: return 87;
            case 44: return 23;
            default: return -1;
        }
    }

    private static final int[] KEYS = {
        Integer.MIN_VALUE, -1986441000, -1847456881, -1499591369, -1371269749, -1262897697,
        -1099097093, -903621226, -859994195, -799948340, -798231825, -548048381,
        -443753964, -351659800, -324187610, -284989606, -201071568, -188096662,
        -47403134, -1, 0, 1, 1000, 1000000,
        31936245, 108218145, 154112043, 319647407, 405315533, 596628807,
        648258640, 722481616, 838787215, 985460000, 1104411903, 1264350247,
        1460150526, 1539610315, 1611203271, 1922895273, 2045500108, 2062335288,
        2147483647,
    };

    private static String sparse(int k) {
        switch (k) {
            case Integer.MIN_VALUE: return "s0";
            case -1986441000: return "s1";
            case -1847456881: return "s2";
            case -1499591369: return "s3";
            case -1371269749:
            case -1262897697: return "s5";
            case -1099097093: return "s6";
            case -903621226: return "s7";
            case -859994195: return "s8";
            case -799948340:
            case -798231825: return "s10";
            case -548048381: return "s11";
            case -443753964: return "s12";
            case -351659800: return "s13";
            case -324187610:
            case -284989606: return "s15";
            case -201071568: return "s16";
            case -188096662: return "s17";
            case -47403134: return "s18";
            case -1:
            case 0: return "s20";
            case 1: return "s21";
            case 1000: return "s22";
            case 1000000: return "s23";
            case 31936245:
            case 108218145: return "s25";
            case 154112043: return "s26";
            case 319647407: return "s27";
            case 405315533: return "s28";
            case 596628807:
            case 648258640: return "s30";
            case 722481616: return "s31";
            case 838787215: return "s32";
            case 985460000: return "s33";
            case 1104411903:
            case 1264350247: return "s35";
            case 1460150526: return "s36";
            case 1539610315: return "s37";
            case 1611203271: return "s38";
            case 1922895273:
            case 2045500108: return "s40";
            case 2062335288: return "s41";
            case 2147483647: return "s42";
            default: return "none";
        }
    }

    // "Aa"/"BB" and "AaAa"/"BBBB"/"AaBB" share hash codes, so the compiled switch must compare strings.
    private static int word(String s) {
        switch (s) {
            case "Aa": return 1;
            case "BB": return 2;
            case "AaAa": return 3;
            case "BBBB": return 4;
            case "AaBB": return 5;
            case "": return 6;
            case "alpha": case "beta": return 7;
            case "gamma": return 8;
            case "delta": return 9;
            case "epsilon": return 10;
            default: return 0;
        }
    }

    private static String colorName(Color c) {
        switch (c) {
            case RED: return "warm";
            case YELLOW: return "warm";
            case GREEN:
            case CYAN: return "cool";
            case BLUE: return "deep";
            case BLACK: return "dark";
            default: return "other-" + c.ordinal();
        }
    }

    private static int fallThrough(int k) {
        int r = 0;
        switch (k) {
            case 1: r += 1;
            case 2: r += 10;
            case 3: r += 100; break;
            case 4: r += 1000;
            default: r += 10000;
        }
        return r;
    }

    private static char charSwitch(char c) {
        switch (c) {
            case 'a': case 'e': case 'i': case 'o': case 'u': return 'V';
            case ' ': return '_';
            case '\u00e9': return 'E';
            default: return Character.isDigit(c) ? 'D' : 'C';
        }
    }

    private static int unusedSwitch(int k) {
        switch (k) { case 5: return 1; case 50: return 2; default: return 3; }
    }

    public static void main(String[] args) {
        StringBuilder sb = new StringBuilder();
        long sum = 0;
        for (int k = -5; k < 48; k++) {
            int v = dense(k);
            sum = sum * 7 + v;
            if (k % 6 == 0) sb.append(k).append('=').append(v).append(' ');
        }
        System.out.println("dense " + sb + "sum=" + sum + " dispatched=" + dispatched);
        sb.setLength(0);
        for (int i = 0; i < KEYS.length; i++) {
            sb.append(sparse(KEYS[i])).append(i % 10 == 9 ? "\n" : " ");
        }
        System.out.println(sb);
        System.out.println("misses " + sparse(3) + " " + sparse(-999) + " " + sparse(KEYS[1] + 1));
        String[] words = { "Aa", "BB", "AaAa", "BBBB", "AaBB", "BBAa", "", "alpha", "beta", "gamma", "delta", "epsilon", "zeta", "ALPHA" };
        sb.setLength(0);
        for (String w : words) sb.append('[').append(w).append("]=").append(word(w)).append(' ');
        System.out.println(sb);
        sb.setLength(0);
        for (Color c : Color.values()) sb.append(c).append(':').append(colorName(c)).append(' ');
        System.out.println(sb);
        System.out.println("fall " + fallThrough(1) + " " + fallThrough(2) + " " + fallThrough(3) + " " + fallThrough(4) + " " + fallThrough(9));
        sb.setLength(0);
        for (char c : "hello w\u00e9rld 42".toCharArray()) sb.append(charSwitch(c));
        System.out.println("chars " + sb);
    }
}
