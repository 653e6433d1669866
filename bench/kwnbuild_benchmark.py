#!/usr/bin/env python3
"""What building a launcher that carries a large included file costs, against copying its bytes.

    python3 bench/kwnbuild_benchmark.py [--runs 5] [--size-mib 100]

Needs dist/bin/kwnbuild and dist/stubs/launcher-x64.exe. Builds the same launcher N times from
a minimal configuration with one included file of random bytes, and copies the same file N times
with `cp`, taking turns so that a machine that slows down during the run weighs on both alike.
Prints the medians and their ratio. A measurement, not a test: it never fails on time.
"""
import argparse
import statistics
import subprocess
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]


def timed(command: list[str]) -> float:
    start = time.perf_counter()
    subprocess.run(command, check=True)
    return time.perf_counter() - start


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--size-mib", type=int, default=100)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as scratch:
        work = Path(scratch)
        payload = work / "payload.bin"
        with payload.open("wb") as out, open("/dev/urandom", "rb") as random:
            for _ in range(args.size_mib):
                out.write(random.read(1 << 20))
        config = work / "app.toml"
        config.write_text('[application]\nmain-class = "a.Main"\n'
                          '[runtime]\nmin-version = "1.8"\n'
                          '[[file]]\nname = "payload.bin"\nsource = "payload.bin"\n')
        build = [str(ROOT / "dist/bin/kwnbuild"), "--stub", str(ROOT / "dist/stubs/launcher-x64.exe"),
                 "--config", str(config), "--output", str(work / "app.exe"), "--no-runtime-jar"]
        builds, copies = [], []
        for _ in range(args.runs):
            builds.append(timed(build))
            copies.append(timed(["cp", str(payload), str(work / "copy.bin")]))
    built, copied = statistics.median(builds), statistics.median(copies)
    print(f"{args.size_mib} MiB included file, median of {args.runs}: kwnbuild {built * 1000:.0f} ms, "
          f"cp {copied * 1000:.0f} ms, ratio {built / copied:.2f}")


if __name__ == "__main__":
    main()
