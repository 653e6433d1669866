package sample;

import com.kestrowan.runtime.launcher.FirstRunAction;
import java.nio.file.Files;
import java.nio.file.Paths;

// Stops the start while the test's ".tell" file says "stop".
public final class StopAction implements FirstRunAction {
    @Override
    public boolean run() throws Exception {
        return !Files.readString(Paths.get(System.getProperty("kwn.test.record") + ".tell")).equals("stop");
    }
}
