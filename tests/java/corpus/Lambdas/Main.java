// release: 8
// Java 8 lambdas and method references (invokedynamic + LambdaMetafactory): streams, comparator
// chains, captures of locals and this, references to private static/instance methods and constructors.
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Comparator;
import java.util.List;
import java.util.Map;
import java.util.TreeMap;
import java.util.function.BiFunction;
import java.util.function.Function;
import java.util.function.IntBinaryOperator;
import java.util.function.Predicate;
import java.util.function.Supplier;
import java.util.function.UnaryOperator;
import java.util.stream.Collectors;
import java.util.stream.IntStream;

public class Main {
    private final String prefix;
    private int calls;
    private static int staticCalls;

    private Main(String prefix) { this.prefix = prefix; }

    static final class Person {
        private final String name;
        private final int age;
        private final String city;
        Person(String name, int age, String city) { this.name = name; this.age = age; this.city = city; }
        private String name() { return name; }
        int age() { return age; }
        String city() { return city; }
        public String toString() { return name + "(" + age + "," + city + ")"; }
    }

    private static boolean isAdult(Person p) { staticCalls++; return p.age() >= 18; }
    private String decorate(String s) { calls++; return prefix + s; }
    private static int weight(String s) { return s.length() * 10 + s.charAt(0); }
    private static String unusedLambdaHost() { Supplier<String> s = () -> "never"; return s.get(); }

    private List<String> decorateAll(List<String> xs) {
        // Captures 'this' through the method reference and a local through the lambda.
        final String tail = "!";
        return xs.stream().map(this::decorate).map(s -> s + tail + calls).collect(Collectors.toList());
    }

    private Runnable counterTask(final int[] box, final int step) {
        return () -> { box[0] += step; calls++; };
    }

    public static void main(String[] args) {
        List<Person> people = Arrays.asList(
                new Person("ann", 31, "oslo"), new Person("bob", 17, "rome"), new Person("cid", 45, "oslo"),
                new Person("dan", 17, "lima"), new Person("eve", 28, "rome"), new Person("fay", 62, "lima"));

        List<String> adults = people.stream().filter(Main::isAdult).map(Person::name).sorted(Comparator.reverseOrder()).collect(Collectors.toList());
        System.out.println("adults " + adults + " checks " + staticCalls);

        List<Person> sorted = new ArrayList<>(people);
        sorted.sort(Comparator.comparing(Person::city).thenComparing(Person::age, Comparator.reverseOrder()).thenComparing(p -> p.name()));
        System.out.println("sorted " + sorted);

        Map<String, List<String>> byCity = people.stream().collect(Collectors.groupingBy(Person::city, TreeMap::new, Collectors.mapping(Person::name, Collectors.toList())));
        System.out.println("byCity " + byCity);
        Map<Boolean, Long> parts = people.stream().collect(Collectors.partitioningBy(p -> p.age() > 30, Collectors.counting()));
        System.out.println("parts " + parts + " avg " + people.stream().mapToInt(Person::age).average().getAsDouble());

        Main m = new Main(">");
        System.out.println("decorated " + m.decorateAll(Arrays.asList("x", "yy", "zzz")) + " calls " + m.calls);
        int[] box = { 0 };
        Runnable r = m.counterTask(box, 5);
        for (int i = 0; i < 3; i++) r.run();
        System.out.println("box " + box[0] + " calls " + m.calls);

        int base = 100;
        Function<Integer, Integer> addBase = x -> x + base;
        Function<Integer, Integer> twice = addBase.andThen(x -> x * 2).compose(x -> x - 1);
        UnaryOperator<String> up = String::toUpperCase;
        BiFunction<String, Integer, String> rep = (s, n) -> { StringBuilder sb = new StringBuilder(); for (int i = 0; i < n; i++) sb.append(s); return sb.toString(); };
        Supplier<Main> ctor = () -> new Main("#");
        Function<String, Main> ctorRef = Main::new;
        Predicate<String> longWord = s -> s.length() > 3;
        IntBinaryOperator gcd = new IntBinaryOperator() {
            public int applyAsInt(int a, int b) { return b == 0 ? a : applyAsInt(b, a % b); }
        };
        System.out.println("fn " + twice.apply(5) + " " + up.apply("abc") + " " + rep.apply("ab", 3) + " " + ctor.get().decorate("c") + " " + ctorRef.apply("@").decorate("d"));
        System.out.println("pred " + longWord.negate().test("abcd") + " " + longWord.and(s -> s.startsWith("a")).test("abcd") + " gcd " + gcd.applyAsInt(84, 36));

        List<String> words = Arrays.asList("delta", "al", "charlie", "bo", "echo", "b");
        System.out.println("weights " + words.stream().sorted(Comparator.comparingInt(Main::weight)).collect(Collectors.joining(",")));
        System.out.println("range " + IntStream.rangeClosed(1, 10).filter(i -> i % 3 != 0).map(i -> i * i).boxed().collect(Collectors.toList())
                + " sum " + IntStream.range(0, 100).reduce(0, Integer::sum) + " max " + words.stream().max(Comparator.comparing(String::length)).get());
        List<Supplier<String>> suppliers = new ArrayList<>();
        for (int i = 0; i < 3; i++) {
            final int k = i;
            suppliers.add(() -> "s" + k + base);
        }
        StringBuilder sb = new StringBuilder();
        suppliers.forEach(s -> sb.append(s.get()).append(' '));
        System.out.println("suppliers " + sb.toString().trim());
        Map<String, Integer> counts = new TreeMap<>();
        for (String w : "a b a c b a".split(" ")) counts.merge(w, 1, Integer::sum);
        counts.computeIfAbsent("d", k -> k.length() * 7);
        counts.replaceAll((k, v) -> v * 10);
        System.out.println("counts " + counts);
    }
}
