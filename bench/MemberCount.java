// Counts the private fields and methods of the class files in folders and jars (nested jars not opened):
// instance fields, static fields and methods. The bound-fields benchmark compares
// the counts before and after a run.
//
//   java MemberCount.java PATH...
import java.io.ByteArrayInputStream;
import java.io.DataInputStream;
import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.stream.Stream;
import java.util.zip.ZipEntry;
import java.util.zip.ZipFile;

public class MemberCount {
    static long instanceFields, staticFields, methods;

    public static void main(String[] args) throws IOException {
        for (String arg : args) {
            try (Stream<Path> s = Files.walk(Paths.get(arg))) {
                for (Path f : (Iterable<Path>) s.filter(Files::isRegularFile)::iterator) {
                    if (f.toString().endsWith(".class")) count(Files.readAllBytes(f));
                    if (!f.toString().endsWith(".jar")) continue;
                    try (ZipFile zip = new ZipFile(f.toFile())) {
                        for (ZipEntry e : java.util.Collections.list(zip.entries()))
                            if (e.getName().endsWith(".class")) count(zip.getInputStream(e).readAllBytes());
                    }
                }
            }
        }
        System.out.println("private instance fields " + instanceFields + ", static fields " + staticFields
                           + ", methods " + methods);
    }

    static void count(byte[] bytes) throws IOException {
        DataInputStream in = new DataInputStream(new ByteArrayInputStream(bytes));
        if (in.readInt() != 0xCAFEBABE) return;
        in.readInt();
        int n = in.readUnsignedShort();
        for (int i = 1; i < n; i++) {
            int tag = in.readUnsignedByte();
            switch (tag) {
                case 1 -> in.readUTF();
                case 7, 8, 16, 19, 20 -> in.readUnsignedShort();
                case 15 -> { in.readUnsignedByte(); in.readUnsignedShort(); }
                case 3, 4, 9, 10, 11, 12, 17, 18 -> in.readInt();
                case 5, 6 -> { in.readLong(); i++; }
                default -> throw new IOException("constant pool tag " + tag);
            }
        }
        in.skipBytes(6);
        in.skipBytes(2 * in.readUnsignedShort());
        for (int kind = 0; kind < 2; kind++) {
            for (int m = in.readUnsignedShort(); m > 0; m--) {
                int access = in.readUnsignedShort();
                in.readUnsignedShort();
                in.readUnsignedShort();
                for (int a = in.readUnsignedShort(); a > 0; a--) {
                    in.readUnsignedShort();
                    in.skipBytes(in.readInt());
                }
                if ((access & 0x0002) == 0) continue;
                if (kind == 1) methods++;
                else if ((access & 0x0008) != 0) staticFields++;
                else instanceFields++;
            }
        }
    }
}
