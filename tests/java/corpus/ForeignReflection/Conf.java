// Private members that only Main names, by String constants in Main's pool: Conf's own code uses limit
// and greeting but never calls hello or scale. spare is used here and named nowhere, so it may be renamed;
// retired is used nowhere and goes.
public class Conf {
    private int limit = 3;
    private int spare = 40;
    private static String greeting = "hi";

    private static String hello() { return greeting + " from Conf"; }

    private String scale(int times) { return "scaled " + limit * times; }

    private static int retired(int x) { return x - 1; }

    int total() { return limit + spare; }
}
