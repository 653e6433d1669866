package com.kestrowan.runtime.launcher;

import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.PrintStream;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

// The error and output logs the launcher names. Logs are a side matter: a log that cannot be
// opened is reported on the original standard error and the application starts without it.
final class LogFiles {
    private static final Pattern REFERENCE = Pattern.compile("\\$\\{([^}]*)\\}");

    private LogFiles() {}

    // Returns the stream that replaced System.err or System.out, or null when none did.
    static PrintStream redirect(String path, boolean append, boolean isErrorLog) {
        if (path.isEmpty()) {
            return null;
        }
        PrintStream original = System.err;
        try {
            File file = new File(resolve(path));
            File parent = file.getAbsoluteFile().getParentFile();
            if (parent != null && !parent.isDirectory() && !parent.mkdirs()) {
                throw new IOException("cannot create the directory " + parent);
            }
            PrintStream log = new PrintStream(new FileOutputStream(file, append), true);
            if (isErrorLog) {
                System.setErr(log);
            } else {
                System.setOut(log);
            }
            return log;
        } catch (IOException | IllegalArgumentException | SecurityException e) {
            original.println("The " + (isErrorLog ? "error" : "output") + " log " + path
                    + " is not written: " + e.getMessage());
            return null;
        }
    }

    // ${NAME} parts of a path that starts with $: the system property NAME, else the
    // environment variable NAME; other paths are taken as they are.
    static String resolve(String path) {
        if (!path.startsWith("$")) {
            return path;
        }
        Matcher reference = REFERENCE.matcher(path);
        StringBuffer resolved = new StringBuffer();
        int end = 0;
        while (reference.find()) {
            String name = reference.group(1);
            String value = name.isEmpty() ? null : System.getProperty(name, System.getenv(name));
            if (value == null) {
                throw new IllegalArgumentException("${" + name + "} names neither a system "
                        + "property nor an environment variable");
            }
            reference.appendReplacement(resolved, Matcher.quoteReplacement(value));
            end = reference.end();
        }
        if (path.indexOf("${", end) >= 0) {
            throw new IllegalArgumentException("a ${ is not closed");
        }
        return reference.appendTail(resolved).toString();
    }
}
