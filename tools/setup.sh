#!/usr/bin/env bash
# Installs the Debian packages that are missing for building zyn and running samples/demo.sh; with --tests
# also those of the tests, the fuzz targets, the man page check and the Debian package (all that .ci/run
# needs). Installing takes root: any other user gets one line naming the missing packages, and exit code 1.
# usage: tools/setup.sh [--tests]
set -euo pipefail

tests=false
case "$*" in
  "") ;;
  --tests) tests=true ;;
  *) echo "usage: tools/setup.sh [--tests]" >&2; exit 2 ;;
esac

packages=()
need() {
  [[ " ${packages[*]-} " == *" $1 "* ]] || packages+=("$1")
}

# What is looked for is what the build and the scripts use, so that tools installed otherwise count too.
command -v cmake >/dev/null || need cmake
command -v ninja >/dev/null || need ninja-build
command -v g++ >/dev/null || need g++
[ -f /usr/include/libdeflate.h ] || need libdeflate-dev
[ -f /usr/include/mimalloc.h ] || need libmimalloc-dev
# The demo runs the optimized samples on the JVM.
command -v java >/dev/null || need openjdk-17-jre-headless

if $tests; then
  [ -f /usr/include/gtest/gtest.h ] || need libgtest-dev
  command -v zip >/dev/null || need zip
  command -v unzip >/dev/null || need unzip
  # javac compiles the corpus; jmod unpacks JDK 17's java.base.
  command -v javac >/dev/null || need openjdk-17-jdk-headless
  [ -x /usr/lib/jvm/java-17-openjdk-amd64/bin/jmod ] || need openjdk-17-jdk-headless
  # Libraries that the tests optimize, and compilers that must still compile against them.
  [ -d /usr/share/maven/lib ] || need maven
  # The Maven plugin and its example, built offline against Debian's repository.
  r=/usr/share/maven-repo/org/apache/maven
  [ -d $r/plugins/maven-plugin-plugin/3.7.1 ] || need libmaven-plugin-tools-java
  [ -d $r/plugins/maven-resources-plugin/3.3.0 ] || need libmaven-resources-plugin-java
  [ -d $r/plugins/maven-surefire-plugin/2.22.3 ] || need libsurefire-java
  [ -d $r/plugins/maven-install-plugin/3.1.0 ] || need libmaven-install-plugin-java
  [ -d $r/plugins/maven-clean-plugin/3.2.0 ] || need libmaven-clean-plugin-java
  [ -f /usr/share/java/gson.jar ] || need libgoogle-gson-java
  command -v gradle >/dev/null || need gradle
  [ -f /usr/share/scala-2.11/lib/scala-library.jar ] || need scala
  [ -f /usr/share/java/groovy-all.jar ] || need groovy
  [ -f /usr/share/java/kotlin-stdlib.jar ] || need kotlin
  [ -f /usr/share/java/jython.jar ] || need jython
  # The fuzz targets.
  command -v clang++ >/dev/null || need clang
  compgen -G '/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a' >/dev/null || need libclang-rt-dev
  # The check of the product's function sizes.
  command -v clang-tidy >/dev/null || need clang-tidy
  # The report's schema check.
  /usr/bin/python3 -c 'import jsonschema' 2>/dev/null || need python3-jsonschema
  # The fault injection kills the run at chosen system calls.
  command -v strace >/dev/null || need strace
  # The man page's lint, and cpack's dependency search for the Debian package.
  command -v mandoc >/dev/null || need mandoc
  command -v dpkg-shlibdeps >/dev/null || need dpkg-dev
  # Libraries that bind fields and methods by name, which the programs of tests/java/bound run with.
  [ -f /usr/share/java/gson.jar ] || need libgoogle-gson-java
  [ -f /usr/share/java/jackson-databind.jar ] || need libjackson2-databind-java
  [ -f /usr/share/java/xstream.jar ] || need libxstream-java
  [ -f /usr/share/java/jaxb-runtime.jar ] || need libjaxb-java
  [ -f /usr/share/java/jaxb-api.jar ] || need libjaxb-api-java
  [ -f /usr/share/java/snakeyaml.jar ] || need libyaml-snake-java
  [ -f /usr/share/java/commons-lang3.jar ] || need libcommons-lang3-java
  [ -f /usr/share/java/junit-jupiter-params.jar ] || need junit5
  [ -f /usr/share/java/protobuf.jar ] || need libprotobuf-java
  command -v protoc >/dev/null || need protobuf-compiler
  # ReTrace reads a stack trace of renamed classes back through the mapping.
  [ -f /usr/share/java/proguard-retrace.jar ] || need proguard-cli
fi

[ ${#packages[@]} -gt 0 ] || exit 0
if [ "$EUID" -ne 0 ] || ! command -v apt-get >/dev/null; then
  echo "zyn needs these packages: ${packages[*]} (run: sudo apt-get install ${packages[*]})" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${packages[@]}"
