// release: 8
// Java serialization round trip in memory: private fields, serialVersionUID, transient fields,
// private writeObject/readObject hooks (found by the runtime, never called from code),
// readResolve, and a Serializable subclass of a non-serializable base.
import java.io.ByteArrayInputStream;
import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.ObjectInputStream;
import java.io.ObjectOutputStream;
import java.io.ObjectStreamClass;
import java.io.Serializable;
import java.util.ArrayList;
import java.util.List;

public class Main {
    static class Account implements Serializable {
        private static final long serialVersionUID = 4242L;
        private final String owner;
        private long cents;
        private transient String cache = "cached";
        private transient int checksum;
        private final List<String> history = new ArrayList<String>();

        Account(String owner, long cents) { this.owner = owner; this.cents = cents; recompute(); }

        private void recompute() { checksum = (int) (cents % 97) + owner.length(); }
        void deposit(long c) { cents += c; history.add("+" + c); recompute(); }

        private void writeObject(ObjectOutputStream out) throws IOException {
            out.defaultWriteObject();
            out.writeInt(checksum * 2);       // extra data only the hooks know about
            out.writeUTF("tail");
        }

        private void readObject(ObjectInputStream in) throws IOException, ClassNotFoundException {
            in.defaultReadObject();
            int doubled = in.readInt();
            String tail = in.readUTF();
            cache = "restored-" + tail + "-" + doubled;
            recompute();
        }

        public String toString() { return owner + " " + cents + " " + history + " cache=" + cache + " checksum=" + checksum; }
    }

    static final class Singleton implements Serializable {
        private static final long serialVersionUID = 1L;
        static final Singleton INSTANCE = new Singleton();
        private int uses;
        private Singleton() {}
        private Object readResolve() { return INSTANCE; }
    }

    static class Base {
        protected int baseValue;
        Base() { baseValue = 11; }      // rerun on deserialization: Base is not Serializable
    }

    static class Derived extends Base implements Serializable {
        private static final long serialVersionUID = -7L;
        private int own;
        private transient int skipped = 5;
        Derived(int own) { this.own = own; baseValue = 99; }
        String show() { return "base=" + baseValue + " own=" + own + " skipped=" + skipped; }
    }

    private static byte[] freeze(Object o) throws IOException {
        ByteArrayOutputStream bytes = new ByteArrayOutputStream();
        ObjectOutputStream out = new ObjectOutputStream(bytes);
        out.writeObject(o);
        out.close();
        return bytes.toByteArray();
    }

    private static Object thaw(byte[] data) throws IOException, ClassNotFoundException {
        ObjectInputStream in = new ObjectInputStream(new ByteArrayInputStream(data));
        try {
            return in.readObject();
        } finally {
            in.close();
        }
    }

    public static void main(String[] args) throws Exception {
        Account a = new Account("ann", 1000);
        a.deposit(250);
        a.deposit(5);
        System.out.println("before " + a);
        Account b = (Account) thaw(freeze(a));
        System.out.println("after  " + b);
        System.out.println("same " + (a == b) + " uid " + ObjectStreamClass.lookup(Account.class).getSerialVersionUID());

        Singleton.INSTANCE.uses = 3;
        Object s = thaw(freeze(Singleton.INSTANCE));
        System.out.println("singleton same " + (s == Singleton.INSTANCE) + " uses " + ((Singleton) s).uses
                + " uid " + ObjectStreamClass.lookup(Singleton.class).getSerialVersionUID());

        Derived d = (Derived) thaw(freeze(new Derived(7)));
        System.out.println("derived " + d.show() + " uid " + ObjectStreamClass.lookup(Derived.class).getSerialVersionUID());

        List<Object> graph = new ArrayList<Object>();
        graph.add(a);
        graph.add(a);
        graph.add(new int[] { 1, 2, 3 });
        @SuppressWarnings("unchecked")
        List<Object> back = (List<Object>) thaw(freeze(graph));
        System.out.println("graph shared " + (back.get(0) == back.get(1)) + " array " + ((int[]) back.get(2))[2] + " size " + back.size());
        System.out.println("non-serializable " + (ObjectStreamClass.lookup(Base.class) == null));
    }
}
