package com.kestrowan.runtime.launcher;

/**
 * The second flavour's entry class with a main that is not static: the class loads, but the
 * static method the launcher asks for does not exist.
 */
public final class WinLauncher {
    public void main(String[] args) {
        throw new IllegalStateException("an instance main must never be called");
    }
}
