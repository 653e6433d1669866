package sample;

import com.kestrowan.runtime.launcher.FirstRunAction;

// Stops the start: the test puts the first-run marker there only when it wants that.
public final class StopAction implements FirstRunAction {
    @Override
    public boolean run() {
        return false;
    }
}
