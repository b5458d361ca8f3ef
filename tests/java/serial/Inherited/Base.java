import java.io.Serializable;

// Declares Serializable for Derived, which only inherits it.
public class Base implements Serializable {
    private static final long serialVersionUID = 7L;

    private final String owner;

    public Base(String owner) { this.owner = owner; }

    public String owner() { return owner; }
}
