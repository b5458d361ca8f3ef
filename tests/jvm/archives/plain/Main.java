// A small program for the damaged and skipped archives.
public class Main {
  public static void main(String[] args) {
    System.out.println(new p.A(3).value());
    System.out.println(p.B.text("plain"));
  }
}
