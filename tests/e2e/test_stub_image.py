"""The launcher stubs as files: what a user's machine needs to run them, where the build tool
will put the configuration block, and the resources every application inherits.

No Wine here; the x86 stub cannot run on this machine, so this is all that checks it.
KWN_E2E_STUB_WIDTH picks one width (CTest runs one test per stub); unset, both are checked.
"""
import os
import re
import shutil
import subprocess
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree
from pathlib import Path

import harness
from pe_image import (MACHINE_AMD64, MACHINE_I386, PE32_MAGIC, PE32_PLUS_MAGIC, RT_BITMAP,
                      RT_GROUP_ICON, RT_ICON, RT_MANIFEST, PeImage, parse_icon_group)

WIDTHS = [os.environ["KWN_E2E_STUB_WIDTH"]] if os.environ.get("KWN_E2E_STUB_WIDTH") \
    else ["x64", "x86"]
EXPECTED_HEADER = {"x64": (MACHINE_AMD64, PE32_PLUS_MAGIC), "x86": (MACHINE_I386, PE32_MAGIC)}
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "advapi32.dll", "comctl32.dll", "gdi32.dll",
               "shell32.dll", "msvcrt.dll", "ole32.dll"}
WINDOWS_GUI = 2
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"


RESOURCE_TYPE_NAMES = {RT_ICON: "icon", RT_BITMAP: "bitmap", RT_GROUP_ICON: "icon group",
                       RT_MANIFEST: "manifest"}


def resource(tree: dict, kind: int, ident: int) -> bytes:
    """Stubs carry each resource once, in whatever language the compiler gave it."""
    languages = tree.get(kind, {}).get(ident)
    if not languages:
        raise AssertionError(f"no {RESOURCE_TYPE_NAMES[kind]} resource {ident}")
    if len(languages) != 1:
        raise AssertionError(f"{RESOURCE_TYPE_NAMES[kind]} {ident} in several languages")
    return next(iter(languages.values()))


class StubImageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls) -> None:
        # Copies, so that objdump and the parser look at the same bytes while builds go on.
        copies = Path(tempfile.mkdtemp(dir=harness.work_root(), prefix="stubs-"))
        cls.addClassCleanup(shutil.rmtree, copies, True)
        cls.stubs = {width: Path(shutil.copy2(harness.stub_path(width), copies))
                     for width in WIDTHS}
        cls.images = {width: PeImage.from_file(path) for width, path in cls.stubs.items()}
        cls.objdump = harness.required_program("x86_64-w64-mingw32-objdump", "KWN_E2E_OBJDUMP")

    def imported_dlls(self, width: str) -> list[str]:
        # The x86_64 objdump reads PE32 images too, so one tool serves both widths.
        listing = subprocess.run([self.objdump, "-p", str(self.stubs[width])],
                                 capture_output=True, text=True, timeout=60, check=True).stdout
        return re.findall(r"^\s*DLL Name: (\S+)\s*$", listing, re.MULTILINE)

    def test_imports_only_windows_system_dlls(self) -> None:
        for width in WIDTHS:
            with self.subTest(width=width):
                dlls = self.imported_dlls(width)
                self.assertIn("kernel32.dll", [dll.lower() for dll in dlls])
                foreign = [dll for dll in dlls if dll.lower() not in SYSTEM_DLLS]
                self.assertEqual(foreign, [], "the stub must be linked statically: a MinGW "
                                 "runtime DLL (libgcc, libstdc++, libwinpthread) is not on "
                                 "the user's machine")

    def test_is_a_windows_gui_image_of_its_width(self) -> None:
        for width, image in self.images.items():
            with self.subTest(width=width):
                self.assertEqual((image.machine, image.magic), EXPECTED_HEADER[width])
                self.assertEqual(image.subsystem, WINDOWS_GUI)

    def test_nothing_follows_the_last_section(self) -> None:
        # The configuration block is looked for right behind the last section: a symbol
        # table or any other trailer there would be read as the block.
        for width, image in self.images.items():
            with self.subTest(width=width):
                size = len(image.data)
                print(f"{self.stubs[width].name}: {size} bytes")
                self.assertGreater(image.last_section.raw_size, 0)
                self.assertEqual(size, image.end_of_last_section)

    def test_icon_group_1001_holds_two_images(self) -> None:
        for width, image in self.images.items():
            with self.subTest(width=width):
                resources = image.resources()
                group = parse_icon_group(resource(resources, RT_GROUP_ICON, 1001))
                self.assertEqual(len(group), 2)
                for entry in group:
                    icon = resource(resources, RT_ICON, entry.icon_id)
                    self.assertEqual(len(icon), entry.bytes_in_resource)
                    is_dib = int.from_bytes(icon[:4], "little") == 40
                    self.assertTrue(is_dib or icon.startswith(PNG_SIGNATURE),
                                    f"icon {entry.icon_id} is neither a DIB nor a PNG")

    def test_splash_bitmap_10000_is_a_bitmap(self) -> None:
        for width, image in self.images.items():
            with self.subTest(width=width):
                bitmap = resource(image.resources(), RT_BITMAP, 10000)
                header_size, bitmap_width, bitmap_height = (
                    int.from_bytes(bitmap[offset:offset + 4], "little", signed=True)
                    for offset in (0, 4, 8))
                self.assertIn(header_size, (40, 108, 124))
                self.assertGreater(bitmap_width, 0)
                self.assertNotEqual(bitmap_height, 0)

    def test_manifest_runs_as_invoker_with_common_controls_6(self) -> None:
        for width, image in self.images.items():
            with self.subTest(width=width):
                manifest = ElementTree.fromstring(resource(image.resources(), RT_MANIFEST, 1))
                levels = [element.get("level") for element in
                          manifest.iter(ASM_V3 + "requestedExecutionLevel")]
                self.assertEqual(levels, ["asInvoker"])
                controls = [element.get("version") for element in
                            manifest.iter(ASM_V1 + "assemblyIdentity")
                            if element.get("name") == "Microsoft.Windows.Common-Controls"]
                self.assertEqual(controls, ["6.0.0.0"])


if __name__ == "__main__":
    unittest.main()
