#!/usr/bin/env python3
"""Writes the packer's release archives from built files:

  marrowdale-pack-<version>-linux-x86_64.tar.gz  marrowdale-pack (Linux),
      both launcher stubs, USAGE.txt, SHA256SUMS
  marrowdale-pack-<version>-windows.zip          marrowdale-pack.exe, both
      launcher stubs, USAGE.txt, SHA256SUMS

each under the folder marrowdale-pack-<version>/. The archives are the same
bytes for the same files: entries sorted, every time stamp the release time
(SOURCE_DATE_EPOCH, else the commit time of the source tree's HEAD), modes
0755 for programs and 0644 for the rest, owner and group 0 without names,
no compression level or host data that depends on the machine.

Usage: make-pack-archives.py --version V --output-dir DIR --source DIR
           --linux-packer FILE --windows-packer FILE
           --stub-x86-64 FILE --stub-x86 FILE
Exit code 0 when both archives were written, 1 otherwise (nothing is left
under an archive's name then).
"""
import argparse
import gzip
import hashlib
import io
import os
import subprocess
import sys
import tarfile
import time
import zipfile


def fail(text):
    print(f"make-pack-archives: error: {text}", file=sys.stderr)
    sys.exit(1)


def release_time(source):
    """SOURCE_DATE_EPOCH, else the commit time of HEAD in @source."""
    epoch = os.environ.get("SOURCE_DATE_EPOCH")
    if epoch is not None:
        if not epoch.isdigit():
            fail(f"SOURCE_DATE_EPOCH '{epoch}' is not a number of seconds")
        return int(epoch)
    p = subprocess.run(["git", "-C", source, "log", "-1", "--format=%ct"], capture_output=True, text=True)
    if p.returncode != 0 or not p.stdout.strip().isdigit():
        fail(f"{source} is no git checkout and SOURCE_DATE_EPOCH is not set: give the release time")
    return int(p.stdout.strip())


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError as e:
        fail(f"{path}: {e.strerror}")


def members(files):
    """[(name, bytes, mode)] sorted by name, SHA256SUMS added (sha256sum's
    format: text mode, two spaces)."""
    sums = "".join(f"{hashlib.sha256(data).hexdigest()}  {name}\n" for name, data, _ in sorted(files))
    return sorted(files + [("SHA256SUMS", sums.encode(), 0o644)])


def write_atomic(path, data):
    scratch = path + ".part"
    with open(scratch, "wb") as f:
        f.write(data)
    os.replace(scratch, path)


def tar_gz(top, entries, mtime):
    raw = io.BytesIO()
    with tarfile.open(fileobj=raw, mode="w", format=tarfile.PAX_FORMAT) as tar:
        def add(name, mode, data=None):
            info = tarfile.TarInfo(f"{top}/{name}" if name else top)
            info.mtime, info.mode, info.uid, info.gid, info.uname, info.gname = mtime, mode, 0, 0, "", ""
            if data is None:
                info.type = tarfile.DIRTYPE
                tar.addfile(info)
            else:
                info.size = len(data)
                tar.addfile(info, io.BytesIO(data))
        add("", 0o755)
        for name, data, mode in entries:
            add(name, mode, data)
    # No file name and a fixed time in the gzip header.
    out = io.BytesIO()
    with gzip.GzipFile(filename="", mode="wb", fileobj=out, mtime=mtime, compresslevel=9) as gz:
        gz.write(raw.getvalue())
    return out.getvalue()


def zip_archive(top, entries, mtime):
    # Zip times are local DOS times of two-second resolution from 1980 on:
    # the release time as UTC, as unzip shows it on a UTC host.
    when = max(time.gmtime(mtime)[:6], (1980, 1, 1, 0, 0, 0))
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w") as z:
        def add(name, mode, data=None):
            info = zipfile.ZipInfo(f"{top}/{name}", date_time=when)
            info.create_system = 3  # Unix: the modes below are meant as such
            if data is None:
                info.external_attr = (0o40000 | mode) << 16 | 0x10
                z.writestr(info, b"")
            else:
                info.compress_type = zipfile.ZIP_DEFLATED
                info.external_attr = (0o100000 | mode) << 16
                z.writestr(info, data, compresslevel=9)
        add("", 0o755)
        for name, data, mode in entries:
            add(name, mode, data)
    return out.getvalue()


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--version", required=True)
    ap.add_argument("--output-dir", required=True)
    ap.add_argument("--source", required=True, help="the source tree (USAGE.txt, the commit time)")
    for opt in ("linux-packer", "windows-packer", "stub-x86-64", "stub-x86"):
        ap.add_argument("--" + opt, required=True)
    args = ap.parse_args(argv)

    mtime = release_time(args.source)
    top = f"marrowdale-pack-{args.version}"
    common = [("marrowdale-stub-x86-64.exe", read(args.stub_x86_64), 0o644),
              ("marrowdale-stub-x86.exe", read(args.stub_x86), 0o644),
              ("USAGE.txt", read(os.path.join(args.source, "packer", "USAGE.txt")), 0o644)]
    archives = {
        f"{top}-linux-x86_64.tar.gz":
            tar_gz(top, members(common + [("marrowdale-pack", read(args.linux_packer), 0o755)]), mtime),
        f"{top}-windows.zip":
            zip_archive(top, members(common + [("marrowdale-pack.exe", read(args.windows_packer), 0o755)]), mtime),
    }
    os.makedirs(args.output_dir, exist_ok=True)
    for name, data in archives.items():
        path = os.path.join(args.output_dir, name)
        write_atomic(path, data)
        print(f"{path}: {len(data):,} bytes, sha256 {hashlib.sha256(data).hexdigest()}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
