// A small Scala program whose compilation reads the library's pickled signatures (case classes, implicits,
// collection builders) and, with the optimizer on, its inline information and bytecode.
package shapes {

  trait Named {
    def name: String
    // A concrete trait method: compiled into the trait's implementation class.
    def describe: String = s"$name with area ${Shapes.fmt(area)}"
    def area: Double
    @inline final def label: String = "<" + name + ">"
  }

  sealed abstract class Shape extends Named

  case class Circle(r: Double) extends Shape {
    def name = "circle"
    def area = math.Pi * r * r
  }

  case class Rect(w: Double, h: Double) extends Shape {
    def name = if (w == h) "square" else "rect"
    def area = w * h
  }

  case class Point(x: Int, y: Int) {
    def +(o: Point) = Point(x + o.x, y + o.y)
  }

  object Point {
    val origin = Point(0, 0)
    def parse(s: String): Option[Point] = s.split(",").map(_.trim) match {
      case Array(a, b) if a.nonEmpty && b.nonEmpty && (a + b).forall(c => c.isDigit || c == '-') =>
        Some(Point(a.toInt, b.toInt))
      case _ => None
    }
  }

  object Shapes {
    def fmt(d: Double): String = f"$d%.3f"

    implicit class PointOps(val p: Point) extends AnyVal {
      def norm1: Int = math.abs(p.x) + math.abs(p.y)
      def scaled(k: Int): Point = Point(p.x * k, p.y * k)
    }

    implicit class ShapeList(val shapes: List[Shape]) {
      def totalArea: Double = shapes.map(_.area).sum
    }

    def classify(s: Shape): String = s match {
      case Circle(r) if r > 2 => "big circle"
      case Circle(_)          => "small circle"
      case Rect(w, h) if w == h => s"square side $w"
      case r: Rect            => s"rect ${r.w}x${r.h}"
    }
  }
}

object Main {
  import shapes._
  import shapes.Shapes._

  def main(args: Array[String]): Unit = {
    val shapes: List[Shape] = List(Circle(1.0), Rect(2, 3), Circle(2.5), Rect(4, 4))
    shapes.foreach(s => println(s"${s.label} ${s.describe}: ${classify(s)}"))
    println("total area " + fmt(shapes.totalArea))

    val sums = (1 to 30).toList.map(i => i * i).filter(_ % 3 != 0).foldLeft((0, 0L)) {
      case ((count, sum), v) => (count + 1, sum + v)
    }
    println(s"squares not divisible by 3: $sums")

    val points = List("1,2", "-3, 4", "x,5", "7,-8", "").map(Point.parse)
    println(points)
    val found = points.flatten
    val sum = found.foldLeft(Point.origin)(_ + _)
    println(s"sum $sum norm1 ${sum.norm1} scaled ${sum.scaled(3)}")
    println(found.groupBy(_.norm1 % 2 == 0).toList.sortBy(_._1).map { case (k, v) => s"$k -> ${v.mkString(";")}" })

    // Option's map and getOrElse are @inline in the library: the optimizer inlines them from its bytecode.
    val first = found.headOption.map(_.x).getOrElse(-1)
    val none = Option.empty[Point].map(_.y).getOrElse(-1)
    println(s"first x $first, none $none")

    val byName = shapes.collect { case c: Circle => c.r }.zipWithIndex.toMap
    println(byName.toList.sorted.mkString(", "))
    val words = "the quick brown fox jumps over the lazy dog the end".split(' ').toSeq
    val freq = words.groupBy(identity).mapValues(_.size).toList.sortBy { case (w, n) => (-n, w) }.take(3)
    println(freq)
    println(Stream.iterate(1L)(_ * 3).takeWhile(_ < 1000).mkString(" "))
    println(Vector.tabulate(5)(i => ('a' + i).toChar).reverse.mkString)
    println(shapes.sortBy(_.area).map(_.name).distinct)
    println(Point(1, 2) == Point(1, 2), Point(1, 2).copy(y = 5), Point.unapply(Point(3, 4)))
  }
}
