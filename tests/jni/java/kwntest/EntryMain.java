package kwntest;

import com.qelvo.Controller;
import java.util.concurrent.TimeUnit;

/** What both entry classes' main does: record the arguments, then act as told. */
public final class EntryMain {
    private EntryMain() {}

    public static void run(String entryClass, String[] args) throws InterruptedException {
        Recorder.record("main " + entryClass, args);
        if (Recorder.told("mainThrows")) {
            throw new IllegalStateException("main was told to throw");
        }
        if (Recorder.told("waitForController")) {
            boolean told = Controller.STARTUPS.await(30, TimeUnit.SECONDS);
            Recorder.record("controller " + (told ? "called" : "timeout"));
        }
    }
}
