package com.kestrowan.runtime.launcher;

import kwntest.Recorder;

// The second flavour's entry class and its first-run hook, which goes on, stops or throws.
public final class WinLauncher {
    public static void main(String[] args) throws Exception {
        Recorder.entry("com/kestrowan/runtime/launcher/WinLauncher", args);
    }
}

final class FirstRun {
    static boolean firstRun() throws Exception {
        Recorder.record("firstRun");
        if (Recorder.told("firstRunThrows")) throw new IllegalStateException("first run was told to throw");
        return !Recorder.told("firstRunFalse");
    }
}
