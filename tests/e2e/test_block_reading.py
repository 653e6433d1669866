"""How a launcher reads the configuration block behind its own image, seen from outside:
broken or missing blocks end with the reader's fixed text on stderr and exit code 1, a
complete block (narrow, wide and locale entries) gets the start as far as the runtime
search, which ends with code 83.

Runs that fail while reading pass -q_kwn_internal: the block is unread when these errors are
reported, so only the marker can send them to stderr.
"""
import unittest

import harness
from config_block import block_fields, encode_block
from pe_image import PeImage

QUIET = ["-q_kwn_internal"]
MAGIC_BYTES = bytes.fromhex("D513E4E8")
SETTINGS = {1000: "Error", 1016: harness.NO_JVM_MESSAGE, 2001: "i"}
WIDE = {1000: "Error", 1001: "Wide caption"}
LOCALES = [("de", {1000: "Fehler"}), ("fr_FR", {1000: "Erreur", 1001: "Titre"})]


def reader_error(primitive: str) -> str:
    return harness.as_console_text(f"Internal Error: {primitive}")


class BlockReadingTest(harness.WineTestCase):
    @classmethod
    def setUpClass(cls) -> None:
        super().setUpClass()
        cls.stub = cls.products.stub.read_bytes()

    def full_launcher(self) -> bytes:
        return self.build("full.exe", SETTINGS, wide=WIDE, locales=LOCALES).read_bytes()

    def test_bare_stub_fails_reading_the_magic_word(self) -> None:
        result = self.run_launcher(self.place("bare.exe", self.stub), QUIET)
        self.assertRun(result, 1, reader_error("readInt"))

    def test_bytes_behind_the_stub_that_are_no_block(self) -> None:
        cases = {
            "last magic byte off by one": (bytes.fromhex("D513E4E9") + bytes(28), "magic"),
            "magic in the wrong byte order": (MAGIC_BYTES[::-1] + bytes(28), "magic"),
            "another image appended": (self.stub[:512], "magic"),
            "text": (b"this is not a configuration block", "magic"),
            "fewer bytes than the magic": (MAGIC_BYTES[:3], "readInt"),
        }
        for name, (tail, primitive) in cases.items():
            with self.subTest(name):
                launcher = self.place("tail.exe", self.stub + tail)
                self.assertRun(self.run_launcher(launcher, QUIET), 1, reader_error(primitive))

    def test_hand_made_blocks_the_build_tool_never_writes(self) -> None:
        cases = {
            "no entries at all": ([], ""),
            "a key twice keeps the later value": (
                [(1016, b"first {0}"), (1016, b"second {0}")], "second 64"),
            "narrow bytes pass through unconverted": ([(1016, b"caf\xe9 {0}")], "caf\xe9 64"),
        }
        for name, (entries, shown) in cases.items():
            with self.subTest(name):
                # Without key 107 the message goes to stderr: no marker needed.
                launcher = self.place("hand.exe", self.stub + encode_block(entries))
                self.assertRun(self.run_launcher(launcher), 83, harness.as_console_text(shown))

    def test_launcher_cut_inside_a_value_names_the_reader_that_ran_short(self) -> None:
        image = self.full_launcher()
        start = PeImage(image).end_of_last_section
        self.assertEqual(start, len(self.stub), "kwnbuild must put the block right behind "
                         "the stub's last section")
        fields = block_fields(image, start)
        # Each role is cut in its first occurrence, in the middle of its bytes.
        cuts = {
            "magic": "readInt",
            "header word": "readInt",
            "header length": "readLong",
            "narrow count": "readInt",
            "narrow key": "readInt",
            "narrow value": "readString",
            "wide count": "readInt",
            "wide key": "readInt",
            "wide value": "readWString",
            "group count": "readInt",
            "group name": "readString",
            "group entry count": "readInt",
            "group key": "readInt",
            "group value": "readWString",
        }
        for role, primitive in cuts.items():
            with self.subTest(role):
                field = next(field for field in fields if field.role == role)
                self.assertGreater(field.size, 1, f"the {role} is too short to cut inside")
                cut = self.place("cut.exe", image[:field.offset + field.size // 2])
                self.assertRun(self.run_launcher(cut, QUIET), 1, reader_error(primitive))

    def test_complete_block_reaches_the_runtime_search(self) -> None:
        # The wide entries and locale groups follow the narrow ones; reading past all of
        # them without a complaint is what lets the start go on to the search.
        launcher = self.place("full.exe", self.full_launcher())
        self.assertRun(self.run_launcher(launcher, QUIET), 83,
                       harness.as_console_text(harness.NO_JVM_MESSAGE.replace("{0}", "64")))

    def test_reader_stops_at_the_end_of_the_block(self) -> None:
        # Included-file data and signatures follow the block; none of it is configuration.
        image = self.full_launcher()
        launcher = self.place("trailer.exe", image + b"\xFF" * 4096)
        self.assertRun(self.run_launcher(launcher, QUIET), 83,
                       harness.as_console_text(harness.NO_JVM_MESSAGE.replace("{0}", "64")))


if __name__ == "__main__":
    unittest.main()
