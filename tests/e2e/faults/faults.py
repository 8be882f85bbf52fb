#!/usr/bin/env python3
"""Fault sweeps of the launcher under Wine: every call of one kind failing
in turn, in whole runs.

The fault launcher (fault-main.cpp: the demo launcher with the N-th call of
one kind failing as the platform would fail it) runs through the
Windows-side fault-driver, inside one Wine session per part, for N = 1,
2, ... until a run no longer reaches its N-th call. Every run is judged:
it ends by itself, the step whose call failed gives its exit code and its
one report to the user (or, where the launcher ignores the failure by
design, the outcome the driver's table names for that call site), nothing
it made is left in the temporary directory, the demo is either not
installed or fully installed, and the single-instance mutex is gone
(fault-driver.cpp says how).

Parts (one Wine prefix each, in the build tree):
  extract  extract-only runs into a new --path directory
  silent   silent installations of the demo (certificate included), then
           the same with a ".custom" directory beside the launcher, failing
           the calls of the custom directory's copy and its cleanup
  gui      interactive installations; needs an X display (xvfb-run), the
           driver reads and dismisses the message boxes

Usage: faults.py --part extract|silent|gui --build BUILD-DIR
                 [--kinds heap,open,...] [--from N] [--max N] [--verbose]

Exit code 0 when every run passed, 1 otherwise.
"""
import argparse
import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.normpath(os.path.join(HERE, "..", "..", ".."))
sys.path.insert(0, os.path.dirname(HERE))
from launcher_e2e import winpath  # noqa: E402

KINDS = "heap,open,read,write,query,delete,close,dir,resource,lazy"


def main(argv):
    p = argparse.ArgumentParser()
    p.add_argument("--part", required=True, choices=["extract", "silent", "gui"])
    p.add_argument("--build", required=True, help="the win64 build tree")
    p.add_argument("--kinds", default=KINDS)
    p.add_argument("--from", dest="first", type=int, help="first fault point (1)")
    p.add_argument("--max", type=int, help="last fault point tried (3000)")
    p.add_argument("--timeout", type=int, default=3000, help="seconds for the whole part")
    p.add_argument("--verbose", action="store_true", help="one line per fault point")
    args = p.parse_args(argv)

    build = os.path.abspath(args.build)
    out = os.path.join(build, "tests", "e2e", "faults")
    prefix = os.path.join(out, f"{args.part}-wineprefix")
    work = os.path.join(out, f"work-{args.part}")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    env = dict(os.environ, ZOLT_WINEPREFIX=prefix, WINEPREFIX=prefix, WINEDEBUG="-all")
    if args.part != "gui":
        # No display: a message box nobody can dismiss must not appear.
        env.pop("DISPLAY", None)
    elif not env.get("DISPLAY"):
        print("the gui part needs an X display (run it under xvfb-run)")
        return 1
    if args.verbose:
        env["ZOLT_FAULT_VERBOSE"] = "1"

    payload = os.path.join(build, "payload")
    packages = [os.path.join(payload, n) for n in sorted(os.listdir(payload)) if n.endswith("_amd64.msi")]
    packages += [os.path.join(payload, n) for n in sorted(os.listdir(payload)) if n.endswith("_arm64.msi")]
    packages += [os.path.join(payload, "common.cab")]
    driver_args = ["--launcher", winpath(os.path.join(out, "fault_launcher.exe")),
                   "--work", winpath(work),
                   "--packages", ",".join(winpath(f) for f in packages),
                   "--kinds", args.kinds, "--runs", "silent,custom" if args.part == "silent" else args.part]
    if args.first:
        driver_args += ["--from", str(args.first)]
    if args.max:
        driver_args += ["--max", str(args.max)]

    # The launcher's functions by image offset, to name where a fault hit.
    launcher = os.path.join(out, "fault_launcher.exe")
    symbols = os.path.join(work, "symbols.txt")
    headers = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", launcher], capture_output=True, text=True).stdout
    base = int(next(line.split()[1] for line in headers.splitlines() if line.startswith("ImageBase")), 16)
    names = subprocess.run(["x86_64-w64-mingw32-nm", "-C", "--defined-only", launcher], capture_output=True,
                           text=True).stdout
    entries = []
    for line in names.splitlines():
        parts = line.split(" ", 2)
        if len(parts) == 3 and parts[1] in "tT" and int(parts[0], 16) >= base:
            entries.append((int(parts[0], 16) - base, parts[2]))
    with open(symbols, "w") as f:
        f.writelines(f"{off:x} {name}\n" for off, name in sorted(entries))
    driver_args += ["--symbols", winpath(symbols)]

    started = time.monotonic()
    # The driver's output goes to a file: the Wine services its first start
    # brings up inherit the handles and outlive it, so a pipe would not end.
    out_path = os.path.join(work, "driver.out")
    with open(out_path, "wb") as f:
        proc = subprocess.Popen([os.path.join(SOURCE, "cmake", "wine-run.sh"), os.path.join(out, "fault-driver.exe")]
                                + driver_args, env=env, stdin=subprocess.DEVNULL, stdout=f, stderr=f)
        try:
            rc = proc.wait(timeout=args.timeout)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
            rc = None
    with open(out_path, "rb") as f:
        sys.stdout.write(f.read().decode("utf-8", "replace").replace("\r\n", "\n"))
    for cmd in (["wineserver", "-k"], ["wineserver", "-w"]):
        subprocess.run(cmd, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    took = time.monotonic() - started
    if rc is None:
        print(f"FAIL: the sweep did not end within {args.timeout} s")
    ok = rc == 0
    print(f"faults {args.part}: {'passed' if ok else 'FAILED'} in {took:.1f} s")
    if ok:
        shutil.rmtree(work, ignore_errors=True)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
