#!/usr/bin/env python3
"""The container writer's refusals: each bad input stops it with exit code 1
and one message naming the input; the limits themselves are accepted.

Usage: container_errors.py MAKE-CONTAINER.py
"""
import os
import subprocess
import sys
import tempfile


def run(tool, work, args):
    p = subprocess.run([sys.executable, tool, "--output-dir", os.path.join(work, "out")] + args,
                       capture_output=True, text=True)
    return p.returncode, p.stderr.strip()


def main(argv):
    tool = argv[0]
    failures = 0
    with tempfile.TemporaryDirectory() as work:
        pkg = os.path.join(work, "p.msi")
        with open(pkg, "wb") as f:
            f.write(b"x")
        empty = os.path.join(work, "empty.cab")
        open(empty, "wb").close()

        cases = [
            # (label, args, expected exit code, expected text in the message)
            ("architecture 0", ["--package", "0", pkg], 1, "architecture '0' is not one of 1 (all)"),
            ("architecture 5", ["--package", "5", pkg], 1, "architecture '5' is not one of"),
            ("file name of 224 bytes", ["--package", "1", pkg, "--name", "n" * 224], 1,
             "is 224 bytes; it must fit 224 bytes with its terminator (at most 223)"),
            ("file name of 223 bytes", ["--package", "1", pkg, "--name", "n" * 223], 0, ""),
            ("empty package", ["--package", "1", empty], 1, "the package is empty"),
            ("empty package allowed for tests", ["--package", "1", empty, "--allow-empty-packages"], 0, ""),
            ("256 packages", sum((["--package", "1", pkg] for _ in range(256)), []), 1,
             "256 packages given; a container holds at most 255"),
            ("255 packages", sum((["--package", "1", pkg] for _ in range(255)), []), 0, ""),
        ]
        for label, args, want_rc, want_text in cases:
            rc, err = run(tool, work, args)
            ok = rc == want_rc and want_text in err and (rc == 0 or err.startswith("make-container: error: "))
            print(f"{'ok  ' if ok else 'FAIL'} {label}: exit {rc}, {err!r}")
            failures += not ok
    print(f"{len(cases) - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
