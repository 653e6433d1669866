"""Creating the VM and calling main, against the recording stand-in jvm.dll.

The stand-in records the argument record that JNI_CreateJavaVM got (one "option" line per VM
option, in order) and every JNI call after it; a main argument array shows as one "element"
line per element behind the call of main. Each launcher sits in app\\ with its runtime bundled
in app\\jre and key 107 = 0, so that messages go to standard error.
"""
from __future__ import annotations

import unittest
from pathlib import Path

import extraction
import harness
from java_runtimes import Standins, launcher_form

MESSAGE_1005 = "The JVM could not be started."
MESSAGE_1006 = "File or directory {0} not found or empty\n"
MESSAGE_1008 = "Environment variable {0} is not defined"
SECOND_FLAVOUR_ENTRY = "com/kestrowan/runtime/launcher/WinLauncher"
MAIN = f"CallStaticVoidMethodV {SECOND_FLAVOUR_ENTRY} main ([Ljava/lang/String;)V"
FIRST_RUN_CLASS = "com/kestrowan/runtime/launcher/FirstRun"
FIRST_RUN_CALL = f"CallStaticBooleanMethodV {FIRST_RUN_CLASS} firstRun ()Z"
# A variable that neither Wine nor the test environment defines.
UNDEFINED_VARIABLE = "KWN_E2E_NEVER_DEFINED"
SETTINGS = {1005: MESSAGE_1005, 1006: MESSAGE_1006, 2001: "i", 107: 0, 126: "1.7",
            128: "B.\\jre;", 122: "app.Main"}


class VmLaunchTest(harness.WineTestCase):
    standins: Standins

    @classmethod
    def setUpClass(cls) -> None:
        cls.standins = Standins.from_environment()
        super().setUpClass()

    def setUp(self) -> None:
        super().setUp()
        self.app = self.scratch / "app"
        self.app.mkdir()
        self.runtime = self.standins.runtime(self.app / "jre")
        self.vm_log = self.scratch / "vm.log"

    # --- building blocks -------------------------------------------------------------------

    def win(self, path: Path) -> str:
        return self.prefix.windows_path(path)

    def launcher(self, extra: dict | None = None) -> Path:
        return self.products.build_launcher(self.app / "app.exe", {**SETTINGS, **(extra or {})})

    def configure_vm(self, *lines: str) -> None:
        (self.runtime.library().parent / "jvm.cfg").write_text("\n".join(lines) + "\n")

    def start(self, launcher: Path, args: tuple[str, ...] = ()) -> tuple[harness.RunResult,
                                                                        list[str]]:
        result = self.run_launcher(launcher, args,
                                   env={"KWN_STANDIN_LOG": self.win(self.vm_log)})
        record = (self.vm_log.read_bytes().decode("utf-8").splitlines()
                  if self.vm_log.exists() else [])
        return result, record

    @staticmethod
    def options(record: list[str]) -> list[str]:
        return [line[len("option "):] for line in record if line.startswith("option ")]

    def main_arguments(self, record: list[str]) -> list[str]:
        self.assertIn(MAIN, record, "\n".join(record))
        after = record[record.index(MAIN) + 1:]
        self.assertTrue(after and after[0].startswith("array "), after)
        count = int(after[0].split()[1])
        elements = after[1:1 + count]
        self.assertTrue(all(line.startswith("element ") for line in elements), elements)
        return [line[len("element "):] for line in elements]

    def system_properties(self, launcher: Path) -> list[str]:
        """The options the launcher derives itself, for a start without included files."""
        module = self.win(launcher)
        return ["-Dqelvo.isKestrowan=true", f"-Dqelvo.moduleName={module}",
                f"-Dsun.java.command={module}", "-Dqelvo.tempDir=",
                "-Dqelvo.unextractedPosition=0"]

    def assertLibraryPath(self, option: str) -> None:
        lead = "-Djava.library.path="
        self.assertTrue(option.startswith(lead), option)
        # The launcher adds the runtime's bin directory to PATH before creating the VM.
        # It holds the runtime's path as normalised by the search: full and in lower case.
        last = option[len(lead):].split(";")[-1]
        self.assertEqual(last, launcher_form(self.prefix, self.runtime.bin), option)

    # --- scenarios -------------------------------------------------------------------------

    def test_one_start_creates_the_vm_calls_main_and_destroys_the_vm(self) -> None:
        launcher = self.launcher({121: "A0app.jar", 102: 1, 103: "logs\\err.log",
                                  104: 1, 105: "C:\\temp\\\\out.log"})
        result, record = self.start(launcher, ("a", "b"))
        self.assertEqual((result.exit_code, result.stderr), (0, ""), "\n".join(record))

        self.assertIn("JNI_CreateJavaVM version 0x10002 ignoreUnrecognized 1 options 8", record)
        options = self.options(record)
        app = self.win(self.app)
        self.assertEqual(options[:5], self.system_properties(launcher))
        self.assertLibraryPath(options[5])
        self.assertEqual(options[6:], [
            "-Dqelvo.consoleCodepage=cp0",
            f"-Djava.class.path={app}\\.kestrowan\\kwnruntime.jar;{app}\\app.jar;"])

        self.assertEqual(self.main_arguments(record), [
            "false", "app.Main", f"{app}\\logs\\err.log", "C:\\temp\\out.log", "false",
            self.win(launcher), "a", "b"])
        # The entry class is looked up once, main runs once, and the VM is torn down after it.
        self.assertEqual([line for line in record if line.startswith("FindClass ")],
                         ["FindClass " + SECOND_FLAVOUR_ENTRY, "FindClass java/lang/String"])
        self.assertEqual(record[-1], "DestroyJavaVM")
        self.assertEqual(record.count(MAIN), 1)
        for line in record:
            self.assertFalse(line.startswith(("unexpected ", "called with an exception",
                                              "bad ", "deleted ")), line)

    def test_unicode_arguments_reach_main_unchanged(self) -> None:
        launcher = self.launcher()
        result, record = self.start(launcher, ("grüße", "€ x"))
        self.assertEqual(result.exit_code, 0, result.stderr)
        self.assertEqual(self.main_arguments(record)[-2:], ["grüße", "€ x"])

    def test_failed_vm_creation_shows_1005_and_ends_with_1(self) -> None:
        self.configure_vm("create=fail")
        launcher = self.launcher()
        result, record = self.start(launcher)
        self.assertEqual((result.exit_code, result.stderr),
                         (1, harness.as_console_text(MESSAGE_1005)))
        self.assertIn("JNI_CreateJavaVM fails", record)
        self.assertEqual(record[-1], "JNI_CreateJavaVM fails")

    def test_exception_escaping_main_shows_1005_and_keeps_the_vm(self) -> None:
        self.configure_vm("throw-in-main=1")
        result, record = self.start(self.launcher())
        self.assertEqual(result.exit_code, 1, "\n".join(record))
        # The trace the VM prints comes before the launcher's message.
        self.assertTrue(result.stderr.startswith("Exception in thread \"main\" "), result.stderr)
        self.assertTrue(result.stderr.endswith(harness.as_console_text(MESSAGE_1005)),
                        result.stderr)
        self.assertIn("ExceptionDescribe throwable java/lang/RuntimeException", record)
        self.assertNotIn("DestroyJavaVM", record)

    def test_configured_and_file_options_come_in_order_before_the_class_path(self) -> None:
        (self.app / "inc").mkdir()
        (self.app / "inc" / "one.vmoptions").write_text("-Dfrom.include=1\n")
        (self.app / "inc" / "two.vmoptions").write_text("-Dfrom.two=1\r\n")
        (self.app / "app.vmoptions").write_text(
            "  -Xss2m  \n# not an option\n\n-include-options inc\\two.vmoptions\n"
            "-classpath/a x.jar\n-Dlast=1\n")
        launcher = self.launcher(
            {123: "-Xmx64m -include-options inc\\one.vmoptions -Dfrom.key=1"})
        result, record = self.start(launcher)
        self.assertEqual((result.exit_code, result.stderr), (0, ""), "\n".join(record))
        options = self.options(record)
        app = self.win(self.app)
        self.assertEqual(options[:5], self.system_properties(launcher))
        self.assertEqual(options[6:], [
            "-Dqelvo.consoleCodepage=cp0", "-Xmx64m", "-Dfrom.include=1", "-Dfrom.key=1",
            "-Xss2m", "-Dfrom.two=1", "-Dlast=1",
            f"-Djava.class.path={app}\\.kestrowan\\kwnruntime.jar;x.jar"])

    def test_missing_required_class_path_entry_shows_1006(self) -> None:
        result, record = self.start(self.launcher({121: "A0app.jar;A1lib\\missing.jar"}))
        self.assertEqual((result.exit_code, result.stderr),
                         (1, harness.as_console_text(MESSAGE_1006.replace(
                             "{0}", "lib\\missing.jar"))))
        # The class path is built before the VM exists: it is never created.
        self.assertFalse(any(line.startswith("JNI_CreateJavaVM") for line in record), record)

    def test_missing_entry_class_creates_no_main_call(self) -> None:
        self.configure_vm(f"missing-class={SECOND_FLAVOUR_ENTRY}")
        result, record = self.start(self.launcher({1010: "Couldn't load main class."}))
        self.assertEqual((result.exit_code, result.stderr),
                         (1, harness.as_console_text("Couldn't load main class.")))
        self.assertNotIn(MAIN, record)

    def test_vm_option_arguments_go_to_the_vm_when_accepted(self) -> None:
        (self.app / "app.vmoptions").write_text("-Dfrom.file=1\n")
        launcher = self.launcher({123: "-Dfrom.key=1", 125: 1})
        result, record = self.start(launcher, ("a", "-J-Xmx512m", "b"))
        self.assertEqual((result.exit_code, result.stderr), (0, ""), "\n".join(record))
        options = self.options(record)
        app = self.win(self.app)
        # Command line options come after the configured ones and before the file's lines.
        self.assertEqual(options[6:], [
            "-Dqelvo.consoleCodepage=cp0", "-Dfrom.key=1", "-Xmx512m", "-Dfrom.file=1",
            f"-Djava.class.path={app}\\.kestrowan\\kwnruntime.jar;"])
        arguments = self.main_arguments(record)
        self.assertEqual(arguments[-2:], ["a", "b"])
        self.assertNotIn("-J-Xmx512m", arguments)

    def test_vm_option_arguments_reach_main_when_not_accepted(self) -> None:
        launcher = self.launcher({125: 0})
        result, record = self.start(launcher, ("a", "-J-Xmx512m"))
        self.assertEqual((result.exit_code, result.stderr), (0, ""), "\n".join(record))
        options = self.options(record)
        self.assertNotIn("-Xmx512m", options)
        self.assertFalse(any(option.startswith("-J") for option in options), options)
        self.assertEqual(self.main_arguments(record)[-2:], ["a", "-J-Xmx512m"])

    def test_undefined_variable_of_a_required_entry_shows_1008(self) -> None:
        result, record = self.start(self.launcher(
            {121: f"A0app.jar;E1{UNDEFINED_VARIABLE}", 1008: MESSAGE_1008}))
        self.assertEqual((result.exit_code, result.stderr),
                         (1, harness.as_console_text(MESSAGE_1008.replace(
                             "{0}", UNDEFINED_VARIABLE))))
        self.assertFalse(any(line.startswith("JNI_CreateJavaVM") for line in record), record)

    def test_included_archives_lead_the_class_path(self) -> None:
        extraction.remove_launcher_leftovers(self.prefix)
        self.addCleanup(extraction.remove_launcher_leftovers, self.prefix)
        includes = {"a.jar": self.place("a.bin", extraction.every_byte_value(3000)),
                    "user\\b.jar": self.place("b.bin", extraction.every_byte_value(500)),
                    "notes.txt": self.place("c.bin", b"not an archive")}
        launcher = self.products.build_launcher(self.app / "app.exe", SETTINGS,
                                                includes=includes)
        image = launcher.read_bytes()
        result, record = self.start(launcher)
        self.assertEqual((result.exit_code, result.stderr), (0, ""), "\n".join(record))
        options = self.options(record)

        temp_option = [option for option in options if option.startswith("-Dqelvo.tempDir=")]
        self.assertEqual(len(temp_option), 1, options)
        temp_dir = temp_option[0][len("-Dqelvo.tempDir="):]
        self.assertTrue(extraction.TEMP_DIR_NAME.fullmatch(temp_dir.rsplit("\\", 1)[-1]),
                        temp_dir)
        self.assertEqual(self.prefix.unix_path(temp_dir).parent.resolve(),
                         self.prefix.temp_dir.resolve())

        class_path = options[-1]
        lead = "-Djava.class.path="
        self.assertTrue(class_path.startswith(lead), class_path)
        entries = class_path[len(lead):].split(";")
        app = self.win(self.app)
        self.assertEqual(entries, [f"{temp_dir}\\a.jar", f"{temp_dir}\\user\\b.jar",
                                   f"{app}\\.kestrowan\\kwnruntime.jar", ""])

        # Three records were read: the position is where the fourth would start.
        (_, _), (_, _), (last, last_size) = extraction.record_spans(image, 3)
        behind = last + extraction.SIZE_FIELD + last_size
        self.assertLess(behind, len(image))
        self.assertIn(f"-Dqelvo.unextractedPosition={behind}", options)

    def test_first_run_marker_lets_the_first_run_hook_stop_the_start(self) -> None:
        (self.app / ".kestrowan").mkdir()
        (self.app / ".kestrowan" / "firstrun").write_bytes(b"")
        self.configure_vm("firstrun=false")
        result, record = self.start(self.launcher())
        self.assertEqual((result.exit_code, result.stderr), (0, ""), "\n".join(record))
        self.assertIn("FindClass " + FIRST_RUN_CLASS, record)
        self.assertIn(FIRST_RUN_CALL, record)
        self.assertLess(record.index("FindClass " + FIRST_RUN_CLASS),
                        record.index(FIRST_RUN_CALL))
        self.assertNotIn(MAIN, record)
        self.assertNotIn("FindClass " + SECOND_FLAVOUR_ENTRY, record)

    def test_without_first_run_marker_the_hook_is_not_asked(self) -> None:
        self.configure_vm("firstrun=false")
        result, record = self.start(self.launcher())
        self.assertEqual((result.exit_code, result.stderr), (0, ""), "\n".join(record))
        self.assertNotIn("FindClass " + FIRST_RUN_CLASS, record)
        self.assertEqual(record.count(MAIN), 1)


if __name__ == "__main__":
    unittest.main()
