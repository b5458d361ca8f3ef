// release: 8
// try-with-resources over custom AutoCloseable types: close order, exceptions from close() added as
// suppressed, resources that fail to open, and nested try blocks.
import java.util.ArrayList;
import java.util.List;

public class Main {
    private static final List<String> events = new ArrayList<String>();

    static class Res implements AutoCloseable {
        private final String name;
        private final boolean failOnClose;
        private boolean closed;
        private static int opened;

        Res(String name, boolean failOnClose) {
            this.name = name;
            this.failOnClose = failOnClose;
            opened++;
            log("open " + name);
        }

        private static void log(String s) { events.add(s); }

        String use(int x) {
            if (closed) throw new IllegalStateException("use after close");
            if (x < 0) throw new IllegalArgumentException("negative in " + name);
            return name + ":" + x;
        }

        @Override
        public void close() throws Exception {
            closed = true;
            log("close " + name);
            if (failOnClose) throw new Exception("close failed " + name);
        }
    }

    static final class Failing implements AutoCloseable {
        Failing() throws java.io.IOException { throw new java.io.IOException("cannot open"); }
        public void close() { events.add("never closed"); }
    }

    private static String run(int x, boolean failA, boolean failB) {
        try (Res a = new Res("a", failA); Res b = new Res("b", failB)) {
            return a.use(x) + "," + b.use(x + 1);
        } catch (Exception e) {
            StringBuilder sb = new StringBuilder("caught " + e.getMessage());
            for (Throwable s : e.getSuppressed()) sb.append(" [suppressed ").append(s.getMessage()).append(']');
            return sb.toString();
        } finally {
            events.add("finally " + x);
        }
    }

    private static String openFails() {
        try (Res ok = new Res("ok", false); Failing f = new Failing()) {
            return "unreachable " + ok.use(1) + f;
        } catch (java.io.IOException e) {
            return "open failed: " + e.getMessage();
        } catch (Exception e) {
            return "other " + e;
        }
    }

    private static int nullResource() throws Exception {
        try (Res none = null) {
            return none == null ? 1 : 2;
        }
    }

    private static String nested() throws Exception {
        try (Res outer = new Res("outer", true)) {
            try (Res inner = new Res("inner", true)) {
                throw new RuntimeException("body");
            } catch (RuntimeException e) {
                return "inner caught " + e.getMessage() + " suppressed=" + e.getSuppressed().length + " " + e.getSuppressed()[0].getMessage();
            }
        } catch (Exception e) {
            return "outer caught " + e.getMessage();
        }
    }

    public static void main(String[] args) throws Exception {
        System.out.println(run(1, false, false));
        System.out.println(run(-1, true, true));
        System.out.println(run(2, false, true));
        System.out.println(run(-5, false, false));
        System.out.println(openFails());
        System.out.println("null resource " + nullResource());
        System.out.println(nested());
        System.out.println("opened " + Res.opened);
        for (String e : events) System.out.println("event " + e);
    }
}
