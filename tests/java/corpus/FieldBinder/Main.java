// release: 8
// forms: files tree
// A hand-written binder over getDeclaredFields(): it sets fields from "name=value" text by their names, writes
// them back, and stores their values in the order of their names without the names, as binary serializers
// do. Config's fields are read and written only by the binder.
import java.lang.reflect.Field;
import java.lang.reflect.Modifier;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Comparator;
import java.util.List;

public class Main {
    public static void main(String[] args) throws Exception {
        Config c = new Config();
        bind(c, "host=example.org\nport=8080\nmode=fast\nretries=3");
        System.out.println(write(c));
        System.out.println(store(c));
        Config stored = new Config();
        load(stored, "example.net|slow|9090|5");
        System.out.println(write(stored));
        System.out.println(Config.loaded());
    }

    static List<Field> fields(Class<?> c) {
        List<Field> fields = new ArrayList<>();
        for (Field f : c.getDeclaredFields())
            if (!Modifier.isStatic(f.getModifiers()) && !f.isSynthetic()) {
                f.setAccessible(true);
                fields.add(f);
            }
        fields.sort(Comparator.comparing(Field::getName));
        return fields;
    }

    static void set(Object o, Field f, String value) throws IllegalAccessException {
        if (f.getType() == int.class) f.setInt(o, Integer.parseInt(value));
        else f.set(o, value);
    }

    static void bind(Object o, String text) throws Exception {
        for (String line : text.split("\n")) {
            String[] kv = line.split("=", 2);
            Field f = o.getClass().getDeclaredField(kv[0]);
            f.setAccessible(true);
            set(o, f, kv[1]);
        }
    }

    static String write(Object o) throws IllegalAccessException {
        StringBuilder sb = new StringBuilder(o.getClass().getSimpleName());
        for (Field f : fields(o.getClass())) sb.append(' ').append(f.getName()).append('=').append(f.get(o));
        return sb.toString();
    }

    static String store(Object o) throws IllegalAccessException {
        List<String> values = new ArrayList<>();
        for (Field f : fields(o.getClass())) values.add(String.valueOf(f.get(o)));
        return String.join("|", values);
    }

    static void load(Object o, String stored) throws IllegalAccessException {
        List<String> values = Arrays.asList(stored.split("\\|"));
        List<Field> fields = fields(o.getClass());
        for (int i = 0; i < fields.size(); i++) set(o, fields.get(i), values.get(i));
    }
}

class Config {
    private static int instances;
    private String host;
    private int port;
    private String mode;
    private int retries;

    Config() { instances++; }
    static String loaded() { return instances + " configs"; }
}
