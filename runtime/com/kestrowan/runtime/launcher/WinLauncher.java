package com.kestrowan.runtime.launcher;

import java.io.PrintStream;
import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.util.Arrays;

/**
 * The entry class the launcher calls for its second flavour; the first flavour's entry class
 * {@code com.qelvo.runtime.WinLauncher} runs the same {@link #main(String[])}.
 *
 * <p>The launcher passes six leading arguments before the application's own: the windowed flag
 * ("true" or "false"), the application's main class, the error log path, the output log path
 * (either may be empty for none), the append flag ("true" appends to the logs, "false" truncates
 * them) and the program path of the launcher. A log path starting with {@code $} may hold
 * {@code ${NAME}} references, replaced by the system property NAME or else the environment
 * variable NAME. The program path is the system property {@code kestrowan.launcher.path} while
 * the application runs.
 */
public final class WinLauncher {
    private static final String PROGRAM_PATH_PROPERTY = "kestrowan.launcher.path";

    private static final int LEADING_ARGUMENTS = 6;

    private WinLauncher() {}

    /**
     * Redirects the logs, then calls the application's {@code public static void main(String[])}
     * with the arguments behind the leading six.
     *
     * @param args the leading arguments described above, then the application's arguments
     * @throws Exception when the main class or its main method cannot be found; an exception
     *     escaping the application's main is written to the error log and rethrown unchanged
     */
    public static void main(String[] args) throws Exception {
        if (args.length < LEADING_ARGUMENTS - 1) {
            throw new IllegalArgumentException("The launcher passed " + args.length
                    + " arguments; at least " + (LEADING_ARGUMENTS - 1)
                    + " are needed before the application's own");
        }
        boolean append = "true".equals(args[4]);
        PrintStream errorLog = LogFiles.redirect(args[2], append, true);
        LogFiles.redirect(args[3], append, false);
        // An empty launcher argument list leaves out the program path, and with it the tail.
        if (args.length >= LEADING_ARGUMENTS) {
            System.setProperty(PROGRAM_PATH_PROPERTY, args[5]);
        }
        String[] applicationArgs =
                Arrays.copyOfRange(args, Math.min(args.length, LEADING_ARGUMENTS), args.length);
        Method main = findMain(args[1]);
        try {
            main.invoke(null, (Object) applicationArgs);
        } catch (InvocationTargetException e) {
            throw logged(e.getCause(), errorLog);
        } catch (ExceptionInInitializerError e) {
            throw logged(e, errorLog);
        }
    }

    private static Method findMain(String className) throws Exception {
        ClassLoader loader = ClassLoader.getSystemClassLoader();
        Thread.currentThread().setContextClassLoader(loader);
        Class<?> mainClass;
        try {
            mainClass = Class.forName(className, false, loader);
        } catch (ClassNotFoundException e) {
            throw new ClassNotFoundException("The application's main class " + className
                    + " was not found on the class path", e);
        }
        Method main;
        try {
            main = mainClass.getDeclaredMethod("main", String[].class);
        } catch (NoSuchMethodException e) {
            main = null;
        }
        if (main == null || !Modifier.isStatic(main.getModifiers())
                || !Modifier.isPublic(main.getModifiers()) || main.getReturnType() != void.class) {
            throw new NoSuchMethodException("The application's main class " + className
                    + " has no public static void main(String[])");
        }
        // A main class that is not public itself still runs, as it would from the command line.
        main.setAccessible(true);
        return main;
    }

    // The launcher shows its own message for a failed main, so the details go to the log.
    private static Exception logged(Throwable failure, PrintStream errorLog) {
        if (errorLog != null) {
            errorLog.println("The application's main ended with an exception:");
            failure.printStackTrace(errorLog);
        }
        return WinLauncher.<RuntimeException>rethrow(failure);
    }

    // Rethrows any throwable unchanged, checked or not, so the launcher sees the original.
    @SuppressWarnings("unchecked")
    private static <T extends Throwable> T rethrow(Throwable failure) throws T {
        throw (T) failure;
    }
}
