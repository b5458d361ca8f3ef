// release: 8
// forms: jar jars
// classpath: snakeyaml.jar
// SnakeYAML set to field access: the YAML keys are the private fields' names.
import org.yaml.snakeyaml.DumperOptions;
import org.yaml.snakeyaml.Yaml;
import org.yaml.snakeyaml.constructor.Constructor;
import org.yaml.snakeyaml.introspector.BeanAccess;
import org.yaml.snakeyaml.representer.Representer;

public class Main {
    public static void main(String[] args) {
        DumperOptions options = new DumperOptions();
        Representer representer = new Representer(options);
        representer.getPropertyUtils().setBeanAccess(BeanAccess.FIELD);
        Constructor constructor = new Constructor(Server.class);
        constructor.getPropertyUtils().setBeanAccess(BeanAccess.FIELD);
        Yaml yaml = new Yaml(constructor, representer, options);
        Server s = yaml.load("host: example.org\nport: 8080\nrole: primary\ntags: [a, b]\n");
        System.out.println(s.describe());
        System.out.print(yaml.dump(s));
    }
}

class Server {
    private String host;
    private int port;
    private String role;             // only SnakeYAML sets and reads it
    private java.util.List<String> tags;

    String describe() { return host + ":" + port + " " + tags; }
}
