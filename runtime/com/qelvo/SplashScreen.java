package com.qelvo;

import com.qelvo.runtime.QelvoController;

/**
 * The application's hold on the launcher's splash screen, whichever kind the launcher shows:
 * its own window, or the Java runtime's splash with the launcher's text lines drawn on it.
 *
 * <pre>{@code
 * SplashScreen.setText("Loading plug-ins...");
 * loadPlugins();
 * SplashScreen.hide();
 * }</pre>
 *
 * <p>Both methods may be called from any thread, also before or without a splash; the
 * launcher's own window picks changes up within a tenth of a second.
 */
public final class SplashScreen {
    private SplashScreen() {}

    /**
     * Replaces the first text line (the status line) of the splash.
     *
     * @param text the new line
     */
    public static void setText(String text) {
        QelvoController.setText(text);
    }

    /** Closes the splash; later texts are not shown. */
    public static void hide() {
        QelvoController.hide();
    }
}
