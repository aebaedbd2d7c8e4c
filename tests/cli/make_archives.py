#!/usr/bin/env python3
"""Builds the small special archives of the command-line tests.

Usage: make_archives.py OUTDIR

  commented.zip  an archive comment and an item comment
  damaged.zip    good.txt, then bad.txt whose stored data has one byte changed
  traversal.zip  names that try to leave the destination folder
  control.zip    a name with an escape sequence in it
  attrs.zip      a read-only file and an ordinary one
"""
import os
import sys
import zipfile

WHEN = (2024, 5, 17, 13, 45, 32)


def info(name, method=zipfile.ZIP_STORED):
    i = zipfile.ZipInfo(name, date_time=WHEN)
    i.compress_type = method
    i.external_attr = 0x20
    return i


def build(out):
    os.makedirs(out, exist_ok=True)
    with zipfile.ZipFile(os.path.join(out, "commented.zip"), "w") as z:
        z.comment = b"Archive comment, caf\xc3\xa9"
        i = info("note.txt")
        i.comment = b"item comment"
        z.writestr(i, b"note\n")

    path = os.path.join(out, "damaged.zip")
    bad = b"0123456789abcdef" * 64
    with zipfile.ZipFile(path, "w") as z:
        z.writestr(info("good.txt"), b"good\n")
        z.writestr(info("bad.txt"), bad)
        z.writestr(info("after.txt"), b"after\n")
    with open(path, "r+b") as f:
        data = bytearray(f.read())
        at = data.index(bad) + 100
        data[at] ^= 0xFF
        f.seek(0)
        f.write(data)

    with zipfile.ZipFile(os.path.join(out, "traversal.zip"), "w") as z:
        for name in ["../evil.txt", "/abs.txt", "inner/../../up.txt", "safe/ok.txt"]:
            i = info("placeholder")
            i.filename = name  # as stored, without zipfile's clean-up
            z.writestr(i, b"x\n")

    with zipfile.ZipFile(os.path.join(out, "control.zip"), "w") as z:
        z.writestr(info("a\x1b[31mred.txt"), b"red\n")

    with zipfile.ZipFile(os.path.join(out, "attrs.zip"), "w") as z:
        ro = info("ro.txt")
        ro.external_attr = 0x21
        z.writestr(ro, b"read-only\n")
        z.writestr(info("rw.txt"), b"ordinary\n")


if __name__ == "__main__":
    build(sys.argv[1])
