#!/usr/bin/env python3
"""What a launcher start costs up to the loaded VM library, with and without probing Java.

    python3 bench/startup_benchmark.py [--runs 21] [--prefix DIR]

Needs kwnbuild, the x64 stub (dist/ by default; KWN_E2E_KWNBUILD and KWN_E2E_STUB_X64 choose
others), the stand-in runtime programs of the x64 build (build/win-x64/standin, or
KWN_E2E_STANDIN; `cmake --preset win-x64 && cmake --build --preset win-x64` makes them) and
Wine. It builds a console-type launcher with the usual search sequence
"B.\\jre;Y;EJAVA_HOME;EJDK_HOME;" and a stand-in runtime beside it, and times whole Wine runs
of it under two layouts:

- one candidate: the bundled .\\jre is new enough and is taken at once;
- two candidates: the bundled runtime is too old, and JAVA_HOME names the one that is taken.

Each start runs to the end: the stand-in VM records the options and the call of main, and
the launcher destroys it and ends with exit code 0. Every
layout runs with a warm probe cache (versions come from the registry, no java.exe runs) and a
cold one (the cache keys are deleted before each start, outside the timed window, so every
candidate is run with -version). An empty GUI program started the same way in the same run is
the baseline of what Wine alone costs. The kinds of run take turns, so that a machine that
slows down during the run does not weigh on one kind only. Each run is checked: the stand-in
library was loaded, and java.exe ran exactly as often as the cache state says (warm: never,
cold: once per candidate). Prints the medians; this is a measurement and never fails on time.
"""
from __future__ import annotations

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass, field
from pathlib import Path

SOURCE_ROOT = Path(__file__).resolve().parents[1]
# The end-to-end helpers are imported from the source tree, which gets no __pycache__.
sys.dont_write_bytecode = True
sys.path.insert(0, str(SOURCE_ROOT / "tests" / "e2e"))

import harness  # noqa: E402  (found through the path set above)

SETTINGS = {1000: "Error", 1005: "The JVM could not be started.", 1016: harness.NO_JVM_MESSAGE,
            2001: "i", 107: 0, 126: "1.7", 128: "B.\\jre;Y;EJAVA_HOME;EJDK_HOME;"}
# The recording stand-in VM lets the launcher run to DestroyJavaVM and end with 0.
LOADED_EXIT_CODES = (0,)
RUN_TIMEOUT = 120


def parse_arguments() -> argparse.Namespace:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=21, help="runs of each kind (default 21)")
    parser.add_argument("--prefix", type=Path,
                        default=SOURCE_ROOT / "build" / "bench" / "startup-wineprefix",
                        help="private Wine prefix, made when missing; its server is ended "
                             "at the end, so no other run may share it")
    return parser.parse_args()


@dataclass
class Layout:
    """A launcher with its runtimes: the ones the search probes, and the one it loads."""
    name: str
    launcher: Path
    probed: list[harness.Runtime]
    taken: harness.Runtime
    env: dict[str, str] = field(default_factory=dict)


@dataclass
class Kind:
    label: str
    layout: Layout | None  # None: an empty program, the one named by baseline
    cold: bool = False
    baseline: Path | None = None
    times: list[float] = field(default_factory=list)
    probes: list[int] = field(default_factory=list)
    exit_codes: set[int] = field(default_factory=set)


class Bench:
    def __init__(self, prefix: harness.WinePrefix, work: Path):
        self.prefix = prefix
        self.work = work
        self.registry = harness.Registry(prefix)
        self.vm_log = work / "vm.log"
        self.empty = work / "empty.exe"
        self.empty_controls = work / "empty-controls.exe"
        self.timer = work / "wintimer.exe"

    def timed(self, program: Path, env: dict[str, str]) -> tuple[float, int]:
        """Time of one start, taken inside Wine by wintimer.exe (CreateProcess to the end of
        the process, QueryPerformanceCounter): seen from Unix, Wine processes end on a grid of
        about 50 ms. Output goes to a file: a pipe inherited by Wine's background services
        would never close."""
        result = self.work / "wintimer.txt"
        with result.open("w") as output:
            subprocess.run([str(self.prefix.wine), str(self.timer),
                            self.prefix.windows_path(program)],
                           stdin=subprocess.DEVNULL, stdout=output, stderr=subprocess.DEVNULL,
                           env=self.prefix.environment(env), cwd=self.work,
                           timeout=RUN_TIMEOUT, check=False)
        fields = result.read_text().split()
        if len(fields) != 2:
            raise SystemExit(f"wintimer gave no time for {program}: {fields}")
        return float(fields[0]) / 1000.0, int(fields[1])

    def cache_keys(self, layout: Layout) -> list[str]:
        # The probe cache keeps one key per executable, its path written with "/" for backslashes.
        return [harness.PROBE_CACHE + "\\" + harness.launcher_form(self.prefix, runtime.java)
                .replace("\\", "/") for runtime in layout.probed]

    def run(self, kind: Kind) -> None:
        if kind.layout is None:
            elapsed, code = self.timed(kind.baseline, {})
            if code != 0:
                raise SystemExit(f"the empty program ended with {code}")
            kind.times.append(elapsed)
            return
        layout = kind.layout
        if kind.cold:
            self.registry.remove(self.cache_keys(layout))
        before = sum(len(runtime.probes()) for runtime in layout.probed)
        self.vm_log.unlink(missing_ok=True)
        elapsed, code = self.timed(layout.launcher, {
            **layout.env, "KWN_STANDIN_LOG": self.prefix.windows_path(self.vm_log)})
        probes = sum(len(runtime.probes()) for runtime in layout.probed) - before
        loaded = self.vm_log.read_text().splitlines() if self.vm_log.exists() else []
        expected_library = harness.launcher_form(self.prefix, layout.taken.library)
        if code not in LOADED_EXIT_CODES or f"loaded jvm {expected_library}" not in [
                line.lower() for line in loaded]:
            raise SystemExit(f"{kind.label}: exit code {code}, library log {loaded}; "
                             f"expected {expected_library} to be loaded")
        expected_probes = len(layout.probed) if kind.cold else 0
        if probes != expected_probes:
            raise SystemExit(f"{kind.label}: java.exe ran {probes} times, "
                             f"expected {expected_probes}")
        kind.times.append(elapsed)
        kind.probes.append(probes)
        kind.exit_codes.add(code)


def make_layouts(products: harness.Products, standins: Path, work: Path,
                 prefix: harness.WinePrefix) -> list[Layout]:
    one = work / "one"
    bundled = harness.Runtime(one / "jre", "1.8.0_292")
    two = work / "two"
    too_old = harness.Runtime(two / "jre", "1.6.0_45")
    java_home = harness.Runtime(work / "java home", "1.8.0_292")
    return [
        Layout("1 candidate", products.build_launcher(one / "app.exe", SETTINGS), [bundled],
               bundled),
        Layout("2 candidates", products.build_launcher(two / "app.exe", SETTINGS),
               [too_old, java_home], java_home,
               {"JAVA_HOME": prefix.windows_path(java_home.home)}),
    ]


def report(runs: int, kinds: list[Kind], baselines: list[Kind]) -> None:
    bases = [statistics.median(baseline.times) for baseline in baselines]
    print(f"\n{runs} runs of each kind; seconds per start, timed inside Wine\n")
    print(f"{'run':38}{'median':>9}{'mean':>9}{'min':>9}{'max':>9}{'- empty':>10}"
          f"{'- controls':>12}{'java.exe/start':>16}")
    for kind in kinds:
        median = statistics.median(kind.times)
        probes = f"{statistics.mean(kind.probes):.0f}" if kind.probes else "-"
        print(f"{kind.label:38}{median:9.3f}{statistics.mean(kind.times):9.3f}"
              f"{min(kind.times):9.3f}{max(kind.times):9.3f}{median - bases[0]:10.3f}"
              f"{median - bases[1]:12.3f}{probes:>16}")
    print()
    by_label = {kind.label: kind for kind in kinds}
    for layout in ("1 candidate", "2 candidates"):
        warm = by_label[f"launcher, {layout}, warm cache"].times
        cold = by_label[f"launcher, {layout}, cold cache"].times
        count = int(layout[0])
        for name, average in (("median", statistics.median), ("mean", statistics.mean)):
            extra = average(cold) - average(warm)
            print(f"probing, {layout}, by the {name}: cold - warm = {extra:.3f} s "
                  f"({extra / count:.3f} s per java.exe run)")
    codes = sorted(set().union(*(kind.exit_codes for kind in kinds)))
    print(f"launcher exit codes seen: {codes}")
    print("times are taken inside Wine by wintimer.exe, from CreateProcess to the end of the "
          "process; Wine's own timing varies by several milliseconds between runs")


def main() -> int:
    arguments = parse_arguments()
    prefix = harness.WinePrefix(arguments.prefix.resolve(), Path(
        os.environ.get("KWN_E2E_WINE", "/usr/lib/wine/wine64")))
    standins = harness.required("KWN_E2E_STANDIN", harness.BUILD / "win-x64" / "standin")
    if prefix.initialise():
        print(f"made the Wine prefix {prefix.path}")
    work_parent = prefix.path.parent / "work"
    work_parent.mkdir(parents=True, exist_ok=True)
    # The harness's own scratch files go beside the bench's, not into a test build.
    os.environ.setdefault("KWN_E2E_WORK_DIR", str(work_parent))
    work = Path(tempfile.mkdtemp(dir=work_parent, prefix="startup-"))
    bench = Bench(prefix, work)
    layouts: list[Layout] = []
    try:
        products = harness.Products(work / "products")
        shutil.copy2(standins / "empty.exe", bench.empty)
        shutil.copy2(standins / "empty-controls.exe", bench.empty_controls)
        # Built by the same Windows build as the stand-ins, beside them.
        timer = standins.parent / "bench" / "wintimer.exe"
        if not timer.exists():
            raise SystemExit(f"{timer} is missing: cmake --build --preset win-x64 builds it")
        shutil.copy2(timer, bench.timer)
        layouts = make_layouts(products, standins, work, prefix)
        # The server persists while the runs take turns, so no run pays for starting it; one
        # that is already up (exit status 2) serves as well.
        subprocess.run([str(prefix.wineserver), "-p"], env=prefix.environment(),
                       timeout=harness.TIMEOUT, check=False)
        prefix.run(["cmd", "/c", "exit", "0"])
        baseline = Kind("empty GUI program", None, baseline=bench.empty)
        # The launcher's first step initialises the common controls, which under Wine sets up
        # user32 and comctl32; this baseline pays for that too.
        kinds = [baseline, Kind("empty GUI program + common controls", None,
                                baseline=bench.empty_controls)]
        for layout in layouts:
            kinds += [Kind(f"launcher, {layout.name}, warm cache", layout),
                      Kind(f"launcher, {layout.name}, cold cache", layout, cold=True)]
        # One untimed cold start per layout fills the cache for the first warm run.
        for kind in [k for k in kinds if k.cold]:
            bench.run(kind)
            kind.times.clear()
            kind.probes.clear()
        for turn in range(arguments.runs):
            shift = turn % len(kinds)
            for kind in kinds[shift:] + kinds[:shift]:
                bench.run(kind)
            print(f"turn {turn + 1}/{arguments.runs}: " + ", ".join(
                f"{kind.times[-1]:.3f}" for kind in kinds), flush=True)
        report(arguments.runs, kinds, kinds[:2])
    finally:
        for layout in layouts:
            bench.registry.remove(bench.cache_keys(layout))
        # Only this prefix's server: it was made persistent above.
        subprocess.run([str(prefix.wineserver), "-k"], env=prefix.environment(),
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=harness.TIMEOUT, check=False)
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
