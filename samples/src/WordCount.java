import java.util.Map;
import java.util.TreeMap;

/** Counts words in a fixed text; uses a lambda and a private counter. */
public class WordCount {
  private final Map<String, Integer> counts = new TreeMap<>();
  private int words;

  private void count(String text) {
    for (String word : text.toLowerCase().split("[^a-z]+")) {
      if (word.isEmpty()) continue;
      counts.merge(word, 1, Integer::sum);
      words++;
    }
  }

  private void report() {
    counts.forEach((word, n) -> System.out.println(word + " " + n));
    System.out.println(words + " words");
  }

  public static void main(String[] args) {
    WordCount wc = new WordCount();
    wc.count("The quick brown fox jumps over the lazy dog; the dog sleeps.");
    wc.report();
  }
}
