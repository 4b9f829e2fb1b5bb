#!/usr/bin/env python3
"""Interop of our BMP reader and writer with Pillow and ImageMagick.

1. BMP Suite: every g file decodes to the pixels Pillow and ImageMagick give
   where the two agree; every b file is refused; every q file loads or is
   refused without a crash.
2. Files our writer makes at every depth decode in both tools to our pixels.
3. Files both tools write in their common variants decode in our reader to
   the pixels the tools give.

Every input is made here from fixed patterns; nothing third-party is kept.
Tool faults known in Debian 12: Pillow 9.4 decodes RLE4 wrongly, so RLE4 is
checked against ImageMagick alone; ImageMagick writes 5-6-5 files without
masks when asked for the 40-byte header, so that variant is not made.
"""
import argparse
import csv
import os
import struct
import subprocess
import sys

from PIL import Image

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from magick import convert_tool, read_ppm  # noqa: E402

CONVERT = convert_tool()


def decode_pillow(path):
    try:
        with Image.open(path) as im:
            im.load()
            return im.size, im.convert("RGB").tobytes()
    except Exception:
        return None


def decode_magick(path):
    run = subprocess.run([CONVERT, path + "[0]", "-alpha", "off", "-depth", "8", "ppm:-"],
                         capture_output=True)
    if run.returncode != 0 or not run.stdout.startswith(b"P6"):
        return None
    size, pixels, _ = read_ppm(run.stdout)
    return size, pixels


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Ours:
    def __init__(self, runner, bmpdump, work):
        self.runner, self.bmpdump, self.work = runner, bmpdump, work

    def run(self, args):
        run = subprocess.run([self.runner, self.bmpdump] + args, capture_output=True, text=True,
                             timeout=300)
        if run.returncode != 0:
            # Another Wine user stopping the shared wineserver ends our run too;
            # one more try tells that from a fault of ours, which repeats.
            print("bmpdump ended with %d, trying once more: %s%s"
                  % (run.returncode, run.stdout[-500:], run.stderr[-500:]))
            run = subprocess.run([self.runner, self.bmpdump] + args, capture_output=True,
                                 text=True, timeout=300)
        return run

    def decode(self, paths):
        """Reads every file in one run; path -> ((w, h), rgb) or None if refused."""
        args, raws = [], []
        for i, p in enumerate(paths):
            raw = os.path.join(self.work, "ours%d.raw" % i)
            if os.path.exists(raw):
                os.remove(raw)
            raws.append(raw)
            args += [windows_path(p), windows_path(raw)]
        run = self.run(args)
        if run.returncode != 0:
            raise SystemExit("bmpdump failed (%d): %s%s" % (run.returncode, run.stdout, run.stderr))
        states = {}
        for line in run.stdout.splitlines():
            name, _, state = line.strip().rpartition(" ")
            states[name] = state
        out = {}
        for p, raw in zip(paths, raws):
            state = states.get(windows_path(p))
            if state is None:
                raise SystemExit("bmpdump said nothing about " + p)
            out[p] = read_raw(raw) if state == "loaded" else None
        return out

    def make(self, bits, width, height, bmp):
        raw = bmp + ".raw"
        run = self.run(["--make", str(bits), str(width), str(height), windows_path(bmp),
                        windows_path(raw)])
        if run.returncode != 0:
            raise SystemExit("bmpdump --make %d failed: %s" % (bits, run.stdout))
        return read_raw(raw)


def read_raw(path):
    with open(path, "rb") as f:
        data = f.read()
    w, h = struct.unpack_from("<ii", data)
    return (w, h), data[8:]


def quantise(rgb, shift):
    return bytes(b >> shift for b in rgb) if shift else rgb


def compare(ours, refs, shift=0):
    """Problems of `ours` against the references, on the pixels where all agree."""
    refs = [r for r in refs if r is not None]
    if not refs:
        return ["no reference decode"]
    if ours is None:
        return ["refused"]
    size = ours[0]
    for r in refs:
        if r[0] != size:
            return ["size %s, a tool gives %s" % (size, r[0])]
    mine = quantise(ours[1], shift)
    theirs = [quantise(r[1], shift) for r in refs]
    agreed = wrong = 0
    for i in range(0, len(mine), 3):
        px = theirs[0][i:i + 3]
        if all(t[i:i + 3] == px for t in theirs[1:]):
            agreed += 1
            if mine[i:i + 3] != px:
                wrong += 1
    problems = []
    if wrong:
        problems.append("%d of %d agreed pixels differ" % (wrong, agreed))
    if agreed * 2 < size[0] * size[1]:
        problems.append("the tools agree on only %d pixels" % agreed)
    return problems


def bmp_facts(path):
    with open(path, "rb") as f:
        d = f.read(64)
    header = struct.unpack_from("<I", d, 14)[0]
    bits = struct.unpack_from("<H", d, 24 if header == 12 else 28)[0]
    compression = 0 if header == 12 else struct.unpack_from("<I", d, 30)[0]
    return bits, compression


def decode_bitfields(path):
    """Our own reference for 16- and 32-bit bit-field files: each channel
    scaled to 8 bits with rounding (full intensity is 255). ImageMagick 6
    shifts instead (a full 2-bit channel gives 192) and Pillow refuses
    unusual layouts, so neither serves for channels outside 5 to 8 bits."""
    with open(path, "rb") as f:
        d = f.read()
    off, header = struct.unpack_from("<II", d, 10)
    width, height, _, bits, compression = struct.unpack_from("<iiHHI", d, 18)
    if compression != 3 or bits not in (16, 32):
        return None
    masks = struct.unpack_from("<III", d, 54)
    top_down = height < 0
    height = abs(height)
    stride = (width * bits + 31) // 32 * 4
    out = bytearray()
    for row in range(height):
        y = row if top_down else height - 1 - row
        line = d[off + y * stride: off + (y + 1) * stride]
        for x in range(width):
            v = struct.unpack_from("<H" if bits == 16 else "<I", line, x * bits // 8)[0]
            for mask in masks:
                shift = (mask & -mask).bit_length() - 1
                top = mask >> shift
                out.append((((v & mask) >> shift) * 255 + top // 2) // top)
    # Channels of 5 to 7 bits the platform widens by repeating bits, which
    # differs from rounding by 1 now and then: compare those at 5 bits.
    widths = [bin(m).count("1") for m in masks]
    converted = any(w < 5 or w > 8 for w in widths)
    shift = 0 if converted or min(widths) == 8 else 3
    return ((width, height), bytes(out)), shift


def references(path):
    bits, compression = bmp_facts(path)
    pillow = None if compression == 2 else decode_pillow(path)  # Pillow's RLE4 is wrong
    # 16-bit files keep 5 bits a channel; the tools and the platform widen them differently.
    return [pillow, decode_magick(path)], (3 if bits == 16 else 0)


def check_suite(ours, suite, failures):
    with open(os.path.join(suite, "MANIFEST.tsv")) as f:
        rows = list(csv.DictReader(f, delimiter="\t"))
    paths = [os.path.join(suite, r["file"]) for r in rows]
    decoded = ours.decode(paths)
    counts = {}
    for r, p in zip(rows, paths):
        group = r["category"]
        loaded = decoded[p] is not None
        total, ok = counts.get(group, (0, 0))
        counts[group] = (total + 1, ok + loaded)
        if group == "g":
            refs, shift = references(p)
            for problem in compare(decoded[p], refs, shift):
                failures.append("%s: %s" % (r["file"], problem))
        elif group == "b" and loaded:
            failures.append("%s: a bad file loaded" % r["file"])
        elif group == "q":
            state = "loaded" if loaded else "refused"
            if loaded:
                own = decode_bitfields(p)
                if own is not None:
                    for problem in compare(decoded[p], [own[0]], own[1]):
                        failures.append("%s: %s" % (r["file"], problem))
                refs, shift = references(p)
                problems = compare(decoded[p], refs, shift)
                if problems:
                    state += " (differs from the tools: %s)" % "; ".join(problems)
            print("  %s: %s" % (r["file"], state))
    for group in "gqb":
        total, ok = counts.get(group, (0, 0))
        print("BMP Suite %s: %d of %d load" % (group, ok, total))


def check_writer(ours, work, failures):
    for bits in (1, 4, 8, 16, 24, 32):
        path = os.path.join(work, "ours%d.bmp" % bits)
        mine = ours.make(bits, 37, 23, path)
        shift = 3 if bits == 16 else 0
        for name, decode in (("Pillow", decode_pillow), ("ImageMagick", decode_magick)):
            for problem in compare(mine, [decode(path)], shift):
                failures.append("our %d-bit file in %s: %s" % (bits, name, problem))
        print("our %d-bit file: checked in Pillow and ImageMagick" % bits)


def source_image():
    im = Image.new("RGBA", (37, 23))
    px = im.load()
    for y in range(23):
        for x in range(37):
            px[x, y] = ((x * 7) & 255, (y * 11) & 255, ((x ^ y) * 5) & 255, (x * 3 + y) & 255)
    return im


def tool_files(work):
    src = source_image()
    png = os.path.join(work, "source.png")
    src.save(png)
    made = []

    def pillow(name, im):
        path = os.path.join(work, name)
        im.save(path)
        made.append(path)

    pillow("pil-1bit.bmp", src.convert("1"))
    pillow("pil-8bit-grey.bmp", src.convert("L"))
    short = Image.new("P", src.size)
    short.putpalette([255, 0, 0, 0, 255, 0, 0, 0, 255, 10, 20, 30, 200, 100, 50])
    short.putdata([(x + 2 * y) % 5 for y in range(src.size[1]) for x in range(src.size[0])])
    pillow("pil-8bit-short-palette.bmp", short)
    pillow("pil-24bit.bmp", src.convert("RGB"))
    pillow("pil-32bit.bmp", src)

    rgb = ["-alpha", "off"]
    variants = [
        ("im-1bit.bmp", rgb + ["-monochrome", "BMP3:"]),
        ("im-4bit.bmp", rgb + ["-colors", "16", "-type", "palette", "-compress", "none", "BMP3:"]),
        ("im-8bit.bmp", rgb + ["-colors", "200", "-type", "palette", "-compress", "none", "BMP3:"]),
        ("im-8bit-rle8.bmp", rgb + ["-colors", "200", "-type", "palette", "-compress", "RLE", "BMP3:"]),
        ("im-8bit-v5.bmp", rgb + ["-colors", "200", "-type", "palette", "-compress", "none", "BMP:"]),
        ("im-24bit.bmp", rgb + ["-type", "truecolor", "BMP3:"]),
        ("im-24bit-v5.bmp", rgb + ["-type", "truecolor", "BMP:"]),
        ("im-16bit-565-v5.bmp", rgb + ["-define", "bmp:subtype=RGB565", "BMP:"]),
        ("im-16bit-555-v5.bmp", rgb + ["-define", "bmp:subtype=RGB555", "BMP:"]),
        ("im-32bit-v5.bmp", ["-alpha", "on", "-type", "TrueColorAlpha", "BMP:"]),
    ]
    for name, args in variants:
        path = os.path.join(work, name)
        args = args[:-1] + [args[-1] + path]
        subprocess.run([CONVERT, png] + args, check=True)
        made.append(path)
    return made


def check_tools(ours, work, failures):
    paths = tool_files(work)
    decoded = ours.decode(paths)
    for p in paths:
        refs, shift = references(p)
        problems = compare(decoded[p], refs, shift)
        for problem in problems:
            failures.append("%s: %s" % (os.path.basename(p), problem))
        bits, compression = bmp_facts(p)
        print("%s (%d bits, compression %d): %s" % (os.path.basename(p), bits, compression,
                                                    "same pixels" if not problems else "DIFFERS"))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--runner", required=True)
    ap.add_argument("--bmpdump", required=True)
    ap.add_argument("--suite", required=True)
    ap.add_argument("--work", required=True)
    a = ap.parse_args()
    if not CONVERT:
        raise SystemExit("ImageMagick's convert is missing")
    os.makedirs(a.work, exist_ok=True)
    ours = Ours(a.runner, a.bmpdump, a.work)
    failures = []
    check_suite(ours, a.suite, failures)
    check_writer(ours, a.work, failures)
    check_tools(ours, a.work, failures)
    for f in failures:
        print("FAIL", f)
    print("interop: %d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
