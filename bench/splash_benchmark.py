#!/usr/bin/env python3
"""What the native splash screen costs a start, and how soon it is on screen.

    python3 bench/splash_benchmark.py [--runs 21] [--prefix DIR]

Needs kwnbuild, the x64 stub, the stand-in runtime and bench/splashtimer.exe of the x64 build
(as bench/startup_benchmark.py does), Wine and Xvfb. Two launchers, alike but for key 108, find
the bundled stand-in runtime at once and run to the end (main returns, the VM is destroyed);
they take turns on a virtual display with a third start, of the splash launcher whose main
stays, timed by splashtimer.exe inside Wine from CreateProcess to its splash window being
visible (an application that ends at once is gone before its splash is).
Prints the medians; a measurement, it never fails on time.
"""
from __future__ import annotations

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
from pathlib import Path

SOURCE_ROOT = Path(__file__).resolve().parents[1]
sys.dont_write_bytecode = True
sys.path.insert(0, str(SOURCE_ROOT / "tests" / "e2e"))

import harness  # noqa: E402  (found through the path set above)

SETTINGS = {**harness.SETTINGS, 107: 1, 128: "B.\\jre;", 122: "app.Main", 141: 304, 142: 97,
            10109: 10, 10110: 60, 10111: "Loading", 10113: 12, 10114: "255,0,0", 10115: 700}
X11_DRIVER = "HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver"


def timed(prefix: harness.WinePrefix, timer: Path, launcher: Path, work: Path,
          env: dict[str, str], until_splash: bool = False) -> tuple[float, float]:
    result = work / "splashtimer.txt"
    with result.open("w") as output:
        subprocess.run([str(prefix.wine), str(timer), prefix.windows_path(launcher)] +
                       ["--until-splash"] * until_splash,
                       stdin=subprocess.DEVNULL, stdout=output, stderr=subprocess.DEVNULL,
                       env=prefix.environment(env), cwd=work, timeout=120, check=False)
    fields = result.read_text().split()
    if len(fields) != 3 or fields[2] != "0":
        raise SystemExit(f"{launcher.name}: splashtimer said {fields}")
    return float(fields[0]), float(fields[1])


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=21)
    parser.add_argument("--prefix", type=Path,
                        default=harness.BUILD / "host" / "bench-wineprefix")
    arguments = parser.parse_args()
    prefix = harness.WinePrefix(arguments.prefix.resolve(), Path(
        os.environ.get("KWN_E2E_WINE", "/usr/lib/wine/wine64")))
    standins = harness.required("KWN_E2E_STANDIN", harness.BUILD / "win-x64" / "standin")
    timer = standins.parent / "bench" / "splashtimer.exe"
    if not timer.exists():
        raise SystemExit(f"{timer} is missing: cmake --build --preset win-x64 builds it")
    prefix.initialise()
    work_parent = prefix.path.parent / "work"
    work_parent.mkdir(parents=True, exist_ok=True)
    os.environ.setdefault("KWN_E2E_WORK_DIR", str(work_parent))
    work = Path(tempfile.mkdtemp(dir=work_parent, prefix="splash-"))
    display = next(n for n in range(71, 99) if not Path(f"/tmp/.X11-unix/X{n}").exists())
    xvfb = subprocess.Popen(["Xvfb", f":{display}", "-screen", "0", "1024x768x24"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    registry = harness.Registry(prefix)
    try:
        registry.seed({X11_DRIVER: {"Managed": "N"}})
        subprocess.run([str(prefix.wineserver), "-k"], env=prefix.environment(), check=False)
        products = harness.Products(work / "products")
        harness.Runtime(work / "app" / "jre")
        shutil.copy2(timer, work / "splashtimer.exe")
        launchers = {}
        for name, on in (("splash on", 1), ("splash off", 0)):
            launchers[name] = products.build_launcher(
                work / "app" / f"{name.replace(' ', '-')}.exe", {**SETTINGS, 108: on})
        env = {"DISPLAY": f":{display}"}
        subprocess.run([str(prefix.wineserver), "-p"], env=prefix.environment(env), check=False)
        prefix.run(["cmd", "/c", "exit", "0"], env=env)
        shown: list[float] = []
        totals: dict[str, list[float]] = {name: [] for name in launchers}
        for turn in range(arguments.runs + 1):  # the first turn warms up and is not counted
            order = list(launchers.items())
            for name, launcher in order if turn % 2 else order[::-1]:
                _, total = timed(prefix, work / "splashtimer.exe", launcher, work, env)
                if name == "splash on":
                    splash, _ = timed(prefix, work / "splashtimer.exe", launcher, work,
                                      {**env, "KWN_STANDIN_VM": "hold-main=" +
                                       prefix.windows_path(work / "never")}, until_splash=True)
                    if splash < 0:
                        raise SystemExit("the splash window was never seen")
                    if turn:
                        shown.append(splash)
                if turn:
                    totals[name].append(total)
            print(f"turn {turn}: " + ", ".join(f"{name} {values[-1]:.1f} ms" for name, values
                                               in totals.items() if values), flush=True)
        on, off = (statistics.median(totals[name]) for name in ("splash on", "splash off"))
        print(f"median of {arguments.runs} under Wine (ms): start to splash visible "
              f"{statistics.median(shown):.1f}; whole start with the splash {on:.1f}, "
              f"without {off:.1f}, difference {on - off:.1f}")
    finally:
        registry.remove([X11_DRIVER])
        subprocess.run([str(prefix.wineserver), "-k"], env=prefix.environment(), check=False)
        xvfb.terminate()
        xvfb.wait()
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
