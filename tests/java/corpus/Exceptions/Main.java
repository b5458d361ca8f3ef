// release: 8
// try/catch/finally in many shapes: nested handlers, multi-catch, rethrow, finally overriding a
// return, custom checked and unchecked exceptions with private state.
import java.io.IOException;
import java.util.ArrayList;
import java.util.List;

public class Main {
    private static final List<String> log = new ArrayList<String>();
    private int attempts;
    private static int finallyRuns;

    static class AppException extends Exception {
        private final int code;
        private static int raised;
        AppException(String msg, int code) { super(msg); this.code = code; raised++; }
        private int code() { return code; }
        int codeTimes(int k) { return code() * k; }
    }

    static final class Fatal extends RuntimeException {
        private final String where;
        Fatal(String where, Throwable cause) { super("fatal at " + where, cause); this.where = where; }
        private String where() { return where; }
        String summary() { return where() + " <- " + (getCause() == null ? "none" : getCause().getMessage()); }
    }

    private static void note(String s) { log.add(s); }

    private void risky(int mode) throws AppException, IOException {
        attempts++;
        switch (mode) {
            case 0: return;
            case 1: throw new AppException("app" + mode, 10 + mode);
            case 2: throw new IOException("io" + mode);
            case 3: throw new IllegalStateException("state" + mode);
            case 4: { int[] a = new int[2]; a[mode] = 1; return; }
            case 5: { Object o = "s"; Integer i = (Integer) o; note("unreachable " + i); return; }
            case 6: { int z = mode - 6; note("div " + (mode / z)); return; }
            default: throw new Fatal("risky", new AppException("inner", mode));
        }
    }

    private String attempt(int mode) {
        try {
            risky(mode);
            return "ok";
        } catch (AppException e) {
            return "app:" + e.getMessage() + ":" + e.code() + ":" + e.codeTimes(2);
        } catch (IOException | IllegalStateException e) {
            return "multi:" + e.getClass().getSimpleName() + ":" + e.getMessage();
        } catch (ArrayIndexOutOfBoundsException | ClassCastException | ArithmeticException e) {
            return "runtime:" + e.getClass().getSimpleName();
        } catch (Fatal f) {
            return "fatal:" + f.summary();
        } finally {
            finallyRuns++;
            note("finally" + mode);
        }
    }

    @SuppressWarnings("finally")
    private static int finallyWins() {
        try {
            throw new RuntimeException("lost");
        } finally {
            return 42;
        }
    }

    private static int nested(int depth) {
        int result = 0;
        try {
            try {
                if (depth > 2) throw new IllegalArgumentException("deep" + depth);
                result = depth;
            } finally {
                result += 100;
                note("inner-finally" + depth);
            }
        } catch (IllegalArgumentException e) {
            result = -result;
            note("caught " + e.getMessage());
        } finally {
            result *= 2;
        }
        return result;
    }

    private static void rethrow(int n) throws AppException {
        try {
            if (n % 2 == 0) throw new AppException("even" + n, n);
            note("odd " + n);
        } catch (AppException e) {
            note("rethrowing " + e.getMessage());
            throw e;
        }
    }

    private static String loopWithBreaks() {
        StringBuilder sb = new StringBuilder();
        outer:
        for (int i = 0; i < 5; i++) {
            try {
                if (i == 1) continue;
                if (i == 3) break outer;
                sb.append("i").append(i);
            } finally {
                sb.append("f").append(i).append(' ');
            }
        }
        return sb.toString();
    }

    // Never called: the optimizer may drop it together with its handler table.
    private static int unusedHandler() {
        try { return Integer.parseInt("x"); } catch (NumberFormatException e) { return -1; }
    }

    public static void main(String[] args) {
        Main m = new Main();
        for (int mode = 0; mode <= 7; mode++) {
            System.out.println(mode + " -> " + m.attempt(mode));
        }
        System.out.println("attempts " + m.attempts + " finallyRuns " + finallyRuns + " raised " + AppException.raised);
        System.out.println("finallyWins " + finallyWins());
        System.out.println("nested " + nested(1) + " " + nested(5));
        for (int i = 1; i <= 2; i++) {
            try {
                rethrow(i);
            } catch (AppException e) {
                System.out.println("outer caught " + e.getMessage() + " code " + e.code());
            }
        }
        System.out.println("loop " + loopWithBreaks());
        try {
            Object[] arr = new String[1];
            arr[0] = Integer.valueOf(1);
        } catch (ArrayStoreException e) {
            System.out.println("store " + e.getMessage());
        }
        try {
            throw new Error("custom error");
        } catch (Throwable t) {
            System.out.println("throwable " + t.getMessage() + " " + (t instanceof Error));
        }
        Throwable chained = new Fatal("main", new IOException("disk"));
        System.out.println(((Fatal) chained).summary() + " | " + chained.getMessage());
        for (String s : log) System.out.println("log " + s);
    }
}
