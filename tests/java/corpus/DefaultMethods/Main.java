// release: 8
// Interfaces with default and static methods: diamond resolution through I.super.m(), defaults
// overridden in classes, static interface helpers, and interface constants.
public class Main {
    interface Greeter {
        String PREFIX = "hi";
        String name();
        default String greet() { return PREFIX + " " + name() + suffix(); }
        default String suffix() { return "."; }
        static Greeter of(final String n) {
            return new Greeter() { public String name() { return n; } };
        }
        static String shout(Greeter g) { return g.greet().toUpperCase(); }
    }

    interface Polite extends Greeter {
        @Override default String greet() { return "dear " + Greeter.super.greet(); }
    }

    interface Loud {
        default String greet() { return "HEY"; }
        default int volume() { return 11; }
        static int max() { return 100; }
    }

    static class Person implements Polite, Loud {
        private final String n;
        private int greeted;
        Person(String n) { this.n = n; }
        public String name() { return n; }
        // Both Polite and Loud supply greet(): the class must pick one explicitly.
        @Override public String greet() {
            greeted++;
            return Polite.super.greet() + " / " + Loud.super.greet() + " x" + greeted;
        }
        private int doubledVolume() { return volume() * 2; }
    }

    static class Robot implements Greeter {
        private int serial;
        Robot(int serial) { this.serial = serial; }
        public String name() { return "unit-" + serial; }
        @Override public String suffix() { return "!" + serial; }
    }

    interface Shape {
        double area();
        default String describe() { return getClass().getSimpleName() + " " + fmt(area()); }
        static String fmt(double d) { return String.valueOf(Math.round(d * 100) / 100.0); }
        default Shape scaled(final double k) {
            final Shape self = this;
            return new Shape() {
                public double area() { return self.area() * k * k; }
                @Override public String describe() { return "scaled(" + self.describe() + ", " + k + ") " + Shape.fmt(area()); }
            };
        }
    }

    static class Rect implements Shape {
        private final double w, h;
        Rect(double w, double h) { this.w = w; this.h = h; }
        public double area() { return w * h; }
    }

    interface Counter {
        int get();
        default Counter plus(final int k) {
            final Counter base = this;
            return new Counter() { public int get() { return base.get() + k; } };
        }
        static Counter constant(final int v) { return new Counter() { public int get() { return v; } }; }
    }

    public static void main(String[] args) {
        Greeter g = Greeter.of("ann");
        System.out.println(g.greet() + " | " + Greeter.shout(g));
        Person p = new Person("bob");
        System.out.println(p.greet());
        System.out.println(p.greet() + " vol " + p.doubledVolume() + " max " + Loud.max());
        Greeter asGreeter = p;
        Loud asLoud = p;
        System.out.println(asGreeter.greet() + " | " + asLoud.greet() + " | " + p.suffix());
        Robot r = new Robot(7);
        System.out.println(r.greet() + " " + Greeter.shout(r) + " " + Greeter.PREFIX);
        Shape s = new Rect(2, 3.5);
        System.out.println(s.describe());
        System.out.println(s.scaled(2).describe());
        System.out.println(s.scaled(0.5).scaled(3).describe());
        Counter c = Counter.constant(5).plus(3).plus(-1);
        System.out.println("counter " + c.get() + " " + c.plus(10).get());
    }
}
