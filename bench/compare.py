#!/usr/bin/env python3
"""End-to-end comparison of the kelvane tool with other archivers, on disk.

Builds a deterministic corpus and archives of it (with zip, 7zz and python3),
then measures on the same archives:
  extraction   kelvane x, unzip, 7zz x, bsdtar -x   (mixed, 3,100 files, 20,000 tiny files, 1 GiB)
  testing      kelvane t, unzip -t, 7zz t           (mixed, 20,000 tiny files, 1 GiB)
  AES-256      kelvane x, 7zz x
  listing      kelvane l, unzip -l, 7zz l, bsdtar -tv   (1,000,000 items)
  creating     kelvane add, zip, 7zz a -tzip        (at -1 and -6: mixed, 3,100 files)
and prints a table of median wall times, the ratio of kelvane to the best
other tool per row (by median wall time, and by processor time: user +
system), the peak resident memory of kelvane and of the best other tool, and
for the creating rows the archives' sizes.

The tools of a row take turns within each round (after one round to warm
the caches), so a load that comes and goes on a shared machine falls on all
of them alike; every run starts with an empty output folder, after a sync
that writes out what the run before left in the page cache.

Usage: bench/compare.py [--kelvane PATH] [--work DIR] [--out DIR] [--runs N] [--small]
                        [--only TEXT]

--small makes a corpus about a tenth of the size, to try the script quickly.
Without --kelvane a release build is made in build/bench. The corpus, the
archives and the times of every run (one JSON file per row) stay under --work
(default /tmp/kelvane-bench, about 4 GB). Output goes to --out, by default
a folder under --work: on the disk, where people extract (give a folder in
/dev/shm to measure the archivers' own work without the disk's).
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
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PASSWORD = "bench-password"
MIB = 1 << 20
SEVEN_ZIP = "7zz" if shutil.which("7zz") else "7z"
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


def make_files(folder, count, sizes, kind_of, blocks, rng, layout):
    """Count files of the sizes drawn by Sizes(rng), in the folders Layout(n) names."""
    for n in range(count):
        d = os.path.join(folder, layout(n))
        os.makedirs(d, exist_ok=True)
        size = sizes(rng)
        kind = kind_of(n)
        path = os.path.join(d, "f%05d.%s" % (n, "txt" if kind == "text" else "bin"))
        block = rng.choice(blocks.text if kind == "text" else blocks.random)
        start = rng.randrange(0, MIB - size)
        with open(path, "wb") as f:
            f.write(block[start:start + size])
        os.utime(path, (FIXED_TIME, FIXED_TIME))


def make_corpus(work, scale):
    corpus = os.path.join(work, "corpus")
    stamp = os.path.join(corpus, ".done-v3-%g" % scale)
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

    # A source tree's shape: most files a few to a hundred KB, one in ten
    # incompressible, in 10 x 10 folders; about 135 MB.
    count = int(3100 * scale)
    log("corpus: %d files of about 135 MB in all" % count)
    make_files(os.path.join(corpus, "medium"), count,
               lambda r: min(int(r.expovariate(1 / 43000)) + 200, MIB - 4096),
               lambda n: "random" if n % 10 == 9 else "text", blocks, rng,
               lambda n: os.path.join("d%02d" % (n % 10), "e%02d" % (n // 10 % 10)))

    count = int(20000 * scale)
    log("corpus: %d tiny files" % count)
    make_files(os.path.join(corpus, "tiny"), count, lambda r: r.randint(100, 300),
               lambda n: "text", blocks, rng,
               lambda n: os.path.join("d%02d" % (n % 20), "e%02d" % (n // 20 % 10)))

    log("corpus: one file of %d MiB" % (1024 * scale))
    big = os.path.join(corpus, "big")
    os.makedirs(big)
    blocks.write(os.path.join(big, "big.dat"), int(1024 * MIB * scale), "mixed", rng)

    for root, dirs, _ in os.walk(corpus):
        for d in dirs:
            os.utime(os.path.join(root, d), (FIXED_TIME, FIXED_TIME))
    open(stamp, "w").close()
    return corpus


def make_million(path, count):
    """What zip -r -0 -X makes of Count files of a few bytes in folders of a
    thousand (many/d000/f000000 ...), written directly: zip would need the
    files on disk first."""
    stamp = (2024, 5, 17, 12, 0, 0)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as z:
        for n in range(count):
            if n % 1000 == 0:
                z.writestr(zipfile.ZipInfo("many/d%03d/" % (n // 1000), stamp), b"")
            z.writestr(zipfile.ZipInfo("many/d%03d/f%06d" % (n // 1000, n), stamp), b"%d\n" % n)


def make_archives(work, corpus, scale):
    arcs = os.path.join(work, "archives")
    os.makedirs(arcs, exist_ok=True)
    zip6 = ["zip", "-q", "-r", "-6", "-X"]
    plan = [
        ("mixed.zip", "mixed", zip6),
        ("medium.zip", "medium", zip6),
        ("tiny.zip", "tiny", zip6),
        ("big.zip", "big", zip6),
        ("aes.zip", "mixed", [SEVEN_ZIP, "a", "-tzip", "-bd", "-y", "-mx=5", "-mem=AES256",
                              "-p" + PASSWORD]),
        ("million.zip", None, None),
    ]
    for name, source, cmd in plan:
        path = os.path.join(arcs, name)
        if not os.path.exists(path):
            log("archive: %s" % name)
            tmp = path + ".part.zip"
            if os.path.exists(tmp):
                os.remove(tmp)
            if cmd is None:
                make_million(tmp, int(1000000 * scale))
            else:
                run(cmd + [tmp, "."], cwd=os.path.join(corpus, source), stdout=subprocess.DEVNULL)
            os.rename(tmp, path)
    return arcs


# ---- Measuring --------------------------------------------------------------

class Row:
    def __init__(self, label, commands, cwd=None, archive=None):
        self.label = label
        self.commands = commands  # {tool: shell command}
        self.cwd = cwd            # where the commands run
        self.archive = archive    # the file a creating command makes, for its size


def rows(kel, arcs, corpus, out):
    def a(name):
        return os.path.join(arcs, name)

    result = []
    for name, label in [("mixed.zip", "extract mixed ~300 MB"),
                        ("medium.zip", "extract 3,100 files (135 MB)"),
                        ("tiny.zip", "extract 20,000 files of ~200 bytes"),
                        ("big.zip", "extract one 1 GiB item")]:
        result.append(Row(label, {
            "kelvane": "%s x %s -d %s -q --overwrite always" % (kel, a(name), out),
            "unzip": "unzip -q -o %s -d %s" % (a(name), out),
            "7zz": "%s x -y -bd -o%s %s >/dev/null" % (SEVEN_ZIP, out, a(name)),
            "bsdtar": "bsdtar -x -f %s -C %s" % (a(name), out),
        }))
    for name, label in [("mixed.zip", "test mixed ~300 MB"),
                        ("tiny.zip", "test 20,000 files of ~200 bytes"),
                        ("big.zip", "test one 1 GiB item")]:
        result.append(Row(label, {
            "kelvane": "%s t %s -q >/dev/null" % (kel, a(name)),
            "unzip": "unzip -tqq %s" % a(name),
            "7zz": "%s t -bd %s >/dev/null" % (SEVEN_ZIP, a(name)),
        }))
    result.append(Row("extract AES-256 ~300 MB", {
        "kelvane": "%s x %s -d %s -q --overwrite always -p %s" % (kel, a("aes.zip"), out, PASSWORD),
        "7zz": "%s x -y -bd -p%s -o%s %s >/dev/null" % (SEVEN_ZIP, PASSWORD, out, a("aes.zip")),
    }))
    result.append(Row("list 1,000,000 items", {
        "kelvane": "%s l %s >/dev/null" % (kel, a("million.zip")),
        "unzip": "unzip -l %s >/dev/null" % a("million.zip"),
        "7zz": "%s l %s >/dev/null" % (SEVEN_ZIP, a("million.zip")),
        "bsdtar": "bsdtar -t -v -f %s >/dev/null" % a("million.zip"),
    }))
    made = os.path.join(out, "new.zip")
    for source, what in [("mixed", "mixed ~300 MB"), ("medium", "3,100 files (135 MB)")]:
        for level in ("1", "6"):
            result.append(Row("create -%s, %s" % (level, what), {
                "kelvane": "%s add -q -%s %s %s" % (kel, level, made, source),
                "zip": "zip -q -r -%s %s %s" % (level, made, source),
                "7zz": "%s a -tzip -bd -y -mx=%s %s %s >/dev/null" % (SEVEN_ZIP, level, made,
                                                                       source),
            }, cwd=corpus, archive=made))
    return result


def run_once(row, tool, out):
    """Wall and processor time (user + system) in seconds, peak resident
    memory in KiB and the size of the archive made (or None) of one run."""
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    subprocess.run(["sync"], check=True)
    peak_file = out + ".peak"
    start = time.perf_counter()
    # The peak comes from time(1): a child forked from this process would
    # count this process's own memory as its peak.
    p = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", peak_file, "sh", "-c",
                          row.commands[tool]], cwd=row.cwd,
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(p.pid, 0)
    wall = time.perf_counter() - start
    code = os.waitstatus_to_exitcode(status)
    if code != 0:
        raise RuntimeError("failed (exit %d): %s" % (code, row.commands[tool]))
    size = os.path.getsize(row.archive) if row.archive else None
    with open(peak_file) as f:
        peak = int(f.read().split()[-1])
    return wall, usage.ru_utime + usage.ru_stime, peak, size


def measure(row, out, runs, json_path):
    """Per tool: (median wall, median cpu, median peak KiB, archive size)."""
    names = list(row.commands)
    samples = {n: [] for n in names}
    for r in range(runs + 1):
        # Each tool goes first in turn.
        order = names[r % len(names):] + names[:r % len(names)]
        for n in order:
            sample = run_once(row, n, out)
            if r > 0:  # round 0 warms the caches
                samples[n].append(sample)
    with open(json_path, "w") as f:
        json.dump({n: [{"wall": w, "cpu": c, "peak_kib": m, "size": z} for w, c, m, z in v]
                   for n, v in samples.items()}, f, indent=1)
    return {n: (statistics.median(s[0] for s in v), statistics.median(s[1] for s in v),
                statistics.median(s[2] for s in v), v[-1][3])
            for n, v in samples.items()}


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


def mib(kib):
    return "%.1f" % (kib / 1024)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--kelvane", help="the kelvane binary (default: a release build)")
    ap.add_argument("--work", default=os.path.join(tempfile.gettempdir(), "kelvane-bench"))
    ap.add_argument("--out", help="where files are extracted and archives made "
                                  "(default: WORK/out, on the disk)")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--small", action="store_true", help="a tenth of the corpus")
    ap.add_argument("--only", help="measure only the rows whose name holds this text")
    args = ap.parse_args()
    for tool in ["zip", "unzip", SEVEN_ZIP, "bsdtar", "/usr/bin/time"]:
        if not shutil.which(tool):
            sys.exit("compare.py needs %s (Debian: zip, unzip, 7zip, libarchive-tools, time)"
                     % tool)
    kel = os.path.abspath(args.kelvane) if args.kelvane else build_kelvane()
    args.work = os.path.abspath(args.work)
    os.makedirs(args.work, exist_ok=True)
    scale = 0.1 if args.small else 1.0
    corpus = make_corpus(args.work, scale)
    arcs = make_archives(args.work, corpus, scale)
    out = os.path.abspath(args.out or os.path.join(args.work, "out"))

    table = []
    for n, row in enumerate(rows(kel, arcs, corpus, out), 1):
        if args.only and args.only not in row.label:
            continue
        log("measuring: %s" % row.label)
        table.append((row.label, measure(row, out, args.runs,
                                         os.path.join(args.work, "row%d.json" % n))))
    shutil.rmtree(out, ignore_errors=True)
    if os.path.exists(out + ".peak"):
        os.remove(out + ".peak")

    tools = ["kelvane", "unzip", "zip", "7zz", "bsdtar"]
    print("Machine: %s" % machine())
    print("Output in: %s" % out)
    print("Median wall time of %d runs, seconds. Ratio: kelvane / best other tool by median "
          "wall time (the best other is the one named); CPU: kelvane's median processor time "
          "(user + system) and its ratio to the best other's. Peak: median peak resident "
          "memory, kelvane / the best other." % args.runs)
    print()
    print("| Row | " + " | ".join(tools) + " | Ratio | CPU s (ratio) | Peak MiB | Sizes |")
    print("|---|" + "---:|" * (len(tools) + 3) + "---|")
    for label, times in table:
        cells = ["%.3f" % times[t][0] if t in times else "-" for t in tools]
        best = min((k for k in times if k != "kelvane"), key=lambda k: times[k][0])
        kel_t, best_t = times["kelvane"], times[best]
        sizes = ""
        if kel_t[3] is not None:
            sizes = " / ".join("%s %s" % (t, format(times[t][3], ",")) for t in tools if t in times)
        print("| %s | %s | %.2fx (%s) | %.2f (%.2fx) | %s / %s | %s |" % (
            label, " | ".join(cells), kel_t[0] / best_t[0], best, kel_t[1],
            kel_t[1] / best_t[1], mib(kel_t[2]), mib(best_t[2]), sizes))


if __name__ == "__main__":
    main()
