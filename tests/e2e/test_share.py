"""test_share.py — torvex32-bench's results in the forms users share them, end to end: runs until
stable, the per-frame log against the result, x11perfcomp reading our lines beside x11perf's,
the desktop and the machine in the environment (headless, and in a window under Xvfb and
openbox), and the test suite's profile against the runner's real output.

Programs: TORVEX32_BENCH; TORVEX_SUITE_PROFILE is the build's profile folder.
Run one test: python3 tests/e2e/test_share.py ShareTest.test_x (with those set).
"""
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.dirname(HERE))
from harness import XSession, wait_until  # noqa: E402
import suite_profile_check  # noqa: E402

BENCH = os.environ.get("TORVEX32_BENCH", "")
PROFILE = os.environ.get("TORVEX_SUITE_PROFILE", "")
LABEL = "torvex32 frame 512x384 (scroll, 14 sprites, present)"


def cv(rates):
    return statistics.stdev(rates) / statistics.mean(rates)


class ShareTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="torvex32-share-")
        self.env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}

    def tearDown(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def bench(self, *args, env=None):
        """Runs the runner; returns its standard output (it must succeed)."""
        done = subprocess.run([BENCH] + list(args), capture_output=True, text=True, timeout=240,
                              env=env or self.env)
        self.assertEqual(done.returncode, 0, done.stderr)
        return done.stdout

    def test_until_stable_stops_at_the_first_stable_runs_or_at_the_bound(self):
        result = json.loads(self.bench("--frames", "100", "--seed", "7", "--until-stable", "50",
                                       "--json"))
        rates = [run["rate_per_10s"] for run in result["runs"]]
        # Stopped at the first count of three runs or more whose cv is within 50%.
        first = next((n for n in range(3, len(rates) + 1) if cv(rates[:n]) <= 0.5), None)
        self.assertEqual(len(rates), first or 10, rates)
        self.assertEqual(result["until_stable"],
                         {"target_cv": 0.5, "runs": len(rates), "met": first is not None})
        if cv(rates[:3]) <= 0.5:
            self.assertEqual(len(rates), 3)
        # A target no runs reach: all of --repeat, and the line says it was not met.
        line = self.bench("--frames", "100", "--until-stable", "0.0001", "--repeat", "5")
        self.assertRegex(line, r"\(median of 5 runs, cv [0-9.]+%\), "
                               r"cv target 0.0001% not met after 5 runs\n$")

    def test_the_frame_log_holds_every_timed_frame_of_the_last_run(self):
        log = os.path.join(self.folder, "frames.csv")
        result = json.loads(self.bench("--frames", "600", "--repeat", "1", "--frame-log", log,
                                       "--json"))
        with open(log) as f:
            header, *lines = f.read().splitlines()
        self.assertEqual(header, "start_ns,frame_ns,viewport_ns,sprites_ns,present_ns")
        rows = [[int(v) for v in line.split(",")] for line in lines]
        self.assertEqual(len(rows), result["frames_timed"])
        self.assertEqual(result["frame_log"], {"file": log, "frames": len(rows),
                                               "frames_timed": len(rows), "limit": 1000000})
        # Consecutive frames: each frame time is the step between two starts.
        for before, row in zip(rows, rows[1:]):
            self.assertEqual(row[1], row[0] - before[0])
        self.assertTrue(all(v >= 0 for row in rows for v in row[2:]))
        # The median of the log within the histogram's bucket (1.6%) of the result's.
        frames = sorted(row[1] for row in rows)
        median = frames[(len(frames) + 1) // 2 - 1]
        self.assertLessEqual(abs(median - result["frame_ns_p50"]), 0.016 * median)

    def test_x11perfcomp_puts_our_runs_beside_x11perfs(self):
        files, rates = [], []
        for i in range(2):
            path = os.path.join(self.folder, "ours%d.txt" % i)
            json_path = os.path.join(self.folder, "ours%d.json" % i)
            text = self.bench("--frames", "300", "--repeat", "1", "--format", "x11perf",
                              "--output", json_path)
            with open(path, "w") as f:
                f.write(text)
            with open(json_path) as f:
                run = json.load(f)["runs"][0]
            files.append(path)
            rates.append("%.1f" % (run["frames"] * 1000 / run["elapsed_ms"]))
        with XSession() as x:
            theirs = os.path.join(self.folder, "x11perf.txt")
            with open(theirs, "w") as f:
                subprocess.run(["x11perf", "-repeat", "2", "-time", "1", "-shmput10"], stdout=f,
                               env=x.env, check=True, timeout=120)
        table = subprocess.run(["x11perfcomp", theirs] + files, capture_output=True, text=True,
                               check=True).stdout
        ours = [line for line in table.splitlines() if line.endswith(LABEL)]
        self.assertEqual(len(ours), 1, table)
        # x11perf's own result has no figure in our row, ours both of theirs.
        self.assertEqual(ours[0].split()[:3], ["0.0"] + rates, table)
        self.assertTrue(any("ShmPutImage 10x10" in line for line in table.splitlines()), table)

    def test_the_environment_tells_the_desktop_in_a_window_and_headless(self):
        with XSession() as x:
            # Xvfb's own mode has no timings: a mode with them gives the output a refresh rate.
            x.tool("xrandr", "--newmode", "torvex60", "63.50", "1024", "1072", "1176", "1328",
                   "768", "771", "775", "798", "-hsync", "+vsync")
            x.tool("xrandr", "--addmode", "screen", "torvex60")
            x.tool("xrandr", "--output", "screen", "--mode", "torvex60")
            window = json.loads(self.bench("--window", "--frames", "200", "--repeat", "1",
                                           "--json", env=x.env))
            version = x.tool("xprop", "-root", "_OB_VERSION").split("=")[1].strip().strip('"')
        env = window["environment"]
        self.assertEqual(env["session_type"], "x11")
        self.assertEqual(env["compositor"], "Openbox")
        self.assertEqual(env["compositor_version"], version)
        self.assertEqual(env["refresh_hz"], round(63.5e6 / (1328 * 798), 3))
        self.assertIn(window["capped_by_refresh"], (True, False))
        headless = json.loads(self.bench("--frames", "200", "--repeat", "1", "--json"))
        self.assertEqual(headless["capped_by_refresh"], False)
        env = headless["environment"]
        self.assertEqual(env["session_type"], "none")
        for key in ("compositor", "compositor_version", "refresh_hz"):
            self.assertIsNone(env[key], key)
        # The machine, as the system tells it, in both.
        for result in (window, headless):
            env = result["environment"]
            with open("/etc/os-release") as f:
                pretty = [line.split("=", 1)[1].strip().strip('"') for line in f
                          if line.startswith("PRETTY_NAME=")]
            self.assertEqual(env["os_release"], pretty[0])
            with open("/proc/meminfo") as f:
                total = int(f.readline().split()[1]) * 1024
            self.assertEqual(env["memory_bytes"], total)
            governor = "/sys/devices/system/cpu/cpu0/cpufreq/scaling_governor"
            if not os.path.exists(governor):
                self.assertIsNone(env["cpu_governor"])
            self.assertEqual(env["command_line"][0], BENCH)
            self.assertEqual(env["command_line"][-2:], ["1", "--json"])

    @unittest.skipUnless(os.getuid() == 0 and shutil.which("sway") and shutil.which("setpriv"),
                         "sway runs headless as nobody, started by root")
    def test_the_environment_tells_a_wayland_session(self):
        runtime = os.path.join(self.folder, "runtime")
        os.mkdir(runtime, 0o700)
        os.chown(runtime, 65534, 65534)
        os.chmod(self.folder, 0o755)
        config = os.path.join(self.folder, "sway.conf")
        with open(config, "w") as f:
            f.write("output HEADLESS-1 resolution 1280x1024\nxwayland disable\n"
                    "for_window [app_id=\".*\"] floating enable\n")
        os.chmod(config, 0o644)
        env = dict(self.env, XDG_RUNTIME_DIR=runtime, WLR_BACKENDS="headless",
                   WLR_LIBINPUT_NO_DEVICES="1", WLR_RENDERER="pixman")
        sway = subprocess.Popen(["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                                 "sway", "-c", config], env=env, cwd=self.folder,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            wait_until(lambda: os.path.exists(os.path.join(runtime, "wayland-1")), 20,
                       "sway's socket")
            result = json.loads(self.bench("--video", "wayland", "--frames", "200", "--repeat",
                                           "1", "--json",
                                           env=dict(self.env, XDG_RUNTIME_DIR=runtime,
                                                    WAYLAND_DISPLAY="wayland-1")))
        finally:
            sway.terminate()
            try:
                sway.wait(timeout=20)
            except subprocess.TimeoutExpired:
                sway.kill()
                sway.wait()
        env = result["environment"]
        self.assertEqual(env["session_type"], "wayland")
        # The compositor and its refresh rate come from the Wayland backend where it learns
        # them; until then they are unknown, never guessed.
        for key in ("compositor", "compositor_version", "refresh_hz"):
            self.assertIn(key, env)
        self.assertTrue(env["refresh_hz"] is None or env["refresh_hz"] > 0)
        self.assertIn(result["capped_by_refresh"], (True, False, None))

    def test_the_suite_profile_reads_what_the_runner_prints(self):
        results = suite_profile_check.check(PROFILE, ["--frames", "300"], log=lambda _: None)
        self.assertEqual([r["environment"]["session_type"] for r in results], ["none"])
        with XSession() as x:
            os.environ["DISPLAY"] = x.env["DISPLAY"]
            try:
                results = suite_profile_check.check(PROFILE, ["--frames", "200"],
                                                    log=lambda _: None)
            finally:
                del os.environ["DISPLAY"]
        self.assertEqual([r["present_path"] for r in results], ["headless", "x11-shm"])

    def test_install_suite_profile_copies_it_where_the_suite_looks(self):
        user = os.path.join(self.folder, "suite") + "/"
        os.mkdir(user)
        out = self.bench("--install-suite-profile", env=dict(self.env, PTS_USER_PATH_OVERRIDE=user))
        target = os.path.join(user, "test-profiles", "local", "torvex32")
        self.assertIn(target, out)
        for name in ("test-definition.xml", "results-definition.xml", "install.sh"):
            with open(os.path.join(PROFILE, name), "rb") as a, \
                    open(os.path.join(target, name), "rb") as b:
                self.assertEqual(a.read(), b.read(), name)
        # Without the override, an ordinary user's profiles are in the home folder.
        if os.getuid() == 0 and shutil.which("setpriv"):
            home = os.path.join(self.folder, "home")
            os.mkdir(home)
            os.chown(home, 65534, 65534)
            os.chmod(self.folder, 0o755)
            subprocess.run(["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", BENCH,
                            "--install-suite-profile"], env=dict(self.env, HOME=home), check=True,
                           capture_output=True)
            self.assertTrue(os.path.isfile(os.path.join(
                home, ".phoronix-test-suite", "test-profiles", "local", "torvex32", "install.sh")))
        # No profile beside the program and none in its data folder: said plainly.
        lone = os.path.join(self.folder, "lone")
        os.mkdir(lone)
        shutil.copy(BENCH, lone)
        done = subprocess.run([os.path.join(lone, os.path.basename(BENCH)),
                               "--install-suite-profile"], capture_output=True, text=True,
                              env=dict(self.env, PTS_USER_PATH_OVERRIDE=user))
        self.assertEqual(done.returncode, 1)
        self.assertIn("no test suite profile comes with this program", done.stderr)


if __name__ == "__main__":
    unittest.main()
