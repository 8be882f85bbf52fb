#!/usr/bin/env python3
"""Gives the demo payload the date of its sources instead of the time of
the build, so that two builds of the same sources give the same bytes.

The date is SOURCE_DATE_EPOCH when that is set, otherwise the newest
modification time of the SOURCE files named.

Usage:
  source-date.py msi PACKAGE.msi SOURCE...
      sets the creation and last-saved times of the package's summary
      information (wixl writes the time it ran), in place
  source-date.py stage DIR SOURCE...
      copies the sources into DIR with that modification time (gcab stores
      each file's time in the cabinet)
"""
import os
import shutil
import struct
import sys

CFB_SIGNATURE = b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1"
FREE, END_OF_CHAIN = 0xFFFFFFFF, 0xFFFFFFFE
SUMMARY_STREAM = "\x05SummaryInformation"
PID_CREATE_DTM, PID_LASTSAVE_DTM = 12, 13
VT_FILETIME = 64
# FILETIME counts 100 ns units from 1601-01-01.
FILETIME_UNIX_EPOCH = 11644473600 * 10**7


class DateError(Exception):
    pass


def source_date(sources):
    value = os.environ.get("SOURCE_DATE_EPOCH")
    if value is not None:
        if not value.isdigit():
            raise DateError(f"SOURCE_DATE_EPOCH {value!r} is not a number of seconds")
        return int(value)
    if not sources:
        raise DateError("no SOURCE_DATE_EPOCH and no source files to take the date from")
    return max(int(os.stat(s).st_mtime) for s in sources)


class CompoundFile:
    """Just enough of a compound file (the container of a Windows Installer
    database) to find where a stream's bytes lie in the file."""

    def __init__(self, data):
        if data[:8] != CFB_SIGNATURE or len(data) < 512:
            raise DateError("not a compound file")
        self.data = data
        self.shift, self.mini_shift = struct.unpack_from("<HH", data, 0x1E)
        (n_fat, self.first_dir, _, self.mini_cutoff, self.first_minifat, n_minifat, first_difat,
         n_difat) = struct.unpack_from("<IIIIIIII", data, 0x2C)
        self.sector = 1 << self.shift
        fat_sectors = list(struct.unpack_from("<109I", data, 0x4C))
        per = self.sector // 4
        d = first_difat
        for _ in range(n_difat):
            entries = struct.unpack_from(f"<{per}I", data, self.offset(d))
            fat_sectors += entries[:-1]
            d = entries[-1]
        self.fat = []
        for s in fat_sectors[:n_fat]:
            self.fat += struct.unpack_from(f"<{per}I", data, self.offset(s))

    def offset(self, sector):
        off = (sector + 1) << self.shift
        if off + self.sector > len(self.data):
            raise DateError(f"sector {sector} lies beyond the end of the file")
        return off

    def chain(self, start, table):
        out = []
        s = start
        while s not in (END_OF_CHAIN, FREE):
            if s >= len(table) or len(out) > len(table):
                raise DateError("broken sector chain")
            out.append(s)
            s = table[s]
        return out

    def regular_spans(self, start, size):
        """(file offset, length) pieces of a stream in regular sectors."""
        spans = []
        for s in self.chain(start, self.fat):
            if size <= 0:
                break
            n = min(self.sector, size)
            spans.append((self.offset(s), n))
            size -= n
        return spans

    def entries(self):
        dir_data = b"".join(self.data[self.offset(s):self.offset(s) + self.sector]
                            for s in self.chain(self.first_dir, self.fat))
        for i in range(0, len(dir_data), 128):
            e = dir_data[i:i + 128]
            name_len = struct.unpack_from("<H", e, 0x40)[0]
            name = e[:max(name_len - 2, 0)].decode("utf-16-le", "replace")
            kind = e[0x42]
            start, size = struct.unpack_from("<IQ", e, 0x74)
            if self.shift == 9:
                size &= 0xFFFFFFFF  # version 3 files: the high half is undefined
            yield name, kind, start, size

    def stream_spans(self, wanted):
        entries = list(self.entries())
        root = entries[0]
        for name, kind, start, size in entries:
            if kind != 2 or name != wanted:
                continue
            if size >= self.mini_cutoff:
                return self.regular_spans(start, size)
            # A small stream lives in mini sectors inside the root's stream.
            mini_stream = self.regular_spans(root[2], root[3])
            minifat = []
            for s in self.chain(self.first_minifat, self.fat):
                minifat += struct.unpack_from(f"<{self.sector // 4}I", self.data, self.offset(s))
            mini = 1 << self.mini_shift
            spans = []
            for m in self.chain(start, minifat):
                if size <= 0:
                    break
                pos = m * mini
                sector_index, within = divmod(pos, self.sector)
                if sector_index >= len(mini_stream):
                    raise DateError("mini sector beyond the mini stream")
                n = min(mini, size)
                spans.append((mini_stream[sector_index][0] + within, n))
                size -= n
            return spans
        raise DateError(f"no {wanted[1:]} stream")


def set_msi_dates(path, epoch):
    with open(path, "rb") as f:
        data = bytearray(f.read())
    spans = CompoundFile(bytes(data)).stream_spans(SUMMARY_STREAM)
    where = [off + i for off, n in spans for i in range(n)]
    stream = bytearray(data[p] for p in where)
    if len(stream) < 48 or struct.unpack_from("<H", stream, 0)[0] != 0xFFFE:
        raise DateError("summary information is not a property set")
    section = struct.unpack_from("<I", stream, 44)[0]
    count = struct.unpack_from("<I", stream, section + 4)[0]
    filetime = FILETIME_UNIX_EPOCH + epoch * 10**7
    done = set()
    for k in range(count):
        pid, off = struct.unpack_from("<II", stream, section + 8 + 8 * k)
        if pid in (PID_CREATE_DTM, PID_LASTSAVE_DTM):
            value = section + off
            if struct.unpack_from("<I", stream, value)[0] != VT_FILETIME:
                raise DateError(f"summary property {pid} is not a time")
            struct.pack_into("<Q", stream, value + 4, filetime)
            done.add(pid)
    for p, b in zip(where, stream):
        data[p] = b
    with open(path, "r+b") as f:
        f.write(data)
    return done


def main(argv):
    if len(argv) < 2 or argv[0] not in ("msi", "stage"):
        print(__doc__, file=sys.stderr)
        return 2
    mode, target, sources = argv[0], argv[1], argv[2:]
    try:
        epoch = source_date(sources)
        if mode == "msi":
            set_msi_dates(target, epoch)
        else:
            os.makedirs(target, exist_ok=True)
            for s in sources:
                dest = os.path.join(target, os.path.basename(s))
                shutil.copyfile(s, dest)
                os.utime(dest, (epoch, epoch))
    except (DateError, OSError, struct.error) as e:
        print(f"source-date: error: {target}: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
