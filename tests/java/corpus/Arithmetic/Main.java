// release: 8
// Straight-line integer arithmetic: overflow, shifts, division and remainder signs, conversions.
public class Main {
    private static int seed = 12345;
    private int acc;
    private long wide;
    private static final int UNUSED_LIMIT = 999;
    private int neverRead;

    private Main(int start) {
        acc = start;
        wide = start * 3L;
    }

    private static int nextRandom() {
        // Linear congruential generator: fixed constants give a stable sequence.
        seed = seed * 1103515245 + 12345;
        return (seed >>> 16) & 0x7fff;
    }

    private void add(int v) { acc += v; }
    private void add(long v) { wide += v; }
    private void add(int a, int b) { acc += a * b; }

    private static int gcd(int a, int b) { return b == 0 ? a : gcd(b, a % b); }

    private static long power(long base, int exp) {
        if (exp == 0) return 1;
        long half = power(base, exp / 2);
        return (exp % 2 == 0) ? half * half : half * half * base;
    }

    private static int isqrt(int n) {
        int x = n, y = (x + 1) / 2;
        while (y < x) { x = y; y = (x + n / x) / 2; }
        return x;
    }

    // Unused chain: nothing reaches deadA, so deadB and deadC are dead too.
    private int deadA() { return deadB(3) + UNUSED_LIMIT; }
    private int deadB(int x) { return deadC(x) * 2 + neverRead; }
    private static int deadC(int x) { return x + 1; }

    private static String hex(int v) { return Integer.toHexString(v); }

    public static void main(String[] args) {
        int a = 7, b = -3, c = Integer.MAX_VALUE, d = Integer.MIN_VALUE;
        System.out.println("div " + (a / b) + " " + (-a / b) + " " + (a % b) + " " + (-a % b));
        System.out.println("overflow " + (c + 1) + " " + (d - 1) + " " + (c * 2) + " " + (-d));
        System.out.println("shift " + (a << 29) + " " + (b >> 1) + " " + (b >>> 28) + " " + (1 << 33));
        System.out.println("bits " + (a & b) + " " + (a | b) + " " + (a ^ b) + " " + (~a));
        System.out.println("hex " + hex(c) + " " + hex(d) + " " + hex(b));
        byte by = (byte) 200; short sh = (short) 70000; char ch = (char) -1;
        System.out.println("narrow " + by + " " + sh + " " + (int) ch + " " + (byte) (by + by));
        long l = c; l = l * l;
        System.out.println("long " + l + " " + (int) l + " " + (l >> 40) + " " + (l >>> 60));
        System.out.println("gcd " + gcd(1071, 462) + " " + gcd(17, 5) + " " + gcd(0, 9));
        System.out.println("pow " + power(3, 13) + " " + power(2, 62) + " " + power(7, 0));
        System.out.println("isqrt " + isqrt(1000000) + " " + isqrt(99) + " " + isqrt(2));

        Main m = new Main(10);
        m.add(5);
        m.add(100L);
        m.add(3, 4);
        for (int i = 0; i < 20; i++) {
            m.add(nextRandom() % 100);
        }
        System.out.println("acc " + m.acc + " wide " + m.wide);

        int x = 0;
        x += 5; x -= 2; x *= 7; x /= 2; x %= 6; x <<= 3; x >>= 1; x >>>= 1; x ^= 0x55; x |= 0x100; x &= 0x1f0;
        System.out.println("compound " + x);
        int i1 = 5;
        int i2 = i1++ + ++i1 - i1-- - --i1;
        System.out.println("incdec " + i1 + " " + i2);
        System.out.println("abs " + Math.abs(d) + " " + Math.abs(-42) + " " + Integer.signum(b));
        System.out.println("cmp " + Integer.compare(a, b) + " " + Long.compare(-1L, 1L) + " " + Integer.bitCount(c));
        int checksum = 0;
        for (int k = 0; k < 1000; k++) {
            checksum = 31 * checksum + (k ^ (k >>> 3));
        }
        System.out.println("checksum " + checksum);
    }
}
