"""Key 146 moves the launcher into the configured working directory.

The current directory shows only in what is resolved against it. The temp path is: with TMP set
to a relative name in the prefix, the platform's temp path is that name below the current
directory. A launcher with an included file asks for the temp path after it has changed
directory, reserves its temporary name there and leaves that name behind when it ends; the log's
"tempPath is" line and the reserved file on disk both show where the launcher stood.
"""
import re
import unittest
from pathlib import Path

import extraction
import harness

ENVIRONMENT_KEY = "HKCU\\Environment"
RELATIVE_TMP = "wd_tmp"
LOG_PATH = re.compile(r"\r\n\r\nLog: (?P<path>.+)\r\n$")


class WorkingDirectoryTest(harness.WineTestCase):
    def setUp(self) -> None:
        super().setUp()
        self.set_prefix_tmp(RELATIVE_TMP)

    def set_prefix_tmp(self, value: str) -> None:
        """Sets TMP for programs started from now on; the prefix's own value comes back when
        the test ends, since every later scenario relies on it."""
        query = self.prefix.run(["reg", "query", ENVIRONMENT_KEY, "/v", "TMP"])
        stored = re.search(r"^\s+TMP\s+(REG_\w+)\s+(.*?)\r?$", query.stdout, re.MULTILINE)
        if query.exit_code != 0 or not stored:
            raise harness.HarnessError(f"cannot read TMP of the prefix: {query!r}")
        if not re.match(r"[A-Za-z]:\\|%", stored[2]):
            raise harness.HarnessError(
                f"TMP of the prefix is {stored[2]!r}, left by an interrupted run; set it back "
                f"to the user's Temp directory or remove {self.prefix.path}")
        self.addCleanup(self.write_tmp, stored[1], stored[2])
        self.write_tmp("REG_SZ", value)

    def write_tmp(self, kind: str, value: str) -> None:
        result = self.prefix.run(["reg", "add", ENVIRONMENT_KEY, "/v", "TMP", "/t", kind,
                                  "/d", value, "/f"])
        if result.exit_code != 0:
            raise harness.HarnessError(f"cannot set TMP of the prefix: {result!r}")

    def start(self, launcher: Path, started_in: Path) -> harness.RunResult:
        """Runs the launcher from a directory of its own. The log's place is chosen before the
        launcher moves, from TMP as it resolves then: where TMP does not exist yet the log goes
        to the drive root under a full path, so every line reaches the same file."""
        started_in.mkdir()
        return self.prefix.run([str(launcher)], env={"QELVO_LOG": "yes"}, cwd=started_in)

    def log_of(self, stderr: str) -> list[str]:
        """The log named under the message. With TMP relative, it is not where the other
        scenarios find theirs, so it is found through the message and removed here."""
        named = LOG_PATH.search(stderr)
        self.assertIsNotNone(named, f"no log named in {stderr!r}")
        log = self.prefix.unix_path(named["path"])
        self.addCleanup(log.unlink, True)
        return extraction.log_lines(log)

    def test_relative_tmp_resolves_against_the_current_directory(self) -> None:
        # Without key 146 the launcher stays where it was started.
        launcher = self.build("app.exe", extraction.SETTINGS,
                              includes={"a.bin": self.place("a.bin", b"content")})
        started_in = self.scratch / "Started Here"
        result = self.start(launcher, started_in)
        self.assertEqual(result.exit_code, 83, result.stderr)
        lines = self.log_of(result.stderr)
        self.assertIn("working directory unchanged", lines)
        self.assertEqual(extraction.line_after(lines, "tempPath is "),
                         f"{self.prefix.windows_path(started_in)}\\{RELATIVE_TMP}\\")
        self.assertEqual(len(list(started_in.glob(f"{RELATIVE_TMP}/qvo*.tmp"))), 1)

    def test_key_146_becomes_the_current_directory(self) -> None:
        application = self.scratch / "App"
        application.mkdir()
        root = self.prefix.windows_path(self.scratch)
        cases = [
            # (key 146, the directory as the log must name it, the directory on disk)
            ("Work Dir", "App\\Work Dir", "App/Work Dir"),
            ("..\\Run Here\\.\\Inner", "Run Here\\Inner", "Run Here/Inner"),
            ("%QELVO_EXEDIR%Data", "App\\Data", "App/Data"),
            # Named in another case than on disk: the configured spelling is kept.
            (f"{root}\\Abs\\MIXED case", "Abs\\MIXED case", "Abs/Mixed Case"),
        ]
        for number, (value, shown, on_disk) in enumerate(cases):
            with self.subTest(value=value):
                directory = self.scratch / on_disk
                directory.mkdir(parents=True)
                launcher = self.products.build_launcher(
                    application / "app.exe", {**extraction.SETTINGS, 146: value},
                    includes={"a.bin": self.place("a.bin", b"content")})
                result = self.start(launcher, self.scratch / f"start{number}")
                self.assertEqual(result.exit_code, 83, result.stderr)
                lines = self.log_of(result.stderr)
                # The full path: "." and ".." resolved, no letter's case changed.
                full = f"{root}\\{shown}"
                self.assertIn(f"change working directory to {full}", lines)
                self.assertEqual(extraction.line_after(lines, "tempPath is "),
                                 f"{full}\\{RELATIVE_TMP}\\")
                self.assertEqual(len(list(directory.glob(f"{RELATIVE_TMP}/qvo*.tmp"))), 1)

if __name__ == "__main__":
    unittest.main()
