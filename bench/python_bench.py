#!/usr/bin/env python3
"""The Python module's figures: a large stream read through tarvel.open in
constant memory (peak RSS), and two threads compressing at once against one
alone (the GIL is released while they code). Prints figures; asserts nothing.

    python3 bench/python_bench.py [MiB]   # with the module installed
"""
import os
import resource
import subprocess
import sys
import tempfile
import threading
import time

import tarvel


def text(size):
    words = b"the quick brown fox jumps over the lazy dog and tarvel codes it \n".split(b" ")
    block = b" ".join(words[(k * 7) % len(words)] for k in range(1 << 16))
    return (block * (size // len(block) + 1))[:size]


def main():
    mib = int(sys.argv[1]) if len(sys.argv) > 1 else 1024
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "big.tv")
        piece = text(8 << 20)
        with tarvel.open(path, "wb") as f:
            for _ in range(mib // 8):
                f.write(piece)
        # Read by a fresh interpreter, which reports its own peak (VmHWM, the
        # high-water mark of its memory since its start).
        reader = ("import sys, tarvel\n"
                  "n = 0\n"
                  "if sys.argv[2] != '0':\n"
                  "    with tarvel.open(sys.argv[1], 'rb') as f:\n"
                  "        while chunk := f.read(1 << 20):\n"
                  "            n += len(chunk)\n"
                  "assert n == int(sys.argv[2])\n"
                  "print([l for l in open('/proc/self/status') if l.startswith('VmHWM')][0])\n")

        def peak(size):
            run = subprocess.run([sys.executable, "-c", reader, path, str(size)], check=True,
                                 capture_output=True, text=True)
            return int(run.stdout.split()[1]) / 1024

        alone = peak(0)
        start = time.perf_counter()
        reading = peak(mib << 20)
        seconds = time.perf_counter() - start
        print(f"tarvel.open: {mib} MiB read in {seconds:.2f} s, peak RSS {reading:.1f} MiB "
              f"(an interpreter that only imports tarvel: {alone:.1f} MiB)")

    data = text(64 << 20)
    rounds = 5

    def one():
        tarvel.compress(data, threads=1)

    for label, count in (("one thread alone", 1), ("two threads at once", 2), ("one thread alone", 1)):
        best = float("inf")
        for _ in range(rounds):
            workers = [threading.Thread(target=one) for _ in range(count)]
            start = time.perf_counter()
            for worker in workers:
                worker.start()
            for worker in workers:
                worker.join()
            best = min(best, time.perf_counter() - start)
        print(f"compress 64 MiB, {label}: {best:.3f} s (best of {rounds})")


if __name__ == "__main__":
    main()
