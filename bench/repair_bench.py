#!/usr/bin/env python3
"""What repairing a damaged archive costs, beside `zip -FF` on the same file.

Makes about 300 MB of files (text-like and random 1 MiB stretches, as in
compare.py), archives them with zip, and damages one item in the middle of
its data (64 bytes changed). Two archives are repaired: that one, whose
directory is intact, and the same with its directory cut off. For each, the
engine's RepairArchive (kelvane_repair_bench) and `zip -FF ... --out`
(answered "y" to its single-disk question) run in turn, A B A B ..., after one
warm-up each, each writing a new file beside the archive (its output of the
run before is removed first). Each run is timed from
outside as a whole process by /usr/bin/time (wall clock, user and system
time, peak memory); medians are printed, and the ratios taken pair by
pair. Then both outputs are checked with python3's zipfile.

Usage: bench/repair_bench.py [--bin PATH] [--work DIR] [--runs N] [--commands]

Without --bin a release build of kelvane_repair_bench is made in build/bench.
The files stay in --work (default /tmp/kelvane-repairbench, about 1 GB).
--commands only makes the archives and prints the two commands of each case,
one a line, for timing them with another tool.
"""
import argparse
import os
import random
import shlex
import statistics
import subprocess
import sys
import tempfile
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from compare import Blocks, MIB, ROOT, log  # noqa: E402


def build():
    out = os.path.join(ROOT, "build", "bench")
    subprocess.run(["cmake", "-S", ROOT, "-B", out, "-DCMAKE_BUILD_TYPE=Release",
                    "-DKELVANE_TESTS=OFF"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", out, "--target", "kelvane_repair_bench", "-j2"],
                   check=True, stdout=subprocess.DEVNULL)
    return os.path.join(out, "bench", "kelvane_repair_bench")


def make_archives(work):
    good = os.path.join(work, "good.zip")
    damaged = os.path.join(work, "damaged.zip")
    cut = os.path.join(work, "cut.zip")
    if all(os.path.exists(p) for p in (good, damaged, cut)):
        return damaged, cut
    corpus = os.path.join(work, "corpus")
    os.makedirs(corpus, exist_ok=True)
    log("corpus: about 300 MB of mixed files")
    blocks, rng = Blocks(20240517), random.Random(11)
    total = i = 0
    while total < 300 * MIB:
        size = rng.randint(2 * MIB, 12 * MIB)
        kind = "text" if i % 2 == 0 else "random"
        blocks.write(os.path.join(corpus, "file%03d.%s" % (i, "txt" if kind == "text" else "bin")),
                     size, kind, rng)
        total += size
        i += 1
    log("archive: zip -r")
    if os.path.exists(good):
        os.remove(good)
    subprocess.run(["zip", "-q", "-r", good, "corpus"], cwd=work, check=True)
    with zipfile.ZipFile(good) as z:
        infos = z.infolist()
        start_dir = z.start_dir
    data = bytearray(open(good, "rb").read())
    victim = infos[len(infos) // 2]
    name_len, extra_len = int.from_bytes(data[victim.header_offset + 26:victim.header_offset + 28],
                                         "little"), \
        int.from_bytes(data[victim.header_offset + 28:victim.header_offset + 30], "little")
    at = victim.header_offset + 30 + name_len + extra_len + victim.compress_size // 2
    for k in range(64):
        data[at + k] ^= 0x5A
    log("damaged: %s at byte %d" % (victim.filename, at))
    open(damaged, "wb").write(data)
    open(cut, "wb").write(data[:start_dir])
    return damaged, cut


def timed(cmd):
    """Runs CMD (a list) once under /usr/bin/time: wall, user and system
    seconds and peak MiB (a process forked from this one would count this
    one's memory as its own peak)."""
    with tempfile.NamedTemporaryFile("r") as out:
        proc = subprocess.run(["/usr/bin/time", "-o", out.name, "-f", "%e %U %S %M"] + cmd,
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
        if proc.returncode != 0:
            sys.exit("failed (%d): %s" % (proc.returncode, " ".join(cmd)))
        wall, user, system, peak = out.read().split()[-4:]
    return {"wall": float(wall), "user": float(user), "sys": float(system),
            "cpu": float(user) + float(system), "peak": int(peak) / 1024}


def paired(a, b, runs):
    """A and B in turn after a warm-up each: medians of both, ratios A/B pair by pair."""
    timed(a)
    timed(b)
    pairs = [(timed(a), timed(b)) for _ in range(runs)]
    lines = ["%-10s %10s %10s %10s" % ("median", "A", "B", "A/B")]
    for key in ("wall", "cpu", "user", "sys", "peak"):
        ma = statistics.median(p[0][key] for p in pairs)
        mb = statistics.median(p[1][key] for p in pairs)
        ratio = statistics.median(p[0][key] / p[1][key] if p[1][key] else float("nan")
                                  for p in pairs)
        unit = "MiB" if key == "peak" else "s"
        lines.append("%-10s %10.3f %10.3f %10.2fx" % (key + " " + unit, ma, mb, ratio))
    return "\n".join(lines)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--bin")
    ap.add_argument("--work", default="/tmp/kelvane-repairbench")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--commands", action="store_true")
    args = ap.parse_args()
    exe = args.bin or build()
    work = args.work
    os.makedirs(work, exist_ok=True)
    damaged, cut = make_archives(work)
    for label, archive in (("one item damaged", damaged), ("one item damaged, directory cut off",
                                                           cut)):
        ours = os.path.join(work, "repaired-kelvane.zip")
        theirs = os.path.join(work, "repaired-zip.zip")
        # zip -FF asks whether a file without an end record is a single-disk archive.
        zip_ff = "rm -f %s; yes y | zip -FF %s --out %s >/dev/null 2>&1" % (
            shlex.quote(theirs), shlex.quote(archive), shlex.quote(theirs))
        # Both write a new file: replacing an existing one, the engine first
        # flushes the new one to the disk (about 0.25 s here), which zip -FF
        # never does.
        ours_cmd = ["sh", "-c", "rm -f %s; exec %s" % (shlex.quote(ours),
                                                        shlex.join([exe, archive, ours]))]
        if args.commands:
            print(shlex.join(ours_cmd))
            print(shlex.join(["sh", "-c", zip_ff]))
            continue
        print("## %s (%d bytes)" % (label, os.path.getsize(archive)))
        print("A = %s\nB = zip -FF" % shlex.join([exe, archive, ours]))
        print(paired(ours_cmd, ["sh", "-c", zip_ff], args.runs))
        with zipfile.ZipFile(ours) as z:
            bad = z.testzip()
            print("kelvane: %d items, first bad: %s" % (len(z.infolist()), bad))
        try:
            with zipfile.ZipFile(theirs) as z:
                print("zip -FF: %d items, first bad: %s" % (len(z.infolist()), z.testzip()))
        except zipfile.BadZipFile as e:
            print("zip -FF: python3 zipfile cannot read its output: %s" % e)


if __name__ == "__main__":
    main()
