package com.kestrowan.runtime.launcher;

/**
 * A step an application takes on its first start, before its main class runs. Implementations
 * are found with {@link java.util.ServiceLoader}: list them, one class name per line, in the
 * file {@code META-INF/services/com.kestrowan.runtime.launcher.FirstRunAction} of the
 * application's jar. Each needs a public constructor without arguments.
 */
public interface FirstRunAction {
    /**
     * Takes the step.
     *
     * @return true to go on with the next action and then the application; false to stop the
     *     start here (the launcher then ends without running the application)
     * @throws Exception to stop the start as false does; the launcher prints the exception
     */
    boolean run() throws Exception;
}
