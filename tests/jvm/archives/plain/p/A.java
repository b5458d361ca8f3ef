package p;

public class A {
  private final int base;
  private int neverRead;

  public A(int base) {
    this.base = base;
  }

  public int value() {
    return doubled() + 1;
  }

  private int doubled() {
    return base * 2;
  }

  private void unused() {
    neverRead = 5;
  }
}
