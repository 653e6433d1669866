package com.qelvo;

import java.util.concurrent.CountDownLatch;

// The instance controller, told of later starts; a null command line releases a waiting main,
// "throw" makes it throw.
public final class Controller {
    public static final CountDownLatch STARTUPS = new CountDownLatch(1);

    public static void startupPerformed(String commandLine) throws Exception {
        kwntest.Recorder.record("startupPerformed", commandLine);
        if (commandLine == null) STARTUPS.countDown();
        if ("throw".equals(commandLine)) throw new IllegalStateException("startup was told to throw");
    }
}
