#!/usr/bin/env python3
"""Whole-process throughput of tarvel against other compressors.

Builds a deterministic corpus of about 100 MB per kind from what a Debian
machine has (man pages, /usr/share/doc, /usr/include, the largest shared
library) plus generated random and skewed data, then runs every command on
every file for several rounds, in alternation, and prints per file: the
median MB/s of each command; for tarvel and untarvel, on both cores and on
one, the median ratio of speed to their peer measured in the same rounds
(zstd -1 -T1 and zstd -d -T1, pinned to the same core for one-core figures,
since zstd's command line writes on a second thread); the compressed size,
in bytes and as a share of the input; and the peak resident memory. Outputs
go to /dev/shm, so that the disk does not set the pace.

usage: bench/run_bench.py [--build build/default] [--rounds 5] [--size-mb 100]
                          [--work /tmp/tarvel-bench] [--out-dir /dev/shm]
                          [--kinds man,doc,...]
"""
import argparse
import gzip
import os
import random
import shutil
import statistics
import subprocess
import sys
import time


def take(paths, size, read):
    """Concatenates the files of `paths` (sorted) until `size` bytes, cycling
    through them again if they hold less."""
    out = bytearray()
    paths = sorted(paths)
    while len(out) < size and paths:
        before = len(out)
        for path in paths:
            try:
                out += read(path)
            except (OSError, EOFError, gzip.BadGzipFile):
                continue
            if len(out) >= size:
                break
        if len(out) == before:
            break
    return bytes(out[:size])


def files_under(root, keep=lambda p: True):
    found = []
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            if os.path.isfile(path) and not os.path.islink(path) and keep(path):
                found.append(path)
    return found


def read_plain(path):
    with open(path, "rb") as f:
        return f.read()


def read_maybe_gzip(path):
    if path.endswith(".gz"):
        with gzip.open(path, "rb") as f:
            return f.read()
    return read_plain(path)


def corpus(kind, size):
    rng = random.Random(20261208)
    if kind == "man":
        return take(files_under("/usr/share/man"), size, read_maybe_gzip)
    if kind == "doc":
        return take(files_under("/usr/share/doc"), size, read_maybe_gzip)
    if kind == "include":
        return take(files_under("/usr/include"), size, read_plain)
    if kind == "library":
        libs = files_under("/usr/lib", lambda p: ".so" in os.path.basename(p))
        libs.sort(key=lambda p: (-os.path.getsize(p), p))
        return take(libs[:1], size, read_plain)
    if kind == "random":
        return rng.randbytes(size)
    if kind == "skewed":
        # A geometric distribution over 40 byte values.
        weights = [0.7 ** k for k in range(40)]
        values = rng.choices(range(40), weights=weights, k=size)
        return bytes(v * 5 + 32 for v in values)
    raise ValueError(kind)


def run(command):
    """Runs `command`; returns its wall-clock seconds."""
    start = time.perf_counter()
    if subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode:
        sys.exit("failed: " + " ".join(command))
    return time.perf_counter() - start


def peak_rss_mib(command):
    """The peak resident memory of `command`, measured by GNU time: a child
    of this (larger) process would count this process's pages until exec."""
    if not os.path.exists("/usr/bin/time"):
        return None
    result = subprocess.run(["/usr/bin/time", "-f", "%M"] + command,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    return int(result.stderr.strip().splitlines()[-1]) / 1024


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build/default")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--size-mb", type=int, default=100)
    parser.add_argument("--work", default="/tmp/tarvel-bench")
    parser.add_argument("--out-dir", default="/dev/shm" if os.path.isdir("/dev/shm") else "/tmp")
    parser.add_argument("--kinds", default="man,doc,include,library,random,skewed")
    parser.add_argument("--make", nargs=3, metavar=("KIND", "PATH", "BYTES"),
                        help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.make:
        kind, path, size = args.make
        with open(path, "wb") as f:
            f.write(corpus(kind, int(size)))
        return

    tarvel = os.path.abspath(os.path.join(args.build, "tarvel"))
    untarvel = os.path.abspath(os.path.join(args.build, "untarvel"))
    os.makedirs(args.work, exist_ok=True)
    have = lambda tool: shutil.which(tool) is not None
    one_core = ["taskset", "-c", "0"]

    print(f"machine: {os.cpu_count()} cores; {os.uname().release}")
    for kind in args.kinds.split(","):
        source = os.path.join(args.work, kind)
        if not os.path.exists(source) or os.path.getsize(source) != args.size_mb << 20:
            # In a process of its own, so that this one stays small.
            subprocess.run([sys.executable, __file__, "--make", kind, source,
                            str(args.size_mb << 20)], check=True)
        size = os.path.getsize(source)
        packed = os.path.join(args.work, kind + ".tarvel")
        zstd_packed = os.path.join(args.work, kind + ".zst")
        out = os.path.join(args.out_dir, "tarvel-bench-out")

        subprocess.run([tarvel, source, packed], check=True, stdout=subprocess.DEVNULL)
        commands = {
            "tarvel (2 cores)": [tarvel, source, out],
            "tarvel (1 core)": one_core + [tarvel, source, out],
            "untarvel (2 cores)": [untarvel, packed, out],
            "untarvel (1 core)": one_core + [untarvel, packed, out],
        }
        # Each of ours against its peer, in the same rounds; zstd's command
        # line writes on a second thread, so the one-core peer is pinned too.
        peers = {"tarvel (2 cores)": "zstd -1 -T1", "tarvel (1 core)": "zstd -1 -T1 (1 core)",
                 "untarvel (2 cores)": "zstd -d -T1", "untarvel (1 core)": "zstd -d -T1 (1 core)"}
        if have("zstd"):
            subprocess.run(["zstd", "-1", "-q", "-f", source, "-o", zstd_packed], check=True)
            compress = ["zstd", "-1", "-T1", "-q", "-f", source, "-o", out]
            decompress = ["zstd", "-d", "-T1", "-q", "-f", zstd_packed, "-o", out]
            commands["zstd -1 -T1"] = compress
            commands["zstd -1 -T1 (1 core)"] = one_core + compress
            commands["zstd -d -T1"] = decompress
            commands["zstd -d -T1 (1 core)"] = one_core + decompress
        if have("gzip"):
            commands["gzip -1"] = ["sh", "-c", f"gzip -1 -c '{source}' > '{out}'"]
        if have("lz4"):
            commands["lz4 -1"] = ["lz4", "-1", "-q", "-f", source, out]
        commands["cat twice"] = ["sh", "-c", f"cat '{source}' > /dev/null; cat '{source}' > /dev/null"]

        speeds = {name: [] for name in commands}
        ratios = {name: [] for name in peers if peers[name] in commands}
        sizes = {}
        rss = {name: peak_rss_mib(command) for name, command in commands.items()}
        for _ in range(args.rounds):
            seconds = {}
            for name, command in commands.items():
                if os.path.exists(out):
                    os.remove(out)
                seconds[name] = run(command)
                speeds[name].append(size / seconds[name] / 1e6)
                sizes[name] = os.path.getsize(out) if os.path.exists(out) else None
            for name in ratios:
                ratios[name].append(seconds[peers[name]] / seconds[name])

        print(f"\n{kind}: {size / 1e6:.0f} MB, {args.rounds} rounds")
        print(f"  {'command':<22} {'MB/s':>8} {'vs peer':>30} {'output':>12} {'% of input':>10}"
              f" {'peak RSS':>10}")
        for name in commands:
            output = sizes[name]
            if output is not None and not name.startswith(("cat", "untarvel", "zstd -d")):
                shown = f"{output:>12,} {output * 100 / size:>9.1f}%"
            else:
                shown = f"{'-':>12} {'-':>10}"
            versus = (f"{statistics.median(ratios[name]):>5.2f}x {peers[name]}"
                      if name in ratios else "")
            peak = f"{rss[name]:>6.1f} MiB" if rss[name] is not None else "    n/a"
            print(f"  {name:<22} {statistics.median(speeds[name]):>8.0f} {versus:>30} {shown}"
                  f" {peak:>10}")
        if os.path.exists(out):
            os.remove(out)


if __name__ == "__main__":
    main()
