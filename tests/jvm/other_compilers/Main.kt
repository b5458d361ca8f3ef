// A small Kotlin program whose compilation reads the bodies of the standard library's inline functions from
// its class files: inline-only functions and properties (private in the class file), reified functions and a
// suspending one (private too), the package-private $default bridges of inline functions with default values,
// and the anonymous classes inline functions create (sortedBy's Comparator), which kotlinc copies.
import java.io.StringReader
import java.math.BigInteger
import kotlin.math.absoluteValue
import kotlin.math.sign

data class Item(val name: String, val price: Int, val tags: List<String>)

fun parity(n: Int): String = if (n < 0) TODO("negative numbers") else if (n % 2 == 0) "even" else "odd"

// Compiled, not run: the old coroutines' suspendCoroutine is private in its class file, and unmarked.
@Suppress("DEPRECATION")
suspend fun oldAnswer(): Int = kotlin.coroutines.experimental.suspendCoroutine { c -> c.resume(7) }

fun main() {
    val items = listOf(Item("apple", 3, listOf("fruit", "red")), Item("pear", 4, listOf("fruit")),
                       Item("kale", 7, listOf("green")), Item("plum", 2, listOf("fruit", "blue")))
    repeat(2) { println("round $it") }
    require(items.isNotEmpty()) { "no items" }
    check(items.size == 4)
    println(items.filter { "fruit" in it.tags }.map { it.name.toUpperCase() } to items.sumBy { it.price })
    println(items.sortedBy { it.price }.joinToString { it.name })
    println(items.groupBy { it.tags.size }.mapValues { (_, v) -> v.map(Item::name) })
    println(items.maxBy { it.price }?.name to items.fold(0) { acc, item -> acc + item.name.length })
    println(items.firstOrNull { it.price > 5 }?.let { "expensive ${it.name}" })
    val cart = mutableListOf<String>().apply { add("apple"); add("kale") }.also { println("cart ${it.size}") }
    println(with(cart) { joinToString("+") } + cart.run { size * 10 })
    println(5.takeIf { it > 3 } to 5.takeUnless { it > 3 })
    println(buildString { repeat(2) { append('b') } })
    val cache = mutableMapOf<String, Int>()
    println(cache.getOrPut("x") { 42 } + cache.getOrElse("y") { -1 })
    println(listOf(1, "two", 3.0, "four").filterIsInstance<String>() + arrayOf<Any>("a").isArrayOf<String>())
    println((-2.5).absoluteValue + (-3).absoluteValue + (-7.0).sign)
    println("12".toInt() + "30".toLong())
    println(("sequence" as CharSequence).substring(3) + BigInteger.valueOf(1234).toBigDecimal(2))
    println(StringReader("first\nsecond").useLines { lines -> lines.map { it.length }.toList() })
    println(synchronized(items) { items.size })
    println("a,b,,c".split(",").mapNotNull { it.ifEmpty { null } })
    println(parity(7) + " " + parity(4))
    println(runCatching { parity(-1) }.exceptionOrNull()?.message)
    println(runCatching { error("stop") }.exceptionOrNull()?.message)
}
