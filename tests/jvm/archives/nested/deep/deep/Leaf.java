package deep;

public class Leaf {
  private final double weight;

  private Leaf(double weight) {
    this.weight = weight;
  }

  private String describe() {
    return "leaf of weight " + weight;
  }

  private static void unused() {
    System.out.println("never");
  }

  public static void main(String[] args) {
    System.out.println(new Leaf(2.5).describe());
  }
}
