package com.qelvo;

import java.util.ArrayDeque;
import java.util.ArrayList;
import java.util.List;
import java.util.Objects;

/**
 * Later starts of a single-instance application. When the launcher runs as a single instance,
 * a second start of the same launcher ends at once and hands its command line to the running
 * application, which learns of it through the listeners registered here.
 *
 * <pre>{@code
 * Controller.addStartupListener(parameters -> {
 *     String[] args = Controller.splitParameters(parameters);
 *     SwingUtilities.invokeLater(() -> openFiles(args));
 * });
 * }</pre>
 *
 * <p>Listeners are called one message at a time, in the order the starts came, on a thread that
 * is not the application's: hand long work to a thread of your own. Starts that arrive while
 * no listener is registered wait and go to the next listener that registers, so an application
 * that registers late in its start-up still sees every one.
 */
public final class Controller {
    /** Told about each later start of the application. */
    public interface StartupListener {
        /**
         * A later start of the application.
         *
         * @param parameters that start's arguments as one text, exactly as typed behind the
         *     program name (see {@link Controller#splitParameters(String)}), or null when it
         *     had none
         */
        void startupPerformed(String parameters);
    }

    private static final Object NO_PARAMETERS = new Object();
    private static final Object lock = new Object();
    private static final List<StartupListener> listeners = new ArrayList<>();
    private static final ArrayDeque<Object> undelivered = new ArrayDeque<>();
    private static boolean delivering;

    private Controller() {}

    /**
     * Registers a listener; starts that arrived while no listener was registered go to it now.
     *
     * @param listener the listener, called for every later start from now on
     */
    public static void addStartupListener(StartupListener listener) {
        Objects.requireNonNull(listener, "listener");
        synchronized (lock) {
            listeners.add(listener);
        }
        deliver();
    }

    /**
     * Unregisters a listener; nothing happens when it was not registered.
     *
     * @param listener the listener to remove
     */
    public static void removeStartupListener(StartupListener listener) {
        synchronized (lock) {
            listeners.remove(listener);
        }
    }

    /**
     * Delivers a later start to every listener, in the order they registered. Called by the
     * launcher on a thread of its own; an application may call it too. A listener that throws
     * is reported on standard error and the others are still told.
     *
     * @param parameters the start's arguments as one text, or null for a start without any
     */
    public static void startupPerformed(String parameters) {
        synchronized (lock) {
            undelivered.add(parameters == null ? NO_PARAMETERS : parameters);
        }
        deliver();
    }

    /**
     * Splits a later start's parameters into arguments the way the launcher splits its own
     * command line, so that they read as they would have in the application's main: blanks
     * separate arguments; double or single quotes group text up to the next quote of the same
     * kind (or the end), the quotes are dropped, and text right behind a closing quote starts
     * a new argument; there is no escape character.
     *
     * @param parameters the text handed to a listener; null gives no arguments
     * @return the arguments, possibly none
     */
    public static String[] splitParameters(String parameters) {
        List<String> tokens = new ArrayList<>();
        String text = parameters == null ? "" : parameters;
        int start = 0;
        while (start < text.length()) {
            if (text.charAt(start) == ' ') {
                ++start;
                continue;
            }
            int blank = text.indexOf(' ', start);
            int quote = firstOf(text.indexOf('"', start), text.indexOf('\'', start));
            if (blank != -1 && (quote < 0 || blank < quote)) {
                tokens.add(text.substring(start, blank));
                start = blank; // skipped as a leading blank
            } else if (quote < 0) {
                tokens.add(text.substring(start));
                break;
            } else {
                int close = text.indexOf(text.charAt(quote), quote + 1);
                if (close == -1) {
                    close = text.length();
                }
                tokens.add(text.substring(start, quote) + text.substring(quote + 1, close));
                start = close + 1;
                if (start < text.length() && text.charAt(start) == ' ') {
                    ++start;
                }
            }
        }
        return tokens.toArray(new String[0]);
    }

    private static int firstOf(int a, int b) {
        return a < 0 ? b : b < 0 ? a : Math.min(a, b);
    }

    // One thread at a time delivers, whichever came first; the others only queue. That keeps
    // the order across threads without calling listeners under the lock.
    private static void deliver() {
        synchronized (lock) {
            if (delivering) {
                return;
            }
            delivering = true;
        }
        try {
            while (true) {
                Object message;
                List<StartupListener> targets;
                synchronized (lock) {
                    if (undelivered.isEmpty() || listeners.isEmpty()) {
                        delivering = false;
                        return;
                    }
                    message = undelivered.poll();
                    targets = new ArrayList<>(listeners);
                }
                for (StartupListener listener : targets) {
                    tell(listener, message == NO_PARAMETERS ? null : (String) message);
                }
            }
        } catch (RuntimeException | Error failure) {
            // Not a listener's (those are caught): let the next call deliver again.
            synchronized (lock) {
                delivering = false;
            }
            throw failure;
        }
    }

    private static void tell(StartupListener listener, String parameters) {
        try {
            listener.startupPerformed(parameters);
        } catch (Throwable failure) {
            System.err.println("A startup listener failed on " + parameters + ":");
            failure.printStackTrace();
        }
    }
}
