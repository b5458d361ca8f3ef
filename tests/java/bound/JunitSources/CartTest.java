import static org.junit.jupiter.api.Assertions.assertEquals;

import java.util.stream.IntStream;
import java.util.stream.Stream;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.condition.DisabledIf;
import org.junit.jupiter.api.condition.EnabledIf;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;

public class CartTest {
    private static Stream<Arguments> discounts() {
        return Stream.of(Arguments.of(100, 10, 90), Arguments.of(50, 0, 50), Arguments.of(7, 7, 0));
    }

    private static IntStream sizes() { return IntStream.of(1, 2, 3); }

    private static boolean cartIsEmpty() { return true; }

    private static boolean cartIsFull() { return false; }

    @ParameterizedTest(name = "{0} less {1} is {2}")
    @MethodSource("discounts")
    void discount(int price, int off, int expected) { assertEquals(expected, price - off); }

    @ParameterizedTest(name = "size {0}")
    @MethodSource("CartTest#sizes")
    void size(int n) { assertEquals(n, Math.abs(n)); }

    @Test
    @EnabledIf("cartIsEmpty")
    void emptyCart() {}

    @Test
    @DisabledIf("cartIsFull")
    void roomLeft() {}
}
