// Public members whose names and descriptors match private members of Main.
public class Point {
    public int x;
    public int y;

    public Point(int px, int py) { x = px; y = py; }

    public int size() { return Math.abs(x) + Math.abs(y); }
}
