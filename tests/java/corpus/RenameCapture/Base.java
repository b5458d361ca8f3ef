public class Base {
    public void run() { System.out.println("Base.run"); }
}
