"""The search for a Java runtime across its real sources: the bundled directory, an environment
variable, the registry (JavaSoft keys, runtimes other software located, previous installations in
the 32-bit view), the search path, and the versions it caches in the registry. The order and the
rules of the search are the unit tier's; each start here takes its runtime from one real source."""
import unittest

import harness

MACHINE = "HKEY_LOCAL_MACHINE\\SOFTWARE"
JAVASOFT = MACHINE + "\\JavaSoft"
LOCATED = "HKEY_CURRENT_USER\\SOFTWARE\\corvane-systems\\qelvo\\locatedjvms"
INSTALLATIONS = MACHINE + "\\Wow6432Node\\corvane-systems"
# The bundled runtime is too old for key 126; only the fallback pass takes it.
SETTINGS = {**harness.SETTINGS, 107: 0, 126: "1.7", 128: "B.\\jre;Y;EJAVA_HOME;S",
            160: "org.example.App"}


class RuntimeSearchTest(harness.WineTestCase):
    def test_each_source_gives_its_runtime(self) -> None:
        self.addCleanup(self.registry.remove, [JAVASOFT, LOCATED, INSTALLATIONS])
        runtimes = self.scratch / "runtimes"
        bundled = harness.Runtime(self.scratch / "app" / "jre", "1.6.0_45")
        # A blank in its path: the probe's unquoted command line must use the short path.
        java_home = harness.Runtime(runtimes / "java home")
        javasoft, located, on_path = (harness.Runtime(runtimes / name)
                                      for name in ("javasoft", "located", "on path"))
        installed = harness.Runtime(runtimes / "installed" / "jre")
        win = self.prefix.windows_path
        slashed = win(java_home.home).replace("\\", "/")
        located_name = win(located.java).replace("\\", "/")
        cases = [
            # (what, registry keys to seed, environment, the runtime loaded)
            # Written with "/", as users do; the system's full path turns it into "\".
            ("environment variable", {}, {"JAVA_HOME": slashed}, java_home),
            ("the same again, versions from the cache", {}, {"JAVA_HOME": slashed}, java_home),
            ("JavaSoft key", {f"{JAVASOFT}\\Java Runtime Environment": {"CurrentVersion": "1.8"},
                              f"{JAVASOFT}\\Java Runtime Environment\\1.8": {
                                  "JavaHome": win(javasoft.home)}}, {}, javasoft),
            # Other software records the executable with "/" for "\".
            ("located runtime", {f"{LOCATED}\\{located_name}": {}}, {}, located),
            ("previous installation, 32-bit view", {
                f"{INSTALLATIONS}\\kestrowan\\installations": {
                    "org.example.App": win(runtimes / "gone") + ";" + win(installed.home.parent)}},
             {}, installed),
            ("search path", {}, {"WINEPATH": win(on_path.bin)}, on_path),
            ("nothing else: the fallback pass", {}, {}, bundled),
        ]
        launcher = self.build("app/app.exe", SETTINGS)
        # Previous installations come after the fallback pass, which takes a bundled runtime.
        bare = self.build("bare/app.exe", SETTINGS)
        for what, keys, env, expected in cases:
            with self.subTest(what):
                self.registry.remove([JAVASOFT, LOCATED, INSTALLATIONS])
                self.registry.seed(keys)
                # Wine on a loaded machine now and then fails to start the launcher or a probe.
                for _ in range(3):
                    result = self.run_launcher(bare if expected is installed else launcher,
                                               env={**env, "QELVO_LOG": "yes"})
                    record = self.vm_record()
                    log = self.the_only_log() if self.prefix.native_logs() else ["(no log)"]
                    if result[:2] == (0, "") and not any("(error 1359)" in x for x in log):
                        break
                self.assertEqual(result[:2], (0, ""), (result, record, log))
                self.assertEqual([line.lower() for line in record if line.startswith("loaded ")], [
                    "loaded jvm " + harness.launcher_form(self.prefix, expected.library)])
                self.assertEqual(record[-1], "DestroyJavaVM")
        self.assertEqual(len(bundled.probes()), 1)
        self.assertEqual(len(java_home.probes()), 1)
        self.assertNotIn(" ", java_home.probes()[0].removesuffix(" -version"))
        # What the cache holds: the last-write time of java.exe as a FILETIME, and its version.
        key = f"{harness.PROBE_CACHE}\\z:{java_home.java.resolve().as_posix().lower()}"
        values = self.prefix.run(["reg", "query", key]).stdout
        stamp = java_home.java.stat().st_mtime_ns // 100 + 116444736000000000
        self.assertIn(f"LastWriteTime    REG_BINARY    {stamp.to_bytes(8, 'little').hex().upper()}",
                      values)
        self.assertIn("Version    REG_SZ    1.8.0_292", values)
        # Each probe's standard error went through a temp file, deleted again.
        self.assertEqual(self.prefix.launcher_temp_names(), set())


if __name__ == "__main__":
    unittest.main()
