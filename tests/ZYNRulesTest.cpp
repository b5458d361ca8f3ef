#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "ZYNError.h"
#include "ZYNRules.h"

namespace {

using ZYNRules::tHold;

// A class a.b.Shop (final, annotated @a.Entity, extending a.b.Base, which implements java.io.Serializable) with
// members of every kind the rules tell apart.
ZYNRules::tClassView Shop() {
  ZYNRules::tClassView c;
  c.access = 0x0011, c.name = "a/b/Shop", c.supertypes = {"a/b/Base", "java/io/Serializable"};
  c.annotations = {"a/Entity"};
  c.members = {
      {false, 0x0002, "count", "I", {}},                                   // 0
      {false, 0x0042, "total", "J", {}},                                   // 1 private volatile long
      {false, 0x0002, "name", "Ljava/lang/String;", {"a/Json"}},           // 2
      {false, 0x000A, "grid", "[[La/b/Cell;", {}},                         // 3 private static
      {true, 0x0002, "<init>", "(ILjava/lang/String;)V", {}},              // 4
      {true, 0x0002, "getName", "()Ljava/lang/String;", {}},               // 5
      {true, 0x000A, "helper", "(I[JLa/b/Cell;)V", {"a/Keep"}},            // 6 private static
      {true, 0x0009, "main", "([Ljava/lang/String;)V", {}},                // 7 public static
  };
  return c;
}

// What each rules text holds of Shop's members: "-" nothing, "n" the name, "m" the member.
std::string Held(const std::string& text, bool prepare = false, std::vector<std::string> run = {}) {
  ZYNRules::tRuleSet rules;
  rules.ReadText(text, "t.pro");
  if (prepare)
    rules.Prepare([&](const std::function<void(const ZYNRules::tClassView&)>& f) {
      for (const std::string& name : run) {
        ZYNRules::tClassView v;
        v.name = name;
        f(v);
      }
    });
  std::string held;
  for (const ZYNRules::tVerdict& v : rules.Hold(Shop()))
    held.push_back(v.hold == tHold::kMember ? 'm' : v.hold == tHold::kName ? 'n' : '-');
  return held;
}

TEST(ZYNRulesTest, ClassAndMemberPatternsKeepTheMembersTheyName) {
  struct Case {
    std::string rules, held;
  };
  const Case cases[] = {
      {"-keep class a.b.Shop", "--------"},  // the class alone: no member
      {"-keep class a.b.Shop { *; }", "mmmmmmmm"},
      {"-keep class a.b.Shop { <fields>; }", "mmmm----"},
      {"-keepclassmembers class a.b.Shop { <methods>; }", "----mmmm"},
      {"-keepnames class a.b.Shop { private <fields>; }", "nnnn----"},
      {"-keep,allowshrinking class a.b.Shop { static *; }", "---n--nn"},
      {"-keep,allowobfuscation class a.b.Shop { int count; }", "m-------"},
      {"-keep,allowshrinking,allowobfuscation class a.b.Shop { *; }", "--------"},
      {"-keepclassmembernames class ** { volatile <fields>; }", "-n------"},
      {"-keep class a.b.Shop { !static <fields>; }", "mmm-----"},
      {"-keep class a.*.Shop { % *; }", "mm------"},
      {"-keep class a.* { *; }", "--------"},  // * stops at a package
      {"-keep class a.** { *** getN?me(); }", "-----m--"},
      {"-keep class a.b.S?op { java.lang.String *; }", "--m-----"},
      {"-keep class a.b.Shop { ** *; }", "--m-----"},  // a class type, neither primitive nor array
      {"-keep class a.b.Shop { **[][] grid; a.b.Cell[] grid; }", "---m----"},
      {"-keep class a.b.Shop { <init>(int, java.lang.String); }", "----m---"},
      {"-keep class a.b.Shop { Shop(...); }", "----m---"},
      {"-keep class a.b.Shop { void helper(int, long[], ...); }", "------m-"},
      {"-keep class a.b.Shop { void helper(int); }", "--------"},
      {"-keep class a.b.Shop { void *(...); }", "----m-mm"},  // * takes <init> too: more kept, never less
      {"-keep class a.b.Shop { @a.Keep *; @a.Json <fields>; }", "--m---m-"},
      {"-keep @a.Entity class * { int count; }", "m-------"},
      {"-keep @a.Other class * { int count; }", "--------"},
      {"-keep class * extends a.b.Base { int count; }", "m-------"},
      {"-keep class * implements java.io.Serializable { int count; }", "m-------"},
      {"-keep class * extends a.Other { int count; }", "--------"},
      {"-keep final class * { int count; }", "m-------"},
      {"-keep !final class * { int count; }", "--------"},
      {"-keep interface * { int count; }", "--------"},
      {"-keep !interface * { int count; }", "m-------"},
      {"-keep class !a.b.Shop { *; }", "--------"},
      {"-keep class !x.**,a.** { int count; }", "m-------"},
      {"-keep class !a.**,** { int count; }", "--------"},
      {"-keep class x.Y,a.b.Shop { int count; }", "m-------"},
      {"-keepclasseswithmembers class * { int count; void missing(); }", "--------"},
      {"-keepclasseswithmembers class * { int count; public static void main(java.lang.String[]); }", "m------m"},
      {"-keepclasseswithmembernames class * { private <methods>; }", "----nnn-"},
      // The strongest hold wins, whatever the order.
      {"-keepnames class a.b.Shop { int count; }\n-keep class a.b.Shop { int count; }", "m-------"},
      // A field's values and a method's are read and say nothing.
      {"-keep class a.b.Shop { int count = 5; long total return 1; }", "mm------"},
  };
  for (const Case& c : cases) EXPECT_EQ(Held(c.rules), c.held) << c.rules;
}

// -if applies the -keep after it only where a class of the run meets it, with its wildcards in <n>.
TEST(ZYNRulesTest, AConditionHoldsWhereTheRunHasAClassThatMeetsIt) {
  const std::string rule = "-if class a.b.*Model -keep class a.b.<1> { int count; }";
  EXPECT_EQ(Held(rule, true, {"a/b/ShopModel"}), "m-------");
  EXPECT_EQ(Held(rule, true, {"a/b/CartModel", "x/ShopModel"}), "--------");
  EXPECT_EQ(Held(rule, true, {}), "--------");
  EXPECT_EQ(Held(rule, false), "m-------");  // not prepared: the condition is taken as holding
  EXPECT_EQ(Held("-if class **.Sh*p -keepclassmembers class <1>.Sh<2>p { <fields>; }", true, {"a/b/Shop"}), "mmmm----");
  EXPECT_EQ(Held("-if class a.b.Shop -keep class a.b.Shop { <9> count; }", true, {"a/b/Shop"}), "m-------");
}

// Every other option is read and passed over, each name once; includes are followed.
TEST(ZYNRulesTest, ARealRulesFileIsReadWithItsUnrelatedOptions) {
  ZYNRules::tRuleSet rules;
  // As an application ships it, beside the rules of kotlinx.coroutines as its jar ships them.
  rules.ReadText(R"(# Application
-optimizationpasses 5
-dontusemixedcaseclassnames
-verbose
-optimizations !code/simplification/arithmetic,!field/*,!class/merging/*
-keepattributes *Annotation*,Signature,InnerClasses,EnclosingMethod
-renamesourcefileattribute SourceFile
-dontwarn javax.annotation.**
-dontwarn org.codehaus.mojo.animal_sniffer.*
-injars  in.jar(!META-INF/MANIFEST.MF)
-libraryjars <java.home>/jmods/java.base.jmod(!**.jar;!module-info.class)
-printmapping out.map
-assumenosideeffects class android.util.Log {
    public static boolean isLoggable(java.lang.String, int);
    public static int v(...);
}
-keep public class * extends android.app.Activity
-keepclassmembers enum * {
    public static **[] values();
    public static ** valueOf(java.lang.String);
}
-keepclasseswithmembernames,includedescriptorclasses class * {
    native <methods>;
}
-keepclassmembers class * implements java.io.Serializable {
    static final long serialVersionUID;
    private static final java.io.ObjectStreamField[] serialPersistentFields;
    private void writeObject(java.io.ObjectOutputStream);
    private void readObject(java.io.ObjectInputStream);
    java.lang.Object writeReplace();
    java.lang.Object readResolve();
}
-keepclassmembers class a.b.Shop { @a.Keep <methods>; }
-dontwarn android.**
# ServiceLoader support
-keepnames class kotlinx.coroutines.internal.MainDispatcherFactory {}
-keepnames class kotlinx.coroutines.CoroutineExceptionHandler {}

# Most of volatile fields are updated with AFU and should not be mangled
-keepclassmembernames class kotlinx.** {
    volatile <fields>;
}
)",
                 "app.pro");
  std::vector<std::string> skipped;
  for (const auto& [option, where] : rules.Skipped()) skipped.push_back(option + " " + where);
  EXPECT_EQ(skipped, (std::vector<std::string>{
                         "-optimizationpasses app.pro:2", "-dontusemixedcaseclassnames app.pro:3", "-verbose app.pro:4",
                         "-optimizations app.pro:5", "-keepattributes app.pro:6", "-renamesourcefileattribute app.pro:7",
                         "-dontwarn app.pro:8", "-injars app.pro:10", "-libraryjars app.pro:11",
                         "-printmapping app.pro:12", "-assumenosideeffects app.pro:13"}));
  const std::vector<ZYNRules::tVerdict> held = rules.Hold(Shop());
  EXPECT_EQ(held[6].hold, tHold::kMember);
  EXPECT_EQ(held[6].evidence, "rule \"-keepclassmembers class a.b.Shop { @a.Keep <methods>; }\" in app.pro:33");
  EXPECT_EQ(held[0].hold, tHold::kNone);

  TempDir dir;
  WriteFileBytes(dir.path() + "/main.pro", Bytes{'-', 'i', 'n', 'c', 'l', 'u', 'd', 'e', ' ', 'x', '.', 'p', 'r', 'o'});
  const std::string x = "-keep class a.b.Shop { int count; }\n@x.pro\n";
  WriteFileBytes(dir.path() + "/x.pro", Bytes(x.begin(), x.end()));
  ZYNRules::tRuleSet included;
  // A file that includes itself ends at the depth limit, not in a loop.
  EXPECT_THROW(included.ReadFile(dir.path() + "/main.pro"), ZYNError::Fatal);
  // Rules that an archive ships include no file, and are many at the most.
  EXPECT_THROW(included.ReadText("-include main.pro", "a.jar!META-INF/proguard/x.pro"), ZYNError::Fatal);
  std::string many;
  for (int i = 0; i <= 10000; ++i) many += "-keep class a.B" + std::to_string(i) + " { *; }\n";
  EXPECT_THROW(included.ReadText(many, "a.jar!META-INF/proguard/x.pro"), ZYNError::Fatal);
}

TEST(ZYNRulesTest, ASyntaxErrorNamesTheFileTheLineAndWhatWasExpected) {
  const std::pair<std::string, std::string> cases[] = {
      {"-keep", "line 1: expected \"class\", \"interface\", \"enum\" or \"@interface\", not the end"},
      {"-keep klass a.B", "line 1: expected \"class\", \"interface\", \"enum\" or \"@interface\", not \"klass\""},
      {"\n\n-keep class a.B {\n  int x\n}", "line 5: expected \";\", not \"}\""},
      {"-keep class { *; }", "line 1: expected a class name, not \"{\""},
      {"-keep,allowfoo class a.B", "line 1: expected an option modifier (allowshrinking, allowobfuscation, ...), not \"allowfoo\""},
      {"-if class a.B\n-dontwarn x", "line 2: expected a -keep option after -if, not \"-dontwarn\""},
      {"keep class a.B", "line 1: expected an option, not \"keep\""},
      {"-keep class a.B { void m(int,; }", "line 1: expected an argument type, not \";\""},
      {"-keep class a.B { void m(int) }", "line 1: expected \";\", not \"}\""},
      {"-keep class a.B {", "line 1: expected a member: <fields>, <methods>, *, a type or a constructor, not the end"},
      {"-include", "line 1: expected a file name, not the end"},
  };
  for (const auto& [text, message] : cases) {
    ZYNRules::tRuleSet rules;
    try {
      rules.ReadText(text, "t.pro");
      ADD_FAILURE() << "read: " << text;
    } catch (const ZYNError::Fatal& e) {
      EXPECT_EQ(e.Line(), "ERROR: Rules file \"t.pro\" " + message) << text;
    }
  }
}

TEST(ZYNRulesTest, ShippedRulesAreFoundWhereLibrariesPutThem) {
  for (const char* yes : {"META-INF/proguard/x.pro", "lib/a.jar!META-INF/proguard/gson.pro",
                          "d/META-INF/com.android.tools/r8/rules.pro", "META-INF/com.android.tools/proguard/a.pro"})
    EXPECT_TRUE(ZYNRules::IsShippedRules(yes)) << yes;
  for (const char* no : {"META-INF/proguard/x.txt", "META-INF/proguard/a/x.pro", "XMETA-INF/proguard/x.pro",
                         "META-INF/com.android.tools/x.pro", "META-INF/x.pro", "proguard/x.pro"})
    EXPECT_FALSE(ZYNRules::IsShippedRules(no)) << no;
}

}  // namespace
