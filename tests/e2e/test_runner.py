"""test_runner.py — the programs as a user runs them: --help, --version and bad options of every
program, the runner stopped by signals, its result file, the frames it counts and the screen it
reads back (under Xvfb of 24, 16 and 8 bits), torvex-compare's table and chart, and
torvex32 stopped by signals at several moments (under Xvfb and openbox) leaving nothing behind.

Programs: TORVEX32, TORVEX32_BENCH, TORVEX_COMPARE, TORVEX_ASSETS, TORVEX_MAKE_MIDI,
TORVEX_MAKE_EFFECT, TORVEX_ICON_PNG, TORVEX_WIN_RESOURCES; SOURCE_DIR is the source tree
(CMakeLists.txt, tests/data).
Run one test: python3 tests/e2e/test_runner.py RunnerTest.test_x (with those set).
"""
import glob
import json
import os
import re
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import LogFile, XSession, parse_ppm, wait_until  # noqa: E402

TITLE = "TORVEX32 version 3.0"
PROGRAM = os.environ.get("TORVEX32", "")
BENCH = os.environ.get("TORVEX32_BENCH", "")
COMPARE = os.environ.get("TORVEX_COMPARE", "")
SOURCE = os.environ.get("SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
DATA = os.path.join(SOURCE, "tests", "data")


def project_version():
    with open(os.path.join(SOURCE, "CMakeLists.txt")) as f:
        return re.search(r"project\(torvex32 VERSION ([0-9.]+)", f.read()).group(1)


def read_png(path):
    return parse_ppm(subprocess.run(["convert", path, "-depth", "8", "ppm:-"],
                                    capture_output=True, check=True).stdout)


def cpu_of_children():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def child_cpu_seconds(pid):
    """CPU seconds of the processes whose parent is pid (the runner's runs)."""
    total = 0.0
    for stat in glob.glob("/proc/[0-9]*/stat"):
        try:
            with open(stat) as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        if int(fields[1]) == pid:
            total += (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    return total


def catches(pid, sig):
    """True once the process has a handler of its own for the signal."""
    try:
        with open("/proc/%d/status" % pid) as f:
            caught = next(line for line in f if line.startswith("SigCgt:"))
    except (OSError, StopIteration):
        return False
    return int(caught.split()[1], 16) >> (sig - 1) & 1 == 1


class RunnerTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="torvex-runner-e2e-")
        self.tmp = os.path.join(self.folder, "tmp")
        self.config = os.path.join(self.folder, "config")
        os.makedirs(self.tmp)
        os.makedirs(self.config)
        self.env = dict(os.environ, TMPDIR=self.tmp, XDG_CONFIG_HOME=self.config,
                        ASAN_OPTIONS="detect_leaks=0", SDL_AUDIODRIVER="dummy")
        self.x = None

    def tearDown(self):
        if self.x is not None:
            self.x.stop()
        shutil.rmtree(self.folder, ignore_errors=True)

    def run_files(self, pattern):
        """Files of the runs: they keep their temporary files in the runner's private folder."""
        return glob.glob(os.path.join(self.tmp, "torvex32-bench-*", pattern))

    def assert_nothing_left(self):
        self.assertEqual(os.listdir(self.tmp), [], "files left in $TMPDIR")
        self.assertEqual(os.listdir(self.config), [], "a profile file was written")

    # --- every program's command line ---------------------------------------------------

    def test_every_program_answers_help_and_version_and_refuses_bad_options(self):
        programs = {
            "torvex32": PROGRAM, "torvex32-bench": BENCH, "torvex-compare": COMPARE,
            "torvex-assets": os.environ.get("TORVEX_ASSETS", ""),
            "torvex-make-midi": os.environ.get("TORVEX_MAKE_MIDI", ""),
            "torvex-make-effect": os.environ.get("TORVEX_MAKE_EFFECT", ""),
            "torvex-icon-png": os.environ.get("TORVEX_ICON_PNG", ""),
            "torvex-win-resources": os.environ.get("TORVEX_WIN_RESOURCES", ""),
        }
        version = re.compile(r"^%%s %s \(commit ([0-9a-f]{7,}(-modified)?|unknown)\)\n$"
                             % re.escape(project_version()))
        # No display at all: answering must not need a window.
        env = dict(self.env)
        env.pop("DISPLAY", None)
        for name, path in programs.items():
            with self.subTest(program=name):
                self.assertTrue(path, "the test needs the program's path")
                run = subprocess.run([path, "--version"], capture_output=True, env=env,
                                     timeout=30)
                self.assertEqual(run.returncode, 0)
                self.assertRegex(run.stdout.decode(), version.pattern % re.escape(name))
                run = subprocess.run([path, "--help"], capture_output=True, env=env, timeout=30)
                self.assertEqual(run.returncode, 0)
                self.assertIn("usage: %s" % name, run.stdout.decode())
                run = subprocess.run([path, "--no-such-option"], capture_output=True, env=env,
                                     timeout=30)
                self.assertEqual(run.returncode, 2)
                self.assertIn("usage: %s" % name, run.stderr.decode())
        # The runner names the option it refuses, and exits 2 for every form of refusal.
        for args, message in ((["--frames", "1e10", "--seconds", "2"], "--seconds and --frames"),
                              (["--frames=2.5"], "--frames: '2.5'"),
                              (["--frames", "1e16"], "--frames: '1e16'"),
                              (["--seed", "-1"], "--seed: '-1'"),
                              (["--present", "gl"], "--present: 'gl'")):
            run = subprocess.run([BENCH] + args, capture_output=True, env=env, timeout=30)
            self.assertEqual(run.returncode, 2, args)
            self.assertIn("torvex32-bench: " + message, run.stderr.decode())
        self.assert_nothing_left()

    # --- the runner -----------------------------------------------------------------------

    def start_runner_and_stop_it(self, sig, result):
        runner = subprocess.Popen([BENCH, "--seconds", "20", "--repeat", "2", "--json",
                                   "--output", result], env=self.env, stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE)
        # Halfway through the first run's frames: the effect's file exists once the run has
        # opened its sounds, the last step before the frames; then half a second of them.
        wait_until(lambda: self.run_files("QVW*"), 60, "the first run's sounds")
        spent = child_cpu_seconds(runner.pid)
        wait_until(lambda: child_cpu_seconds(runner.pid) > spent + 0.5, 60, "the first run to draw")
        runner.send_signal(sig)
        out, err = runner.communicate(timeout=60)
        return runner.returncode, out.decode(), err.decode()

    def test_a_signal_halfway_stops_the_runner_with_an_incomplete_result(self):
        for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            with self.subTest(signal=sig.name):
                result = os.path.join(self.folder, "result-%s.json" % sig.name)
                code, out, err = self.start_runner_and_stop_it(sig, result)
                self.assertEqual(code, 128 + sig, err)
                printed = json.loads(out)
                with open(result) as f:
                    self.assertEqual(json.load(f), printed)
                self.assertFalse(printed["complete"])
                self.assertEqual(len(printed["runs"]), 1)
                run = printed["runs"][0]
                self.assertFalse(run["complete"])
                # The real running time of what ran: more than nothing, less than asked.
                self.assertGreater(run["elapsed_ms"], 0)
                self.assertLess(run["elapsed_ms"], 20000)
                self.assertGreater(run["frames"], 0)
                self.assertAlmostEqual(run["rate_per_10s"],
                                       run["frames"] * 10000 / run["elapsed_ms"], delta=0.1)
                self.assert_nothing_left()

    def test_a_signal_ignored_by_its_starter_stays_ignored(self):
        # As under nohup: a hang-up neither stops the runner nor its run.
        runner = subprocess.Popen([BENCH, "--seconds", "3.5", "--repeat", "1", "--json"],
                                  env=self.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                  preexec_fn=lambda: signal.signal(signal.SIGHUP, signal.SIG_IGN))
        wait_until(lambda: self.run_files("QVW*"), 60, "the run's sounds")
        runner.send_signal(signal.SIGHUP)
        for child in glob.glob("/proc/%d/task/%d/children" % (runner.pid, runner.pid)):
            with open(child) as f:
                for pid in f.read().split():
                    os.kill(int(pid), signal.SIGHUP)
        out, err = runner.communicate(timeout=60)
        self.assertEqual(runner.returncode, 0, err.decode())
        self.assertTrue(json.loads(out.decode())["complete"])
        self.assert_nothing_left()

    def test_result_keys_agree_with_the_processes_cpu_time(self):
        result = os.path.join(self.folder, "result.json")
        before = cpu_of_children()
        subprocess.run([BENCH, "--frames", "1500", "--repeat", "2", "--output", result],
                       env=self.env, check=True, capture_output=True, timeout=300)
        spent_ns = (cpu_of_children() - before) * 1e9
        with open(result) as f:
            r = json.load(f)
        self.assertTrue(r["complete"])
        self.assertEqual(r["frames"], 3000)
        self.assertEqual([run["frames"] for run in r["runs"]], [1500, 1500])
        self.assertGreater(r["cpu_ns_per_frame"], 0)
        self.assertLessEqual(r["cpu_ns_per_frame"] * r["frames"], spent_ns)
        self.assertGreaterEqual(r["switches_per_frame"], 0)
        self.assertEqual(r["present_path"], "headless")
        self.assertEqual(r["environment"]["present_path"], "headless")
        self.assertEqual(r["environment"]["video_driver"], "dummy")
        self.assertEqual(r["environment"]["display_server"], "none")
        self.assertTrue(r["environment"]["music_opened"])
        self.assertLessEqual(r["frame_ns"], r["frame_ns_p99"])
        self.assertLessEqual(r["frame_ns_p99"], r["frame_ns_max"])
        rates = sorted(run["rate_per_10s"] for run in r["runs"])
        self.assertAlmostEqual(r["rate_per_10s"], sum(rates) / 2, delta=0.1)
        self.assertAlmostEqual(r["stats"]["median"], r["rate_per_10s"], delta=0.1)
        self.assert_nothing_left()

    # --- frames that reach the screen, and the screen read back -------------------------

    def window_env(self, x, **extra):
        return dict(x.env, TMPDIR=self.tmp, XDG_CONFIG_HOME=self.config,
                    ASAN_OPTIONS="detect_leaks=0", SDL_AUDIODRIVER="dummy", **extra)

    def test_frames_that_cannot_be_presented_fail_the_run_without_a_rate(self):
        # SDL's window surface refused, as on a display where SDL cannot make one.
        self.x = XSession()
        result = os.path.join(self.folder, "result.json")
        run = subprocess.run([BENCH, "--window", "--present", "sdl", "--frames", "300",
                              "--repeat", "2", "--json", "--output", result],
                             capture_output=True, timeout=300,
                             env=self.window_env(self.x, TORVEX_TEST_REFUSE_SURFACE="1"))
        err = run.stderr.decode()
        self.assertEqual(run.returncode, 1, err)
        self.assertEqual(run.stdout, b"", "no rate of frames nobody saw")
        self.assertFalse(os.path.exists(result))
        self.assertIn("torvex32-bench: run 1: its frames could not be shown: no window surface "
                      "to present into", err)
        self.assertNotIn("run 2", err)
        self.assert_nothing_left()

    def test_a_window_changed_behind_the_programs_back_fails_the_screen_check(self):
        self.x = XSession()
        result = os.path.join(self.folder, "result.json")
        err = os.path.join(self.folder, "bench.err")
        with open(err, "wb") as log:
            runner = subprocess.Popen(
                [BENCH, "--window", "--frames", "200", "--repeat", "1", "--output", result],
                stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=log,
                env=self.window_env(self.x, TORVEX_TEST_HOLD_SCREEN_CHECK="1"))
        # After the last frame, before the window is read back: a second client draws into it.
        LogFile(err).wait_for("holding before the screen check", 60)
        self.x.fill(self.x.find_window(TITLE), 10, 20, 64, 32, 0x123456)
        out, _ = runner.communicate(b"\n", timeout=60)
        self.assertEqual(runner.returncode, 1, LogFile(err).lines())
        self.assertRegex(out.decode(), r"^torvex32-bench: \d+ frames/10s \(median of 1 run, "
                         r"cv 0\.0%\); FAILED: the screen did not show the frame \(2048 of "
                         r"196608 pixels differ\)\n$")
        self.assertIn("torvex32-bench: run 1: the window did not show the last frame: 2048 of "
                      "196608 pixels differ; the first at (10, 20) shows #123456",
                      "\n".join(LogFile(err).lines()))
        with open(result) as f:
            r = json.load(f)
        # The rate is kept for finding out why, and marked.
        self.assertGreater(r["rate_per_10s"], 0)
        self.assertFalse(r["rate_valid"])
        self.assertEqual(r["screen_check"]["result"], "mismatch")
        self.assertEqual(r["screen_check"]["differing_pixels"], 64 * 32)
        self.assertEqual(r["runs"][0]["screen_check"], r["screen_check"])
        self.assertTrue(r["complete"])

        # Turned off, nothing is read back (nor held for): the result says so.
        run = subprocess.run([BENCH, "--window", "--frames", "200", "--repeat", "1", "--json",
                              "--no-screen-check"], capture_output=True, timeout=300,
                             stdin=subprocess.DEVNULL,
                             env=self.window_env(self.x, TORVEX_TEST_HOLD_SCREEN_CHECK="1"))
        self.assertEqual(run.returncode, 0, run.stderr.decode())
        self.assertNotIn(b"holding", run.stderr)
        r = json.loads(run.stdout)
        self.assertEqual(r["screen_check"], {"result": "off"})
        self.assertTrue(r["rate_valid"])
        self.assert_nothing_left()

    def test_screens_of_16_and_8_bits_show_the_frame_or_the_run_fails_saying_why(self):
        for depth in (16, 8):
            with self.subTest(depth=depth):
                x = XSession(depth=depth)
                try:
                    run = subprocess.run([BENCH, "--window", "--frames", "200", "--repeat",
                                          "1", "--json"], capture_output=True, timeout=300,
                                         env=self.window_env(x))
                finally:
                    x.stop()
                err = run.stderr.decode()
                if run.returncode == 0:
                    r = json.loads(run.stdout)
                    self.assertEqual(r["screen_check"], {"result": "match", "pixels": 196608})
                    self.assertEqual(r["environment"]["screen"], "1024x768x%d" % depth)
                else:
                    # Never a rate without frames on the screen.
                    self.assertNotEqual(depth, 16, err)
                    self.assertEqual(run.returncode, 1, err)
                    self.assertEqual(run.stdout, b"")
                    self.assertIn("its frames could not be shown: ", err)
        self.assert_nothing_left()

    # --- torvex-compare -------------------------------------------------------------------

    def test_compare_puts_results_side_by_side_and_draws_them(self):
        a = os.path.join(DATA, "result-headless.json")
        b = os.path.join(DATA, "result-window.json")
        chart = os.path.join(self.folder, "chart.png")
        out = subprocess.run([COMPARE, a, b, "--png", chart], capture_output=True, check=True,
                             env=self.env, timeout=60).stdout.decode()
        rows = {line[:20].strip(): line[20:].split() for line in out.splitlines()
                if len(line) > 20}
        self.assertEqual(rows["rate (frames/10s)"], ["80000.0", "20000.0", "0.25"])
        self.assertEqual(rows["present ns"], ["100000", "475000", "4.75"])
        self.assertEqual(rows["frame ns p99"], ["375000", "1500000", "4.00"])
        self.assertIn("video_driver        1: dummy", out)
        self.assertIn("cpu_model           Test CPU", out)

        image = read_png(chart)
        # The bars stand on one row; their heights are the rates, the whiskers the runs' spread.
        def columns_of(colour, below=400):
            found = {}
            for x in range(image.width):
                n = sum(1 for y in range(below) if image.pixel(x, y) == colour)
                if n:
                    found[x] = n
            return found

        def bars(colour):
            """The height of each run of neighbouring columns of colour (its middle column)."""
            columns = columns_of(colour)
            groups, last = [], None
            for x in sorted(columns):
                if last is None or x != last + 1:
                    groups.append([])
                groups[-1].append(columns[x])
                last = x
            return [max(g) for g in groups]

        first, second = bars((51, 153, 255)), bars((255, 153, 0))
        self.assertEqual(len(first), 1)
        self.assertEqual(len(second), 1)
        self.assertAlmostEqual(second[0] / first[0], 0.25, delta=1.5 / first[0])
        # The stages of the frame, stacked: viewport, sprites, present per result.
        viewport, sprites, present = (bars((0, 153, 255)), bars((255, 255, 0)),
                                      bars((255, 51, 51)))
        self.assertEqual(len(present), 2)
        tallest = sum(x[1] for x in (viewport, sprites, present))
        for got, ns in ((viewport, (20000, 20000)), (sprites, (5000, 5000)),
                        (present, (100000, 475000))):
            for i in range(2):
                self.assertAlmostEqual(got[i] / tallest, ns[i] / 500000, delta=1.5 / tallest)

        # Bad input is refused with the file named.
        broken = os.path.join(self.folder, "broken.json")
        with open(broken, "w") as f:
            f.write('{"schema": 2, "rate_per_10s": 1}')
        run = subprocess.run([COMPARE, a, broken], capture_output=True, env=self.env)
        self.assertEqual(run.returncode, 1)
        self.assertIn("broken.json: not a torvex32-bench result of schema 1", run.stderr.decode())

    def test_compare_refuses_what_is_not_a_result_and_never_overwrites_one(self):
        good = os.path.join(DATA, "result-headless.json")
        with open(good, "rb") as f:
            text = f.read()
        hostile = {
            "truncated": text[:len(text) // 2],
            "deep": b"[" * 100000 + b"]" * 100000,
            "nan": text.replace(b'"rate_per_10s": 80000.0', b'"rate_per_10s": NaN'),
            "infinity": text.replace(b'"rate_per_10s": 80000.0', b'"rate_per_10s": -Infinity'),
            "hex": text.replace(b'"rate_per_10s": 80000.0', b'"rate_per_10s": 0x1p40'),
            "huge": text.replace(b'"rate_per_10s": 80000.0', b'"rate_per_10s": 1e400'),
            "negative": text.replace(b'"rate_per_10s": 78000.0', b'"rate_per_10s": -78000.0'),
            "string rate": text.replace(b'"rate_per_10s": 80000.0', b'"rate_per_10s": "80000"'),
            "runs not a list": text.replace(b'"runs": [', b'"runs": {"x": [').replace(
                b'}\n  ],', b'}]},', 1),
            "nul": text.replace(b'"schema": 1,', b'"schema": 1,\0'),
            "bad utf-8": text.replace(b'"Test CPU"', b'"Test \xff CPU"'),
            "big": b" " * (2 << 20) + text,
        }
        for name, data in hostile.items():
            with self.subTest(file=name):
                path = os.path.join(self.folder, name.replace(" ", "-") + ".json")
                with open(path, "wb") as f:
                    f.write(data)
                run = subprocess.run([COMPARE, good, path], capture_output=True, env=self.env,
                                     timeout=30)
                self.assertEqual(run.returncode, 1, run.stdout)
                self.assertIn(os.path.basename(path) + ": ", run.stderr.decode())
                self.assertEqual(run.stdout, b"")
        # A byte-order mark is accepted.
        marked = os.path.join(self.folder, "marked.json")
        with open(marked, "wb") as f:
            f.write(b"\xef\xbb\xbf" + text)
        self.assertEqual(subprocess.run([COMPARE, good, marked], capture_output=True,
                                        env=self.env, timeout=30).returncode, 0)
        # The chart's name forgotten, or one of the results: nothing is written over.
        copy = os.path.join(self.folder, "a.json")
        shutil.copy(good, copy)
        for args in (["--png", copy, good], ["--png", good, copy],
                     ["--png", os.path.join(self.folder, "notes.txt"), good]):
            with open(os.path.join(self.folder, "notes.txt"), "w") as f:
                f.write("mine")
            run = subprocess.run([COMPARE] + args, capture_output=True, env=self.env, timeout=30)
            self.assertEqual(run.returncode, 2, args)
            with open(copy, "rb") as f:
                self.assertEqual(f.read(), text)
            with open(os.path.join(self.folder, "notes.txt")) as f:
                self.assertEqual(f.read(), "mine")
        # At most twelve side by side.
        run = subprocess.run([COMPARE] + [good] * 13, capture_output=True, env=self.env,
                             timeout=30)
        self.assertEqual(run.returncode, 2)
        self.assertIn("at most 12", run.stderr.decode())

    # --- the program stopped by signals ---------------------------------------------------

    def start_program(self, program=PROGRAM):
        self.output = os.path.join(self.folder, "program.out")
        open(self.output, "w").close()
        return self.x.start([program], dict(self.env, SDL_AUDIODRIVER="dummy"), self.output)

    def still(self):
        return self.x.screenshot().rgb == self.x.screenshot().rgb

    def test_signals_at_any_moment_end_the_program_and_leave_nothing_behind(self):
        self.x = XSession()
        for moment in ("start-up", "running", "paused"):
            for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
                with self.subTest(moment=moment, signal=sig.name):
                    app = self.start_program()
                    if moment == "start-up":
                        # As soon as the program catches the signal, early in its start-up.
                        wait_until(lambda: catches(app.pid, sig), 20, "the program's handlers")
                    else:
                        window = self.x.find_window(TITLE)
                        # The effect's temporary file exists once the sounds are open.
                        wait_until(lambda: os.listdir(self.tmp), 30, "the effect's file")
                        if moment == "paused":
                            self.x.activate(window)
                            self.x.key("p")
                            wait_until(self.still, 20, "the picture to stand still")
                    app.send_signal(sig)
                    self.assertEqual(app.wait(30), 128 + sig)
                    self.assertEqual(os.listdir(self.tmp), [], "files left in $TMPDIR")
                    if moment != "start-up":
                        with open(self.output) as f:
                            self.assertIn("exact rate", f.read())

    def test_a_signal_ends_the_program_while_its_error_box_is_up(self):
        self.x = XSession()
        folder = os.path.join(self.folder, "program")
        os.makedirs(folder)
        source = os.path.dirname(PROGRAM)
        for name in ("torvex32", "TORVEX32.ZOR", "TORVEX.MID", "TORVEX.WAV"):
            shutil.copy(os.path.join(source, name), folder)
        # Its standard output into a pipe, as in "torvex32 | cat": the reader must see its end.
        app = subprocess.Popen([os.path.join(folder, "torvex32")], stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT,
                               env=dict(self.x.env, **self.env, DISPLAY=self.x.display))
        wait_until(lambda: self.x.window_in_tree("ERROR"), 30, "the \"ERROR\" box")
        app.send_signal(signal.SIGTERM)
        self.assertEqual(app.wait(30), 128 + signal.SIGTERM)
        reader = subprocess.run(["timeout", "10", "cat"], stdin=app.stdout, capture_output=True)
        app.stdout.close()
        self.assertEqual(reader.returncode, 0, "the output stayed open after the program ended")
        # The box went with the program.
        wait_until(lambda: not self.x.window_in_tree("ERROR"), 10, "the box to go")
        self.assertEqual(os.listdir(self.tmp), [])


if __name__ == "__main__":
    unittest.main()
