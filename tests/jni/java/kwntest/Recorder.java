package kwntest;

import java.nio.file.*;

// The Java side of the JNI tests. Each call the launcher makes is appended to the file named by
// kwn.test.record as a line "event|value|value...". The test tells the doubles what to do in the
// file beside it ending in ".tell", a comma-separated list it may rewrite between steps.
public final class Recorder {
    public static synchronized void record(String event, Object... values) throws Exception {
        StringBuilder line = new StringBuilder(event);
        for (Object value : values) line.append('|').append(value);
        Files.writeString(Paths.get(System.getProperty("kwn.test.record")), line + "\n",
                StandardOpenOption.CREATE, StandardOpenOption.APPEND);
    }

    public static boolean told(String behaviour) throws Exception {
        Path tell = Paths.get(System.getProperty("kwn.test.record") + ".tell");
        return ("," + Files.readString(tell) + ",").contains("," + behaviour + ",");
    }

    // What main does in both entry classes.
    public static void entry(String entryClass, String[] args) throws Exception {
        record("main " + entryClass, (Object[]) args);
        if (told("waitForController")) com.qelvo.Controller.STARTUPS.await();
        if (told("mainThrows")) throw new IllegalStateException("main was told to throw");
    }
}
