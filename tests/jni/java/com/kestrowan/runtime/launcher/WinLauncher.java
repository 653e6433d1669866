package com.kestrowan.runtime.launcher;

// The second flavour's entry class and its first-run hook, which goes on, stops or throws.
public final class WinLauncher {
    public static void main(String[] args) throws Exception {
        kwntest.Recorder.entry("com/kestrowan/runtime/launcher/WinLauncher", args);
    }
}

final class FirstRun {
    static boolean firstRun() throws Exception {
        kwntest.Recorder.record("firstRun");
        if (kwntest.Recorder.told("firstRunThrows")) throw new IllegalStateException("first run was told to throw");
        return !kwntest.Recorder.told("firstRunFalse");
    }
}
