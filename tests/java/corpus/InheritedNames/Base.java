// Members that Counter and Runner inherit and Main reaches through them.
public class Base {
    protected int count;
    private int runs;

    public void run2() { runs++; count *= 10; }

    int runs() { return runs; }
}
