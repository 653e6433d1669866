"""Stand-in Java runtimes for the runtime-search scenarios and the start-up benchmark.

A runtime here is a directory assembled from the stand-in programs that the Windows build puts
in its standin/ folder (tests/standin): bin\\java.exe and bin\\javaw.exe print the banner of a
behaviour file beside them and record every start in bin\\invocations.log; bin\\<type>\\jvm.dll
records in a log of the test's choosing that it was loaded and every JNI call it gets;
bin\\unpack200.exe copies a pack to its jar. This module also seeds and reads the registry keys
through which the launcher finds runtimes and caches their versions.
"""
from __future__ import annotations

import os
import re
import shutil
import tempfile
from collections.abc import Iterable
from dataclasses import dataclass
from pathlib import Path

import harness

STANDIN_PROGRAMS = ("java.exe", "jvm.dll", "jvm-noexport.dll", "unpack200.exe", "empty.exe")

QELVO_KEY = "SOFTWARE\\corvane-systems\\qelvo"
PROBE_CACHE = f"HKEY_CURRENT_USER\\{QELVO_KEY}\\jvms"
LOCATED = {"user": f"HKEY_CURRENT_USER\\{QELVO_KEY}\\locatedjvms",
           "machine": f"HKEY_LOCAL_MACHINE\\{QELVO_KEY}\\locatedjvms"}
JAVASOFT = "HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft"
JAVASOFT_JRE = JAVASOFT + "\\Java Runtime Environment"
JAVASOFT_JDK = JAVASOFT + "\\Java Development Kit"
INSTALLATIONS = {
    "user": "HKEY_CURRENT_USER\\SOFTWARE\\corvane-systems\\kestrowan\\installations",
    "machine": "HKEY_LOCAL_MACHINE\\SOFTWARE\\corvane-systems\\kestrowan\\installations",
    # What a 64-bit program reads through KEY_WOW64_32KEY.
    "machine-32": "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\corvane-systems\\kestrowan"
                  "\\installations",
}
# The topmost keys that only seeding creates (the launcher writes below HKEY_CURRENT_USER's
# qelvo key itself, so only "locatedjvms" goes there); none exists in a fresh prefix.
SEEDED_ROOTS = (JAVASOFT, LOCATED["user"],
                "HKEY_CURRENT_USER\\SOFTWARE\\corvane-systems\\kestrowan",
                "HKEY_LOCAL_MACHINE\\SOFTWARE\\corvane-systems",
                "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\corvane-systems")

WINE_START_FAILURE = "Internal error"
WINE_START_ATTEMPTS = 3

# FILETIME counts 100 ns steps from 1601; Unix time counts from 1970.
FILETIME_UNIX_EPOCH = 116444736000000000


def standin_directory() -> Path:
    directory = Path(os.environ.get("KWN_E2E_STANDIN")
                     or harness.SOURCE_ROOT / "build" / "win-x64" / "standin")
    missing = [name for name in STANDIN_PROGRAMS if not (directory / name).is_file()]
    if missing:
        raise harness.HarnessError(
            f"stand-in programs {missing} not found in {directory} (set KWN_E2E_STANDIN or "
            "build them: cmake --preset win-x64 && cmake --build --preset win-x64)")
    return directory


def banner(version: str, product: str = "java") -> str:
    return f'{product} version "{version}"'


def launcher_form(prefix: harness.WinePrefix, path: Path) -> str:
    """A path as the launcher holds it after normalising: full, with A to Z in lower case."""
    return prefix.windows_path(path).lower()


def filetime(path: Path) -> bytes:
    """The last-write time that the file functions report, as the 8 bytes of a FILETIME."""
    stamp = path.stat().st_mtime_ns // 100 + FILETIME_UNIX_EPOCH
    return stamp.to_bytes(8, "little")


def probe_cache_key(executable: str) -> str:
    return f"{PROBE_CACHE}\\{executable.replace(chr(92), '/')}"


class Runtime:
    """One bin directory of stand-ins, with the behaviour of its java.exe."""

    def __init__(self, home: Path, bin_dir: Path):
        self.home = home
        self.bin = bin_dir
        self.java = bin_dir / "java.exe"

    def configure(self, banner_line: str | None, *, before: Iterable[str] = (),
                  after: Iterable[str] = (), exit_code: int = 0, hang: int = 0,
                  crlf: bool = False) -> None:
        lines = [f"before={line}" for line in before]
        if banner_line is not None:
            lines.append(f"banner={banner_line}")
        lines += [f"after={line}" for line in after]
        lines += [f"exit={exit_code}", f"hang={hang}", f"eol={'crlf' if crlf else 'lf'}"]
        (self.bin / "standin.cfg").write_text("\n".join(lines) + "\n")

    def invocations(self) -> list[str]:
        log = self.bin / "invocations.log"
        return log.read_text(encoding="latin-1").splitlines() if log.exists() else []

    def probes(self) -> list[str]:
        return [line for line in self.invocations() if line.endswith(" -version")]

    def unpacks(self) -> list[str]:
        return [line for line in self.invocations() if line.startswith("-r ")]

    def library(self, vm_type: str = "server") -> Path:
        return self.bin / vm_type / "jvm.dll"

    def touch(self, seconds_later: int = 10) -> None:
        """Gives java.exe a new last-write time, as replacing it would."""
        stamp = self.java.stat().st_mtime_ns + seconds_later * 1_000_000_000
        os.utime(self.java, ns=(stamp, stamp))


class Standins:
    def __init__(self, directory: Path):
        self.directory = directory

    @classmethod
    def from_environment(cls) -> "Standins":
        return cls(standin_directory())

    def program(self, name: str) -> Path:
        return self.directory / name

    def runtime(self, home: Path, version: str | None = "1.8.0_292", *,
                library: str | bytes | None = "jvm.dll", vm_type: str = "server",
                javaw: bool = True, unpack200: bool = False, **behaviour) -> Runtime:
        """home\\bin with java.exe printing the banner of version (None: configure it later),
        and the VM library: a stand-in by name, other bytes (a file that does not load), or
        None for a runtime without one."""
        runtime = Runtime(home, home / "bin")
        runtime.bin.mkdir(parents=True)
        shutil.copy2(self.program("java.exe"), runtime.java)
        if javaw:
            shutil.copy2(self.program("java.exe"), runtime.bin / "javaw.exe")
        if unpack200:
            shutil.copy2(self.program("unpack200.exe"), runtime.bin / "unpack200.exe")
        if library is not None:
            runtime.library(vm_type).parent.mkdir()
            if isinstance(library, bytes):
                runtime.library(vm_type).write_bytes(library)
            else:
                shutil.copy2(self.program(library), runtime.library(vm_type))
        if version is not None:
            runtime.configure(banner(version), **behaviour)
        return runtime

    def jdk(self, home: Path, version: str) -> tuple[Runtime, Runtime]:
        """A JDK: its own bin\\java.exe without a VM library (printing a version that no
        scenario expects), lib\\tools.jar, and a runtime in jre\\. Gives (jdk bin, jre)."""
        jre = self.runtime(home / "jre", version)
        outer = self.runtime(home, "0.0.1_jdk_launcher", library=None)
        (home / "lib").mkdir()
        (home / "lib" / "tools.jar").write_bytes(b"PK\x05\x06" + bytes(18))
        return outer, jre


@dataclass(frozen=True)
class RegistryValue:
    kind: str
    data: str | bytes


class WineRegistry:
    """The prefix's registry through regedit (many keys in one call) and reg query."""

    def __init__(self, prefix: harness.WinePrefix):
        self.prefix = prefix

    def _run(self, program: list[str]) -> harness.RunResult:
        """On a loaded machine Wine now and then fails to start a program at all ("Internal
        error"); that says nothing about the registry, so the call is made again."""
        for _ in range(WINE_START_ATTEMPTS):
            result = self.prefix.run(program)
            if WINE_START_FAILURE not in result.stdout + result.stderr:
                break
        return result

    def _import(self, body: list[str]) -> None:
        with tempfile.TemporaryDirectory(dir=harness.work_root(), prefix="reg-") as scratch:
            script = Path(scratch, "seed.reg")
            script.write_text("REGEDIT4\r\n\r\n" + "\r\n".join(body) + "\r\n", encoding="latin-1")
            result = self._run(["regedit", "/s", self.prefix.windows_path(script)])
        if result.exit_code != 0:
            raise harness.HarnessError(f"regedit could not import {body}: {result!r}")

    def seed(self, keys: dict[str, dict[str, str | bytes]]) -> None:
        """Creates the keys with their values: text as REG_SZ, bytes as REG_BINARY."""
        body = []
        for key, values in keys.items():
            body.append(f"[{key}]")
            for name, value in values.items():
                if isinstance(value, bytes):
                    body.append(f'"{name}"=hex:' + ",".join(f"{b:02x}" for b in value))
                else:
                    escaped = value.replace("\\", "\\\\").replace('"', '\\"')
                    body.append(f'"{name}"="{escaped}"')
            body.append("")
        self._import(body)

    def remove(self, keys: Iterable[str]) -> None:
        """Deletes the keys with everything below them; keys that are not there are fine."""
        body = [f"[-{key}]" for key in keys]
        if body:
            self._import(body)

    def _query(self, key: str) -> str | None:
        result = self._run(["reg", "query", key])
        return result.stdout if result.exit_code == 0 else None

    def values(self, key: str) -> dict[str, RegistryValue] | None:
        """The values of the key, or None when it does not exist."""
        listing = self._query(key)
        if listing is None:
            return None
        found = {}
        for match in re.finditer(r"^    (\S.*?)    (REG_\w+)    ?(.*?)\r?$", listing, re.MULTILINE):
            name, kind, data = match.groups()
            found[name] = RegistryValue(kind, bytes.fromhex(data) if kind == "REG_BINARY"
                                        else data)
        return found

    def subkeys(self, key: str) -> list[str]:
        listing = self._query(key) or ""
        lead = key.lower() + "\\"
        return [line.strip() for line in listing.splitlines()
                if line.strip().lower().startswith(lead)]

    def remove_probe_cache_below(self, directory: str) -> None:
        """The probe cache entries of executables below a directory (launcher form)."""
        lead = probe_cache_key(directory).lower() + "/"
        self.remove(key for key in self.subkeys(PROBE_CACHE) if key.lower().startswith(lead))

