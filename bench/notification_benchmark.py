#!/usr/bin/env python3
"""How long a second start of a single-instance launcher takes to reach the running application.

    python3 bench/notification_benchmark.py [--runs 20] [--prefix DIR]

Needs what bench/startup_benchmark.py needs (kwnbuild, the x64 stub, the stand-in runtime of the
x64 build, Wine). It builds a console-type launcher in single-instance mode with a stand-in
runtime beside it and starts it once; the stand-in VM keeps that first instance's main running.
Then it starts the launcher again, one start at a time, each with its own argument, and times
two things per start: until the stand-in VM of the first instance has recorded the delivery
(startupPerformed with that argument), and until the second process has ended. Each delivery
is checked to arrive once and in order. Prints the medians; never fails on time.
"""
from __future__ import annotations

import argparse
import shutil
import statistics
import sys
import tempfile
import time
from pathlib import Path

SOURCE_ROOT = Path(__file__).resolve().parents[1]
sys.dont_write_bytecode = True
sys.path.insert(0, str(SOURCE_ROOT / "tests" / "e2e"))

import harness  # noqa: E402  (found through the path set above)

SETTINGS = {**harness.SETTINGS, 107: 0, 128: "B.\\jre;", 122: "app.Main", 10005: 1}


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=20)
    parser.add_argument("--prefix", type=Path,
                        default=SOURCE_ROOT / "build" / "bench" / "notification-wineprefix")
    args = parser.parse_args()
    prefix = harness.WinePrefix(args.prefix.resolve(), Path("/usr/lib/wine/wine64"))
    prefix.initialise()
    work = Path(tempfile.mkdtemp(prefix="kwn-notify-"))
    try:
        products = harness.Products(work / "products")
        harness.Runtime(work / "app" / "jre")
        launcher = products.build_launcher(work / "app" / "app.exe", SETTINGS)
        record, release = work / "vm.log", work / "release"
        env = {"KWN_STANDIN_LOG": prefix.windows_path(record),
               "KWN_STANDIN_VM": "hold-main=" + prefix.windows_path(release)}
        first, streams = prefix.start([str(launcher)], env=env, cwd=work)

        def delivered() -> list[str]:
            lines = record.read_text(encoding="utf-8").splitlines() if record.exists() else []
            return [line for line in lines if line.startswith("startupPerformed ")]

        deadline = time.monotonic() + harness.TIMEOUT
        while "call " not in (record.read_text() if record.exists() else ""):
            if time.monotonic() > deadline:
                raise SystemExit("the first instance did not reach main")
            time.sleep(0.05)
        to_delivery, to_exit = [], []
        for run in range(args.runs):
            started = time.monotonic()
            process, second = prefix.start([str(launcher), f"run{run}"], env=env, cwd=work)
            while len(delivered()) <= run:
                if time.monotonic() - started > harness.TIMEOUT:
                    raise SystemExit(f"start {run} was not delivered")
                time.sleep(0.002)
            to_delivery.append(time.monotonic() - started)
            code = prefix.finish(process, second).exit_code
            to_exit.append(time.monotonic() - started)
            if code != 0:
                raise SystemExit(f"second start {run} ended with {code}")
        if delivered() != [f"startupPerformed run{run}" for run in range(args.runs)]:
            raise SystemExit(f"deliveries out of order or repeated: {delivered()}")
        release.write_bytes(b"")
        prefix.finish(first, streams)
        print(f"second start to delivery: median {statistics.median(to_delivery) * 1000:.0f} ms "
              f"(min {min(to_delivery) * 1000:.0f}, max {max(to_delivery) * 1000:.0f}), "
              f"{args.runs} starts")
        print(f"second start to its exit: median {statistics.median(to_exit) * 1000:.0f} ms")
    finally:
        prefix.server("-k")
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
