#!/usr/bin/env python3
"""GUI tests started at the same moment each get an X display of their own
(with-xvfb.py): COUNT of them start together, each marks its display's root
window with its own name, waits until all have done so, and reads the mark
back. A display shared by two, or one an instance cannot open, fails.

Usage: gui_displays.py --wrapper WITH-XVFB [--count N (8)]
Exit code 0 when every instance saw its own display, 1 otherwise.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

MARK = "_ZOLT_DISPLAY_OWNER"

# What each instance runs on its display: mark it, wait for the others,
# read the mark back.
INSTANCE = r"""
import os, subprocess, sys, time
name, barrier, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
def xprop(*args):
    return subprocess.run(["xprop", "-root"] + list(args), capture_output=True, text=True)
r = xprop("-f", "%(mark)s", "8s", "-set", "%(mark)s", name)
if r.returncode != 0:
    print(f"{os.environ.get('DISPLAY')}: cannot mark the display: {r.stderr.strip()}")
    sys.exit(1)
open(os.path.join(barrier, name), "w").close()
end = time.monotonic() + 120
while len(os.listdir(barrier)) < count and time.monotonic() < end:
    time.sleep(0.1)
r = xprop("%(mark)s")
want = f'%(mark)s(STRING) = "{name}"'
print(f"{os.environ.get('DISPLAY')}: {r.stdout.strip() or r.stderr.strip()}")
sys.exit(0 if r.stdout.strip() == want else 1)
""" % {"mark": MARK}


def main(argv):
    p = argparse.ArgumentParser()
    p.add_argument("--wrapper", required=True, help="with-xvfb.py")
    p.add_argument("--count", type=int, default=8)
    args = p.parse_args(argv)
    work = tempfile.mkdtemp(prefix="gui-displays-")
    try:
        barrier = os.path.join(work, "barrier")
        os.makedirs(barrier)
        script = os.path.join(work, "instance.py")
        with open(script, "w") as f:
            f.write(INSTANCE)
        started = time.monotonic()
        procs = [subprocess.Popen([sys.executable, args.wrapper, "--screen", "320x240x24", sys.executable, script,
                                   f"instance-{i}", barrier, str(args.count)],
                                  stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
                 for i in range(args.count)]
        bad = 0
        for i, proc in enumerate(procs):
            out = proc.communicate(timeout=300)[0].decode("utf-8", "replace")
            seen = [line for line in out.splitlines() if not line.startswith("with-xvfb: display")]
            print(f"instance-{i}: exit {proc.returncode}: {' | '.join(seen)}")
            bad += proc.returncode != 0
        print(f"{args.count} displays at once in {time.monotonic() - started:.1f} s; {bad} not their own")
        return 1 if bad else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
