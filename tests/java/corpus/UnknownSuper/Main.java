// release: 8
// Main reaches Engine's go() and level through references to Car and Dial, which extend it. Engine is a library
// that zyn never sees, so nothing in the run declares go or level. Car declares private methods of go()'s
// descriptor and Dial private fields of level's type, and each holds that name as a String constant: a private
// member renamed to it would be what the reference resolves to, and Main may not access it.
public class Main {
    public static void main(String[] args) {
        for (int step = 0; step < 2; step++) {
            String result;
            try {
                result = run(step);
            } catch (Throwable t) {   // each step reports on its own line, so one failure hides no other
                result = "threw " + t;
            }
            System.out.println(step + " " + result);
        }
    }

    private static String run(int step) {
        if (step == 0) {
            Car c = new Car();
            c.go();
            c.go();
            return "car level=" + c.level + " " + c.report();
        }
        Dial d = new Dial(3);
        d.level = 7;
        return "dial level=" + d.level + " " + d.report();
    }
}
