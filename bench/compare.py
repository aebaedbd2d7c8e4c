#!/usr/bin/env python3
"""End-to-end comparison of the kelvane tool with other archivers.

Builds a deterministic corpus and archives of it (with zip and 7z), then
measures on the same archives:
  extraction   kelvane x, unzip, 7z x, bsdtar -x
  testing      kelvane t, unzip -t, 7z t
  AES-256      kelvane x, 7z x
  listing      kelvane l, unzip -l, 7z l, bsdtar -t   (100,000 items)
and prints a table of median times, the ratio of kelvane to the best other
tool per row (by median wall time, and by processor time: user + system),
and kelvane's peak resident memory per row (/usr/bin/time -v).

The tools of a row take turns within each round (after one round to warm
the caches), so a load that comes and goes on a shared machine falls on all
of them alike; every run starts with an empty output folder.

Usage: bench/compare.py [--kelvane PATH] [--work DIR] [--out DIR] [--runs N] [--small]
                        [--only TEXT]

--small makes a corpus about a tenth of the size, to try the script quickly.
Without --kelvane a release build is made in build/bench. The corpus, the
archives and the times of every run (one JSON file per row) stay under --work
(default /tmp/kelvane-bench). Extracted files go to --out, by default a
folder in /dev/shm: in memory, the times are the archivers' own work rather
than the disk's (on a shared machine, the journal of a disk that others
write to varies more than the archivers differ).
"""
import argparse
import json
import os
import random
import shutil
import subprocess
import statistics
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PASSWORD = "bench-password"
MIB = 1 << 20
FIXED_TIME = 1715953532  # 2024-05-17: the archives' bytes do not depend on the day


def log(*args):
    print(*args, file=sys.stderr, flush=True)


def run(cmd, **kw):
    subprocess.run(cmd, check=True, **kw)


# ---- Corpus -----------------------------------------------------------------

WORDS = ("archive entry header central directory deflate stored record offset "
         "volume split stream buffer window literal length distance checksum "
         "the of and to in is that for it as with was on be by this are from").split()


def text_block(rng, size):
    """Text-like bytes (compress to about a third), deterministic per rng."""
    out = []
    n = 0
    while n < size:
        line = " ".join(rng.choice(WORDS) for _ in range(rng.randint(4, 14)))
        line += " %d\n" % rng.randint(0, 99999)
        out.append(line)
        n += len(line)
    return "".join(out).encode()[:size]


class Blocks:
    """A few distinct 1 MiB blocks of each kind; files are made of them. The
    Deflate window (32 KiB) never reaches from one block into a repeat."""

    def __init__(self, seed):
        rng = random.Random(seed)
        self.text = [text_block(rng, MIB) for _ in range(8)]
        self.random = [rng.randbytes(MIB) for _ in range(8)]

    def write(self, path, size, kind, rng):
        with open(path, "wb") as f:
            left = size
            while left > 0:
                k = kind if kind != "mixed" else rng.choice(("text", "random"))
                block = rng.choice(self.text if k == "text" else self.random)
                start = rng.randrange(0, 4096)
                piece = block[start:start + min(left, MIB - 4096)]
                f.write(piece)
                left -= len(piece)
        os.utime(path, (FIXED_TIME, FIXED_TIME))


def make_corpus(work, scale):
    corpus = os.path.join(work, "corpus")
    stamp = os.path.join(corpus, ".done-v2-%g" % scale)
    if os.path.exists(stamp):
        return corpus
    shutil.rmtree(corpus, ignore_errors=True)
    shutil.rmtree(os.path.join(work, "archives"), ignore_errors=True)  # made of the old corpus
    blocks = Blocks(20240517)
    rng = random.Random(7)

    log("corpus: mixed files (about %d MB)" % (300 * scale))
    mixed = os.path.join(corpus, "mixed")
    os.makedirs(mixed)
    total, i = 0, 0
    while total < 300 * MIB * scale:
        size = rng.randint(MIB // 2, 12 * MIB) if scale >= 1 else rng.randint(MIB // 8, 3 * MIB)
        kind = "text" if i % 2 == 0 else "random"
        blocks.write(os.path.join(mixed, "file%03d.%s" % (i, "txt" if kind == "text" else "bin")),
                     size, kind, rng)
        total += size
        i += 1

    count = int(20000 * scale)
    log("corpus: %d small files in nested folders" % count)
    small = os.path.join(corpus, "small")
    for n in range(count):
        d = os.path.join(small, "d%02d" % (n % 20), "e%02d" % (n // 20 % 10))
        os.makedirs(d, exist_ok=True)
        size = rng.randint(100, 16 * 1024)
        block = blocks.text[n % 8]
        start = rng.randrange(0, MIB - size)
        path = os.path.join(d, "f%05d.txt" % n)
        with open(path, "wb") as f:
            f.write(block[start:start + size])
        os.utime(path, (FIXED_TIME, FIXED_TIME))

    log("corpus: one file of %d MiB" % (1024 * scale))
    big = os.path.join(corpus, "big")
    os.makedirs(big)
    blocks.write(os.path.join(big, "big.dat"), int(1024 * MIB * scale), "mixed", rng)

    count = int(100000 * scale)
    log("corpus: %d tiny files for the listing" % count)
    many = os.path.join(corpus, "many")
    for n in range(count):
        d = os.path.join(many, "d%03d" % (n // 1000))
        if n % 1000 == 0:
            os.makedirs(d)
        path = os.path.join(d, "f%06d" % n)
        with open(path, "wb") as f:
            f.write(b"%d\n" % n)
        os.utime(path, (FIXED_TIME, FIXED_TIME))
    for root, dirs, _ in os.walk(corpus):
        for d in dirs:
            os.utime(os.path.join(root, d), (FIXED_TIME, FIXED_TIME))
    open(stamp, "w").close()
    return corpus


def make_archives(work, corpus):
    arcs = os.path.join(work, "archives")
    os.makedirs(arcs, exist_ok=True)
    plan = [
        ("mixed.zip", "mixed", ["zip", "-q", "-r", "-6", "-X"]),
        ("small.zip", "small", ["zip", "-q", "-r", "-6", "-X"]),
        ("big.zip", "big", ["zip", "-q", "-r", "-6", "-X"]),
        ("many.zip", "many", ["zip", "-q", "-r", "-0", "-X"]),
        ("aes.zip", "mixed", ["7z", "a", "-tzip", "-bd", "-y", "-mx=5", "-mem=AES256",
                              "-p" + PASSWORD]),
    ]
    for name, source, cmd in plan:
        path = os.path.join(arcs, name)
        if not os.path.exists(path):
            log("archive: %s" % name)
            tmp = path + ".part.zip"
            if os.path.exists(tmp):
                os.remove(tmp)
            run(cmd + [tmp, "."], cwd=os.path.join(corpus, source), stdout=subprocess.DEVNULL)
            os.rename(tmp, path)
    return arcs


# ---- Measuring --------------------------------------------------------------

def rows(kel, arcs, out):
    """(row name, {tool: shell command}, kelvane's command as a list)."""
    def a(name):
        return os.path.join(arcs, name)

    result = []
    for name, label in [("mixed.zip", "extract mixed ~300 MB"), ("small.zip", "extract 20,000 small files"),
                        ("big.zip", "extract one 1 GiB item")]:
        kel_cmd = [kel, "x", a(name), "-d", out, "-q", "--overwrite", "always"]
        result.append((label, {
            "kelvane": " ".join(kel_cmd),
            "unzip": "unzip -q -o %s -d %s" % (a(name), out),
            "7z": "7z x -y -bd -o%s %s >/dev/null" % (out, a(name)),
            "bsdtar": "bsdtar -x -f %s -C %s" % (a(name), out),
        }, kel_cmd))
    for name, label in [("mixed.zip", "test mixed ~300 MB"), ("small.zip", "test 20,000 small files"),
                        ("big.zip", "test one 1 GiB item")]:
        kel_cmd = [kel, "t", a(name), "-q"]
        result.append((label, {
            "kelvane": " ".join(kel_cmd) + " >/dev/null",
            "unzip": "unzip -tqq %s" % a(name),
            "7z": "7z t -bd %s >/dev/null" % a(name),
        }, kel_cmd))
    kel_cmd = [kel, "x", a("aes.zip"), "-d", out, "-q", "--overwrite", "always", "-p", PASSWORD]
    result.append(("extract AES-256 ~300 MB", {
        "kelvane": " ".join(kel_cmd),
        "7z": "7z x -y -bd -p%s -o%s %s >/dev/null" % (PASSWORD, out, a("aes.zip")),
    }, kel_cmd))
    kel_cmd = [kel, "l", a("many.zip")]
    result.append(("list 100,000 items", {
        "kelvane": " ".join(kel_cmd) + " >/dev/null",
        "unzip": "unzip -l %s >/dev/null" % a("many.zip"),
        "7z": "7z l %s >/dev/null" % a("many.zip"),
        "bsdtar": "bsdtar -t -v -f %s >/dev/null" % a("many.zip"),
    }, kel_cmd))
    return result


def run_once(command, out):
    """Wall and processor time (user + system) of one run of Command."""
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    subprocess.run(["sync"], check=True)
    start = time.perf_counter()
    p = subprocess.Popen(command, shell=True, stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(p.pid, 0)
    wall = time.perf_counter() - start
    p.returncode = os.waitstatus_to_exitcode(status)
    if p.returncode != 0:
        raise RuntimeError("failed (exit %d): %s" % (p.returncode, command))
    return wall, usage.ru_utime + usage.ru_stime


def measure(commands, out, runs, json_path):
    """Per tool: (median wall time, median processor time), in seconds."""
    names = list(commands)
    samples = {n: [] for n in names}
    for r in range(runs + 1):
        # Each tool goes first in turn.
        order = names[r % len(names):] + names[:r % len(names)]
        for n in order:
            wall, cpu = run_once(commands[n], out)
            if r > 0:  # round 0 warms the caches
                samples[n].append((wall, cpu))
    with open(json_path, "w") as f:
        json.dump({n: [{"wall": w, "cpu": c} for w, c in v] for n, v in samples.items()}, f,
                  indent=1)
    return {n: (statistics.median(w for w, _ in v), statistics.median(c for _, c in v))
            for n, v in samples.items()}


def peak_rss_kib(kel_cmd, out):
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    p = subprocess.run(["/usr/bin/time", "-v"] + kel_cmd, stdout=subprocess.DEVNULL,
                       stderr=subprocess.PIPE, text=True)
    for line in p.stderr.splitlines():
        if "Maximum resident set size" in line:
            return int(line.split(":")[1])
    raise RuntimeError("no peak memory from /usr/bin/time: " + p.stderr)


def machine():
    model, cores = "?", os.cpu_count()
    try:
        for line in subprocess.run(["lscpu"], capture_output=True, text=True).stdout.splitlines():
            if line.startswith("Model name:"):
                model = line.split(":", 1)[1].strip()
    except OSError:
        pass
    with open("/proc/meminfo") as f:
        mem_kib = int(f.readline().split()[1])
    return "%s, %d cores, %.0f GiB RAM" % (model, cores, mem_kib / (1 << 20))


def build_kelvane():
    build = os.path.join(ROOT, "build", "bench")
    run(["cmake", "-S", ROOT, "-B", build, "-DCMAKE_BUILD_TYPE=Release", "-DKELVANE_TESTS=OFF",
         "-DKELVANE_BENCH=OFF"], stdout=subprocess.DEVNULL)
    run(["cmake", "--build", build, "--target", "kelvane-cli", "-j", "2"],
        stdout=subprocess.DEVNULL)
    return os.path.join(build, "cli", "kelvane")


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--kelvane", help="the kelvane binary (default: a release build)")
    ap.add_argument("--work", default=os.path.join(tempfile.gettempdir(), "kelvane-bench"))
    ap.add_argument("--out", help="where files are extracted (default: in /dev/shm)")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--small", action="store_true", help="a tenth of the corpus")
    ap.add_argument("--only", help="measure only the rows whose name holds this text")
    args = ap.parse_args()
    for tool in ["zip", "unzip", "7z", "bsdtar", "/usr/bin/time"]:
        if not shutil.which(tool):
            sys.exit("compare.py needs %s (Debian: zip, unzip, p7zip-full, libarchive-tools, "
                     "time)" % tool)
    kel = os.path.abspath(args.kelvane) if args.kelvane else build_kelvane()
    os.makedirs(args.work, exist_ok=True)
    corpus = make_corpus(args.work, 0.1 if args.small else 1.0)
    arcs = make_archives(args.work, corpus)
    shm = "/dev/shm"
    out = args.out or os.path.join(shm if os.path.isdir(shm) else args.work, "kelvane-bench-out")

    table = []
    for n, (label, commands, kel_cmd) in enumerate(rows(kel, arcs, out), 1):
        if args.only and args.only not in label:
            continue
        log("measuring: %s" % label)
        times = measure(commands, out, args.runs, os.path.join(args.work, "row%d.json" % n))
        rss = peak_rss_kib(kel_cmd, out)
        table.append((label, times, rss))
    shutil.rmtree(out, ignore_errors=True)

    tools = ["kelvane", "unzip", "7z", "bsdtar"]
    print("Machine: %s" % machine())
    print("Extracting into: %s" % out)
    print("Median wall time of %d runs, seconds. Ratio: kelvane / best other tool by median "
          "time; CPU ratio: the same by median processor time (user + system). Below 1: "
          "kelvane is faster." % args.runs)
    print()
    print("| Row | " + " | ".join(tools) + " | Ratio | CPU ratio | kelvane peak RSS |")
    print("|---|" + "---:|" * (len(tools) + 3))
    for label, times, rss in table:
        cells = ["%.3f" % times[t][0] if t in times else "-" for t in tools]
        others = [v for k, v in times.items() if k != "kelvane"]
        best_wall = min(v[0] for v in others)
        best_cpu = min(v[1] for v in others)
        print("| %s | %s | %.2fx | %.2fx | %.1f MiB |" % (
            label, " | ".join(cells), times["kelvane"][0] / best_wall,
            times["kelvane"][1] / best_cpu, rss / 1024))

if __name__ == "__main__":
    main()
