// release: 8
// Lambdas and method references written inside interface default and static methods; they compile
// to private synthetic methods of the interface itself.
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.function.Function;
import java.util.function.IntPredicate;
import java.util.function.Supplier;
import java.util.stream.Collectors;

public class Main {
    interface Pipeline<T> {
        List<T> items();

        default <R> List<R> mapAll(Function<? super T, ? extends R> f) {
            return items().stream().map(x -> f.apply(x)).collect(Collectors.toList());
        }

        default String render() {
            String sep = separator();
            return items().stream().map(String::valueOf).map(s -> "<" + s + ">").collect(Collectors.joining(sep));
        }

        default String separator() { return ","; }

        default Supplier<Integer> sizeLater() { return () -> items().size(); }

        static <T> Pipeline<T> of(List<T> xs) { return () -> xs; }

        static Pipeline<Integer> range(int from, int to) {
            List<Integer> xs = new ArrayList<>();
            for (int i = from; i < to; i++) xs.add(i);
            return () -> xs;
        }
    }

    interface Checker {
        boolean check(int x);

        default Checker and(Checker other) { return x -> check(x) && other.check(x); }
        default Checker not() { return x -> !check(x); }
        default long count(int from, int to) { return java.util.stream.IntStream.range(from, to).filter(this::check).count(); }

        static Checker divisibleBy(int k) { return x -> x % k == 0; }
        static Checker from(IntPredicate p) { return p::test; }
        static Checker prime() { return Checker::isPrime; }
        static boolean isPrime(int n) {
            if (n < 2) return false;
            for (int d = 2; d * d <= n; d++) if (n % d == 0) return false;
            return true;
        }
    }

    static class Words implements Pipeline<String> {
        private final List<String> words;
        private int rendered;
        Words(String... ws) { words = Arrays.asList(ws); }
        public List<String> items() { return words; }
        @Override public String separator() { rendered++; return " | "; }
        private int renderedCount() { return rendered; }
    }

    public static void main(String[] args) {
        Pipeline<Integer> r = Pipeline.range(1, 6);
        System.out.println(r.render() + " squares " + r.mapAll(x -> x * x) + " size " + r.sizeLater().get());
        Words w = new Words("alpha", "beta", "gamma");
        System.out.println(w.render() + " lens " + w.mapAll(String::length) + " rendered " + w.renderedCount());
        Pipeline<Character> chars = Pipeline.of(Arrays.asList('x', 'y'));
        System.out.println(chars.render() + " codes " + chars.mapAll(c -> (int) c));

        Checker even = Checker.divisibleBy(2);
        Checker prime = Checker.prime();
        Checker big = Checker.from(x -> x > 50);
        System.out.println("even " + even.count(0, 100) + " prime " + prime.count(0, 100) + " oddPrimeBig " + prime.and(even.not()).and(big).count(0, 100));
        StringBuilder sb = new StringBuilder();
        for (int i = 0; i < 30; i++) if (prime.and(Checker.divisibleBy(3).not()).check(i)) sb.append(i).append(' ');
        System.out.println("primes " + sb.toString().trim());
    }
}
