import java.util.ArrayList;
import java.util.List;

/** A small stock list: private helpers, an unused private method, a nested class. */
public class Inventory {
  private final List<Item> items = new ArrayList<>();
  private int totalQuantity;
  private String unusedLabel = "never read";

  static final class Item {
    private final String name;
    private final int quantity;

    Item(String name, int quantity) {
      this.name = name;
      this.quantity = quantity;
    }
  }

  private void addItem(String name, int quantity) {
    items.add(new Item(name, quantity));
    totalQuantity += quantity;
  }

  private String describeItem(Item item) {
    return item.name + " x" + item.quantity;
  }

  private void neverCalled() {
    System.out.println(unusedLabel);
  }

  public static void main(String[] args) {
    Inventory inventory = new Inventory();
    inventory.addItem("bolts", 120);
    inventory.addItem("nuts", 80);
    inventory.addItem("washers", 45);
    for (Item item : inventory.items) {
      System.out.println(inventory.describeItem(item));
    }
    System.out.println("total " + inventory.totalQuantity);
  }
}
