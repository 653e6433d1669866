package com.kestrowan.runtime.launcher;

// Both classes load, but neither holds the static method the launcher asks for.
public final class WinLauncher {
    public void main(String[] args) {}
}

final class FirstRun {
    boolean firstRun() { return true; }
}
