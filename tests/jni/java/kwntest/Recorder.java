package kwntest;

import java.io.IOException;
import java.io.UncheckedIOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.nio.file.StandardOpenOption;

/** Appends each call the launcher made to the file the test names, so the test can compare. */
public final class Recorder {
    private Recorder() {}

    /** One event: its name and value count on a line, then one value per line ("null" for null). */
    public static synchronized void record(String event, String... values) {
        StringBuilder text = new StringBuilder();
        text.append(event).append(' ').append(values.length).append('\n');
        for (String value : values) {
            text.append(value == null ? "null" : value).append('\n');
        }
        try {
            Files.write(Paths.get(System.getProperty("kwn.test.record")),
                    text.toString().getBytes(StandardCharsets.UTF_8),
                    StandardOpenOption.CREATE, StandardOpenOption.APPEND);
        } catch (IOException e) {
            throw new UncheckedIOException(e);
        }
    }

    /** Whether the test asked for a behaviour through the kwn.test.behaviour property. */
    public static boolean told(String behaviour) {
        String all = "," + System.getProperty("kwn.test.behaviour", "") + ",";
        return all.contains("," + behaviour + ",");
    }
}
