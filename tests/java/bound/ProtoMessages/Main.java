// release: 8
// forms: jar jars
// classpath: protobuf.jar
// protoc: order.proto
// Message classes that protoc generates: the library finds a message's private static singleton by its name
// when a Java-serialized message is read back, and reflects over the generated fields.
import java.io.ByteArrayInputStream;
import java.io.ByteArrayOutputStream;
import java.io.ObjectInputStream;
import java.io.ObjectOutputStream;
import shop.Line;
import shop.Order;

public class Main {
    public static void main(String[] args) throws Exception {
        Order order = Order.newBuilder().setId(42).setCustomer("Ada")
                .addLines(Line.newBuilder().setSku("A-1").setQuantity(2))
                .addLines(Line.newBuilder().setSku("B-7").setQuantity(1)).build();
        System.out.print(order);
        Order parsed = Order.parseFrom(order.toByteArray());
        System.out.println("parsed equal: " + parsed.equals(order));
        ByteArrayOutputStream bytes = new ByteArrayOutputStream();
        try (ObjectOutputStream out = new ObjectOutputStream(bytes)) {
            out.writeObject(order);
        }
        try (ObjectInputStream in = new ObjectInputStream(new ByteArrayInputStream(bytes.toByteArray()))) {
            Order back = (Order) in.readObject();
            System.out.println("read back: " + back.getCustomer() + " " + back.getLinesCount() + " " + back.equals(order));
        }
    }
}
