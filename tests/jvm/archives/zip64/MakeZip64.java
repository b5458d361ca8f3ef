import java.io.BufferedOutputStream;
import java.io.FileOutputStream;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.zip.CRC32;
import java.util.zip.ZipEntry;
import java.util.zip.ZipOutputStream;

// MakeZip64 OUT COUNT CLASSES_DIR: writes Main.class, then COUNT tiny stored text entries, then big/Tail.class.
// ZipOutputStream switches to Zip64 end records by itself once there are 65,535 entries or more.
public class MakeZip64 {
  public static void main(String[] args) throws IOException {
    int count = Integer.parseInt(args[1]);
    Path classes = Path.of(args[2]);
    try (ZipOutputStream out =
        new ZipOutputStream(new BufferedOutputStream(new FileOutputStream(args[0]), 1 << 16))) {
      addClass(out, classes, "Main.class");
      for (int i = 0; i < count; i++) {
        byte[] data = Integer.toString(i).getBytes(StandardCharsets.US_ASCII);
        ZipEntry e = new ZipEntry(String.format("filler/%06d.txt", i));
        e.setMethod(ZipEntry.STORED);
        e.setSize(data.length);
        CRC32 crc = new CRC32();
        crc.update(data);
        e.setCrc(crc.getValue());
        out.putNextEntry(e);
        out.write(data);
        out.closeEntry();
      }
      addClass(out, classes, "big/Tail.class");
    }
  }

  private static void addClass(ZipOutputStream out, Path root, String name) throws IOException {
    out.putNextEntry(new ZipEntry(name));
    out.write(Files.readAllBytes(root.resolve(name)));
    out.closeEntry();
  }
}
