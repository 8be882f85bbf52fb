#!/usr/bin/env python3
"""Runs a command with an X display of its own: a virtual X server (Xvfb)
that picks a free display number itself and reports it (-displayfd), with
an authorisation cookie only this command has, and that ends with it.

Why not xvfb-run -a: it guesses a free number from the lock files in /tmp,
starts a server there and, when that server loses the number to one started
at the same moment, tries the next. When several start together they keep
meeting on the same numbers, and after ten such losses xvfb-run runs the
command anyway, with DISPLAY naming a number it has no server on: nobody's
(every X client of the test then fails) or another test's (whose cookie it
lacks, or, without one, where its windows would appear). A server that
picks its own number binds the number's socket or moves on, so two never
share one.

Usage: with-xvfb.py [--screen WxHxD] [--start-timeout S] COMMAND [ARG...]
Exit code: the command's (128 + N when signal N ended it), or 1 when no
server could be started (its log is printed).
"""
import argparse
import ctypes
import os
import secrets
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

PR_SET_PDEATHSIG = 1


def end_with_parent():
    """In the server's process: end it when the wrapper ends, even when the
    wrapper is killed (a test run's time limit kills it)."""
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGTERM)


def read_display(fd, deadline):
    """The number the server writes to @fd, a line, or None when it ends
    first (the pipe then ends) or the deadline passes."""
    data = b""
    while not data.endswith(b"\n"):
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([fd], [], [], left)[0]:
            return None
        chunk = os.read(fd, 64)
        if not chunk:
            return None
        data += chunk
    text = data.decode("ascii", "replace").strip()
    return int(text) if text.isdigit() else None


def xauth(auth, *args):
    subprocess.run(["xauth", "-q", "-f", auth] + list(args), check=True, stdin=subprocess.DEVNULL)


def main(argv):
    p = argparse.ArgumentParser(description="Runs COMMAND with an Xvfb display of its own.")
    p.add_argument("--screen", default="1024x768x24", help="screen 0 as WIDTHxHEIGHTxDEPTH (1024x768x24)")
    p.add_argument("--start-timeout", type=float, default=120,
                   help="seconds the server may take to start on a loaded machine (120)")
    p.add_argument("command", nargs=argparse.REMAINDER)
    args = p.parse_args(argv)
    if args.command[:1] == ["--"]:
        args.command = args.command[1:]
    if not args.command:
        p.error("no command given")

    work = tempfile.mkdtemp(prefix="with-xvfb-")
    auth = os.path.join(work, "Xauthority")
    log_path = os.path.join(work, "xvfb.log")
    cookie = secrets.token_hex(16)
    server = None
    try:
        # The server takes every cookie of its file, whatever display an
        # entry names; clients look theirs up by the display's number, which
        # is known only once the server runs.
        open(auth, "wb").close()
        xauth(auth, "add", ":65535", ".", cookie)
        rfd, wfd = os.pipe()
        with open(log_path, "wb") as log:
            server = subprocess.Popen(["Xvfb", "-displayfd", str(wfd), "-screen", "0", args.screen,
                                       "-nolisten", "tcp", "-noreset", "-auth", auth],
                                      pass_fds=(wfd,), stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                      preexec_fn=end_with_parent)
        os.close(wfd)
        started = time.monotonic()
        number = read_display(rfd, started + args.start_timeout)
        os.close(rfd)
        if number is None:
            try:
                state = f"ended with {server.wait(timeout=10)}"
            except subprocess.TimeoutExpired:
                state = f"gave no display number within {args.start_timeout:.0f} s"
            with open(log_path, "rb") as f:
                log_text = f.read().decode("utf-8", "replace")
            print(f"with-xvfb: the X server {state}; its log:\n{log_text}", file=sys.stderr, flush=True)
            return 1
        xauth(auth, "add", f":{number}", ".", cookie)
        env = dict(os.environ, DISPLAY=f":{number}", XAUTHORITY=auth)
        print(f"with-xvfb: display :{number} ({args.screen}), started in {time.monotonic() - started:.1f} s",
              flush=True)

        child = subprocess.Popen(args.command, env=env)

        def forward(signum, frame):
            child.send_signal(signum)
        for signum in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
            signal.signal(signum, forward)
        rc = child.wait()
        return 128 - rc if rc < 0 else rc
    finally:
        if server is not None and server.poll() is None:
            server.terminate()
            try:
                server.wait(timeout=10)
            except subprocess.TimeoutExpired:
                server.kill()
                server.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
