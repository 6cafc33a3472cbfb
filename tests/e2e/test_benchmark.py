"""test_benchmark.py — the benchmark program end to end: torvex32 in a real window under Xvfb
and openbox, driven by xdotool, compared with frames that torvex32-bench composes headlessly.

Programs: TORVEX32 (the program, its data files beside it), TORVEX32_BENCH, TORVEX_ASSETS.
Run one test: python3 tests/e2e/test_benchmark.py BenchmarkTest.test_x (with those set).
The Windows build runs the same tests under Wine: TORVEX_LAUNCHER ("wine") goes before both
programs, and TORVEX_PROFILE_FILE names the profile file (in Wine's Windows directory).
README_SCREENSHOT names a PNG file to write a picture of the running window into.
"""
import glob
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import XSession, parse_ppm, wait_until  # noqa: E402

TITLE = "TORVEX32 version 3.0"
PROGRAM = os.environ.get("TORVEX32", "")
BENCH = os.environ.get("TORVEX32_BENCH", "")
ASSETS = os.environ.get("TORVEX_ASSETS", "")
LAUNCHER = os.environ.get("TORVEX_LAUNCHER", "").split()
PROFILE = os.environ.get("TORVEX_PROFILE_FILE", "")
WHITE, YELLOW = (255, 255, 255), (255, 255, 0)


def frame_colour(index):
    """The colour table's colour of a cube or black index (all the scene's sprites use)."""
    if 20 <= index <= 235:
        k = index - 20
        return (k // 36 * 51, k // 6 % 6 * 51, k % 6 * 51)
    return (0, 0, 0) if index == 0 or 10 <= index <= 19 or 236 <= index <= 245 else None


def read_png(path):
    return parse_ppm(subprocess.run(["convert", path, "-depth", "8", "ppm:-"],
                                    capture_output=True, check=True).stdout)


class Data:
    """The program's font and sprite files, read through their plain forms."""

    def __init__(self, folder):
        program_dir = os.path.dirname(PROGRAM)
        font = os.path.join(folder, "font.plain")
        sprites = os.path.join(folder, "sprites.plain")
        subprocess.run([ASSETS, "unpack", os.path.join(program_dir, "TORVEX32.ZGL"), font],
                       check=True, capture_output=True)
        subprocess.run([ASSETS, "unpack", os.path.join(program_dir, "TORVEX32.ZOR"), sprites],
                       check=True, capture_output=True)
        with open(font, "rb") as f:
            self.glyphs = f.read()[4:]
        with open(sprites, "rb") as f:
            data = f.read()
        width, height = struct.unpack("<HH", data[4:8])
        self.ball = (width, height, data[16:16 + width * height])

    def glyph(self, code):
        return self.glyphs[256 * code:256 * code + 256]

    def text_mask(self, text):
        """(x, y, index) of the non-transparent pixels of a text sprite of text."""
        pixels = []
        for i, character in enumerate(text):
            glyph = self.glyph(ord(character))
            for p in range(256):
                if glyph[p]:
                    pixels.append((16 * i + p % 16, p // 16, glyph[p]))
        return pixels


class BenchmarkTest(unittest.TestCase):
    depth = None  # the X server's: TORVEX_E2E_DEPTH, else 24

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="torvex-bench-e2e-")
        self.config = os.path.join(self.folder, "config")
        self.x = XSession(depth=self.depth)
        self.data = Data(self.folder)
        self.app = None
        self.window = None
        # The profile file of a platform that keeps it in one place for every run starts
        # missing, as a private configuration folder does.
        if PROFILE and os.path.exists(PROFILE):
            os.remove(PROFILE)

    def tearDown(self):
        self.x.stop()
        shutil.rmtree(self.folder, ignore_errors=True)

    # --- driving the program ----------------------------------------------------------------

    def start(self, program=PROGRAM, wait=True, **env):
        settings = {"XDG_CONFIG_HOME": self.config, "SDL_AUDIODRIVER": "dummy",
                    "ASAN_OPTIONS": "detect_leaks=0"}
        settings.update(env)
        self.output = os.path.join(self.folder, "program.out")
        # The pointer starts far from where "EXIT" can be, so nothing is highlighted.
        self.x.move_pointer(0, 0)
        self.app = self.x.start(LAUNCHER + [program], settings, self.output)
        if wait:
            self.window = self.x.find_window(TITLE)
            # The window shows at its outer size and is then sized to its client area, once
            # its frame is known: the geometry counts from then on.
            self.client = self.x.placed_geometry(self.window, (512, 384))
        return self.app

    def shot(self):
        """A picture holding the client area, and where the area lies in it. On a palettised
        display the window is read through its own colormap, as it shows while it has the
        focus; elsewhere the whole screen is read."""
        if self.x.depth == 8:
            return self.x.window_shot(self.window), 0, 0
        cx, cy, _, _ = self.client
        return self.x.screenshot(), cx, cy

    def client_shot(self):
        """The client area of the window: a function (x, y) -> (r, g, b)."""
        shot, cx, cy = self.shot()
        return lambda x, y: shot.pixel(cx + x, cy + y)

    def still_frame(self):
        """Waits until two screenshots in a row show the same client area; returns it."""
        def same():
            first = self.shot()
            second = self.shot()
            return second if first[0].rgb == second[0].rgb else None

        shot, cx, cy = wait_until(same, 20, "the picture to stand still")
        return lambda x, y: shot.pixel(cx + x, cy + y)

    def moving(self):
        first = self.shot()[0].rgb
        return wait_until(lambda: self.shot()[0].rgb != first, 20, "the picture to move")

    def pause(self):
        self.x.key("p")
        return self.still_frame()

    def shows_text(self, pixel, x, y, text, colour_of=frame_colour):
        """True when the text sprite's pixels show at window position (x, y)."""
        return all(pixel(x + px, y + py) == colour_of(index)
                   for px, py, index in self.data.text_mask(text))

    def ticks_from_sprites(self, pixel, through=lambda colour: colour):
        """The tick count (up to 5280, after which the swing repeats) from where the fourteen
        border balls stand: the rows swing every 176 ticks, the columns every 240. The screen
        shows colour c as through(c)."""
        width, height, ball = self.data.ball
        opaque = [(i % width, i // width, through(frame_colour(v)))
                  for i, v in enumerate(ball) if v]

        def swing(ticks, turn):
            phase = (2 * ticks) % (2 * turn)
            return phase if phase <= turn else 2 * turn - phase

        def layout(ticks):
            v, h = swing(ticks, 352), swing(ticks, 480)
            return ([(16 + 128 * i, v) for i in range(4)] +
                    [(80 + 128 * i, 352 - v) for i in range(4)] +
                    [(h, 16 + 128 * i) for i in range(3)] +
                    [(480 - h, 80 + 128 * i) for i in range(3)])

        def roughly(ticks):
            # Most of a few balls' pixels match: others may cover parts of them.
            samples = [(x + px, y + py, c) for x, y in layout(ticks)[1:3] + layout(ticks)[9:10]
                       for px, py, c in opaque[::9]]
            hits = sum(1 for x, y, c in samples if pixel(x, y) == c)
            return hits >= 0.6 * len(samples)

        def exactly(ticks):
            # Every pixel a ball shows on top, in slot order, away from the two text sprites
            # (which lie over the balls and whose text changes).
            top = {}
            for x, y in layout(ticks):
                for px, py, c in opaque:
                    top[(x + px, y + py)] = c
            return all(pixel(x, y) == c for (x, y), c in top.items()
                       if 0 <= x < 512 and 0 <= y < 384 and
                       not (128 <= x < 384 and 128 <= y < 144) and
                       not (224 <= x < 288 and 320 <= y < 336))

        for ticks in range(1, 5281):
            if roughly(ticks) and exactly(ticks):
                return ticks
        self.fail("no tick count puts the balls where the screen shows them")

    # --- the tests --------------------------------------------------------------------------

    def assert_headless_frame(self, shown, seeds, through=lambda colour: colour, skip=None):
        """The window shows what the runner composes headlessly for one of the seeds (the
        calendar seconds while the program started) at the tick count the balls tell; the
        screen shows colour c as through(c). A rectangle skip (left, top, right, bottom) is
        left out."""
        # The balls repeat their swing every 5280 ticks: a fast machine may have run more.
        # Each swing runs back the way it came, so 5280 - t puts them where t does.
        first = self.ticks_from_sprites(shown, through)
        for ticks in sorted(t + 5280 * k for t in {first, 5280 - first} if t > 0
                            for k in range(4)):
            for seed in seeds:
                # A space in the name: the runner passes its arguments on to every run intact.
                png = os.path.join(self.folder, "headless %d-%d.png" % (seed, ticks))
                # The display is there for a backend that needs one even for a hidden window.
                run = subprocess.run(LAUNCHER + [BENCH, "--seed", str(seed), "--frames",
                                                  str(ticks), "--repeat", "1", "--json",
                                                  "--screenshot", png],
                                     check=True, capture_output=True, text=True,
                                     env=dict(self.x.env, ASAN_OPTIONS="detect_leaks=0",
                                              XDG_CONFIG_HOME=self.config))
                # Headless to the end: no frame went to a screen, the last one neither.
                self.assertEqual(json.loads(run.stdout)["present_path"], "headless")
                headless = read_png(png)
                if all(shown(x, y) == through(headless.pixel(x, y))
                       for y in range(384) for x in range(512)
                       if not skip or not (skip[0] <= x < skip[2] and skip[1] <= y < skip[3])):
                    return
        self.fail("the paused window differs from the headless frame of tick %d or its "
                  "mirror (+5280 k)"
                  % first)

    def test_the_result_tells_the_desktop_and_the_machine(self):
        """The runner's environment in a window and headless: the desktop and the machine as
        the system tells them (X11 natively, Windows under Wine), null where it does not."""
        results = []
        for mode in (["--window"], []):
            run = subprocess.run(LAUNCHER + [BENCH, "--frames", "100", "--repeat", "1",
                                              "--json"] + mode,
                                 check=True, capture_output=True, text=True,
                                 env=dict(self.x.env, ASAN_OPTIONS="detect_leaks=0",
                                          XDG_CONFIG_HOME=self.config))
            results.append(json.loads(run.stdout))
        window, headless = results
        for result in results:
            env = result["environment"]
            for key in ("session_type", "compositor", "compositor_version", "refresh_hz",
                        "os_release", "memory_bytes", "cpu_governor", "command_line"):
                self.assertIn(key, env)
            self.assertIn(result["capped_by_refresh"], (True, False, None))
            self.assertIsInstance(env["memory_bytes"], int)
            self.assertGreater(env["memory_bytes"], 0)
            self.assertTrue(env["refresh_hz"] is None or env["refresh_hz"] > 0)
            self.assertEqual(env["command_line"][1:5], ["--frames", "100", "--repeat", "1"])
        self.assertEqual(headless["environment"]["session_type"], "none")
        self.assertIsNone(headless["environment"]["refresh_hz"])
        self.assertIs(headless["capped_by_refresh"], False)
        env = window["environment"]
        if LAUNCHER:
            self.assertEqual(env["session_type"], "windows")
            self.assertRegex(env["os_release"], r"^Windows \d+\.\d+\.\d+$")
            # Windows tells no window manager of its own and has no governor files.
            self.assertIsNone(env["compositor"])
            self.assertIsNone(env["cpu_governor"])
        else:
            self.assertEqual(env["session_type"], "x11")
            self.assertEqual(env["compositor"], "Openbox")
            # Xvfb's mode has no timings: its refresh rate is unknown, not 60.
            self.assertIsNone(env["refresh_hz"])
            self.assertIsNone(window["capped_by_refresh"])

    def test_paused_frame_is_the_frame_composed_headlessly_from_the_same_seed(self):
        before = int(time.time())
        self.start()
        self.assertEqual(self.client[2:], (512, 384))
        # The window shows before the scene is built: pause once the ticks have begun.
        self.moving()
        shown = self.pause()
        self.assert_headless_frame(shown, range(before, int(time.time()) + 1))
        # What the scene puts where: the message and "EXIT" over everything else.
        self.assertTrue(self.shows_text(shown, 128, 128, "Wait a Minute !!"))
        self.assertTrue(self.shows_text(shown, 224, 320, "EXIT"))

    def test_a_windowed_run_finds_its_last_frame_on_the_screen(self):
        # The runner reads its window back after the last frame, before closing it: the window
        # shows that frame, every pixel in the frame's colour.
        run = subprocess.run(LAUNCHER + [BENCH, "--window", "--frames", "200", "--repeat", "1",
                                          "--json"],
                             capture_output=True, text=True, timeout=300,
                             env=dict(self.x.env, ASAN_OPTIONS="detect_leaks=0",
                                      SDL_AUDIODRIVER="dummy", XDG_CONFIG_HOME=self.config))
        self.assertEqual(run.returncode, 0, run.stderr)
        result = json.loads(run.stdout)
        self.assertEqual(result["screen_check"], {"result": "match", "pixels": 512 * 384})
        self.assertEqual(result["runs"][0]["screen_check"]["result"], "match")
        self.assertTrue(result["rate_valid"])
        self.assertEqual(result["frames"], 200)
        self.assertEqual(result["frames_not_presented"], 0)
        self.assertNotEqual(result["present_path"], "headless")

    def test_rate_appears_after_three_seconds_of_running(self):
        self.start()
        self.moving()
        shown = self.pause()
        self.assertTrue(self.shows_text(shown, 128, 128, "Wait a Minute !!"))
        self.x.key("P")
        self.moving()
        deadline = time.monotonic() + 3.5
        wait_until(lambda: time.monotonic() > deadline, 10, "3.5 s of running")
        shown = self.pause()
        self.assertFalse(self.shows_text(shown, 128, 128, "Wait a Minute !!"))
        text = self.read_message(shown)
        rate = int(text[:text.index("f")])
        self.assertGreater(rate, 0)
        # At least four characters, right-aligned, then the unit; the sprite holds sixteen.
        self.assertEqual(text, ("%4dframes/10sec" % rate)[:16])

    def read_message(self, pixel):
        """The sixteen characters the message sprite shows: in each cell, the character with
        the most pixels of which all show (a space has none)."""
        text = ""
        for i in range(16):
            matches = [c for c in "0123456789frames/10sc Wait!" if
                       self.shows_text(pixel, 128 + 16 * i, 128, c)]
            text += max(matches, key=lambda c: len(self.data.text_mask(c)))
        return text

    def test_p_pauses_and_shift_p_resumes(self):
        self.start()
        self.moving()
        for pause, resume in (("p", "shift+p"), ("shift+p", "p")):
            shown = self.pause() if pause == "p" else (self.x.key(pause) or self.still_frame())
            ticks = self.ticks_from_sprites(shown)
            # Still after a second: no tick runs while paused.
            started = time.monotonic()
            wait_until(lambda: time.monotonic() - started > 1, 10, "a second paused")
            self.assertEqual(self.ticks_from_sprites(self.still_frame()), ticks)
            self.x.key(resume)
            self.moving()

    def test_pointer_is_confined_while_running_and_focus_loss_or_minimising_pause(self):
        self.start()
        self.moving()
        cx, cy, w, h = self.client
        # Confined once the window has the focus: from then on no move leaves the client area.
        self.x.wait_confined((cx, cy, w, h))
        for target in ((1000, 760), (0, 0)):
            self.x.move_pointer(*target)
            px, py = self.x.pointer()
            self.assertTrue(cx <= px <= cx + w and cy <= py <= cy + h, (target, px, py))
        # Another window takes the focus: the picture stops and the pointer is free.
        self.x.start(["xlogo", "-geometry", "100x100+800+600"])
        logo = wait_until(lambda: self.x.tool("xdotool", "search", "--onlyvisible", "--class",
                                              "xlogo", check=False).split(), 10, "xlogo")
        self.x.activate(int(logo[-1]))
        self.still_frame()
        wait_until(lambda: self.x.move_pointer(1000, 760) or self.x.pointer() == (1000, 760),
                   10, "the pointer to leave the window")
        # Back in front, it stays paused until P; then minimising pauses it again.
        for leave in (None, self.x.minimise):
            if leave:
                leave(self.window)
            self.x.activate(self.window)
            shown = self.still_frame()
            self.assertEqual(self.ticks_from_sprites(self.still_frame()),
                             self.ticks_from_sprites(shown))
            self.x.key("p")
            self.moving()

    def test_exit_turns_yellow_under_the_pointer_and_a_click_ends_the_program(self):
        self.start()
        cx, cy, _, _ = self.client
        self.x.move_pointer(cx + 250, cy + 328)
        exit_white = [(224 + px, 320 + py) for px, py, i in self.data.text_mask("EXIT")
                      if i == 235]
        self.assertTrue(exit_white)
        wait_until(lambda: (lambda p: all(p(x, y) == YELLOW for x, y in exit_white))(
            self.client_shot()), 20, "\"EXIT\" in yellow")
        # Moved away from where it opened, so that the saved position is not the first one.
        self.x.tool("xdotool", "windowmove", "--sync", str(self.window), "200", "150")
        outer = wait_until(lambda: (lambda o: o if o[0] >= 150 else None)(
            self.x.outer_origin(self.window)), 10, "the window moved")
        self.client = self.x.client_geometry(self.window)
        cx, cy, _, _ = self.client
        self.x.move_pointer(cx + 250, cy + 328)
        wait_until(lambda: (lambda p: all(p(x, y) == YELLOW for x, y in exit_white))(
            self.client_shot()), 20, "\"EXIT\" in yellow again")
        self.x.click(1)
        self.assertEqual(self.app.wait(30), 0)
        # The rate is not lost with the window: the shown text and the exact rate.
        with open(self.output) as f:
            said = f.read()
        found = re.search(r'torvex32: the window showed "(.{16})"; exact rate ([0-9.]+) '
                          r'frames/10s \(([0-9]+) frames in ([0-9.]+) s of running time\)', said)
        self.assertTrue(found, said)
        frames, seconds = int(found.group(3)), float(found.group(4))
        self.assertGreater(frames, 0)
        self.assertAlmostEqual(float(found.group(2)), frames * 10 / seconds,
                               delta=0.06 + frames * 10 / seconds * 0.001 / seconds)
        with open(PROFILE or os.path.join(self.config, "torvex32", "TORVEX32.INI")) as f:
            text = f.read()
        saved = [int(v) for v in re.findall(r"^(?:Left|Top)=(-?\d+)$", text, re.M)]
        self.assertEqual(len(saved), 2, text)
        if LAUNCHER:
            # Wine keeps its own idea of the frame, a few pixels off the window manager's.
            self.assertLessEqual(abs(saved[0] - outer[0]), 4, text)
            self.assertLessEqual(abs(saved[1] - outer[1]), 4, text)
        else:
            self.assertEqual(tuple(saved), outer)
        # The next start opens where this one closed.
        self.start()
        self.assertEqual(self.x.outer_origin(self.window), outer)
        if os.environ.get("README_SCREENSHOT"):
            self.x.move_pointer(cx + 5, cy + 5)
            deadline = time.monotonic() + 4
            wait_until(lambda: time.monotonic() > deadline, 10, "the rate on screen")
            x0, y0, x1, y1 = self.x.outer_rect(self.window)
            subprocess.run(["import", "-window", "root", "-crop",
                            "%dx%d+%d+%d" % (x1 - x0, y1 - y0, x0, y0),
                            "+repage", os.environ["README_SCREENSHOT"]], env=self.x.env,
                           check=True)

    def test_a_saved_position_on_no_screen_opens_the_window_fully_visible(self):
        path = PROFILE or os.path.join(self.config, "torvex32", "TORVEX32.INI")
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as f:
            f.write("[Setup]\nLeft=-32000\nTop=-32000\n")
        self.start()
        x0, y0, x1, y1 = self.x.outer_rect(self.window)
        self.assertTrue(x0 >= 0 and y0 >= 0 and x1 <= 1024 and y1 <= 768, (x0, y0, x1, y1))

    def leave_through_exit(self):
        """Points at "EXIT", waits until it turns yellow, clicks it and sees the program end well."""
        cx, cy, _, _ = self.client
        self.x.move_pointer(cx + 250, cy + 328)
        exit_white = [(224 + px, 320 + py) for px, py, i in self.data.text_mask("EXIT")
                      if i == 235]
        wait_until(lambda: (lambda p: all(p(x, y) == YELLOW for x, y in exit_white))(
            self.client_shot()), 20, "\"EXIT\" in yellow")
        self.x.click(1)
        self.assertEqual(self.app.wait(30), 0)

    def start_with_data(self, **replace):
        """Starts a copy of the program beside copies of its data files; replace maps a data
        file's name to its new content, or to None for a missing file."""
        folder = os.path.join(self.folder, "program")
        os.makedirs(folder)
        source = os.path.dirname(PROGRAM)
        program = os.path.basename(PROGRAM)
        for name in (program, "TORVEX32.ZGL", "TORVEX32.ZOR", "TORVEX.MID", "TORVEX.WAV"):
            if name not in replace:
                shutil.copy(os.path.join(source, name), folder)
            elif replace[name] is not None:
                with open(os.path.join(folder, name), "wb") as f:
                    f.write(replace[name])
        return self.start(os.path.join(folder, program), wait=False), folder

    def error_box(self, text):
        """The "ERROR" box once it shows, and its client geometry."""
        box = wait_until(lambda: self.x.window_in_tree("ERROR"), 30, "the \"ERROR\" box")
        wait_until(lambda: "ERROR: " + text in self.program_output(), 20, "the box's text")
        return box, self.x.placed_geometry(box)

    def program_output(self):
        with open(self.output) as f:
            return f.read()

    def test_the_ok_of_the_missing_font_box_is_clicked_with_the_pointer(self):
        app, folder = self.start_with_data(**{"TORVEX32.ZGL": None})
        box, (bx, by, bw, bh) = self.error_box("Couldn't Open 'TORVEX32.ZGL' !")
        self.assertNotIn("TORVEX32.ZOR", self.program_output())
        self.assertIn("cannot load %s/TORVEX32.ZGL" % folder, self.program_output())
        # The box took the focus, so the window paused and let the pointer go: it reaches the
        # right half of OK, which lies outside the window, and the click closes the box.
        window = self.x.find_window(TITLE)
        wx, wy, ww, wh = self.x.client_geometry(window)
        target = (bx + bw // 2 + 25, by + bh - 28)
        self.assertGreater(target[0], wx + ww)
        self.x.move_pointer(*target)
        wait_until(lambda: self.x.pointer() == target, 10, "the pointer over OK")
        self.x.click(1)
        # A failure, as the box said.
        self.assertEqual(app.wait(30), 1)

    def test_a_bad_sprite_file_shows_its_box_and_the_program_fails(self):
        app, _ = self.start_with_data(**{"TORVEX32.ZOR": b"ZOR0"})
        box, _ = self.error_box("Couldn't Open 'TORVEX32.ZOR' !")
        self.x.tool("xdotool", "windowactivate", "--sync", str(box), check=False)
        if LAUNCHER:
            # The system's box: one OK button, centred at its foot. Clicked, as a user would.
            x, y, width, height = self.x.client_geometry(box)
            self.x.move_pointer(x + width // 2, y + height - 22)
            self.x.click(1)
        else:
            self.x.key("Return")
        self.assertEqual(app.wait(30), 1)

    @unittest.skipIf(LAUNCHER, "records through SDL's disk audio driver")
    def test_the_tune_and_the_effect_are_heard(self):
        raw = os.path.join(self.folder, "sound.raw")
        self.start(SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=raw)
        # Let the border balls turn a few times, then leave through "EXIT".
        deadline = time.monotonic() + 2.5
        wait_until(lambda: time.monotonic() > deadline, 10, "some playing")
        self.leave_through_exit()
        with open(raw, "rb") as f:
            samples = f.read()
        self.assertGreater(len(samples), 44100 * 4)  # more than a quarter second, 16-bit stereo
        values = struct.unpack("<%dh" % (len(samples) // 2), samples[:len(samples) // 2 * 2])
        loud = sum(1 for v in values if abs(v) > 200)
        self.assertGreater(loud, len(values) // 20, "the recorded sound is nearly silent")


    def temporary_effects(self):
        """The expanded effects ("QVW" files) in Wine's temporary folders."""
        prefix = os.environ.get("WINEPREFIX", os.path.expanduser("~/.wine"))
        folders = (glob.glob(os.path.join(prefix, "drive_c/users/*/Temp")) +
                   glob.glob(os.path.join(prefix, "drive_c/users/*/AppData/Local/Temp")) +
                   [os.path.join(prefix, "drive_c/windows/temp")])
        return [name for folder in folders if os.path.isdir(folder)
                for name in os.listdir(folder) if name.upper().startswith("QVW")]

    @unittest.skipUnless(LAUNCHER, "Wine's wave device records through an ALSA file device")
    def test_the_effect_is_recorded_and_its_temporary_file_removed(self):
        # Wine's one wave device writes what it plays to a file (the tune has no device: there
        # is no MIDI output under Wine here).
        recording = os.path.join(self.folder, "effect.raw")
        config = os.path.join(self.folder, "alsa.conf")
        with open("/usr/share/alsa/alsa.conf") as f:
            system = f.read()
        with open(config, "w") as f:
            f.write(system + '\npcm.!default { type file; slave.pcm "null"; file "%s"; '
                    'format "raw" }\n' % recording)
        # Runs that were ended by a signal may have left theirs.
        before = set(self.temporary_effects())
        self.start(ALSA_CONFIG_PATH=config)
        # The border balls turn within three seconds; each turn plays the effect.
        wait_until(lambda: os.path.exists(recording) and os.path.getsize(recording) > 8000,
                   20, "the effect in the recording")
        # The expanded effect lives in a temporary file while the program runs.
        self.assertEqual(len(set(self.temporary_effects()) - before), 1)
        self.leave_through_exit()
        with open(recording, "rb") as f:
            samples = f.read()
        loud = sum(1 for b in samples[1::2] if b not in (0, 0xFF, 0x80, 0x7F))
        self.assertGreater(loud, len(samples) // 200, "the recording is nearly silent")
        self.assertEqual(set(self.temporary_effects()) - before, set())


if __name__ == "__main__":
    unittest.main()
