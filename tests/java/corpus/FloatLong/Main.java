// release: 8
// long, float and double constants and arithmetic: ldc/ldc2_w constants, NaN and signed zero,
// narrowing conversions with saturation, comparisons, and private static final constants.
public class Main {
    private static final long BIG = 0x123456789abcdefL;
    private static final long NEG = -9_000_000_000_000L;
    private static final double PI_ISH = 3.14159265358979;
    private static final float RATIO = 1.618034f;
    private static final double TINY = 4.9e-324;
    private static final float UNUSED_F = 2.5f;
    private static double accumulator = 0.125;
    private long mix = 1469598103934665603L;
    private float fsum;

    private void feed(long v) {
        mix ^= v;
        mix *= 1099511628211L;   // FNV-1a step
    }

    private void feed(double d) { feed(Double.doubleToLongBits(d)); }
    private void feed(float f) { fsum += f; feed((long) Float.floatToIntBits(f)); }

    private static double poly(double x) {
        return ((2.5 * x - 1.75) * x + 0.375) * x - 12.0625;
    }

    private static long factorial(int n) { return n <= 1 ? 1L : n * factorial(n - 1); }

    private static String cmp(double a, double b) {
        return (a < b ? "<" : "") + (a > b ? ">" : "") + (a == b ? "=" : "") + (a != b ? "!" : "");
    }

    public static void main(String[] args) {
        Main m = new Main();
        System.out.println("consts " + BIG + " " + NEG + " " + PI_ISH + " " + RATIO + " " + TINY);
        System.out.println("long ops " + (BIG * 31 + NEG) + " " + (BIG / -7) + " " + (BIG % 1000) + " " + (NEG >> 3) + " " + (NEG >>> 60));
        System.out.println("long bits " + Long.toHexString(BIG ^ NEG) + " " + Long.numberOfTrailingZeros(NEG) + " " + Long.MAX_VALUE + " " + (Long.MIN_VALUE - 1));
        System.out.println("fact " + factorial(20) + " " + factorial(21));
        double nan = 0.0 / 0.0, inf = 1.0 / 0.0, negZero = -0.0;
        System.out.println("nonfinite " + nan + " " + inf + " " + (-inf) + " " + negZero + " " + (0.0 == negZero) + " " + Double.compare(0.0, negZero));
        System.out.println("nan cmp " + cmp(nan, 1) + " " + cmp(1, nan) + " " + cmp(nan, nan) + " " + cmp(2, 2) + " " + cmp(1, 2));
        System.out.println("to int " + (int) nan + " " + (int) inf + " " + (long) -inf + " " + (int) 3.99 + " " + (int) -3.99 + " " + (long) 1e19 + " " + (char) 65.7);
        System.out.println("float " + (RATIO * RATIO) + " " + (1.0f / 3) + " " + (float) PI_ISH + " " + Float.MIN_VALUE + " " + Float.MAX_VALUE + " " + (0.1f + 0.2f));
        System.out.println("double " + (0.1 + 0.2) + " " + (1.0 / 3) + " " + (double) RATIO + " " + 1e300 * 1e10 + " " + 100.0 / 3.0);
        System.out.println("poly " + poly(0) + " " + poly(1.5) + " " + poly(-2.25) + " " + poly(1e3));
        System.out.println("strict " + StrictMath.sqrt(2) + " " + StrictMath.sin(1) + " " + StrictMath.exp(1) + " " + StrictMath.pow(2, 0.5) + " " + StrictMath.log(10));
        System.out.println("round " + Math.round(2.5) + " " + Math.round(-2.5) + " " + Math.round(2.4f) + " " + Math.floor(-1.1) + " " + Math.ceil(-1.9) + " " + Math.rint(3.5));
        System.out.println("rem " + (5.5 % 2) + " " + (-5.5 % 2) + " " + (5.5f % -2f) + " " + Math.IEEEremainder(5.5, 2));
        for (int i = 0; i < 50; i++) {
            accumulator = accumulator * 1.0625 + i / 8.0;
            m.feed(accumulator);
            m.feed((float) i * 0.75f);
            m.feed((long) i * BIG);
        }
        System.out.println("acc " + accumulator + " mix " + m.mix + " fsum " + m.fsum);
        float f = 16777216f;
        System.out.println("precision " + (f + 1 == f) + " " + (long) (double) Long.MAX_VALUE + " " + (float) 123456789 + " " + (double) (float) 0.1);
        short s = (short) 40000L; byte b = (byte) 3.9e9; int fromL = (int) 0x1_0000_0005L;
        System.out.println("narrow " + s + " " + b + " " + fromL + " " + (byte) (float) 300 + " " + (short) -1e10);
        long lc = 1L << 40; lc += 0.5; lc *= 1.5f;
        int ic = 10; ic *= 2.75; ic -= 0.1f;
        System.out.println("compound " + lc + " " + ic);
        System.out.println("parse " + Double.parseDouble("6.02214076e23") + " " + Float.parseFloat("-1.5e-3") + " " + Long.parseLong("-9223372036854775808"));
        System.out.println("bits " + Long.toHexString(Double.doubleToLongBits(PI_ISH)) + " " + Integer.toHexString(Float.floatToIntBits(RATIO)) + " " + Double.longBitsToDouble(0x4000000000000000L));
    }
}
