// release: 8
// forms: tree jar
// A small container: reads conf/components.xml from the class path with the JDK's DOM parser, creates
// each component's implementation class and sets its private fields by reflection, the field named by
// the element in camel case (default-phases: defaultPhases), so only the resource file spells the names.
// Words of the run's resource files keep the private members of that name; loose class files have no
// resources, so the program runs as a folder tree and as a jar. One line per field set and per component.
import java.io.InputStream;
import java.lang.reflect.Field;
import java.util.ArrayList;
import java.util.List;
import javax.xml.parsers.DocumentBuilderFactory;
import org.w3c.dom.Document;
import org.w3c.dom.Element;
import org.w3c.dom.Node;
import org.w3c.dom.NodeList;

public class Main {
    private static String camelCase(String element) {
        StringBuilder sb = new StringBuilder();
        boolean upper = false;
        for (char c : element.toCharArray()) {
            if (c == '-') {
                upper = true;
            } else {
                sb.append(upper ? Character.toUpperCase(c) : c);
                upper = false;
            }
        }
        return sb.toString();
    }

    private static List<Element> children(Node parent) {
        List<Element> out = new ArrayList<Element>();
        for (Node n = parent.getFirstChild(); n != null; n = n.getNextSibling())
            if (n instanceof Element) out.add((Element) n);
        return out;
    }

    private static Object value(Field f, Element e) {
        String text = e.getTextContent().trim();
        if (f.getType() == int.class) return Integer.valueOf(text);
        if (f.getType() == boolean.class) return Boolean.valueOf(text);
        if (f.getType() == List.class) {
            List<String> items = new ArrayList<String>();
            for (Element item : children(e)) items.add(item.getTextContent().trim());
            return items;
        }
        return text;
    }

    private static void configure(Object target, Element configuration) {
        String type = target.getClass().getSimpleName();
        for (Element e : children(configuration)) {
            try {
                Field f = target.getClass().getDeclaredField(camelCase(e.getTagName()));
                f.setAccessible(true);
                f.set(target, value(f, e));
                System.out.println(type + " <" + e.getTagName() + "> set to " + f.get(target));
            } catch (ReflectiveOperationException ex) {
                System.out.println(type + " <" + e.getTagName() + "> not set: " + ex);
            }
        }
    }

    public static void main(String[] args) throws Exception {
        Document doc;
        try (InputStream in = Main.class.getResourceAsStream("/conf/components.xml")) {
            if (in == null) throw new IllegalStateException("components.xml is not on the class path");
            doc = DocumentBuilderFactory.newInstance().newDocumentBuilder().parse(in);
        }
        NodeList components = doc.getElementsByTagName("component");
        for (int i = 0; i < components.getLength(); i++) {
            Element component = (Element) components.item(i);
            Object target = Class.forName(component.getAttribute("implementation")).getDeclaredConstructor().newInstance();
            System.out.println("created " + target.getClass().getName());
            for (Element configuration : children(component)) configure(target, configuration);
            System.out.println(target);
        }
    }
}
