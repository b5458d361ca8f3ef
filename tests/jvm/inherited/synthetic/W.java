// A JDK superclass: Thread declares start(), and the class holds "start" as a string, the kind of name a
// renaming may take over from the constant pool.
public class W extends Thread {
  static final String WHAT = "start";

  private void h1() { System.out.println(1); }
  private void h2() { System.out.println(2); }
  private void h3() { System.out.println(3); }
  private void h4() { System.out.println(4); }
  private void h5() { System.out.println(5); }
  private void h6() { System.out.println(6); }
  private void h7() { System.out.println(7); }
  private void h8() { System.out.println(8); }
  private void h9() { System.out.println(9); }

  @Override
  public void run() {
    System.out.println(WHAT);
    h1(); h2(); h3(); h4(); h5(); h6(); h7(); h8(); h9();
  }
}
