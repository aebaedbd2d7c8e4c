#!/usr/bin/env python3
"""What adding a large file through the engine costs.

Adds a 1 GiB file (text-like and random 1 MiB stretches mixed, as in
compare.py) from disk with AddFromStream at modes 0, 1 and 6 and at mode 6
with AES-256, and a 64 MiB file of the same kind at mode 0 and mode 6 with
AES-256, each into a new archive on the disk; copies the 1 GiB file with cp
beside it; and appends a 4 KiB item to an archive of 1 GiB. Prints per row
the median wall time, processor time (user + system) and peak resident
memory of the whole process, and the bytes it read and wrote (the engine's
own /proc/self/io counts: rchar, wchar). The commands of all rows take turns
in each round (after one round to warm the caches), so a load that comes and
goes on a shared machine falls on all of them alike.

Usage: bench/add_bench.py [--bin PATH] [--work DIR] [--runs N]

Without --bin a release build of kelvane_add_bench is made in build/bench.
The sources and archives stay in --work (default /tmp/kelvane-addbench,
about 5 GB).
"""
import argparse
import json
import os
import random
import shutil
import statistics
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from compare import Blocks, MIB, ROOT, log  # noqa: E402


def make_source(path, size):
    if os.path.exists(path) and os.path.getsize(path) == size:
        return
    log("source: %s (%d MiB)" % (path, size // MIB))
    Blocks(20240517).write(path, size, "mixed", random.Random(size))


def build():
    out = os.path.join(ROOT, "build", "bench")
    subprocess.run(["cmake", "-S", ROOT, "-B", out, "-DCMAKE_BUILD_TYPE=Release",
                    "-DKELVANE_TESTS=OFF"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", out, "--target", "kelvane_add_bench", "-j2"], check=True,
                   stdout=subprocess.DEVNULL)
    return os.path.join(out, "bench", "kelvane_add_bench")


def run_once(cmd, prepare, work):
    """Wall, user + system seconds and peak KiB of the whole process, from
    /usr/bin/time (a child's peak counted by its parent would include the
    parent's own memory, inherited through the fork), and what the command
    printed (the engine's own counts, for kelvane_add_bench)."""
    if prepare:
        prepare()
    times = os.path.join(work, "time.txt")
    out = subprocess.run(["/usr/bin/time", "-f", "%e %U %S %M", "-o", times] + cmd, check=True,
                         stdout=subprocess.PIPE).stdout
    with open(times) as f:
        wall, user, system, peak = f.read().split()[-4:]
    report = json.loads(out) if out.strip() else {}
    return {**report, "wall": float(wall), "cpu": float(user) + float(system),
            "peak_kib": int(peak)}


def size_text(n):
    return "%.1f MiB" % (n / MIB) if n >= MIB else "%.1f KiB" % (n / 1024)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--bin")
    ap.add_argument("--work", default="/tmp/kelvane-addbench")
    ap.add_argument("--runs", type=int, default=3)
    args = ap.parse_args()
    exe = args.bin or build()
    work = args.work
    os.makedirs(work, exist_ok=True)
    big, small = os.path.join(work, "big.dat"), os.path.join(work, "small.dat")
    make_source(big, 1024 * MIB)
    make_source(small, 64 * MIB)
    arc = lambda name: os.path.join(work, name)  # noqa: E731

    # The archive to append to: the 1 GiB file stored, copied afresh before
    # every run (outside the timing) so each appends to the same bytes.
    base = arc("append-base.zip")
    if not os.path.exists(base):
        subprocess.run([exe, "new", base, big, "0"], check=True, stdout=subprocess.DEVNULL)

    def fresh_append_target():
        shutil.copyfile(base, arc("append.zip"))

    def remove(name):
        return lambda: os.path.exists(arc(name)) and os.remove(arc(name))

    rows = [
        ("copy 1 GiB (cp)", ["cp", big, arc("copy.dat")], remove("copy.dat")),
        ("add 1 GiB, mode 0", [exe, "new", arc("m0.zip"), big, "0"], remove("m0.zip")),
        ("add 1 GiB, mode 1", [exe, "new", arc("m1.zip"), big, "1"], remove("m1.zip")),
        ("add 1 GiB, mode 6", [exe, "new", arc("m6.zip"), big, "6"], remove("m6.zip")),
        ("add 1 GiB, mode 6, AES-256", [exe, "new", arc("aes.zip"), big, "6", "aes"],
         remove("aes.zip")),
        ("add 64 MiB, mode 0", [exe, "new", arc("s0.zip"), small, "0"], remove("s0.zip")),
        ("add 64 MiB, mode 6, AES-256", [exe, "new", arc("saes.zip"), small, "6", "aes"],
         remove("saes.zip")),
        ("append 4 KiB to a 1 GiB archive", [exe, "append", arc("append.zip"), "new.txt", "4096"],
         fresh_append_target),
    ]
    results = {name: [] for name, _, _ in rows}
    for round_no in range(args.runs + 1):
        log("round %d of %d" % (round_no, args.runs))
        for name, cmd, prepare in rows:
            r = run_once(cmd, prepare, work)
            if round_no > 0:
                results[name].append(r)

    print("| Row | Wall s | CPU s | Peak RSS | Read | Written |")
    print("|---|---:|---:|---:|---:|---:|")
    for name, _, _ in rows:
        rs = results[name]
        med = lambda key: statistics.median(r[key] for r in rs)  # noqa: E731
        io = lambda key: size_text(med(key)) if key in rs[0] else "-"  # noqa: E731
        print("| %s | %.2f | %.2f | %.1f MiB | %s | %s |" %
              (name, med("wall"), med("cpu"), med("peak_kib") / 1024, io("rchar"), io("wchar")))
    append = results["append 4 KiB to a 1 GiB archive"][0]
    log("append: %d bytes written in %d write calls; the archive grew by %d bytes" %
        (append["wchar"], append["syscw"], os.path.getsize(arc("append.zip")) - os.path.getsize(base)))


if __name__ == "__main__":
    main()
