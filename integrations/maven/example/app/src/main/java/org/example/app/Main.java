package org.example.app;

import com.google.gson.Gson;
import org.example.lib.Totals;

public class Main {
  /** Bound by Gson through its field names. */
  static final class Order {
    private String item;
    private int quantity;
    private transient String note = "not serialized";

    Order(String item, int quantity) {
      this.item = item;
      this.quantity = quantity;
    }
  }

  private final Totals totals = new Totals();

  private String describe() { return "mean " + totals.mean(); }

  private void unused() {}

  public static void main(String[] args) throws Exception {
    Main m = new Main();
    Gson gson = new Gson();
    for (int i = 1; i <= 3; i++) m.totals.add(i * 10);
    String json = gson.toJson(new Order("book", 3));
    Order back = gson.fromJson(json, Order.class);
    System.out.println(json + " " + back.item + " " + back.quantity);
    System.out.println(Main.class.getDeclaredMethod(args.length > 0 ? args[0] : "desc" + "ribe").invoke(m));
  }
}
