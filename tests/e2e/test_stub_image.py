"""The launcher stubs as files, both widths (the x86 one cannot run here, so this is all that
checks it): statically linked, a GUI image of its width, nothing behind the last section where
the build tool puts the block, and the resources every application inherits. Then a launcher
with an application's own resources, rebuilt from what the build tool's show gives back, and
checked by tools other than ours: the Windows loader and version API under Wine, osslsigncode,
and the launcher itself."""
import re
import shutil
import struct
import subprocess
import unittest
import xml.etree.ElementTree as ElementTree
import zipfile
from pathlib import Path

import harness

SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "advapi32.dll", "comctl32.dll", "gdi32.dll",
               "shell32.dll", "msvcrt.dll", "ole32.dll"}
ASM = "{urn:schemas-microsoft-com:asm.v%d}"
# Every application's launcher carries a stub. Today's sizes with a little room: a stub that
# grows past them has taken in weight that someone should look at. The stub is built without
# C++ exceptions; their runtime would bring the library's exception types, named in the image.
MAX_STUB_BYTES = {"x64": 236 * 1024, "x86": 200 * 1024}


class StubImageTest(unittest.TestCase):
    def test_stubs(self) -> None:
        for width, machine, magic in (("x64", 0x8664, 0x20B), ("x86", 0x14C, 0x10B)):
            with self.subTest(width=width):
                path = harness.required(f"KWN_E2E_STUB_{width.upper()}",
                                        harness.BUILD.parent / f"dist/stubs/launcher-{width}.exe")
                image = harness.PeImage(path.read_bytes())
                self.assertEqual((image.machine, image.magic, image.subsystem), (machine, magic, 2))
                self.assertEqual(len(image.data), image.block_start)
                # A MinGW runtime DLL (libgcc, libstdc++, winpthread) is not on a user's machine.
                listing = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", path], check=True,
                                         capture_output=True, text=True).stdout
                dlls = {dll.lower() for dll in re.findall(r"DLL Name: (\S+)", listing)}
                self.assertTrue("kernel32.dll" in dlls and dlls <= SYSTEM_DLLS, dlls)

                resources = image.resources()
                self.assertTrue(all(len(data) == 1 for data in resources.values()))
                group = resources[(14, 1001)][0]
                self.assertEqual(group[:6], b"\0\0\1\0\2\0")  # an icon group of two images
                for entry in (group[6:20], group[20:34]):
                    size, icon = struct.unpack_from("<8xIH", entry)
                    self.assertEqual(len(resources[(3, icon)][0]), size)
                self.assertLessEqual(len(image.data), MAX_STUB_BYTES[width])
                self.assertNotIn(b"St9exception", image.data)
                manifest = ElementTree.fromstring(resources[(24, 1)][0])
                levels = manifest.iter(ASM % 3 + "requestedExecutionLevel")
                self.assertEqual([e.get("level") for e in levels], ["asInvoker"])
                self.assertIn(("Microsoft.Windows.Common-Controls", "6.0.0.0"), [
                    (e.get("name"), e.get("version"))
                    for e in manifest.iter(ASM % 1 + "assemblyIdentity")])


def icon_images(ico: bytes) -> list[tuple[tuple, bytes]]:
    """Each image's directory entry (without its offset) and bytes."""
    count = struct.unpack_from("<H", ico, 4)[0]
    images = []
    for i in range(count):
        entry = struct.unpack_from("<BBBBHHII", ico, 6 + 16 * i)
        images.append((entry[:7], ico[entry[7]:entry[7] + entry[6]]))
    return images


class ApplicationResourcesTest(harness.WineTestCase):
    VERSION = {"CompanyName": "Ödön & Söhne", "FileDescription": "Sample €",
               "FileVersion": "1.2.3.4", "LegalCopyright": "© 2024",
               "OriginalFilename": "App.exe", "ProductName": "Sample",
               "ProductVersion": "5.6"}

    def make_inputs(self) -> Path:
        project = self.scratch / "project"
        project.mkdir()
        for command in (["-size", "48x48", "xc:#3060c0", "-define", "icon:auto-resize=48,32,16",
                         "app.ico"], ["-size", "40x20", "xc:red", "bmp3:splash.bmp"]):
            subprocess.run(["convert", *command], cwd=project, check=True, timeout=60)
        shutil.copy(harness.BUILD.parent / "resources" / "splash.png", project / "splash.png")
        with zipfile.ZipFile(project / "kwnruntime.jar", "w") as jar:
            jar.writestr("META-INF/MANIFEST.MF", "Manifest-Version: 1.0\n")
        settings = {**harness.SETTINGS, 107: 0, 126: "1.7", 128: "B.\\jre;", 121: "A0app.jar",
                    122: "app.Main"}
        version = {"file-version": "1.2.3.4", "product-version": "5.6",
                   "company": self.VERSION["CompanyName"],
                   "description": self.VERSION["FileDescription"],
                   "copyright": self.VERSION["LegalCopyright"],
                   "original-filename": "App.exe", "product-name": "Sample"}
        (project / "app.toml").write_text("\n".join([
            "[settings]", *harness.toml(settings), "[resources]", 'icon = "app.ico"',
            'splash-bitmap = "splash.bmp"', 'splash-image = "splash.png"',
            'execution-level = "highestAvailable"', "dpi-aware = true",
            "[resources.version]", *harness.toml(version)]), encoding="utf-8")
        return project

    def kwnbuild(self, project: Path, output: Path) -> Path:
        output.parent.mkdir()
        subprocess.run([self.products.kwnbuild, "--stub", self.products.stub, "--config",
                        project / "app.toml", "--output", output, "--runtime-jar",
                        project / "kwnruntime.jar"], check=True, timeout=60)
        return output

    def test_application_resources(self) -> None:
        project = self.make_inputs()
        launcher = self.kwnbuild(project, self.scratch / "app" / "App.exe")
        # The same stub, configuration and inputs give the same bytes.
        again = self.kwnbuild(project, self.scratch / "again" / "App.exe")
        self.assertTrue(launcher.read_bytes() == again.read_bytes())
        # What `show --extract` prints and writes rebuilds it.
        shown = subprocess.run([self.products.kwnbuild, "show", launcher, "--extract",
                                self.scratch / "shown"], check=True, capture_output=True).stdout
        (self.scratch / "shown.toml").write_bytes(shown)
        subprocess.run([self.products.kwnbuild, "--stub", self.products.stub, "--config",
                        self.scratch / "shown.toml", "--output", self.scratch / "shown.exe",
                        "--no-runtime-jar"], check=True, timeout=60)
        self.assertTrue((self.scratch / "shown.exe").read_bytes() == launcher.read_bytes(), shown)
        # Layout and the runtime jar's place are the build tool's own tests; here the Windows
        # loader and version API read what it wrote.
        image = harness.PeImage(launcher.read_bytes())
        manifest = ElementTree.fromstring(image.resources()[(24, 1)][0])
        self.assertEqual([e.get("level") for e in manifest.iter(ASM % 3 + "requestedExecutionLevel")],
                         ["highestAvailable"])

        probe = shutil.copy(harness.required("KWN_E2E_STANDIN", harness.BUILD / "win-x64/standin")
                            / "resource-probe.exe", self.scratch)
        result = self.prefix.run([str(probe), self.prefix.windows_path(launcher)])
        lines = result.stdout.encode("latin-1").decode("utf-8").splitlines()
        icons = icon_images((project / "app.ico").read_bytes())
        sizes = {entry[0]: len(data) for entry, data in icons}
        self.assertEqual(lines, [
            "bitmap 40x20", *[f"icon {s}: {sizes[s]} bytes {s}x{s}" for s in (16, 32, 48)],
            "version 1.2.3.4 product 5.6.0.0",
            *[f"{key}={value}" for key, value in self.VERSION.items()]])

        # Signed by osslsigncode, it verifies and still reads its block and starts.
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj",
                        "/CN=Kestrowan test", "-days", "1", "-keyout", self.scratch / "key.pem",
                        "-out", self.scratch / "cert.pem"], check=True, capture_output=True)
        signed = launcher.with_name("Signed.exe")
        subprocess.run(["osslsigncode", "sign", "-certs", self.scratch / "cert.pem", "-key",
                        self.scratch / "key.pem", "-in", launcher, "-out", signed], check=True,
                       capture_output=True)
        verified = subprocess.run(["osslsigncode", "verify", "-CAfile", self.scratch / "cert.pem",
                                   signed], capture_output=True, text=True)
        self.assertIn("Signature verification: ok", verified.stdout, verified.stdout)
        harness.Runtime(launcher.parent / "jre")
        self.assertEqual(self.run_launcher(signed).exit_code, 0)
        class_path = next(line for line in self.vm_record() if "java.class.path" in line)
        self.assertIn(self.prefix.windows_path(launcher.parent).lower() +
                      "\\.kestrowan\\kwnruntime.jar;", class_path.lower())


if __name__ == "__main__":
    unittest.main()
