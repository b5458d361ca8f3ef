// library
import java.lang.reflect.Field;
import java.lang.reflect.Modifier;
import java.util.Map;
import java.util.TreeMap;

public class Columns {
    static Map<String, Field> fields(Class<?> c) {
        Map<String, Field> fields = new TreeMap<>();
        for (Field f : c.getDeclaredFields())
            if (!Modifier.isStatic(f.getModifiers())) {
                f.setAccessible(true);
                fields.put(f.getName(), f);
            }
        return fields;
    }

    public static String of(Object o) throws IllegalAccessException {
        StringBuilder sb = new StringBuilder();
        for (Map.Entry<String, Field> e : fields(o.getClass()).entrySet())
            sb.append(sb.length() == 0 ? "" : ", ").append(e.getKey()).append('=').append(e.getValue().get(o));
        return sb.toString();
    }

    public static void read(Object o, String row) throws IllegalAccessException {
        Map<String, Field> fields = fields(o.getClass());
        for (String cell : row.split(",")) {
            String[] kv = cell.split("=", 2);
            Field f = fields.get(kv[0]);
            if (f.getType() == int.class) f.setInt(o, Integer.parseInt(kv[1]));
            else f.set(o, kv[1]);
        }
    }
}
