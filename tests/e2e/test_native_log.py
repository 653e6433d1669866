"""The native log as a user turns it on: the log switch as the first argument, or QELVO_LOG
or KESTROWAN_LOG set to exactly "yes". The file lands in the prefix's temp directory (TMP
comes from the prefix, not from Unix), and error messages then name it.
"""
import re
import time
import unittest
from pathlib import Path

import harness
from pe_image import PeImage

MESSAGE = harness.NO_JVM_MESSAGE.replace("{0}", "64")
SETTINGS = {1000: "Error", 1016: harness.NO_JVM_MESSAGE, 2001: "i"}
CTIME = r"(Mon|Tue|Wed|Thu|Fri|Sat|Sun) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) " \
        r"[ \d]\d \d\d:\d\d:\d\d \d{4}"
HEADER = re.compile(r"Started executable (?P<path>.+) at (?P<time>" + CTIME + r")\r\n\r\n")
LOG_SUFFIX = re.compile(r"\r\n\r\nLog: (?P<path>C:\\users\\[^\\]+\\Temp\\kwn_nlog_\d+)\r\n")
CLOCK_TOLERANCE = 600


class NativeLogTest(harness.WineTestCase):
    def launcher(self) -> Path:
        return self.build("app.exe", SETTINGS)

    def the_only_log(self) -> Path:
        logs = self.prefix.native_logs()
        self.assertEqual(len(logs), 1, f"expected one native log, found {logs}")
        return logs[0]

    def log_named_in(self, stderr: str, message: str) -> Path:
        """The message must be followed by an empty line and the log's path, nothing else."""
        shown = message.replace("\n", "\r\n")
        self.assertTrue(stderr.startswith(shown), f"{stderr!r} does not start with {shown!r}")
        suffix = LOG_SUFFIX.fullmatch(stderr[len(shown):])
        self.assertIsNotNone(suffix, f"no log path after the message in {stderr!r}")
        return self.prefix.unix_path(suffix["path"])

    def assertNamesItsLog(self, stderr: str, message: str) -> Path:
        log = self.the_only_log()
        self.assertEqual(self.log_named_in(stderr, message).resolve(), log.resolve())
        return log

    def assertHeader(self, log: Path, launcher: Path) -> str:
        """Checks the header line and returns the text after its empty line."""
        text = log.read_bytes().decode("latin-1")
        header = HEADER.match(text)
        self.assertIsNotNone(header, f"no header in {text[:200]!r}")
        self.assertEqual(header["path"], self.prefix.windows_path(launcher))
        started = time.mktime(time.strptime(header["time"], "%a %b %d %H:%M:%S %Y"))
        self.assertLess(abs(started - time.time()), CLOCK_TOLERANCE, header["time"])
        # Text mode on the Windows side: every line, the last one included, ends in CR LF.
        self.assertTrue(text.endswith("\r\n"))
        self.assertNotIn("\n", text.replace("\r\n", ""))
        return text[header.end():]

    def image_lines(self, launcher: Path) -> list[str]:
        image = PeImage.from_file(launcher)
        last = image.last_section
        return [f"number of sections: {image.section_count}",
                f"size of optional headers: {image.optional_header_size}",
                f"resSectionTableStart: {last.header_offset}",
                f"rawDataSize: {last.raw_size}, rawDataOffset: {last.raw_offset}"]

    def test_switch_or_variable_turns_the_log_on(self) -> None:
        launcher = self.launcher()
        cases = [
            (["-create-kwn-log"], {}),
            (["-create-qvo-log"], {}),
            (["/create-kwn-log"], {}),
            (["/create-qvo-log"], {}),
            (["-create-kwn-log", "user-argument"], {}),
            ([], {"QELVO_LOG": "yes"}),
            ([], {"KESTROWAN_LOG": "yes"}),
            ([], {"QELVO_LOG": "no", "KESTROWAN_LOG": "yes"}),
        ]
        for arguments, env in cases:
            with self.subTest(arguments=arguments, env=env):
                self.prefix.remove_native_logs()
                result = self.run_launcher(launcher, arguments, env)
                self.assertEqual(result.exit_code, 83)
                log = self.assertNamesItsLog(result.stderr, MESSAGE)
                body = self.assertHeader(log, launcher)
                # Finding the block is the first thing a start logs.
                self.assertEqual(body.split("\r\n")[:4], self.image_lines(launcher))

    def test_log_stays_off_without_the_exact_switch_or_value(self) -> None:
        launcher = self.launcher()
        cases = [
            ([], {}),
            ([], {"KESTROWAN_LOG": "Yes"}),
            ([], {"QELVO_LOG": "YES"}),
            ([], {"QELVO_LOG": "yes "}),
            ([], {"QELVO_LOG": "true", "KESTROWAN_LOG": "1"}),
            (["user-argument", "-create-kwn-log"], {}),
            (["-CREATE-KWN-LOG"], {}),
            (["--create-kwn-log"], {}),
        ]
        for arguments, env in cases:
            with self.subTest(arguments=arguments, env=env):
                result = self.run_launcher(launcher, arguments, env)
                self.assertRun(result, 83, harness.as_console_text(MESSAGE))
                self.assertEqual(self.prefix.native_logs(), [])

    def test_read_failure_is_logged_before_its_message(self) -> None:
        stub = self.products.stub.read_bytes()
        image = self.launcher().read_bytes()
        header_length_word = len(stub) + 12
        cases = {
            "readInt": (stub, r"error -?\d+ 0"),
            "readLong": (image[:header_length_word + 3], r"error -?\d+"),
        }
        for primitive, (content, log_line) in cases.items():
            with self.subTest(primitive):
                self.prefix.remove_native_logs()
                launcher = self.place("broken.exe", content)
                result = self.run_launcher(launcher, ["-q_kwn_internal"], {"KESTROWAN_LOG": "yes"})
                self.assertEqual(result.exit_code, 1)
                log = self.assertNamesItsLog(result.stderr, f"Internal Error: {primitive}")
                lines = self.assertHeader(log, launcher).split("\r\n")
                self.assertEqual(lines[:4], self.image_lines(launcher))
                # The reader's format ends in its own line feed, so an empty line follows.
                self.assertRegex(lines[4], "^" + log_line + "$")
                self.assertEqual(lines[5:], ["", ""])

    def test_launchers_started_together_write_separate_logs(self) -> None:
        launchers = [self.build(f"app{i}.exe", SETTINGS) for i in range(3)]
        results = self.run_launchers_together(launchers, {"QELVO_LOG": "yes"})
        named = set()
        for launcher, result in zip(launchers, results):
            self.assertEqual(result.exit_code, 83)
            log = self.log_named_in(result.stderr, MESSAGE)
            self.assertHeader(log, launcher)
            named.add(log)
        self.assertEqual(len(named), len(launchers))
        self.assertEqual(sorted(named), self.prefix.native_logs())


if __name__ == "__main__":
    unittest.main()
