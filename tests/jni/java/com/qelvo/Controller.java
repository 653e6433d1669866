package com.qelvo;

import java.util.concurrent.CountDownLatch;
import kwntest.Recorder;

/** Test double of the instance controller; a null command line releases a waiting main. */
public final class Controller {
    public static final CountDownLatch STARTUPS = new CountDownLatch(1);

    private Controller() {}

    public static void startupPerformed(String commandLine) {
        Recorder.record("startupPerformed", commandLine);
        if (commandLine == null) {
            STARTUPS.countDown();
        }
    }
}
