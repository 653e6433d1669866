"""Second starts of a running launcher: the real named semaphore, the per-user pid value and the
mailslot between two processes, and the listener thread of the first instance calling the
application (the stand-in VM records each startupPerformed). The rules (names, tails, polling,
decoding, what a second start skips) are the unit tier's."""
import re
import time

import harness

SETTINGS = {**harness.SETTINGS, 107: 0, 128: "B.\\jre;", 122: "app.Main", 10005: 1}
PIDS = "HKEY_CURRENT_USER\\SOFTWARE\\corvane-systems\\qelvo\\pids"


class SingleInstanceTest(harness.WineTestCase):
    def setUp(self) -> None:
        super().setUp()
        self.addCleanup(self.registry.remove, [PIDS])
        harness.Runtime(self.scratch / "app" / "jre")
        self.release = self.scratch / "release"

    def start_first(self, launcher, behaviour: str, env=None):
        """A first instance whose main stays running until the test releases it."""
        return self.start_launcher(launcher, env={"QELVO_LOG": "yes", "KWN_STANDIN_VM": behaviour,
                                                  **(env or {})})

    def deliveries(self, lines: list[str]) -> list[str]:
        return [line[len("startupPerformed "):] for line in lines
                if line.startswith("startupPerformed ")]

    def second_start(self, launcher, args=(), env=None) -> None:
        result = self.run_launcher(launcher, args, {"QELVO_LOG": "yes", **(env or {})})
        self.assertEqual(result.exit_code, 0, result)

    def test_second_starts_are_handed_to_the_first_instance(self) -> None:
        launcher = self.build("app/app.exe", SETTINGS)
        first, streams = self.start_first(launcher, "hold-main=" + self.prefix.windows_path(
            self.release) + ",hold-create=" + self.prefix.windows_path(self.scratch / "create"))
        # Before the first instance has a VM, a second start is held, then delivered.
        self.wait_for(first, "JNI_CreateJavaVM")
        self.second_start(launcher, ["early"])
        time.sleep(0.5)
        self.assertEqual(self.deliveries(self.vm_record(keep=True)), [])
        (self.scratch / "create").write_bytes(b"")
        self.wait_for(first, lambda lines: self.deliveries(lines) == ["early"], "the delivery")

        # Twenty second starts, one after the other, arrive once each and in order; no
        # arguments, and the marker word itself, arrive as null.
        tails = [[f"n{i}", "grüße €", "a\tb"] for i in range(18)] + [[], ["__kwn_empty_command_line"]]
        for args in tails:
            self.second_start(launcher, args)
        expected = ["early"] + [" ".join(f'"{a}"' if re.search(r"\s", a) else a for a in args)
                                for args in tails[:18]] + ["null", "null"]
        lines = self.wait_for(first, lambda lines: len(self.deliveries(lines)) >= 21,
                              "20 deliveries")
        self.assertEqual(self.deliveries(lines), expected)
        self.assertEqual(lines.count("AttachCurrentThreadAsDaemon"), 1)

        # The first instance recorded its pid as a REG_DWORD under the launcher's own path.
        query = self.prefix.run(["reg", "query", PIDS])
        value = re.search(r"^\s*(\S.*\S)\s+REG_DWORD\s+0x([0-9a-f]+)\s*$", query.stdout, re.M)
        self.assertIsNotNone(value, query)
        self.assertEqual(value.group(1), harness.launcher_form(self.prefix, launcher))

        self.release.write_bytes(b"")
        self.assertEqual(self.prefix.finish(first, streams).exit_code, 0)
        # Each start wrote its own log; only the first one created a VM.
        logs = [path.read_bytes().decode("latin-1") for path in self.prefix.native_logs()]
        self.assertEqual((len(logs), sum("Creating JVM" in log for log in logs)), (22, 1))

    def test_a_second_start_restores_the_running_application(self) -> None:
        display = self.start_display("640x480x24")
        for activate, minimised in (("1", "0"), ("0", "1")):
            with self.subTest(activate=activate):
                self.release.unlink(missing_ok=True)
                launcher = self.build(f"app/app{activate}.exe", {**SETTINGS, 10007: activate})
                env = {"DISPLAY": display}
                first, streams = self.start_first(launcher, "minimised-window,hold-main=" +
                                                  self.prefix.windows_path(self.release), env=env)
                self.wait_for(first, "window shown minimised 1")
                self.second_start(launcher, ["again"], env)
                self.wait_for(first, "startupPerformed again")
                self.release.write_bytes(b"")
                self.assertEqual(self.prefix.finish(first, streams).exit_code, 0)
                self.assertIn(f"window minimised {minimised}", self.vm_record())


if __name__ == "__main__":
    import unittest
    unittest.main()
