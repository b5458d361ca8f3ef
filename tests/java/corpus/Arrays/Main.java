// release: 8
// Arrays of every element type, multi-dimensional arrays (multianewarray), jagged arrays, clone,
// covariance, instanceof/checkcast on array types and on interfaces.
import java.util.Arrays;

public class Main {
    private int[][] grid;
    private static Object[] registry = new Object[4];
    private static final int SIZE = 5;
    private final char[] letters = { 'z', 'y', 'x' };

    private Main(int n) {
        grid = new int[n][n + 1];
        for (int i = 0; i < n; i++)
            for (int j = 0; j <= n; j++)
                grid[i][j] = i * j - j;
    }

    private int trace() {
        int t = 0;
        for (int i = 0; i < grid.length; i++) t += grid[i][i];
        return t;
    }

    private static String kind(Object o) {
        if (o instanceof int[][]) return "int[][] len=" + ((int[][]) o).length;
        if (o instanceof int[]) return "int[] len=" + ((int[]) o).length;
        if (o instanceof String[]) return "String[] first=" + ((String[]) o)[0];
        if (o instanceof CharSequence[]) return "CharSequence[]";
        if (o instanceof Object[][]) return "Object[][]";
        if (o instanceof Object[]) return "Object[] len=" + ((Object[]) o).length;
        if (o instanceof Comparable) return "Comparable " + o;
        return "other";
    }

    private static long sum(long[] xs) { long s = 0; for (long x : xs) s += x; return s; }
    private static double sum(double[] xs) { double s = 0; for (double x : xs) s += x; return s; }
    private static int sum(byte[] xs) { int s = 0; for (byte x : xs) s += x; return s; }

    private static int[][][] cube(int a, int b, int c) {
        int[][][] r = new int[a][b][c];
        for (int i = 0; i < a; i++) for (int j = 0; j < b; j++) for (int k = 0; k < c; k++) r[i][j][k] = i * 100 + j * 10 + k;
        return r;
    }

    public static void main(String[] args) {
        Main m = new Main(SIZE);
        System.out.println("grid " + Arrays.deepToString(m.grid) + " trace " + m.trace());
        boolean[] bs = new boolean[3]; bs[1] = true;
        byte[] bytes = { 1, -2, 127, -128 };
        short[] shorts = new short[] { 300, -300 };
        char[] chars = "hello".toCharArray();
        long[] longs = { Long.MAX_VALUE, 1, -1 };
        float[] floats = { 1.5f, -0.25f };
        double[] doubles = new double[4]; Arrays.fill(doubles, 0.5);
        System.out.println(Arrays.toString(bs) + Arrays.toString(bytes) + Arrays.toString(shorts) + Arrays.toString(chars));
        System.out.println(Arrays.toString(longs) + Arrays.toString(floats) + Arrays.toString(doubles));
        System.out.println("sums " + sum(longs) + " " + sum(doubles) + " " + sum(bytes));
        int[][][] c = cube(2, 3, 4);
        System.out.println("cube " + c[1][2][3] + " " + c[0][1][2] + " " + c.length + "x" + c[0].length + "x" + c[0][0].length);
        long[][] partial = new long[3][];
        for (int i = 0; i < 3; i++) { partial[i] = new long[i + 1]; partial[i][i] = i * 11L; }
        System.out.println("jagged " + Arrays.deepToString(partial));
        String[][] names = new String[2][2];
        names[0][0] = "a"; names[1][1] = "d";
        System.out.println("strings " + Arrays.deepToString(names));
        char[][][] cc = new char[2][2][];
        cc[1][0] = m.letters.clone();
        cc[1][0][0] = 'Q';
        System.out.println("chars " + new String(cc[1][0]) + " " + new String(m.letters) + " " + (cc[0][1] == null));
        registry[0] = new int[2];
        registry[1] = new int[3][];
        registry[2] = new String[] { "first", "second" };
        registry[3] = new StringBuilder[0];
        Object[] probes = { registry[0], registry[1], registry[2], registry[3], new Object[7], new Object[1][1], "text", 42 };
        for (Object o : probes) System.out.println("kind " + kind(o));
        int[] data = { 9, 3, 7, 1, 8, 2 };
        int[] copy = Arrays.copyOf(data, 8);
        Arrays.sort(data);
        System.arraycopy(data, 0, copy, 2, 4);
        System.out.println("sorted " + Arrays.toString(data) + " copy " + Arrays.toString(copy) + " idx " + Arrays.binarySearch(data, 7));
        Object[] objs = new Integer[2];
        try {
            objs[0] = "no";
        } catch (ArrayStoreException e) {
            System.out.println("covariance rejected");
        }
        try {
            int[] neg = new int[m.trace() - 1000];
            System.out.println("never " + neg.length);
        } catch (NegativeArraySizeException e) {
            System.out.println("negative size");
        }
        Object o = m.grid;
        int[][] back = (int[][]) o;
        Cloneable cl = back;
        java.io.Serializable ser = back[0];
        System.out.println("cast " + back[2][3] + " " + (cl instanceof int[][]) + " " + (ser instanceof int[]) + " " + back.getClass().getName() + " " + new Object[0][0].getClass().getSimpleName());
        System.out.println("equals " + Arrays.equals(data, data.clone()) + " " + (data == data.clone()) + " " + Arrays.hashCode(data));
    }
}
