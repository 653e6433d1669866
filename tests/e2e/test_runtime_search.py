"""The search for a Java runtime, against stand-in runtimes on disk and in the registry.

Every start runs with the native log on and the stand-in VM library recording where it was
loaded from. A start whose library loaded and exports JNI_CreateJavaVM runs main in the
stand-in VM and ends with exit code 0 (a library without it ends with message 1005), and a start without a loadable runtime with exit code 83 and the message that names the
source of the last accepted candidate. Key 107 = 0 keeps messages on standard error, and the
launcher then probes and loads through java.exe.
"""
from __future__ import annotations

import re
import unittest
from dataclasses import dataclass
from pathlib import Path

import extraction
import harness
from java_runtimes import (INSTALLATIONS, JAVASOFT_JDK, JAVASOFT_JRE, LOCATED, SEEDED_ROOTS,
                           WINE_START_ATTEMPTS, WINE_START_FAILURE, Runtime, Standins,
                           WineRegistry, filetime, launcher_form, probe_cache_key)

MESSAGE_1005 = ("The JVM could not be started. The maximum heap size (-Xmx) might be too large "
                "or an antivirus or firewall tool could block the execution.")
INTERNAL_ERROR = "An internal error occurred (error code: {0})"
VARIABLE_MESSAGE = "The {0} environment variable does not\npoint to a working %s-bit JDK or JRE."
DIRECTORY_MESSAGE = ("The JVM found at {0} is damaged.\nPlease reinstall or define "
                     "QELVO_JAVA_HOME\nto point to an installed %s-bit JDK or JRE.")
TYPICAL_SEQUENCE = "B.\\jre;Y;EJAVA_HOME;EJDK_HOME;"
# The 32-bit forms are there too, worded apart, so that a message of the wrong width shows.
SETTINGS = {1000: "Error", 1005: MESSAGE_1005, 1009: INTERNAL_ERROR, 1016: harness.NO_JVM_MESSAGE,
            1017: VARIABLE_MESSAGE % "32", 1018: VARIABLE_MESSAGE % "64",
            1019: DIRECTORY_MESSAGE % "32", 1020: DIRECTORY_MESSAGE % "64",
            2001: "i", 107: 0, 126: "1.7", 128: TYPICAL_SEQUENCE}
NO_JVM = harness.NO_JVM_MESSAGE.replace("{0}", "64")
LOG_SUFFIX = re.compile(r"\r\n\r\nLog: [^\r\n]+\r\n$")
VM_TYPES = ("hotspot", "client", "server", "classic", "jrockit")
NOT_A_LIBRARY = b"MZ but nothing a loader accepts" + bytes(200)
PROBE_NOT_STARTED = re.compile(r"^Could not create process .* \(error 1359\)$")


def variable_message(name: str) -> str:
    return SETTINGS[1018].replace("{0}", name)


def directory_message(text: str) -> str:
    return SETTINGS[1020].replace("{0}", text)


def path_settings(log: list[str]) -> list[str]:
    """The values the library loader gave PATH; the native library step logs its own."""
    return [line[len("Setting PATH "):] for line in log
            if line.startswith("Setting PATH ") and not line.startswith("Setting PATH (")]


@dataclass(frozen=True)
class Start:
    exit_code: int
    message: str | None  # None when nothing reached standard error
    stdout: str
    log: list[str]
    vm: list[str]  # the stand-in library's lines

    def loaded(self) -> list[str]:
        """The files of the stand-in libraries loaded, in order ("loaded <build> <path>")."""
        return [line.split(" ", 2)[2].lower() for line in self.vm if line.startswith("loaded ")]


class RuntimeSearchTest(harness.WineTestCase):
    standins: Standins
    registry: WineRegistry

    @classmethod
    def setUpClass(cls) -> None:
        cls.standins = Standins.from_environment()
        super().setUpClass()
        cls.registry = WineRegistry(cls.prefix)
        # Keys an interrupted run may have left; a fresh prefix has none of them.
        cls.registry.remove(SEEDED_ROOTS)

    def setUp(self) -> None:
        super().setUp()
        self.app = self.scratch / "app"
        self.app.mkdir()
        self.vm_log = self.scratch / "vm.log"
        self.addCleanup(self.registry.remove_probe_cache_below, self.win(self.scratch))
        # Probe output files the launcher could not delete (see the expected failure below)
        # must not pile up in the temp directory that every scenario shares.
        self.temp_files_before = extraction.temp_files(self.prefix)
        self.addCleanup(self.remove_new_temp_files)

    def remove_new_temp_files(self) -> None:
        for name in extraction.temp_files(self.prefix) - self.temp_files_before:
            (self.prefix.temp_dir / name).unlink(missing_ok=True)

    # --- building blocks -------------------------------------------------------------------

    def win(self, path: Path) -> str:
        return launcher_form(self.prefix, path)

    def launcher(self, extra: dict | None = None, directory: Path | None = None) -> Path:
        directory = directory or self.app
        directory.mkdir(parents=True, exist_ok=True)
        return self.products.build_launcher(directory / "app.exe", {**SETTINGS, **(extra or {})})

    def bundled(self, version: str | None = "1.8.0_292", **options) -> Runtime:
        return self.standins.runtime(self.app / "jre", version, **options)

    def elsewhere(self, name: str, version: str | None = "1.8.0_292", **options) -> Runtime:
        return self.standins.runtime(self.scratch / "runtimes" / name, version, **options)

    def seed(self, keys: dict[str, dict[str, str | bytes]]) -> None:
        self.registry.seed(keys)
        self.addCleanup(self.registry.remove, SEEDED_ROOTS)

    def start(self, launcher: Path, env: dict[str, str] | None = None) -> Start:
        """One start with the log on. On a loaded machine Wine now and then cannot create a
        process (ERROR_INTERNAL_ERROR): the launcher itself did not start, or its probe of a
        console java.exe did not, which leaves nothing behind. That is Wine's doing, not the
        launcher's, so the start is made again."""
        log: list[str] = []
        for _ in range(WINE_START_ATTEMPTS):
            self.prefix.remove_native_logs()
            self.vm_log.unlink(missing_ok=True)
            result = self.run_launcher(launcher, env={
                "QELVO_LOG": "yes", "KWN_STANDIN_LOG": self.prefix.windows_path(self.vm_log),
                **(env or {})})
            logs = self.prefix.native_logs()
            if not logs and WINE_START_FAILURE in result.stdout + result.stderr:
                continue
            self.assertEqual(len(logs), 1, f"expected one native log, found {logs}")
            log = logs[0].read_bytes().decode("latin-1").split("\r\n")
            if not any(PROBE_NOT_STARTED.search(line) for line in log):
                break
        self.assertTrue(log, f"Wine could not start the launcher: {result!r}")
        message = None
        if result.stderr:
            self.assertRegex(result.stderr, LOG_SUFFIX)
            message = LOG_SUFFIX.sub("", result.stderr).replace("\r\n", "\n")
        vm = self.vm_log.read_text(encoding="latin-1").splitlines() if self.vm_log.exists() else []
        return Start(result.exit_code, message, result.stdout, log, vm)

    # --- assertions ------------------------------------------------------------------------

    def assertVmStarted(self, start: Start, runtime: Runtime, boxed: bool = False) -> None:
        """The runtime's library was the last one loaded, the launcher said so, and the start
        ended the way a loaded VM library ends it."""
        self.assertIn("Loading of JVM-DLL successful", start.log, "\n".join(start.log))
        self.assertEqual(start.loaded()[-1:], [self.win(runtime.library())])
        if any(line.startswith("JNI_CreateJavaVM") for line in start.vm):
            # The stand-in VM runs main and returns: the launcher ends normally.
            self.assertEqual((start.exit_code, start.message), (0, None), "\n".join(start.vm))
            self.assertEqual(start.vm[-1], "DestroyJavaVM")
        else:
            self.assertEqual((start.exit_code, start.message),
                             (1, None if boxed else MESSAGE_1005))

    def assertNoRuntime(self, start: Start, message: str = NO_JVM) -> None:
        self.assertEqual((start.exit_code, start.message), (83, message), "\n".join(start.log))
        self.assertNotIn("Loading of JVM-DLL successful", start.log)

    def assertInOrder(self, lines: list[str], expected: list[str]) -> None:
        position = 0
        for line in expected:
            try:
                position = lines.index(line, position) + 1
            except ValueError:
                self.fail(f"{line!r} not logged after line {position}:\n" + "\n".join(lines))

    def assertLoggedIgnoringCase(self, lines: list[str], expected: str) -> None:
        self.assertIn(expected.lower(), [line.lower() for line in lines], "\n".join(lines))

    def assertPathRestored(self, log: list[str], bin_dirs: list[str]) -> None:
        """Every attempt appended its bin directory to PATH and set the old value back."""
        settings = path_settings(log)
        self.assertEqual(len(settings), 2 * len(bin_dirs), settings)
        old = settings[0][:-len(";" + bin_dirs[0])]
        expected = []
        for bin_dir in bin_dirs:
            expected += [f"{old};{bin_dir}", old]
        self.assertEqual(settings, expected)

    # --- the search sequence ---------------------------------------------------------------

    def test_too_old_bundled_runtime_is_rejected_first_and_taken_by_the_fallback_pass(self) -> None:
        jre = self.bundled("1.6.0_45")
        start = self.start(self.launcher())
        self.assertVmStarted(start, jre)
        java, bin_dir = self.win(jre.java), self.win(jre.bin)
        self.assertInOrder(start.log, [
            "Searching for a JVM",
            "Testing location .\\jre (type B)",
            "got version from execution 1.6.0_45",
            "checkJavaExe returning 0",
            "Testing location  (type Y)",
            "Testing location JAVA_HOME (type E)",
            "Testing location JDK_HOME (type E)",
            "Testing relative location .\\jre",
            f"{java} exists",
            f"Trying to load JVM-DLL from {java}",
            f"Trying {bin_dir}\\hotspot\\jvm.dll (exists 0)",
            f"Trying {bin_dir}\\client\\jvm.dll (exists 0)",
            f"Trying {bin_dir}\\server\\jvm.dll (exists 1)",
            "Loading of JVM-DLL successful"])
        # The fallback pass tests no version, and the search ends with the first library.
        self.assertEqual(len(jre.probes()), 1)
        self.assertNotIn("Search sequence finished", start.log)

    def test_variable_runtime_goes_before_the_fallback_pass(self) -> None:
        jre = self.bundled("1.6.0_45")
        java_home = self.elsewhere("java home", "1.8.0_292")
        jdk_home = self.elsewhere("jdk home", "1.8.0_292")
        start = self.start(self.launcher(), {
            "JAVA_HOME": self.prefix.windows_path(java_home.home),
            "JDK_HOME": self.prefix.windows_path(jdk_home.home)})
        self.assertVmStarted(start, java_home)
        self.assertEqual(start.loaded(), [self.win(java_home.library())])
        self.assertEqual((len(jre.probes()), len(java_home.probes()), jdk_home.probes()),
                         (1, 1, []))

    def test_variable_home_with_forward_slashes_and_a_jdk_layout(self) -> None:
        home = self.scratch / "runtimes" / "Other JDK 8"
        outer, jre = self.standins.jdk(home, "1.8.0_292")
        # A banner as a runtime on Windows prints it, after a note of the tool options.
        jre.configure('java version "1.8.0_292"', crlf=True,
                      before=["Picked up JAVA_TOOL_OPTIONS: -Xmx1g"],
                      after=["Java(TM) SE Runtime Environment (build 1.8.0_292-b10)"])
        start = self.start(self.launcher(), {
            "JAVA_HOME": self.prefix.windows_path(home).replace("\\", "/")})
        self.assertVmStarted(start, jre)
        self.assertIn("got version from execution 1.8.0_292", start.log)
        # The JDK's runtime is preferred to its own bin\java.exe.
        self.assertEqual(outer.probes(), [])
        # The short path keeps the blank of "Other JDK 8" out of an unquoted command line.
        probes = jre.probes()
        self.assertEqual(len(probes), 1)
        self.assertRegex(probes[0], r'^[^ "]+\\java\.exe -version$')

    def test_first_line_of_the_banner_gives_the_version(self) -> None:
        cases = [
            # (java.exe behaviour, what the log says about the probe, accepted)
            (dict(banner_line='openjdk version "1.8.0_292"'),
             "got version from execution 1.8.0_292", True),
            # Only the closing quote and the line end are dropped, whatever follows them.
            (dict(banner_line='openjdk version "11.0.2" 2019-01-15'),
             'got version from execution 11.0.2" 2019-01-1', True),
            (dict(banner_line='java version "1.7.0_21"', crlf=True),
             "got version from execution 1.7.0_21", True),
            (dict(banner_line='java version "1.8.0_292"', exit_code=3), "Exit Code 3", False),
        ]
        launcher = self.launcher()
        for number, (behaviour, logged, accepted) in enumerate(cases):
            with self.subTest(behaviour=behaviour):
                runtime = self.elsewhere(f"case{number}", None)
                runtime.configure(**behaviour)
                start = self.start(launcher, {"JAVA_HOME": self.prefix.windows_path(runtime.home)})
                self.assertIn(logged, start.log)
                if accepted:
                    self.assertVmStarted(start, runtime)
                else:
                    self.assertNoRuntime(start)

    def test_pre_release_is_refused_from_a_variable_and_taken_from_a_directory(self) -> None:
        variable_runtime = self.elsewhere("ea", "1.8.0-ea")
        env = {"JAVA_HOME": self.prefix.windows_path(variable_runtime.home)}
        refused = self.start(self.launcher(), env)
        self.assertNoRuntime(refused)
        self.assertIn("beta vm not allowed", refused.log)

        # Key 130 allows pre-releases from every source.
        allowed = self.start(self.launcher({130: 1}), env)
        self.assertVmStarted(allowed, variable_runtime)

        jre = self.bundled("1.8.0-ea")
        from_directory = self.start(self.launcher(), env)
        self.assertVmStarted(from_directory, jre)
        self.assertNotIn("Testing relative location .\\jre", from_directory.log)

    def test_override_variables_come_after_everything_else(self) -> None:
        override = self.elsewhere("override", "1.8.0_292")
        override_env = self.prefix.windows_path(override.home)
        launcher = self.launcher()
        for variable in ("QELVO_JAVA_HOME", "KESTROWAN_JAVA_HOME"):
            with self.subTest(variable=variable):
                start = self.start(launcher, {variable: override_env})
                self.assertVmStarted(start, override)
                self.assertIn("Search sequence finished", start.log)
        probes_so_far = len(override.probes())
        # The fallback pass over a too-old bundled runtime comes first.
        jre = self.bundled("1.6.0_45")
        start = self.start(launcher, {"QELVO_JAVA_HOME": override_env})
        self.assertVmStarted(start, jre)
        self.assertEqual(len(override.probes()), probes_so_far)

    def test_without_any_runtime_the_start_ends_with_83(self) -> None:
        start = self.start(self.launcher())
        self.assertNoRuntime(start)
        self.assertInOrder(start.log, ["Searching for a JVM", "Testing location .\\jre (type B)",
                                       "Search sequence finished", "ERROR: No JVM found"])
        self.assertEqual(start.vm, [])

    # --- the registry ----------------------------------------------------------------------

    def javasoft(self, key: str, current: str | None, homes: dict[str, Path | None]) -> dict:
        """A JavaSoft key with its current version and one subkey per version; a subkey whose
        home is None has no JavaHome."""
        keys = {key: {} if current is None else {"CurrentVersion": current}}
        for version, home in homes.items():
            keys[f"{key}\\{version}"] = ({"JavaHome": self.prefix.windows_path(home)} if home
                                         else {"MicroVersion": "0"})
        return keys

    def test_javasoft_current_versions_choose_the_jdk_or_the_runtime_key(self) -> None:
        runtime = self.elsewhere("jre8", "1.8.0_05")
        jdk_home = self.scratch / "runtimes" / "jdk8"
        _, jdk = self.standins.jdk(jdk_home, "1.8.0_20")
        launcher = self.launcher()
        cases = [
            # (JDK current version, runtime current version, the runtime taken)
            ("1.8", "1.8", runtime),
            ("1.8.0_20", "1.8", jdk),
        ]
        for jdk_version, runtime_version, chosen in cases:
            with self.subTest(jdk=jdk_version, runtime=runtime_version):
                self.registry.remove(SEEDED_ROOTS)
                self.seed({**self.javasoft(JAVASOFT_JDK, jdk_version, {jdk_version: jdk_home}),
                           **self.javasoft(JAVASOFT_JRE, runtime_version,
                                           {runtime_version: runtime.home})})
                start = self.start(launcher)
                self.assertVmStarted(start, chosen)
                version = "1.8.0_05" if chosen is runtime else "1.8.0_20"
                self.assertLoggedIgnoringCase(start.log,
                                              f"found sun {self.win(chosen.java)} {version}")

    def test_javasoft_enumeration_goes_from_the_greatest_name_down(self) -> None:
        old = self.elsewhere("jre6", "1.6.0_45")
        seven = self.elsewhere("jre7", "1.7.0_80")
        eight = self.elsewhere("jre8", "1.8.0_05")
        jdk = self.elsewhere("jdk9", "1.8.0_99")
        # Byte-wise "10.0.1" sorts between "1.8.0_05" and "9.0.4"; both of those lack a
        # usable home, so the runtime of "1.8.0_05" is the first that passes.
        self.seed({**self.javasoft(JAVASOFT_JRE, None, {
            "1.6.0_45": old.home, "1.7": seven.home, "1.8.0_05": eight.home,
            "10.0.1": self.scratch / "runtimes" / "gone", "9.0.4": None}),
            **self.javasoft(JAVASOFT_JDK, None, {"1.8.0_99": jdk.home})})
        start = self.start(self.launcher())
        self.assertVmStarted(start, eight)
        self.assertEqual((old.probes(), seven.probes(), jdk.probes()), ([], [], []))

    def test_key_131_takes_only_jdks_from_javasoft(self) -> None:
        runtime = self.elsewhere("jre8", "1.8.0_05")
        jdk_home = self.scratch / "runtimes" / "jdk7"
        _, jdk = self.standins.jdk(jdk_home, "1.7.0_80")
        self.seed({**self.javasoft(JAVASOFT_JRE, "1.8", {"1.8": runtime.home}),
                   **self.javasoft(JAVASOFT_JDK, None, {"1.7.0_80": jdk_home})})
        start = self.start(self.launcher({131: 1}))
        self.assertVmStarted(start, jdk)
        self.assertEqual(runtime.probes(), [])

    def located(self, root: str, runtime: Runtime) -> dict:
        # Other software records the executable with "/" for "\" and its own spelling.
        name = self.prefix.windows_path(runtime.java).replace("\\", "/")
        return {f"{LOCATED[root]}\\{name}": {}}

    def test_located_runtimes_highest_version_wins_and_ties_go_to_the_machine(self) -> None:
        cases = [
            # (user's version, machine's version, the root whose runtime is taken)
            ("1.7.0_21", "1.8.0_05", "machine"),
            ("1.8.0_05", "1.7.0_21", "user"),
            ("1.8.0_05", "1.8.0_05", "machine"),
        ]
        launcher = self.launcher()
        for number, (user_version, machine_version, winner) in enumerate(cases):
            with self.subTest(user=user_version, machine=machine_version):
                self.registry.remove(SEEDED_ROOTS)
                runtimes = {"user": self.elsewhere(f"user{number}", user_version),
                            "machine": self.elsewhere(f"machine{number}", machine_version)}
                self.seed({**self.located("user", runtimes["user"]),
                           **self.located("machine", runtimes["machine"])})
                start = self.start(launcher)
                self.assertVmStarted(start, runtimes[winner])
                # Both roots are checked in full before the choice.
                self.assertEqual([len(runtime.probes()) for runtime in runtimes.values()], [1, 1])

    def test_javasoft_and_located_runtimes_higher_version_wins_ties_go_to_located(self) -> None:
        located = self.elsewhere("located", "1.8.0_05")
        launcher = self.launcher()
        for number, (sun_version, winner) in enumerate([("1.8.0_05", "located"),
                                                        ("1.8.0_20", "sun")]):
            with self.subTest(javasoft=sun_version):
                self.registry.remove(SEEDED_ROOTS)
                sun = self.elsewhere(f"sun{number}", sun_version)
                self.seed({**self.javasoft(JAVASOFT_JRE, sun_version, {sun_version: sun.home}),
                           **self.located("user", located)})
                start = self.start(launcher)
                self.assertVmStarted(start, located if winner == "located" else sun)
                self.assertLoggedIgnoringCase(start.log,
                                              f"found located {self.win(located.java)} 1.8.0_05")

    def test_key_165_restricts_the_registry_to_runtimes_of_the_application(self) -> None:
        sun = self.elsewhere("sun", "1.8.0_99")
        plain = self.elsewhere("plain", "1.8.0_99")
        own = self.standins.runtime(self.scratch / "runtimes" / "kwn_jres" / "app", "1.8.0_05")
        self.seed({**self.javasoft(JAVASOFT_JRE, "1.8.0_99", {"1.8.0_99": sun.home}),
                   **self.located("user", plain), **self.located("machine", own)})
        start = self.start(self.launcher({165: 1}))
        self.assertVmStarted(start, own)
        self.assertEqual((sun.probes(), plain.probes()), ([], []))

    def test_previous_installations_of_the_application_id(self) -> None:
        launcher = self.launcher({160: "org.example.App"})
        gone = self.scratch / "installs" / "gone"
        user_install = self.scratch / "installs" / "user"
        machine_install = self.scratch / "installs" / "machine"
        user_runtime = self.standins.runtime(user_install / "jre", "1.8.0_292")
        machine_runtime = self.standins.runtime(machine_install / "jre", "1.8.0_292")
        listed = f"{self.prefix.windows_path(gone)};{self.prefix.windows_path(user_install)}"
        cases = [
            ("user", listed, user_runtime),
            # Only in the 32-bit view of the machine's registry.
            ("machine-32", self.prefix.windows_path(machine_install), machine_runtime),
        ]
        for root, value, runtime in cases:
            with self.subTest(root=root):
                self.registry.remove(SEEDED_ROOTS)
                self.seed({INSTALLATIONS[root]: {"org.example.App": value}})
                start = self.start(launcher)
                self.assertVmStarted(start, runtime)
                self.assertIn(f"found installations: {value}", start.log)
                owner = "user" if root == "user" else "machine"
                self.assertLoggedIgnoringCase(
                    start.log, f"found JRE from previous installation ({owner}) "
                               f"{self.win(runtime.java)}")
                if root == "user":
                    self.assertIn(
                        f"java version did not match in {self.prefix.windows_path(gone)}\\jre",
                        start.log)

    # --- the probe cache -------------------------------------------------------------------

    def cached(self, runtime: Runtime) -> tuple[str, bytes] | None:
        values = self.registry.values(probe_cache_key(self.win(runtime.java)))
        if values is None:
            return None
        return values["Version"].data, values["LastWriteTime"].data

    def test_unchanged_runtime_is_probed_once_and_a_changed_one_again(self) -> None:
        jre = self.bundled("1.8.0_292")
        launcher = self.launcher()
        first = self.start(launcher)
        self.assertVmStarted(first, jre)
        self.assertEqual(len(jre.probes()), 1)
        self.assertEqual(self.cached(jre), ("1.8.0_292", filetime(jre.java)))

        second = self.start(launcher)
        self.assertVmStarted(second, jre)
        self.assertEqual(len(jre.probes()), 1)
        self.assertIn("got version from registry 1.8.0_292", second.log)

        jre.touch()
        third = self.start(launcher)
        self.assertVmStarted(third, jre)
        self.assertEqual(len(jre.probes()), 2)
        self.assertEqual(self.cached(jre), ("1.8.0_292", filetime(jre.java)))

    # Under Wine the console host of a console java.exe still holds the inherited output file
    # for 25 to 70 ms after the probe has ended (the first delete fails with error 32); three
    # probes make an accidental pass unlikely.
    def test_probes_leave_no_output_file_behind(self) -> None:
        self.bundled("1.6.0_45")
        java_home = self.elsewhere("java home", "1.6.0_45")
        jdk_home = self.elsewhere("jdk home", "1.8.0_292")
        start = self.start(self.launcher(), {
            "JAVA_HOME": self.prefix.windows_path(java_home.home),
            "JDK_HOME": self.prefix.windows_path(jdk_home.home)})
        self.assertVmStarted(start, jdk_home)
        self.assertEqual(start.log.count("Exit Code 0"), 3)
        self.assertEqual(extraction.temp_files(self.prefix) - self.temp_files_before, set())

    def test_failed_probe_is_remembered_as_a_failure_and_probed_again(self) -> None:
        runtime = self.elsewhere("failing", "1.8.0_292", exit_code=1)
        env = {"JAVA_HOME": self.prefix.windows_path(runtime.home)}
        launcher = self.launcher()
        for probes in (1, 2):
            self.assertNoRuntime(self.start(launcher, env))
            self.assertEqual(len(runtime.probes()), probes)
            self.assertEqual(self.cached(runtime), ("1.0.0", filetime(runtime.java)))
        # The same file now answers: probed once more, then known.
        runtime.configure('java version "1.8.0_292"')
        for _ in range(2):
            self.assertVmStarted(self.start(launcher, env), runtime)
            self.assertEqual(len(runtime.probes()), 3)
        self.assertEqual(self.cached(runtime)[0], "1.8.0_292")

    def test_cache_entry_counts_only_with_the_exact_last_write_time(self) -> None:
        runtime = self.elsewhere("cached", "1.8.0_292")
        env = {"JAVA_HOME": self.prefix.windows_path(runtime.home)}
        launcher = self.launcher()
        stamp = filetime(runtime.java)
        other_stamp = (int.from_bytes(stamp, "little") + 1).to_bytes(8, "little")
        cases = [
            # (LastWriteTime, Version, the version the check goes by, probed)
            (stamp, "1.8.0_05", "got version from registry 1.8.0_05", False),
            (stamp, "1.6.0_45", "got version from registry 1.6.0_45", False),
            (other_stamp, "1.8.0_05", "got version from execution 1.8.0_292", True),
            (stamp[:4], "1.8.0_05", "got version from execution 1.8.0_292", True),
            # The mark of a failed probe is never taken for a version.
            (stamp, "1.0.0", "got version from execution 1.8.0_292", True),
        ]
        for last_write, version, logged, probed in cases:
            with self.subTest(last_write=last_write.hex(), version=version):
                key = probe_cache_key(self.win(runtime.java))
                self.registry.remove([key])
                self.registry.seed({key: {"LastWriteTime": last_write, "Version": version}})
                probes_before = len(runtime.probes())
                start = self.start(launcher, env)
                self.assertIn(logged, start.log)
                self.assertEqual(len(runtime.probes()) - probes_before, int(probed))
                if version == "1.6.0_45":
                    self.assertNoRuntime(start)
                else:
                    self.assertVmStarted(start, runtime)

    # --- packed runtimes -------------------------------------------------------------------

    def test_packed_archives_are_unpacked_once(self) -> None:
        directory = self.scratch / "App Dir"
        jre = self.standins.runtime(directory / "jre", "1.8.0_292", unpack200=True)
        lib = jre.home / "lib"
        (lib / "ext").mkdir(parents=True)
        packs = {lib / "rt.jar.pack": b"rt content", lib / "ext" / "a.jar.pack": b"a content",
                 lib / "b.jar.pack": b"b pack"}
        for pack, content in packs.items():
            pack.write_bytes(content)
        (lib / "b.jar").write_bytes(b"b unpacked earlier")
        launcher = self.launcher(directory=directory)

        first = self.start(launcher)
        self.assertVmStarted(first, jre)
        self.assertEqual(first.stdout, "Preparing JRE ...\r\n")
        home = self.win(jre.home)
        self.assertEqual(jre.unpacks(), [
            f'-r "{home}\\lib\\rt.jar.pack" "{home}\\lib\\rt.jar"',
            f'-r "{home}\\lib\\ext\\a.jar.pack" "{home}\\lib\\ext\\a.jar"'])
        self.assertEqual([(lib / "rt.jar").read_bytes(), (lib / "ext" / "a.jar").read_bytes()],
                         [b"rt content", b"a content"])
        self.assertEqual(sorted(path.name for path in lib.rglob("*.pack")), ["b.jar.pack"])
        self.assertEqual((lib / "b.jar").read_bytes(), b"b unpacked earlier")
        self.assertEqual([first.log.count("Unpacking JRE"), first.log.count("Unpacking JRE done")],
                         [1, 1])

        second = self.start(launcher)
        self.assertVmStarted(second, jre)
        self.assertEqual((second.stdout, len(jre.unpacks())), ("", 2))

    def test_packed_runtime_without_unpack_tool_is_an_internal_error(self) -> None:
        jre = self.bundled("1.8.0_292")
        (jre.home / "lib").mkdir()
        (jre.home / "lib" / "rt.jar.pack").write_bytes(b"rt content")
        start = self.start(self.launcher())
        self.assertEqual((start.exit_code, start.message), (1, INTERNAL_ERROR.replace("{0}", "20")))
        self.assertIn("could not create unpack process", start.log)
        self.assertEqual((jre.probes(), start.vm), ([], []))

    # --- runtimes that are accepted but do not load ----------------------------------------

    def test_variable_runtime_without_a_library_names_the_variable(self) -> None:
        runtime = self.elsewhere("no library", "1.8.0_292", library=None)
        start = self.start(self.launcher(), {"JAVA_HOME": self.prefix.windows_path(runtime.home)})
        self.assertNoRuntime(start, variable_message("JAVA_HOME"))
        bin_dir = self.win(runtime.bin)
        # Five types in the bin directory, then five in the runtime a JDK would hold.
        self.assertEqual([line for line in start.log if line.startswith("Trying ")],
                         [f"Trying to load JVM-DLL from {self.win(runtime.java)}"]
                         + [f"Trying {bin_dir}\\{kind}\\jvm.dll (exists 0)" for kind in VM_TYPES]
                         + [f"Trying {bin_dir}\\..\\jre\\bin\\{kind}\\jvm.dll (exists 0)"
                            for kind in VM_TYPES])
        self.assertPathRestored(start.log, [bin_dir, f"{bin_dir}\\..\\jre\\bin"])
        self.assertIn("ERROR: Could not get DLL-Handle.", start.log)

    def test_directory_runtime_whose_library_does_not_load_names_the_directory(self) -> None:
        runtime = self.elsewhere("Broken", "1.8.0_292", library=NOT_A_LIBRARY)
        text = self.prefix.windows_path(runtime.home)
        start = self.start(self.launcher({128: f"A{text}"}))
        self.assertNoRuntime(start, directory_message(text))
        bin_dir = self.win(runtime.bin)
        self.assertInOrder(start.log, [f"Trying {bin_dir}\\server\\jvm.dll (exists 1)",
                                       "Failed with error code 193"])
        # An absolute entry is not tried again by the fallback pass.
        self.assertPathRestored(start.log, [bin_dir, f"{bin_dir}\\..\\jre\\bin"])

    def test_library_without_the_entry_point_keeps_path_and_names_the_directory(self) -> None:
        jre = self.bundled("1.8.0_292", library="jvm-noexport.dll")
        start = self.start(self.launcher())
        self.assertNoRuntime(start, directory_message(".\\jre"))
        self.assertEqual(start.vm, [f"loaded jvm-noexport {self.win(jre.library())}"])
        self.assertIn("ERROR: Could not load functions", start.log)
        settings = path_settings(start.log)
        self.assertEqual(len(settings), 1)
        self.assertTrue(settings[0].endswith(f";{self.win(jre.bin)}"), settings)

    def test_search_path_and_registry_runtimes_without_a_library(self) -> None:
        on_path = self.elsewhere("on path", "1.8.0_292", library=None)
        start = self.start(self.launcher({128: "S"}),
                           {"WINEPATH": self.prefix.windows_path(on_path.bin)})
        self.assertNoRuntime(start)
        self.assertIn("checkJavaExe returning 1", start.log)

        located = self.elsewhere("located", "1.8.0_292", library=None)
        self.seed(self.located("user", located))
        start = self.start(self.launcher())
        self.assertNoRuntime(start, MESSAGE_1005)
        self.assertEqual(len(located.probes()), 1)

    def test_windowed_launcher_needs_javaw_beside_java(self) -> None:
        launcher = self.launcher({107: 1})
        without = self.elsewhere("no javaw", "1.8.0_292", javaw=False)
        start = self.start(launcher, {"JAVA_HOME": self.prefix.windows_path(without.home)})
        self.assertEqual((start.exit_code, start.message), (83, None))
        self.assertIn("checkJavaExe returning 0", start.log)

        runtime = self.elsewhere("javaw", "1.8.0_292")
        start = self.start(launcher, {"JAVA_HOME": self.prefix.windows_path(runtime.home)})
        self.assertVmStarted(start, runtime, boxed=True)
        self.assertIn(f"Trying to load JVM-DLL from {self.win(runtime.bin)}\\javaw.exe", start.log)
        # The probe itself ran java.exe; javaw.exe only had to be there.
        self.assertEqual(len(runtime.probes()), 1)
        self.assertRegex(runtime.probes()[0], re.compile(r"\\java\.exe -version$", re.IGNORECASE))


if __name__ == "__main__":
    unittest.main()
