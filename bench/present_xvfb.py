"""present_xvfb.py — windowed frames against the display server, in one run on one X server.

Each round runs, in turn, on the same Xvfb with openbox:
  - torvex32-bench headless (SDL's dummy video): its frame_ns is the yardstick for our own CPU;
  - torvex32-bench --window, once per presentation variant asked for: the wall time per frame,
    our CPU per frame and our context switches (from /proc/PID/stat and /proc/PID/task/*/status
    of the runner, over the middle of the run, all threads), the time our main thread waited
    runnable for a core (/proc/PID/task/PID/schedstat: others had the machine) and the X
    server's CPU per frame (/proc/PID/stat of the server);
  - SDL's testsprite2 (--geometry 512x384 --renderer software 14, SDL_FRAMEBUFFER_ACCELERATION=0):
    the rate it prints after its first five seconds;
  - x11perf -shmput500: the server's put of an image hot in its cache, scaled to one frame.
The rounds alternate, the first variant of a round changes from round to round, and every
figure below is the median over the rounds.

Usage: python3 bench/present_xvfb.py BUILD_DIR [--rounds N] [--seconds S]
           [--variants default,x11-cached,sdl] [--baseline OTHER_BUILD_DIR] [--priority]
           [--depth 8,24]
A variant is a TORVEX_PRESENT value ("default": unset, the program's own choice; "sdl": SDL's
window surface; "x11-cached" and "x11-streamed": the shared images written with ordinary
stores, or streamed past the cache). --baseline (repeatable) adds the default variant of
another build (for example the previous commit's) to every round. --priority (as root) runs
the X server and every measured program at nice -20, detached with setsid() into a
scheduling autogroup of their own, so that other work on a shared machine takes less of their time; ours and
testsprite2 alike.

--depth D[,D...] (for example 8,24 or 16,24) instead starts one Xvfb with openbox per depth,
side by side and of the same size, and runs each round on each of them in turn (the first
changing from round to round): the headless frame, then the windowed runs, with our CPU, the
X server's CPU and the rate per frame. Its targets, against the depth-24 server of the same
run: at depth 8 the server's CPU per frame <= 0.3 x, our CPU per frame <= 1.5 x a headless
frame and the rate >= 2.5 x; at depth 16 the rate >= 0.8 x.

Targets (ratios within one run, printed with PASS or MISS):
  our CPU per windowed frame <= 2.2 x the headless frame_ns;
  wall time per windowed frame <= 1.2 x max(our CPU, the server's CPU) per frame;
  context switches <= 2 per frame;
  windowed rate >= 2.5 x testsprite2's rate.
"""
import argparse
import json
import os
import re
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from harness import XSession, wait_until  # noqa: E402

FRAME_BYTES = 512 * 384 * 4
TICK = os.sysconf("SC_CLK_TCK")
SPRITE_DIR = "/usr/libexec/installed-tests/SDL2"
TITLE = "TORVEX32 version 3.0"


def cpu_seconds(pid):
    """User plus system time of the whole process (all threads)."""
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICK


def switches(pid):
    """Voluntary plus involuntary context switches of every thread of the process."""
    total = 0
    for task in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/status" % (pid, task)) as f:
                text = f.read()
        except FileNotFoundError:
            continue
        for key in ("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches"):
            total += int(re.search(r"^%s:\s+(\d+)" % key, text, re.M).group(1))
    return total


def run_delay(pid):
    """Seconds the main thread waited runnable for a core (second field of schedstat)."""
    try:
        with open("/proc/%d/task/%d/schedstat" % (pid, pid)) as f:
            return int(f.read().split()[1]) / 1e9
    except (FileNotFoundError, IndexError):
        return 0.0


def sample(pid, server):
    return {"t": time.monotonic(), "cpu": cpu_seconds(pid), "switches": switches(pid),
            "delay": run_delay(pid), "server": cpu_seconds(server)}


PREFIX = []  # ["nice", "-n", "-20"] with --priority


def bench_command(build, seconds, *options):
    """torvex32-bench for one run of the given length. A runner that repeats its runs, each in a
    child process, is asked for one run; an older one runs once in its own process anyway."""
    program = os.path.join(build, "bin", "torvex32-bench")
    usage = subprocess.run([program, "--help"], capture_output=True, text=True).stdout
    once = ["--repeat", "1"] if "--repeat" in usage else []
    return PREFIX + [program, "--seconds", str(seconds), "--json"] + once + list(options)


def measured_process(runner):
    """The process that runs the frames, a child of a runner that repeats its runs."""
    def child():
        with open("/proc/%d/task/%d/children" % (runner.pid, runner.pid)) as f:
            children = f.read().split()
        return int(children[0]) if children else None

    return wait_until(child, 30, "the run's process", interval=0.02)


def headless(build, seconds):
    out = subprocess.run(bench_command(build, seconds), capture_output=True, text=True,
                         timeout=seconds * 4 + 60)
    return json.loads(out.stdout)


def windowed(x, build, seconds, variant):
    """One windowed run; the figures per frame over its middle, from /proc."""
    env = dict(x.env, SDL_AUDIODRIVER="dummy")
    env.pop("TORVEX_PRESENT", None)
    if variant != "default":
        env["TORVEX_PRESENT"] = variant
    command = bench_command(build, seconds, "--window")
    runner = subprocess.Popen(command, env=env,
                              stdout=subprocess.PIPE, text=True)
    x.find_window(TITLE)
    run = measured_process(runner) if "--repeat" in command else runner.pid
    # Leave out the start (loading, the first frames) and the end (the window going).
    time.sleep(1.0)
    first = sample(run, x.server.pid)
    time.sleep(max(1.0, seconds - 2.0))
    last = sample(run, x.server.pid)
    out, _ = runner.communicate(timeout=60)
    result = json.loads(out)
    rate = result["frames"] * 1000.0 / result["elapsed_ms"]
    frames = rate * (last["t"] - first["t"])
    per = {key: (last[key] - first[key]) / frames for key in ("t", "cpu", "switches", "delay",
                                                              "server")}
    return {"fps": rate, "wall_us": per["t"] * 1e6, "cpu_us": per["cpu"] * 1e6,
            "server_us": per["server"] * 1e6, "switches": per["switches"],
            "delay_us": per["delay"] * 1e6, "path": result.get("present_path", "?"),
            "runner_cpu_us": result.get("cpu_ns_per_frame", 0) / 1000.0 or float("nan"),
            "runner_switches": result.get("switches_per_frame", float("nan")), "result": result}


def testsprite(x):
    """testsprite2's frames per second: it prints its rate every five seconds of running."""
    env = dict(x.env, SDL_FRAMEBUFFER_ACCELERATION="0", SDL_AUDIODRIVER="dummy")
    log = os.path.join(x.folder, "testsprite2-%d.log" % time.monotonic_ns())
    process = x.start(PREFIX + [os.path.join(SPRITE_DIR, "testsprite2"), "--geometry", "512x384",
                       "--renderer", "software", "14"], env=env, log=log, cwd=SPRITE_DIR)

    def rate():
        with open(log) as f:
            found = re.search(r"([\d.]+) frames per second", f.read())
        return float(found.group(1)) if found else None

    fps = wait_until(rate, 30, "testsprite2's rate", interval=0.1)
    process.terminate()
    process.wait(10)
    return fps


def x11perf_put_us(x):
    """One 500x500 32-bit shared-memory put (best of x11perf's repetitions), scaled to a frame."""
    out = x.tool(*PREFIX, "x11perf", "-shmput500", "-repeat", "2", "-time", "2")
    times = [float(m.group(1)) for m in re.finditer(r"reps @\s+([\d.]+) msec", out)]
    if not times:
        raise RuntimeError("no x11perf result:\n" + out)
    return min(times) * 1000 * FRAME_BYTES / (500 * 500 * 4)


def median(values):
    values = [v for v in values if v is not None]
    return statistics.median(values) if values else float("nan")


def verdict(value, limit, at_most=True):
    ok = value <= limit if at_most else value >= limit
    return "PASS" if ok else "MISS"


def depth_rounds(args, depths):
    """Rounds on X servers of the given depths, started side by side."""
    sessions = {}
    try:
        for depth in depths:
            sessions[depth] = XSession(depth=depth)
        rows = {depth: [] for depth in depths}
        frames_ns = []
        for round_number in range(args.rounds):
            order = depths[round_number % len(depths):] + depths[:round_number % len(depths)]
            frames_ns.append(headless(args.build, args.seconds)["frame_ns"])
            for depth in order:
                rows[depth].append(windowed(sessions[depth], args.build, args.seconds, "default"))
            with open("/proc/loadavg") as f:
                load = " ".join(f.read().split()[:3])
            print("round %d (load %s): headless frame %.1f us" % (round_number + 1, load,
                                                                  frames_ns[-1] / 1000.0))
            for depth in order:
                r = rows[depth][-1]
                print("  depth %-2d %-15s %6.0f fps  wall %6.1f us  ours %6.1f us  server %6.1f "
                      "us  switches %.2f" % (depth, r["path"], r["fps"], r["wall_us"],
                                             r["cpu_us"], r["server_us"], r["switches"]))
    finally:
        for session in sessions.values():
            session.stop()
    headless_us = median(frames_ns) / 1000.0
    print("\nmedians over %d rounds: headless frame %.1f us" % (args.rounds, headless_us))
    print("%-6s %-15s %7s %7s %7s %7s %8s" % ("depth", "path", "fps", "wall", "ours", "server",
                                               "ours/hl"))
    med = {}
    for depth in depths:
        rs = rows[depth]
        med[depth] = {key: median([r[key] for r in rs])
                      for key in ("fps", "wall_us", "cpu_us", "server_us")}
        m = med[depth]
        print("%-6d %-15s %7.0f %7.1f %7.1f %7.1f %8.2f" % (
            depth, rs[-1]["path"], m["fps"], m["wall_us"], m["cpu_us"], m["server_us"],
            m["cpu_us"] / headless_us))
    if 24 in med:
        base = med[24]
        if 8 in med:
            m = med[8]
            print("depth 8 against 24: server %.2f x (target <= 0.3 %s); ours %.2f x headless "
                  "(target <= 1.5 %s); rate %.2f x (target >= 2.5 %s)" % (
                      m["server_us"] / base["server_us"],
                      verdict(m["server_us"] / base["server_us"], 0.3),
                      m["cpu_us"] / headless_us, verdict(m["cpu_us"] / headless_us, 1.5),
                      m["fps"] / base["fps"], verdict(m["fps"] / base["fps"], 2.5, at_most=False)))
        if 16 in med:
            m = med[16]
            print("depth 16 against 24: rate %.2f x (target >= 0.8 %s); server %.2f x" % (
                m["fps"] / base["fps"], verdict(m["fps"] / base["fps"], 0.8, at_most=False),
                m["server_us"] / base["server_us"]))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("build")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--seconds", type=float, default=6.0)
    parser.add_argument("--variants", default="default")
    parser.add_argument("--baseline", action="append", default=[])
    parser.add_argument("--priority", action="store_true")
    parser.add_argument("--depth", default="")
    args = parser.parse_args()
    if args.priority:
        PREFIX[:] = ["nice", "-n", "-20"]
        # Where the kernel schedules processes in autogroups (one per setsid()), nice counts only
        # within the group: setsid() gives the run a group of its own, raised as a whole.
        try:
            os.setsid()
        except OSError:
            pass
        try:
            with open("/proc/self/autogroup", "w") as f:
                f.write("-20")
        except OSError:
            pass
    if args.depth:
        depth_rounds(args, [int(d) for d in args.depth.split(",")])
        return
    runs = [(name, args.build, name) for name in args.variants.split(",")]
    for number, other in enumerate(args.baseline):
        runs.append(("baseline" + (str(number + 1) if number else ""), other, "default"))
    rows = {name: [] for name, _, _ in runs}
    frames_ns, stage_ratios, sprite_fps, puts = [], [], [], []
    with open("/proc/loadavg") as f:
        print("load before: %s" % " ".join(f.read().split()[:3]))
    with XSession() as x:
        if args.priority:
            for task in os.listdir("/proc/%d/task" % x.server.pid):
                os.setpriority(os.PRIO_PROCESS, int(task), -20)
        print("priority: %s" % ("nice -20" if args.priority else "as started"))
        for round_number in range(args.rounds):
            # Alternate: each round starts with a different run.
            order = runs[round_number % len(runs):] + runs[:round_number % len(runs)]
            alone = headless(args.build, args.seconds)
            frames_ns.append(alone["frame_ns"])
            # A headless frame is its three stages and nothing else worth counting.
            stages = sum(alone.get(key, 0) for key in ("viewport_ns", "sprites_ns", "present_ns"))
            stage_ratios.append(alone["frame_ns"] / stages if stages else None)
            for name, build, variant in order:
                rows[name].append(windowed(x, build, args.seconds, variant))
            sprite_fps.append(testsprite(x))
            puts.append(x11perf_put_us(x))
            with open("/proc/loadavg") as f:
                load = " ".join(f.read().split()[:3])
            print("round %d (load %s): headless frame %.1f us, testsprite2 %.0f fps, x11perf put "
                  "%.1f us per frame" % (round_number + 1, load, frames_ns[-1] / 1000.0,
                                         sprite_fps[-1], puts[-1]))
            for name, _, _ in order:
                r = rows[name][-1]
                print("  %-10s %-11s %6.0f fps  wall %6.1f us  ours %6.1f us  server %6.1f us  "
                      "waited for a core %5.1f us  switches %.2f  (its own JSON: %.1f us, "
                      "%.2f switches)" % (
                          name, r["path"], r["fps"], r["wall_us"], r["cpu_us"], r["server_us"],
                          r["delay_us"], r["switches"], r["runner_cpu_us"],
                          r["runner_switches"]))
    headless_us = median(frames_ns) / 1000.0
    sprite = median(sprite_fps)
    put_us = median(puts)
    print("\nmedians over %d rounds: headless frame %.1f us (%.2f x the sum of its stages, target "
          "<= 1.1 %s); testsprite2 %.0f fps; x11perf hot put %.1f us per frame" % (
              args.rounds, headless_us, median(stage_ratios), verdict(median(stage_ratios), 1.1),
              sprite, put_us))
    print("%-10s %7s %7s %7s %7s %9s %9s %8s %9s %8s" % (
        "run", "fps", "wall", "ours", "server", "ours/hl", "overlap", "net-ovl", "switches",
        "/sprite"))
    for name, _, _ in runs:
        rs = rows[name]
        fps, wall = median([r["fps"] for r in rs]), median([r["wall_us"] for r in rs])
        ours, server = median([r["cpu_us"] for r in rs]), median([r["server_us"] for r in rs])
        # Overlap per round, then the median; "net" leaves out the time our main thread waited
        # for a core that other programs of this machine held.
        overlap = median([r["wall_us"] / max(r["cpu_us"], r["server_us"]) for r in rs])
        net = median([(r["wall_us"] - r["delay_us"]) / max(r["cpu_us"], r["server_us"])
                      for r in rs])
        sw = median([r["switches"] for r in rs])
        print("%-10s %7.0f %7.1f %7.1f %7.1f %9.2f %9.2f %8.2f %9.2f %8.2f" % (
            name, fps, wall, ours, server, ours / headless_us, overlap, net, sw, fps / sprite))
        print("           targets: ours <= 2.2 x headless %s; overlap <= 1.2 %s (net %s); "
              "switches <= 2 %s; rate >= 2.5 x testsprite2 %s; server %.2f x the hot put" % (
                  verdict(ours / headless_us, 2.2), verdict(overlap, 1.2), verdict(net, 1.2),
                  verdict(sw, 2), verdict(fps / sprite, 2.5, at_most=False), server / put_us))


if __name__ == "__main__":
    main()
