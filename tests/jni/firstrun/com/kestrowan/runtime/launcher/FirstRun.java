package com.kestrowan.runtime.launcher;

import kwntest.Recorder;

/** Test double of the first-run hook: goes on, stops or throws as the test says. */
public final class FirstRun {
    private FirstRun() {}

    public static boolean firstRun() {
        Recorder.record("firstRun");
        if (Recorder.told("firstRunThrows")) {
            throw new IllegalStateException("first run was told to throw");
        }
        return !Recorder.told("firstRunFalse");
    }
}
