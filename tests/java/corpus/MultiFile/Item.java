class Item {
    private final String name;
    private int count;
    private final int price;
    private static int made;

    Item(String name, int count, int price) { this.name = name; this.count = count; this.price = price; made++; }

    String name() { return name; }
    int count() { return count; }
    private int price() { return price; }
    int value() { return count * price(); }
    boolean cheaperThan(Item o) { return price() < o.price(); }
    void restock(int n) { count += n; }

    boolean take(int n) {
        if (n > count) return false;
        count -= n;
        return true;
    }

    private String unusedLabel() { return "#" + made; }

    @Override public String toString() { return name + "x" + count + "@" + price; }
}
