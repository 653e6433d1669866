package com.kestrowan.runtime.launcher;

// The second flavour's entry class with a main that is not static, and no first-run class.
public final class WinLauncher {
    public void main(String[] args) {}
}
