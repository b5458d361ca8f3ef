// A default method that Polite inherits.
public interface Greeter {
    default String greet() { return "hello " + name(); }

    String name();
}
