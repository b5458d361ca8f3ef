# shellcheck shell=bash
# Sourced by the bench scripts.
# java_base_corpus JDK DIR: JDK's java.base as DIR/corpus, one flat folder of class files
# (java/lang/Object.class becomes java_lang_Object.class), and as DIR/base.jar (zip -r of its classes).
java_base_corpus() {
  local jdk=$1 dir=$2
  "$jdk/bin/jmod" extract --dir "$dir/jmod" "$jdk/jmods/java.base.jmod"
  mkdir "$dir/corpus"
  # One tar pair instead of a process per file.
  (cd "$dir/jmod/classes" && find . -name '*.class' -print0 | tar --null -T - -cf -) |
    tar -xf - -C "$dir/corpus" --transform 's,^\./,,;s,/,_,g'
  (cd "$dir/jmod/classes" && zip -qr "$dir/base.jar" .)
  rm -rf "$dir/jmod"
}

# three_sets JDK DIR: java.base as DIR/corpus (as above), Maven's jars in DIR/maven and guava's jar as
# DIR/guava.jar: the three sets the member pass's figures are measured on.
three_sets() {
  java_base_corpus "$1" "$2" > /dev/null
  mkdir "$2/maven"
  cp -L /usr/share/maven/lib/*.jar "$2/maven/"
  cp -L /usr/share/java/guava.jar "$2/guava.jar"
}
