// library
// Compiled apart and kept on the class path, never optimized: Car's and Dial's supertype is outside the run.
public class Engine {
    public int level;
    private int runs;

    public void go() { runs++; level += 10; }

    public int runs() { return runs; }
}
