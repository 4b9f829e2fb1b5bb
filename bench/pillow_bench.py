#!/usr/bin/env python3
"""Pillow's figures for the benchmarks, run by them in the same run.

pillow_bench.py ANSWER decode ROUNDS FILE...
    the median decode time of each file (open and load), in ms, one line each:
    "FILE MS".
pillow_bench.py ANSWER resize RAW WIDTH HEIGHT TO_WIDTH TO_HEIGHT box|bilinear [OUT]
    one resize of RAW (packed 24-bit rows, top row first, blue first) timed
    after an untimed one, in ms; OUT, when given, gets the result in the same
    layout.
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


def resize(raw, w, h, tw, th, name, out=None):
    size, to = (int(w), int(h)), (int(tw), int(th))
    flt = {"box": Image.BOX, "bilinear": Image.BILINEAR}[name]
    with open(raw, "rb") as f:
        im = Image.frombytes("RGB", size, f.read(), "raw", "BGR")
    im.resize(to, flt)
    start = time.perf_counter()
    done = im.resize(to, flt)
    ms = (time.perf_counter() - start) * 1000
    if out:
        with open(out, "wb") as f:
            f.write(done.tobytes("raw", "BGR"))
    return ["%.3f" % ms]


def main():
    answer, verb = sys.argv[1], sys.argv[2]
    verbs = {"decode": lambda args: decode(int(args[0]), args[1:]), "resize": lambda args: resize(*args)}
    lines = verbs[verb](sys.argv[3:]) if verb in verbs else ["unknown verb " + verb]
    with open(answer + ".tmp", "w") as f:
        f.write("\n".join(lines) + "\n")
    os.replace(answer + ".tmp", answer)


if __name__ == "__main__":
    main()
