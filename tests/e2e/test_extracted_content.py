"""The included files as the launcher writes them: byte for byte what the build tool read, in
a directory of its own under the prefix's temp directory, which the exit removes again.

Every start currently ends in the exit that removes that directory, so the files can only be
seen while the launcher is held before it: with message boxes on and a display, the box of the
final message blocks until it is closed. Under Xvfb the scenario waits for the log to report
the extraction done, compares the files, and then ends the launcher from outside. Without a
display the same box returns at once and the directory must be gone when the process ends.
"""
import os
import re
import signal
import subprocess
import time
import unittest
from pathlib import Path

import extraction
import harness

SMALL_NAME = "app.dat"
LARGE_NAME = "user\\b.jar"
# Sizes off any multiple of the 6000-byte copy chunk, so the last read of each file is short.
SMALL_SIZE = 10_240
LARGE_SIZE = 1_048_583
EXTRACTION_TIMEOUT = 60
CLOCK_TOLERANCE = 600
X11_DRIVER_KEY = "HKCU\\Software\\Wine\\X11 Driver"


class ExtractedContentTest(harness.WineTestCase):
    @classmethod
    def setUpClass(cls) -> None:
        super().setUpClass()
        cls.xvfb_run = harness.required_program("xvfb-run")
        # Without it every closed window stalls for two seconds while Wine waits for a
        # window manager that Xvfb does not have.
        result = cls.prefix.run(["reg", "add", X11_DRIVER_KEY, "/v", "Managed", "/d", "N",
                                 "/f"])
        if result.exit_code != 0:
            raise harness.HarnessError(f"cannot configure Wine's X11 driver: {result!r}")

    def setUp(self) -> None:
        super().setUp()
        extraction.remove_launcher_leftovers(self.prefix)
        self.addCleanup(extraction.remove_launcher_leftovers, self.prefix)
        self.contents = {SMALL_NAME: extraction.every_byte_value(SMALL_SIZE),
                         LARGE_NAME: extraction.random_bytes(LARGE_SIZE)}

    def launcher(self) -> Path:
        sources = {name: self.place(f"source{i}.bin", content)
                   for i, (name, content) in enumerate(self.contents.items())}
        # Key 107 = 1 keeps message boxes on, which is what holds the launcher on a display.
        return self.build("app.exe", {**extraction.SETTINGS, 107: 1}, includes=sources)

    def the_only_log(self) -> Path:
        logs = self.prefix.native_logs()
        self.assertEqual(len(logs), 1, f"expected one native log, found {logs}")
        return logs[0]

    def assertExtractionLogged(self, lines: list[str]) -> str:
        """Checks the extraction's lines and returns the temp directory they name."""
        temp_dir = extraction.line_after(lines, "Temp dir3: ")
        self.assertEqual(self.prefix.unix_path(temp_dir).parent, self.prefix.temp_dir)
        self.assertRegex(temp_dir.rsplit("\\", 1)[1], extraction.TEMP_DIR_NAME)
        # The reserved temporary name with the time of the start in seconds behind it.
        named = re.fullmatch(re.escape(extraction.line_after(lines, "tempFile is ")) +
                             r"_dir(-?\d+)", temp_dir)
        self.assertIsNotNone(named, temp_dir)
        self.assertLess(abs(int(named[1]) - time.time()), CLOCK_TOLERANCE)
        start = lines.index("extracting files")
        self.assertEqual(lines[start + 1], "Included files: 2")
        first = lines.index(f"Temp dir3: {temp_dir}")
        self.assertEqual(lines[first + 1:lines.index("extracting files done") + 1], [
            f"extracting {temp_dir}\\{SMALL_NAME} (size: {SMALL_SIZE})",
            f"creating directory {temp_dir}\\user",
            f"extracting {temp_dir}\\{LARGE_NAME} (size: {LARGE_SIZE})",
            "extracting files done",
        ])
        return temp_dir

    def test_directory_is_removed_when_the_launcher_ends(self) -> None:
        launcher = self.launcher()
        result = self.run_launcher(launcher, env={"QELVO_LOG": "yes"})
        # The box returned at once without a display: nothing on stderr, the no-runtime exit.
        self.assertRun(result, 83, "")
        temp_dir = self.assertExtractionLogged(extraction.log_lines(self.the_only_log()))
        self.assertFalse(self.prefix.unix_path(temp_dir).exists())
        self.assertEqual(extraction.launcher_temp_dirs(self.prefix), [])
        # The reserved name beside the directory is not part of the clean-up.
        self.assertEqual(extraction.temp_files(self.prefix),
                         {temp_dir.rsplit("\\", 1)[1].rsplit("_dir", 1)[0]})

    def test_files_are_extracted_byte_for_byte(self) -> None:
        launcher = self.launcher()
        # The server of the display-less runs would keep serving without the display.
        self.prefix.wait_for_server_exit()
        with self.launcher_on_display(launcher) as process:
            lines = self.wait_for_extraction(process)
            temp_dir = self.prefix.unix_path(self.assertExtractionLogged(lines))
            found = {str(path.relative_to(temp_dir)).replace("/", "\\")
                     for path in temp_dir.rglob("*") if path.is_file()}
            self.assertEqual(found, set(self.contents))
            for name, content in self.contents.items():
                with self.subTest(name=name):
                    extracted = temp_dir.joinpath(*name.split("\\")).read_bytes()
                    self.assertEqual(len(extracted), len(content))
                    self.assertTrue(extracted == content, f"{name} differs from its source")
            # Still held by the box: the files were seen before any clean-up could run.
            self.assertIsNone(process.poll(), "the launcher ended while it should show a box")

    def wait_for_extraction(self, process: subprocess.Popen) -> list[str]:
        deadline = time.monotonic() + EXTRACTION_TIMEOUT
        while time.monotonic() < deadline:
            logs = self.prefix.native_logs()
            lines = extraction.log_lines(logs[0]) if logs else []
            if "extracting files done" in lines:
                return lines
            if process.poll() is not None:
                self.fail(f"the launcher ended with {process.returncode} before the extraction "
                          f"was logged: {lines}")
            time.sleep(0.1)
        self.fail(f"no extraction logged within {EXTRACTION_TIMEOUT} s")

    def launcher_on_display(self, launcher: Path) -> "_DisplayRun":
        return _DisplayRun(self, launcher)


class _DisplayRun:
    """The launcher under xvfb-run in a session of its own, ended on leaving: the Wine server
    is told to end every program of the prefix, and whatever is left of the session (Xvfb,
    the script) is killed by its group, so no run outlives the test."""

    def __init__(self, test: ExtractedContentTest, launcher: Path):
        self.test = test
        self.launcher = launcher
        self.process: subprocess.Popen | None = None

    def __enter__(self) -> subprocess.Popen:
        prefix = self.test.prefix
        self.output = open(self.test.scratch / "display-run.txt", "wb")
        self.process = subprocess.Popen(
            [self.test.xvfb_run, "-a", str(prefix.wine), str(self.launcher)],
            stdin=subprocess.DEVNULL, stdout=self.output, stderr=subprocess.STDOUT,
            env=prefix.environment({"QELVO_LOG": "yes"}), cwd=self.test.scratch,
            start_new_session=True)
        return self.process

    def __exit__(self, *exc_info) -> None:
        prefix = self.test.prefix
        subprocess.run([str(prefix.wineserver), "-k"], env=prefix.environment(),
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=harness.WINE_CALL_TIMEOUT,
                       check=False)
        try:
            self.process.wait(timeout=harness.WINE_CALL_TIMEOUT)
        except subprocess.TimeoutExpired:
            pass
        finally:
            self.output.close()
        try:
            os.killpg(self.process.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass  # the whole session has ended already
        self.process.wait()
        # The next scenario starts a server without the display.
        prefix.wait_for_server_exit()


if __name__ == "__main__":
    unittest.main()
