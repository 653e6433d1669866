"""Runtimes as Java 9 and later install them: registered only under JavaSoft\\JDK, a JDK with a
compiler but no lib\\tools.jar, and a two-digit minimum that a 9.0.4 runtime must not pass. The
rules themselves are the unit tier's; here the real registry, files and probes meet them."""
import unittest

import harness

JAVASOFT = "HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft"


class ModernRuntimesTest(harness.WineTestCase):
    def test_a_current_jdk_is_found_judged_and_preferred_to_an_older_one(self) -> None:
        self.addCleanup(self.registry.remove, [JAVASOFT])
        jdk17 = harness.Runtime(self.scratch / "jdk-17")
        (jdk17.bin / "banner.txt").write_text('openjdk version "17.0.2"\n')
        (jdk17.bin / "javac.exe").write_bytes(b"MZ")  # a JDK of today: no lib\tools.jar
        java9 = harness.Runtime(self.scratch / "jre-9", "9.0.4")
        win = self.prefix.windows_path
        self.registry.remove([JAVASOFT])
        self.registry.seed({f"{JAVASOFT}\\JDK\\17": {"JavaHome": win(jdk17.home)}})
        cases = [
            # (what, settings, environment)
            ("only JavaSoft\\JDK\\17 names a runtime", {128: "Y"}, {}),
            ("a JDK required: its compiler marks it", {128: "Y", 131: 1}, {}),
            ("a minimum of 11 passes over 9.0.4", {126: "11", 128: "EJAVA_HOME;Y"},
             {"JAVA_HOME": win(java9.home)}),
        ]
        for number, (what, settings, env) in enumerate(cases):
            with self.subTest(what):
                launcher = self.build(f"app{number}/app.exe",
                                      {**harness.SETTINGS, 126: "1.7", **settings})
                result = self.run_launcher(launcher, env=env)
                record = self.vm_record()
                self.assertEqual(result[:2], (0, ""), record)
                self.assertEqual([line.lower() for line in record if line.startswith("loaded ")], [
                    "loaded jvm " + harness.launcher_form(self.prefix, jdk17.library)])
        # Each runtime ran once; the cache keeps the versions as their banners gave them.
        self.assertEqual((len(jdk17.probes()), len(java9.probes())), (1, 1))
        for runtime, version in ((jdk17, "17.0.2"), (java9, "9.0.4")):
            key = f"{harness.PROBE_CACHE}\\z:{runtime.java.resolve().as_posix().lower()}"
            self.assertIn(f"Version    REG_SZ    {version}",
                          self.prefix.run(["reg", "query", key]).stdout)


if __name__ == "__main__":
    unittest.main()
