"""Whole starts of real launcher files: one that runs to the end crossing most of a start, one of a
signed launcher, and one failing start per kind of failure. The rules of each step are the unit
tier's; these check that the real system calls carry them (own image, files, temp directories,
processes, VM library, standard error, exit codes)."""
import os
import re
import shutil
import struct
import subprocess
import unittest

import harness
from harness import console_text

SETTINGS = {**harness.SETTINGS, 1005: "The JVM couldn’t be started.", 107: 0, 126: "1.7",
            128: "B.\\jre;EJAVA_HOME;", 1017: "{0} names no 32-bit runtime",
            1018: "{0} names no 64-bit runtime"}
NO_JVM = console_text(harness.NO_JVM_MESSAGE.replace("{0}", "64"))
# A wide message reaches standard error as the bytes it was configured with, whatever the code page.
VM_FAILED = console_text(SETTINGS[1005]).encode("cp1252").decode("latin-1")
ENTRY_CLASS = "com/kestrowan/runtime/launcher/WinLauncher"
CTIME = r"\w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d \d{4}"


class StartTest(harness.WineTestCase):
    maxDiff = None

    def test_typical_start(self) -> None:
        app = self.scratch / "app"
        jre = harness.Runtime(app / "jre", unpack200=True)
        (jre.home / "lib").mkdir()
        (jre.home / "lib" / "rt.jar.pack").write_bytes(b"packed")
        (app / "app.vmoptions").write_text("# a comment\n-Dfrom.file=1\n")
        # The runtime's splash library; a library the runtime loads by bare name, and one of that
        # name in the working directory.
        for target in (jre.bin, jre.bin / "awt.dll", self.scratch / "awt.dll"):
            shutil.copy2(harness.standin("splashscreen.dll"), target)
        # Sizes off the 6000-byte copy chunk; every byte value, shifted per 256-byte run.
        contents = {"a.jar": bytes((i * 7 + i // 256) % 256 for i in range(10_240)),
                    "user\\b.jar": os.urandom(1_048_583)}
        launcher = self.build("app/app.exe", {**SETTINGS, 121: "A0app.jar", 122: "app.Main",
                                              123: "-Xmx64m", 125: 1, 102: 1, 103: "logs\\err.log",
                                              108: 1, 10123: 1},
                              includes={name: self.place(f"source{len(name)}", data)
                                        for name, data in contents.items()})
        release = self.scratch / "release"
        behaviour = f"load-library=awt.dll,hold-main={self.prefix.windows_path(release)}"
        process, streams = self.start_launcher(
            launcher, ["-J-Dfrom.argument=1", "a b", "grüße €"],
            {"QELVO_LOG": "yes", "KWN_STANDIN_VM": behaviour})
        # While main runs, the included files are in the launcher's temp directory.
        temp = self.option(self.wait_for(process, "call "), "qelvo.tempDir")
        temp_dir = self.prefix.unix_path(temp)
        self.assertEqual(temp_dir.parent, self.prefix.temp_dir)
        self.assertEqual({str(path.relative_to(temp_dir)) for path in temp_dir.rglob("*")},
                         {"a.jar", "user", "user/b.jar"})
        for name, data in contents.items():
            self.assertTrue(temp_dir.joinpath(*name.split("\\")).read_bytes() == data, name)
        release.write_bytes(b"")
        result = self.prefix.finish(process, streams)
        self.assertEqual(result, (0, "", "Preparing JRE ...\r\n"))
        self.assertTrue(temp_dir.is_dir())  # only the fatal exit removes it
        record, log = self.vm_record(), self.the_only_log()

        win = self.prefix.windows_path
        app_dir, splash_png = win(app), harness.BUILD.parent / "resources" / "splash.png"
        # The records (a size word and the content) follow the block, whose length word counts
        # from its own first byte; the launcher hands on where the unread rest begins.
        image = harness.PeImage(launcher.read_bytes())
        block_length = struct.unpack_from("<q", image.data, image.block_start + 12)[0]
        records_end = image.block_start + 12 + block_length + 16 + 10_240 + 1_048_583
        # PATH as the VM library found it, ending in the runtime's bin directory as normalised.
        library_path = next((line for line in record if "java.library.path" in line), "")
        self.assertRegex(library_path, "^option -Djava.library.path=.*;" + re.escape(
            harness.launcher_form(self.prefix, jre.bin)) + "$")
        self.assertEqual(record, [
            "loaded jvm " + harness.launcher_form(self.prefix, jre.library),
            # The runtime's splash gets the launcher's RCDATA 10000, a PNG file, before the VM.
            "SplashInit", f"SplashLoadMemory {splash_png.stat().st_size} 89504e470d0a1a0a",
            "JNI_CreateJavaVM version 65538 options 12",
            # Every start of this launcher file holds a numbered name of its own.
            "option -Dqelvo.semaphoreName=Local\\" + re.sub(
                r"[\\ ]", "_", harness.launcher_form(self.prefix, launcher)) + "0",
            "option -Dqelvo.isKestrowan=true", f"option -Dqelvo.moduleName={win(launcher)}",
            f"option -Dsun.java.command={win(launcher)}", f"option -Dqelvo.tempDir={temp}",
            f"option -Dqelvo.unextractedPosition={records_end}", library_path,
            "option -Dqelvo.consoleCodepage=cp0", "option -Xmx64m",
            "option -Dfrom.argument=1", "option -Dfrom.file=1",
            f"option -Djava.class.path={temp}\\a.jar;{temp}\\user\\b.jar;"
            f"{app_dir}\\.kestrowan\\kwnruntime.jar;{app_dir}\\app.jar;",
            "library " + harness.launcher_form(self.prefix, jre.bin) + "\\awt.dll",
            "FindClass com/qelvo/runtime/WinLauncher", "initAwtSplashConfig",
            f"FindClass {ENTRY_CLASS}", "FindClass java/lang/String",
            f"call {ENTRY_CLASS} main ([Ljava/lang/String;)V",
            "argument false", "argument app.Main", f"argument {app_dir}\\logs\\err.log",
            "argument ", "argument false", f"argument {win(launcher)}",
            "argument a b", "argument grüße €", "DestroyJavaVM"])
        # The runtime's packed archive was unpacked by its own tool, then the runtime probed once.
        home = harness.launcher_form(self.prefix, jre.home)
        self.assertEqual(jre.invocations()[:1],
                         [f'-r "{home}\\lib\\rt.jar.pack" "{home}\\lib\\rt.jar"'])
        self.assertRegex("\n".join(jre.invocations()[1:]), r"^\S+\\java\.exe -version$")
        self.assertEqual(os.listdir(jre.home / "lib"), ["rt.jar"])
        self.assertEqual((jre.home / "lib" / "rt.jar").read_bytes(), b"packed")
        # The log, in the prefix's temp directory, names the launcher and the time of the start.
        self.assertRegex(log[0], rf"^Started executable {re.escape(win(launcher))} at {CTIME}$")
        self.assertIn(f"extracting {temp}\\user\\b.jar (size: 1048583)", log)

    @staticmethod
    def option(record: list[str], name: str) -> str:
        lead = f"option -D{name}="
        return next(line[len(lead):] for line in record if line.startswith(lead))

    def test_ends_of_starts(self) -> None:
        stub = self.products.stub.read_bytes()
        full = self.build("full.exe", SETTINGS).read_bytes()
        with_file = self.build("file.exe", SETTINGS,
                               includes={"a.jar": self.place("a.bin", bytes(10_000))}).read_bytes()
        boxed = self.build("boxed.exe", {**SETTINGS, 107: 1}).read_bytes()
        german = self.build("german.exe", SETTINGS,
                            locales={"de": {1016: "Kein Java {0} \u00e4"}}).read_bytes()
        harness.Runtime(self.scratch / "app" / "jre")
        in_app = self.build("app/app.exe", {**SETTINGS, 122: "app.Main"})
        # Signed by another tool: the certificate goes behind the block, and the header changes.
        key, certificate, signed = (self.scratch / name for name in ("key", "cert", "signed.exe"))
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                        "-subj", "/CN=Kestrowan test", "-keyout", key, "-out", certificate],
                       check=True, capture_output=True)
        subprocess.run(["osslsigncode", "sign", "-certs", certificate, "-key", key, "-in", in_app,
                        "-out", signed], check=True, capture_output=True)
        verified = subprocess.run(["osslsigncode", "verify", "-CAfile", certificate, signed],
                                  capture_output=True, text=True).stdout
        self.assertIn("Signature verification: ok", verified, verified)
        in_app, signed = in_app.read_bytes(), signed.read_bytes()
        broken = harness.Runtime(self.scratch / "broken", library=b"MZ but no image" + bytes(200))
        unread = ["-q_kwn_internal"]  # the block is unread: only this marker sends it to stderr
        cases = [
            # (what, launcher file, arguments, environment, exit code, standard error pattern)
            ("no block", stub, unread, {}, 1, re.escape(console_text("Internal Error: readInt"))),
            ("signed", signed, [], {}, 0, ""),
            ("no runtime, log on", full, [], {"QELVO_LOG": "yes"}, 83,
             re.escape(NO_JVM) + r"\r\nLog: C:\\users\\[^\\]+\\Temp\\kwn_nlog_\d+\r\n"),
            ("no runtime, in a box", boxed, [], {}, 83, ""),
            # The user's language from Wine's locale; its text in the ANSI code page.
            ("no runtime, in German", german, [], {"LANG": "de_DE.UTF-8", "LC_ALL": "de_DE.UTF-8"},
             83, re.escape(console_text("Kein Java 64 \xe4"))),
            ("runtime whose VM library does not load", full, [],
             {"JAVA_HOME": self.prefix.windows_path(broken.home)}, 83,
             re.escape(console_text("JAVA_HOME names no 64-bit runtime"))),
            ("included file cut short", with_file[:len(stub) + 5000], [], {}, 1,
             re.escape(console_text(SETTINGS[1009].replace("{0}", "16")))),
            ("exception in main", in_app, [], {"KWN_STANDIN_VM": "throw-in-main"}, 1,
             re.escape('Exception in thread "main" java.lang.RuntimeException: from the stand-in '
                       "VM\n" + VM_FAILED)),
        ]
        for what, image, args, env, code, stderr in cases:
            with self.subTest(what):
                launcher = self.scratch / ("app" if image in (in_app, signed) else "") / "run.exe"
                launcher.write_bytes(image)
                result = self.run_launcher(launcher, args, env)
                left = {name for name in self.prefix.launcher_temp_names() if "_dir" in name}
                self.prefix.remove_leftovers()
                self.assertEqual(result.exit_code, code, result.stderr)
                self.assertRegex(result.stderr, f"^{stderr}$")
                self.assertEqual(left, set())  # a fatal exit removes the launcher temp directory


if __name__ == "__main__":
    unittest.main()
