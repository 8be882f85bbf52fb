#!/usr/bin/env python3
"""Writes a test package: SIZE pseudo-random bytes from SEED (deterministic,
so a rebuild gives the same file).

Usage: make-fixture.py OUTPUT SIZE [SEED]
"""
import random
import sys


def main(argv):
    if len(argv) not in (2, 3):
        print(__doc__, file=sys.stderr)
        return 1
    path, size = argv[0], int(argv[1])
    rng = random.Random(argv[2] if len(argv) == 3 else path)
    data = rng.randbytes(size)
    try:
        with open(path, "rb") as f:
            if f.read() == data:
                return 0
    except OSError:
        pass
    with open(path, "wb") as f:
        f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
