// release: 21
// Pattern matching for switch: type patterns with guards, record deconstruction patterns (nested),
// sealed hierarchies checked for exhaustiveness, generic records, null cases, qualified enum
// constants mixed with type patterns (their labels become dynamic constants).
import java.util.ArrayList;
import java.util.List;

public class Main {
    sealed interface Expr permits Const, Add, Mul, Neg, Var {}
    record Const(int value) implements Expr {}
    record Add(Expr left, Expr right) implements Expr {}
    record Mul(Expr left, Expr right) implements Expr {}
    record Neg(Expr inner) implements Expr {}
    record Var(String name) implements Expr {}

    record Box<T>(T content) {
        private static int boxes;
        Box { boxes++; }
        <R> Box<R> map(java.util.function.Function<T, R> f) { return new Box<>(f.apply(content)); }
    }

    record Pair<A, B>(A first, B second) {}

    enum Suit { HEARTS, SPADES, CLUBS, DIAMONDS }
    sealed interface Card permits Numbered, Face {}
    record Numbered(Suit suit, int rank) implements Card {}
    record Face(Suit suit, char letter) implements Card {}

    private static int evaluations;

    private static int eval(Expr e, int x) {
        evaluations++;
        return switch (e) {
            case Const(var v) -> v;
            case Var(String n) when n.equals("x") -> x;
            case Var v -> 0;
            case Add(Const(int a), Const(int b)) -> a + b;
            case Add(var l, var r) -> eval(l, x) + eval(r, x);
            case Mul(Const(int z), var ignored) when z == 0 -> 0;
            case Mul(var l, var r) -> eval(l, x) * eval(r, x);
            case Neg(Neg(var inner)) -> eval(inner, x);
            case Neg(var inner) -> -eval(inner, x);
        };
    }

    private static String show(Expr e) {
        return switch (e) {
            case Const c when c.value() < 0 -> "(" + c.value() + ")";
            case Const c -> String.valueOf(c.value());
            case Var(var n) -> n;
            case Add a -> "(" + show(a.left()) + " + " + show(a.right()) + ")";
            case Mul(var l, var r) -> show(l) + "*" + show(r);
            case Neg(var i) -> "-" + show(i);
        };
    }

    private static String classify(Object o) {
        return switch (o) {
            case null -> "null!";
            case Integer i when i > 100 -> "big int " + i;
            case Integer i -> "int " + i;
            case Long l -> "long " + l;
            case String s when s.isEmpty() -> "empty string";
            case String s -> "string " + s.length();
            case Box(String s) -> "box of string " + s;
            case Box(Integer i) when i % 2 == 0 -> "box of even " + i;
            case Box<?> b -> "box of " + b.content();
            case Pair(Integer a, Integer b) -> "int pair sum " + (a + b);
            case Pair(var a, Pair(var b, var c)) -> "nested pair " + a + "," + b + "," + c;
            case Pair<?, ?> p -> "pair " + p;
            case int[] arr -> "int array " + arr.length;
            case Suit.HEARTS -> "hearts constant";
            case Suit s -> "suit " + s.ordinal();
            default -> "other " + o.getClass().getSimpleName();
        };
    }

    private static String card(Card c) {
        return switch (c) {
            case Numbered(Suit s, int r) when r == 1 -> "ace of " + s;
            case Numbered(var s, var r) when s == Suit.HEARTS || s == Suit.DIAMONDS -> "red " + r;
            case Numbered n -> "black " + n.rank();
            case Face(var s, var l) -> l + " of " + s.name().toLowerCase();
        };
    }

    private static String suitColor(Suit s) {
        return switch (s) {
            case HEARTS, DIAMONDS -> "red";
            case SPADES, CLUBS -> "black";
        };
    }

    public static void main(String[] args) {
        Expr e = new Add(new Mul(new Const(3), new Var("x")), new Neg(new Neg(new Const(-4))));
        Expr zero = new Mul(new Const(0), new Var("y"));
        Expr folded = new Add(new Const(2), new Const(5));
        for (int x = -1; x <= 2; x++) System.out.println(show(e) + " @x=" + x + " = " + eval(e, x));
        System.out.println(show(zero) + " = " + eval(zero, 9) + ", " + show(folded) + " = " + eval(folded, 0) + ", y=" + eval(new Var("y"), 3));
        System.out.println("evaluations " + evaluations);
        List<Object> things = new ArrayList<>();
        things.add(null);
        things.add(7);
        things.add(700);
        things.add(5L);
        things.add("");
        things.add("hello");
        things.add(new Box<>("s"));
        things.add(new Box<>(4));
        things.add(new Box<>(5));
        things.add(new Pair<>(1, 2));
        things.add(new Pair<>("a", new Pair<>('b', 3.5)));
        things.add(new Pair<>("a", "b"));
        things.add(new int[3]);
        things.add(Suit.CLUBS);
        things.add(Suit.HEARTS);
        things.add(1.5);
        for (Object o : things) System.out.println(classify(o));
        Box<Integer> b = new Box<>(20);
        Box<String> mapped = b.map(i -> "#" + (i * 2));
        System.out.println(mapped + " " + mapped.equals(new Box<>("#40")) + " boxes " + Box.boxes);
        Card[] cards = { new Numbered(Suit.SPADES, 1), new Numbered(Suit.HEARTS, 7), new Numbered(Suit.CLUBS, 9), new Face(Suit.DIAMONDS, 'Q') };
        for (Card c : cards) System.out.println(card(c) + " / " + suitColor(c instanceof Numbered n ? n.suit() : ((Face) c).suit()));
    }
}
