"""Fixture of the end-to-end tier: the private Wine prefix, made once per build folder."""
import sys
import time

import harness


def main() -> int:
    try:
        prefix = harness.WinePrefix.from_environment()
        started = time.monotonic()
        made = prefix.initialise()
        prefix.warm_up()
        temp_dir = prefix.temp_dir
    except harness.HarnessError as error:
        print(f"FAILED: {error}", file=sys.stderr)
        return 1
    action = "made" if made else "reused"
    print(f"Wine prefix {action} at {prefix.path} in {time.monotonic() - started:.1f} s; "
          f"user temp directory {temp_dir}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
