#!/usr/bin/env python3
"""Making and changing archives: kelvane against zip, 7zz and python3 zipfile.

Usage: bench/create_bench.py [--kelvane PATH] [--work DIR] [--runs N] [--mib N]

Rows: creating at -1 and at the default level, appending one small file to
the ~80 MB archive, deleting one item from its middle, AES-256 creation
(kelvane and 7zz). Inputs are made from the corpus blocks of compare.py (text
and random 1 MiB stretches) on disk in --work (default /tmp/kelvane-create-bench):
--mib MB of mixed files plus 2,000 small text files. Every command runs once to
warm the caches, then --runs times with the tools taking turns going first; the
table gives median wall time, median processor time (user + system), peak
resident memory (/usr/bin/time) and the archive's size.
"""
import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from compare import Blocks, FIXED_TIME, MIB, ROOT, log  # noqa: E402

PASSWORD = "bench-password"
PY_CREATE = ("import os, sys, zipfile\n"
             "level = None if sys.argv[2] == 'default' else int(sys.argv[2])\n"
             "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED, compresslevel=level) as z:\n"
             "    for root, dirs, files in os.walk(sys.argv[3]):\n"
             "        for d in dirs: z.write(os.path.join(root, d))\n"
             "        for f in files: z.write(os.path.join(root, f))\n")
PY_APPEND = ("import sys, zipfile\n"
             "with zipfile.ZipFile(sys.argv[1], 'a', zipfile.ZIP_DEFLATED) as z: z.write(sys.argv[2])\n")
# zipfile cannot delete: the way it is done is to copy every other item.
PY_DELETE = ("import os, sys, zipfile\n"
             "with zipfile.ZipFile(sys.argv[1]) as src, "
             "zipfile.ZipFile(sys.argv[1] + '.new', 'w') as dst:\n"
             "    for i in src.infolist():\n"
             "        if i.filename != sys.argv[2]:\n"
             "            with src.open(i) as f, dst.open(i, 'w') as g:\n"
             "                while True:\n"
             "                    b = f.read(1 << 20)\n"
             "                    if not b: break\n"
             "                    g.write(b)\n"
             "os.replace(sys.argv[1] + '.new', sys.argv[1])\n")


def make_inputs(work, mib):
    data = os.path.join(work, "data")
    stamp = os.path.join(work, ".inputs-%d" % mib)
    if os.path.exists(stamp):
        return data
    shutil.rmtree(data, ignore_errors=True)
    blocks = Blocks(20240517)
    rng = random.Random(7)
    total, i = 0, 0
    os.makedirs(os.path.join(data, "mixed"))
    while total < mib * MIB:
        size = rng.randint(MIB // 2, 6 * MIB)
        kind = "text" if i % 2 == 0 else "random"
        blocks.write(os.path.join(data, "mixed", "file%03d.%s" % (i, "txt" if kind == "text" else "bin")),
                     size, kind, rng)
        total += size
        i += 1
    for n in range(2000):
        d = os.path.join(data, "small", "d%02d" % (n % 20))
        os.makedirs(d, exist_ok=True)
        size = rng.randint(100, 16 * 1024)
        start = rng.randrange(0, MIB - size)
        path = os.path.join(d, "f%05d.txt" % n)
        with open(path, "wb") as f:
            f.write(blocks.text[n % 8][start:start + size])
        os.utime(path, (FIXED_TIME, FIXED_TIME))
    with open(os.path.join(work, "extra.txt"), "w") as f:
        f.write("one small file appended\n" * 40)
    open(stamp, "w").close()
    return data


def run_once(cmd, work, prepare=None):
    if prepare:
        prepare()
    subprocess.run(["sync"], check=True)
    times = os.path.join(work, "time.txt")
    subprocess.run(["/usr/bin/time", "-f", "%e %U %S %M", "-o", times, "sh", "-c", cmd],
                   check=True, cwd=work, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(times) as f:
        wall, user, system, peak = f.read().split()[-4:]
    return float(wall), float(user) + float(system), int(peak)


def measure(commands, work, runs, prepare, output):
    """Per tool: median wall, median CPU, max peak KiB, size of the output."""
    names = list(commands)
    samples = {n: [] for n in names}
    sizes = {}
    for r in range(runs + 1):
        order = names[r % len(names):] + names[:r % len(names)]
        for n in order:
            sample = run_once(commands[n], work, lambda: prepare(n))
            sizes[n] = os.path.getsize(os.path.join(work, output(n)))
            if r > 0:
                samples[n].append(sample)
    return {n: (statistics.median(s[0] for s in v), statistics.median(s[1] for s in v),
                max(s[2] for s in v), sizes[n]) for n, v in samples.items()}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--kelvane", default=os.path.join(ROOT, "build", "release", "cli", "kelvane"))
    ap.add_argument("--work", default="/tmp/kelvane-create-bench")
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--mib", type=int, default=80)
    args = ap.parse_args()
    work = os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)
    make_inputs(work, args.mib)
    kel = os.path.abspath(args.kelvane)

    def fresh(name):
        path = os.path.join(work, name)
        if os.path.exists(path):
            os.remove(path)

    tools = ["kelvane", "zip", "7zz", "python3"]
    rows = []
    for level, kl, zl, sl, pl in (("-1", "-1", "-1", "-mx1", "1"),
                                  ("default", "", "-6", "", "default")):
        out = {t: "create-%s-%s.zip" % (level, t) for t in tools}
        cmds = {
            "kelvane": "%s add -q %s %s data" % (kel, kl, out["kelvane"]),
            "zip": "zip -q -r %s %s data" % (zl, out["zip"]),
            "7zz": "7zz a -tzip %s %s data" % (sl, out["7zz"]),
            "python3": "python3 -c \"%s\" %s %s data" % (PY_CREATE, out["python3"], pl),
        }
        log("create at %s" % level)
        rows.append(("create %s (%d MiB + 2,000 small files)" % (level, args.mib),
                     measure(cmds, work, args.runs, lambda n, o=out: fresh(o[n]),
                             lambda n, o=out: o[n])))

    # Made from this size's inputs: an archive left by a run of another size
    # would not match them.
    base = os.path.join(work, "base-%d.zip" % args.mib)
    if not os.path.exists(base):
        subprocess.run(["zip", "-q", "-r", "-6", "-X", base, "data/mixed"], cwd=work, check=True)
    # The middle by place in the archive: half of it lies after the item.
    with zipfile.ZipFile(base) as z:
        items = sorted((i for i in z.infolist() if not i.is_dir()), key=lambda i: i.header_offset)
    middle = items[len(items) // 2].filename
    copies = {t: "change-%s.zip" % t for t in tools}

    def copy_base(n):
        shutil.copyfile(base, os.path.join(work, copies[n]))

    log("append one small file")
    rows.append(("append one small file to a %d MB archive" % (os.path.getsize(base) // 1000000),
                 measure({
                     "kelvane": "%s add -q %s extra.txt" % (kel, copies["kelvane"]),
                     "zip": "zip -q %s extra.txt" % copies["zip"],
                     "7zz": "7zz a -tzip %s extra.txt" % copies["7zz"],
                     "python3": "python3 -c \"%s\" %s extra.txt" % (PY_APPEND, copies["python3"]),
                 }, work, args.runs, copy_base, lambda n: copies[n])))
    log("delete one item from the middle")
    rows.append(("delete one item from the middle of it", measure({
        "kelvane": "%s delete -q %s %s" % (kel, copies["kelvane"], middle),
        "zip": "zip -q -d %s %s" % (copies["zip"], middle),
        "7zz": "7zz d -tzip %s %s" % (copies["7zz"], middle),
        "python3": "python3 -c \"%s\" %s %s" % (PY_DELETE, copies["python3"], middle),
    }, work, args.runs, copy_base, lambda n: copies[n])))

    log("AES-256")
    aes = {"kelvane": "aes-kelvane.zip", "7zz": "aes-7zz.zip"}
    rows.append(("create AES-256, default level", measure({
        "kelvane": "%s add -q -p %s %s data" % (kel, PASSWORD, aes["kelvane"]),
        "7zz": "7zz a -tzip -mem=AES256 -p%s %s data" % (PASSWORD, aes["7zz"]),
    }, work, args.runs, lambda n: fresh(aes[n]), lambda n: aes[n])))

    print("| Row | Tool | Wall s | CPU s | Peak RSS | Size | Wall vs best other |")
    print("|---|---|---:|---:|---:|---:|---:|")
    for title, result in rows:
        others = [v[0] for t, v in result.items() if t != "kelvane"]
        for tool, (wall, cpu, peak, size) in result.items():
            ratio = "%.2fx" % (wall / min(others)) if tool == "kelvane" else ""
            print("| %s | %s | %.3f | %.3f | %.1f MiB | %s | %s |" % (
                title, tool, wall, cpu, peak / 1024, "{:,}".format(size), ratio))
            title = ""


if __name__ == "__main__":
    main()
