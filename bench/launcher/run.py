#!/usr/bin/env python3
"""Whole-process timings of the launcher under Wine, against the floor
program, an NSIS installer of the same files and an empty Wine process
(programs built by the win64-bench preset, see CMakeLists.txt here).

Every round runs each command once, in a new random order, as a whole Wine
process (`wine <exe> ...`, the wineserver kept running), timed from start to
exit; the output directory is removed before each run, outside the timing.
Write times under Wine have a heavy tail, so only medians (and quartiles)
are reported, with the ratios the targets are about.

Usage: bench/launcher/run.py [--build build/win64-bench] [--rounds 40]
Exit code 0 when every run succeeded and wrote exactly the packages.
"""
import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import time

PACKAGE_SIZES = (57528320, 55410688, 61537305)


def winpath(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def quartiles(values):
    q = statistics.quantiles(values, n=4)
    return q[0], statistics.median(values), q[2]


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", default="build/win64-bench")
    ap.add_argument("--rounds", type=int, default=40)
    args = ap.parse_args(argv)

    bench = os.path.join(args.build, "bench", "launcher")
    launcher = os.path.join(bench, "bench_launcher.exe")
    out = os.path.abspath(os.path.join(args.build, "bench-out"))
    env = dict(os.environ, WINEPREFIX=os.path.abspath(os.path.join(args.build, "bench-wineprefix")),
               WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    env.pop("DISPLAY", None)

    def target(name):
        return os.path.join(out, name)

    # name: (command line, directory the run must fill with the packages)
    commands = {
        "empty": ([os.path.join(bench, "bench-empty.exe")], None),
        "empty GUI": ([os.path.join(bench, "bench-empty-gui.exe")], None),
        "launcher start-up": ([launcher, "--silent", "--version"], None),
        "bare launcher start-up": ([os.path.join(bench, "bench_bare_launcher.exe"), "--silent", "--version"], None),
        "floor": ([os.path.join(bench, "bench-floor.exe"), winpath(target("floor"))], "floor"),
        "launcher": ([launcher, "--extract", "--silent", "--path", winpath(target("launcher"))], "launcher"),
        "nsis": ([os.path.join(bench, "bench-nsis.exe"), "/S", "/D=" + winpath(target("nsis"))], "nsis"),
        "nsis /NCRC": ([os.path.join(bench, "bench-nsis.exe"), "/S", "/NCRC", "/D=" + winpath(target("nsis-ncrc"))],
                       "nsis-ncrc"),
    }

    if not os.path.exists(os.path.join(env["WINEPREFIX"], "system.reg")):
        subprocess.run(["wineboot", "-i"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=env)
    server = subprocess.Popen(["wineserver", "-f", "-p"], env=env)
    times = {name: [] for name in commands}
    failures = 0
    try:
        os.makedirs(out, exist_ok=True)
        # One untimed round: the programs' pages and Wine's DLLs in the page
        # cache, the prefix's registry loaded.
        for rnd in range(args.rounds + 1):
            order = list(commands)
            random.shuffle(order)
            for name in order:
                cmd, subdir = commands[name]
                if subdir:
                    shutil.rmtree(target(subdir), ignore_errors=True)
                start = time.perf_counter()
                rc = subprocess.run(["wine"] + cmd, env=env, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL).returncode
                elapsed = time.perf_counter() - start
                sizes = sorted(os.path.getsize(os.path.join(target(subdir), f))
                               for f in os.listdir(target(subdir))) if subdir else None
                if rc != 0 or (subdir and sizes != sorted(PACKAGE_SIZES)):
                    failures += 1
                    print(f"round {rnd}: {name}: exit code {rc}, files {sizes}", file=sys.stderr)
                if rnd > 0:
                    times[name].append(elapsed)
    finally:
        shutil.rmtree(out, ignore_errors=True)
        subprocess.run(["wineserver", "-k"], env=env)
        server.wait()

    med = {}
    print(f"{args.rounds} rounds; wall time of whole Wine processes in ms: 25th percentile / median / 75th")
    for name, values in times.items():
        q1, m, q3 = quartiles(values)
        med[name] = m
        print(f"  {name:24} {q1 * 1000:7.1f} {m * 1000:7.1f} {q3 * 1000:7.1f}")
    print("ratios of medians:")
    print(f"  launcher / floor                   {med['launcher'] / med['floor']:.2f}  (target at most 1.10)")
    print(f"  nsis / launcher                    {med['nsis'] / med['launcher']:.2f}")
    print(f"  nsis /NCRC / launcher              {med['nsis /NCRC'] / med['launcher']:.2f}")
    print(f"  launcher start-up / empty GUI      {med['launcher start-up'] / med['empty GUI']:.2f}  (target at most 1.2)")
    print(f"  bare launcher start-up / empty GUI {med['bare launcher start-up'] / med['empty GUI']:.2f}")
    print(f"  launcher start-up / empty          {med['launcher start-up'] / med['empty']:.2f}")
    for name in ("bench_bare_launcher.exe", "bench_launcher.exe"):
        print(f"size of {name}: {os.path.getsize(os.path.join(bench, name)):,} bytes")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
