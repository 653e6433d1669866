"""Where a launcher's error goes and what the process reports.

Under Wine without a display a message box returns at once, so "shown in a box" looks like
an empty stderr; the same start with the output switched to the console prints the message.
Each case therefore states only which of the two the launcher chose.
"""
import unittest
from pathlib import Path

import harness
from config_block import narrow_entries
from pe_image import PeImage

NO_JVM_TEXT = harness.as_console_text(harness.NO_JVM_MESSAGE.replace("{0}", "64"))
BOX = ""  # the message went to a box, which returns at once without a display


class ErrorOutputTest(harness.WineTestCase):
    def launcher(self, extra: dict) -> Path:
        settings = {1000: "Error", 1016: harness.NO_JVM_MESSAGE, 2001: "i", **extra}
        return self.build("app.exe", settings)

    def test_launcher_without_key_107_reports_on_stderr(self) -> None:
        launcher = self.launcher({})
        image = launcher.read_bytes()
        self.assertNotIn(107, narrow_entries(image, PeImage(image).end_of_last_section))
        self.assertRun(self.run_launcher(launcher), 83, NO_JVM_TEXT)

    def test_launcher_type_and_switches_choose_box_or_stderr(self) -> None:
        cases = [
            # (settings, arguments, where the message goes)
            ({107: 1}, [], BOX),
            ({107: 5}, [], BOX),
            ({107: 0}, [], NO_JVM_TEXT),
            ({107: 2}, [], NO_JVM_TEXT),
            ({107: 15}, [], NO_JVM_TEXT),
            # The type is read as a leading decimal number.
            ({107: " 5"}, [], BOX),
            ({107: "1x"}, [], BOX),
            ({107: "x1"}, [], NO_JVM_TEXT),
            # The internal marker counts only at the very start of the command tail.
            ({107: 1}, ["-q_kwn_internal"], NO_JVM_TEXT),
            ({107: 5}, ["-q_kwn_internalXYZ", "more"], NO_JVM_TEXT),
            ({107: 1}, ["first", "-q_kwn_internal"], BOX),
            # -q works only where key 154 allows it, and anywhere among the arguments.
            ({107: 1, 154: 1}, ["-q"], NO_JVM_TEXT),
            ({107: 1, 154: 1}, ["a", "-q"], NO_JVM_TEXT),
            ({107: 1, 154: 0}, ["-q"], BOX),
            ({107: 1, 156: 1}, ["-q"], BOX),
            ({107: 1, 154: 1}, ["-Q"], BOX),
        ]
        for settings, arguments, expected in cases:
            with self.subTest(settings=settings, arguments=arguments):
                result = self.run_launcher(self.launcher(settings), arguments)
                self.assertRun(result, 83, expected)

    def test_message_1016_gets_the_width_in_its_first_placeholder(self) -> None:
        cases = {
            "{0}-bit runtime missing": "64-bit runtime missing",
            "{0} and {0}": "64 and {0}",
            "no placeholder here": "no placeholder here",
            "{1} is not {0}": "{1} is not 64",
            "two\nlines {0}\n": "two\nlines 64\n",
        }
        for text, shown in cases.items():
            with self.subTest(text=text):
                result = self.run_launcher(self.build("app.exe", {1016: text}))
                self.assertRun(result, 83, harness.as_console_text(shown))

    def test_missing_message_is_an_empty_line(self) -> None:
        result = self.run_launcher(self.build("app.exe", {1000: "Error"}))
        self.assertRun(result, 83, "\r\n")

    def test_exit_codes_as_the_process_reports_them(self) -> None:
        stub = self.products.stub.read_bytes()
        bare = self.place("bare.exe", stub)
        valid = self.launcher({})
        cases = [
            # The reboot marker returns before anything is read: a bare stub ends with 0.
            (bare, ["__kwn_reboot"], 0, ""),
            # Followed by more text it is no marker, and the missing block is an error.
            (bare, ["__kwn_reboot", "now"], 1, BOX),
            (bare, ["-q_kwn_internal"], 1, harness.as_console_text("Internal Error: readInt")),
            (valid, [], 83, NO_JVM_TEXT),
        ]
        for launcher, arguments, code, stderr in cases:
            with self.subTest(launcher=launcher.name, arguments=arguments):
                self.assertRun(self.run_launcher(launcher, arguments), code, stderr)


if __name__ == "__main__":
    unittest.main()
