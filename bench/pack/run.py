#!/usr/bin/env python3
"""Whole-process timings of packing the launcher benchmark's payload (the
three packages of bench/launcher, 174,476,313 bytes, generated here by
tests/e2e/make-fixture.py) with the Linux packer, against makensis storing
the same files without compression (bench/launcher/bench.nsi.in:
SetCompress off), in the same run.

Every round runs both once, in a new random order, timed from start to
exit; each output is removed after its run, outside the timing. One
untimed round first puts the packages and programs into the page cache.
Only medians (and quartiles) are reported, with their ratio.

Usage: bench/pack/run.py [--packer build/native-release/packer/marrowdale-pack]
           [--stub build/win64-release/installer/marrowdale-stub-x86-64.exe]
           [--work build/bench-pack] [--rounds 15]
Exit code 0 when every run succeeded; the work folder is removed at the end.
"""
import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
PACKAGES = (("a", 57528320), ("b", 55410688), ("c", 61537305))


def quartiles(values):
    q = statistics.quantiles(values, n=4)
    return q[0], statistics.median(values), q[2]


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--packer", default="build/native-release/packer/marrowdale-pack")
    ap.add_argument("--stub", default="build/win64-release/installer/marrowdale-stub-x86-64.exe")
    ap.add_argument("--work", default="build/bench-pack")
    ap.add_argument("--rounds", type=int, default=15)
    args = ap.parse_args(argv)
    work = os.path.abspath(args.work)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    try:
        return bench(args, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def bench(args, work):
    pkgs = {}
    for name, size in PACKAGES:
        pkgs[name] = os.path.join(work, f"package-{name}.bin")
        subprocess.run([sys.executable, os.path.join(ROOT, "tests", "e2e", "make-fixture.py"), pkgs[name],
                        str(size)], check=True)
    with open(os.path.join(ROOT, "bench", "launcher", "bench.nsi.in"), encoding="utf-8") as f:
        nsi = f.read()
    for key, value in {"bench_nsis_target": "amd64-unicode", "bench_out": work, "pkg_a": pkgs["a"],
                       "pkg_b": pkgs["b"], "pkg_c": pkgs["c"]}.items():
        nsi = nsi.replace(f"@{key}@", value)
    script = os.path.join(work, "bench.nsi")
    with open(script, "w", encoding="utf-8") as f:
        f.write(nsi)

    launcher = os.path.join(work, "launcher.exe")
    package_args = [a for name, _ in PACKAGES for a in ("--package", "1", pkgs[name])]
    commands = {
        "marrowdale-pack": ([args.packer, "--stub", args.stub, "--allow-misfits"] + package_args +
                            ["-o", launcher], launcher),
        "makensis": (["makensis", "-V1", script], os.path.join(work, "bench-nsis.exe")),
    }
    times = {name: [] for name in commands}
    failures = 0
    payload = sum(size for _, size in PACKAGES)
    for rnd in range(args.rounds + 1):
        order = list(commands)
        random.shuffle(order)
        for name in order:
            cmd, out = commands[name]
            start = time.perf_counter()
            rc = subprocess.run(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL).returncode
            elapsed = time.perf_counter() - start
            size = os.path.getsize(out) if os.path.exists(out) else 0
            if rc != 0 or size < payload:
                failures += 1
                print(f"round {rnd}: {name}: exit code {rc}, {size:,} bytes written", file=sys.stderr)
            if os.path.exists(out):
                os.remove(out)
            if rnd > 0:
                times[name].append(elapsed)
    med = {}
    print(f"{args.rounds} rounds, {payload:,} bytes of packages; wall time in ms: 25th percentile / median / 75th")
    for name, values in times.items():
        q1, m, q3 = quartiles(values)
        med[name] = m
        print(f"  {name:16} {q1 * 1000:7.1f} {m * 1000:7.1f} {q3 * 1000:7.1f}")
    print(f"ratio of medians: marrowdale-pack / makensis {med['marrowdale-pack'] / med['makensis']:.2f}"
          "  (target at most 1.0)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
