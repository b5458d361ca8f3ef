// Private members that each serve one reference, so they are renamed once the class's reusable names run
// out; the names of its supertypes' members must stay out of reach.
public class Sub extends Base {
  private int count;
  private int other;
  private int more;
  private int most;
  private int last;
  private int least;
  private long total;

  private void first() { count++; }
  private void second() { total += other + more; }
  private void third() { most = D + last + least; }
  private void fourth() { System.out.println("fourth"); }

  public void all() {
    first(); second(); third(); fourth();
  }
}
