package com.kestrowan.runtime.launcher;

import kwntest.EntryMain;

/** Test double of the second flavour's entry class. */
public final class WinLauncher {
    private WinLauncher() {}

    public static void main(String[] args) throws InterruptedException {
        EntryMain.run("com/kestrowan/runtime/launcher/WinLauncher", args);
    }
}
