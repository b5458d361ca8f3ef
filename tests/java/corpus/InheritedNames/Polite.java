// Private methods with greet()'s descriptor; "greet" is one of its String constants.
public class Polite implements Greeter {
    private final String who;

    Polite(String who) { this.who = who; }

    public String name() { return who; }

    private String s1() { return "greet"; }
    private String s2() { return "ed"; }
    private String s3() { return " by "; }
    private String s4() { return who; }
    private String s5() { return "!"; }
    private String s6() { return "("; }
    private String s7() { return "polite"; }
    private String s8() { return ")"; }
    private String s9() { return "."; }

    String report() { return s1() + s2() + s3() + s4() + s5() + s6() + s7() + s8() + s9(); }
}
