// release: 8
// Deprecated classes, constructors, methods and fields (Deprecated attribute plus the runtime
// annotation); deprecated private members are still in use. Reflection only touches public names.
public class Main {
    @Deprecated
    private static int oldCounter = 3;

    @Deprecated
    private int legacyField;

    @Deprecated
    private static String oldFormat(int v) { return "old<" + v + ">"; }

    @Deprecated
    private Main() { legacyField = 40; }

    @Deprecated
    private static String unusedDeprecated() { return "never"; }

    @Deprecated
    public static class Legacy {
        @Deprecated public int level = 1;
        @Deprecated public String oldApi() { return "legacy level " + level; }
        public String newApi() { return "new level " + (level + 1); }
        @Deprecated private int hidden() { return level * 100; }
        public int exposeHidden() { return hidden(); }
    }

    public static class Modern {
        @Deprecated public static final String OLD_NAME = "m-old";
        public static String current() { return "modern"; }
    }

    @SuppressWarnings("deprecation")
    public static void main(String[] args) throws Exception {
        Main m = new Main();
        m.legacyField += oldCounter;
        oldCounter++;
        System.out.println(oldFormat(m.legacyField) + " " + oldCounter);
        Legacy l = new Legacy();
        l.level = 5;
        System.out.println(l.oldApi() + " | " + l.newApi() + " | " + l.exposeHidden());
        System.out.println(Modern.OLD_NAME + " " + Modern.current());
        System.out.println("class deprecated " + Legacy.class.isAnnotationPresent(Deprecated.class)
                + " modern " + Modern.class.isAnnotationPresent(Deprecated.class));
        System.out.println("method deprecated " + Legacy.class.getMethod("oldApi").isAnnotationPresent(Deprecated.class)
                + " " + Legacy.class.getMethod("newApi").isAnnotationPresent(Deprecated.class));
        System.out.println("field deprecated " + Legacy.class.getField("level").isAnnotationPresent(Deprecated.class)
                + " " + Modern.class.getField("OLD_NAME").getAnnotations().length);
    }
}
