import java.util.ArrayList;
import java.util.List;

class Inventory {
    private final String name;
    private final List<Item> items = new ArrayList<Item>();
    private int total;            // same field name as Main.total
    private static int instances;

    Inventory(String name) { this.name = name; instances++; }

    private Item find(String what) {
        for (Item i : items) if (i.name().equals(what)) return i;
        return null;
    }

    private void add(int v) { total += v; }   // same name as Main.add, different kind (instance)

    void stock(Item it) {
        Item existing = find(it.name());
        if (existing == null) items.add(it);
        else existing.restock(it.count());
        add(it.count());
    }

    boolean sell(String what, int n) {
        Item it = find(what);
        if (it == null || !it.take(n)) return false;
        add(-n);
        return true;
    }

    int value() {
        int v = 0;
        for (Item i : items) v += i.value();
        return v;
    }

    String cheapest() {
        Item best = null;
        for (Item i : items) if (best == null || i.cheaperThan(best)) best = i;
        return best == null ? "-" : best.name();
    }

    List<Item> items() { return items; }

    String report() {
        StringBuilder sb = new StringBuilder(name + "(" + instances + ") total=" + total + ":");
        for (Item i : items) sb.append(' ').append(i);
        return sb.toString();
    }
}
