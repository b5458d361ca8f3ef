// Serializable only through RuntimeException, and without a serialVersionUID: its private instance fields are
// its serial form, and their names also go into the serialVersionUID the runtime computes.
public class AppException extends RuntimeException {
    private static int raised;   // class state, never in the stream

    private final int code;
    private final String where;

    public AppException(String message, int status, String origin) {
        super(message);
        code = status;
        where = origin;
        raised++;
    }

    private String place() { return where + "#" + code; }

    public String dump() { return "message=" + getMessage() + " code=" + code + " where=" + where + " place=" + place() + " raised=" + raised; }
}
