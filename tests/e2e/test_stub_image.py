"""The launcher stubs as files, both widths (the x86 one cannot run here, so this is all that
checks it): statically linked, a GUI image of its width, nothing behind the last section where
the build tool puts the block, and the resources every application inherits. How the build tool
replaces them is its own tier's business, down to the bytes Windows reads."""
import re
import struct
import subprocess
import unittest
import xml.etree.ElementTree as ElementTree

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


if __name__ == "__main__":
    unittest.main()
