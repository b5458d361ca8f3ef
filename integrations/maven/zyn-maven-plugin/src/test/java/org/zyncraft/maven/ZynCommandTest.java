package org.zyncraft.maven;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertNull;
import static org.junit.Assert.assertTrue;
import static org.junit.Assert.fail;

import java.io.File;
import java.util.Arrays;
import java.util.Collections;
import org.junit.Test;

public class ZynCommandTest {
  private static ZynCommand command() {
    ZynCommand c = new ZynCommand();
    c.keys = Arrays.asList("-super", "-nowarn");
    c.keep = Collections.singletonList("a.b.**");
    c.map = new File("target/zyn/mapping.txt");
    c.report = new File("target/zyn/report.json");
    c.target = new File("target/app.jar");
    return c;
  }

  @Test
  public void theCommandLineHasTheKeysThePatternsTheOutputsAndTheTarget() throws Exception {
    assertEquals(Arrays.asList("zyn", "-super", "-nowarn", "-keep:a.b.**", "-map:target/zyn/mapping.txt",
                     "-report:target/zyn/report.json", "target/app.jar"),
        command().commandLine());
    ZynCommand based = command();
    based.base = new File("target").getAbsoluteFile().getParentFile();
    based.target = new File(based.base, "target/app.jar");
    based.map = new File("/elsewhere/m.txt");
    assertEquals(Arrays.asList("zyn", "-super", "-nowarn", "-keep:a.b.**", "-map:/elsewhere/m.txt",
                     "-report:target/zyn/report.json", "target/app.jar"),
        based.commandLine());
  }

  @Test
  public void aBadConfigurationNamesItsParameter() {
    String[][] cases = {{"super", "keys"}, {"-keep:x", "keys"}, {"-a b", "keys"}};
    for (String[] c : cases) {
      ZynCommand command = command();
      command.keys = Collections.singletonList(c[0]);
      expectError(command, "(parameter " + c[1] + ")");
    }
    ZynCommand noTarget = command();
    noTarget.target = null;
    expectError(noTarget, "(parameter classes)");
    ZynCommand missingRules = command();
    missingRules.rules = Collections.singletonList(new File("no/such.pro"));
    expectError(missingRules, "(parameter rules)");
    ZynCommand noExecutable = command();
    noExecutable.executable = " ";
    expectError(noExecutable, "(parameter executable)");
  }

  @Test
  public void anErrorLineOrAnExitCodeFailsTheBuild() {
    assertNull(ZynCommand.failure(Arrays.asList("Files processed: 1"), 0));
    assertEquals("zyn: ERROR: Archive \"a.jar\" is damaged: x",
        ZynCommand.failure(Arrays.asList("a.jar", "ERROR: Archive \"a.jar\" is damaged: x"), 1));
    assertEquals("zyn ended with exit code 1", ZynCommand.failure(Collections.emptyList(), 1));
    assertEquals("zyn: ERROR: Unknown parameter \"-bogus\" (parameter keys)",
        ZynCommand.failure(Arrays.asList("ERROR: Unknown parameter \"-bogus\""), 1));
    assertTrue(ZynCommand.failure(Collections.emptyList(), 2).contains("help"));
  }

  private static void expectError(ZynCommand command, String part) {
    try {
      command.commandLine();
      fail("accepted: " + command.keys);
    } catch (ZynCommand.ConfigurationError e) {
      assertTrue(e.getMessage(), e.getMessage().endsWith(part));
    }
  }
}
