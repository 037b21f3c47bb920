#!/usr/bin/env python3
"""Packs a folder into a zip whose bytes depend only on the files' contents:
entries sorted by path, every entry dated SOURCE_DATE_EPOCH (default
1980-01-01, the earliest date a zip holds), Unix permissions 0755 for
folders and executable files and 0644 for the rest, no extra fields. The
top entry is the folder's own name, so the zip unpacks into one folder.

usage: zipdir.py FOLDER OUT.zip"""
import os
import sys
import time
import zipfile

ZIP_EPOCH = 315532800  # 1980-01-01 00:00:00 UTC


def entry_date():
    seconds = max(int(os.environ.get("SOURCE_DATE_EPOCH", ZIP_EPOCH)), ZIP_EPOCH)
    return time.gmtime(seconds)[:6]


def entries(folder):
    """(path in the zip, path on disk, is folder), sorted by path in the zip."""
    top = os.path.basename(os.path.normpath(folder))
    found = [(top + "/", folder, True)]
    for here, dirs, files in os.walk(folder):
        relative = os.path.relpath(here, folder)
        prefix = top + "/" if relative == "." else top + "/" + relative.replace(os.sep, "/") + "/"
        for d in dirs:
            found.append((prefix + d + "/", os.path.join(here, d), True))
        for f in files:
            found.append((prefix + f, os.path.join(here, f), False))
    return sorted(found)


def pack(folder, out):
    date = entry_date()
    temporary = out + ".part"
    with zipfile.ZipFile(temporary, "w") as archive:
        for name, path, is_folder in entries(folder):
            info = zipfile.ZipInfo(name, date)
            info.create_system = 3  # Unix: the permissions below are read
            if is_folder:
                info.external_attr = (0o40755 << 16) | 0x10
                archive.writestr(info, b"")
                continue
            executable = os.stat(path).st_mode & 0o100
            info.external_attr = (0o100755 if executable else 0o100644) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            with open(path, "rb") as f:
                archive.writestr(info, f.read(), compresslevel=9)
    os.replace(temporary, out)


if __name__ == "__main__":
    if len(sys.argv) != 3 or not os.path.isdir(sys.argv[1]):
        sys.exit(__doc__)
    pack(sys.argv[1], sys.argv[2])
