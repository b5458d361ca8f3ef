// release: 8
// synchronized blocks and methods (monitorenter/monitorexit with their handlers), threads joined
// before printing, and static initializers whose order is observable.
import java.util.ArrayList;
import java.util.List;

public class Main {
    private static final List<String> order = new ArrayList<String>();
    private static final Object LOCK = new Object();
    private static int shared;
    private int perInstance;
    private long guarded;

    static {
        order.add("Main.static1");
    }

    private static int initValue = computeInit();

    static {
        order.add("Main.static2 initValue=" + initValue);
    }

    private static int computeInit() {
        order.add("computeInit");
        return 17;
    }

    static class Lazy {
        private static final String TAG;
        private static int touched;
        static {
            order.add("Lazy.static");
            StringBuilder sb = new StringBuilder();
            for (int i = 0; i < 3; i++) sb.append((char) ('a' + i));
            TAG = sb.toString();
        }
        private static String tag() { touched++; return TAG + touched; }
    }

    static class Holder {
        static final int CONST = 99;   // compile-time constant: reading it must not initialize Holder
        static int nonConst = 5;
        static { order.add("Holder.static"); }
    }

    private synchronized void incInstance() { perInstance++; }

    private static synchronized void incShared() { shared++; }

    private void addGuarded(long v) {
        synchronized (this) {
            guarded += v;
        }
    }

    private static int nestedLocks(Main a, Main b) {
        synchronized (LOCK) {
            synchronized (a) {
                synchronized (b) {
                    return a.perInstance + b.perInstance;
                }
            }
        }
    }

    private static String lockedThrow(int k) {
        try {
            synchronized (LOCK) {
                if (k > 1) throw new IllegalStateException("k=" + k);
                return "ok" + k;
            }
        } catch (IllegalStateException e) {
            // The monitor must have been released on the exceptional path.
            return "released:" + Thread.holdsLock(LOCK) + ":" + e.getMessage();
        }
    }

    public static void main(String[] args) throws InterruptedException {
        order.add("main start");
        System.out.println("const " + Holder.CONST);
        order.add("after const");
        System.out.println("nonConst " + Holder.nonConst);
        System.out.println("lazy " + Lazy.tag() + " " + Lazy.tag());

        final Main m = new Main();
        final Main other = new Main();
        List<Thread> threads = new ArrayList<Thread>();
        for (int t = 0; t < 4; t++) {
            final int id = t;
            Thread th = new Thread(new Runnable() {
                public void run() {
                    for (int i = 0; i < 2000; i++) {
                        m.incInstance();
                        incShared();
                        m.addGuarded(id + 1);
                        synchronized (LOCK) { other.perInstance++; }
                    }
                }
            });
            threads.add(th);
            th.start();
        }
        for (Thread th : threads) th.join();
        System.out.println("perInstance " + m.perInstance + " shared " + shared + " guarded " + m.guarded + " other " + other.perInstance);
        System.out.println("nested " + nestedLocks(m, other));
        System.out.println(lockedThrow(1) + " " + lockedThrow(5) + " holds " + Thread.holdsLock(LOCK));
        synchronized (m) {
            System.out.println("holds m " + Thread.holdsLock(m) + " holds other " + Thread.holdsLock(other));
        }
        for (String s : order) System.out.println("order " + s);
    }
}
