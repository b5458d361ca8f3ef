// release: 8
// forms: jar jars
// classpath: junit-jupiter-api.jar junit-jupiter-params.jar junit-jupiter-engine.jar junit-platform-engine.jar junit-platform-launcher.jar junit-platform-commons.jar opentest4j.jar apiguardian-api.jar
// Runs CartTest through the test framework's launcher: its data and conditions are private static methods
// that nothing calls and only annotations name ("discounts", "CartTest#sizes", "cartIsEmpty").
import static org.junit.platform.engine.discovery.DiscoverySelectors.selectClass;

import java.util.ArrayList;
import java.util.Collections;
import java.util.List;
import org.junit.platform.engine.TestExecutionResult;
import org.junit.platform.launcher.Launcher;
import org.junit.platform.launcher.TestExecutionListener;
import org.junit.platform.launcher.TestIdentifier;
import org.junit.platform.launcher.core.LauncherDiscoveryRequestBuilder;
import org.junit.platform.launcher.core.LauncherFactory;

public class Main {
    public static void main(String[] args) {
        List<String> lines = new ArrayList<>();
        Launcher launcher = LauncherFactory.create();
        launcher.execute(LauncherDiscoveryRequestBuilder.request().selectors(selectClass(CartTest.class)).build(),
                new TestExecutionListener() {
                    @Override
                    public void executionFinished(TestIdentifier id, TestExecutionResult result) {
                        String why = result.getThrowable().map(t -> " " + t.getClass().getSimpleName() + ": " + t.getMessage()).orElse("");
                        lines.add(id.getDisplayName() + " " + result.getStatus() + why);
                    }

                    @Override
                    public void executionSkipped(TestIdentifier id, String reason) {
                        lines.add(id.getDisplayName() + " skipped: " + reason);
                    }
                });
        Collections.sort(lines);
        lines.forEach(System.out::println);
    }
}
