package org.zyncraft.maven;

import java.io.BufferedReader;
import java.io.File;
import java.io.IOException;
import java.io.InputStreamReader;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.List;
import org.apache.maven.plugin.AbstractMojo;
import org.apache.maven.plugin.MojoExecutionException;
import org.apache.maven.plugin.MojoFailureException;
import org.apache.maven.plugins.annotations.Component;
import org.apache.maven.plugins.annotations.LifecyclePhase;
import org.apache.maven.plugins.annotations.Mojo;
import org.apache.maven.plugins.annotations.Parameter;
import org.apache.maven.project.MavenProject;
import org.apache.maven.project.MavenProjectHelper;

/**
 * Shrinks the project's main artifact (a jar or war) with zyn, or its classes before packaging. The size table
 * goes to the build log; an error of zyn fails the build with its line. zyn keeps the original beside the
 * result under its backup name; the mapping is attached to the project with the classifier "mapping".
 */
@Mojo(name = "shrink", defaultPhase = LifecyclePhase.PACKAGE, threadSafe = true)
public class ShrinkMojo extends AbstractMojo {
  @Parameter(defaultValue = "${project}", readonly = true, required = true)
  private MavenProject project;

  @Component
  private MavenProjectHelper projectHelper;

  /** The zyn keys, such as -super or -noren. */
  @Parameter
  private List<String> keys = new ArrayList<>();

  /** Keep patterns (-keep:): a.b.C, a.b.*, a.**, a.b.C#member. */
  @Parameter
  private List<String> keep = new ArrayList<>();

  /** ProGuard rules files (-rules:). */
  @Parameter
  private List<File> rules = new ArrayList<>();

  /** The mapping of renamed members (-map:). */
  @Parameter(defaultValue = "${project.build.directory}/zyn/mapping.txt")
  private File map;

  /** The members removed (-usage:). */
  @Parameter(defaultValue = "${project.build.directory}/zyn/usage.txt")
  private File usage;

  /** The run as JSON (-report:). */
  @Parameter(defaultValue = "${project.build.directory}/zyn/report.json")
  private File report;

  /** Threads (ZYN_THREADS); by default zyn's own choice. */
  @Parameter(property = "zyn.threads")
  private Integer threads;

  /** Skips the goal. */
  @Parameter(property = "zyn.skip", defaultValue = "false")
  private boolean skip;

  /** The zyn executable: a path, or a name looked up on the PATH. */
  @Parameter(property = "zyn.executable", defaultValue = "zyn")
  private String executable;

  /** Shrink target/classes (bind the goal to prepare-package) instead of the main artifact; zyn's backups of the
   * classes are removed, so that they are not packed. */
  @Parameter(property = "zyn.classes", defaultValue = "false")
  private boolean classes;

  /** Attach the mapping to the project (classifier "mapping") for install and deploy. */
  @Parameter(defaultValue = "true")
  private boolean attachMapping;

  @Override
  public void execute() throws MojoExecutionException, MojoFailureException {
    if (skip) {
      getLog().info("zyn: skipped");
      return;
    }
    ZynCommand command = new ZynCommand();
    command.executable = executable;
    command.keys = keys;
    command.keep = keep;
    command.rules = rules;
    command.map = map;
    command.usage = usage;
    command.report = report;
    command.base = project.getBasedir();
    command.target = classes ? new File(project.getBuild().getOutputDirectory()) : project.getArtifact().getFile();
    if (threads != null && (threads < 1 || threads > 256))
      throw new MojoFailureException("zyn: threads must be a number from 1 to 256, not " + threads + " (parameter threads)");
    List<String> line;
    try {
      line = command.commandLine();
    } catch (ZynCommand.ConfigurationError e) {
      throw new MojoFailureException("zyn: " + e.getMessage());
    }
    for (File output : new File[] {map, usage, report})
      if (output != null && output.getParentFile() != null) output.getParentFile().mkdirs();
    List<String> output = run(line);
    String failure = ZynCommand.failure(output, exitCode);
    if (failure != null) throw new MojoFailureException(failure);
    if (classes) removeBackups(command.target);
    if (attachMapping && map != null && map.isFile() && !classes)
      projectHelper.attachArtifact(project, "txt", "mapping", map);
  }

  private int exitCode;

  // zyn keeps each original class as NAME.~class beside it; in target/classes they would be packed into the
  // artifact, and the compiler makes them again.
  private void removeBackups(File folder) throws MojoExecutionException {
    try (java.util.stream.Stream<java.nio.file.Path> files = java.nio.file.Files.walk(folder.toPath())) {
      for (java.nio.file.Path p : (Iterable<java.nio.file.Path>) files::iterator)
        if (p.getFileName().toString().endsWith(".~class")) java.nio.file.Files.delete(p);
    } catch (IOException e) {
      throw new MojoExecutionException("zyn: the backups in " + folder + " cannot be removed: " + e.getMessage(), e);
    }
  }

  private List<String> run(List<String> line) throws MojoExecutionException {
    getLog().debug("zyn: " + String.join(" ", line));
    ProcessBuilder builder = new ProcessBuilder(line).directory(project.getBasedir()).redirectErrorStream(true);
    if (threads != null) builder.environment().put("ZYN_THREADS", Integer.toString(threads));
    List<String> output = new ArrayList<>();
    try {
      Process process = builder.start();
      try (BufferedReader reader =
          new BufferedReader(new InputStreamReader(process.getInputStream(), StandardCharsets.UTF_8))) {
        for (String text; (text = reader.readLine()) != null; ) {
          output.add(text);
          if (text.startsWith("ERROR: ")) getLog().error(text);
          else if (text.startsWith("WARNING: ")) getLog().warn(text);
          else getLog().info(text);
        }
      }
      exitCode = process.waitFor();
    } catch (IOException e) {
      throw new MojoExecutionException(
          "zyn: cannot run \"" + executable + "\" (parameter executable): " + e.getMessage(), e);
    } catch (InterruptedException e) {
      Thread.currentThread().interrupt();
      throw new MojoExecutionException("zyn: interrupted", e);
    }
    return output;
  }
}
