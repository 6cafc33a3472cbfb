"""test_wine_palette.py — what Wine does with palettes on a palettised X server (depth 8,
PseudoColor). These tests document Wine's behaviour, not ours: the Win32 backend realises the
frame palette as the platform says, and Wine (8.0 here) falls short of showing it.

What they show: Wine reports a palette display (RC_PALETTE, 8 bits per pixel, 256 system
palette entries with the twenty static colours) and RealizePalette answers that all 256
entries changed, but the system palette keeps Wine's own fixed colours and every pixel, drawn
with a palette index or copied from an 8-bit DIB section, shows the nearest of those colours.
So the benchmark under Wine on such a server shows its scene in Wine's palette: flat balls,
dotted title blocks. Should Wine start to show realised palettes, the checks marked "Wine falls
short" fail and say so: the Win32 backend's colours at depth 8 can then be checked exactly.

Programs: PROBE (tests/wine/palette_probe.cpp built for Windows), TORVEX32, TORVEX_LAUNCHER.
"""
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from harness import XSession, wait_until  # noqa: E402

PROBE = os.environ.get("PROBE", "")
PROGRAM = os.environ.get("TORVEX32", "")
LAUNCHER = os.environ.get("TORVEX_LAUNCHER", "wine").split()
TITLE = "TORVEX32 version 3.0"


def cube_colour(index):
    k = index - 20
    return (k // 36 * 51, k // 6 % 6 * 51, k % 6 * 51)


class WinePaletteTest(unittest.TestCase):
    def setUp(self):
        self.x = XSession(depth=8)

    def tearDown(self):
        self.x.stop()

    def probe(self):
        out = self.x.tool(*LAUNCHER, PROBE)
        return dict(line.split(" ", 1) for line in out.splitlines() if " " in line)

    def test_wine_reports_a_palette_display_but_shows_realised_colours_in_its_own(self):
        facts = self.probe()
        # What the Win32 backend's palette branch relies on holds.
        self.assertEqual(facts["rc_palette"], "1")
        self.assertEqual(facts["bits_per_pixel"], "8")
        self.assertEqual(facts["system_entries"], "256")
        self.assertEqual(facts["select_returned_previous"], "1")
        self.assertEqual(facts["realize_changed"], "256")
        # Wine falls short: the realised cube is neither in the system palette nor on screen.
        self.assertLess(int(facts["system_holds_cube"]), 216,
                        "Wine now puts a realised palette into its system palette")
        self.assertLess(int(facts["dib_pixels_exact"]), 216,
                        "Wine now shows an 8-bit DIB in the realised palette's colours")
        self.assertLess(int(facts["index_pixels_exact"]), 216,
                        "Wine now shows palette-index pixels in the realised colours")

    def test_the_benchmark_under_wine_shows_its_paused_frame_in_wines_colours(self):
        self.x.move_pointer(0, 0)
        self.x.start(LAUNCHER + [PROGRAM], {"XDG_CONFIG_HOME": self.x.folder},
                     os.path.join(self.x.folder, "program.out"))
        window = self.x.find_window(TITLE, timeout=60)
        self.x.placed_geometry(window, (512, 384))

        def shot():
            picture = self.x.window_shot(window)
            return picture if any(picture.rgb) else None

        wait_until(shot, 30, "the scene")
        self.x.key("p")

        def still():
            first, second = shot(), shot()
            return second if first and second and first.rgb == second.rgb else None

        picture = wait_until(still, 30, "the paused frame")
        shown = {bytes(picture.rgb[i:i + 3]) for i in range(0, len(picture.rgb), 3)}
        cube = {bytes(cube_colour(i)) for i in range(20, 236)}
        # The scene is there, in some colours of the frame's own ...
        self.assertGreater(len(shown), 4)
        # ... but Wine falls short: most shown colours are not the frame's (the balls' shading
        # comes out in Wine's fixed steps).
        foreign = shown - cube - {bytes((0, 0, 0)), bytes((255, 255, 255))}
        self.assertGreater(len(foreign), len(shown) // 2,
                           "Wine now shows the benchmark in the frame's colours")


if __name__ == "__main__":
    unittest.main()
