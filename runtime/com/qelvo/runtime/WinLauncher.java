package com.qelvo.runtime;

/**
 * The entry class the launcher calls for its first flavour, and in both flavours the receiver
 * of the runtime splash's text settings. Its {@link #main(String[])} is that of
 * {@code com.kestrowan.runtime.launcher.WinLauncher}, where the argument layout is described.
 */
public final class WinLauncher {
    private WinLauncher() {}

    /**
     * Starts the application as {@code com.kestrowan.runtime.launcher.WinLauncher.main} does.
     *
     * @param args the launcher's leading arguments, then the application's
     * @throws Exception as {@code com.kestrowan.runtime.launcher.WinLauncher.main} does
     */
    public static void main(String[] args) throws Exception {
        com.kestrowan.runtime.launcher.WinLauncher.main(args);
    }

    /**
     * Takes the launcher's settings of the two text lines of the runtime splash and draws them
     * on it when it is showing. Called by the launcher before main; harmless without a splash
     * or a display.
     *
     * @param enabled whether the lines are drawn at all
     * @param secondFlag a further launcher setting, kept but not used
     * @param text1 the first line (the status line, see {@code com.qelvo.SplashScreen})
     * @param x1 the first line's left edge, in splash pixels
     * @param y1 the first line's top edge, in splash pixels
     * @param color1 the first line's colour as "red,green,blue", each 0 to 255
     * @param size1 the first line's font size, in points
     * @param weight1 the first line's font weight; 700 and above is bold
     * @param text2 the second line
     * @param x2 the second line's left edge
     * @param y2 the second line's top edge
     * @param color2 the second line's colour
     * @param size2 the second line's font size
     * @param weight2 the second line's font weight
     */
    public static void initAwtSplashConfig(boolean enabled, boolean secondFlag, String text1,
            int x1, int y1, String color1, int size1, int weight1, String text2, int x2, int y2,
            String color2, int size2, int weight2) {
        if (!enabled) {
            return;
        }
        SplashOverlay.configure(new SplashOverlay.Line(text1, x1, y1, color1, size1, weight1),
                new SplashOverlay.Line(text2, x2, y2, color2, size2, weight2));
    }
}
