// release: 8
// forms: jar jars
// classpath: gson.jar
// Gson binds fields by their names: the JSON written must keep them, old JSON must read back, and a field that
// only Gson sets and reads (kind) must stay. Top-level and nested model classes, names like those zyn hands
// out (I, Code), a transient field Gson skips and a private static counter.
import com.google.gson.Gson;
import com.google.gson.GsonBuilder;

public class Main {
    public static void main(String[] args) {
        Gson gson = new GsonBuilder().serializeNulls().create();
        Customer ada = new Customer("Ada", 36);
        ada.address = new Customer.Address("Main Street", 7);
        System.out.println(gson.toJson(ada));
        String stored = "{\"name\":\"Grace\",\"age\":45,\"kind\":\"admiral\",\"I\":3,\"Code\":\"x1\","
                + "\"address\":{\"street\":\"Navy Road\",\"number\":12},\"cache\":\"ignored\"}";
        Customer grace = gson.fromJson(stored, Customer.class);
        System.out.println(grace.describe());
        System.out.println(gson.toJson(grace));
        System.out.println(gson.toJson(gson.fromJson("{\"x\":1,\"y\":2,\"label\":\"a\"}", Point.class)));
        System.out.println("created " + Customer.created());
    }
}

class Customer {
    private static int count;
    private String name;
    private int age;
    private String kind;            // only Gson sets and reads it
    private int I;
    private String Code;
    private transient String cache = "cached";
    Address address;

    Customer() { count++; }
    Customer(String name, int age) { this(); this.name = name; this.age = age; }

    static int created() { return count; }
    String describe() { return name + " (" + age + ") at " + address.describe() + " I=" + I + " Code=" + Code + " " + cache; }

    static class Address {
        private String street;
        private int number;
        Address() {}
        Address(String street, int number) { this.street = street; this.number = number; }
        String describe() { return number + " " + street; }
    }
}

final class Point {
    private int x, y;
    private String label;
}
