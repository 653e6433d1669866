package com.kestrowan.runtime.launcher;

import java.util.ServiceLoader;

/**
 * The first-run hook of the second flavour: while the installation's first-run marker file
 * {@code .kestrowan\firstrun} exists, the launcher calls {@link #firstRun()} before the
 * application's main class. Creating and deleting the marker is the installer's and the
 * application's business; the launcher never does.
 */
public final class FirstRun {
    private FirstRun() {}

    /**
     * Runs every {@link FirstRunAction} of the class path, in class path order, until one
     * returns false.
     *
     * @return false when an action asked to stop the start, otherwise true (also without any
     *     action)
     * @throws Exception whatever an action throws; the remaining actions do not run
     */
    public static boolean firstRun() throws Exception {
        // The launcher's own thread may carry no context class loader: look where main is loaded.
        for (FirstRunAction action
                : ServiceLoader.load(FirstRunAction.class, ClassLoader.getSystemClassLoader())) {
            if (!action.run()) {
                return false;
            }
        }
        return true;
    }
}
