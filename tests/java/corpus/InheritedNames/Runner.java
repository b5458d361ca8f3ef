// Private methods of run2()'s descriptor. "run2" is loaded first of all, so that it heads the names the class
// could reuse whatever other names the pool holds.
public class Runner extends Base {
    final StringBuilder log = new StringBuilder("run2");   // not private: the names go to the helpers

    Runner() { m1(); m2(); m3(); m4(); m5(); m6(); m7(); m8(); m9(); }

    private void m1() { log.append(':'); }
    private void m2() { log.append('a'); }
    private void m3() { log.append('b'); }
    private void m4() { log.append('c'); }
    private void m5() { log.append('d'); }
    private void m6() { log.append('e'); }
    private void m7() { log.append('f'); }
    private void m8() { log.append('g'); }
    private void m9() { log.append('h'); }

    String report() { return log + " runs=" + runs(); }
}
