// release: 8
// forms: jar jars
// classpath: jaxb-api.jar jaxb-runtime.jar jaxb-core.jar istack-commons-runtime.jar txw2.jar stax-ex.jar FastInfoset.jar javax.activation.jar
// XML binding with field access declared on the class: JAXB maps private fields to elements by their names.
import java.io.StringReader;
import java.io.StringWriter;
import javax.xml.bind.JAXBContext;
import javax.xml.bind.Marshaller;
import javax.xml.bind.annotation.XmlAccessType;
import javax.xml.bind.annotation.XmlAccessorType;
import javax.xml.bind.annotation.XmlRootElement;

public class Main {
    public static void main(String[] args) throws Exception {
        JAXBContext context = JAXBContext.newInstance(Invoice.class);
        Invoice stored = (Invoice) context.createUnmarshaller().unmarshal(new StringReader(
                "<invoice><id>42</id><customer>Ada</customer><total>9.5</total><currency>EUR</currency></invoice>"));
        System.out.println(stored.describe());
        Marshaller m = context.createMarshaller();
        m.setProperty(Marshaller.JAXB_FRAGMENT, true);
        StringWriter out = new StringWriter();
        m.marshal(stored, out);
        System.out.println(out);
    }
}

@XmlRootElement
@XmlAccessorType(XmlAccessType.FIELD)
class Invoice {
    private int id;
    private String customer;
    private double total;
    private String currency;         // only JAXB sets and reads it

    String describe() { return "invoice " + id + " for " + customer + ": " + total; }
}
