package org.zyncraft.maven;

import java.io.File;
import java.util.ArrayList;
import java.util.List;

/** What the plugin asks of zyn: the command line it assembles, and what zyn's output and exit code mean. */
final class ZynCommand {
  String executable = "zyn";
  List<String> keys = new ArrayList<>();
  List<String> keep = new ArrayList<>();
  List<File> rules = new ArrayList<>();
  File map;
  File usage;
  File report;
  File target;
  /** The folder zyn runs in: paths inside it are given relative to it (zyn takes no blanks in a path). */
  File base;

  /** A configuration error, with the parameter it is about. */
  static final class ConfigurationError extends Exception {
    ConfigurationError(String parameter, String message) {
      super(message + " (parameter " + parameter + ")");
    }
  }

  /** The command line: the executable, the keys, the keep patterns, the rules, the outputs, the target. */
  List<String> commandLine() throws ConfigurationError {
    if (executable == null || executable.isBlank()) throw new ConfigurationError("executable", "no zyn executable given");
    if (target == null) throw new ConfigurationError("classes", "nothing to shrink: the project has no main artifact");
    List<String> line = new ArrayList<>();
    line.add(executable);
    for (String key : keys) {
      // The outputs and keep rules have parameters of their own; a key is one word that begins with "-".
      if (key == null || !key.startsWith("-") || key.length() < 2 || key.chars().anyMatch(Character::isWhitespace))
        throw new ConfigurationError("keys", "\"" + key + "\" is not a zyn key (such as -super)");
      for (String own : new String[] {"-keep:", "-rules:", "-map:", "-usage:", "-report:"})
        if (key.startsWith(own))
          throw new ConfigurationError("keys", "\"" + key + "\": give " + own + " through its own parameter");
      line.add(key);
    }
    for (String pattern : keep) {
      if (pattern == null || pattern.isBlank()) throw new ConfigurationError("keep", "an empty keep pattern");
      line.add("-keep:" + pattern);
    }
    for (File file : rules) {
      if (file == null || !file.isFile()) throw new ConfigurationError("rules", "rules file " + file + " not found");
      line.add("-rules:" + shown(file));
    }
    if (map != null) line.add("-map:" + shown(map));
    if (usage != null) line.add("-usage:" + shown(usage));
    if (report != null) line.add("-report:" + shown(report));
    line.add(shown(target));
    for (String word : line)
      if (word.chars().anyMatch(Character::isWhitespace))
        throw new ConfigurationError("target", "zyn takes no path with blanks: \"" + word + "\"");
    return line;
  }

  // The errors zyn gives for what the configuration says, and the parameter each is about.
  private static final String[][] PARAMETERS = {
    {"ERROR: Unknown parameter ", "keys"}, {"ERROR: Invalid parameter ", "keys"}, {"ERROR: Empty parameter", "keys"},
    {"ERROR: Invalid keep pattern ", "keep"}, {"ERROR: Rules file ", "rules"}, {"ERROR: Map file ", "map"},
    {"ERROR: Usage file ", "usage"}, {"ERROR: Report file ", "report"}, {"ERROR: ZYN_THREADS ", "threads"}};

  private String shown(File file) {
    if (base == null) return file.getPath();
    java.nio.file.Path path = file.toPath().toAbsolutePath().normalize();
    java.nio.file.Path folder = base.toPath().toAbsolutePath().normalize();
    return path.startsWith(folder) ? folder.relativize(path).toString() : path.toString();
  }

  /** Why the run failed, from its output and exit code; null when it went through. */
  static String failure(List<String> output, int exitCode) {
    for (String line : output) {
      if (!line.startsWith("ERROR: ")) continue;
      for (String[] p : PARAMETERS)
        if (line.startsWith(p[0])) return "zyn: " + line + " (parameter " + p[1] + ")";
      return "zyn: " + line;
    }
    if (exitCode == 0) return null;
    if (exitCode == 2) return "zyn printed its help text instead of running (exit code 2)";
    return "zyn ended with exit code " + exitCode;
  }
}
