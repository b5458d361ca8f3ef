// release: 8
// A tiny dependency injector finds private members by their runtime annotation, not by name: it sets
// annotated fields (one of them never touched by the code) and calls annotated methods (never called by
// the code), reporting each member by name. Annotated private members are neither removed nor renamed.
import java.lang.reflect.Field;
import java.lang.reflect.Method;
import java.util.ArrayList;
import java.util.Collections;
import java.util.List;

public class Main {
    @Inject("host")
    private String endpoint;             // read by the code below, written only by the injector

    @Inject("port")
    private int listenPort;              // never used by the code at all

    private int calls;

    @Inject("ready")
    private void onReady(String setting) { calls++; }

    private static String lookup(String key) {
        if (key.equals("host")) return "example.org";
        if (key.equals("port")) return "8080";
        return "yes";
    }

    // Sorted by member name, so the report does not depend on reflection order.
    private static List<String> inject(Object target) throws Exception {
        List<String> log = new ArrayList<String>();
        for (Field f : target.getClass().getDeclaredFields()) {
            Inject in = f.getAnnotation(Inject.class);
            if (in == null) continue;
            f.setAccessible(true);
            String v = lookup(in.value());
            if (f.getType() == int.class) f.setInt(target, Integer.parseInt(v));
            else f.set(target, v);
            log.add("field " + f.getName() + " <- " + in.value() + " = " + f.get(target));
        }
        for (Method m : target.getClass().getDeclaredMethods()) {
            Inject in = m.getAnnotation(Inject.class);
            if (in == null) continue;
            m.setAccessible(true);
            m.invoke(target, lookup(in.value()));
            log.add("method " + m.getName() + " <- " + in.value());
        }
        Collections.sort(log);
        return log;
    }

    public static void main(String[] args) throws Exception {
        Main m = new Main();
        for (String line : inject(m)) System.out.println(line);
        System.out.println("endpoint in use: " + m.endpoint + ", ready calls: " + m.calls);
    }
}
