// release: 8
// Serializable lambdas and method references, written to bytes and read back in the same run. Reading one
// back calls its capturing class's private static $deserializeLambda$ by name; no code of the class calls
// it. Main and Ranker are both top-level classes, so neither has nest attributes at any release.
import java.io.ByteArrayInputStream;
import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.ObjectInputStream;
import java.io.ObjectOutputStream;
import java.io.Serializable;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.Comparator;
import java.util.List;
import java.util.function.Function;
import java.util.function.IntBinaryOperator;
import java.util.function.Supplier;

interface SerialFunction<T, R> extends Function<T, R>, Serializable {}

// A second capturing class: its lambdas capture this and refer to a private method.
class Ranker implements Serializable {
    private static final long serialVersionUID = 1L;
    private final int bonus;

    Ranker(int bonus) { this.bonus = bonus; }

    private int score(String s) { return s.length() * 10 + bonus + (s.charAt(0) == 'k' ? 25 : 0); }

    Comparator<String> byScore() {
        return (Comparator<String> & Serializable) (a, b) -> Integer.compare(score(a), score(b));
    }

    SerialFunction<String, Integer> scorer() { return this::score; }
}

public class Main {
    private static int counter;

    private static byte[] freeze(Object o) throws IOException {
        ByteArrayOutputStream bytes = new ByteArrayOutputStream();
        ObjectOutputStream out = new ObjectOutputStream(bytes);
        out.writeObject(o);
        out.close();
        return bytes.toByteArray();
    }

    private static Object thaw(byte[] data) throws IOException, ClassNotFoundException {
        ObjectInputStream in = new ObjectInputStream(new ByteArrayInputStream(data));
        try {
            return in.readObject();
        } finally {
            in.close();
        }
    }

    @SuppressWarnings("unchecked")
    private static <T> T roundTrip(T o) throws IOException, ClassNotFoundException {
        return (T) thaw(freeze(o));
    }

    public static void main(String[] args) throws Exception {
        // Not constants, so the lambda captures them.
        String greeting = args.length > 0 ? args[0] : "hello";
        int times = greeting.length() - 2;
        Runnable r = (Runnable & Serializable) () -> {
            counter += times;
            System.out.println(greeting + " x" + times + " counter=" + counter);
        };
        Runnable r2 = roundTrip(r);
        r.run();
        r2.run();
        System.out.println("runnable copy is another object " + (r != r2));

        int offset = times + 4;
        Comparator<Integer> byDistance = (Comparator<Integer> & Serializable)
                (a, b) -> Integer.compare(Math.abs(a - offset), Math.abs(b - offset));
        List<Integer> numbers = new ArrayList<Integer>(Arrays.asList(1, 12, 7, 3, 9, 20, 6));
        Collections.sort(numbers, roundTrip(byDistance));
        System.out.println("by distance to " + offset + ": " + numbers);

        SerialFunction<String, Integer> length = String::length;
        SerialFunction<String, String> upper = String::toUpperCase;
        System.out.println("length " + roundTrip(length).apply("serializable") + " upper "
                + roundTrip(upper).apply("lambda"));

        IntBinaryOperator plain = (IntBinaryOperator & Serializable) (a, b) -> a * 31 + b;
        System.out.println("non-capturing " + roundTrip(plain).applyAsInt(4, 5));

        Supplier<List<String>> maker = (Supplier<List<String>> & Serializable) ArrayList::new;
        List<String> made = roundTrip(maker).get();
        made.add("x");
        System.out.println("constructor reference " + made);

        Ranker ranker = new Ranker(4);
        List<String> words = new ArrayList<String>(Arrays.asList("pear", "kiwi", "fig", "banana", "apple"));
        Collections.sort(words, roundTrip(ranker.byScore()));
        System.out.println("ranked " + words + " score(kiwi)=" + roundTrip(ranker.scorer()).apply("kiwi"));

        // A capturing lambda read back twice makes two objects that both work.
        byte[] frozen = freeze(r);
        Runnable a = (Runnable) thaw(frozen);
        Runnable b = (Runnable) thaw(frozen);
        a.run();
        b.run();
        System.out.println("copies distinct " + (a != b) + " counter " + counter);
    }
}
