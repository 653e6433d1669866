#!/usr/bin/env python3
"""What extracting an included file costs, measured against copying the same file.

    python3 bench/extraction_benchmark.py [--runs 7] [--size-mib 64] [--prefix DIR]

Needs kwnbuild and the x64 stub built (dist/ by default; KWN_E2E_KWNBUILD and
KWN_E2E_STUB_X64 choose others) and Wine. It builds a launcher that carries one file of random
bytes and starts it N times under Wine: every start extracts the file into its temp directory,
ends with exit code 83 (there is no runtime search yet) and removes the directory again, which
is part of what is measured. In the same run it copies the same file N times with the same Wine
(`cmd /c copy /b` into the prefix's temp directory), and starts the same launcher without the
file N times, so that the launcher's own cost can be taken off. The three kinds of run take
turns, so that a machine that slows down during the run does not weigh on one kind only.
Prints the medians and their ratios. This is a measurement, not a test: it never fails on time.
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
from pathlib import Path

SOURCE_ROOT = Path(__file__).resolve().parents[1]
# The end-to-end helpers are imported from the source tree, which gets no __pycache__.
sys.dont_write_bytecode = True
sys.path.insert(0, str(SOURCE_ROOT / "tests" / "e2e"))

import harness  # noqa: E402  (found through the path set above)

SETTINGS = harness.SETTINGS
INCLUDED_NAME = "user\\data.bin"
EXIT_NO_JVM = 83
RUN_TIMEOUT = 300


def parse_arguments() -> argparse.Namespace:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=7, help="runs of each kind (default 7)")
    parser.add_argument("--size-mib", type=int, default=64,
                        help="size of the included file in MiB (default 64)")
    parser.add_argument("--prefix", type=Path,
                        default=SOURCE_ROOT / "build" / "bench" / "wineprefix",
                        help="private Wine prefix, made when missing")
    return parser.parse_args()


class Bench:
    def __init__(self, prefix: harness.WinePrefix, work: Path):
        self.prefix = prefix
        self.work = work

    def timed(self, program: list[str], expected_exit: int) -> float:
        """Wall-clock time of one Wine run. Output goes nowhere: a pipe inherited by Wine's
        background services would never close, and reading it would cost time of its own."""
        started = time.perf_counter()
        completed = subprocess.run([str(self.prefix.wine), *program], stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                   env=self.prefix.environment(), cwd=self.work,
                                   timeout=RUN_TIMEOUT, check=False)
        elapsed = time.perf_counter() - started
        if completed.returncode != expected_exit:
            raise SystemExit(f"{program[0]} ended with {completed.returncode}, "
                             f"expected {expected_exit}")
        return elapsed

    def launcher_run(self, launcher: Path) -> float:
        elapsed = self.timed([str(launcher)], EXIT_NO_JVM)
        left = [name for name in self.prefix.launcher_temp_names() if "_dir" in name]
        if left:
            raise SystemExit(f"the launcher left its temp directory behind: {left}")
        self.prefix.remove_leftovers()
        return elapsed

    def copy_run(self, source: Path, size: int) -> float:
        target = self.prefix.temp_dir / "bench-copy.bin"
        elapsed = self.timed(["cmd", "/c", "copy", "/b", self.prefix.windows_path(source),
                              "%TMP%\\bench-copy.bin"], 0)
        if target.stat().st_size != size:
            raise SystemExit(f"the copy has {target.stat().st_size} bytes, not {size}")
        target.unlink()
        return elapsed

    def check_extraction(self, launcher: Path, size: int) -> None:
        """One untimed start with the log on: the timed starts must really extract the file
        (this also puts the launcher file into the page cache, as it is for the copies)."""
        self.prefix.remove_leftovers()
        self.prefix.run([str(launcher)], env={"QELVO_LOG": "yes"}, timeout=RUN_TIMEOUT,
                        cwd=self.work)
        logs = self.prefix.native_logs()
        lines = logs[0].read_bytes().decode("latin-1").split("\r\n") if logs else []
        self.prefix.remove_leftovers()
        if "extracting files done" not in lines or not any(
                line.endswith(f"\\{INCLUDED_NAME} (size: {size})") for line in lines):
            raise SystemExit("the launcher did not report extracting the file:\n"
                             + "\n".join(lines))


def seconds(value: float) -> str:
    return f"{value:8.3f} s"


def report(size_mib: int, runs: int, times: dict[str, list[float]]) -> None:
    medians = {kind: statistics.median(values) for kind, values in times.items()}
    rows = [
        ("launcher with the file", "with"),
        ("cmd /c copy /b of the file", "copy"),
        ("launcher without the file", "without"),
    ]
    print(f"\n{size_mib} MiB included file, {runs} runs of each kind\n")
    print(f"{'run':34}{'median':>11}{'mean':>11}{'min':>11}{'max':>11}")
    for label, kind in rows:
        values = times[kind]
        print(f"{label:34}{seconds(medians[kind]):>11}{seconds(statistics.mean(values)):>11}"
              f"{seconds(min(values)):>11}{seconds(max(values)):>11}")
    extraction_share = medians["with"] - medians["without"]
    print(f"{'extraction share (with - without)':34}{seconds(extraction_share):>11}")
    print()
    print(f"launcher with the file / copy:   {medians['with'] / medians['copy']:6.2f}")
    print(f"extraction share / copy:         {extraction_share / medians['copy']:6.2f}")
    mib = float(size_mib)
    print(f"throughput: extraction {mib / extraction_share:7.1f} MiB/s (launcher start taken "
          f"off), copy {mib / medians['copy']:7.1f} MiB/s (Wine start included)")
    # Wine's process start and exit add jitter in steps of tens of milliseconds.
    print("times are wall-clock per Wine run; differences below about 0.05 s are noise")


def main() -> int:
    arguments = parse_arguments()
    prefix = harness.WinePrefix(arguments.prefix.resolve(), Path(
        os.environ.get("KWN_E2E_WINE", "/usr/lib/wine/wine64")))
    if prefix.initialise():
        print(f"made the Wine prefix {prefix.path}")
    work_parent = prefix.path.parent / "work"
    work_parent.mkdir(parents=True, exist_ok=True)
    # The harness's own scratch files go beside the bench's, not into a test build.
    os.environ.setdefault("KWN_E2E_WORK_DIR", str(work_parent))
    work = Path(tempfile.mkdtemp(dir=work_parent, prefix="extraction-"))
    try:
        products = harness.Products(work / "products")
        size = arguments.size_mib * 1024 * 1024
        source = work / "data.bin"
        source.write_bytes(os.urandom(size))
        with_file = products.build_launcher(work / "with.exe", SETTINGS,
                                            includes={INCLUDED_NAME: source})
        without_file = products.build_launcher(work / "without.exe", SETTINGS)
        bench = Bench(prefix, work)
        # The server persists while the runs take turns, so no run pays for starting it; one
        # that is already up (exit status 2) serves as well.
        subprocess.run([str(prefix.wineserver), "-p"], env=prefix.environment(),
                       timeout=harness.TIMEOUT, check=False)
        prefix.run(["cmd", "/c", "exit", "0"])
        prefix.remove_leftovers()
        bench.check_extraction(with_file, size)
        kinds = [("with", lambda: bench.launcher_run(with_file)),
                 ("copy", lambda: bench.copy_run(source, size)),
                 ("without", lambda: bench.launcher_run(without_file))]
        times: dict[str, list[float]] = {kind: [] for kind, _ in kinds}
        for turn in range(arguments.runs):
            for kind, run in kinds[turn % 3:] + kinds[:turn % 3]:
                times[kind].append(run())
            print(f"turn {turn + 1}/{arguments.runs}: " + ", ".join(
                f"{kind} {times[kind][-1]:.3f} s" for kind, _ in kinds), flush=True)
        report(arguments.size_mib, arguments.runs, times)
    finally:
        # Only this prefix's server: it was made persistent above.
        subprocess.run([str(prefix.wineserver), "-k"], env=prefix.environment(),
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=harness.TIMEOUT, check=False)
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
