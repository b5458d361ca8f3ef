// Private fields of count's type. "count" is loaded first of all, so that it heads the names the class could
// reuse whatever other names the pool holds.
public class Counter extends Base {
    final String label = "count";   // not private: the name is left to the int fields
    private int x1, x2, x3, x4, x5, x6, x7, x8, x9;

    Counter(int seed) {
        x1 = seed; x2 = x1 + 1; x3 = x2 + 1; x4 = x3 + 1; x5 = x4 + 1;
        x6 = x5 + 1; x7 = x6 + 1; x8 = x7 + 1; x9 = x8 + 1;
    }

    String report() { return label + " sum=" + (x1 + x2 + x3 + x4 + x5 + x6 + x7 + x8 + x9); }
}
