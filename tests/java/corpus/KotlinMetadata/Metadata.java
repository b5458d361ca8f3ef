// kotlin.Metadata as the Kotlin compiler emits it, declared here because the corpus is compiled by javac
// alone (the harness compiles only the files of this directory, so the file is not under kotlin/).
package kotlin;

import java.lang.annotation.ElementType;
import java.lang.annotation.Retention;
import java.lang.annotation.RetentionPolicy;
import java.lang.annotation.Target;

@Retention(RetentionPolicy.RUNTIME)
@Target(ElementType.TYPE)
public @interface Metadata {
    int k() default 1;
    String[] d1() default {};
    String[] d2() default {};
}
