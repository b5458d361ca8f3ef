package inner;

public class Greeter {
  private static int calls;
  private final String who;
  private int spare;

  private Greeter(String who) {
    this.who = who;
  }

  private String greet() {
    calls++;
    return "hello " + who + " #" + calls;
  }

  private void unused() {
    spare = 1;
  }

  public static void main(String[] args) {
    System.out.println(new Greeter("inner").greet());
    System.out.println(new Greeter("again").greet());
  }
}
