// Private fields of level's type. "level" is loaded first of all, so that it heads the names the class could
// reuse whatever other names the pool holds.
public class Dial extends Engine {
    final String label = "level";   // not private: the name is left to the int fields
    private int y1, y2, y3, y4, y5, y6, y7, y8, y9;

    Dial(int seed) {
        y1 = seed; y2 = y1 * 2; y3 = y2 * 2; y4 = y3 * 2; y5 = y4 * 2;
        y6 = y5 * 2; y7 = y6 * 2; y8 = y7 * 2; y9 = y8 * 2;
    }

    String report() { return label + " sum=" + (y1 + y2 + y3 + y4 + y5 + y6 + y7 + y8 + y9); }
}
