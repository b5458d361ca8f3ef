// release: 8
// forms: files tree jar
// Registry and Columns are a library that zyn never sees: Registry finds a class's singleton by the name of
// its private static field, Columns maps an object's fields to columns by their names, in name order.
public class Main {
    public static void main(String[] args) throws Exception {
        System.out.println(Columns.of(Registry.instanceOf(Product.class)));
        System.out.println(Columns.of(new Product("tea", 4)));
        Product p = new Product("", 0);
        Columns.read(p, "name=coffee,price=9");
        System.out.println(p.describe());
    }
}

class Product {
    private static final Product INSTANCE = new Product("default", 1);
    private static final int LIMIT = 5;     // a constant javac leaves behind: it may go
    private String name;
    private int price;

    Product(String name, int price) { this.name = name; this.price = Math.min(price, LIMIT * 2); }
    String describe() { return name + " at " + price; }
}
