#!/usr/bin/env python3
"""End-to-end cases of the launcher under Wine.

Each case runs real launchers through the Windows-side driver (e2e-driver:
full 32-bit exit code, standard output and error captured into files),
with Wine helper processes (e2e-helper) where another program must hold a
mutex or a file. GUI cases expect an X display (with-xvfb.py) and use xdotool
and ImageMagick's import. Test launchers built with e2e-hook-main.cpp pause
between writing and verifying each package (ZOLT_E2E_HOOK_DIR) so a case
can act on the file at that moment.

Usage: launcher_e2e.py --case NAME [paths, see main()]
Exit code 0 when the case passed, 1 when it failed.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import time

TITLE = "Marrowdale Installer"
VERSION = "7.2.0r169963"
# The caption of the one box of a launcher whose identity cannot be read.
FALLBACK_TITLE = "Installer"
IDENTITY_REPORT = "Internal error: The launcher's identity is missing or damaged ({})."

HELP = """-- Marrowdale Installer v7.2.0r169963 --

Command Line Parameters:

--extract
    Extract file contents to temporary directory
--logging
    Enables MSI installer logging (to extract path)
--msi-log-file <path/to/file>
    Sets MSI logging to <file>
--msiparams <parameters>
    Specifies extra parameters for the MSI installers
    double quoted arguments must be doubled and put
    in quotes: --msiparams "PROP=""a b c\"\"\"
--msi-prop <prop> <value>
    Adds <prop>=<value> to the MSI parameters,
    quoting the property value if necessary
--no-silent-cert
    Do not install Marrowdale Certificate automatically
    when --silent option is specified
--path
    Sets the path of the extraction directory
--reinstall
    Forces Marrowdale to get re-installed
--ignore-reboot
   Do not set exit code to 3010 if a reboot is required
--silent
   Enables silent mode installation
--version
   Displays version number and exit
-?, -h, --help
   Displays this help text and exit

Examples:
  {0} --msiparams "INSTALLDIR=""C:\\Program Files\\Marrowdale\"\"\"
  {0} --extract -path C:\\Quor"""

# The cleanup pass pauses 100 ms and then three times 3000 ms.
CLEANUP_PAUSES = 9.1

# What a wait for the launcher may take at most: a few seconds on an idle
# machine, but the first Wine process of a session (the GUI cases start a
# new one with their display) can take minutes on a loaded one. Every wait
# also ends as soon as the launcher does, and then fails with its outcome.
GUI_TIMEOUT = 240

# The splash screen's size; it has the message boxes' title.
SPLASH_SIZE = (800, 200)


class Failure(Exception):
    pass


def check(cond, what):
    if not cond:
        raise Failure(what)


def winpath(path):
    """The Windows form of a Linux path under Wine's Z: drive."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Run:
    """One launcher process started through the driver."""

    def __init__(self, ctx, exe, args, env=None):
        self.ctx = ctx
        self.exe = exe
        n = ctx.next_run()
        self.out_file = os.path.join(ctx.work, f"run{n}.out")
        self.err_file = os.path.join(ctx.work, f"run{n}.err")
        # The driver's own output goes to a file, not a pipe: Wine processes
        # that the driver's start brings up (wineboot, services) inherit it
        # and live as long as the prefix's server, so a pipe would reach its
        # end only when every Wine process of the prefix has gone, a helper
        # that still holds a file included.
        self.driver_file = os.path.join(ctx.work, f"run{n}.driver")
        self.started = time.monotonic()
        with open(self.driver_file, "wb") as driver_out:
            self.proc = ctx.wine_popen([ctx.args.driver, winpath(self.out_file), winpath(self.err_file),
                                        winpath(exe)] + args, env=env, output=driver_out)

    def wait(self, timeout=120):
        try:
            self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            raise Failure(f"{os.path.basename(self.exe)} did not end within {timeout} s")
        self.elapsed = time.monotonic() - self.started
        with open(self.driver_file, "rb") as f:
            out = f.read()
        m = re.search(rb"exit=(\d+)", out)
        check(m, f"driver gave no exit code: {out!r}")
        self.exit_code = int(m.group(1))
        self.stdout = self.read(self.out_file)
        self.stderr = self.read(self.err_file)
        return self

    @staticmethod
    def read(path):
        with open(path, "rb") as f:
            return f.read().decode("utf-8", "replace").replace("\r\n", "\n")

    def describe(self):
        return f"exit {self.exit_code}\n--- stdout:\n{self.stdout}--- stderr:\n{self.stderr}---"


class Context:
    def __init__(self, args):
        self.args = args
        self.work = os.path.join(args.work, args.case)
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.work)
        self.runs = 0
        self.env = dict(os.environ, ZOLT_WINEPREFIX=args.prefix, WINEPREFIX=args.prefix, WINEDEBUG="-all")
        self.gui = "DISPLAY" in os.environ and args.case in GUI_CASES
        if not self.gui:
            # No display: a message box nobody can dismiss must not appear.
            self.env.pop("DISPLAY", None)
        self.exe_name = os.path.basename(args.launcher)

    def start_wineserver(self):
        """Starts the prefix's server ourselves, with no pipes of ours: a
        server started by a process whose output we read would inherit the
        pipes and keep them open."""
        subprocess.run(["wineserver", "-p10"], env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)

    def next_run(self):
        self.runs += 1
        return self.runs

    def wine_popen(self, argv, env=None, output=True):
        """@output: True for pipes, False for none, or a file for both."""
        e = dict(self.env)
        e.update(env or {})
        out = subprocess.PIPE if output is True else subprocess.DEVNULL if output is False else output
        return subprocess.Popen([self.args.wine] + argv, env=e, stdin=subprocess.DEVNULL, stdout=out, stderr=out)

    def run(self, exe, args, env=None, timeout=120):
        return Run(self, exe, args, env).wait(timeout)

    def start(self, exe, args, env=None):
        return Run(self, exe, args, env)

    def helper(self, *args):
        """Runs the helper to its end; returns its standard output."""
        p = self.wine_popen([self.args.helper] + list(args))
        out, err = p.communicate(timeout=60)
        check(p.returncode == 0, f"helper {args[0]} failed: {err!r}")
        return out.decode("utf-8", "replace")

    def hold(self, *args):
        """Starts a helper that holds something until released; returns a
        function that releases it."""
        n = self.next_run()
        ready = os.path.join(self.work, f"hold{n}.ready")
        release = os.path.join(self.work, f"hold{n}.release")
        p = self.wine_popen([self.args.helper] + list(args) + [winpath(ready), winpath(release)], output=False)
        wait_for(lambda: os.path.exists(ready) or p.poll() is not None, 60, "the helper to hold its object")
        check(p.poll() is None, f"helper {args[0]} ended early with {p.returncode}")

        def release_fn():
            open(release, "w").close()
            p.wait(timeout=60)
        return release_fn

    def wineserver_kill(self):
        subprocess.run(["wineserver", "-k"], env=self.env, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=self.env, stderr=subprocess.DEVNULL)


def wait_for(cond, timeout, what, interval=0.05):
    end = time.monotonic() + timeout
    while not cond():
        if time.monotonic() > end:
            raise Failure(f"timed out waiting for {what}")
        time.sleep(interval)


class Hooks:
    """The pause points of a hook launcher."""

    def __init__(self, ctx):
        self.dir = os.path.join(ctx.work, "hooks")
        os.makedirs(self.dir)
        self.env = {"ZOLT_E2E_HOOK_DIR": winpath(self.dir)}

    def wait(self, index, run):
        ready = os.path.join(self.dir, f"hook-{index}.ready")
        wait_for(lambda: os.path.exists(ready) or run.proc.poll() is not None, GUI_TIMEOUT,
                 f"package #{index} to be written")
        if not os.path.exists(ready):
            raise Failure(f"the launcher ended before package #{index}: {run.wait().describe()}")
        with open(ready) as f:
            return f.read()

    def go(self, index):
        open(os.path.join(self.dir, f"hook-{index}.go"), "w").close()


def linux_path(win):
    check(win.startswith("Z:"), f"not a Z: path: {win}")
    return win[2:].replace("\\", "/")


def same_bytes(a, b):
    with open(a, "rb") as fa, open(b, "rb") as fb:
        return fa.read() == fb.read()


def error_lines(ctx, text):
    """The runtime's message form: every line "<exe>: error: ..."."""
    return [f"{ctx.exe_name}: error: {line}" for line in text.split("\n")]


# --- console cases ----------------------------------------------------------

def case_info_silent(ctx):
    exe = ctx.args.launcher
    help_text = HELP.format(winpath(exe)) + "\n"
    for args, want in [(["--silent", "--help"], help_text),
                       (["--silent", "-?"], help_text),
                       (["--silent", "/?"], help_text),
                       (["-s", "-h"], help_text),
                       (["--silent", "--version"], f"Version: {VERSION}\n"),
                       (["-silent", "/version", "--no-such-option"], f"Version: {VERSION}\n")]:
        r = ctx.run(exe, args)
        check(r.exit_code == 0 and r.stdout == want and r.stderr == "", f"{args}: {r.describe()}")


def case_cmdline_errors_silent(ctx):
    exe = ctx.args.launcher
    long_path = "C:\\" + "d" * 4100
    table = [
        # arguments, exact message (our own texts) or a pattern (the option parser's standard messages)
        (["--msi-prop", "a b", "v"], "The first argument to --msi-prop must not contain spaces: a b"),
        (["--msi-prop", "NAME"], "--msi-prop takes two arguments, the 2nd is missing"),
        (["--msiparams", "X" * 4095, "Y=1"], "Out of space for MSI parameters and properties"),
        (["--path", long_path], re.compile(r"Extraction path is too long \(ERR_\w+\)")),
        (["--msi-log-file", long_path], re.compile(r"MSI log file path is too long \(ERR_\w+\)")),
        (["--EXTRACT"], re.compile(r".*--EXTRACT.*")),
        (["B=2"], re.compile(r".*B=2.*")),
        (["--path"], re.compile(r".*--path.*")),
    ]
    for args, want in table:
        r = ctx.run(exe, ["--silent"] + args)
        lines = r.stderr.rstrip("\n").split("\n")
        ok = r.exit_code == 2 and r.stdout == ""
        if isinstance(want, str):
            ok = ok and lines == error_lines(ctx, want)
        else:
            ok = ok and len(lines) == 1 and lines[0].startswith(f"{ctx.exe_name}: error: ") and \
                want.fullmatch(lines[0][len(ctx.exe_name) + 9:])
        check(ok, f"{args}: {r.describe()}")
    # The first error ends the run even when a later argument asks for help.
    r = ctx.run(exe, ["--silent", "--no-such-option", "--help"])
    check(r.exit_code == 2 and r.stdout == "", f"error before --help: {r.describe()}")


def demo_packages(ctx):
    return {os.path.basename(p): p for p in ctx.args.demo_packages}


def check_extracted(ctx, r, target):
    check(r.exit_code == 0, r.describe())
    check(r.stdout == f"Files were extracted to: {winpath(target)}\n" and r.stderr == "", r.describe())
    pkgs = demo_packages(ctx)
    check(sorted(os.listdir(target)) == sorted(pkgs), f"extracted {os.listdir(target)}, expected {sorted(pkgs)}")
    for name, src in pkgs.items():
        check(same_bytes(os.path.join(target, name), src), f"{name} differs from the package")


def long_dir(ctx, name, cch):
    """A directory path whose Windows form has exactly cch characters, in
    components of 200 (made on the Linux side up to its parent)."""
    path = os.path.join(ctx.work, name)
    while len(winpath(path)) + 1 + 200 + 1 + 20 < cch:
        path = os.path.join(path, "d" * 200)
    os.makedirs(path, exist_ok=True)
    return os.path.join(path, "e" * (cch - len(winpath(path)) - 1))


def case_extract(ctx):
    # Every package, the other architecture's too, byte-identical; a
    # directory that does not exist is created. Long paths: Wine takes a
    # path of some 4,000 characters whole only behind a short prefix path
    # (its drive link and the path must stay within Linux's PATH_MAX), the
    # runtime reaches it piece by piece; at 4,060 characters a package name
    # no longer fits the launcher's 4100-byte path buffer.
    new_short = os.path.join(ctx.work, "new dir")
    made_long = long_dir(ctx, "made", 4000)
    os.makedirs(made_long)
    new_long = long_dir(ctx, "new", 4000)
    too_long = long_dir(ctx, "full", 4060)
    os.makedirs(too_long)
    overflow = error_lines(ctx, "Internal error: Build extraction file name failed: ERR_BUFFER_OVERFLOW")
    for target, want_error in [(new_short, None), (made_long, None), (new_long, None), (too_long, overflow)]:
        r = ctx.run(ctx.args.launcher, ["--extract", "--path", winpath(target), "--silent"])
        what = f"--path of {len(winpath(target))} characters: {r.describe()}"
        if want_error is None:
            check_extracted(ctx, r, target)
        else:
            check(r.exit_code == 1 and r.stdout == "" and r.stderr.rstrip("\n").split("\n") == want_error, what)
            check(os.listdir(target) == [], f"{what}\nwritten: {os.listdir(target)}")


def case_extract_replaces(ctx):
    target = os.path.join(ctx.work, "out")
    os.makedirs(target)
    for name in demo_packages(ctx):
        with open(os.path.join(target, name), "wb") as f:
            f.write(b"stale content, longer than nothing" * 100000)
    r = ctx.run(ctx.args.launcher, ["-x", "-p", winpath(target), "-s"])
    check_extracted(ctx, r, target)
    r = ctx.run(ctx.args.launcher, ["/extract", "/path", winpath(target), "/silent"])
    check_extracted(ctx, r, target)


def case_empty_package(ctx):
    exe = ctx.args.empty_launcher
    ctx.exe_name = os.path.basename(exe)
    # Extract-only: what was written stays.
    target = os.path.join(ctx.work, "x")
    r = ctx.run(exe, ["--extract", "--silent", "--path", winpath(target)])
    check(r.exit_code == 1 and r.stdout == "", r.describe())
    check(r.stderr == "error: #1: Failed to locate resource 'BIN_01': ERR_NO_DATA\n"
          + f"{ctx.exe_name}: error: Error extracting package #1 (empty.cab): ERR_NO_DATA\n", r.describe())
    check(os.path.exists(os.path.join(target, "empty.cab")), "extract-only: the partial file was removed")
    # An installation run cleans up: nothing is left, not even the directory.
    target = os.path.join(ctx.work, "i")
    r = ctx.run(exe, ["--silent", "--path", winpath(target)])
    check(r.exit_code == 1 and "Error extracting package #1 (empty.cab): ERR_NO_DATA" in r.stderr, r.describe())
    check(not os.path.exists(target), f"left behind: {os.listdir(target) if os.path.isdir(target) else target}")


def case_single_instance(ctx):
    release = ctx.hold("hold-mutex", "QuorStubInstaller")
    try:
        target = os.path.join(ctx.work, "x")
        r = ctx.run(ctx.args.launcher, ["--silent", "--extract", "--path", winpath(target)])
        check(r.exit_code == 1 and r.stdout == "", r.describe())
        check(r.stderr.split("\n")[:-1] == error_lines(ctx, "Another installer is already running"), r.describe())
        check(not os.path.exists(target), "the second launcher created the extraction directory")
    finally:
        release()
    r = ctx.run(ctx.args.launcher, ["--silent", "--extract", "--path", winpath(target)])
    check(r.exit_code == 0, f"after the mutex was released: {r.describe()}")


def tamper(ctx, act, detail, status):
    """Runs an installation into a new directory, acts on package #0 at its
    pause, and expects exit 1 with the line @detail and the summary with
    @status, nothing else, and nothing left."""
    exe = ctx.args.hook_launcher
    ctx.exe_name = os.path.basename(exe)
    target = os.path.join(ctx.work, "t")
    hooks = Hooks(ctx)
    run = ctx.start(exe, ["--silent", "--path", winpath(target)], env=hooks.env)
    path = hooks.wait(0, run)
    after = act(linux_path(path), path, run)
    hooks.go(0)
    if after:
        after(run)
    # A launcher that accepted the changed package goes on to the next one
    # (#2, for all hosts) and pauses there: let it finish and say so.
    next_ready = os.path.join(hooks.dir, "hook-2.ready")
    wait_for(lambda: run.proc.poll() is not None or os.path.exists(next_ready), 120, "the launcher to end")
    if os.path.exists(next_ready):
        hooks.go(2)
        raise Failure(f"package #0 was accepted after the change: {run.wait().describe()}")
    r = run.wait()
    want = re.escape(f"error: {detail}\n").replace(re.escape("{path}"), re.escape(path))
    want = want.replace(re.escape("{hex}"), "0x[0-9A-Fa-f]+")
    want += re.escape(f"{ctx.exe_name}: error: Error extracting package #0 (pkg-a.cab): {status}\n")
    check(r.exit_code == 1 and r.stdout == "", r.describe())
    check(re.fullmatch(want, r.stderr), r.describe())
    check(not os.path.exists(target), f"left behind: {os.listdir(target) if os.path.isdir(target) else target}")
    return r


def case_tamper_writer(ctx):
    # Another process opens the file for writing after our write handle is
    # closed and keeps it open: the reopening with writes denied must fail.
    # The helper lets go while the cleanup pass is retrying, which then
    # deletes the file. The launcher's standard error is a file, so its
    # lines arrive only at exit and cannot mark the moment: the reopening
    # follows the go file within the hook's 20 ms poll, and the pass retries
    # for 9.1 s after it, so a release 2 s after go lands in between.
    def act(lpath, wpath, run):
        release = ctx.hold("hold-open", wpath, "write")

        def after(run):
            time.sleep(2)
            check(run.proc.poll() is None, "the launcher ended while the writer still held the file")
            release()
        return after
    tamper(ctx, act, "#0: Second re-opening of '{path}' failed: ERR_SHARING_VIOLATION", "ERR_SHARING_VIOLATION")


def case_tamper_swap(ctx):
    # The file is replaced by another one with the same content. Our handles
    # deny deletion, so no Windows process can do this; a Linux process can
    # (Wine does not enforce sharing against it), which stands for any way
    # around the sharing rules.
    def act(lpath, wpath, run):
        with open(lpath, "rb") as f:
            data = f.read()
        with open(lpath + ".swap", "wb") as f:
            f.write(data)
        os.replace(lpath + ".swap", lpath)
    tamper(ctx, act, "#0: File ID of '{path}' changed: {hex}, expected {hex}", "ERR_MISMATCH")


def case_tamper_byte(ctx):
    # One byte changed by another process before the verification: package
    # #0 has 65,537 bytes, so the last one is a block of its own.
    def act(lpath, wpath, run):
        ctx.helper("poke", wpath, "65536")
    tamper(ctx, act, "#0: File '{path}' has change (mismatch in 0x1 byte block at 0x10000)", "ERR_MISMATCH")


def case_tamper_grow(ctx):
    # One byte appended by another process before the verification: the
    # bytes written are all still there, only the size tells.
    def act(lpath, wpath, run):
        ctx.helper("append", wpath, "+")
    tamper(ctx, act, "#0: File size of '{path}' changed: 65 538, expected 65 537", "ERR_MISMATCH")


def cleanup_run(ctx, act):
    exe = ctx.args.hook_fail_launcher
    ctx.exe_name = os.path.basename(exe)
    target = os.path.join(ctx.work, "c")
    hooks = Hooks(ctx)
    run = ctx.start(exe, ["--silent", "--path", winpath(target)], env=hooks.env)
    path = hooks.wait(0, run)
    release = act(linux_path(path), path)
    # Package #1 fails at once after package #0 is verified, so nearly all
    # of the time from here to the end is the cleanup pass. (The launcher's
    # standard error is a file, written out only at exit: its lines cannot
    # mark the failure.)
    hooks.go(0)
    failed_at = time.monotonic()
    r = run.wait()
    cleanup_time = time.monotonic() - failed_at
    if release:
        release()
    check(r.exit_code == 1, r.describe())
    summary = (f"error: #1: Failed to locate resource 'BIN_01': ERR_NO_DATA\n"
               f"{ctx.exe_name}: error: Error extracting package #1 (empty.cab): ERR_NO_DATA\n")
    check(r.stderr.startswith(summary), r.describe())
    return r, target, path, summary, cleanup_time


def case_cleanup_locked(ctx):
    # A file held open without delete sharing is retried on the schedule and
    # reported once.
    holder = {}

    def act(lpath, wpath):
        holder["release"] = ctx.hold("hold-open", wpath, "nodelete")
        return holder["release"]
    r, target, path, summary, cleanup_time = cleanup_run(ctx, act)
    want = summary + f"{ctx.exe_name}: error: Failed to delete temporary file '{path}': ERR_SHARING_VIOLATION\n"
    check(r.stderr == want, r.describe())
    check(CLEANUP_PAUSES - 0.5 <= cleanup_time <= CLEANUP_PAUSES + 5, f"cleanup took {cleanup_time:.2f} s")
    print(f"cleanup pass with a locked file: {cleanup_time:.2f} s")


def case_cleanup_foreign(ctx):
    # A directory holding a file we did not create is retried, then left
    # without a message; our own file is gone.
    foreign = {}

    def act(lpath, wpath):
        foreign["path"] = os.path.join(os.path.dirname(lpath), "user-notes.txt")
        with open(foreign["path"], "w") as f:
            f.write("not the launcher's")
        return None
    r, target, path, summary, cleanup_time = cleanup_run(ctx, act)
    check(r.stderr == summary, r.describe())
    check(os.listdir(target) == ["user-notes.txt"], f"left: {os.listdir(target)}")
    check(CLEANUP_PAUSES - 0.5 <= cleanup_time <= CLEANUP_PAUSES + 5, f"cleanup took {cleanup_time:.2f} s")
    print(f"cleanup pass with a foreign file: {cleanup_time:.2f} s")


def broken_identities(ctx):
    """Copies of the demo launcher whose identity resource is missing (its
    name changed in the resource directory) or damaged (another magic), with
    the status each must report. (The code holds the magic too, but not
    followed by the title.)"""
    with open(ctx.args.launcher, "rb") as f:
        image = f.read()
    cases = []
    for name, old, new, status in [("noid", "IDENTITY".encode("utf-16-le"), "IDENTITX".encode("utf-16-le"),
                                    "ERR_IO_GEN_FAILURE"),
                                   ("badid", b"QuorIdV1" + TITLE.encode() + b"\0", b"QuorIdV0" + TITLE.encode() + b"\0",
                                    "ERR_INVALID_MAGIC")]:
        check(image.count(old) == 1, f"the launcher holds {old!r} {image.count(old)} times, not once")
        exe = os.path.join(ctx.work, f"Broken-{name}.exe")
        with open(exe, "wb") as f:
            f.write(image.replace(old, new))
        cases.append((exe, status))
    return cases


def case_identity_silent(ctx):
    """A launcher without a readable identity reports that alone and does
    nothing else; --silent anywhere keeps the report on the console."""
    for exe, status in broken_identities(ctx):
        target = os.path.join(ctx.work, "extracted")
        for args in (["--silent"], ["--extract", "--path", winpath(target), "-s"], ["--silent", "--help"],
                     ["--no-such-option", "/silent"]):
            r = ctx.run(exe, args)
            want = f"{os.path.basename(exe)}: error: {IDENTITY_REPORT.format(status)}\n"
            check(r.exit_code == 1 and r.stdout == "" and r.stderr == want, f"{exe} {args}: {r.describe()}")
            check(not os.path.exists(target), f"{exe} {args}: made {target}")


def case_verbose(ctx):
    # Wine gives a GUI child of a console process no console of its own, so
    # the test launcher writes what it would print there into a file.
    exe = ctx.args.hook_launcher
    target = os.path.join(ctx.work, "v")
    console_file = os.path.join(ctx.work, "console.txt")
    r = ctx.run(exe, ["--silent", "--verbose", "--extract", "--path", winpath(target), "--msi-prop", "A", "b c"],
                env={"ZOLT_E2E_CONSOLE_FILE": winpath(console_file)})
    check(r.exit_code == 0, r.describe())
    console = Run.read(console_file)
    want = ["Host architecture        : x86_64",
            f"Extraction path          : {winpath(target)}",
            "Silent installation      : true",
            "Certificate installation : true",
            'Additional MSI parameters: A="b c"',
            "Logging to file          : <None>",
            f"Files were extracted to: {winpath(target)}"]
    check(console.split("\n")[:-1] == want, f"console output {console!r}, expected the lines {want!r}")
    check(r.stdout == "" and r.stderr == "", f"output outside the console: {r.describe()}")


# --- GUI cases --------------------------------------------------------------

def xdotool(*args, check_rc=True):
    p = subprocess.run(["xdotool"] + list(args), capture_output=True, text=True)
    if check_rc and p.returncode != 0:
        raise Failure(f"xdotool {args}: {p.stderr}")
    return p.stdout.strip()


def window_geometry(wid):
    """(left, top, width, height) of the window, or None when it is gone."""
    geometry = xdotool("getwindowgeometry", "--shell", wid, check_rc=False)
    g = dict(line.split("=") for line in geometry.split("\n") if "=" in line)
    try:
        return int(g["X"]), int(g["Y"]), int(g["WIDTH"]), int(g["HEIGHT"])
    except (KeyError, ValueError):
        return None


def find_window(run, what, accept, title=TITLE):
    """Waits until the launcher of @run shows a window titled @title that
    @accept(wid) takes, and returns the window. Fails at once when the
    launcher ends first, with its outcome, rather than waiting on for a
    window that cannot come."""
    ids = []
    started = time.monotonic()

    def found():
        for wid in xdotool("search", "--onlyvisible", "--name", f"^{title}$", check_rc=False).split():
            if accept(wid):
                ids[:] = [wid]
                return True
        return run.proc.poll() is not None
    wait_for(found, GUI_TIMEOUT, f"{what} (the launcher is still running)", interval=0.2)
    if not ids:
        raise Failure(f"the launcher ended without showing {what}: {run.wait().describe()}")
    print(f"{what} shown after {time.monotonic() - started:.1f} s", flush=True)
    return ids[0]


def find_box(ctx, run, title=TITLE):
    """Waits for the launcher's message box captioned @title. @returns the
    window and the box's text. A window of the title that is no dialog (the
    splash screen, which for a moment may not have its size yet) is passed
    over."""
    text = []

    def is_box(wid):
        g = window_geometry(wid)
        if not g or g[2:] == SPLASH_SIZE:
            return False
        try:
            text[:] = [box_text(ctx, title)]
        except Failure:
            return False
        return True
    wid = find_window(run, "the launcher's message box", is_box, title)
    return wid, text[0]


def find_splash(run):
    """Waits for the splash screen and its size. @returns the window and
    its geometry."""
    wid = find_window(run, "the splash screen", lambda wid: window_geometry(wid) is not None)
    seen = []

    def sized():
        seen[:] = [window_geometry(wid)]
        return seen[0] is None or seen[0][2:] == SPLASH_SIZE
    try:
        wait_for(sized, GUI_TIMEOUT, "the splash screen's size", interval=0.2)
    except Failure:
        raise Failure(f"window size {seen[0][2]}x{seen[0][3]}, not {SPLASH_SIZE[0]}x{SPLASH_SIZE[1]}")
    check(seen[0], "the splash window went away")
    return wid, seen[0]


def screenshot(ctx, name):
    path = os.path.join(ctx.work, name)
    subprocess.run(["import", "-window", "root", path], check=True)
    return path


def box_text(ctx, title=TITLE):
    """The text of the box captioned @title, read by a Wine helper from the
    box's "Static" control (the clipboard route, Ctrl+C on the box, does not
    work under Wine)."""
    return ctx.helper("box-text", title).replace("\r\n", "\n")


def wait_painted(ctx, wid, name):
    """Waits until a screenshot shows the window painted: its area is not
    the bare root window's single colour. @returns the screenshot."""
    geometry = window_geometry(wid)
    check(geometry, f"window {wid} is gone")
    left, top, w, h = geometry
    shot = []

    def painted():
        path = screenshot(ctx, name)
        width, height, rows = pixel_rows(path)
        check(w > 0 and h > 0 and 0 <= left and left + w <= width and 0 <= top and top + h <= height,
              f"window at {left},{top} {w}x{h} is not on the {width}x{height} screen")
        shot[:] = [rows]
        return len({rows[y][x] for y in range(top, top + h, 4) for x in range(left, left + w, 4)}) > 1
    wait_for(painted, GUI_TIMEOUT, f"the window at {left},{top} {w}x{h} to be painted", interval=0.5)
    return shot[0]


def dismiss(wid):
    xdotool("windowfocus", "--sync", wid, check_rc=False)
    xdotool("key", "--window", wid, "Return")


def expect_box(ctx, run, text, shot, title=TITLE):
    wid, shown = find_box(ctx, run, title)
    wait_painted(ctx, wid, shot)
    dismiss(wid)
    r = run.wait(timeout=GUI_TIMEOUT)
    check(text in shown, f"box text {shown!r} does not hold {text!r}")
    return r


def case_info_box(ctx):
    exe = ctx.args.launcher
    run = ctx.start(exe, ["--help"])
    r = expect_box(ctx, run, HELP.format(winpath(exe)), "help-box.png")
    check(r.exit_code == 0 and r.stdout == "" and r.stderr == "", r.describe())
    run = ctx.start(exe, ["/version"])
    r = expect_box(ctx, run, f"Version: {VERSION}", "version-box.png")
    check(r.exit_code == 0, r.describe())


def case_identity_box(ctx):
    """Interactive, the report is one box under a caption of its own."""
    for exe, status in broken_identities(ctx):
        run = ctx.start(exe, ["--extract"])
        r = expect_box(ctx, run, IDENTITY_REPORT.format(status), "identity-box.png", FALLBACK_TITLE)
        check(r.exit_code == 1 and r.stdout == "" and r.stderr == "", f"{exe}: {r.describe()}")


def case_cmdline_errors_box(ctx):
    exe = ctx.args.launcher
    hint = "\nPlease refer to the command line help by specifying \"-?\"\nto get more information."
    for args, text in [(["--EXTRACT"], 'Unknown option "--EXTRACT"' + hint),
                       (["--EXTRACT", "--silent"], 'Unknown option "--EXTRACT"' + hint),
                       (["B=2"], "Parameter parsing error: INF_NOT_AN_OPTION" + hint),
                       (["--msi-prop", "NAME"], "--msi-prop takes two arguments, the 2nd is missing")]:
        run = ctx.start(exe, args)
        r = expect_box(ctx, run, text, "error-box.png")
        check(r.exit_code == 2 and r.stdout == "" and r.stderr == "", f"{args}: {r.describe()}")


def pixel_rows(path):
    """RGB rows of a screenshot, through ImageMagick's plain PPM."""
    ppm = subprocess.run(["convert", path, "-compress", "none", "ppm:-"], capture_output=True, check=True).stdout
    tokens = ppm.split()
    width, height = int(tokens[1]), int(tokens[2])
    values = list(map(int, tokens[4:]))
    return width, height, [[tuple(values[(y * width + x) * 3:(y * width + x) * 3 + 3]) for x in range(width)]
                           for y in range(height)]


def near(c, want, tol=24):
    return all(abs(a - b) <= tol for a, b in zip(c, want))


def dot_centre(rows, left, top, w, h):
    """Centroid of the dark-blue pixels in the window, and their count
    outside the area the dot can reach."""
    xs, ys, stray = [], [], 0
    for y in range(top, top + h):
        for x in range(left, left + w):
            if near(rows[y][x], (0, 0, 100)):
                if abs(x - left - w // 2) <= 17 and abs(y - top - h // 2 - 80) <= 17:
                    xs.append(x)
                    ys.append(y)
                else:
                    stray += 1
    check(len(xs) >= 30, f"dot not found ({len(xs)} pixels)")
    return sum(xs) / len(xs), sum(ys) / len(ys), stray


def case_splash(ctx):
    exe = ctx.args.hook_launcher
    target = os.path.join(ctx.work, "s")
    hooks = Hooks(ctx)
    run = ctx.start(exe, ["--path", winpath(target)], env=hooks.env)
    hooks.wait(0, run)
    wid, (left, top, w, h) = find_splash(run)
    check((left, top) == ((1024 - w) // 2, (768 - h) // 2), f"window not centred: at {left},{top}")
    # The picture first: white where it is transparent (its rounded
    # corners), its light sky near the top.
    rows = []

    def picture_shown():
        rows[:] = [wait_painted(ctx, wid, "splash-1.png")]
        return near(rows[0][top + 1][left + 1], (255, 255, 255), 4) and \
            near(rows[0][top + 30][left + 400], (219, 233, 255), 12)
    try:
        wait_for(picture_shown, GUI_TIMEOUT, "the splash picture", interval=0.5)
    except Failure as e:
        if not rows:
            raise
        raise Failure(f"{e}: corner {rows[0][top + 1][left + 1]} (white expected), "
                      f"sky {rows[0][top + 30][left + 400]} (the picture's light blue expected)")
    x1, y1, stray = dot_centre(rows[0], left, top, w, h)
    check(stray == 0, f"{stray} dot-coloured pixels away from the orbit")
    # Then the dot, once it has moved on its orbit.
    moved = []

    def dot_moved():
        x2, y2, _ = dot_centre(wait_painted(ctx, wid, "splash-2.png"), left, top, w, h)
        moved[:] = [(x2, y2)]
        return abs(x1 - x2) + abs(y1 - y2) >= 2
    wait_for(dot_moved, GUI_TIMEOUT, "the dot to move", interval=0.3)
    x2, y2 = moved[0]
    for x, y in ((x1, y1), (x2, y2)):
        r = ((x - left - 400) ** 2 + (y - top - 180) ** 2) ** 0.5
        check(7 <= r <= 13, f"dot centre ({x - left:.1f},{y - top:.1f}) is {r:.1f} px from the orbit centre")
    hooks.go(0)
    hooks.wait(2, run)
    hooks.go(2)
    r = run.wait(timeout=GUI_TIMEOUT)
    check(r.exit_code == 0, r.describe())
    check(not xdotool("search", "--name", f"^{TITLE}$", check_rc=False), "the splash window is still there")
    print(f"splash at {left},{top} {w}x{h}; dot at ({x1 - left:.1f},{y1 - top:.1f}) then ({x2 - left:.1f},{y2 - top:.1f})")


CASES = {name[5:]: fn for name, fn in globals().items() if name.startswith("case_")}
GUI_CASES = {"info_box", "cmdline_errors_box", "identity_box", "splash"}


def main(argv):
    p = argparse.ArgumentParser()
    p.add_argument("--case", required=True, choices=sorted(CASES))
    for opt in ("wine", "prefix", "work", "driver", "helper", "launcher", "empty-launcher", "hook-launcher",
                "hook-fail-launcher"):
        p.add_argument("--" + opt, required=True)
    p.add_argument("--demo-packages", nargs=3, required=True)
    p.add_argument("--fixtures", nargs="+", required=True)
    args = p.parse_args(argv)
    ctx = Context(args)
    if ctx.gui:
        ctx.wineserver_kill()
    ctx.start_wineserver()
    try:
        CASES[args.case](ctx)
    except Failure as e:
        print(f"FAIL {args.case}: {e}")
        # A launcher left waiting would hold the single-instance mutex for
        # the next case: end everything in the prefix (ours alone).
        ctx.wineserver_kill()
        return 1
    finally:
        if ctx.gui:
            ctx.wineserver_kill()
    print(f"ok {args.case}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
