// release: 8
// Enums with fields, private constructors, per-constant class bodies, abstract methods, static lookup
// tables, EnumMap/EnumSet, values()/valueOf()/ordinal().
import java.util.EnumMap;
import java.util.EnumSet;
import java.util.Map;

public class Main {
    enum Planet {
        MERCURY(3303, 2439), VENUS(48690, 6052), EARTH(59760, 6378), MARS(6421, 3397), JUPITER(19000000, 71492);

        private final long mass;     // scaled units keep the arithmetic integral
        private final int radius;
        private static int lookups;
        private static final Map<Planet, String> NICK = new EnumMap<Planet, String>(Planet.class);
        static {
            NICK.put(EARTH, "home");
            NICK.put(MARS, "red");
        }

        private Planet(long mass, int radius) { this.mass = mass; this.radius = radius; }

        private long gravityScaled() { return mass * 1000L / ((long) radius * radius / 1000); }
        long weight(long base) { return base * gravityScaled() / EARTH.gravityScaled(); }
        String nick() { lookups++; String n = NICK.get(this); return n == null ? name().toLowerCase() : n; }
        static int lookups() { return lookups; }
    }

    enum Op {
        ADD("+") { int apply(int a, int b) { return a + b; } },
        SUB("-") { int apply(int a, int b) { return a - b; } },
        MUL("*") {
            int apply(int a, int b) { return a * b; }
            @Override String pretty() { return "times"; }
        },
        DIV("/") {
            int apply(int a, int b) { return b == 0 ? 0 : safeDiv(a, b); }
            private int safeDiv(int a, int b) { return a / b; }
        };

        private final String symbol;
        Op(String symbol) { this.symbol = symbol; }
        abstract int apply(int a, int b);
        String pretty() { return symbol; }
    }

    private enum Level {
        LOW, MEDIUM, HIGH, CRITICAL;
        private static final Level[] CACHE = values();
        private Level next() { return CACHE[Math.min(ordinal() + 1, CACHE.length - 1)]; }
        private boolean atLeast(Level other) { return compareTo(other) >= 0; }
        // Unused: no caller anywhere.
        private Level previous() { return CACHE[Math.max(ordinal() - 1, 0)]; }
    }

    interface Coded { int code(); }

    enum Status implements Coded {
        OK(200), NOT_FOUND(404), ERROR(500);
        private final int code;
        Status(int code) { this.code = code; }
        public int code() { return code; }
        private static Status byCode(int c) {
            for (Status s : values()) if (s.code == c) return s;
            return null;
        }
    }

    public static void main(String[] args) {
        for (Planet p : Planet.values()) {
            System.out.println(p.ordinal() + " " + p + " weight=" + p.weight(100) + " nick=" + p.nick());
        }
        System.out.println("lookups " + Planet.lookups() + " valueOf " + Planet.valueOf("MARS").radius);
        for (Op op : Op.values()) {
            System.out.println(op.name() + " " + op.pretty() + " " + op.apply(17, 5) + " " + op.apply(3, 0)
                    + " declaring=" + op.getDeclaringClass().getSimpleName());
        }
        Level l = Level.LOW;
        StringBuilder sb = new StringBuilder();
        for (int i = 0; i < 5; i++) { sb.append(l).append(l.atLeast(Level.HIGH) ? "!" : "").append(' '); l = l.next(); }
        System.out.println("levels " + sb);
        EnumMap<Level, Integer> counts = new EnumMap<Level, Integer>(Level.class);
        int[] samples = { 3, 1, 0, 3, 2, 2, 3, 0, 3 };
        for (int s : samples) {
            Level key = Level.values()[s];
            Integer old = counts.get(key);
            counts.put(key, old == null ? 1 : old + 1);
        }
        System.out.println("counts " + counts);
        EnumSet<Level> set = EnumSet.range(Level.MEDIUM, Level.CRITICAL);
        set.remove(Level.HIGH);
        System.out.println("set " + set + " complement " + EnumSet.complementOf(set));
        Coded c = Status.byCode(404);
        System.out.println("status " + c + " " + c.code() + " " + Status.byCode(201) + " " + Status.valueOf("ERROR").code());
        try {
            Level.valueOf("NOPE");
        } catch (IllegalArgumentException e) {
            System.out.println("no such level");
        }
        System.out.println("switch " + Op.valueOf("MUL").compareTo(Op.ADD) + " " + Op.MUL.equals(Op.valueOf("MUL")));
    }
}
