// release: 8
// Main calls the inherited run() through a reference to Main.run:()V. Its private helper() has the same
// descriptor, so renaming helper to "run" (a name the pool already holds) would make that call resolve
// to the private method instead of Base.run.
public class Main extends Base {
    public static void main(String[] args) {
        Main m = new Main();
        m.run();
        m.helper();
    }

    private void helper() { System.out.println("Main.helper"); }
}
