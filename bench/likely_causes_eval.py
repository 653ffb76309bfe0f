#!/usr/bin/env python3
"""How well series --explain names a planted cause: scenarios recorded from
ampsim --host cyclic --alarm-cause ... through quillon-cli wait --rearm, and
series of random alarms (--alarm-mean without a cause). Prints three
figures: the planted cause among the top three (without noise, and with
--alarm-noise 0.2), and "No likely cause" for the random series.

Run by hand from a build (it takes some minutes):
    bench/likely_causes_eval.py build/bin [--captures 20] [--jobs 2]
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor

# Where each cause's field is read, in records before the alarm read, and
# the comparison that names it (the cyclic host's cycle: status, position,
# speed, setpoint, alarm, I/O; the I/O read of the cycle before).
PLACES = {
    "position-above": (("position",), 3, ">="),
    "position-below": (("position",), 3, "<="),
    "speed-above": (("speed",), 2, ">="),
    "speed-below": (("speed",), 2, "<="),
    "setpoint": (("setpoint",), 1, "="),
    # The status byte and its moving bit read the same bits; so do the I/O
    # word, the input byte and each input's bit.
    "status=moving": (("moving", "status"), 4, "="),
    "status=stopped": (("moving", "status"), 4, "="),
    "status=in-position": (("status", "moving"), 4, "="),
    "input=home": (("home", "inputs", "io"), 5, ""),
    "input=end": (("end_sensor", "inputs", "io"), 5, ""),
}
CYCLE = 6

PLANTED = [
    ("position-above=40", 0), ("position-above=30", 0), ("position-above=45", 1),
    ("position-above=35", 2), ("position-below=10", 0), ("position-below=5", 0),
    ("position-below=20", 1), ("position-below=15", 2), ("speed-above=300", 0),
    ("speed-above=200", 0), ("speed-above=400", 1), ("speed-above=250", 2),
    ("speed-below=-300", 0), ("speed-below=-200", 0), ("speed-below=-400", 1),
    ("speed-below=-250", 2), ("setpoint=50", 0), ("setpoint=0", 0), ("setpoint=50", 1),
    ("setpoint=0", 2), ("status=moving", 0), ("status=stopped", 0), ("status=moving", 1),
    ("status=stopped", 2), ("status=in-position", 0), ("status=in-position", 1),
    ("input=home", 0), ("input=end", 0), ("input=home", 1), ("input=end", 1),
]


def expected(cause, lag):
    key = cause if cause.startswith(("status=", "input=")) else cause.split("=")[0]
    fields, before, comparison = PLACES[key]
    return fields, before + CYCLE * lag, comparison


def names_it(condition, cause, lag):
    """Whether a condition names the planted cause: its field (or one
    reading the same bits), its place, and for a threshold its direction."""
    fields, place, comparison = expected(cause, lag)
    for part in condition.split(" and "):
        words = part.split()
        if len(words) >= 3 and words[0] in fields and part.endswith("@T-%d" % place):
            if not comparison or words[1].startswith(comparison[0]):
                return True
    return False


def record(bin_dir, port, options, captures, folder):
    """captures saved by wait --rearm from ampsim with options, in folder."""
    home = tempfile.mkdtemp(prefix="quillon-eval-")
    env = dict(os.environ, XDG_CONFIG_HOME=home, XDG_RUNTIME_DIR=home)
    sim = subprocess.Popen([os.path.join(bin_dir, "ampsim"), "--port", str(port), "--no-usb",
                            "--host", "cyclic", "--traffic", "500"] + options,
                           env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        time.sleep(0.7)
        cli = [os.path.join(bin_dir, "quillon-cli"), "--port", "COM%d" % port]
        subprocess.run(cli + ["start", "--stop-on", "send", "1", "0x80", "0x80", "3"], env=env,
                       stdout=subprocess.DEVNULL, timeout=20, check=True)
        subprocess.run(cli + ["wait", "--rearm", "--count", str(captures), "--timeout", "600",
                              "--out", folder], env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=700, check=True)
    finally:
        sim.terminate()
        sim.wait()
        shutil.rmtree(home, ignore_errors=True)


def explain(bin_dir, folder, fields):
    out = subprocess.run([os.path.join(bin_dir, "quillon-cli"), "series", folder, "--fields",
                          fields, "--explain", "--json"], capture_output=True, text=True)
    return json.loads(out.stdout)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("bin_dir")
    parser.add_argument("--captures", type=int, default=20)
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--fields",
                        default=os.path.join(os.path.dirname(__file__), "..", "docs",
                                             "ampsim-fields.json"))
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix="quillon-causes-")
    runs = []
    for noise in (None, "0.2"):
        for i, (cause, lag) in enumerate(PLANTED):
            options = ["--alarm-mean", "300", "--alarm-cause", cause, "--alarm-lag", str(lag),
                       "--seed", str(100 + i)]
            if noise:
                options += ["--alarm-noise", noise]
            runs.append(("noise" if noise else "planted", cause, lag, options))
    for i in range(10):
        runs.append(("random", None, 0, ["--alarm-mean", "300", "--seed", str(500 + i)]))

    def run(index):
        kind, cause, lag, options = runs[index]
        folder = os.path.join(work, "s%03d" % index)
        os.makedirs(folder)
        record(args.bin_dir, 1 + index % args.jobs + 2, options, args.captures, folder)
        found = explain(args.bin_dir, folder, args.fields)
        top = found["causes"][:3]
        named = [c["condition"] for c in top] + [f for c in top for f in c["folded"]]
        if kind == "random":
            ok = not found["causes"]
        else:
            ok = any(names_it(c, cause, lag) for c in named)
        print("%-7s %-20s lag %d  %s  %s" % (kind, cause or "-", lag, "ok " if ok else "MISS",
                                             named[0] if named else "(none)"), flush=True)
        return kind, ok

    with ThreadPoolExecutor(max_workers=args.jobs) as pool:
        results = list(pool.map(run, range(len(runs))))
    shutil.rmtree(work, ignore_errors=True)
    for kind, words in (("planted", "planted cause among the top 3"),
                        ("noise", "planted cause among the top 3 with --alarm-noise 0.2"),
                        ("random", "\"No likely cause\" for random alarms")):
        oks = [ok for k, ok in results if k == kind]
        print("%s: %d of %d (%.0f%%)" % (words, sum(oks), len(oks), 100.0 * sum(oks) / len(oks)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
