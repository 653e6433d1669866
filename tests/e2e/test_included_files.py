"""Included files that cannot be extracted as they are stored, and the launcher temp directory
as the native library directories see it.

A launcher file can be edited by anyone after it was built: a name that leads out of the temp
directory must not be written, and records cut short must not pass for complete ones. Either
way the start ends with message 1009 and exit code 1, and the exit removes what was extracted.
"""
import os
import unittest
from pathlib import Path

import extraction
import harness

FIRST_NAME = "user\\ok.jar"
FIRST_CONTENT = extraction.every_byte_value(10_240)
SECOND_CONTENT = extraction.every_byte_value(700)
NATIVE_DIRECTORIES = "%QELVO_TEMPDIR%\\native;lib"
# A directory that no installation has, so the PATH of the launch is recognisably ours.
PATH_MARKER = "C:\\kwn_e2e_path_marker"


def drive_c_entries(prefix: harness.WinePrefix) -> set[str]:
    root = prefix.path / "drive_c"
    return {str(Path(directory, name).relative_to(root))
            for directory, directories, files in os.walk(root)
            for name in directories + files}


class IncludedFilesTest(harness.WineTestCase):
    def setUp(self) -> None:
        super().setUp()
        extraction.remove_launcher_leftovers(self.prefix)
        self.addCleanup(extraction.remove_launcher_leftovers, self.prefix)

    def two_file_launcher(self, second_name: str) -> Path:
        sources = {FIRST_NAME: self.place("first.bin", FIRST_CONTENT),
                   second_name: self.place("second.bin", SECOND_CONTENT)}
        return self.build("app.exe", extraction.SETTINGS, includes=sources)

    def the_only_log(self) -> Path:
        logs = self.prefix.native_logs()
        self.assertEqual(len(logs), 1, f"expected one native log, found {logs}")
        return logs[0]

    def assertFatalAfterExtracting(self, launcher: Path, message: str) -> list[str]:
        """Runs a launcher that must fail during extraction; checks the message, the code and
        that the temp directory went with the exit, and returns the log's lines."""
        result = self.run_launcher(launcher, env={"QELVO_LOG": "yes"})
        self.assertEqual(result.exit_code, 1, result.stderr)
        self.assertTrue(result.stderr.startswith(message + "\r\n\r\nLog: "), result.stderr)
        lines = extraction.log_lines(self.the_only_log())
        temp_dir = extraction.line_after(lines, "Temp dir3: ")
        self.assertFalse(self.prefix.unix_path(temp_dir).exists(), f"{temp_dir} is left")
        self.assertEqual(extraction.launcher_temp_dirs(self.prefix), [])
        return lines

    def test_name_leading_out_of_the_temp_directory_is_refused(self) -> None:
        cases = ["..\\x.jar", "..\\..\\x.jar", "user\\..\\..\\x.jar", "..\\..\\..\\..\\x.jar"]
        for name in cases:
            with self.subTest(name=name):
                self.prefix.remove_native_logs()
                # The build tool refuses such names, so a name of the same length is built
                # and the stored bytes are replaced afterwards.
                stand_in = "s" * (len(name) - len(".jar")) + ".jar"
                built = self.two_file_launcher(stand_in)
                launcher = self.place("escaping.exe", extraction.replace_narrow_value(
                    built.read_bytes(), extraction.NAMES_KEY, stand_in.encode(),
                    name.encode()))
                before = drive_c_entries(self.prefix)
                lines = self.assertFatalAfterExtracting(launcher,
                                                        extraction.internal_error("11"))
                # The file before it was extracted and went with the directory.
                self.assertIn(f"extracting {extraction.line_after(lines, 'Temp dir3: ')}"
                              f"\\{FIRST_NAME} (size: {len(FIRST_CONTENT)})", lines)
                added = drive_c_entries(self.prefix) - before
                temp = str(self.prefix.temp_dir.relative_to(self.prefix.path / "drive_c"))
                reserved = {f"{temp}/{kept}" for kept in extraction.temp_files(self.prefix)}
                log = {str(self.the_only_log().relative_to(self.prefix.path / "drive_c"))}
                self.assertEqual(added - reserved - log, set())

    def test_record_cut_off_ends_with_internal_error(self) -> None:
        built = self.two_file_launcher("b.jar").read_bytes()
        (first, first_size), (second, second_size) = extraction.record_spans(built, 2)
        self.assertEqual((first_size, second_size), (len(FIRST_CONTENT), len(SECOND_CONTENT)))
        data = extraction.SIZE_FIELD
        cases = [
            # (where the file ends, message, what the log says about the failed read)
            (first + data + 7000, extraction.internal_error("16"),
             r"ERROR: ReadFile failed 0 -?\d+ 7000"),
            (second + data + second_size - 1, extraction.internal_error("16"),
             rf"ERROR: ReadFile failed 0 -?\d+ {second_size - 1}"),
            (second + 4, "Internal Error: readLong", None),
        ]
        for end, message, read_failure in cases:
            with self.subTest(end=end, message=message):
                self.prefix.remove_native_logs()
                launcher = self.place("cut.exe", built[:end])
                lines = self.assertFatalAfterExtracting(launcher, message)
                self.assertNotIn("extracting files done", lines)
                if read_failure:
                    self.assertRegex("\n".join(lines), f"(?m)^{read_failure}$")
                    self.assertTrue(any(line.startswith("ERROR: Failed to extract ")
                                        for line in lines), lines)

    def test_native_library_directories_see_the_temp_directory(self) -> None:
        env = {"QELVO_LOG": "yes", "WINEPATH": PATH_MARKER}
        old_path = self.prefix.run(["cmd", "/c", "echo", "%PATH%"], env=env).stdout.strip()
        self.assertIn(PATH_MARKER, old_path.split(";"))
        launcher_dir = self.prefix.windows_path(self.scratch) + "\\"
        settings = {**extraction.SETTINGS, 10004: NATIVE_DIRECTORIES}
        source = self.place("source.bin", SECOND_CONTENT)
        cases = [
            ({"lib\\x.dll": source}, lambda temp_dir: f"{temp_dir}\\native;"),
            # Without included files the variable is empty and "\native" is taken as relative.
            ({}, lambda temp_dir: f"{launcher_dir}native;"),
        ]
        for includes, first_entry in cases:
            with self.subTest(includes=list(includes)):
                self.prefix.remove_native_logs()
                launcher = self.build("app.exe", settings, includes=includes)
                result = self.run_launcher(launcher, env=env)
                self.assertEqual(result.exit_code, 83, result.stderr)
                lines = extraction.log_lines(self.the_only_log())
                temp_dir = (extraction.line_after(lines, "Temp dir3: ") if includes else None)
                self.assertEqual(extraction.line_after(lines, "Setting PATH (native libs) "),
                                 f"{first_entry(temp_dir)}{launcher_dir}lib;{old_path}")


if __name__ == "__main__":
    unittest.main()
