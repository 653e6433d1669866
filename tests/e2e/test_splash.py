"""The native splash window on a real (virtual) display: where it is drawn, its two lines in
their colours, the Java controller changing the first line and hiding it, and no splash for a
launcher started hidden. Screenshots are compared pixel by pixel and kept beside the build's
other test output. The rules (tick decisions, the early-hide race, the runtime splash's failures
and closing) are the unit tier's; the runtime's splash library is loaded in a typical start."""
import re
import subprocess
import time
from pathlib import Path

import harness

SCREEN = (1024, 768)
SIZE = (304, 97)
ORIGIN = ((SCREEN[0] - SIZE[0]) // 2, (SCREEN[1] - SIZE[1]) // 2)
LINE1 = (10, 60)  # window pixels
LINE2 = (200, 5)
SETTINGS = {**harness.SETTINGS, 107: 1, 128: "B.\\jre;", 122: "app.Main", 108: 1,
            141: SIZE[0], 142: SIZE[1], 10109: LINE1[0], 10110: LINE1[1], 10111: "Loading",
            10112: "Tahoma", 10113: 12, 10114: "255,0,0", 10115: 700, 10116: LINE2[0],
            10117: LINE2[1], 10118: "v1.0", 10119: "Tahoma", 10120: 10, 10121: "0,0,255",
            10122: 400, 1005: "The VM could not be started"}
X11_DRIVER = "HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver"
# The stub carries no splash bitmap: the window is the stock light grey under its two lines.
LIGHT_GREY = (192, 192, 192)
SHOTS = harness.work_root().parent / "screenshots"


class Picture:
    """RGB pixels of a screenshot, as ImageMagick reads it."""

    def __init__(self, path: Path):
        data = subprocess.run(["convert", str(path), "-depth", "8", "ppm:-"], check=True,
                              capture_output=True, timeout=30).stdout
        header = re.match(rb"P6\s+(\d+)\s+\d+\s+\d+\s", data)
        self.width, self.pixels = int(header.group(1)), data[header.end():]

    def row(self, y: int) -> bytes:
        return self.pixels[y * self.width * 3:(y + 1) * self.width * 3]

    def pixel(self, x: int, y: int) -> tuple[int, int, int]:
        return tuple(self.row(y)[x * 3:x * 3 + 3])

    def splash_area(self, x: int, y: int, width: int, height: int) -> list[tuple[int, int, int]]:
        """The pixels of an area given in window coordinates."""
        return [self.pixel(ORIGIN[0] + i, ORIGIN[1] + j)
                for j in range(y, y + height) for i in range(x, x + width)]


class SplashTest(harness.WineTestCase):
    @classmethod
    def setUpClass(cls) -> None:
        super().setUpClass()
        # Without a window manager, Wine otherwise stalls on each window that goes away.
        cls.registry.seed({X11_DRIVER: {"Managed": "N"}})
        cls.addClassCleanup(cls.registry.remove, [X11_DRIVER])
        SHOTS.mkdir(parents=True, exist_ok=True)

    def setUp(self) -> None:
        super().setUp()
        harness.Runtime(self.scratch / "app" / "jre")
        self.release = self.scratch / "release"
        self.action = self.scratch / "action"
        self.display = self.start_display(f"{SCREEN[0]}x{SCREEN[1]}x24")

    def shot(self, name: str, ready) -> Picture:
        """The screen once ready(screen) holds or the time is up, kept as a PNG for people to look
        at. Windows paint in their own time, later still on a loaded machine."""
        png, deadline = SHOTS / f"{self.id().split('.')[-1]}-{name}.png", time.monotonic() + 20
        while True:
            time.sleep(0.3)  # two splash ticks
            subprocess.run(["import", "-display", self.display, "-window", "root", str(png)],
                           check=True, timeout=30)
            if ready(screen := Picture(png)) or time.monotonic() > deadline:
                return screen

    @staticmethod
    def matching_splash(screen: Picture) -> float:
        """Share of the splash area that shows the window's light grey (within 8)."""
        pixels = screen.splash_area(0, 0, *SIZE)
        return sum(all(abs(p - q) <= 8 for p, q in zip(pixel, LIGHT_GREY))
                   for pixel in pixels) / len(pixels)

    @staticmethod
    def coloured(screen: Picture, area: tuple[int, int, int, int], channel: int) -> int:
        """Pixels of the window area (x, y, width, height) strongly in one colour channel."""
        return sum(pixel[channel] > 180 and all(pixel[c] < 90 for c in range(3) if c != channel)
                   for pixel in screen.splash_area(*area))

    def changed_rows(self, before: Picture, after: Picture) -> set[int]:
        return {y for y in range(SCREEN[1]) if before.row(y) != after.row(y)}

    def test_the_splash_is_painted_changed_and_hidden_by_the_application(self) -> None:
        behaviour = (f"hold-main={self.prefix.windows_path(self.release)},"
                     f"splash-action={self.prefix.windows_path(self.action)}")
        process, streams = self.start_launcher(self.build("app/app.exe", SETTINGS), env={
            "DISPLAY": self.display, "QELVO_LOG": "yes", "KWN_STANDIN_VM": behaviour})
        self.wait_for(process, "AttachCurrentThread")
        line1 = (LINE1[0], LINE1[1], SIZE[0] - LINE1[0], SIZE[1] - LINE1[1])
        first = self.shot("painted", lambda screen: self.matching_splash(screen) > 0.85 and
                          self.coloured(screen, line1, 0) > 20)
        # The window at the centred place, the lines over it in their colours, nothing else red.
        self.assertGreater(self.matching_splash(first), 0.85)
        self.assertGreater(self.coloured(first, line1, 0), 20)
        self.assertGreater(self.coloured(first, (LINE2[0], LINE2[1], 100, 30), 2), 10)
        self.assertEqual(self.coloured(first, (0, 0, SIZE[0], LINE1[1]), 0), 0)

        self.action.write_text("2 Step two of three")
        self.wait_for(process, "call com/qelvo/runtime/QelvoController getText "
                               "()Ljava/lang/String;")
        second = self.shot("changed", lambda screen: self.coloured(screen, line1, 0) >
                           self.coloured(first, line1, 0))
        changed = self.changed_rows(first, second)
        self.assertTrue(changed)
        self.assertTrue(all(ORIGIN[1] + LINE1[1] <= y < ORIGIN[1] + SIZE[1] for y in changed),
                        sorted(changed))
        self.assertGreater(self.coloured(second, line1, 0), self.coloured(first, line1, 0))

        self.action.write_text("1")
        self.wait_for(process, "DetachCurrentThread")
        hidden = self.shot("hidden", lambda screen: self.matching_splash(screen) == 0.0)
        self.assertEqual(self.matching_splash(hidden), 0.0)
        self.assertTrue(all(hidden.pixel(x, y) == (0, 0, 0)
                            for x in range(ORIGIN[0], ORIGIN[0] + SIZE[0], 7)
                            for y in range(ORIGIN[1], ORIGIN[1] + SIZE[1], 7)))
        self.release.write_bytes(b"")
        self.assertEqual(self.prefix.finish(process, streams).exit_code, 0)
        log = self.the_only_log()
        at = [next((i for i, l in enumerate(log) if text in l), None) for text in (
            "Starting splash screen thread", "Showing splash screen", "Initializing splash screen",
            "Hiding splash screen", "extracting")]
        self.assertNotIn(None, at, log)
        self.assertLess(at[0], at[4])  # before extraction

    def test_a_launcher_started_hidden_shows_no_splash(self) -> None:
        timer = harness.standin("../bench/splashtimer.exe")
        launcher = self.build("app/app.exe", SETTINGS)
        release = self.prefix.windows_path(self.release)
        env = self.env({"DISPLAY": self.display, "KWN_STANDIN_VM": "hold-main=" + release})
        for option, seen in (("--until-splash", True), ("--hidden", False)):
            with self.subTest(option=option):
                self.release.unlink(missing_ok=True)
                process, streams = self.prefix.start(
                    [str(timer), self.prefix.windows_path(launcher), option], cwd=self.scratch,
                    env=env)
                if not seen:  # main runs; no splash thread came
                    self.wait_for(process, "call ")
                    time.sleep(0.5)
                    self.release.write_bytes(b"")
                result = self.prefix.finish(process, streams)
                self.assertEqual(result.exit_code, 0, result)
                self.assertEqual(float(result.stdout.split()[0]) >= 0, seen, result)
                self.vm_record()


if __name__ == "__main__":
    import unittest
    unittest.main()
