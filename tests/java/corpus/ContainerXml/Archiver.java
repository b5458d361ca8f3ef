package plugin;

// Configured only through components.xml, like Compiler.
public class Archiver {
    private String format = "tar";
    private int compressionLevel;

    @Override
    public String toString() { return "Archiver " + format + " level " + compressionLevel; }
}
