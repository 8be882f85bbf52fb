#!/usr/bin/env python3
"""DLL planting and link attacks on the launcher under Wine.

matrix: every DLL the launcher loads (seen by WINEDEBUG=+loaddll in a
  silent installation, an interactive one and an extract-only run of the
  demo, collected at test time) plus a fixed list of classic targets is
  planted as a marker DLL (plant-marker.c: loading it leaves a marker file)
  beside the executable, in the launcher's current directory, in a
  directory on PATH, in the extraction directory, in ".custom" beside the
  executable (copied into the extraction directory) and as an "<exe>.local"
  redirection, with Wine told to prefer a native DLL of every planted name
  (WINEDLLOVERRIDES "<name>=n,b"; by default Wine takes its own builtin for
  a system DLL). Every name is planted at once in one location per run;
  each (name, location, run kind) cell is checked on its own, by the
  markers and by the loader's trace (WINEDEBUG=+loaddll,+module). Expected:
  the launcher loads no plant in any cell. A positive control first shows
  that planting is seen at all: plant-probe, a program that loads DLLs the
  naive way, must fall for the plants.

  Two kinds of load are Wine's, not the launcher's, and are shown apart:
  Wine 8 has no KnownDLLs, so the launcher's load-time imports and what
  Wine's own DLLs load while they start are taken from beside the
  executable before the launcher's first instruction ("kd": those names
  are not planted there); and Wine's loader searches the process's initial
  path, ignoring the launcher's restriction of the DLL search to the system
  directory, where it is given no path, as when its DLLs delay-load others
  ("wi": the run is repeated without those plants).

links: symbolic and hard links planted in the extraction directory (under
  package names and others, pointing at files and directories outside),
  links inside ".custom" and ".custom" itself as a link, and links planted
  while the launcher pauses between writing and verifying a package.
  Expected: nothing outside the extraction directory is changed or
  deleted; a link under a package's name or the copy's name is refused
  with the launcher's messages.

Each case boots a Wine prefix of its own and keeps one Wine process of a
clean environment running throughout, so the prefix's services never start
with a run's planted environment.

Usage: planting_e2e.py --case matrix|links [paths, see main()] [--gui]
Exit code 0 when the case passed, 1 when it failed.
"""
import argparse
import glob
import hashlib
import os
import re
import shutil
import subprocess
import sys
import time
import types

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import launcher_e2e as e2e  # noqa: E402
from launcher_e2e import Failure, check, winpath  # noqa: E402

DEMO_X64 = "{6D617272-6F77-6461-6C65-64656D6F0010}"
DEMO_DIR = "Marrowdale Demo"

# Classic planting targets, planted whether or not a run loads them.
FIXED_NAMES = ["msi", "version", "crypt32", "wintrust", "cryptbase", "uxtheme", "dwmapi", "userenv", "riched20",
               "shfolder", "comctl32", "gdiplus", "libgcc_s_seh-1", "libstdc++-6"]

LOCATIONS = ["app", "cwd", "path", "xdir", "custom", "local"]
LOCATION_TEXT = {"app": "beside the executable", "cwd": "current directory", "path": "directory on PATH",
                 "xdir": "extraction directory", "custom": ".custom (copied into the extraction directory)",
                 "local": "<exe>.local redirection"}
KIND_ARGS = {"silent": ["--silent"], "gui": [], "extract": ["--extract", "--silent"]}
KIND_TEXT = {"silent": "silent installation", "gui": "interactive installation", "extract": "extract-only"}

# The loader's trace: which modules were loaded, from where, by which search
# path, and where the process's start-up (the loader attaching the
# load-time imports, with a non-null context) ends.
TRACE_CHANNELS = "+pid,+loaddll,+module"
TRACE = re.compile(r'^([0-9a-f]{4}):([0-9a-f]{4}):trace:(?:'
                   r'module:load_dll looking for L"((?:[^"\\]|\\.)*)" in (?:L"((?:[^"\\]|\\.)*)"|\(null\))|'
                   r'loaddll:\w+ Loaded L"((?:[^"\\]|\\.)*)" at \w+: (\w+)|'
                   r'module:process_attach \(L"[^"]*",([0-9A-Fa-f]+)\) - END)', re.M)


# --- the prefix and its session ------------------------------------------------

class Session:
    """A freshly booted prefix with one clean Wine process holding its
    session open (the services start with that process's environment)."""

    def __init__(self, args, case, gui):
        self.root = os.path.join(args.work, case)
        shutil.rmtree(self.root, ignore_errors=True)
        os.makedirs(self.root)
        prefix = os.path.join(self.root, "prefix")
        ns = types.SimpleNamespace(case=case, work=args.work, prefix=prefix, driver=args.driver,
                                   helper=args.helper, launcher=args.launcher, wine=args.wine)
        self.ctx = e2e.Context(ns)
        self.ctx.work = os.path.join(self.root, "ctx")
        os.makedirs(self.ctx.work)
        if gui:
            self.ctx.env["DISPLAY"] = os.environ["DISPLAY"]
        started = time.monotonic()
        subprocess.run(["wineboot", "-i"], env=self.ctx.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=600)
        self.ctx.wineserver_kill()
        # Our own server, kept until the end, and the session's first
        # process (the services inherit its environment).
        subprocess.run(["wineserver", "-p"], env=self.ctx.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        self.release = self.ctx.hold("hold-mutex", "ZoltPlantingSession")
        print(f"prefix booted in {time.monotonic() - started:.1f} s")
        self.prefix = prefix

    def c(self, *parts):
        return os.path.join(self.prefix, "drive_c", *parts)

    def system_dll(self, name, pe32):
        """The prefix's system DLL @name of the launcher's bitness: in a
        64-bit prefix the 32-bit ones live in syswow64."""
        return self.c("windows", "syswow64" if pe32 else "system32", name)

    def temp_dir(self):
        dirs = [d for d in glob.glob(self.c("users", "*", "Temp")) if os.sep + "Public" + os.sep not in d]
        check(len(dirs) == 1, f"no single user temporary directory: {dirs}")
        return dirs[0]

    def close(self):
        try:
            self.release()
        finally:
            self.ctx.wineserver_kill()


def run_in(ctx, cwd, exe, args, env):
    """Starts @exe through the driver with @cwd as its current directory
    (Wine takes it from the Unix one); returns the started run."""
    old = os.getcwd()
    os.chdir(cwd)
    try:
        return ctx.start(exe, args, env=env)
    finally:
        os.chdir(old)


def driver_output(run):
    with open(run.driver_file, "rb") as f:
        return f.read().decode("utf-8", "replace")


def launcher_pid(run):
    m = re.search(r"^pid=(\d+)", driver_output(run), re.M)
    check(m, f"the driver gave no process id: {driver_output(run)[:500]!r}")
    return int(m.group(1))


def unescape(text):
    return text.replace("\\\\", "\\")


class Module:
    """A module the loader's trace shows loaded into a run's program."""

    def __init__(self, path, how, search, order):
        self.path, self.how, self.order = path, how, order
        # The search path it was looked for in; None for the process's
        # initial one, which Wine's loader takes when given none (as when
        # its DLLs delay-load others).
        self.search = search
        self.at_start = False  # loaded before the program's first instruction


def loaded_modules(run):
    """Every module the loader's trace shows loaded into the run's
    program, in order."""
    pid = f"{launcher_pid(run):04x}"
    looked = {}
    modules = []
    start_end = -1
    for order, m in enumerate(TRACE.finditer(driver_output(run))):
        if m.group(1) != pid:
            continue
        if m.group(3) is not None:
            looked[(m.group(2), unescape(m.group(3)).lower())] = unescape(m.group(4)) if m.group(4) else None
        elif m.group(5) is not None:
            path = unescape(m.group(5))
            base = path.rsplit("\\", 1)[-1].lower()
            modules.append(Module(path, m.group(6), looked.get((m.group(2), base), ""), order))
        elif int(m.group(7), 16) != 0:
            start_end = order
    for module in modules:
        module.at_start = module.order < start_end
    return modules


def dll_name(path):
    """The planting name of a loaded module ("msi" for ...\\MSI.DLL), or
    None for modules that are not DLLs (the program, Wine's drivers)."""
    base = path.replace("/", "\\").rsplit("\\", 1)[-1].lower()
    return base[:-4] if base.endswith(".dll") else None


def is_pe32(objdump, path):
    """Whether @path is a 32-bit (x86) executable."""
    out = subprocess.run([objdump, "-f", path], capture_output=True, text=True, check=True).stdout
    return "pei-i386" in out


def import_closure(objdump, path, resolve):
    """The DLL names the loader brings in with @path before its code runs:
    its imports and theirs, read from the import tables."""
    seen = set()
    todo = [path]
    while todo:
        out = subprocess.run([objdump, "-p", todo.pop()], capture_output=True, text=True, check=True).stdout
        for name in re.findall(r"DLL Name: (\S+)", out):
            name = dll_name(name)
            if name and name not in seen:
                seen.add(name)
                dll = resolve(name)
                if dll:
                    todo.append(dll)
    return seen


# --- markers ---------------------------------------------------------------------

class Load:
    """A planted DLL that was loaded, as its marker (or the loader's trace)
    tells: the plant's path, the process's image, and "static", "dynamic"
    or "trace" (seen in the trace only: it ran no code)."""

    def __init__(self, module, image, how):
        self.module, self.image, self.how = module, image, how

    def __str__(self):
        return f"{self.module} in {self.image} ({self.how})"


def read_markers(roots):
    """Every marker under @roots (read and removed), one Load each."""
    loads = []
    for root in roots:
        for path in glob.glob(os.path.join(root, "**", "*.marker"), recursive=True):
            with open(path, "rb") as f:
                lines = f.read().decode("utf-16-le", "replace").split("\n")
            loads.append(Load(*(lines + ["", "", ""])[:3]))
            os.remove(path)
    return loads


class Plant:
    """One run's directories, with the marker DLL planted in one of them
    under every name."""

    def __init__(self, session, tag, exe, location, names):
        self.root = os.path.join(session.root, "runs", tag)
        shutil.rmtree(self.root, ignore_errors=True)
        self.app = os.path.join(self.root, "app")
        self.cwd = os.path.join(self.root, "cwd")
        self.pathdir = os.path.join(self.root, "pathdir")
        self.xdir = os.path.join(self.root, "x")
        self.markers = os.path.join(self.root, "markers")
        for d in (self.app, self.cwd, self.pathdir, self.xdir, self.markers):
            os.makedirs(d)
        self.exe = os.path.join(self.app, os.path.basename(exe))
        shutil.copy(exe, self.exe)
        self.dirs = {"app": self.app, "cwd": self.cwd, "path": self.pathdir, "xdir": self.xdir,
                     "custom": os.path.join(self.app, ".custom"), "local": self.exe + ".local"}
        self.location = location
        if location:
            os.makedirs(self.dirs[location], exist_ok=True)
            for name in names:
                shutil.copy(session.marker, os.path.join(self.dirs[location], name + ".dll"))

    def env(self, overrides):
        env = {"ZOLT_PLANT_MARKER_DIR": winpath(self.markers), "WINEPATH": winpath(self.pathdir)}
        if overrides:
            env["WINEDLLOVERRIDES"] = ",".join(sorted(overrides)) + "=n,b"
        return env

    def where(self, module_path):
        """The location a loaded plant came from."""
        d = module_path.replace("/", "\\").rsplit("\\", 1)[0].lower()
        for loc, path in self.dirs.items():
            if d == winpath(path).lower():
                return loc
        return "custom" if d.endswith("\\.custom") else "elsewhere"


# --- the matrix ------------------------------------------------------------------

class Matrix:
    def __init__(self, args):
        self.args = args
        self.kinds = ["silent", "gui", "extract"] if args.gui else ["silent", "extract"]
        self.session = Session(args, "matrix", args.gui)
        self.session.marker = args.marker
        self.ctx = self.session.ctx
        pe32 = is_pe32(args.objdump, args.launcher)
        self.resolve = lambda name: (self.session.system_dll(name + ".dll", pe32)
                                     if os.path.isfile(self.session.system_dll(name + ".dll", pe32)) else None)
        self.hits = {}        # (kind, location, name) -> loads
        self.initial = set()  # (kind, location, name) loaded by Wine's initial search path
        self.failures = []

    # The launcher's runs.

    def launch(self, plant, kind, overrides):
        """Runs the launcher of @plant, its loads traced, Wine told to prefer
        native DLLs of the names @overrides. Installations must install the
        demo (which is removed again). @returns the run, its problems and
        the directories it left in the temporary directory."""
        args = list(KIND_ARGS[kind])
        if kind == "extract" or plant.location == "xdir":
            args += ["--path", winpath(plant.xdir)]
        env = plant.env(overrides)
        env["WINEDEBUG"] = TRACE_CHANNELS
        temp_before = set(os.listdir(self.session.temp_dir()))
        run = run_in(self.ctx, plant.cwd, plant.exe, args, env)
        box = self.wait_gui(run) if kind == "gui" else None
        r = run.wait(timeout=300)
        installed = os.path.isfile(self.session.c("Program Files", DEMO_DIR, "readme.txt"))
        problems = []
        if r.exit_code != 0 or box:
            problems.append(f"{r.describe()}" + (f"\nmessage box: {box!r}" if box else ""))
        if kind != "extract":
            if installed:
                self.uninstall()
            else:
                problems.append("the demo was not installed")
        # What a ".custom" copy left in the temporary directory goes, so the
        # next run starts clean (the markers it holds are read first).
        temp = self.session.temp_dir()
        leftovers = [os.path.join(temp, n) for n in set(os.listdir(temp)) - temp_before
                     if os.path.isdir(os.path.join(temp, n))]
        return r, problems, leftovers

    def uninstall(self):
        p = self.ctx.wine_popen(["msiexec", "/x", DEMO_X64, "/qn"], output=False)
        check(p.wait(timeout=300) == 0, f"uninstalling the demo failed: {p.returncode}")
        check(not os.path.exists(self.session.c("Program Files", DEMO_DIR, "readme.txt")),
              "the demo is still installed after its removal")

    def wait_gui(self, run):
        """Waits for an interactive run to end; a message box it shows (none
        is expected) is read and dismissed. @returns the box's text."""
        end = time.monotonic() + 300
        while run.proc.poll() is None and time.monotonic() < end:
            ids = e2e.xdotool("search", "--onlyvisible", "--name", f"^{e2e.TITLE}$", check_rc=False).split()
            for wid in ids:
                geometry = e2e.xdotool("getwindowgeometry", "--shell", wid, check_rc=False)
                g = dict(line.split("=") for line in geometry.split("\n") if "=" in line)
                if (g.get("WIDTH"), g.get("HEIGHT")) != ("800", "200"):  # not the splash screen
                    time.sleep(0.5)
                    # The splash window shows under the same title before
                    # it has its size: only a dialog of that title is a box.
                    try:
                        text = self.ctx.helper("box-text", e2e.TITLE)
                    except Failure:
                        continue
                    e2e.dismiss(wid)
                    return text or "(no text)"
            time.sleep(0.5)
        return None

    # Steps.

    def collect_names(self):
        """Baselines: one run of each kind with nothing planted, traced."""
        names = set()
        for kind in self.kinds:
            plant = Plant(self.session, f"baseline-{kind}", self.args.launcher, None, [])
            r, problems, leftovers = self.launch(plant, kind, set())
            check(not problems, f"baseline {KIND_TEXT[kind]}: " + "; ".join(problems))
            modules = loaded_modules(r)
            check(any(dll_name(m.path) == "kernel32" for m in modules), "the loader trace shows no launcher modules")
            seen = {dll_name(m.path) for m in modules} - {None}
            print(f"baseline {KIND_TEXT[kind]}: {r.elapsed:.1f} s, {len(seen)} DLLs: {' '.join(sorted(seen))}")
            names |= seen
        names.discard("ntdll")  # always Wine's own: it loads the loader
        return names

    def control(self, names):
        """The positive control: plant-probe loads every name the naive way
        (LoadLibraryW with a bare name) with the plants in one location."""
        probe_closure = import_closure(self.args.objdump, self.args.probe, self.resolve)
        for loc in ("app", "cwd", "path", "local"):
            # Its own imports planted beside it would replace them before it
            # runs: not what the control is about.
            overrides = names - probe_closure if loc in ("app", "local") else names
            plant = Plant(self.session, f"control-{loc}", self.args.probe, loc, overrides)
            env = plant.env(overrides)
            run = run_in(self.ctx, plant.cwd, plant.exe, [n + ".dll" for n in sorted(names)], env)
            r = run.wait(timeout=120)
            check(r.exit_code == 0, f"plant-probe, plants {LOCATION_TEXT[loc]}: {r.describe()}")
            result = dict(line.split(" ", 1) for line in r.stdout.splitlines() if " " in line)
            loads = read_markers([plant.root])
            fired = {dll_name(m.module) for m in loads if plant.where(m.module) == loc}
            # The default search order puts the system directory before the
            # current directory and PATH: only names the system directory
            # lacks can be planted there.
            if loc == "app":
                want = {n for n in overrides if result.get(n + ".dll") != "preloaded"}
            elif loc in ("cwd", "path"):
                want = {n for n in names if not self.resolve(n)}
            else:
                want = set()
            missing = want - fired
            check(loc == "local" or want, f"plant-probe, plants {LOCATION_TEXT[loc]}: no name to show the plant with")
            check(not missing, f"plant-probe, plants {LOCATION_TEXT[loc]}: no marker for {sorted(missing)} "
                  f"(expected {len(want)}); probe said:\n{r.stdout}")
            print(f"control, plants {LOCATION_TEXT[loc]}: {len(fired)} of {len(names)} planted DLLs loaded by "
                  f"plant-probe" + (f" (all {len(want)} it must load)" if want else ""))
            if loc == "local" and not fired:
                print("control: Wine does not honour <exe>.local redirection, so the .local cells cannot show a "
                      "fault under Wine (they run all the same)")

    def load_time_names(self, names, closure):
        """The names Wine takes from beside the launcher before any of its
        code runs: its load-time imports and theirs (@closure, from the
        import tables), and what Wine's own DLLs load while they start up
        (seen by a run that only prints the version, with everything else
        planted beside it). Wine 8 has no KnownDLLs; on Windows all of these
        come from the KnownDLLs section or are not loaded at all, never from
        beside the executable. One of the load-time imports is planted too,
        to show that Wine does take it."""
        shown = {"version"} & closure
        planted = (names - closure) | shown
        plant = Plant(self.session, "load-time", self.args.launcher, "app", planted)
        env = dict(plant.env(planted), WINEDEBUG=TRACE_CHANNELS)
        r = run_in(self.ctx, plant.cwd, plant.exe, ["--silent", "--version"], env).wait()
        check(r.exit_code == 0, f"--version with DLLs planted beside the launcher: {r.describe()}")
        # Loads once the launcher runs are the matrix's business: the same
        # plants are there in its runs.
        how = {m.module.lower(): m.how for m in read_markers([plant.root])}
        early = {dll_name(m.path): how.get(m.path.lower(), "trace") for m in loaded_modules(r)
                 if m.how == "native" and m.at_start and plant.where(m.path) == "app" and dll_name(m.path)}
        print(f"load-time imports of the launcher under Wine ({len(closure)}): {' '.join(sorted(closure))}")
        for name, how in sorted(early.items()):
            print(f"  planted {name}.dll beside the launcher is loaded ({how}) before its first instruction")
        return closure | set(early)

    def cell(self, kind, loc, planted, again=False):
        """One run with @planted planted in @loc. @returns the problems of
        the run, the launcher's loads of plants, the names Wine loaded by
        its initial search path (see below), and a summary line."""
        plant = Plant(self.session, f"{kind}-{loc}" + ("-again" if again else ""), self.args.launcher, loc, planted)
        started = time.monotonic()
        r, problems, leftovers = self.launch(plant, kind, planted)
        image = winpath(plant.exe)
        loads = {m.module.lower(): m for m in read_markers([plant.root] + leftovers)}
        traced = {}
        for module in loaded_modules(r):
            traced[module.path.lower()] = module
            if module.how == "native" and module.path.lower() != image.lower():
                loads.setdefault(module.path.lower(), Load(module.path, image, "trace"))
        for d in leftovers:
            shutil.rmtree(d, ignore_errors=True)
        hits, notes, initial = [], [], set()
        for m in loads.values():
            module = traced.get(m.module.lower()) if m.image.lower() == image.lower() else None
            if module and module.at_start:
                notes.append(f"before the launcher ran: {m}")
            elif module and module.search is None:
                # Wine's loader searches the process's initial path when it
                # is given none (delay-loads of its own DLLs): it ignores the
                # launcher's restriction, which Windows honours there.
                initial.add(dll_name(m.module))
                notes.append(f"by Wine's initial search path: {m}")
            else:
                hits.append(((kind, plant.where(m.module), dll_name(m.module) or m.module), str(m)))
        attempt = " (again without them)" if again else ""
        line = (f"{KIND_TEXT[kind]}, plants {LOCATION_TEXT[loc]}{attempt}: exit {r.exit_code}, {len(hits)} planted "
                f"DLLs loaded by the launcher, {time.monotonic() - started:.1f} s" + "".join(f"\n  {n}" for n in notes))
        return problems, hits, initial, line

    def cell_runs(self, names, load_time):
        for kind in self.kinds:
            for loc in LOCATIONS:
                # Beside the executable (and through .local) the load-time
                # names would only test Wine's loader, and replacing them
                # breaks the process before the launcher runs.
                planted = names - load_time if loc in ("app", "local") else names
                problems, hits, initial, line = self.cell(kind, loc, planted)
                print(line)
                if initial and problems:
                    # What Wine took by its initial search path broke the
                    # run: again without those plants, for the rest.
                    print("  " + "; ".join(problems).replace("\n", "\n  "))
                    problems, hits, more, line = self.cell(kind, loc, planted - initial, again=True)
                    print(line)
                    initial |= more
                self.initial |= {(kind, loc, name) for name in initial}
                for cell, what in hits:
                    self.hits.setdefault(cell, []).append(what)
                if problems:
                    self.failures.append(f"{KIND_TEXT[kind]}, plants {LOCATION_TEXT[loc]}: " + "; ".join(problems))

    def table(self, names, load_time):
        cols = [(k, loc) for k in self.kinds for loc in LOCATIONS]
        kd = 0
        lines = ["name".ljust(16) + " ".join(f"{k[0].upper()}:{loc}".rjust(8) for k, loc in cols)]
        for name in sorted(names):
            cells = []
            for k, loc in cols:
                n = len(self.hits.get((k, loc, name), []))
                exempt = name in load_time and loc in ("app", "local")
                kd += exempt
                text = f"{n}" if n else "wi" if (k, loc, name) in self.initial else "kd" if exempt else "0"
                cells.append(text.rjust(8))
            lines.append(name[:15].ljust(16) + " ".join(cells))
        print("\n".join(lines))
        print("columns: S = silent installation, G = interactive installation, E = extract-only. A number counts "
              "the launcher's loads of plants; kd = not planted: Wine loads it before the launcher's first "
              "instruction (see above); wi = loaded by Wine's loader through the process's initial search path, "
              "which ignores the launcher's restriction (see above)")
        return kd

    def run(self):
        names = self.collect_names() | set(FIXED_NAMES)
        print(f"planted names ({len(names)}): {' '.join(sorted(names))}")
        self.control(names)
        closure = import_closure(self.args.objdump, self.args.launcher, self.resolve) - {"ntdll"}
        load_time = self.load_time_names(names, closure)
        if not self.args.gui:
            print("no X display: the interactive installation column is not run")
        self.cell_runs(names, load_time)
        kd = self.table(names, load_time)
        cells = len(names) * len(LOCATIONS) * len(self.kinds)
        loads = sum(len(v) for v in self.hits.values())
        print(f"matrix: {len(names)} names x {len(LOCATIONS)} locations x {len(self.kinds)} run kinds = {cells} "
              f"cells ({kd} 'kd', {len(self.initial)} 'wi'); planted DLLs loaded by the launcher: {loads}")
        for cell, what in sorted(self.hits.items()):
            print(f"LOADED {KIND_TEXT[cell[0]]}, {cell[1]}, {cell[2]}: " + "; ".join(what))
        check(not self.failures, "runs that did not succeed:\n" + "\n".join(self.failures))
        check(loads == 0, f"{loads} planted DLLs were loaded")


# --- links ---------------------------------------------------------------------------

def snapshot(root):
    """Everything under @root: type, link target, inode and content hash."""
    state = {}
    for dirpath, dirnames, filenames in os.walk(root):
        for name in dirnames + filenames:
            p = os.path.join(dirpath, name)
            rel = os.path.relpath(p, root)
            if os.path.islink(p):
                state[rel] = ("link", os.readlink(p))
            elif os.path.isdir(p):
                state[rel] = ("dir",)
            else:
                with open(p, "rb") as f:
                    state[rel] = ("file", os.stat(p).st_ino, hashlib.sha1(f.read()).hexdigest())
    return state


def diff(before, after):
    return sorted({k for k in before.keys() | after.keys() if before.get(k) != after.get(k)})


class Links:
    """Links on the hook launcher of e2e/CMakeLists.txt: its container
    holds cabinet files only (pkg-a.cab for x86-64, pkg-b.cab for ARM64,
    pkg-c.cab for all hosts), so its installation runs hand nothing to the
    Windows Installer and cost little beyond their cleanup pass; and it can
    pause after writing each package."""

    def __init__(self, args):
        self.args = args
        self.session = Session(args, "links", False)
        self.ctx = self.session.ctx
        self.exe_name = os.path.basename(args.hook_launcher)
        self.failures = []

    def layout(self, tag, custom=None):
        """A run's tree: app/ (the launcher, and its ".custom" as @custom
        says: None, "dir" with links inside, or "link" to a directory
        outside), out/ (what lies outside the extraction directory) and
        x/ (an extraction directory that exists)."""
        root = os.path.join(self.session.root, "runs", tag)
        shutil.rmtree(root, ignore_errors=True)
        t = types.SimpleNamespace(root=root, app=os.path.join(root, "app"), out=os.path.join(root, "out"),
                                  x=os.path.join(root, "x"))
        for d in (t.app, t.x, os.path.join(t.out, "dir", "nested"), os.path.join(t.out, "cdir")):
            os.makedirs(d)
        files = {"file.txt": b"outside file\n", "hard.txt": b"outside, hard linked\n",
                 os.path.join("dir", "inner.txt"): b"outside directory\n",
                 os.path.join("dir", "nested", "deep.txt"): b"deep\n",
                 os.path.join("cdir", "settings.ini"): b"the outside settings\n"}
        for rel, data in files.items():
            with open(os.path.join(t.out, rel), "wb") as f:
                f.write(data)
        t.exe = os.path.join(t.app, self.exe_name)
        shutil.copy(self.args.hook_launcher, t.exe)
        custom_dir = os.path.join(t.app, ".custom")
        if custom == "dir":
            os.makedirs(os.path.join(custom_dir, "sub"))
            with open(os.path.join(custom_dir, "settings.ini"), "wb") as f:
                f.write(b"the vendor's settings\n")
            os.symlink(os.path.join(t.out, "file.txt"), os.path.join(custom_dir, "file-link"))
            os.symlink(os.path.join(t.out, "dir"), os.path.join(custom_dir, "dir-link"))
        elif custom == "link":
            os.symlink(os.path.join(t.out, "dir"), custom_dir)
        return t

    def start(self, t, args, pauses):
        """Starts the launcher silently with pauses after writing the
        packages of the indexes @pauses only."""
        hooks = e2e.Hooks(types.SimpleNamespace(work=t.root))
        for i in set(range(3)) - set(pauses):
            hooks.go(i)
        self.current = (hooks, self.ctx.start(t.exe, ["--silent"] + args, env=hooks.env))
        return self.current

    def linux(self, path):
        """The Linux path of a launcher's path on Z: or C:."""
        if path[:2].upper() == "C:":
            return self.session.c(*path[3:].split("\\"))
        return e2e.linux_path(path)

    def run(self, t, args, expect_exit, expect_err, act=None):
        """Runs the launcher; @act(path of package #0) plants at the pause
        after package #0 is written. Checks the exit code, the standard
        error ({exe} the program's name, {x} the extraction directory's
        Windows path) and that nothing outside changed."""
        before = snapshot(t.out)
        started = time.monotonic()
        hooks, run = self.start(t, args, [0])
        path = hooks.wait(0, run)
        if act:
            act(self.linux(path))
        hooks.go(0)
        r = run.wait(timeout=120)
        x = os.path.dirname(self.linux(path))
        want = expect_err.replace("{exe}", self.exe_name)
        want = re.escape(want).replace(re.escape("{x}"), re.escape(path.rsplit("\\", 1)[0]))
        problems = []
        if r.exit_code != expect_exit or not re.fullmatch(want, r.stderr):
            problems.append(f"expected exit {expect_exit} and standard error {expect_err!r}, got {r.describe()}")
        changed = diff(before, snapshot(t.out))
        if changed:
            problems.append(f"changed outside the extraction directory: {changed}")
        return r, x, problems, time.monotonic() - started

    def case(self, title, fn):
        started = time.monotonic()
        self.current = None
        try:
            fn()
            print(f"ok {title} ({time.monotonic() - started:.1f} s)")
        except Failure as e:
            print(f"FAIL {title}: {e}")
            self.failures.append(title)
            if self.current:
                # Let a launcher left pausing go on, so the next case does
                # not meet its single-instance mutex.
                hooks, run = self.current
                for i in range(3):
                    hooks.go(i)
                run.proc.wait(timeout=120)

    # The cases.

    def package_name_links(self):
        # In an extraction directory that exists (--path): a hard link to an
        # outside file under package #0's name (replacing it takes only
        # this name), a symbolic link under package #2's name (refused),
        # links of other names (never touched).
        t = self.layout("package-names")
        os.link(os.path.join(t.out, "hard.txt"), os.path.join(t.x, "pkg-a.cab"))
        os.symlink(os.path.join(t.out, "file.txt"), os.path.join(t.x, "pkg-c.cab"))
        os.symlink(os.path.join(t.out, "file.txt"), os.path.join(t.x, "file-link"))
        os.symlink(os.path.join(t.out, "dir"), os.path.join(t.x, "dir-link"))
        r, x, problems, _ = self.run(
            t, ["--path", winpath(t.x)], 1,
            "error: #2: Failed to create/replace '{x}\\pkg-c.cab' for writing: ERR_IS_A_SYMLINK\n"
            "{exe}: error: Error extracting package #2 (pkg-c.cab): ERR_IS_A_SYMLINK\n")
        left = sorted(os.listdir(t.x))
        if left != ["dir-link", "file-link", "pkg-c.cab"]:
            problems.append(f"left in the extraction directory: {left}")
        check(not problems, "\n".join(problems))

    def custom_copy_link(self):
        # The copy's name in the extraction directory is a link to an outside
        # directory: the copy is refused, the packages are cleaned up.
        t = self.layout("custom-copy-link", custom="dir")
        os.symlink(os.path.join(t.out, "cdir"), os.path.join(t.x, ".custom"))
        r, x, problems, _ = self.run(
            t, ["--path", winpath(t.x)], 1, "{exe}: error: Unable to open the destination .custom directory: "
                                            "ERR_IS_A_SYMLINK\n")
        left = sorted(os.listdir(t.x))
        if left != [".custom"] or not os.path.islink(os.path.join(t.x, ".custom")):
            problems.append(f"left in the extraction directory: {left}")
        check(not problems, "\n".join(problems))

    def custom_with_links(self, custom):
        # Links inside ".custom" (to a file and a directory outside), or
        # ".custom" a link to an outside directory: the copy reads through
        # them and writes only into the extraction directory; the copy is
        # left by the cleanup pass (it is not empty), the package files go.
        t = self.layout(f"custom-{custom}", custom=custom)
        r, x, problems, elapsed = self.run(t, ["--path", winpath(t.x)], 0, "")
        copied = snapshot(os.path.join(t.x, ".custom"))
        links = [k for k, v in copied.items() if v[0] == "link"]
        if links:
            problems.append(f"the copy holds links: {links}")
        if sorted(os.listdir(t.x)) != [".custom"]:
            problems.append(f"left in the extraction directory: {sorted(os.listdir(t.x))}")
        check(not problems, "\n".join(problems))
        print(f"  .custom {'with links inside' if custom == 'dir' else 'as a link'}: copy holds "
              f"{sorted(copied)}; run {elapsed:.1f} s (the cleanup pass retries the copy)")

    def planted_while_paused(self):
        # A new extraction directory of a random name: while the launcher
        # pauses after writing package #0, another program plants a link
        # under package #2's name and links of other names.
        t = self.layout("paused")

        def act(pkg_a):
            x = os.path.dirname(pkg_a)
            os.symlink(os.path.join(t.out, "file.txt"), os.path.join(x, "pkg-c.cab"))
            os.symlink(os.path.join(t.out, "dir"), os.path.join(x, "dir-link"))
        r, x, problems, elapsed = self.run(
            t, [], 1, "error: #2: Failed to create/replace '{x}\\pkg-c.cab' for writing: ERR_IS_A_SYMLINK\n"
                      "{exe}: error: Error extracting package #2 (pkg-c.cab): ERR_IS_A_SYMLINK\n", act)
        # Not empty, the directory stays after the cleanup pass, with only
        # the links in it.
        left = sorted(os.listdir(x)) if os.path.isdir(x) else None
        if left != ["dir-link", "pkg-c.cab"]:
            problems.append(f"left in the extraction directory: {left}")
        shutil.rmtree(x, ignore_errors=True)
        check(not problems, "\n".join(problems))

    def custom_planted_while_paused(self):
        # The same with a link under the copy's name.
        t = self.layout("custom-paused", custom="dir")

        def act(pkg_a):
            os.symlink(os.path.join(t.out, "cdir"), os.path.join(os.path.dirname(pkg_a), ".custom"))
        r, x, problems, elapsed = self.run(
            t, [], 1, "{exe}: error: Unable to open the destination .custom directory: ERR_IS_A_SYMLINK\n", act)
        left = sorted(os.listdir(x)) if os.path.isdir(x) else None
        if left != [".custom"]:
            problems.append(f"left in the extraction directory: {left}")
        shutil.rmtree(x, ignore_errors=True)
        check(not problems, "\n".join(problems))

    def package_swapped_for_link(self):
        # After package #0 is verified and held, a program that gets round
        # the sharing rules (a Linux process) swaps it for a link to an
        # outside file: the cleanup pass deletes neither the link's target
        # nor (a link is not the launcher's file) the link, and says so.
        t = self.layout("swapped")
        before = snapshot(t.out)
        hooks, run = self.start(t, ["--path", winpath(t.x)], [2])
        pkg_c = hooks.wait(2, run)
        pkg_a = os.path.join(t.x, "pkg-a.cab")
        os.symlink(os.path.join(t.out, "file.txt"), pkg_a + ".link")
        os.replace(pkg_a + ".link", pkg_a)
        hooks.go(2)
        r = run.wait(timeout=120)
        want = (f"{self.exe_name}: error: Failed to delete temporary file '{pkg_c[:-len('pkg-c.cab')]}pkg-a.cab': "
                f"ERR_IS_A_SYMLINK\n")
        problems = []
        if r.exit_code != 0 or r.stderr != want:
            problems.append(f"expected exit 0 and standard error {want!r}, got {r.describe()}")
        changed = diff(before, snapshot(t.out))
        if changed:
            problems.append(f"changed outside the extraction directory: {changed}")
        if sorted(os.listdir(t.x)) != ["pkg-a.cab"] or not os.path.islink(pkg_a):
            problems.append(f"left in the extraction directory: {sorted(os.listdir(t.x))}")
        check(not problems, "\n".join(problems))

    def run_all(self):
        self.case("links under package names in an existing extraction directory", self.package_name_links)
        self.case("a link under the copy's name in an existing extraction directory", self.custom_copy_link)
        self.case("links inside .custom", lambda: self.custom_with_links("dir"))
        self.case(".custom as a link to an outside directory", lambda: self.custom_with_links("link"))
        self.case("links planted in a new extraction directory while the launcher pauses",
                  self.planted_while_paused)
        self.case("a link under the copy's name planted while the launcher pauses", self.custom_planted_while_paused)
        self.case("a verified package swapped for a link before the cleanup", self.package_swapped_for_link)
        check(not self.failures, f"{len(self.failures)} link cases failed")


def main(argv):
    p = argparse.ArgumentParser()
    p.add_argument("--case", required=True, choices=["matrix", "links"])
    for opt in ("wine", "work", "driver", "helper", "launcher", "hook-launcher", "marker", "probe", "objdump"):
        p.add_argument("--" + opt, required=True)
    p.add_argument("--gui", action="store_true", help="also run interactive installations (needs an X display)")
    args = p.parse_args(argv)
    # Runs start in directories of their own: no path may be relative.
    for opt in ("wine", "work", "driver", "helper", "launcher", "hook_launcher", "marker", "probe"):
        setattr(args, opt, os.path.abspath(getattr(args, opt)))
    if args.gui:
        check("DISPLAY" in os.environ, "--gui needs an X display (tests/e2e/with-xvfb.py)")
    started = time.monotonic()
    suite = Matrix(args) if args.case == "matrix" else Links(args)
    try:
        suite.run() if args.case == "matrix" else suite.run_all()
    except Failure as e:
        print(f"FAIL {args.case}: {e}")
        return 1
    finally:
        suite.session.close()
        print(f"{args.case}: {time.monotonic() - started:.1f} s")
    print(f"ok {args.case}")
    shutil.rmtree(suite.session.root, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
