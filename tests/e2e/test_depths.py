"""test_depths.py — the benchmark program on X servers of other depths than 24: a palettised
display (depth 8, PseudoColor), where the window shows the frame's indices through a colormap
of its own, and a 16-bit TrueColor one (RGB565). The programs and helpers are those of
test_benchmark.py; each test starts the program as few times as it can.

Run one test: python3 tests/e2e/test_depths.py DepthTest.test_x (with TORVEX32,
TORVEX32_BENCH and TORVEX_ASSETS set as for test_benchmark.py).
"""
import json
import os
import re
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import wait_until  # noqa: E402
from test_benchmark import (BENCH, LAUNCHER, PROFILE, PROGRAM, TITLE,  # noqa: E402
                            BenchmarkTest, frame_colour)


def rgb565(colour):
    """A colour as a 16-bit screen holds it: the top 5, 6 and 5 bits of its components."""
    r, g, b = colour
    return (r >> 3, g >> 2, b >> 3)


def read_565(colour):
    """The 16-bit steps of a colour read back from such a screen (scaled up to 8 bits)."""
    r, g, b = colour
    return ((r * 31 + 127) // 255, (g * 63 + 127) // 255, (b * 31 + 127) // 255)


class DepthTest(BenchmarkTest):
    def setUp(self):
        self.depth = 16 if "_depth_16_" in self._testMethodName else 8
        super().setUp()

    def default_colormap(self):
        out = self.x.tool("xwininfo", "-root")
        return int(re.search(r"Colormap: (0x[0-9a-f]+)", out).group(1), 16)

    def check_colormap(self):
        """The window's colormap is its own and installed; its static entries are the default
        colormap's and the others hold the frame's colours."""
        colormap, installed = self.x.colormap(self.window)
        default = self.default_colormap()
        self.assertNotEqual(colormap, default)
        self.assertTrue(installed)
        ours, theirs = self.x.colours(colormap), self.x.colours(default)
        self.assertEqual(ours[:10] + ours[246:], theirs[:10] + theirs[246:])
        self.assertEqual(ours[10:246], [frame_colour(i) for i in range(10, 246)])
        return colormap

    def pause_early(self):
        """Pauses within moments of the window showing: here frames are cheap, and the
        headless frame to compare with is composed up to the same tick count (found from the
        balls only up to a few of their periods)."""
        self.output = os.path.join(self.folder, "program.out")
        self.x.move_pointer(0, 0)
        self.app = self.x.start(LAUNCHER + [PROGRAM], {
            "XDG_CONFIG_HOME": self.config, "SDL_AUDIODRIVER": "dummy",
            "ASAN_OPTIONS": "detect_leaks=0"}, self.output)
        # One xdotool waits for the window, makes sure it has the focus and presses P.
        self.x.tool("xdotool", "search", "--sync", "--onlyvisible", "--name",
                    "^%s$" % re.escape(TITLE), "windowactivate", "--sync", "%1", "key", "p")
        self.window = self.x.find_window(TITLE)
        self.client = self.x.placed_geometry(self.window, (512, 384))
        self.still_frame()
        # P may have come before the scene was built: a moment of running shows it.
        self.x.key("p")
        self.x.key("p")
        return self.still_frame()

    def message_area(self, shown, colour_of=frame_colour):
        """The message line, when it shows the rate: it depends on the running time, which a
        loaded machine stretches, where the headless run shows its time's text."""
        waiting = self.shows_text(shown, 128, 128, "Wait a Minute !!", colour_of)
        return None if waiting else (128, 128, 384, 144)

    def test_at_depth_8_the_window_shows_the_frame_through_a_colormap_of_its_own(self):
        before = int(time.time())
        shown = self.pause_early()
        # Read through the window's colormap: the frame's colours, pixel for pixel.
        self.assert_headless_frame(shown, range(before, int(time.time()) + 1),
                                   skip=self.message_area(shown))
        self.assertTrue(self.shows_text(shown, 224, 320, "EXIT"))
        self.check_colormap()
        # The runner, windowed on the same display, says what it measured on.
        run = subprocess.run(LAUNCHER + [BENCH, "--window", "--frames", "200", "--repeat", "1",
                                          "--json"], capture_output=True, text=True, timeout=120,
                             env=dict(self.x.env, ASAN_OPTIONS="detect_leaks=0",
                                      SDL_AUDIODRIVER="dummy", XDG_CONFIG_HOME=self.config))
        self.assertEqual(run.returncode, 0, run.stderr)
        result = json.loads(run.stdout)
        self.assertEqual(result["present_path"], "x11-shm-indexed")
        self.assertRegex(result["environment"]["screen"], r"x8$")

    def test_at_depth_8_focus_brings_the_palette_back_and_p_exit_and_the_profile_hold(self):
        self.start()
        self.moving()
        cx, cy, w, h = self.client
        self.x.wait_confined((cx, cy, w, h))
        self.check_colormap()
        # Another window takes the focus: its colours are installed, the picture stops.
        self.x.start(["xlogo", "-geometry", "100x100+800+600"])
        logo = wait_until(lambda: self.x.tool("xdotool", "search", "--onlyvisible", "--class",
                                              "xlogo", check=False).split(), 10, "xlogo")
        self.x.activate(int(logo[-1]))
        wait_until(lambda: not self.x.colormap(self.window)[1], 10,
                   "the window's colormap uninstalled")
        away = self.still_frame()
        # Back in front: the window manager installs the frame palette again, unchanged, and
        # the picture is the one left, still paused until P.
        self.x.activate(self.window)
        wait_until(lambda: self.x.colormap(self.window)[1], 10, "the colormap installed again")
        self.check_colormap()
        back = self.still_frame()
        ticks = self.ticks_from_sprites(back)
        self.assertEqual(self.ticks_from_sprites(away), ticks)
        self.assertTrue(self.shows_text(back, 224, 320, "EXIT"))
        self.x.key("p")
        self.moving()
        # "EXIT" turns yellow under the pointer; a click ends the program with its rate said,
        # and the position kept for the next start.
        self.x.tool("xdotool", "windowmove", "--sync", str(self.window), "200", "150")
        outer = wait_until(lambda: (lambda o: o if o[0] >= 150 else None)(
            self.x.outer_origin(self.window)), 10, "the window moved")
        self.client = self.x.client_geometry(self.window)
        self.leave_through_exit()
        with open(self.output) as f:
            said = f.read()
        self.assertRegex(said, r'the window showed "(.{16})"; exact rate [0-9.]+ frames/10s')
        with open(PROFILE or os.path.join(self.config, "torvex32", "TORVEX32.INI")) as f:
            text = f.read()
        saved = tuple(int(v) for v in re.findall(r"^(?:Left|Top)=(-?\d+)$", text, re.M))
        if LAUNCHER:
            # Wine keeps its own idea of the frame, a few pixels off the window manager's.
            self.assertLessEqual(max(abs(saved[0] - outer[0]), abs(saved[1] - outer[1])), 4)
        else:
            self.assertEqual(saved, outer)

    def test_at_depth_16_the_window_shows_the_frame_in_the_screens_steps(self):
        before = int(time.time())
        # The window's pixels are the frame's colours cut to 5, 6 and 5 bits, read back scaled.
        shown = self.pause_early()
        stepped = lambda x, y: read_565(shown(x, y))  # noqa: E731
        colour_of = lambda i: rgb565(frame_colour(i))  # noqa: E731
        self.assert_headless_frame(stepped, range(before, int(time.time()) + 1), rgb565,
                                   skip=self.message_area(stepped, colour_of))
        self.assertTrue(self.shows_text(stepped, 224, 320, "EXIT", colour_of=colour_of))


if __name__ == "__main__":
    unittest.main()
