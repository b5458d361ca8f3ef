// release: 8
// forms: jar jars
// classpath: xstream.jar
// XStream writes and reads objects as XML by their field names, with the JDK's DOM parser.
import com.thoughtworks.xstream.XStream;
import com.thoughtworks.xstream.io.xml.DomDriver;

public class Main {
    public static void main(String[] args) {
        XStream x = new XStream(new DomDriver());
        x.allowTypes(new Class<?>[] {Shipment.class, Shipment.Parcel.class});
        x.alias("shipment", Shipment.class);
        x.alias("parcel", Shipment.Parcel.class);
        Shipment s = new Shipment(42, "Lisbon");
        System.out.println(x.toXML(s));
        String stored = "<shipment><id>7</id><to>Oslo</to><note>fragile</note>"
                + "<parcels><parcel><weight>3</weight></parcel><parcel><weight>5</weight></parcel></parcels></shipment>";
        Shipment back = (Shipment) x.fromXML(stored);
        System.out.println(back.describe());
        System.out.println(x.toXML(back));
    }
}

class Shipment {
    private int id;
    private String to;
    private String note;             // only XStream sets and reads it
    private Parcel[] parcels;

    Shipment(int id, String to) { this.id = id; this.to = to; parcels = new Parcel[] {new Parcel(1)}; }
    String describe() { return "shipment " + id + " to " + to + ", " + parcels.length + " parcel(s) of " + parcels[1].weight; }

    static class Parcel {
        private int weight;
        Parcel(int weight) { this.weight = weight; }
    }
}
