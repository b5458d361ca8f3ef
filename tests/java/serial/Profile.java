import java.io.IOException;
import java.io.ObjectInputStream;
import java.io.ObjectOutputStream;
import java.io.Serializable;
import java.util.ArrayList;
import java.util.List;

// Its private fields are the serial form: a stream written by one build of the class must read back in
// another only if names, serialVersionUID and the private hooks agree.
public class Profile implements Serializable {
    private static final long serialVersionUID = 20240611L;
    private static int created;             // class state, never in the stream

    private final String name;
    private int level;
    private double score;
    private long[] history;
    private final List<String> tags = new ArrayList<String>();
    private Profile mentor;
    private transient String summary = "fresh";   // rebuilt by readObject
    private transient int checksum;                // travels only as the hooks' extra data

    public Profile(String name, int level, double score) {
        this.name = name;
        this.level = level;
        this.score = score;
        this.history = new long[] { level * 10L, level * 100L };
        created++;
        checksum = computeChecksum();
    }

    public void tag(String t) { tags.add(t); checksum = computeChecksum(); }
    public void follow(Profile m) { mentor = m; }

    private int computeChecksum() {
        int h = name.hashCode() * 31 + level;
        for (long v : history) h = h * 31 + (int) v;
        return h * 31 + tags.hashCode();
    }

    private void writeObject(ObjectOutputStream out) throws IOException {
        out.defaultWriteObject();
        out.writeInt(checksum);
        out.writeUTF("hooked");
    }

    private void readObject(ObjectInputStream in) throws IOException, ClassNotFoundException {
        in.defaultReadObject();
        checksum = in.readInt();
        summary = in.readUTF() + ":" + (checksum == computeChecksum() ? "intact" : "corrupt");
    }

    public String dump() {
        StringBuilder sb = new StringBuilder();
        sb.append("name=").append(name).append(" level=").append(level).append(" score=").append(score);
        sb.append(" history=");
        if (history == null) sb.append("null");
        else for (long v : history) sb.append(v).append(',');
        sb.append(" tags=").append(tags).append(" summary=").append(summary).append(" checksum=").append(checksum);
        sb.append(" created=").append(created);
        sb.append(" mentor=").append(mentor == null ? "none" : mentor.name + "/" + mentor.level);
        return sb.toString();
    }
}
