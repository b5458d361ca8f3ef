package plugin;

import java.util.ArrayList;
import java.util.List;

// Configured only through components.xml: no class spells these field names. runs is not configured and
// may be renamed; describe is never called and goes.
public class Compiler {
    private int sourceLevel = 5;
    private int maxErrors = 100;
    private boolean verbose;
    private List<String> defaultPhases = new ArrayList<String>();
    private int runs;

    private String describe() { return "unused"; }

    @Override
    public String toString() {
        runs++;
        return "Compiler level " + sourceLevel + ", at most " + maxErrors + " errors, " + (verbose ? "loud" : "quiet")
                + ", phases " + defaultPhases + ", shown " + runs + "x";
    }
}
