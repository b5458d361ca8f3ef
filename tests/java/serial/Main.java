import java.io.FileInputStream;
import java.io.FileOutputStream;
import java.io.ObjectInputStream;
import java.io.ObjectOutputStream;

// Main write FILE: serializes a fixed Profile graph to FILE. Main read FILE: reads it back and prints
// every piece of its state, so that two builds of Profile can be compared through one stream.
public class Main {
    public static void main(String[] args) throws Exception {
        if (args.length != 2 || !(args[0].equals("write") || args[0].equals("read"))) {
            System.err.println("usage: Main write|read FILE");
            System.exit(2);
        }
        if (args[0].equals("write")) {
            Profile teacher = new Profile("grace", 9, 99.25);
            teacher.tag("navy");
            Profile p = new Profile("ada", 7, 91.5);
            p.tag("math");
            p.tag("engines");
            p.follow(teacher);
            try (ObjectOutputStream out = new ObjectOutputStream(new FileOutputStream(args[1]))) {
                out.writeObject(p);
                out.writeObject(teacher);    // a back reference to the object already written
            }
        } else {
            try (ObjectInputStream in = new ObjectInputStream(new FileInputStream(args[1]))) {
                Profile p = (Profile) in.readObject();
                Profile teacher = (Profile) in.readObject();
                System.out.println(p.dump());
                System.out.println(teacher.dump());
            }
        }
    }
}
