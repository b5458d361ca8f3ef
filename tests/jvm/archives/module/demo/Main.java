package demo;

// Runs from the module path, so its module-info.class must stay valid.
public class Main {
  private final String name;
  private int neverRead;

  private Main(String name) {
    this.name = name;
  }

  private String hello() {
    return "module " + name + " in " + Main.class.getModule().getName();
  }

  public static void main(String[] args) {
    System.out.println(new Main("demo").hello());
  }
}
