// release: 11
// Nestmates reach each other's private members directly, with no accessors: only the other class's
// constant pool refers to them. The outer class never touches its own field "ledger" at all; only
// the inner and nested classes read and write it. Each side also calls the other's private methods.
public class Main {
    private int ledger;                  // used by Inner and Audit only
    private String owner = "main";
    private static int opened;

    private Main() { opened++; }

    private String stamp(String what) { return owner + ":" + what; }
    private static int square(int v) { return v * v; }

    class Inner {
        private int steps;

        void work(int amount) {
            ledger += amount;            // getfield/putfield Main.ledger from Main$Inner
            steps++;
            owner = owner + "+";
        }

        String report() { return stamp("ledger=" + ledger + " steps=" + steps + " sq=" + square(ledger)); }
    }

    static class Audit {
        private final Main target;
        private Audit(Main target) { this.target = target; }
        private int check() { return target.ledger * 10 + opened; }
    }

    public static void main(String[] args) {
        Main m = new Main();
        Inner in = m.new Inner();
        for (int i = 1; i <= 4; i++) in.work(i);
        System.out.println(in.report());
        System.out.println("inner steps " + in.steps);       // outer reads the inner class's private field
        Audit a = new Audit(m);
        System.out.println("audit " + a.check() + " opened " + opened);
    }
}
