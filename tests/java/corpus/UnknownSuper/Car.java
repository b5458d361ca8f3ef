// Private methods of go()'s descriptor. "go" is loaded first of all, so that it heads the names the class
// could reuse whatever other names the pool holds.
public class Car extends Engine {
    final StringBuilder log = new StringBuilder("go");   // not private: the names go to the helpers

    Car() { p1(); p2(); p3(); p4(); p5(); p6(); p7(); p8(); p9(); }

    private void p1() { log.append(':'); }
    private void p2() { log.append('a'); }
    private void p3() { log.append('b'); }
    private void p4() { log.append('c'); }
    private void p5() { log.append('d'); }
    private void p6() { log.append('e'); }
    private void p7() { log.append('f'); }
    private void p8() { log.append('g'); }
    private void p9() { log.append('h'); }

    String report() { return log + " runs=" + runs(); }
}
