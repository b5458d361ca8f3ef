import java.io.ByteArrayInputStream;
import java.io.ByteArrayOutputStream;
import java.io.FileInputStream;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.ObjectInputStream;
import java.io.ObjectOutputStream;

// Main write FILE: serializes an AppException and a Derived to FILE. Main read FILE: reads them back and prints
// their state. Each object travels as a stream of its own inside FILE, so that one that cannot be read back
// still leaves the other to be read and printed.
public class Main {
    public static void main(String[] args) throws Exception {
        if (args.length != 2 || !(args[0].equals("write") || args[0].equals("read"))) {
            System.err.println("usage: Main write|read FILE");
            System.exit(2);
        }
        if (args[0].equals("write")) {
            try (ObjectOutputStream out = new ObjectOutputStream(new FileOutputStream(args[1]))) {
                out.writeObject(freeze(new AppException("disk full", 507, "store")));
                out.writeObject(freeze(new Derived("ada", 4711, "first note")));
            }
        } else {
            try (ObjectInputStream in = new ObjectInputStream(new FileInputStream(args[1]))) {
                for (int i = 0; i < 2; i++) {
                    byte[] data = (byte[]) in.readObject();
                    String result;
                    try {
                        Object o = thaw(data);
                        result = o instanceof AppException ? ((AppException) o).dump() : ((Derived) o).dump();
                    } catch (IOException | ClassNotFoundException e) {
                        result = "threw " + e;
                    }
                    System.out.println(i + " " + result);
                }
            }
        }
    }

    private static byte[] freeze(Object o) throws IOException {
        ByteArrayOutputStream bytes = new ByteArrayOutputStream();
        try (ObjectOutputStream out = new ObjectOutputStream(bytes)) {
            out.writeObject(o);
        }
        return bytes.toByteArray();
    }

    private static Object thaw(byte[] data) throws IOException, ClassNotFoundException {
        try (ObjectInputStream in = new ObjectInputStream(new ByteArrayInputStream(data))) {
            return in.readObject();
        }
    }
}
