// release: 8
// Class hierarchy where superclass and subclass declare private members with identical names and
// descriptors; a private method must never be mistaken for an override.
public class Main {
    public static void main(String[] args) {
        Animal[] zoo = { new Animal("generic"), new Dog("rex"), new Puppy("bit"), new Cat("tom") };
        for (Animal a : zoo) {
            System.out.println(a.describe() + " | " + a.speak() + " | legs=" + a.legs());
        }
        Dog d = new Dog("max");
        System.out.println(d.secretPair());
        Puppy p = new Puppy("tiny");
        System.out.println(p.secretPair() + " " + p.chain());
        Named n = new Cat("felix");
        System.out.println(n.name() + " " + Named.PREFIX + " " + ((Cat) n).livesPublic() + " " + ((Cat) n).lives(2));
        Shape[] shapes = { new Square(3), new Circle(2), new Square(1) };
        int totalArea = 0;
        for (Shape s : shapes) {
            System.out.println(s.kind() + " area=" + s.area() + " " + s.render());
            totalArea += s.area();
        }
        System.out.println("total " + totalArea + " squares " + Square.made());
        Object o = d;
        System.out.println("instanceof " + (o instanceof Named) + " " + (o instanceof Puppy) + " " + (o instanceof Animal));
    }
}

interface Named {
    String PREFIX = "named:";
    String name();
}

class Animal implements Named {
    private String id;          // subclasses declare their own private 'id' too
    private int legs = 4;
    private static int made;

    Animal(String id) { this.id = id; made++; }

    private String secret() { return "animal-secret-" + id; }
    private static String tagged(String s) { return "<" + s + ">"; }

    public String name() { return PREFIX + id; }
    String describe() { return tagged(getClass().getName() + ":" + id) + " " + secret() + " made=" + made; }
    String speak() { return "..."; }
    int legs() { return legs; }
    String baseSecret() { return secret(); }
}

class Dog extends Animal {
    private String id;
    private int legs = 3;   // shadows nothing: Animal.legs is private
    Dog(String id) { super(id.toUpperCase()); this.id = id; }
    private String secret() { return "dog-secret-" + id; }
    private static String tagged(String s) { return "[" + s + "]"; }
    String speak() { return tagged("woof " + id); }
    String secretPair() { return secret() + " / " + baseSecret() + " / dogLegs=" + legs + " / legs()=" + legs(); }
}

class Puppy extends Dog {
    private String id;
    Puppy(String id) { super("pup-" + id); this.id = id; }
    private String secret() { return "puppy-secret-" + id; }
    String speak() { return super.speak() + "+yip"; }
    String chain() { return secret() + "," + secretPair(); }
    int legs() { return super.legs() + 0; }
}

class Cat extends Animal {
    private int lives = 9;
    private String id;
    Cat(String id) { super(id); this.id = id + "!"; }
    private int lives() { return lives; }
    String speak() { lives--; return "meow " + id + " lives=" + lives(); }
    @Override public String name() { return super.name() + "/cat"; }
    int livesPublic() { return lives(); }
    // Package-private overload calling the private one.
    int lives(int x) { return lives() + x; }
}

abstract class Shape {
    private final String kind;
    protected Shape(String kind) { this.kind = kind; }
    abstract int area();
    String kind() { return kind; }
    String render() { return frame(kind.substring(0, 1)); }
    private String frame(String s) { return "(" + s + ")"; }
}

class Square extends Shape {
    private final int side;
    private static int made;
    Square(int side) { super("square"); this.side = side; made++; }
    int area() { return side * side; }
    static int made() { return made; }
    private String frame(String s) { return "{{" + s + "}}"; }   // unused; not an override
}

class Circle extends Shape {
    private final int r;
    Circle(int r) { super("circle"); this.r = r; }
    int area() { return 3 * r * r; }
    String render() { return super.render() + "~"; }
}
