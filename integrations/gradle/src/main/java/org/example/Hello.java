package org.example;

public class Hello {
  private static final String UNUSED = "never read";
  private int count;

  private static String greet(String name) { return "hello, " + name; }

  private void neverCalled() {}

  public static void main(String[] args) {
    System.out.println(greet(args.length > 0 ? args[0] : "gradle"));
  }
}
