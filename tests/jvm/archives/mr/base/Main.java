// Entry point of the multi-release jar: the same on every release, only mr.Impl differs.
public class Main {
  public static void main(String[] args) {
    System.out.println(new mr.Impl(4).describe());
    System.out.println(new mr.Impl(7).describe());
  }
}
