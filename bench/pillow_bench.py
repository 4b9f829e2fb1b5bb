#!/usr/bin/env python3
"""Pillow's figures for the benchmarks, run by them in the same run.

pillow_bench.py ANSWER decode ROUNDS FILE...
    the median decode time of each file (open and load), in ms, one line each:
    "FILE MS".
The answer is written to ANSWER.tmp and renamed into place when complete.
"""
import os
import statistics
import sys
import time

from PIL import Image


def decode(rounds, files):
    out = []
    for path in files:
        times = []
        for _ in range(rounds + 1):  # the first is a warm-up
            start = time.perf_counter()
            with Image.open(path) as im:
                im.load()
            times.append((time.perf_counter() - start) * 1000)
        out.append("%s %.3f" % (os.path.basename(path), statistics.median(times[1:])))
    return out


def main():
    answer, verb = sys.argv[1], sys.argv[2]
    lines = decode(int(sys.argv[3]), sys.argv[4:]) if verb == "decode" else ["unknown verb " + verb]
    with open(answer + ".tmp", "w") as f:
        f.write("\n".join(lines) + "\n")
    os.replace(answer + ".tmp", answer)


if __name__ == "__main__":
    main()
