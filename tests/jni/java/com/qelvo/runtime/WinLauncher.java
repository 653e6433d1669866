package com.qelvo.runtime;

import kwntest.EntryMain;
import kwntest.Recorder;

/** Test double of the first flavour's entry class, which also takes the splash settings. */
public final class WinLauncher {
    private WinLauncher() {}

    public static void main(String[] args) throws InterruptedException {
        EntryMain.run("com/qelvo/runtime/WinLauncher", args);
    }

    public static void initAwtSplashConfig(boolean enabled, boolean secondFlag, String text1,
            int x1, int y1, String color1, int size1, int weight1, String text2, int x2, int y2,
            String color2, int size2, int weight2) {
        Recorder.record("splash", String.valueOf(enabled), String.valueOf(secondFlag), text1,
                String.valueOf(x1), String.valueOf(y1), color1, String.valueOf(size1),
                String.valueOf(weight1), text2, String.valueOf(x2), String.valueOf(y2), color2,
                String.valueOf(size2), String.valueOf(weight2));
    }
}
