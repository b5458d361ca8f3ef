package web;

// A class of a web application archive (WEB-INF/classes).
public class Page {
  private final String title;
  private String neverRead;

  private Page(String title) {
    this.title = title;
  }

  private String render() {
    return "<h1>" + title + "</h1>";
  }

  private void unused() {
    neverRead = title;
  }

  public static void main(String[] args) {
    System.out.println(new Page("site").render());
  }
}
