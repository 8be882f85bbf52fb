#!/usr/bin/env python3
"""The packer's peak memory does not grow with the payload: packing the
launcher benchmark's three packages (174,476,313 bytes) and a payload of
1 GiB (four generated packages of 256 MiB), the packer process's
high-water mark of resident memory stays under 32 MiB and the two differ
by at most 1 MiB. The high-water mark is the packer's own VmHWM, read from
/proc every few milliseconds until it ends (its rusage maxrss would also
count this script's memory, which a forked child carries into exec; that
figure is checked against the limit too). The payloads are generated into
--work and removed afterwards, as are the launchers.

Usage: pack_memory.py --packer FILE --stub FILE --work DIR
Exit code 0 when both limits hold.
"""
import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

MIB = 1 << 20
BENCH_SIZES = (57528320, 55410688, 61537305)
LARGE_SIZES = (256 * MIB,) * 4
LIMIT = 32 * MIB
SPREAD = 1 * MIB


def write_package(path, size, seed):
    """@size pseudo-random bytes, written 1 MiB at a time."""
    rng = random.Random(seed)
    with open(path, "wb") as f:
        left = size
        while left:
            n = min(left, MIB)
            f.write(rng.randbytes(n))
            left -= n


def peak_rss(argv):
    """Runs @argv; returns (exit code, output, its own VmHWM in bytes, its
    rusage maxrss in bytes)."""
    with open(os.devnull, "rb") as devnull, tempfile.TemporaryFile() as out:
        p = subprocess.Popen(argv, stdin=devnull, stdout=out, stderr=subprocess.STDOUT)
        hwm = 0
        status_path = f"/proc/{p.pid}/status"
        while True:
            # Not reaped yet: the status stays readable until wait4, and
            # VmHWM only grows, so the last reading before exit is the peak
            # but for the final few milliseconds.
            try:
                with open(status_path) as f:
                    for line in f:
                        if line.startswith("VmHWM:"):
                            hwm = max(hwm, int(line.split()[1]) * 1024)
            except OSError:
                pass
            pid, status, usage = os.wait4(p.pid, os.WNOHANG)
            if pid:
                break
            time.sleep(0.005)
        p.returncode = os.waitstatus_to_exitcode(status)
        out.seek(0)
        return p.returncode, out.read().decode("utf-8", "replace"), hwm, usage.ru_maxrss * 1024


def pack(args, name, sizes):
    folder = os.path.join(args.work, name)
    os.makedirs(folder)
    cmd = [args.packer, "--stub", args.stub, "--allow-misfits"]
    for i, size in enumerate(sizes):
        path = os.path.join(folder, f"package-{i}.cab")
        write_package(path, size, f"{name}-{i}")
        cmd += ["--package", "1", path]
    out = os.path.join(folder, "launcher.exe")
    try:
        rc, text, hwm, maxrss = peak_rss(cmd + ["-o", out])
        ok = rc == 0 and os.path.getsize(out) > sum(sizes)
        if not ok:
            print(f"{name}: packing failed (exit code {rc}):\n{text}", file=sys.stderr)
        return ok, hwm, maxrss
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--packer", required=True)
    ap.add_argument("--stub", required=True)
    ap.add_argument("--work", required=True)
    args = ap.parse_args(argv)
    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    try:
        results = [(name, sum(sizes)) + pack(args, name, sizes)
                   for name, sizes in (("benchmark", BENCH_SIZES), ("1GiB", LARGE_SIZES))]
    finally:
        shutil.rmtree(args.work, ignore_errors=True)
    for name, total, ok, hwm, maxrss in results:
        print(f"{name}: {total:,} bytes of packages, peak resident memory {hwm / MIB:.2f} MiB "
              f"(rusage maxrss {maxrss / MIB:.2f} MiB)")
    rss = [r[3] for r in results]
    failures = [r[0] for r in results if not r[2]]
    if any(r >= LIMIT for r in rss + [r[4] for r in results]):
        failures.append(f"peak memory {max(rss) / MIB:.2f} MiB, limit {LIMIT / MIB:.0f} MiB")
    if max(rss) - min(rss) > SPREAD:
        failures.append(f"peak memory grows with the payload by {(max(rss) - min(rss)) / MIB:.2f} MiB")
    if failures:
        print("FAIL: " + "; ".join(failures))
        return 1
    print(f"ok: peak memory the same within {(max(rss) - min(rss)) / 1024:.0f} KiB, under {LIMIT / MIB:.0f} MiB")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
