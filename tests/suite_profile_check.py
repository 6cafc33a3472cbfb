#!/usr/bin/env python3
"""suite_profile_check.py — the test suite's profile of torvex32-bench against the runner's
real output: its three files are well-formed, its install.sh makes the script the suite runs,
and every output template of results-definition.xml picks out of that script's output the
value the runner's JSON result gives (the rate as the stable line rounds the runs' exact rates,
the frame time's 99th percentile and the CPU time per frame exactly).

    suite_profile_check.py PROFILE_DIR [RUNNER ARGUMENT...]

PROFILE_DIR holds the profile (the build's, or the installed package's); the arguments go after
the menu options, as a short run's --frames. It runs the script once per menu entry of the
first option (headless; windowed only when DISPLAY is set) with the first present path.
Results are found as the suite finds them: the last line that holds the template's line hint,
split at spaces, the value at the template's #_RESULT_# place.
"""
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree


def parsers(profile):
    """(template, hint, importance) of every ResultsParser, in order."""
    root = ElementTree.parse(os.path.join(profile, "results-definition.xml")).getroot()
    return [(p.findtext("OutputTemplate"), p.findtext("LineHint"),
             p.findtext("Importance") or "Primary") for p in root.iter("ResultsParser")]


def menus(profile):
    """{identifier: [(name, value), ...]} of the test settings."""
    root = ElementTree.parse(os.path.join(profile, "test-definition.xml")).getroot()
    return {o.findtext("Identifier"): [(e.findtext("Name"), e.findtext("Value"))
                                       for e in o.iter("Entry")]
            for o in root.iter("Option")}


def pick(output, template, hint):
    """The value the suite's parser takes for template out of output, or None."""
    lines = [line for line in output.splitlines() if hint in line]
    if not lines:
        return None
    position = template.split().index("#_RESULT_#")
    fields = lines[-1].split()
    return fields[position] if position < len(fields) else None


def exact_rate(result):
    """The rate the stable line rounds: the median of the runs' exact rates (the JSON's
    rate_per_10s is already rounded to a tenth, so rounding it again could differ by one)."""
    runs = [r for r in result["runs"] if r["complete"]] or result["runs"]
    return statistics.median(r["frames"] * 10000 / r["elapsed_ms"] for r in runs)


def install(profile, home):
    """Runs install.sh as the suite does (in the test's folder, which is also HOME)."""
    env = dict(os.environ, HOME=home)
    subprocess.run(["sh", os.path.join(profile, "install.sh")], cwd=home, env=env, check=True)
    with open(os.path.join(home, "install-exit-status")) as f:
        status = f.read().strip()
    if status != "0":
        raise AssertionError("install.sh says %s" % status)
    return os.path.join(home, "torvex32")


def run_and_compare(profile, script, home, arguments):
    """Runs the suite's script with arguments; returns (picked, json) after checking every
    template against the JSON result the script keeps."""
    log = os.path.join(home, "log.txt")
    env = dict(os.environ, HOME=home, LOG_FILE=log)
    kept = set(os.listdir(os.path.join(home, "results")))
    subprocess.run([script] + arguments, cwd=home, env=env, check=True, timeout=240)
    # The trial's whole result, kept by the script beside it.
    new = set(os.listdir(os.path.join(home, "results"))) - kept
    if len(new) != 1:
        raise AssertionError("the script kept %d results, not 1" % len(new))
    result_file = os.path.join(home, "results", new.pop())
    with open(os.path.join(home, "test-exit-status")) as f:
        if f.read().strip() != "0":
            raise AssertionError("the runner failed:\n" + open(log).read())
    with open(log) as f:
        output = f.read()
    with open(result_file) as f:
        result = json.load(f)
    picked = {}
    for template, hint, _ in parsers(profile):
        value = pick(output, template, hint)
        if value is None:
            raise AssertionError("no line for %r in:\n%s" % (template, output))
        picked[hint] = float(value)
    expected = {
        "frames/10s": float("%.0f" % exact_rate(result)),
        "frame time p99": result["frame_ns_p99"] / 1000.0,
        "cpu per frame": result["cpu_ns_per_frame"] / 1000.0,
    }
    if set(picked) != set(expected):
        raise AssertionError("templates %s, expected %s" % (sorted(picked), sorted(expected)))
    for hint, value in expected.items():
        if abs(picked[hint] - value) > 1e-9 * max(1.0, abs(value)):
            raise AssertionError("%s: the suite would read %r, the JSON says %r\n%s"
                                 % (hint, picked[hint], value, output))
    return picked, result


def check(profile, extra, log=print):
    """Checks the profile end to end; returns the JSON results of the runs, one per mode."""
    for name in ("test-definition.xml", "results-definition.xml"):
        ElementTree.parse(os.path.join(profile, name))  # well-formed, or it raises
    if len([p for p in parsers(profile) if p[2] == "Primary"]) != 1:
        raise AssertionError("the profile needs exactly one primary result")
    options = menus(profile)
    present = options["present"][0][1]
    results = []
    home = tempfile.mkdtemp(prefix="torvex32-suite-")
    try:
        script = install(profile, home)
        for name, mode in options["mode"]:
            if mode == "--window" and not os.environ.get("DISPLAY"):
                continue
            arguments = mode.split() + present.split() + extra
            picked, result = run_and_compare(profile, script, home, arguments)
            log("%s: %s" % (name, ", ".join("%s %g" % kv for kv in picked.items())))
            results.append(result)
    finally:
        shutil.rmtree(home, ignore_errors=True)
    return results


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    check(sys.argv[1], sys.argv[2:])
    print("suite_profile_check: the templates pick out the JSON's values")
