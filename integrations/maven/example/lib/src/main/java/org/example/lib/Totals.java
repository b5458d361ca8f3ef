package org.example.lib;

/** Sums with a few private helpers that nothing outside calls. */
public class Totals {
  private static final String UNUSED = "unused";
  private long sum;
  private int count;

  public void add(long value) {
    sum = checked(sum + value);
    count++;
  }

  public double mean() { return count == 0 ? 0 : (double) sum / count; }

  private static long checked(long value) {
    if (value < 0) throw new ArithmeticException("negative total");
    return value;
  }

  private static String neverCalled() { return UNUSED; }
}
