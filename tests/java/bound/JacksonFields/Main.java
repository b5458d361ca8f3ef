// release: 8
// forms: jar jars
// classpath: jackson-databind.jar jackson-core.jar jackson-annotations.jar
// Jackson on fields: a mapper that sees private fields, and a class whose annotation declares field
// visibility and whose only constructor, private, nothing but Jackson calls. Unknown names fail a read
// (FAIL_ON_UNKNOWN_PROPERTIES), so the old JSON checks the names.
import com.fasterxml.jackson.annotation.JsonAutoDetect;
import com.fasterxml.jackson.annotation.JsonAutoDetect.Visibility;
import com.fasterxml.jackson.annotation.PropertyAccessor;
import com.fasterxml.jackson.databind.ObjectMapper;
import com.fasterxml.jackson.databind.SerializationFeature;

public class Main {
    public static void main(String[] args) throws Exception {
        ObjectMapper fields = new ObjectMapper().configure(SerializationFeature.ORDER_MAP_ENTRIES_BY_KEYS, true);
        fields.setVisibility(PropertyAccessor.ALL, Visibility.NONE);
        fields.setVisibility(PropertyAccessor.FIELD, Visibility.ANY);
        Order o = fields.readValue("{\"id\":42,\"kind\":\"express\",\"lines\":[{\"sku\":\"A-1\",\"qty\":2}]}", Order.class);
        System.out.println(o.summary());
        System.out.println(fields.writeValueAsString(o));
        ObjectMapper plain = new ObjectMapper();
        Setting s = plain.readValue("{\"key\":\"colour\",\"value\":\"blue\"}", Setting.class);
        System.out.println(plain.writeValueAsString(s) + " " + s);
    }
}

class Order {
    private long id;
    private String kind;             // only Jackson sets and reads it
    private Line[] lines;

    String summary() { return "order " + id + " with " + lines.length + " line(s), first " + lines[0].sku; }

    static class Line {
        private String sku;
        private int qty;
    }
}

@JsonAutoDetect(fieldVisibility = Visibility.ANY, getterVisibility = Visibility.NONE)
class Setting {
    private String key;
    private String value;
    private String scope;

    private Setting() { scope = "user"; }   // only Jackson calls it

    @Override
    public String toString() { return key + "=" + value + " (" + scope + ")"; }
}
