package com.qelvo.runtime;

// The first flavour's entry class, which takes the splash settings in both flavours.
public final class WinLauncher {
    public static void main(String[] args) throws Exception {
        kwntest.Recorder.entry("com/qelvo/runtime/WinLauncher", args);
    }

    public static void initAwtSplashConfig(boolean enabled, boolean secondFlag, String text1,
            int x1, int y1, String color1, int size1, int weight1, String text2, int x2, int y2,
            String color2, int size2, int weight2) throws Exception {
        kwntest.Recorder.record("splash", enabled, secondFlag, text1, x1, y1, color1, size1, weight1,
                text2, x2, y2, color2, size2, weight2);
        if (kwntest.Recorder.told("splashThrows")) throw new IllegalStateException("splash was told to throw");
    }
}
