// A thread whose private helpers have the descriptor of Thread.start(). "start" is loaded first of all, so
// that it heads the names the class could reuse whatever other names the pool holds.
public class Worker extends Thread {
    final StringBuilder log = new StringBuilder("start");   // not private: the names go to the helpers

    @Override
    public void run() {
        h1(); h2(); h3(); h4(); h5(); h6(); h7(); h8(); h9();
    }

    private void h1() { log.append('-'); }
    private void h2() { log.append('a'); }
    private void h3() { log.append('b'); }
    private void h4() { log.append('c'); }
    private void h5() { log.append('d'); }
    private void h6() { log.append('e'); }
    private void h7() { log.append('f'); }
    private void h8() { log.append('g'); }
    private void h9() { log.append('h'); }

    String report() { return log.toString(); }
}
