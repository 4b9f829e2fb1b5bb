#!/usr/bin/env python3
"""The resampler against Pillow's resize, pixel for pixel.

Pillow's BOX filter where an axis shrinks and BILINEAR where it grows; for
mixed amounts two one-axis resizes (across with the width's filter, then
down with the height's). Pictures with alpha are compared premultiplied.
Every channel of every pixel must be within 1 level. 16-bit pictures are
resized by Pillow at 8 bits and packed again; there the level is the
channel's own.

usage: resample_pillow.py RESAMPLE_TOOL
"""
import random
import subprocess
import sys

from PIL import Image

TOOL = sys.argv[1]

# name, format, source size, percent across and down, row order in memory
CASES = [
    ("50%", "bgr24", (200, 120), (50, 50), "bottom-up"),
    ("33.3% of odd sides", "bgr24", (199, 121), (33.3, 33.3), "bottom-up"),
    ("25%", "bgr24", (203, 97), (25, 25), "top-down"),
    ("150% of odd sides", "bgr24", (67, 45), (150, 150), "bottom-up"),
    ("200%", "bgr24", (61, 37), (200, 200), "top-down"),
    ("wider and shorter", "bgr24", (80, 90), (200, 33.3), "bottom-up"),
    ("narrower and taller", "bgr24", (120, 41), (25, 150), "top-down"),
    ("width kept", "bgr24", (64, 50), (100, 50), "bottom-up"),
    ("height kept", "bgr24", (33, 50), (300, 100), "bottom-up"),
    ("one column to many", "bgr24", (1, 9), (700, 500), "bottom-up"),
    ("down to one pixel", "bgr24", (37, 23), (1, 1), "top-down"),
    ("large factor down", "bgr24", (997, 13), (0.5, 10), "top-down"),
    ("alpha 50%", "bgra32", (200, 120), (50, 50), "bottom-up"),
    ("alpha 33.3%", "bgra32", (199, 121), (33.3, 33.3), "top-down"),
    ("alpha 25%", "bgra32", (203, 97), (25, 25), "bottom-up"),
    ("alpha 150%", "bgra32", (67, 45), (150, 150), "bottom-up"),
    ("alpha 200%", "bgra32", (61, 37), (200, 200), "top-down"),
    ("alpha mixed", "bgra32", (80, 90), (200, 33.3), "bottom-up"),
    ("two thirds: box edges on pixel centres", "bgr24", (60, 45), (66.67, 66.67), "bottom-up"),
    ("no alpha at all", "bgrx32", (101, 77), (33.3, 150), "bottom-up"),
    ("5-6-5", "masked16:f800:7e0:1f", (97, 61), (33.3, 150), "bottom-up"),
    ("4-4-4 high, 3-bit low", "masked16:f000:f00:7", (64, 40), (150, 25), "top-down"),
]


def masks(fmt):
    return [int(m, 16) for m in fmt.split(":")[1:]]


def pack16(im, fmt):
    """Packs 8-bit RGB into 16-bit pixels at the masks, rounding each channel."""
    out = bytearray()
    fields = [(m, (m & -m).bit_length() - 1, m // (m & -m)) for m in masks(fmt)]
    for r, g, b in zip(*(im.getchannel(c).tobytes() for c in "RGB")):
        v = 0
        for (mask, shift, top), c in zip(fields, (r, g, b)):
            v |= (c * top + 127) // 255 << shift
        out += v.to_bytes(2, "little")
    return bytes(out)


def unpack16(data, size, fmt):
    fields = [(m, (m & -m).bit_length() - 1, m // (m & -m)) for m in masks(fmt)]
    bands = [bytearray(), bytearray(), bytearray()]
    for i in range(0, len(data), 2):
        v = int.from_bytes(data[i:i + 2], "little")
        for band, (mask, shift, top) in zip(bands, fields):
            band.append(((v & mask) >> shift) * 255 * 2 // top + 1 >> 1)
    return Image.merge("RGB", [Image.frombytes("L", size, bytes(b)) for b in bands])


def levels16(want, got, fmt):
    """Differences of the packed channels, in each channel's own levels."""
    fields = [(m, (m & -m).bit_length() - 1) for m in masks(fmt)]
    diffs = []
    for i in range(0, len(want), 2):
        a, b = int.from_bytes(want[i:i + 2], "little"), int.from_bytes(got[i:i + 2], "little")
        diffs += [abs(((a & m) >> s) - ((b & m) >> s)) for m, s in fields]
    return diffs


def target(size, percent):
    return tuple(max(1, int(side * p * 0.01)) for side, p in zip(size, percent))


def picture(mode, size, seed):
    """Noise over smooth gradients: every rounding shows, and so do edges."""
    rnd = random.Random(seed)
    w, h = size
    base = Image.merge("RGB", [Image.linear_gradient("L").resize(size).rotate(a, expand=False)
                               for a in (0, 90, 180)])
    noise = Image.frombytes("RGB", size, rnd.randbytes(w * h * 3))
    im = Image.blend(base, noise, 0.5)
    if mode == "RGBA":
        # Opaque, clear and half-clear areas, with clear pixels of bright colour.
        alpha = bytes(rnd.choice((0, 0, 255, 255, rnd.randrange(256))) for _ in range(w * h))
        im.putalpha(Image.frombytes("L", size, alpha))
    return im


def reference(im, size):
    """Pillow's resize: one call when both axes shrink or both grow."""
    w, h = im.size
    fw = Image.BOX if size[0] < w else Image.BILINEAR
    fh = Image.BOX if size[1] < h else Image.BILINEAR
    if fw == fh:
        return im.resize(size, fw)
    return im.resize((size[0], h), fw).resize(size, fh)


def run(fmt, im, size, order):
    if fmt.startswith("masked16"):
        data = pack16(im, fmt)
    elif fmt == "bgr24":
        data = im.tobytes("raw", "BGR")
    elif fmt == "bgra32":
        data = im.tobytes("raw", "BGRA")
    else:
        data = bytearray(im.width * im.height * 4)
        for c, band in enumerate(("B", "G", "R")):
            data[c::4] = im.getchannel(band).tobytes()
    args = [TOOL, fmt, str(im.width), str(im.height), str(size[0]), str(size[1]), order]
    out = subprocess.run(args, input=bytes(data), capture_output=True, check=True).stdout
    if fmt.startswith("masked16"):
        return None, out
    rawmode = {"bgr24": "BGR", "bgra32": "BGRA", "bgrx32": "BGRX"}[fmt]
    return Image.frombytes("RGBA" if fmt == "bgra32" else "RGB", size, out, "raw", rawmode), out


def differences(fmt, im, to, order):
    """Per channel, how far our picture lies from Pillow's; None if the sizes differ."""
    ours, raw = run(fmt, im, to, order)
    if fmt.startswith("masked16"):
        held = unpack16(pack16(im, fmt), im.size, fmt)  # what the 16-bit picture holds
        want, got = pack16(reference(held, to), fmt), raw
        return levels16(want, got, fmt) if len(want) == len(got) else None
    if fmt == "bgra32":
        want, got = reference(im.convert("RGBa"), to).tobytes(), ours.convert("RGBa").tobytes()
    else:
        want, got = reference(im, to).tobytes(), ours.tobytes()
    if fmt == "bgrx32" and any(raw[3::4]):
        print("  the fourth byte of a picture without alpha came out non-zero")
        return None
    return [abs(a - b) for a, b in zip(want, got)] if len(want) == len(got) else None


def main():
    failed = 0
    for seed, (name, fmt, size, percent, order) in enumerate(CASES):
        to = target(size, percent)
        im = picture("RGBA" if fmt == "bgra32" else "RGB", size, seed)
        diffs = differences(fmt, im, to, order)
        ok = diffs is not None and max(diffs) <= 1
        detail = (f"max difference {max(diffs)}, {sum(1 for d in diffs if d)} of {len(diffs)} channels differ"
                  if diffs is not None else "wrong size or fourth byte")
        print(f"{'ok  ' if ok else 'FAIL'} {name}: {size[0]}x{size[1]} -> {to[0]}x{to[1]} {fmt} {order}: {detail}")
        failed += not ok
    print(f"{len(CASES) - failed} of {len(CASES)} cases within 1 level of Pillow")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
