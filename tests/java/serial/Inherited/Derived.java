// Serializable only through Base, and without a serialVersionUID: its private instance fields are its serial
// form, and their names also go into the serialVersionUID the runtime computes.
public class Derived extends Base {
    private static int made;   // class state, never in the stream

    private int secret;
    private String note;

    public Derived(String owner, int pin, String text) {
        super(owner);
        secret = pin;
        note = text;
        made++;
    }

    private String masked() { return note.charAt(0) + "***" + (secret % 10); }

    public String dump() { return "owner=" + owner() + " secret=" + secret + " note=" + note + " masked=" + masked() + " made=" + made; }
}
