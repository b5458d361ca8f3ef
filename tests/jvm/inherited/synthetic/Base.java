// A superclass of the run whose non-private members have the short names a renaming hands out first.
public class Base implements Mixin {
  public int A;
  protected long B;
  public void A() {}
  protected void B() {}
  void C() {}
}
