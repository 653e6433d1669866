package com.qelvo.runtime;

import kwntest.Recorder;

/** Test double of the splash controller that the splash thread polls. */
public final class QelvoController {
    private QelvoController() {}

    public static int getAction() {
        Recorder.record("getAction");
        return 2;
    }

    public static String getText() {
        Recorder.record("getText");
        return "Loading \u00e9l\u00e9ments";
    }
}
