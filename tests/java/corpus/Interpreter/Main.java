// release: 8
// A small expression language: tokenizer, recursive-descent parser (mutually recursive private
// methods), a tree of node classes, and a stack-machine compiler and interpreter.
import java.util.ArrayList;
import java.util.List;
import java.util.TreeMap;

public class Main {
    private final String src;
    private int pos;
    private final TreeMap<String, Integer> vars;
    private static int parsed;

    private Main(String src, TreeMap<String, Integer> vars) { this.src = src; this.vars = vars; }

    abstract static class Node {
        abstract int eval(TreeMap<String, Integer> env);
        abstract void compile(List<int[]> code, List<String> names);
    }

    static final class Num extends Node {
        private final int v;
        Num(int v) { this.v = v; }
        int eval(TreeMap<String, Integer> env) { return v; }
        void compile(List<int[]> code, List<String> names) { code.add(new int[] { PUSH, v }); }
        public String toString() { return Integer.toString(v); }
    }

    static final class Var extends Node {
        private final String name;
        Var(String name) { this.name = name; }
        int eval(TreeMap<String, Integer> env) { Integer x = env.get(name); return x == null ? 0 : x; }
        void compile(List<int[]> code, List<String> names) {
            int idx = names.indexOf(name);
            if (idx < 0) { names.add(name); idx = names.size() - 1; }
            code.add(new int[] { LOAD, idx });
        }
        public String toString() { return name; }
    }

    static final class Bin extends Node {
        private final char op;
        private final Node l, r;
        Bin(char op, Node l, Node r) { this.op = op; this.l = l; this.r = r; }
        int eval(TreeMap<String, Integer> env) { return apply(op, l.eval(env), r.eval(env)); }
        void compile(List<int[]> code, List<String> names) { l.compile(code, names); r.compile(code, names); code.add(new int[] { OP, op }); }
        public String toString() { return "(" + l + " " + op + " " + r + ")"; }
    }

    static final class Neg extends Node {
        private final Node e;
        Neg(Node e) { this.e = e; }
        int eval(TreeMap<String, Integer> env) { return -e.eval(env); }
        void compile(List<int[]> code, List<String> names) { e.compile(code, names); code.add(new int[] { NEG, 0 }); }
        public String toString() { return "-" + e; }
    }

    static final int PUSH = 1, LOAD = 2, OP = 3, NEG = 4;

    private static int apply(char op, int a, int b) {
        switch (op) {
            case '+': return a + b;
            case '-': return a - b;
            case '*': return a * b;
            case '/': return b == 0 ? 0 : a / b;
            case '%': return b == 0 ? 0 : a % b;
            case '^': return pow(a, b);
            default: throw new IllegalArgumentException("op " + op);
        }
    }

    private static int pow(int a, int b) { return b <= 0 ? 1 : a * pow(a, b - 1); }

    private void skip() { while (pos < src.length() && src.charAt(pos) == ' ') pos++; }
    private boolean eat(char c) { skip(); if (pos < src.length() && src.charAt(pos) == c) { pos++; return true; } return false; }

    private Node parseExpr() {
        Node n = parseTerm();
        while (true) {
            if (eat('+')) n = new Bin('+', n, parseTerm());
            else if (eat('-')) n = new Bin('-', n, parseTerm());
            else return n;
        }
    }

    private Node parseTerm() {
        Node n = parseFactor();
        while (true) {
            if (eat('*')) n = new Bin('*', n, parseFactor());
            else if (eat('/')) n = new Bin('/', n, parseFactor());
            else if (eat('%')) n = new Bin('%', n, parseFactor());
            else return n;
        }
    }

    private Node parseFactor() {
        Node base = parseUnary();
        return eat('^') ? new Bin('^', base, parseFactor()) : base;   // right-associative
    }

    private Node parseUnary() {
        if (eat('-')) return new Neg(parseUnary());
        if (eat('(')) { Node n = parseExpr(); if (!eat(')')) throw error("')' expected"); return n; }
        skip();
        int start = pos;
        while (pos < src.length() && Character.isLetterOrDigit(src.charAt(pos))) pos++;
        if (start == pos) throw error("operand expected");
        String tok = src.substring(start, pos);
        return Character.isDigit(tok.charAt(0)) ? new Num(Integer.parseInt(tok)) : new Var(tok);
    }

    private IllegalArgumentException error(String what) { return new IllegalArgumentException(what + " at " + pos); }

    private static Node parse(String s, TreeMap<String, Integer> vars) {
        Main p = new Main(s, vars);
        Node n = p.parseExpr();
        p.skip();
        if (p.pos != s.length()) throw p.error("trailing input");
        parsed++;
        return n;
    }

    private static int run(List<int[]> code, List<String> names, TreeMap<String, Integer> env) {
        int[] stack = new int[64];
        int sp = 0;
        for (int[] ins : code) {
            switch (ins[0]) {
                case PUSH: stack[sp++] = ins[1]; break;
                case LOAD: { Integer v = env.get(names.get(ins[1])); stack[sp++] = v == null ? 0 : v; break; }
                case OP: sp--; stack[sp - 1] = apply((char) ins[1], stack[sp - 1], stack[sp]); break;
                case NEG: stack[sp - 1] = -stack[sp - 1]; break;
                default: throw new IllegalStateException();
            }
        }
        return stack[0];
    }

    public static void main(String[] args) {
        TreeMap<String, Integer> env = new TreeMap<String, Integer>();
        env.put("x", 7);
        env.put("y", -3);
        env.put("big", 1000);
        String[] programs = {
            "1 + 2 * 3", "(1 + 2) * 3", "2 ^ 3 ^ 2", "-x * -(y + 1)", "big / 7 % 5 - x",
            "x * x * x - y ^ 3", "((((x))))", "10 / 0 + 3", "2 ^ 10 - big", "a + b * 2",
            "1 +", "(2 * 3", "4 $ 4",
        };
        for (String prog : programs) {
            try {
                Node n = parse(prog, env);
                List<int[]> code = new ArrayList<int[]>();
                List<String> names = new ArrayList<String>();
                n.compile(code, names);
                int direct = n.eval(env), vm = run(code, names, env);
                System.out.println(prog + " => " + n + " = " + direct + (direct == vm ? "" : " MISMATCH " + vm) + " [" + code.size() + " ops, vars " + names + "]");
            } catch (IllegalArgumentException e) {
                System.out.println(prog + " => error: " + e.getMessage());
            }
        }
        System.out.println("parsed " + parsed);
    }
}
