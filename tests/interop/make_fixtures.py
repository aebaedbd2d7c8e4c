#!/usr/bin/env python3
"""Builds archives with other tools from one deterministic source tree.

Usage: make_fixtures.py OUTDIR

Writes OUTDIR/src (the tree), one archive per tool and option set, and
OUTDIR/manifest.tsv: for every archive, what an independent reader (python's
zipfile) reports about each item:
  archive  name  size  compressed  crc32(hex)  dosdatetime(hex)  external_attr(hex)
  flags(hex)  name bytes as stored(hex)
Split archives are listed from a joined copy, since zipfile cannot read volumes.
A tool that is not installed is skipped (its archives are simply absent).
"""
import os
import random
import shutil
import subprocess
import sys
import time
import zipfile

FIXED_TIME = time.mktime((2024, 5, 17, 13, 45, 32, 0, 0, -1))


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    os.utime(path, (FIXED_TIME, FIXED_TIME))


def make_tree(src):
    rng = random.Random(1234)
    text = b"".join(b"line %d of a compressible text file\n" % i for i in range(6000))
    write(os.path.join(src, "empty.txt"), b"")
    write(os.path.join(src, "hello.txt"), b"Hello, world!\n")
    write(os.path.join(src, "text.txt"), text)
    write(os.path.join(src, "random.bin"), bytes(rng.getrandbits(8) for _ in range(150000)))
    write(os.path.join(src, "sub", "deeper", "nested.txt"), text[:5000])
    write(os.path.join(src, "sub", "caf\u00e9.txt"), b"e acute\n")
    write(os.path.join(src, "sub", "\u03b1\u03b2\u03b3.txt"), b"greek\n")
    os.makedirs(os.path.join(src, "emptydir"), exist_ok=True)
    for d in ["emptydir", os.path.join("sub", "deeper"), "sub", ""]:
        os.utime(os.path.join(src, d), (FIXED_TIME, FIXED_TIME))


def run(cmd, cwd):
    subprocess.run(cmd, cwd=cwd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def have(tool):
    return shutil.which(tool) is not None


def build(out):
    src = os.path.join(out, "src")
    make_tree(src)
    made = []  # (archive file, file to list)
    env_zip = ["zip", "-q", "-r", "-X"]
    if have("zip"):
        for name, opts in [("zip_stored", ["-0"]), ("zip_fast", ["-1"]), ("zip_best", ["-9"])]:
            arc = os.path.join(out, name + ".zip")
            run(env_zip + opts + [arc, "."], src)
            made.append((arc, arc))
        arc = os.path.join(out, "zip_pkzip.zip")
        run(env_zip + ["-P", "secret", arc, "."], src)
        made.append((arc, arc))
        stub = bytes(random.Random(7).getrandbits(8) for _ in range(100000)).replace(b"PK", b"pk")
        plain = os.path.join(out, "zip_best.zip")
        for name, adjust in [("zip_stub", False), ("zip_stub_adjusted", True)]:
            arc = os.path.join(out, name + ".zip")
            with open(arc, "wb") as f, open(plain, "rb") as p:
                f.write(stub + p.read())
            if adjust:
                run(["zip", "-q", "-A", arc], out)
            made.append((arc, plain))
        arc = os.path.join(out, "zip_split.zip")
        run(env_zip + ["-0", "-s", "64k", arc, "."], src)
        joined = os.path.join(out, "zip_split_joined.zip")
        run(["zip", "-q", "-s", "0", arc, "--out", joined], out)
        made.append((arc, joined))
        arc = os.path.join(out, "zip_stream.zip")
        with open(arc, "wb") as f:
            subprocess.run(["zip", "-q", "-fd", "-", "text.txt", "hello.txt"], cwd=src, check=True,
                           stdout=f, stderr=subprocess.DEVNULL)
        made.append((arc, arc))
    if have("7z"):
        for name, opts in [("7z_deflate", ["-mm=Deflate"]),
                           ("7z_aes128", ["-psecret", "-mem=AES128"]),
                           ("7z_aes192", ["-psecret", "-mem=AES192"]),
                           ("7z_aes256", ["-psecret", "-mem=AES256"])]:
            arc = os.path.join(out, name + ".zip")
            run(["7z", "a", "-tzip", "-bd", "-y"] + opts + [arc, "."], src)
            made.append((arc, arc))
    if have("bsdtar"):
        arc = os.path.join(out, "bsdtar.zip")
        run(["bsdtar", "-a", "-cf", arc, "."], src)
        made.append((arc, arc))
    arc = os.path.join(out, "python.zip")
    with zipfile.ZipFile(arc, "w") as z:
        for root, dirs, files in sorted(os.walk(src)):
            dirs.sort()
            for fn in sorted(files):
                full = os.path.join(root, fn)
                rel = os.path.relpath(full, src)
                method = zipfile.ZIP_STORED if fn.endswith(".bin") else zipfile.ZIP_DEFLATED
                z.write(full, rel, compress_type=method)
        info = zipfile.ZipInfo("forced64.txt", date_time=(2024, 5, 17, 13, 45, 32))
        with z.open(info, "w", force_zip64=True) as f:
            f.write(b"zip64 local header\n" * 10)
    made.append((arc, arc))
    # A name stored in the OEM code page (e acute is 0x82), without the UTF-8 flag.
    arc = os.path.join(out, "python_oem.zip")
    with zipfile.ZipFile(arc, "w") as z:
        z.writestr(zipfile.ZipInfo("cafX.txt", date_time=(2024, 5, 17, 13, 45, 32)), b"oem\n")
    with open(arc, "r+b") as f:
        data = f.read().replace(b"cafX.txt", b"caf\x82.txt")
        f.seek(0)
        f.write(data)
    made.append((arc, arc))
    arc = os.path.join(out, "python_many.zip")
    with zipfile.ZipFile(arc, "w", zipfile.ZIP_STORED) as z:
        for i in range(65536 + 100):
            z.writestr(zipfile.ZipInfo("d%03d/f%05d.txt" % (i // 1000, i),
                                       date_time=(2024, 5, 17, 13, 45, 32)), b"%d" % i)
    made.append((arc, arc))
    with open(os.path.join(out, "manifest.tsv"), "w", encoding="utf-8") as m:
        for arc, listed in made:
            with zipfile.ZipFile(listed) as z:
                for i in z.infolist():
                    y, mo, d, h, mi, s = i.date_time
                    dos = ((y - 1980) << 25) | (mo << 21) | (d << 16) | (h << 11) | (mi << 5) | (s // 2)
                    raw = i.orig_filename.encode("utf-8" if i.flag_bits & 0x800 else "cp437")
                    m.write("%s\t%s\t%d\t%d\t%08x\t%08x\t%08x\t%04x\t%s\n" % (
                        os.path.basename(arc), i.filename, i.file_size, i.compress_size,
                        i.CRC, dos, i.external_attr, i.flag_bits, raw.hex()))


if __name__ == "__main__":
    build(sys.argv[1])
