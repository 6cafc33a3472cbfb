"""test_frame.py — the application frame end to end: the test application (testapp.cpp) in a
real window under Xvfb and openbox, driven by xdotool. The program is named by TESTAPP.

Run one test: TESTAPP=build/tests/frame_testapp python3 tests/e2e/test_frame.py FrameTest.test_x
"""
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import LogFile, XSession, wait_until  # noqa: E402

TITLE = "torvex32 frame test"  # the test application's AppName


class FrameTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="torvex-e2e-")
        self.addCleanup(shutil.rmtree, self.folder, ignore_errors=True)
        # A palettised display (depth 8) for the tests that say so.
        self.x = XSession(depth=8 if "palettised" in self._testMethodName else None)
        self.log = LogFile(os.path.join(self.folder, "log.txt"))
        self.dump = os.path.join(self.folder, "frame.bin")
        self.app = None

    def tearDown(self):
        self.x.stop()

    def start_app(self, prefix=(), **env):
        settings = {"XDG_CONFIG_HOME": os.path.join(self.folder, "config"),
                    "TESTAPP_LOG": self.log.path, "TESTAPP_DUMP": self.dump,
                    "SDL_AUDIODRIVER": "dummy", "ASAN_OPTIONS": "detect_leaks=0"}
        settings.update(env)
        self.app = self.x.start(list(prefix) + [os.environ["TESTAPP"]], settings,
                                os.path.join(self.folder, "app.out"))
        self.window = self.x.find_window(TITLE)
        self.log.wait_for("^OnStart$")
        self.x.placed_geometry(self.window, (512, 384))
        return self.window

    def hooks_after(self, index, names=("OnPause", "OnResume")):
        """The pause and resume lines of the log from index on, names only."""
        return [line.split()[0] for line in self.log.lines()[index:]
                if line.split()[0] in names]

    def client_centre(self):
        x, y, w, h = self.x.client_geometry(self.window)
        return x + w // 2, y + h // 2

    def test_client_area_is_512_by_384_and_the_title_is_the_app_name(self):
        self.start_app()
        _, _, width, height = self.x.client_geometry(self.window)
        self.assertEqual((width, height), (512, 384))
        self.assertEqual(self.x.title(self.window), TITLE)
        self.assertEqual(self.log.lines()[:3][1:], ["OnResume ticks=0", "OnStart"])

    def test_screen_shows_the_frame_buffer_through_the_colour_table_at_every_shift(self):
        self.check_every_shift("x11-shm")

    def test_the_same_holds_through_sdls_window_surface(self):
        self.check_every_shift("sdl-surface", TORVEX_PRESENT="sdl")

    def test_a_server_that_cannot_attach_our_memory_gets_sdls_surface_instead(self):
        # In an IPC namespace of its own the program's shared memory is not the server's, as
        # for a server on another machine: attaching it fails and SDL's surface takes over.
        if subprocess.run(["unshare", "--ipc", "true"], capture_output=True).returncode != 0:
            self.skipTest("cannot make an IPC namespace here (needs root)")
        self.check_every_shift("sdl-surface", prefix=["unshare", "--ipc"])

    def test_a_palettised_display_shows_the_indices_through_the_windows_colormap(self):
        # Through shared memory, then through SDL's window surface: the colours are those the
        # palette was realised with, read through the window's own colormap.
        self.check_every_shift("x11-shm-indexed")
        self.x.close(self.window)
        self.assertEqual(self.app.wait(20), 0)
        os.remove(self.log.path)
        self.check_every_shift("sdl-surface", TORVEX_PRESENT="sdl")

    def check_every_shift(self, path, prefix=(), **env):
        self.start_app(prefix, **env)
        self.assertEqual(self.log.wait_for(r"^path (\S+)")[1].group(1), path)
        cx, cy = self.client_centre()
        shifts = []
        for phase in range(5):
            if phase > 0:
                self.show_next(phase, cx, cy)
            shift, colours, frame = self.read_dump()
            shifts.append(shift)
            self.assertTrue(self.matches_screen(shift, colours, frame),
                            "screen differs from the frame buffer at shift %d" % shift)
        self.assertEqual(shifts, [0, 1, 2, 3, 0])
        self.assertEqual([line for line in self.log.lines() if line.startswith("path ")],
                         ["path " + path] * 5)

    def show_next(self, phase, cx, cy, burst=1):
        """A right click shows the next pattern (or burst of them) and dumps the last; clicks
        100 pixels apart are never taken for a double click."""
        self.x.move_pointer(cx - 100 + 200 * (phase % 2), cy)
        self.log.wait_for(r"^OnMouseMove %d " % (256 - 100 + 200 * (phase % 2)))
        self.x.click(3)
        self.log.wait_for(r"shown %d$" % (phase * burst))

    def test_after_bursts_of_frames_the_window_shows_the_last_one_pixel_for_pixel(self):
        # Each burst writes every shared image again, most of them while the server may still
        # hold others; no tick presents in between, so a stale image would stay on screen.
        burst = 21
        self.start_app(TESTAPP_BURST=str(burst), TESTAPP_TICK="100000000")
        cx, cy = self.client_centre()
        for phase in range(1, 4):
            self.show_next(phase, cx, cy, burst)
            shift, colours, frame = self.read_dump()
            self.assertTrue(self.matches_screen(shift, colours, frame),
                            "burst %d: the screen is not its last frame" % phase)

    def test_alternating_solid_frames_are_never_shown_torn(self):
        self.start_app(TESTAPP_SOLID="1", TESTAPP_TICK="0")
        self.log.wait_for(r"^ticks 1000 ", 30)
        colours = self.read_dump()[1]
        solid = {bytes(colours[index]) * 512: index for index in (56, 21)}
        for _ in range(12):
            shot = self.x.screenshot()
            cx, cy, _, _ = self.x.client_geometry(self.window)
            rows = {shot.rgb[((cy + y) * shot.width + cx) * 3:][:512 * 3] for y in range(384)}
            self.assertEqual(len(rows), 1, "a frame shown torn: rows of %d kinds" % len(rows))
            self.assertIn(rows.pop(), solid, "a frame of another colour")

    def test_no_frame_is_written_while_the_server_holds_every_image(self):
        # A stopped X server finishes no frame: the program may fill the images it has, then
        # must wait for the server rather than write into an image the server has yet to read.
        self.start_app(TESTAPP_SOLID="1", TESTAPP_TICK="0", TESTAPP_LOG_EVERY="1")
        self.log.wait_for(r"^ticks 300 ", 30)

        def last_tick():
            ticks = [int(line.split()[1]) for line in self.log.lines()[-50:]
                     if line.startswith("ticks ")]
            return ticks[-1]

        before = last_tick()
        self.x.server.send_signal(signal.SIGSTOP)
        self.addCleanup(self.x.server.send_signal, signal.SIGCONT)
        # Settled: the program's CPU time stands still over a quarter of a second.
        readings = []

        def settled():
            with open("/proc/%d/stat" % self.app.pid) as f:
                fields = f.read().rsplit(")", 1)[1].split()
            readings.append(int(fields[11]) + int(fields[12]))
            return len(readings) > 5 and readings[-1] == readings[-6]

        wait_until(settled, 20, "the program to wait for the stopped server", interval=0.05)
        stopped_at = last_tick()
        self.assertLessEqual(stopped_at - before, 40, "frames went on while the server held "
                             "every image")
        self.x.server.send_signal(signal.SIGCONT)
        self.log.wait_for(r"^ticks %d " % (stopped_at + 100), 30)

    def read_dump(self):
        with open(self.dump, "rb") as f:
            data = f.read()
        shift = struct.unpack("<i", data[:4])[0]
        colours = [tuple(data[4 + 4 * i:7 + 4 * i]) for i in range(256)]
        return shift, colours, data[4 + 1024:]

    def matches_screen(self, shift, colours, frame):
        def compare():
            if self.x.depth == 8:
                # Through the window's colormap, as the screen shows it while it has the focus.
                shot, cx, cy = self.x.window_shot(self.window), 0, 0
            else:
                shot = self.x.screenshot()
                cx, cy, _, _ = self.x.client_geometry(self.window)
            for y in range(384):
                row = (383 - y) * 516 + shift
                at = ((cy + y) * shot.width + cx) * 3
                line = shot.rgb[at:at + 512 * 3]
                expect = b"".join(bytes(colours[frame[row + x]]) for x in range(512))
                if line != expect:
                    return False
            return True

        return wait_until(compare, 10, "the screen to show the frame buffer")

    def test_p_pauses_and_shift_p_resumes_without_ticks_between(self):
        self.start_app()
        self.x.key("p")
        index, paused = self.log.wait_for(r"^OnPause ticks=(\d+)")
        self.x.key("shift+p")
        _, resumed = self.log.wait_for(r"^OnResume ticks=(\d+)", after=index)
        self.assertEqual(paused.group(1), resumed.group(1))  # no tick while paused
        self.x.key("P")
        self.log.wait_for(r"^OnPause", after=index + 1)

    def test_focus_loss_pauses_and_coming_back_stays_paused_until_p(self):
        self.start_app()
        start = len(self.log.lines())
        self.x.start(["xlogo", "-geometry", "100x100+800+600"])
        logo = wait_until(lambda: self.x.tool("xdotool", "search", "--onlyvisible", "--class",
                                              "xlogo", check=False).split(), 10, "xlogo")
        self.x.activate(int(logo[-1]))
        self.log.wait_for(r"^OnPause", after=start)
        self.x.activate(self.window)
        self.x.key("p")  # handled after the focus came back
        self.log.wait_for(r"^OnResume", after=start)
        self.assertEqual(self.hooks_after(start), ["OnPause", "OnResume"])

    def test_minimise_pauses_and_restore_stays_paused_until_p(self):
        self.start_app()
        start = len(self.log.lines())
        self.x.minimise(self.window)
        self.log.wait_for(r"^OnPause", after=start)
        self.x.activate(self.window)
        wait_until(lambda: "IsViewable" in self.x.tool("xwininfo", "-id", str(self.window)),
                   10, "the window shown again")
        self.x.key("p")
        self.log.wait_for(r"^OnResume", after=start)
        self.assertEqual(self.hooks_after(start), ["OnPause", "OnResume"])

    def test_a_message_box_takes_the_focus_and_gives_it_back_paused(self):
        self.start_app()
        self.x.move_pointer(*self.client_centre())
        start, _ = self.log.wait_for(r"^OnMouseMove")
        self.x.click(1)
        box = self.x.find_window("Test box")
        self.log.wait_for(r"^OnPause", after=start)  # sent before the box appeared
        self.x.activate(box)
        self.x.key("Return")
        self.log.wait_for(r"^box returned 1$", after=start)
        self.x.activate(self.window)
        self.x.key("p")
        self.log.wait_for(r"^OnResume", after=start)
        self.assertEqual(self.hooks_after(start, ("OnLeftDown", "OnPause", "box", "OnResume")),
                         ["OnLeftDown", "OnPause", "box", "OnResume"])

    def test_a_box_without_owner_takes_the_focus_so_the_pointer_can_click_its_ok(self):
        self.start_app(TESTAPP_BOX_OWNERLESS="1")
        cx, cy, w, h = self.x.client_geometry(self.window)
        self.x.move_pointer(cx + 100, cy + 100)
        start, _ = self.log.wait_for(r"^OnMouseMove 100 100 ")
        self.x.wait_confined((cx, cy, w, h))
        self.x.click(1)
        box = self.x.find_window("Test box")
        self.log.wait_for(r"^OnPause", after=start)
        # The right half of OK lies outside the window: the freed pointer gets there and the
        # click reaches the button.
        bx, by, bw, bh = self.x.placed_geometry(box)
        target = (bx + bw // 2 + 25, by + bh - 28)
        self.assertFalse(cx <= target[0] < cx + w and cy <= target[1] < cy + h, target)
        self.x.move_pointer(*target)
        wait_until(lambda: self.x.pointer() == target, 10, "the pointer over OK")
        self.x.click(1)
        self.log.wait_for(r"^box returned 1$", after=start)

    def test_pointer_stays_in_the_client_area_while_running_and_leaves_when_paused(self):
        self.start_app()
        cx, cy, w, h = self.x.client_geometry(self.window)
        self.x.move_pointer(cx + 100, cy + 100)
        self.log.wait_for(r"^OnMouseMove 100 100 ")
        # Confined once the window has the focus: from then on no move leaves the client area.
        self.x.wait_confined((cx, cy, w, h))
        for target in ((1000, 760), (0, 0), (cx + 600, cy + 50)):
            self.x.move_pointer(*target)
            px, py = self.x.pointer()
            self.assertTrue(cx <= px < cx + w and cy <= py < cy + h, (target, px, py))
        self.x.key("p")
        self.log.wait_for(r"^OnPause")
        wait_until(lambda: self.x.move_pointer(1000, 760) or self.x.pointer() == (1000, 760),
                   10, "the pointer to leave the window")
        # Resuming brings the pointer back into the client area before confining it.
        self.x.key("P")
        self.log.wait_for(r"^OnResume ticks=[1-9]")
        px, py = wait_until(lambda: (lambda p: p if p[0] < cx + w else None)(self.x.pointer()),
                            10, "the pointer back in the window")
        self.assertTrue(cx <= px <= cx + w and cy <= py <= cy + h, (px, py))

    def test_closing_writes_the_profile_and_the_next_start_opens_there(self):
        self.start_app()
        self.x.tool("xdotool", "windowmove", "--sync", str(self.window), "150", "90")
        target = wait_until(lambda: (lambda o: o if o != (0, 0) else None)(
            self.x.outer_origin(self.window)), 10, "the window moved")
        self.x.close(self.window)
        self.assertEqual(self.app.wait(20), 0)
        self.log.wait_for(r"^OnEnd ticks=\d+ pos=%d,%d$" % target)
        ini = os.path.join(self.folder, "config", "torvex32", "TESTAPP.INI")
        with open(ini) as f:
            self.assertEqual(f.read(), "[Setup]\nLeft=%d\nTop=%d\n" % target)
        self.start_app()
        self.assertEqual(self.x.outer_origin(self.window), target)

    def test_a_position_on_no_screen_opens_the_window_fully_visible(self):
        folder = os.path.join(self.folder, "config", "torvex32")
        os.makedirs(folder)
        with open(os.path.join(folder, "TESTAPP.INI"), "w") as f:
            f.write("; kept\n[Setup]\nLeft=-32000\nTop=-32000\n")
        self.start_app()
        x0, y0, x1, y1 = self.x.outer_rect(self.window)
        self.assertTrue(x0 >= 0 and y0 >= 0 and x1 <= 1024 and y1 <= 768, (x0, y0, x1, y1))

    def test_ticks_go_on_across_the_wrap_of_the_tick_count(self):
        self.start_app(TESTAPP_CLOCK_BASE="0xFFFFF000", TESTAPP_TICK="1", TESTAPP_NO_INI="1")
        _, before = self.log.wait_for(r"^ticks \d+ time=(\d+)")
        index, after = self.log.wait_for(r"^ticks \d+ time=([0-9]{1,6})$", timeout=20)
        self.assertGreater(int(before.group(1)), 0xFFFF0000)
        self.log.wait_for(r"^ticks \d+ time=", after=index + 1)


if __name__ == "__main__":
    unittest.main()
