// release: 8
// Private native methods are bound to library symbols by their names. No library is loaded, so each
// call throws UnsatisfiedLinkError, whose message names the method the JVM looked for. The calls stay
// in Main itself (no nested classes) so that the class is not part of a nest.
public class Main {
    private int base = 5;

    private static native int checksum(byte[] data, int length);
    private native String describe(int mode);

    public static void main(String[] args) {
        Main m = new Main();
        try {
            System.out.println("static: linked " + checksum(new byte[] { 1, 2, 3 }, 3));
        } catch (UnsatisfiedLinkError e) {
            System.out.println("static: " + e.getMessage());
        }
        try {
            System.out.println("instance: linked " + m.describe(m.base));
        } catch (UnsatisfiedLinkError e) {
            System.out.println("instance: " + e.getMessage());
        }
    }
}
