// release: 8
// A program spread over several source files: package-private calls between top-level classes,
// each class with private members that reuse the same names as the others'.
public class Main {
    private static int total;
    private String name = "main";

    private static void add(int v) { total += v; }
    private String name() { return name + "#" + total; }

    public static void main(String[] args) {
        Inventory inv = new Inventory("shop");
        inv.stock(new Item("apple", 3, 25));
        inv.stock(new Item("pear", 0, 40));
        inv.stock(new Item("plum", 12, 7));
        inv.stock(new Item("apple", 2, 25));
        System.out.println(inv.report());
        System.out.println("value " + inv.value() + " cheapest " + inv.cheapest());
        System.out.println("sold " + inv.sell("apple", 4) + " " + inv.sell("pear", 1) + " " + inv.sell("kiwi", 1));
        System.out.println(inv.report());
        for (Item it : inv.items()) add(it.count());
        Main m = new Main();
        System.out.println(m.name() + " " + Util.name() + " " + Util.checksum(inv.report()));
        System.out.println(Util.table(new String[] { "a", "bb", "ccc" }, new int[] { 1, 22, 333 }));
    }
}
