/** Converts a table of temperatures; private static helpers and constants. */
public class Temperature {
  private static final double FREEZING = 32.0;
  private static final double RATIO = 1.8;

  private static double toFahrenheit(double celsius) {
    return celsius * RATIO + FREEZING;
  }

  private static String classify(double celsius) {
    if (celsius < 0) return "frost";
    if (celsius < 15) return "cool";
    if (celsius < 25) return "mild";
    return "warm";
  }

  private static String unusedFormat(double value) {
    return String.format("%.3f", value);
  }

  public static void main(String[] args) {
    double[] readings = {-5.0, 0.0, 12.5, 21.0, 30.5};
    for (double celsius : readings) {
      System.out.println(celsius + " C = " + toFahrenheit(celsius) + " F (" + classify(celsius) + ")");
    }
  }
}
