// release: 8
// forms: jar jars
// classpath: commons-lang3.jar
// A reflective toString, equals and hashCode builder: what they print and compare are the fields by name.
import org.apache.commons.lang3.builder.EqualsBuilder;
import org.apache.commons.lang3.builder.HashCodeBuilder;
import org.apache.commons.lang3.builder.ReflectionToStringBuilder;
import org.apache.commons.lang3.builder.ToStringStyle;

public class Main {
    public static void main(String[] args) {
        Point a = new Point("a", 1, 2), b = new Point("a", 1, 2), c = new Point("c", 1, 3);
        System.out.println(ReflectionToStringBuilder.toString(a, ToStringStyle.SHORT_PREFIX_STYLE));
        System.out.println(new ReflectionToStringBuilder(c, ToStringStyle.SHORT_PREFIX_STYLE).setExcludeFieldNames("y"));
        System.out.println(EqualsBuilder.reflectionEquals(a, b) + " " + EqualsBuilder.reflectionEquals(a, c));
        System.out.println(HashCodeBuilder.reflectionHashCode(a) == HashCodeBuilder.reflectionHashCode(b));
        System.out.println(ReflectionToStringBuilder.toString(new Point.Tagged(a), ToStringStyle.SHORT_PREFIX_STYLE));
    }
}

class Point {
    private final String label;
    private final int x, y;
    private transient int cached;    // skipped by the builders, but a field all the same

    Point(String label, int x, int y) { this.label = label; this.x = x; this.y = y; }

    @Override
    public String toString() { return ReflectionToStringBuilder.toString(this, ToStringStyle.NO_CLASS_NAME_STYLE); }

    static class Tagged {
        private final Point point;
        private final String tag = "t";
        Tagged(Point point) { this.point = point; }
    }
}
