"""present_wayland.py — windowed frames against a Wayland compositor, in one run on one sway.

The sibling of present_xvfb.py for Wayland. Each round runs, in turn, on the same sway
(headless backend, pixman renderer, as tests/e2e/harness.py starts it):
  - torvex32-bench headless (SDL's dummy video): its frame_ns is the yardstick for our own CPU;
  - torvex32-bench --window --video wayland, once per variant asked for: the wall time per
    frame, our CPU per frame and context switches (/proc of the process that runs the frames,
    over the middle of the run) and the compositor's CPU per frame (/proc/PID/stat of sway);
    the result's frames_displayed and frames_discarded (what the compositor said of them);
  - SDL's testsprite2 (--geometry 512x384 14) with --renderer software and with its default
    renderer: the rate it prints after its first five seconds.
The rounds alternate, the first variant of a round changes from round to round, and every
figure below is the median over the rounds.

Usage: python3 bench/present_wayland.py BUILD_DIR [--rounds N] [--seconds S]
           [--variants default,wayland-cached,wayland-streamed]
A variant is a TORVEX_PRESENT value ("default": unset, the program's own choice;
"wayland-cached" and "wayland-streamed": the buffers written with ordinary stores, or streamed
past the cache).

Targets (ratios within one run, printed with PASS or MISS):
  our CPU per windowed frame <= 2.2 x the headless frame_ns;
  wall time per windowed frame <= 1.2 x max(our CPU, the compositor's CPU) per frame.
"""
import argparse
import os
import re
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import present_xvfb as x11  # noqa: E402
from harness import SwaySession, wait_until  # noqa: E402


def windowed(sway, build, seconds, variant):
    figures = x11.windowed(sway, build, seconds, variant)
    result = figures["result"]
    figures["displayed"] = result.get("frames_displayed")
    figures["discarded"] = result.get("frames_discarded")
    figures["frames"] = result.get("frames")
    return figures


def testsprite(sway, renderer):
    """testsprite2's frames per second on the compositor: it prints its rate every five
    seconds of running."""
    env = dict(sway.env, SDL_VIDEODRIVER="wayland", SDL_AUDIODRIVER="dummy")
    log = os.path.join(sway.folder, "testsprite2-%d.log" % time.monotonic_ns())
    command = [os.path.join(x11.SPRITE_DIR, "testsprite2"), "--geometry", "512x384"]
    if renderer:
        command += ["--renderer", renderer]
    process = sway.start(command + ["14"], env=env, log=log, cwd=x11.SPRITE_DIR)

    def rate():
        with open(log) as f:
            found = re.search(r"([\d.]+) frames per second", f.read())
        return float(found.group(1)) if found else None

    fps = wait_until(rate, 30, "testsprite2's rate", interval=0.1)
    process.terminate()
    process.wait(10)
    return fps


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("build")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--seconds", type=float, default=6.0)
    parser.add_argument("--variants", default="default,wayland-cached")
    args = parser.parse_args()
    variants = args.variants.split(",")
    rounds = []
    with SwaySession(input_helper=False) as sway:
        for r in range(args.rounds):
            hl = x11.headless(args.build, args.seconds)
            row = {"headless_us": hl["frame_ns"] / 1000.0, "windowed": {}}
            order = variants[r % len(variants):] + variants[:r % len(variants)]
            for variant in order:
                row["windowed"][variant] = windowed(sway, args.build, args.seconds, variant)
            row["sprite_sw"] = testsprite(sway, "software")
            row["sprite_default"] = testsprite(sway, None)
            rounds.append(row)
            print("round %d: headless %.1f us; " % (r + 1, row["headless_us"]) + "; ".join(
                "%s %.0f fps, ours %.1f us, sway %.1f us, wall %.1f us, waited for a core %.1f us, %.2f sw/frame, "
                "displayed %s discarded %s of %s" % (
                    v, w["fps"], w["cpu_us"], w["server_us"], w["wall_us"], w["delay_us"], w["switches"],
                    w["displayed"], w["discarded"], w["frames"])
                for v, w in row["windowed"].items()) +
                "; testsprite2 software %.0f fps, default %.0f fps" % (
                    row["sprite_sw"], row["sprite_default"]), flush=True)
    headless_us = x11.median([r["headless_us"] for r in rounds])
    sprite_sw = x11.median([r["sprite_sw"] for r in rounds])
    sprite_default = x11.median([r["sprite_default"] for r in rounds])
    print("\nmedians over %d rounds: headless frame %.1f us; testsprite2 %.0f fps (software), "
          "%.0f fps (default renderer)" % (len(rounds), headless_us, sprite_sw, sprite_default))
    print("| variant | path | fps | wall us | ours us | sway us | ours/hl | overlap | net-ovl | "
          "switches | /sprite sw | /sprite default |")
    print("|---|---|---|---|---|---|---|---|---|---|---|---|")
    for v in variants:
        def m(key):
            return x11.median([r["windowed"][v][key] for r in rounds])
        ours, server, wall = m("cpu_us"), m("server_us"), m("wall_us")
        ratio, overlap = ours / headless_us, wall / max(ours, server)
        # The same with the time our main thread waited for a core that others held taken off.
        net = (wall - m("delay_us")) / max(ours, server)
        print("| %s | %s | %.0f | %.1f | %.1f | %.1f | %.2f %s | %.2f %s | %.2f | %.2f | %.2f "
              "| %.2f |" % (
            v, rounds[-1]["windowed"][v]["path"], m("fps"), wall, ours, server,
            ratio, x11.verdict(ratio, 2.2), overlap, x11.verdict(overlap, 1.2), net, m("switches"),
            m("fps") / sprite_sw, m("fps") / sprite_default))


if __name__ == "__main__":
    main()
