package com.qelvo.runtime;

import java.util.Objects;

/**
 * The splash controller: the application posts texts and the request to hide, and the
 * launcher's splash window collects them ten times a second with {@link #getAction()} and
 * {@link #getText()}. Applications normally use {@code com.qelvo.SplashScreen}, which does the
 * same; when the runtime's splash is showing instead, changes are drawn on it at once.
 */
public final class QelvoController {
    /** {@link #getAction()}: nothing to do. */
    private static final int NOTHING = 0;
    /** {@link #getAction()}: hide the splash. */
    private static final int HIDE = 1;
    /** {@link #getAction()}: fetch the new first line with {@link #getText()}. */
    private static final int FETCH_TEXT = 2;

    private static final Object lock = new Object();
    private static boolean hidePending;
    private static String pendingText;

    private QelvoController() {}

    /**
     * Replaces the splash's first text line.
     *
     * @param text the new line
     */
    public static void setText(String text) {
        Objects.requireNonNull(text, "text");
        synchronized (lock) {
            pendingText = text;
        }
        SplashOverlay.setFirstText(text);
    }

    /** Closes the splash. */
    public static void hide() {
        synchronized (lock) {
            hidePending = true;
        }
        SplashOverlay.close();
    }

    /**
     * What the launcher's splash window should do next. A request to hide is answered once and
     * wins over a pending text.
     *
     * @return 1 to hide the splash, 2 to fetch a new first line with {@link #getText()}, 0 for
     *     nothing
     */
    public static int getAction() {
        synchronized (lock) {
            if (hidePending) {
                hidePending = false;
                pendingText = null;
                return HIDE;
            }
            return pendingText != null ? FETCH_TEXT : NOTHING;
        }
    }

    /**
     * Takes the pending first line: the latest text set since the last call.
     *
     * @return that text, or null when none is pending
     */
    public static String getText() {
        synchronized (lock) {
            String text = pendingText;
            pendingText = null;
            return text;
        }
    }
}
