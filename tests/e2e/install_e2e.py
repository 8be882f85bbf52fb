#!/usr/bin/env python3
"""Installation cases of the launcher under Wine: real installations by
Wine's Windows Installer, certificates in its stores, the custom directory
and the exit codes, seen through the Windows-side driver (full exit codes,
standard output and error captured) and install-probe (product states,
certificate stores, system message texts).

Cases come in groups. A group boots one fresh Wine prefix of its own and
gives each case a copy of it, so every case starts on a machine where
nothing has been installed yet. The GUI group expects an X display
(with-xvfb.py) and uses xdotool.

Usage: install_e2e.py --group NAME [paths, see main()]
Exit code 0 when every case of the group passed, 1 otherwise.
"""
import argparse
import glob
import hashlib
import os
import re
import shutil
import subprocess
import sys
import threading
import time
import traceback
import types

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import launcher_e2e as e2e  # noqa: E402
from launcher_e2e import Failure, check, winpath  # noqa: E402

DEMO_X64 = "{6D617272-6F77-6461-6C65-64656D6F0010}"
DEMO_ARM64 = "{6D617272-6F77-6461-6C65-64656D6F0011}"
PLAIN = "{6D617272-6F77-6461-6C65-64656D6F0110}"
REBOOT = "{6D617272-6F77-6461-6C65-64656D6F0120}"
READER = "{6D617272-6F77-6461-6C65-64656D6F0130}"
INSTALLED = 5   # INSTALLSTATE_DEFAULT
UNKNOWN = -1    # INSTALLSTATE_UNKNOWN: never installed

DEMO_DIR = "Marrowdale Demo"
READER_DIR = "Marrowdale Reader Fixture"


class Machine:
    """One Wine prefix of a case, copied from the group's freshly booted
    one."""

    def __init__(self, ctx, prefix):
        self.ctx = ctx
        self.prefix = prefix

    def c(self, *parts):
        """A path on the machine's C: drive."""
        return os.path.join(self.prefix, "drive_c", *parts)

    def temp_dir(self):
        # Wine keeps it in the profile (C:\users\<user>\Temp); Windows in
        # AppData\Local\Temp.
        dirs = [d for pattern in (("users", "*", "Temp"), ("users", "*", "AppData", "Local", "Temp"))
                for d in glob.glob(self.c(*pattern)) if os.sep + "Public" + os.sep not in d]
        check(len(dirs) == 1, f"no single user temporary directory: {dirs}")
        return dirs[0]

    def probe(self, *args):
        p = self.ctx.wine_popen([self.ctx.args.probe] + list(args))
        out, err = p.communicate(timeout=120)
        check(p.returncode == 0, f"install-probe {args}: {err!r}")
        return out.decode("utf-8", "replace")

    def product_states(self, *codes):
        out = self.probe("product-state", *codes)
        return {line.split()[0]: int(line.split()[1]) for line in out.splitlines()}

    def cert_stores(self):
        """The stores holding the demo publisher's certificate."""
        return self.probe("cert-stores", self.ctx.thumbprint).splitlines()

    def system_text(self, code):
        """The system's text for an error number, with its line ends as
        they come (CR LF)."""
        return self.probe("message", str(code))


class TempWatcher:
    """Watches the user's temporary directory while a launcher runs: every
    new directory and every name seen in it."""

    def __init__(self, machine):
        self.dir = machine.temp_dir()
        self.before = set(os.listdir(self.dir))
        self.seen = {}
        self.stop = threading.Event()
        self.thread = threading.Thread(target=self.watch)
        self.thread.start()

    def new_dirs(self):
        """New directories named like the launcher's: 24 characters from
        its alphabet (Wine's installer leaves files of its own there)."""
        return {name for name in set(os.listdir(self.dir)) - self.before
                if re.fullmatch(r"[0-9a-z]{24}", name) and os.path.isdir(os.path.join(self.dir, name))}

    def watch(self):
        while not self.stop.is_set():
            for name in self.new_dirs():
                try:
                    self.seen.setdefault(name, set()).update(os.listdir(os.path.join(self.dir, name)))
                except OSError:
                    self.seen.setdefault(name, set())
            time.sleep(0.01)

    def finish(self):
        self.stop.set()
        self.thread.join()
        return self.seen

    def new_now(self):
        return self.new_dirs()


def out_lines(ctx, kind, *texts):
    """Runtime messages of the launcher: "<exe>: <kind>: <line>" lines."""
    return "".join(f"{ctx.exe_name}: {kind}: {line}\n" for text in texts for line in text.rstrip("\n").split("\n"))


def launch(ctx, exe, args, timeout=180):
    ctx.exe_name = os.path.basename(exe)
    return ctx.run(exe, args, timeout=timeout)


def check_demo_installed(m, where=DEMO_DIR):
    for name in ("readme.txt", "demo.ini"):
        installed = m.c("Program Files", where, name)
        check(os.path.isfile(installed), f"{installed} was not installed")
        check(e2e.same_bytes(installed, os.path.join(m.ctx.args.demo_files, name)), f"{installed} differs")


def only_new_dir(seen):
    check(len(seen) == 1, f"expected one extraction directory in the temporary directory, saw {sorted(seen)}")
    return next(iter(seen.items()))


# --- silent installations of the demo ----------------------------------------

def case_silent_demo(ctx, m):
    watch = TempWatcher(m)
    r = launch(ctx, ctx.args.launcher, ["--silent"])
    seen = watch.finish()
    check(r.exit_code == 0 and r.stdout == "" and r.stderr == "", r.describe())
    # The x64 package and the cabinet were extracted, the ARM64 one never;
    # the cabinet was left to the installer (handing it over would have
    # failed the run).
    name, files = only_new_dir(seen)
    pkgs = sorted(os.path.basename(p) for p in ctx.args.demo_packages)
    want = sorted(p for p in pkgs if not p.endswith("_arm64.msi"))
    check(sorted(files) == want, f"extraction directory held {sorted(files)}, expected {want}")
    check(not watch.new_now(), f"left in the temporary directory: {watch.new_now()}")
    states = m.product_states(DEMO_X64, DEMO_ARM64)
    check(states == {DEMO_X64: INSTALLED, DEMO_ARM64: UNKNOWN}, f"product states {states}")
    check_demo_installed(m)
    stores = m.cert_stores()
    check(stores == ["LocalMachine\\TrustedPublisher"], f"certificate {ctx.thumbprint} found in {stores}")
    print(f"installed; certificate {ctx.thumbprint} in {stores}")


def case_no_silent_cert(ctx, m):
    watch = TempWatcher(m)
    r = launch(ctx, ctx.args.launcher, ["--silent", "--no-silent-cert"])
    watch.finish()
    check(r.exit_code == 0 and r.stdout == "" and r.stderr == "", r.describe())
    check(m.product_states(DEMO_X64)[DEMO_X64] == INSTALLED, "not installed")
    check_demo_installed(m)
    check(m.cert_stores() == [], f"certificate installed: {m.cert_stores()}")
    check(not watch.new_now(), f"left in the temporary directory: {watch.new_now()}")


def read_log(path):
    with open(path, "rb") as f:
        return f.read().decode("utf-8", "replace").replace("\r\n", "\n")


def log_property(log, name):
    """The value of a property as the installer's verbose log reports it
    at the end of the installation."""
    values = re.findall(rf"^Property\(S\): {re.escape(name)} = (.*)$", log, re.M)
    return values[-1] if values else None


def case_msi_properties(ctx, m):
    # --msi-prop with a blank in the value: the files land there.
    log1 = os.path.join(ctx.work, "first.log")
    r = launch(ctx, ctx.args.launcher, ["--silent", "--msi-prop", "INSTALLDIR", "C:\\Program Files\\Demo Dir",
                                        "--msi-log-file", winpath(log1)])
    check(r.exit_code == 0 and r.stderr == "", r.describe())
    check_demo_installed(m, "Demo Dir")
    check(not os.path.exists(m.c("Program Files", DEMO_DIR)), "installed into the default folder as well")
    check(log_property(read_log(log1), "INSTALLDIR") == "C:\\Program Files\\Demo Dir\\",
          f"INSTALLDIR in the log: {log_property(read_log(log1), 'INSTALLDIR')}")
    # --msiparams, an operand and --reinstall accumulate into one command
    # line, in argument order.
    log2 = os.path.join(ctx.work, "second.log")
    r = launch(ctx, ctx.args.launcher, ["--silent", "--msiparams", "ZOLTA=1", "ZOLTB=\"two words\"", "--reinstall",
                                        "--msi-log-file", winpath(log2)])
    check(r.exit_code == 0 and r.stderr == "", r.describe())
    log = read_log(log2)
    for prop, value in (("ZOLTA", "1"), ("ZOLTB", "two words"), ("REINSTALLMODE", "vomus"), ("REINSTALL", "ALL")):
        check(log_property(log, prop) == value, f"{prop} in the log: {log_property(log, prop)!r}")


def case_logging(ctx, m):
    # The default log lies in the extraction directory, which the cleanup
    # pass then cannot remove: it retries five times and leaves it with the
    # log alone.
    watch = TempWatcher(m)
    r = launch(ctx, ctx.args.launcher, ["--silent", "--logging"])
    seen = watch.finish()
    check(r.exit_code == 0 and r.stdout == "" and r.stderr == "", r.describe())
    name, files = only_new_dir(seen)
    left = os.path.join(watch.dir, name)
    check(os.listdir(left) == ["QuorInstallLog.txt"], f"left in {left}: {os.listdir(left)}")
    log = read_log(os.path.join(left, "QuorInstallLog.txt"))
    check(log_property(log, "ProductCode") == DEMO_X64, "the log is not the installation's")
    check(r.elapsed >= e2e.CLEANUP_PAUSES, f"the run took {r.elapsed:.1f} s: the cleanup did not retry")
    print(f"--logging run: {r.elapsed:.1f} s, log of {len(log)} characters kept in {name}")


def case_msi_log_file(ctx, m):
    log_path = os.path.join(ctx.work, "msi log.txt")
    watch = TempWatcher(m)
    r = launch(ctx, ctx.args.launcher, ["--silent", "--msi-log-file", winpath(log_path)])
    watch.finish()
    check(r.exit_code == 0 and r.stdout == "" and r.stderr == "", r.describe())
    check(log_property(read_log(log_path), "ProductCode") == DEMO_X64, "no installation log at the given path")
    check(not watch.new_now(), f"left in the temporary directory: {watch.new_now()}")


# --- restart required ----------------------------------------------------------

def reboot_notice(ctx, target):
    return out_lines(ctx, "info", f"Reboot required (by {winpath(target)}\\reboot.msi)")


def case_reboot(ctx, m):
    target = os.path.join(ctx.work, "x")
    r = launch(ctx, ctx.args.reboot_launcher, ["--silent", "--path", winpath(target)])
    check(r.exit_code == 3010, r.describe())
    check(r.stdout == reboot_notice(ctx, target) and r.stderr == "", r.describe())
    check(m.product_states(REBOOT)[REBOOT] == INSTALLED, "not installed")
    check(not os.path.exists(target), "extraction directory left")


def case_ignore_reboot(ctx, m):
    target = os.path.join(ctx.work, "x")
    r = launch(ctx, ctx.args.reboot_launcher, ["--silent", "--ignore-reboot", "--path", winpath(target)])
    check(r.exit_code == 0, r.describe())
    check(r.stdout == reboot_notice(ctx, target) and r.stderr == "", r.describe())
    check(m.product_states(REBOOT)[REBOOT] == INSTALLED, "not installed")


def case_reboot_then_success(ctx, m):
    # The restart-required result of the first package survives the
    # second's success.
    target = os.path.join(ctx.work, "x")
    r = launch(ctx, ctx.args.reboot_plain_launcher, ["--silent", "--path", winpath(target)])
    check(r.exit_code == 3010 and r.stdout == reboot_notice(ctx, target) and r.stderr == "", r.describe())
    states = m.product_states(REBOOT, PLAIN)
    check(states == {REBOOT: INSTALLED, PLAIN: INSTALLED}, f"product states {states}")
    check(not os.path.exists(target), "extraction directory left")


# --- failures, file kinds and the custom directory -------------------------

def case_arm64_package(ctx, m):
    target = os.path.join(ctx.work, "x")
    r = launch(ctx, ctx.args.arm64_launcher, ["--silent", "--path", winpath(target)])
    check(r.exit_code == 1 and r.stdout == "", r.describe())
    check(r.stderr == out_lines(ctx, "error", "This installation package is not supported on this platform."),
          r.describe())
    check(m.product_states(DEMO_ARM64)[DEMO_ARM64] == UNKNOWN, "the ARM64 product was installed")
    check(not os.path.exists(target), "extraction directory left")


def case_corrupt_package(ctx, m):
    # The first package fails: the second is never started, the cleanup
    # still runs.
    target = os.path.join(ctx.work, "x")
    r = launch(ctx, ctx.args.corrupt_launcher, ["--silent", "--path", winpath(target)])
    check(r.exit_code == 1 and r.stdout == "", r.describe())
    # The platform's text is shown as it comes: its CR stays before the
    # line feed of the message.
    wants = {code: out_lines(ctx, "error", "Installation failed! Error: " + (m.system_text(code) or str(code)))
             for code in (1620, 1627)}
    check(r.stderr in wants.values(), f"{r.describe()}\nexpected one of {wants}")
    check(m.product_states(PLAIN)[PLAIN] == UNKNOWN, "the second package was installed")
    check(not os.path.exists(target), "extraction directory left")


def case_unknown_suffix(ctx, m):
    target = os.path.join(ctx.work, "x")
    r = launch(ctx, ctx.args.suffix_launcher, ["--silent", "--path", winpath(target)])
    check(r.exit_code == 1 and r.stdout == "", r.describe())
    want = out_lines(ctx, "error", f"Internal error: Do not know how to handle file 'update.msp' "
                                   f"({winpath(target)}\\update.msp).")
    check(r.stderr == want, r.describe())
    check(m.product_states(PLAIN)[PLAIN] == UNKNOWN, "the package was installed")
    check(not os.path.exists(target), "extraction directory left")


def case_upper_case_suffix(ctx, m):
    target = os.path.join(ctx.work, "x")
    r = launch(ctx, ctx.args.upper_launcher, ["--silent", "--path", winpath(target)])
    check(r.exit_code == 0 and r.stdout == "" and r.stderr == "", r.describe())
    check(m.product_states(DEMO_X64)[DEMO_X64] == INSTALLED, "DEMO.MSI was not installed")
    check_demo_installed(m)
    check(not os.path.exists(target), "extraction directory left")


def launcher_beside(ctx, name, custom):
    """A copy of the reader launcher in a folder of its own, with @custom
    ("dir", "file" or None) as its ".custom"."""
    app = os.path.join(ctx.work, name)
    os.makedirs(app)
    exe = os.path.join(app, os.path.basename(ctx.args.reader_launcher))
    shutil.copy(ctx.args.reader_launcher, exe)
    tree = {}
    if custom == "dir":
        tree = {"settings.ini": b"colour=blue\r\n", os.path.join("nested dir", "more.txt"): b"more\r\n"}
        for rel, data in tree.items():
            os.makedirs(os.path.dirname(os.path.join(app, ".custom", rel)), exist_ok=True)
            with open(os.path.join(app, ".custom", rel), "wb") as f:
                f.write(data)
    elif custom == "file":
        with open(os.path.join(app, ".custom"), "wb") as f:
            f.write(b"settings.ini is not here")
    return exe, tree


def case_custom_directory(ctx, m):
    # The reader package copies settings.ini from the ".custom" beside it
    # during its installation: the copy was there before. The copy stays,
    # being not empty, and keeps the extraction directory.
    exe, tree = launcher_beside(ctx, "app", "dir")
    target = os.path.join(ctx.work, "x")
    r = launch(ctx, exe, ["--silent", "--no-silent-cert", "--path", winpath(target)])
    check(r.exit_code == 0 and r.stdout == "" and r.stderr == "", r.describe())
    copied = m.c("Program Files", READER_DIR, "custom-settings.ini")
    check(os.path.isfile(copied), "the package did not find settings.ini in the custom directory")
    with open(copied, "rb") as f:
        check(f.read() == tree["settings.ini"], "the package read another settings.ini")
    check(os.listdir(target) == [".custom"], f"left in the extraction directory: {os.listdir(target)}")
    for rel, data in tree.items():
        with open(os.path.join(target, ".custom", rel), "rb") as f:
            check(f.read() == data, f".custom/{rel} was not copied")
    check(r.elapsed >= e2e.CLEANUP_PAUSES, f"the run took {r.elapsed:.1f} s: the cleanup did not retry")


def case_custom_file(ctx, m):
    # A file named ".custom" is no custom directory.
    exe, _ = launcher_beside(ctx, "app", "file")
    target = os.path.join(ctx.work, "x")
    r = launch(ctx, exe, ["--silent", "--no-silent-cert", "--path", winpath(target)])
    check(r.exit_code == 0 and r.stdout == "" and r.stderr == "", r.describe())
    check(m.product_states(READER)[READER] == INSTALLED, "not installed")
    check(not os.path.exists(m.c("Program Files", READER_DIR, "custom-settings.ini")), "something was copied")
    check(not os.path.exists(target), "extraction directory left")


def case_bad_certificate(ctx, m):
    # A certificate the platform does not take: the run stops before the
    # packages and still cleans up. Without the certificate step the same
    # launcher installs.
    exe = ctx.args.badcert_launcher
    target = os.path.join(ctx.work, "x")
    r = launch(ctx, exe, ["--silent", "--path", winpath(target)])
    check(r.exit_code == 1 and r.stdout == "", r.describe())
    want = (re.escape(f"{ctx.exe_name}: error: Unable to get certificate context: ") + r"-?[1-9]\d*\n"
            + re.escape(out_lines(ctx, "error", "Failed to add our certificate(s) to trusted publisher store.")))
    check(re.fullmatch(want, r.stderr), r.describe())
    check(m.product_states(PLAIN)[PLAIN] == UNKNOWN, "installed after the certificate failed")
    check(not os.path.exists(target), "extraction directory left")
    r = launch(ctx, exe, ["--silent", "--no-silent-cert", "--path", winpath(target)])
    check(r.exit_code == 0 and r.stdout == "" and r.stderr == "", r.describe())
    check(m.product_states(PLAIN)[PLAIN] == INSTALLED, "--no-silent-cert: not installed")


def case_custom_copy_fails(ctx, m):
    # The extraction directory (the user's, existing) holds a file named
    # ".custom": the copied directory cannot be there. Neither the
    # certificate nor the package is installed; the package file is
    # cleaned up, the user's directory and file stay.
    exe, _ = launcher_beside(ctx, "app", "dir")
    target = os.path.join(ctx.work, "x")
    os.makedirs(target)
    with open(os.path.join(target, ".custom"), "wb") as f:
        f.write(b"the user's own file")
    r = launch(ctx, exe, ["--silent", "--path", winpath(target)])
    check(r.exit_code == 1 and r.stdout == "", r.describe())
    want = (re.escape(f"{ctx.exe_name}: error: ") + r"(Copying the '\.custom' dir failed: 0x[0-9a-f]+|"
            r"Unable to open the destination \.custom directory: ERR_\w+)\n")
    check(re.fullmatch(want, r.stderr), r.describe())
    check(m.cert_stores() == [], f"certificate installed: {m.cert_stores()}")
    check(m.product_states(READER)[READER] == UNKNOWN, "installed after the copy failed")
    check(os.listdir(target) == [".custom"], f"left in the extraction directory: {os.listdir(target)}")
    with open(os.path.join(target, ".custom"), "rb") as f:
        check(f.read() == b"the user's own file", "the user's file was changed")


# --- interactive runs --------------------------------------------------------

def no_window(what):
    ids = e2e.xdotool("search", "--name", f"^{e2e.TITLE}$", check_rc=False)
    check(not ids, f"a window titled {e2e.TITLE!r} is still there {what}")


def case_interactive_install(ctx, m):
    run = ctx.start(ctx.args.launcher, [])
    r = run.wait(timeout=180)
    check(r.exit_code == 0 and r.stdout == "" and r.stderr == "", r.describe())
    check(m.product_states(DEMO_X64)[DEMO_X64] == INSTALLED, "not installed")
    check_demo_installed(m)
    check(m.cert_stores() == [], f"an interactive run installed the certificate: {m.cert_stores()}")
    no_window("after the run")


def case_interactive_failure(ctx, m):
    exe = ctx.args.corrupt_launcher
    ctx.exe_name = os.path.basename(exe)
    target = os.path.join(ctx.work, "x")
    run = ctx.start(exe, ["--path", winpath(target)])
    wid, _ = e2e.find_box(ctx, run)
    e2e.wait_painted(ctx, wid, "failure-box.png")
    # The probe keeps the system text's own line ends.
    text = m.probe("box-text", e2e.TITLE).replace("\r\n", "\n")
    e2e.dismiss(wid)
    r = run.wait(timeout=e2e.GUI_TIMEOUT)
    want = "Installation failed! Error: " + m.system_text(1627).replace("\r\n", "\n")
    check(want in text, f"box text {text!r} does not hold {want!r}")
    check(r.exit_code == 1 and r.stdout == "" and r.stderr == "", r.describe())
    check(not os.path.exists(target), "extraction directory left")
    check(m.cert_stores() == [], "an interactive run installed the certificate")


def case_interactive_reboot(ctx, m):
    # A restart-required result shows no notice in interactive runs.
    r = ctx.start(ctx.args.reboot_launcher, []).wait(timeout=180)
    check(r.exit_code == 3010 and r.stdout == "" and r.stderr == "", r.describe())
    no_window("after the run")


GROUPS = {
    "silent": [case_silent_demo, case_no_silent_cert, case_msi_properties, case_logging, case_msi_log_file],
    "reboot": [case_reboot, case_ignore_reboot, case_reboot_then_success],
    "failures": [case_arm64_package, case_corrupt_package, case_unknown_suffix, case_upper_case_suffix,
                 case_custom_directory, case_custom_file, case_custom_copy_fails, case_bad_certificate],
    "gui": [case_interactive_install, case_interactive_failure, case_interactive_reboot],
}


def wine_env(prefix, gui):
    env = dict(os.environ, WINEPREFIX=prefix, ZOLT_WINEPREFIX=prefix, WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=")
    if not gui:
        env.pop("DISPLAY", None)
    return env


def wineserver_kill(prefix, gui):
    env = wine_env(prefix, gui)
    subprocess.run(["wineserver", "-k"], env=env, stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-w"], env=env, stderr=subprocess.DEVNULL)


def main(argv):
    p = argparse.ArgumentParser()
    p.add_argument("--group", required=True, choices=sorted(GROUPS))
    p.add_argument("--case", help="run only this case of the group")
    for opt in ("wine", "work", "driver", "helper", "probe", "launcher", "reboot-launcher", "reboot-plain-launcher",
                "arm64-launcher", "corrupt-launcher", "suffix-launcher", "upper-launcher", "reader-launcher",
                "badcert-launcher", "certificate", "demo-files"):
        p.add_argument("--" + opt, required=True)
    p.add_argument("--demo-packages", nargs=3, required=True)
    args = p.parse_args(argv)
    gui = args.group == "gui"
    if gui:
        check("DISPLAY" in os.environ, "the GUI group needs an X display (with-xvfb.py)")
    with open(args.certificate, "rb") as f:
        thumbprint = hashlib.sha1(f.read()).hexdigest().upper()

    root = os.path.join(args.work, args.group)
    pristine = os.path.join(root, "pristine-prefix")
    prefix = os.path.join(root, "prefix")
    shutil.rmtree(root, ignore_errors=True)
    os.makedirs(root)
    started = time.monotonic()
    subprocess.run(["wineboot", "-i"], env=wine_env(pristine, gui), stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=600)
    wineserver_kill(pristine, gui)
    print(f"group {args.group}: fresh prefix booted in {time.monotonic() - started:.1f} s")

    failed = []
    for case in GROUPS[args.group]:
        name = case.__name__[5:]
        if args.case and args.case != name:
            continue
        shutil.rmtree(prefix, ignore_errors=True)
        subprocess.run(["cp", "-a", pristine, prefix], check=True)
        ns = types.SimpleNamespace(case=name, work=root, prefix=prefix, **{
            k: v for k, v in vars(args).items() if k not in ("case", "work")})
        ctx = e2e.Context(ns)
        ctx.thumbprint = thumbprint
        if gui:
            ctx.env["DISPLAY"] = os.environ["DISPLAY"]
        started = time.monotonic()
        try:
            # Our own server first: the probe's output pipes must not be
            # inherited by the Wine services a first process starts.
            ctx.start_wineserver()
            case(ctx, Machine(ctx, prefix))
            print(f"ok {args.group}/{name} ({time.monotonic() - started:.1f} s)")
        except Failure as e:
            print(f"FAIL {args.group}/{name}: {e}")
            failed.append(name)
        except Exception:
            print(f"FAIL {args.group}/{name}:\n{traceback.format_exc()}")
            failed.append(name)
        finally:
            wineserver_kill(prefix, gui)
    if not failed:
        shutil.rmtree(root, ignore_errors=True)
    else:
        shutil.rmtree(pristine, ignore_errors=True)
        print(f"the prefix of the last case stays in {prefix}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
