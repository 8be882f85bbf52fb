#!/usr/bin/env python3
"""Races on the launcher's extracted files, a full disk under its extraction
directory, and a squatted single-instance mutex, under Wine.

All three parts run launchers that carry one small test package (plain.msi
of tests/e2e/fixtures) through the Windows-side race-driver, which runs
every repetition inside one Wine session and judges it: exit code and
messages, the Windows Installer's verbose log (which product it opened),
the product states (the attacker's replacement package is another
product), the installed file, and what is left on disk. Each part has a
Wine prefix of its own in the build tree.

  races   Six races, each --reps times (default 200) with an attacker thread
          of the driver racing a real installation: replace the package from
          the moment it appears; replace it once the installer has started;
          hold a write handle on it; rename it; rename or remove the
          extraction directory (and plant one of the attacker's); append to
          it. Timing varies with a seed per run: tight loops from the first
          moment, random start delays and random pauses between attempts.
          Half the runs use a random extraction directory in the
          temporary directory, half a --path directory.
  disk    The temporary directory on a tmpfs with no room, room for half the
          package, for the package less one byte (failures expected), and
          for the whole package (installed). Mounting needs root; where it
          is refused the part uses a launcher whose file layer limits its
          writes instead (the write seam of Runtime/include/internal/
          fileio.h) and says so. --seam forces that.
  mutex   A helper holds "QuorStubInstaller": the installation run must give
          up at once; the holder then lets go or is killed, and the next
          run installs.

Usage: races.py --part races|disk|mutex --build BUILD-DIR [--reps N]
                [--seed S] [--only RACE] [--seam]

Every run is a real installation (uninstalled again by the driver), none
an extract-only run. 1,000 runs of each race (about half an hour on an idle
2-core machine):
  python3 tests/e2e/races/races.py --part races --build build/race-win64 --reps 1000

Exit code 0 when every run ended as allowed, 1 otherwise.
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
from launcher_e2e import Failure, check, winpath  # noqa: E402

PAGE = 4096


class Session:
    """The part's Wine prefix, work directory and built programs."""

    def __init__(self, args):
        self.build = os.path.abspath(args.build)
        self.out = os.path.join(self.build, "tests", "e2e", "races")
        self.prefix = os.path.join(self.out, f"{args.part}-wineprefix")
        self.work = os.path.join(self.out, f"work-{args.part}")
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.work)
        # No display: a message box nobody can dismiss must not appear.
        self.env = dict(os.environ, ZOLT_WINEPREFIX=self.prefix, WINEPREFIX=self.prefix, WINEDEBUG="-all")
        self.env.pop("DISPLAY", None)
        self.runs = 0

    def path(self, *parts):
        p = os.path.join(self.build, "tests", "e2e", *parts)
        check(os.path.isfile(p), f"{p} is missing: build the tree first")
        return p

    def fixture_text(self):
        return winpath(os.path.join(SOURCE, "tests", "e2e", "fixtures", "files", "fixture.txt"))

    def driver(self, mode, args, timeout, env=None):
        """Runs race-driver MODE ARGS under Wine and prints its report.
        Its output goes to a file: the Wine services its first start brings
        up inherit the handles and outlive it, so a pipe would not end."""
        self.runs += 1
        out_path = os.path.join(self.work, f"driver-{self.runs}.out")
        e = dict(self.env)
        e.update(env or {})
        with open(out_path, "wb") as out:
            p = subprocess.Popen([os.path.join(SOURCE, "cmake", "wine-run.sh"), self.path("races", "race-driver.exe"),
                                  mode] + args, env=e, stdin=subprocess.DEVNULL, stdout=out, stderr=out)
            try:
                p.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()
                raise Failure(f"race-driver {mode} did not end within {timeout} s")
            finally:
                with open(out_path, "rb") as f:
                    sys.stdout.write(f.read().decode("utf-8", "replace").replace("\r\n", "\n"))
                sys.stdout.flush()
        return p.returncode

    def close(self):
        subprocess.run(["wineserver", "-k"], env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)


def part_races(s, args):
    extra = ["--seed", str(args.seed)] if args.seed is not None else []
    if args.only:
        extra += ["--only", args.only]
    rc = s.driver("races", ["--launcher", winpath(s.path("races", "race_launcher.exe")),
                            "--work", winpath(s.work),
                            "--package", winpath(s.path("fixtures", "plain.msi")),
                            "--replacement", winpath(s.path("races", "replacement.msi")),
                            "--fixture-text", s.fixture_text(),
                            "--reps", str(args.reps)] + extra, timeout=600 + args.reps * 6 * 5)
    check(rc == 0, f"race-driver races: exit {rc}")


class Tmpfs:
    """A tmpfs with exactly @room free bytes (whole pages): one page more,
    filled by a one-page file."""

    def __init__(self, path, room):
        self.path = path
        os.makedirs(path)
        r = subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={room + PAGE}", "tmpfs", path],
                           stdin=subprocess.DEVNULL, capture_output=True, text=True)
        if r.returncode != 0:
            os.rmdir(path)
            raise OSError(f"mount -t tmpfs: {(r.stderr or r.stdout).strip()} (exit {r.returncode})")
        with open(os.path.join(path, "filler"), "wb") as f:
            f.write(bytes(PAGE))
        st = os.statvfs(path)
        self.free = st.f_bavail * st.f_frsize

    def unmount(self, s):
        if subprocess.run(["umount", self.path], stderr=subprocess.DEVNULL).returncode != 0:
            # A Wine process still in it (the server keeps no directory of
            # ours open, but a lingering service might): end the session.
            s.close()
            subprocess.run(["umount", "-l", self.path])
        os.rmdir(self.path)


def part_disk(s, args):
    package = s.path("races", "disk-package.msi")
    size = os.path.getsize(package)
    # The package is 4 pages and 1 byte: half of it and all of it but one
    # byte are whole pages, which is what a tmpfs can offer.
    check(size % PAGE == 1, f"{package} has {size} bytes, not a multiple of {PAGE} plus one")
    cases = [("no room at all", 0, "disk-full"),
             ("half the package", size // 2, "disk-full"),
             ("the package less one byte", size - 1, "disk-full"),
             ("the whole package", size + PAGE - 1, "installed")]
    log = winpath(os.path.join(s.work, "msi.log"))
    fallback = "--seam given" if args.seam else None
    failed = []
    for i, (what, room, expect) in enumerate(cases):
        common = ["--log", log, "--fixture-text", s.fixture_text(), "--expect", expect]
        tmp = os.path.join(s.work, f"small-{i}")
        fs = None
        if not fallback:
            try:
                fs = Tmpfs(tmp, room)
            except OSError as e:
                fallback = str(e)
        try:
            if fs:
                print(f"tmpfs with {fs.free} bytes free ({what}, the package has {size}):", flush=True)
                check(fs.free == room, f"the tmpfs has {fs.free} bytes free, not {room}")
                rc = s.driver("disk", ["--launcher", winpath(s.path("races", "race_disk_launcher.exe")),
                                       "--tmp", winpath(tmp), "--keep", "filler"] + common, timeout=300)
            else:
                os.makedirs(tmp)
                print(f"write seam with {room} bytes of room ({what}, the package has {size}; no tmpfs: "
                      f"{fallback}):", flush=True)
                rc = s.driver("disk", ["--launcher", winpath(s.path("races", "race_disk_seam_launcher.exe")),
                                       "--tmp", winpath(tmp)] + common, timeout=300,
                              env={"ZOLT_E2E_DISK_ROOM": str(room)})
        finally:
            if fs:
                fs.unmount(s)
        if rc != 0:
            failed.append(what)
    print(f"full disk: {'tmpfs' if not fallback else 'write seam'}; "
          f"{len(cases) - len(failed)} of {len(cases)} cases as expected")
    check(not failed, f"wrong outcome with {', '.join(failed)}")


def part_mutex(s, args):
    rc = s.driver("mutex", ["--launcher", winpath(s.path("races", "race_launcher.exe")),
                            "--helper", winpath(s.path("e2e-helper.exe")),
                            "--work", winpath(s.work),
                            "--fixture-text", s.fixture_text(),
                            "--reps", str(args.reps)], timeout=600)
    check(rc == 0, f"race-driver mutex: exit {rc}")


PARTS = {"races": part_races, "disk": part_disk, "mutex": part_mutex}


def main(argv):
    p = argparse.ArgumentParser()
    p.add_argument("--part", required=True, choices=sorted(PARTS))
    p.add_argument("--build", required=True, help="the win64 build tree")
    p.add_argument("--reps", type=int, help="runs of each race (200), or squatted runs (10)")
    p.add_argument("--seed", type=int, help="the races' seed (default: from the clock, printed)")
    p.add_argument("--only", help="only this race (race-driver.cpp names them)")
    p.add_argument("--seam", action="store_true", help="full disk through the write seam even where tmpfs works")
    args = p.parse_args(argv)
    if args.reps is None:
        args.reps = 10 if args.part == "mutex" else 200
    s = Session(args)
    started = time.monotonic()
    try:
        PARTS[args.part](s, args)
        ok = True
    except Failure as e:
        print(f"FAIL: {e}")
        ok = False
    finally:
        s.close()
    print(f"{args.part}: {'passed' if ok else 'FAILED'} in {time.monotonic() - started:.1f} s")
    if ok:
        shutil.rmtree(s.work, ignore_errors=True)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
