// release: 8
// Main reaches inherited members through references to the subclasses: Worker.start()V from java.lang.Thread,
// Counter.count:I and Runner.run2()V from Base, Polite.greet() from Greeter's default method. Each subclass
// declares private members of that kind and descriptor and holds the inherited name as a String constant: a
// private member renamed to it would be what the reference resolves to, and Main may not access it.
public class Main {
    public static void main(String[] args) {
        for (int step = 0; step < 5; step++) {
            String result;
            try {
                result = run(step);
            } catch (Throwable t) {   // each step reports on its own line, so one failure hides no other
                result = "threw " + t;
            }
            System.out.println(step + " " + result);
        }
    }

    private static String run(int step) throws InterruptedException {
        switch (step) {
            case 0: {
                Worker w = new Worker();
                w.start();
                w.join();
                return "worker " + w.report();
            }
            case 1: {
                Counter c = new Counter(5);
                c.count += 2;
                return "counter count=" + c.count + " " + c.report();
            }
            case 2: {
                Runner r = new Runner();
                r.count = 3;
                r.run2();
                r.run2();
                return "runner count=" + r.count + " " + r.report();
            }
            case 3:
                return "polite " + new Polite("ann").greet();
            default: {
                Polite p = new Polite("bob");
                Greeter g = p;
                return "greeter " + g.greet() + " " + p.report();
            }
        }
    }
}
