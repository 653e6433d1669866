package com.qelvo;

import java.util.concurrent.CountDownLatch;
import kwntest.Recorder;

// The instance controller, told of later starts; a null command line releases a waiting main.
public final class Controller {
    public static final CountDownLatch STARTUPS = new CountDownLatch(1);

    public static void startupPerformed(String commandLine) throws Exception {
        Recorder.record("startupPerformed", commandLine);
        if (commandLine == null) STARTUPS.countDown();
    }
}
