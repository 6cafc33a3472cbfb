"""test_runner_stops.py — torvex32-bench stopped at any moment and given awkward outputs: signals
at random moments keep every run that started; outputs are checked before the first run; a
pipe that nobody reads, a killed run and a stray signal leave nothing behind; the options that
cannot be measured are refused. Headless: no X server needed.

Programs: TORVEX32_BENCH. STOP_ROUNDS sets the number of random stops (default 12).
Run one test: python3 tests/e2e/test_runner_stops.py StopTest.test_x (with those set).
"""
import glob
import json
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import wait_until  # noqa: E402

BENCH = os.environ.get("TORVEX32_BENCH", "")
ROUNDS = int(os.environ.get("STOP_ROUNDS", "12"))


def children(pid):
    try:
        with open("/proc/%d/task/%d/children" % (pid, pid)) as f:
            return [int(p) for p in f.read().split()]
    except OSError:
        return []


class StopTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="torvex-stops-e2e-")
        self.tmp = os.path.join(self.folder, "tmp")
        os.makedirs(self.tmp)
        self.env = dict(os.environ, TMPDIR=self.tmp, ASAN_OPTIONS="detect_leaks=0",
                        SDL_AUDIODRIVER="dummy")
        self.env.pop("DISPLAY", None)

    def tearDown(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def assert_nothing_left(self):
        self.assertEqual(os.listdir(self.tmp), [], "files left in $TMPDIR")

    def bench(self, *args, **kw):
        return subprocess.run([BENCH] + list(args), capture_output=True, env=self.env,
                              timeout=kw.get("timeout", 120))

    def test_signals_at_random_moments_keep_every_run_that_started(self):
        # As a script stops it: the signal to the runner alone, or to every process of the
        # program by name (the runner and its run both get it), at any moment of three runs.
        rng = random.Random(int(os.environ.get("STOP_SEED", "18")))
        for round_ in range(ROUNDS):
            sig = rng.choice((signal.SIGINT, signal.SIGTERM, signal.SIGHUP))
            to_all = rng.random() < 0.5
            delay = rng.uniform(0.0, 7.0)
            with self.subTest(round=round_, signal=sig.name, all=to_all, delay=round(delay, 2)):
                runner = subprocess.Popen([BENCH, "--seconds", "2", "--repeat", "3", "--json"],
                                          env=self.env, stdout=subprocess.PIPE,
                                          stderr=subprocess.PIPE)
                begun = {}  # each run's process and when it was first seen
                end = time.monotonic() + delay
                while time.monotonic() < end and runner.poll() is None:
                    for pid in children(runner.pid):
                        begun.setdefault(pid, time.monotonic())
                    time.sleep(0.01)
                stopped_at = time.monotonic()
                if runner.poll() is None:
                    targets = [runner.pid] + (children(runner.pid) if to_all else [])
                    for pid in targets:
                        try:
                            os.kill(pid, sig)
                        except ProcessLookupError:
                            pass
                out, err = runner.communicate(timeout=60)
                err = err.decode()
                result = json.loads(out)  # every result parses
                runs = result["runs"]
                self.assertEqual(sum(r["frames"] for r in runs), result["frames"])
                self.assertEqual(sum(r["elapsed_ms"] for r in runs), result["elapsed_ms"])
                # A stop that came after the last run had ended found no run to stop: every run
                # is there and complete, and the exit status still tells of the stop.
                if runner.returncode == 0 or (result["complete"] and
                                              runner.returncode == 128 + sig):
                    self.assertTrue(result["complete"])
                    self.assertEqual(len(runs), 3)
                    continue
                self.assertEqual(runner.returncode, 128 + sig, err)
                self.assertFalse(result["complete"])
                # A run that had been going a second and a half had shown frames: it is there.
                # Runs before it are complete, of 2 s each (to the frame that reached it).
                lived = [stopped_at - seen for seen in begun.values()]
                certain = sum(1 for t in lived if t > 1.5)
                self.assertGreaterEqual(len(runs), certain, err)
                for r in runs[:-1]:
                    self.assertTrue(r["complete"])
                    self.assertGreaterEqual(r["elapsed_ms"], 2000)
                    self.assertLessEqual(r["elapsed_ms"], 2300)
                for r in runs:
                    self.assertGreater(r["frames"], 0)
                if runs and not runs[-1]["complete"]:
                    # The stopped run's time is what it ran: no more than its process lived,
                    # and no less than its life less a start-up.
                    last_life = min(lived) * 1000
                    self.assertLessEqual(runs[-1]["elapsed_ms"], last_life + 300, err)
                    self.assertGreaterEqual(runs[-1]["elapsed_ms"], last_life - 1500, err)
                self.assert_nothing_left()

    def test_outputs_are_checked_before_the_first_run(self):
        os.chdir(self.folder)
        fifo = os.path.join(self.folder, "fifo")
        os.mkfifo(fifo)
        for args, message in (
                (["--output", "x", "--screenshot", "./x"], "--output and --screenshot name the same"),
                (["--screenshot", "missing/shot.png"], "--screenshot: the folder missing does not"),
                (["--output", self.folder], "is a folder"),
                (["--output", fifo], "is a pipe with no reader"),
                (["--seconds", "0.0005"], "--seconds: '0.0005'"),
                (["--seconds", "1e-9"], "--seconds: '1e-9'")):
            with self.subTest(args=args):
                limit = [] if "--seconds" in args else ["--frames", "10"]
                run = self.bench(*(limit + ["--repeat", "1"] + args), timeout=30)
                self.assertEqual(run.returncode, 2, run.stderr)
                self.assertIn(message, run.stderr.decode())
                self.assertNotIn(b"frames/10s", run.stdout)
                self.assertFalse(os.path.exists("x"))
        # 1e0001 is 1e1.
        run = self.bench("--frames", "1e0001", "--repeat", "1", "--json")
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(json.loads(run.stdout)["frames"], 10)
        self.assert_nothing_left()

    def test_one_signal_stops_a_runner_whose_output_pipe_lost_its_reader(self):
        fifo = os.path.join(self.folder, "result")
        os.mkfifo(fifo)
        reader = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK)  # a reader at the start ...
        runner = subprocess.Popen([BENCH, "--frames", "20", "--repeat", "1", "--output", fifo],
                                  env=self.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        wait_until(lambda: children(runner.pid), 60, "the run")
        os.close(reader)  # ... gone before the result is written: its open waits
        wait_until(lambda: not children(runner.pid), 60, "the run's end")
        time.sleep(0.3)  # the runner now blocks opening the pipe (nothing to wait for)
        runner.send_signal(signal.SIGTERM)
        runner.communicate(timeout=20)
        self.assertEqual(runner.returncode, 128 + signal.SIGTERM)
        self.assert_nothing_left()

    def test_a_killed_run_and_a_stray_signal_leave_nothing_behind(self):
        # The run killed outright: its frames so far count, its temporary files go.
        runner = subprocess.Popen([BENCH, "--seconds", "20", "--repeat", "2", "--json"],
                                  env=self.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        wait_until(lambda: glob.glob(os.path.join(self.tmp, "torvex32-bench-*", "QVW*")), 60,
                   "the run's sounds")
        time.sleep(0.5)
        os.kill(children(runner.pid)[0], signal.SIGKILL)
        out, err = runner.communicate(timeout=60)
        self.assertEqual(runner.returncode, 128 + signal.SIGKILL, err)
        result = json.loads(out)
        self.assertEqual(len(result["runs"]), 1)
        self.assertGreater(result["runs"][0]["frames"], 0)
        self.assertIsNone(result["runs"][0]["cpu_ns_per_frame"])
        self.assert_nothing_left()
        # SIGUSR1 to the runner stops it like a termination, its folder removed.
        runner = subprocess.Popen([BENCH, "--seconds", "20", "--repeat", "2", "--json"],
                                  env=self.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        wait_until(lambda: glob.glob(os.path.join(self.tmp, "torvex32-bench-*", "QVW*")), 60,
                   "the run's sounds")
        runner.send_signal(signal.SIGUSR1)
        out, err = runner.communicate(timeout=60)
        self.assertEqual(runner.returncode, 128 + signal.SIGUSR1, err)
        self.assertFalse(json.loads(out)["complete"])
        self.assert_nothing_left()

    def test_a_long_tmpdir_and_a_missing_data_file_say_nothing_false(self):
        deep = os.path.join(self.tmp, "d" * 150)
        os.makedirs(deep)
        run = subprocess.run([BENCH, "--frames", "10", "--repeat", "1"], capture_output=True,
                             env=dict(self.env, TMPDIR=deep), timeout=120)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertNotIn(b"remembered", run.stderr)
        self.assertEqual(os.listdir(deep), [])
        os.rmdir(deep)
        # The runner without its pictures beside it: the run fails and says why, not that it
        # paused.
        alone = os.path.join(self.folder, "alone")
        os.makedirs(alone)
        source = os.path.dirname(BENCH)
        for name in os.listdir(source):
            if name.upper() != "TORVEX32.ZGL" and os.path.isfile(os.path.join(source, name)):
                shutil.copy(os.path.join(source, name), alone)
        run = subprocess.run([os.path.join(alone, os.path.basename(BENCH)), "--frames", "10",
                              "--repeat", "1"], capture_output=True, env=self.env, timeout=120)
        self.assertEqual(run.returncode, 1)
        self.assertNotIn(b"paused", run.stderr)
        self.assert_nothing_left()

    def test_a_full_tmpdir_is_named_as_the_cause(self):
        full = os.path.join(self.folder, "full")
        os.makedirs(full)
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "none", full],
                                 capture_output=True).returncode == 0
        if not mounted:
            self.skipTest("cannot mount a small file system here (needs root)")
        try:
            subprocess.run(["dd", "if=/dev/zero", "of=" + os.path.join(full, "fill"), "bs=4k"],
                           capture_output=True)
            run = subprocess.run([BENCH, "--frames", "10", "--repeat", "1"], capture_output=True,
                                 env=dict(self.env, TMPDIR=full), timeout=120)
            self.assertEqual(run.returncode, 1)
            self.assertIn(b"no room for the runs' temporary files in " + full.encode() +
                          b": No space left on device", run.stderr)
            self.assertEqual(os.listdir(full), ["fill"])
        finally:
            subprocess.run(["umount", full])


if __name__ == "__main__":
    unittest.main()
