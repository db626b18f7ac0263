#!/usr/bin/env python3
"""Packs what a player downloads so that one commit gives the same bytes wherever it is
built. A zip: entries sorted by name, every time the source's date, files 644 and
folders 755, nothing of the builder's clock, time zone, umask or user.

  fixed_pack.py zip ZIP DIR NAME...   packs DIR's NAMEs (a folder with all it holds)
  fixed_pack.py rezip ZIP             packs again, in place, a zip another tool packed
  fixed_pack.py deb DEB               gives the three members of a .deb (CPack's) mode 644,
                                      whatever the umask they were written under

The date: SOURCE_DATE_EPOCH when set, else the time of the commit checked out in this
script's clone, else 1980-01-01, the first a zip can hold (as cmake/cpack_date.cmake).
"""
import os
import subprocess
import sys
import time
import zipfile

EARLIEST = 315532800  # 1980-01-01 00:00:00 UTC


def source_date(source):
    if os.environ.get("SOURCE_DATE_EPOCH"):
        return max(int(os.environ["SOURCE_DATE_EPOCH"]), EARLIEST)
    try:
        out = subprocess.run(["git", "-C", source, "log", "-1", "--format=%ct"],
                             capture_output=True, text=True, check=True).stdout
        return max(int(out), EARLIEST)
    except (OSError, ValueError, subprocess.CalledProcessError):
        return EARLIEST


def write(path, entries, date):
    """entries: (name, bytes or None for a folder)."""
    stamp = time.gmtime(date)[:6]
    tmp = path + ".part"
    with zipfile.ZipFile(tmp, "w") as out:
        for name, data in sorted(entries, key=lambda e: e[0]):
            info = zipfile.ZipInfo(name, stamp)
            info.create_system = 3  # Unix, so that the modes below count
            if data is None:
                info.external_attr = (0o40755 << 16) | 0x10
                out.writestr(info, b"")
            else:
                info.external_attr = 0o100644 << 16
                info.compress_type = zipfile.ZIP_DEFLATED
                out.writestr(info, data, compresslevel=9)
    os.replace(tmp, path)


def from_disk(root, names):
    for name in names:
        path = os.path.join(root, name)
        if os.path.isdir(path):
            yield name.rstrip("/") + "/", None
            yield from from_disk(root, [os.path.join(name, n) for n in os.listdir(path)])
        else:
            with open(path, "rb") as f:
                yield name, f.read()


def from_zip(path):
    with zipfile.ZipFile(path) as z:
        for info in z.infolist():
            if info.is_dir():
                yield info.filename, None
            else:
                yield info.filename, z.read(info)


def fix_deb_modes(path):
    """An ar archive: its signature, then each member's 60-byte header (the mode in octal
    at 40) and its data, padded to an even length."""
    with open(path, "r+b") as f:
        if f.read(8) != b"!<arch>\n":
            sys.exit("%s: not a .deb" % path)
        while header := f.read(60):
            if len(header) != 60 or header[58:60] != b"`\n":
                sys.exit("%s: a damaged member header" % path)
            f.seek(-20, os.SEEK_CUR)
            f.write(b"100644  ")
            size = int(header[48:58])
            f.seek(12 + size + size % 2, os.SEEK_CUR)


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    if len(argv) >= 4 and argv[0] == "zip":
        write(argv[1], list(from_disk(argv[2], argv[3:])), source_date(here))
    elif len(argv) == 2 and argv[0] == "rezip":
        write(argv[1], list(from_zip(argv[1])), source_date(here))
    elif len(argv) == 2 and argv[0] == "deb":
        fix_deb_modes(argv[1])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv[1:])
