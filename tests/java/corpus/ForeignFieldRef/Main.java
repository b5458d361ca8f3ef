// release: 8
// Main uses Point's public field x and method size() (references Point.x:I and Point.size:()I), and also
// declares its own private x:I and size()I that Main never uses. Main's pool shares one NameAndType for
// both, so only references through Main count for Main's members: renaming them must not re-point p.x.
public class Main {
    private int x;
    private int size() { return 0; }

    public static void main(String[] args) {
        Point p = new Point(3, -4);
        p.x += 10;
        System.out.println("p.x = " + p.x + ", p.y = " + p.y + ", size = " + p.size());
    }
}
