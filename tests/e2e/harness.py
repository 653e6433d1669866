"""Shared machinery of the end-to-end tier: the private Wine prefix, launcher builds through
kwnbuild, and runs of real launcher files under Wine.

Paths come from the environment that CTest sets (see CMakeLists.txt here); run by hand, the
defaults point into this checkout. A missing tool is a failure with a message, never a skip:
the README's test command installs everything these tests need.
"""
from __future__ import annotations

import os
import shutil
import subprocess
import tempfile
import time
import unittest
from collections.abc import Sequence
from dataclasses import dataclass
from pathlib import Path

SOURCE_ROOT = Path(__file__).resolve().parents[2]
DEFAULT_BUILD = SOURCE_ROOT / "build" / "e2e-manual"

# Unix variables that Wine hands to every Windows program: a developer's JAVA_HOME or
# QELVO_LOG must not decide a scenario. DISPLAY goes too, so that a message box returns at
# once instead of waiting for someone to close it. MANPATH, whatever its value, makes the
# launcher leave out the console code page VM option.
LEAKING_VARIABLES = ("JAVA_HOME", "JDK_HOME", "JRE_HOME", "DISPLAY", "WAYLAND_DISPLAY", "MANPATH")
LEAKING_PREFIXES = ("QELVO_", "KESTROWAN_")

WINE_CALL_TIMEOUT = 60
PREFIX_INIT_TIMEOUT = 300
READY_MARKER = ".kwn-e2e-ready"

# The message a start without a usable Java runtime shows, as applications configure it.
NO_JVM_MESSAGE = (
    "No JVM could be found on your system.\nPlease define QELVO_JAVA_HOME\n"
    "to point to an installed {0}-bit JDK or JRE or download a JRE from")


class HarnessError(AssertionError):
    """A test cannot even start: a tool or product is missing, or Wine misbehaves."""


def _path_from_env(name: str, default: Path) -> Path:
    value = os.environ.get(name)
    return Path(value) if value else default


def required_file(name: str, default: Path, what: str) -> Path:
    path = _path_from_env(name, default)
    if not path.is_file():
        raise HarnessError(f"{what} not found at {path} (set {name} or build it first)")
    return path


def stub_path(width: str) -> Path:
    return required_file(f"KWN_E2E_STUB_{width.upper()}",
                         SOURCE_ROOT / "dist" / "stubs" / f"launcher-{width}.exe",
                         f"the {width} launcher stub")


def kwnbuild_path() -> Path:
    return required_file("KWN_E2E_KWNBUILD", SOURCE_ROOT / "dist" / "bin" / "kwnbuild",
                         "the build tool kwnbuild")


def required_program(name: str, env_name: str | None = None) -> str:
    chosen = os.environ.get(env_name) if env_name else None
    found = chosen if chosen and Path(chosen).is_file() else shutil.which(name)
    if not found:
        raise HarnessError(f"{name} is not installed; the end-to-end tests need it")
    return found


def work_root() -> Path:
    root = _path_from_env("KWN_E2E_WORK_DIR", DEFAULT_BUILD / "e2e-work")
    root.mkdir(parents=True, exist_ok=True)
    return root


def as_console_text(message: str) -> str:
    """What a message looks like on standard error: the C runtime's text mode turns every
    line feed into CR LF, and the reporter ends the message with one more line."""
    return (message + "\n").replace("\n", "\r\n")


@dataclass(frozen=True)
class RunResult:
    exit_code: int
    stderr: str
    stdout: str


class WinePrefix:
    def __init__(self, path: Path, wine: Path):
        self.path = path
        self.wine = wine
        self.wineserver = wine.with_name("wineserver")
        self._temp_dir: Path | None = None

    @classmethod
    def from_environment(cls) -> "WinePrefix":
        wine = _path_from_env("KWN_E2E_WINE", Path("/usr/lib/wine/wine64"))
        if not wine.is_file():
            raise HarnessError(
                f"Wine not found at {wine}: install the packages wine64 and wine "
                "(never wine32, whose loader cannot run here)")
        prefix = _path_from_env("KWN_E2E_PREFIX", DEFAULT_BUILD / "e2e-wineprefix")
        return cls(prefix.resolve(), wine)

    @property
    def ready(self) -> bool:
        return (self.path / READY_MARKER).is_file() and (self.path / "drive_c").is_dir()

    def environment(self, extra: dict[str, str] | None = None) -> dict[str, str]:
        env = {name: value for name, value in os.environ.items()
               if name not in LEAKING_VARIABLES and not name.startswith(LEAKING_PREFIXES)}
        env.update(WINEPREFIX=str(self.path), WINEDEBUG="-all",
                   WINEDLLOVERRIDES="mscoree,mshtml=")
        env.update(extra or {})
        return env

    def run(self, program: list[str], *, env: dict[str, str] | None = None,
            timeout: float = WINE_CALL_TIMEOUT, cwd: Path | None = None) -> RunResult:
        return self.run_together([program], env=env, timeout=timeout, cwd=cwd)[0]

    def run_together(self, programs: list[list[str]], *, env: dict[str, str] | None = None,
                     timeout: float = WINE_CALL_TIMEOUT,
                     cwd: Path | None = None) -> list[RunResult]:
        """Starts every program before waiting for any. Both output streams go to files:
        the services that the first program of a server session starts inherit its stderr,
        and a pipe held open by them would never reach end of file."""
        with tempfile.TemporaryDirectory(dir=work_root(), prefix="run-") as scratch:
            streams = [(Path(scratch, f"{i}.out"), Path(scratch, f"{i}.err"))
                       for i in range(len(programs))]
            processes = []
            try:
                for program, (out_path, err_path) in zip(programs, streams):
                    with open(out_path, "wb") as out, open(err_path, "wb") as err:
                        processes.append(subprocess.Popen(
                            [str(self.wine), *program], stdin=subprocess.DEVNULL,
                            stdout=out, stderr=err, env=self.environment(env), cwd=cwd))
                deadline = time.monotonic() + timeout
                codes = [process.wait(timeout=max(0.0, deadline - time.monotonic()))
                         for process in processes]
            except subprocess.TimeoutExpired:
                raise AssertionError(
                    f"Wine did not finish {programs} within {timeout} s") from None
            finally:
                for process in processes:
                    if process.poll() is None:
                        process.kill()
                        process.wait()
            for program, code in zip(programs, codes):
                if code < 0:
                    raise AssertionError(f"{program} died of signal {-code}")
            return [RunResult(code, err.read_bytes().decode("latin-1"),
                              out.read_bytes().decode("latin-1"))
                    for code, (out, err) in zip(codes, streams)]

    def wait_for_server_exit(self, timeout: float = WINE_CALL_TIMEOUT) -> None:
        subprocess.run([str(self.wineserver), "-w"], env=self.environment(),
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=timeout, check=False)

    def initialise(self) -> bool:
        """Makes the prefix once per build folder; returns False when it was already there.
        A prefix without the ready marker is a half-made one from an interrupted run."""
        if self.ready:
            return False
        if self.path.exists():
            # A server still running for the half-made prefix would write into it again.
            subprocess.run([str(self.wineserver), "-k"], env=self.environment(),
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=WINE_CALL_TIMEOUT, check=False)
            self.wait_for_server_exit()
            shutil.rmtree(self.path)
        self.path.mkdir(parents=True)
        result = self.run(["wineboot", "--init"], timeout=PREFIX_INIT_TIMEOUT)
        if result.exit_code != 0:
            raise HarnessError(f"wineboot --init failed ({result.exit_code}): {result.stderr}")
        # The registry reaches the disk when the server ends; wait so the prefix is complete.
        self.wait_for_server_exit()
        if not any(self.path.glob("drive_c/users/*/Temp")):
            raise HarnessError(f"{self.path} has no user temp directory after wineboot")
        (self.path / READY_MARKER).write_text("made by the end-to-end set-up\n")
        return True

    def require_ready(self) -> None:
        if not self.ready:
            raise HarnessError(
                f"no Wine prefix at {self.path}: the e2e.prefix test sets it up "
                "(ctest runs it first as a fixture)")

    def warm_up(self) -> None:
        """Starts the server and its background services before any measured run."""
        result = self.run(["cmd", "/c", "exit", "0"], timeout=PREFIX_INIT_TIMEOUT)
        if result.exit_code != 0:
            raise HarnessError(f"Wine cannot run cmd in {self.path}: {result.stderr}")

    def unix_path(self, windows_path: str) -> Path:
        drive, rest = windows_path[:2].lower(), windows_path[2:].lstrip("\\")
        base = (self.path / "dosdevices" / drive).resolve()
        return base.joinpath(*[part for part in rest.split("\\") if part])

    @staticmethod
    def windows_path(unix_path: Path) -> str:
        """Wine's Z: drive is the Unix root."""
        return "Z:" + str(Path(unix_path).resolve()).replace("/", "\\")

    @property
    def temp_dir(self) -> Path:
        """The user's temp directory as Windows programs see it: TMP comes from the
        prefix, not from the Unix environment, so Wine is asked."""
        if self._temp_dir is None:
            result = self.run(["cmd", "/c", "echo", "%TMP%"])
            windows = result.stdout.strip()
            if result.exit_code != 0 or not windows[1:3] == ":\\":
                raise HarnessError(f"cannot read TMP in the prefix: {result!r}")
            self._temp_dir = self.unix_path(windows)
        return self._temp_dir

    def native_logs(self) -> list[Path]:
        """Every native log file the launcher may have made: numbered ones in the temp
        directory and the fixed fallback at the drive root."""
        logs = sorted(self.temp_dir.glob("kwn_nlog_*"))
        fallback = self.unix_path("C:\\kwn_nlog")
        return logs + ([fallback] if fallback.exists() else [])

    def remove_native_logs(self) -> None:
        for log in self.native_logs():
            log.unlink()


def toml_value(value: int | str) -> str:
    if isinstance(value, int):
        return str(value)
    escaped = []
    for char in value:
        if char in '"\\':
            escaped.append("\\" + char)
        elif char == "\n":
            escaped.append("\\n")
        elif ord(char) < 0x20 or ord(char) == 0x7F:
            escaped.append(f"\\u{ord(char):04X}")
        else:
            escaped.append(char)
    return '"' + "".join(escaped) + '"'


def launcher_toml(settings: dict[int, int | str], wide: dict[int, str] | None = None,
                  locales: list[tuple[str, dict[int, str]]] | None = None) -> str:
    lines = ["[settings]"] + [f"{key} = {toml_value(value)}" for key, value in settings.items()]
    if wide:
        lines += ["", "[wide]"] + [f"{key} = {toml_value(value)}" for key, value in wide.items()]
    for name, entries in locales or []:
        lines += ["", "[[locale]]", f"name = {toml_value(name)}", "[locale.entries]"]
        lines += [f"{key} = {toml_value(value)}" for key, value in entries.items()]
    return "\n".join(lines) + "\n"


@dataclass(frozen=True)
class Products:
    """The x64 stub and kwnbuild as one test module uses them. Other builds may replace
    the files in dist/ at any moment; a module works on its own copies so that every
    launcher it builds and every byte it compares come from the same stub."""
    stub: Path
    kwnbuild: Path

    @classmethod
    def snapshot(cls, into: Path) -> "Products":
        into.mkdir(parents=True, exist_ok=True)
        return cls(Path(shutil.copy2(stub_path("x64"), into / "launcher-x64.exe")),
                   Path(shutil.copy2(kwnbuild_path(), into / "kwnbuild")))

    def build_launcher(self, output: Path, settings: dict[int, int | str], *,
                       wide: dict[int, str] | None = None,
                       locales: list[tuple[str, dict[int, str]]] | None = None,
                       includes: dict[str, Path] | None = None) -> Path:
        """Makes a real launcher file with kwnbuild, the way applications get theirs.
        includes maps the name a file is extracted under to the file that supplies it."""
        output = Path(output)
        config = output.with_suffix(".toml")
        config.write_text(launcher_toml(settings, wide, locales), encoding="utf-8")
        command = [str(self.kwnbuild), "--stub", str(self.stub), "--output", str(output),
                   "--config", str(config)]
        for name, source in (includes or {}).items():
            command += ["--include", f"{name}={Path(source).resolve()}"]
        completed = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True,
                                   timeout=60)
        if completed.returncode != 0 or not output.is_file():
            raise HarnessError(
                f"kwnbuild failed ({completed.returncode}) for {config.read_text()}\n"
                f"{completed.stderr.decode(errors='replace')}")
        return output


class WineTestCase(unittest.TestCase):
    """Base of the scenarios that run launchers: one warm prefix per module, an empty
    scratch directory and no native log files left over at the start of every test."""

    prefix: WinePrefix
    products: Products

    @classmethod
    def setUpClass(cls) -> None:
        cls.prefix = WinePrefix.from_environment()
        cls.prefix.require_ready()
        products = Path(tempfile.mkdtemp(dir=work_root(), prefix="products-"))
        cls.addClassCleanup(shutil.rmtree, products, True)
        cls.products = Products.snapshot(products)
        cls.prefix.warm_up()

    def setUp(self) -> None:
        self.scratch = Path(tempfile.mkdtemp(dir=work_root(), prefix=self.id().split(".")[-1]))
        self.addCleanup(shutil.rmtree, self.scratch, True)
        self.prefix.remove_native_logs()
        self.addCleanup(self.prefix.remove_native_logs)

    def build(self, name: str, settings: dict[int, int | str], **options) -> Path:
        return self.products.build_launcher(self.scratch / name, settings, **options)

    def place(self, name: str, content: bytes) -> Path:
        path = self.scratch / name
        path.write_bytes(content)
        return path

    def run_launcher(self, launcher: Path, args: Sequence[str] = (),
                     env: dict[str, str] | None = None,
                     timeout: float = WINE_CALL_TIMEOUT) -> RunResult:
        return self.prefix.run([str(launcher), *args], env=env, timeout=timeout,
                               cwd=self.scratch)

    def run_launchers_together(self, launchers: list[Path],
                               env: dict[str, str] | None = None) -> list[RunResult]:
        return self.prefix.run_together([[str(launcher)] for launcher in launchers], env=env,
                                        cwd=self.scratch)

    def assertRun(self, result: RunResult, exit_code: int, stderr: str) -> None:
        self.assertEqual((result.exit_code, result.stderr), (exit_code, stderr))
