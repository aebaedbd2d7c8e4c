#!/usr/bin/env python3
"""Builds the damaged and unusual archives of DamagedArchiveTest.cpp.

Usage: make_damaged.py OUTDIR

Each archive holds a.txt and b.txt (stored) unless said otherwise; the
records are laid out here byte by byte, independently of any writer.

  good.zip               the undamaged archive
  end_missing.zip        the end record cut off
  end_damaged.zip        the end record's directory offset beyond its directory
  dir_size_wrong.zip     the end record's directory size 10 bytes short
  central_sig_broken.zip the first central header's signature changed
  truncated.zip          cut in the middle of the directory
  comment_end.zip        the archive comment holds an end record
  comment_zip64.zip      the archive comment holds a Zip64 locator and an end record
  signed_sfx.zip         a stub in front and a signature block behind the end record
  descriptor_sizes.zip   a.txt's data descriptor gives another compressed size
  local_zip64_twice.zip  a.txt's local header carries its Zip64 field twice
  bzip2.zip              b.txt is method 12
  into_directory.zip     b.txt's sizes (both headers) reach into the directory
"""
import os
import struct
import sys
import zlib

TIME, DATE = 0x6DB0, 0x58B1
A, B = b"first item, stored\n", b"second\n"


def zip64_field(*values):
    return struct.pack("<HH", 1, 8 * len(values)) + b"".join(struct.pack("<Q", v) for v in values)


def archive(entries, comment=b"", stub=b"", tail=b""):
    """Entries: dicts with name, data and optionally method, local_extra,
    descriptor (bytes behind the data; sets flag bit 3), size (the compressed
    size both headers declare)."""
    out = bytearray(stub)
    central = bytearray()
    for e in entries:
        data, method = e["data"], e.get("method", 0)
        crc = zlib.crc32(data)
        size = e.get("size", len(data))
        flag = 8 if "descriptor" in e else 0
        name, extra = e["name"].encode(), e.get("local_extra", b"")
        offset = len(out)
        out += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, flag, method, TIME, DATE,
                           0 if flag else crc, 0 if flag else size, 0 if flag else len(data),
                           len(name), len(extra))
        out += name + extra + data + e.get("descriptor", b"")
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, flag, method, TIME, DATE,
                               crc, size, len(data), len(name), 0, 0, 0, 0, 0x20, offset)
        central += name
    start = len(out)
    out += central
    out += struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries), len(central),
                       start, len(comment))
    return bytes(out + comment + tail)


def two(**a_changes):
    return [dict(name="a.txt", data=A, **a_changes), dict(name="b.txt", data=B)]


def end_of(data):
    return data.rindex(b"PK\x05\x06")


def patched(data, at, fmt, value):
    b = bytearray(data)
    struct.pack_into(fmt, b, at, value)
    return bytes(b)


def build(out):
    os.makedirs(out, exist_ok=True)
    good = archive(two())
    end = end_of(good)
    directory = good.index(b"PK\x01\x02")
    empty_end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0, 0, 0, 0, 0)
    files = {
        "good.zip": good,
        "end_missing.zip": good[:end],
        "end_damaged.zip": patched(good, end + 16, "<I", end),
        "dir_size_wrong.zip": patched(good, end + 12, "<I", end - directory - 10),
        "central_sig_broken.zip": patched(good, directory, "<I", 0x01014B50),
        "truncated.zip": good[:directory + 30],
        "comment_end.zip": archive(two(), comment=b"copied: " + empty_end + b" (an empty archive)"),
        "comment_zip64.zip": archive(two(), comment=b"zip64: " + struct.pack(
            "<IIQI", 0x07064B50, 0, 4, 1) + patched(patched(empty_end, 8, "<H", 0xFFFF), 10, "<H", 0xFFFF) + b"."),
        "signed_sfx.zip": archive(two(), stub=b"\x7fELF stub " * 40,
                                  tail=b"SIGNATURE" + bytes(range(256)) * 2),
        "descriptor_sizes.zip": archive(two(descriptor=struct.pack(
            "<IIII", 0x08074B50, zlib.crc32(A), len(A) + 5, len(A)))),
        "local_zip64_twice.zip": archive(two(local_extra=zip64_field(len(A), len(A)) * 2)),
        "bzip2.zip": archive([dict(name="a.txt", data=A),
                              dict(name="b.txt", data=b"BZh9" + B, method=12)]),
        "into_directory.zip": archive([dict(name="a.txt", data=A),
                                       dict(name="b.txt", data=B, size=len(B) + 40)]),
    }
    for name, data in files.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    build(sys.argv[1])
