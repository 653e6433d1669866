"""Shared machinery of the end-to-end tier: a private Wine prefix, launcher files made with
kwnbuild, stand-in Java runtimes, the prefix's registry and a reading of PE images. Paths come
from the environment CTest sets (CMakeLists.txt here); a missing tool fails, it never skips.
"""
from __future__ import annotations

import json
import os
import re
import shutil
import struct
import subprocess
import tempfile
import time
import unittest
from collections import namedtuple
from pathlib import Path

BUILD = Path(__file__).resolve().parents[2] / "build"
# Unix variables that Wine hands to every program: a developer's JAVA_HOME or QELVO_LOG must not
# decide a scenario; without DISPLAY a message box returns at once; any MANPATH makes the
# launcher leave out the console code page option.
LEAKING = re.compile(r"J(AVA|DK|RE)_HOME|DISPLAY|MANPATH|(QELVO|KESTROWAN|KWN_STANDIN)_.*")
TIMEOUT = 60
NO_JVM_MESSAGE = ("No JVM could be found on your system.\nPlease define QELVO_JAVA_HOME\n"
                  "to point to an installed {0}-bit JDK or JRE or download a JRE from")
SETTINGS = {1000: "Error", 1009: "An internal error occurred (error code: {0})",
            1016: NO_JVM_MESSAGE, 2001: "i"}
PROBE_CACHE = "HKEY_CURRENT_USER\\SOFTWARE\\corvane-systems\\qelvo\\jvms"
# GetTempFileName's name; a launcher's temp directory adds "_dir" and the time in seconds.
TEMP_NAME = re.compile(r"qvo[0-9A-Fa-f]{1,4}\.tmp(_dir-?\d+)?")
RunResult = namedtuple("RunResult", "exit_code stderr stdout")


class HarnessError(AssertionError):
    """A test cannot even start: a tool or product is missing, or Wine misbehaves."""


def required(variable: str, default: Path) -> Path:
    path = Path(os.environ.get(variable) or default)
    if not path.exists():
        raise HarnessError(f"{path} not found (set {variable} or build it first)")
    return path


def standin(name: str) -> Path:
    return required("KWN_E2E_STANDIN", BUILD / "win-x64" / "standin") / name


def work_root() -> Path:
    root = Path(os.environ.get("KWN_E2E_WORK_DIR") or BUILD / "e2e-manual")
    root.mkdir(parents=True, exist_ok=True)
    return root


def console_text(message: str) -> str:
    """Standard error in text mode: CR LF for each line feed, and one more line at the end."""
    return (message + "\n").replace("\n", "\r\n")


class WinePrefix:
    def __init__(self, path: Path, wine: Path):
        self.path, self.wine, self.wineserver = path, wine, wine.with_name("wineserver")
        self._temp_dir: Path | None = None

    @classmethod
    def from_environment(cls) -> "WinePrefix":
        prefix = Path(os.environ.get("KWN_E2E_PREFIX") or BUILD / "e2e-manual" / "prefix")
        return cls(prefix.resolve(), required("KWN_E2E_WINE", Path("/usr/lib/wine/wine64")))

    def environment(self, extra: dict[str, str] | None = None) -> dict[str, str]:
        env = {name: value for name, value in os.environ.items() if not LEAKING.fullmatch(name)}
        return {**env, "WINEPREFIX": str(self.path), "WINEDEBUG": "-all",
                "WINEDLLOVERRIDES": "mscoree,mshtml=", **(extra or {})}

    def start(self, program: list[str], env: dict[str, str] | None = None,
              cwd: Path | None = None) -> tuple[subprocess.Popen, Path]:
        """Output goes to files: the services that the first program of a server session starts
        inherit its stderr, and a pipe they hold would never reach its end."""
        streams = Path(tempfile.mkdtemp(dir=work_root(), prefix="run-"))
        with open(streams / "out", "wb") as out, open(streams / "err", "wb") as err:
            return subprocess.Popen([str(self.wine), *program], stdin=subprocess.DEVNULL,
                                    stdout=out, stderr=err, env=self.environment(env),
                                    cwd=cwd), streams

    @staticmethod
    def finish(process: subprocess.Popen, streams: Path, timeout: float = TIMEOUT) -> RunResult:
        try:
            code = process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            raise AssertionError(f"{process.args} did not end within {timeout} s") from None
        text = [(streams / name).read_bytes().decode("latin-1") for name in ("err", "out")]
        shutil.rmtree(streams)
        return RunResult(code, *text)

    def run(self, program: list[str], env: dict[str, str] | None = None,
            timeout: float = TIMEOUT, cwd: Path | None = None) -> RunResult:
        # A loaded machine now and then makes Wine fail to start a program at all.
        for _ in range(3):
            result = self.finish(*self.start(program, env, cwd), timeout=timeout)
            if "Internal error" not in result.stdout + result.stderr:
                break
        return result

    def server(self, option: str) -> None:
        subprocess.run([str(self.wineserver), option], env=self.environment(), timeout=TIMEOUT,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=False)

    def initialise(self) -> bool:
        """Makes the prefix once (False: it was there), then starts the server and its
        background services, so that no measured run pays for them."""
        made = not (self.path / "ready").is_file()
        if made:
            self.server("-k")
            shutil.rmtree(self.path, ignore_errors=True)
            self.path.mkdir(parents=True)
            self.run(["wineboot", "--init"], timeout=300)
            self.server("-w")  # the registry reaches the disk when the server ends
            (self.path / "ready").write_text("")
        if self.run(["cmd", "/c", "exit", "0"], timeout=300).exit_code != 0:
            raise HarnessError(f"Wine cannot run cmd in {self.path}")
        return made

    def unix_path(self, windows_path: str) -> Path:
        base = (self.path / "dosdevices" / windows_path[:2].lower()).resolve()
        return base.joinpath(*[part for part in windows_path[2:].split("\\") if part])

    @staticmethod
    def windows_path(unix_path: Path) -> str:
        return "Z:" + str(Path(unix_path).resolve()).replace("/", "\\")

    @property
    def temp_dir(self) -> Path:
        """TMP as Windows programs see it: it comes from the prefix, not from Unix."""
        if self._temp_dir is None:
            self._temp_dir = self.unix_path(self.run(["cmd", "/c", "echo", "%TMP%"]).stdout.strip())
        return self._temp_dir

    def native_logs(self) -> list[Path]:
        return sorted(self.temp_dir.glob("kwn_nlog_*"))

    def launcher_temp_names(self) -> set[str]:
        """The launchers' temp directories and the names reserved beside them."""
        return {path.name for path in self.temp_dir.iterdir() if TEMP_NAME.fullmatch(path.name)}

    def remove_leftovers(self) -> None:
        for path in self.native_logs() + [self.temp_dir / n for n in self.launcher_temp_names()]:
            shutil.rmtree(path) if path.is_dir() else path.unlink()


def toml(table: dict) -> list[str]:
    # A JSON string is a TOML basic string, and numbers are written alike.
    return [f"{key} = {json.dumps(value, ensure_ascii=False)}" for key, value in table.items()]


class Products:
    """Copies of the x64 stub and kwnbuild: other builds may replace the files in dist/ at any
    moment, and every launcher a module builds must come from the same stub."""

    def __init__(self, into: Path):
        into.mkdir(parents=True, exist_ok=True)
        stub = required("KWN_E2E_STUB_X64", BUILD.parent / "dist/stubs/launcher-x64.exe")
        self.stub = Path(shutil.copy2(stub, into))
        kwnbuild = required("KWN_E2E_KWNBUILD", BUILD.parent / "dist/bin/kwnbuild")
        self.kwnbuild = shutil.copy2(kwnbuild, into)

    def build_launcher(self, output: Path, settings: dict, includes: dict[str, Path] | None = None,
                       locales: dict[str, dict] | None = None) -> Path:
        """A real launcher file, made as applications make theirs; includes maps the name a file
        is extracted under to the file that supplies it, locales a locale name to its entries."""
        config = output.with_suffix(".toml")
        groups = [line for name, entries in (locales or {}).items()
                  for line in ["[[locale]]", f'name = "{name}"', "[locale.entries]", *toml(entries)]]
        config.write_text("\n".join(["[settings]", *toml(settings), *groups]), encoding="utf-8")
        # The stand-in VM loads no classes, so no scenario needs the runtime jar.
        command = [self.kwnbuild, "--stub", self.stub, "--output", output, "--config", config,
                   "--no-runtime-jar"]
        for name, source in (includes or {}).items():
            command += ["--include", f"{name}={Path(source).resolve()}"]
        completed = subprocess.run(command, capture_output=True, timeout=TIMEOUT)
        if completed.returncode != 0:
            raise HarnessError(f"kwnbuild failed for {settings}: {completed.stderr!r}")
        return output


def launcher_form(prefix: WinePrefix, path: Path) -> str:
    """A path as the launcher holds it after normalising: full, with A to Z in lower case."""
    return prefix.windows_path(path).lower()


class Runtime:
    """home\\bin with the stand-in java.exe (also as javaw.exe, and unpack200.exe on request)
    printing the banner of a version, and in bin\\server the stand-in VM library or other bytes
    (a file that does not load)."""

    def __init__(self, home: Path, version: str = "1.8.0_292", library: bytes | None = None,
                 unpack200: bool = False):
        self.home, self.bin, self.java = home, home / "bin", home / "bin" / "java.exe"
        (self.bin / "server").mkdir(parents=True)
        for name in ["java.exe", "javaw.exe"] + ["unpack200.exe"] * unpack200:
            shutil.copy2(standin("java.exe"), self.bin / name)
        self.library = self.bin / "server" / "jvm.dll"
        self.library.write_bytes(library or standin("jvm.dll").read_bytes())
        (self.bin / "banner.txt").write_text(f'java version "{version}"\n')

    def invocations(self) -> list[str]:
        log = self.bin / "invocations.log"
        return log.read_text(encoding="latin-1").splitlines() if log.exists() else []

    def probes(self) -> list[str]:
        return [line for line in self.invocations() if line.endswith(" -version")]


class Registry:
    def __init__(self, prefix: WinePrefix):
        self.prefix = prefix

    def edit(self, lines: list[str]) -> None:
        """One regedit import: "[key]" creates, "[-key]" deletes a key, '"name"="text"' sets."""
        script = Path(tempfile.mkdtemp(dir=work_root(), prefix="reg-")) / "edit.reg"
        script.write_text("\r\n".join(["REGEDIT4", "", *lines, ""]), encoding="latin-1")
        result = self.prefix.run(["regedit", "/s", self.prefix.windows_path(script)])
        shutil.rmtree(script.parent)
        if result.exit_code != 0:
            raise HarnessError(f"regedit could not import {lines}: {result!r}")

    def seed(self, keys: dict[str, dict[str, str]]) -> None:
        self.edit([line for key, values in keys.items() for line in [f"[{key}]"] + [
            f'"{name}"="{value}"'.replace("\\", "\\\\") for name, value in values.items()]])

    def remove(self, keys) -> None:
        self.edit([f"[-{key}]" for key in keys])


class PeImage:
    """As deep as the tier needs: header fields, the last section table entry (behind which the
    launcher looks for its block), the data directories and the resource tree."""

    def __init__(self, data: bytes):
        self.data = data
        pe = struct.unpack_from("<I", data, 60)[0]
        self.machine, count = struct.unpack_from("<HH", data, pe + 4)
        self.magic, self.subsystem = struct.unpack_from("<H66xH", data, pe + 24)
        directories = pe + 24 + (96 if self.magic == 0x10B else 112)
        self.directories = [struct.unpack_from("<II", data, directories + 8 * i) for i in range(16)]
        table = pe + 24 + struct.unpack_from("<H", data, pe + 20)[0]
        # (virtual size, virtual address, raw size, raw offset) of each section
        self.sections = [struct.unpack_from("<IIII", data, table + 40 * i + 8)
                         for i in range(count)]
        self.block_start = self.sections[-1][3] + self.sections[-1][2]

    def resources(self) -> dict[tuple[int, int], list[bytes]]:
        """(type, id): the data in each language."""
        rva = self.directories[2][0]
        _, address, _, offset = next(s for s in self.sections if s[1] <= rva < s[1] + s[0])
        root = rva - address + offset

        def entries(directory: int) -> list[tuple[int, int]]:
            count = sum(struct.unpack_from("<HH", self.data, directory + 12))
            return [(ident, root + (target & 0x7FFFFFFF)) for ident, target in (
                struct.unpack_from("<II", self.data, directory + 16 + 8 * i) for i in range(count))]

        tree: dict[tuple[int, int], list[bytes]] = {}
        for kind, names in entries(root):
            for name, languages in entries(names):
                for _, leaf in entries(languages):
                    data_rva, size = struct.unpack_from("<II", self.data, leaf)
                    start = data_rva - address + offset
                    tree.setdefault((kind, name), []).append(self.data[start:start + size])
        return tree


class WineTestCase(unittest.TestCase):
    """One warm prefix per module (made by the first module that runs); per test an empty scratch
    directory, and no native log, launcher temp directory or probe cache left behind."""

    @classmethod
    def setUpClass(cls) -> None:
        cls.prefix = WinePrefix.from_environment()
        cls.prefix.initialise()
        products = Path(tempfile.mkdtemp(dir=work_root(), prefix="products-"))
        cls.addClassCleanup(shutil.rmtree, products, True)
        cls.products = Products(products)
        cls.registry = Registry(cls.prefix)

    def setUp(self) -> None:
        self.scratch = Path(tempfile.mkdtemp(dir=work_root(), prefix=self.id().split(".")[-1]))
        self.vm_log = self.scratch / "vm.log"
        self.prefix.remove_leftovers()
        self.addCleanup(shutil.rmtree, self.scratch, True)
        self.addCleanup(self.registry.remove, [PROBE_CACHE])
        self.addCleanup(self.prefix.remove_leftovers)

    def build(self, path: str, settings: dict, **options) -> Path:
        (self.scratch / path).parent.mkdir(parents=True, exist_ok=True)
        return self.products.build_launcher(self.scratch / path, settings, **options)

    def place(self, name: str, content: bytes) -> Path:
        (self.scratch / name).write_bytes(content)
        return self.scratch / name

    def env(self, extra: dict[str, str] | None = None) -> dict[str, str]:
        return {"KWN_STANDIN_LOG": self.prefix.windows_path(self.vm_log), **(extra or {})}

    def run_launcher(self, launcher: Path, args=(), env: dict[str, str] | None = None) -> RunResult:
        return self.prefix.run([str(launcher), *args], cwd=self.scratch, env=self.env(env))

    def start_launcher(self, launcher: Path, args=(), env: dict[str, str] | None = None):
        """A launcher left running: finish it, or it is killed when the test ends."""
        process, streams = self.prefix.start([str(launcher), *args], cwd=self.scratch,
                                             env=self.env(env))
        self.addCleanup(lambda: process.poll() is None and process.kill())
        return process, streams

    def wait_for(self, process: subprocess.Popen, wanted, what: str = "") -> list[str]:
        """The VM record once it holds a line that starts with the wanted text, or the wanted
        predicate holds for it, while the process still runs."""
        holds = wanted if callable(wanted) else lambda lines: any(
            line.startswith(wanted) for line in lines)
        deadline = time.monotonic() + TIMEOUT
        while not holds(lines := self.vm_record(keep=True)):
            self.assertIsNone(process.poll(), f"the process ended before {what or wanted}: {lines}")
            self.assertLess(time.monotonic(), deadline, f"{what or wanted} did not happen: {lines}")
            time.sleep(0.05)
        return lines

    def start_display(self, size: str) -> str:
        """Xvfb for real windows, its background black; the Wine server is restarted so that its
        desktop uses it."""
        number = next(n for n in range(71, 99) if not Path(f"/tmp/.X11-unix/X{n}").exists())
        xvfb = subprocess.Popen(["Xvfb", f":{number}", "-screen", "0", size, "-br"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.prefix.server("-k")
        self.addCleanup(xvfb.wait)
        self.addCleanup(xvfb.terminate)
        self.addCleanup(self.prefix.server, "-k")
        return f":{number}"

    def vm_record(self, keep: bool = False) -> list[str]:
        """What the stand-in VM library recorded; unless kept, the next start begins afresh."""
        lines = self.vm_log.read_text(encoding="utf-8").splitlines() if self.vm_log.exists() else []
        if not keep:
            self.vm_log.unlink(missing_ok=True)
        return lines

    def the_only_log(self) -> list[str]:
        logs = self.prefix.native_logs()
        self.assertEqual(len(logs), 1, f"expected one native log, found {logs}")
        lines = logs[0].read_bytes().decode("latin-1").split("\r\n")
        logs[0].unlink()
        return lines
