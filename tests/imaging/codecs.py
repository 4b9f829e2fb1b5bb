#!/usr/bin/env python3
"""PNG, JPEG, GIF and TIFF through the plug-in's DLL, against Pillow.

1. A corpus made here by Pillow and ImageMagick (every PNG kind, JPEG
   baseline, progressive, grey, CMYK, GIF with frames and transparency, TIFF
   with each compression) is imported by the import component. Lossless files
   must give Pillow's pixels exactly, JPEG files within the decoders' measured
   difference (mean absolute difference at most 1 level, PSNR at least
   40 dB). Pictures with transparency must arrive 32-bit, others 24-bit.
2. Broken files, and formats the platform's codecs cannot read, are refused.
3. Pictures saved by the save component as PNG and JPEG read back right in
   Pillow; a name with another extension still gets a BMP file.
"""
import argparse
import io
import math
import os
import random
import struct
import subprocess
import sys

from PIL import Image, ImageFilter

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from magick import convert_tool  # noqa: E402

W, H = 61, 43  # odd sizes: rows padded at both depths


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def photo(mode="RGB", size=(W, H)):
    """Smooth gradients with edges: what JPEG is for."""
    w, h = size
    im = Image.new("RGB", size)
    im.putdata([((x * 255) // w, (y * 255) // h, 255 if (x // 8 + y // 8) % 2 else 40)
                for y in range(h) for x in range(w)])
    return im.convert(mode)


def soft_photo():
    """The gradients without hard colour edges, as photographs are: the two
    JPEG decoders upsample colour differently, and sharp colour edges at 8 px
    exaggerate that far beyond what a photograph shows."""
    return photo(size=(W * 4, H * 4)).filter(ImageFilter.GaussianBlur(6)).resize((W, H), Image.BOX)


def with_alpha(im):
    im = im.convert("RGBA")
    w, h = im.size
    im.putalpha(Image.frombytes("L", im.size, bytes(((x * 7 + y * 3) * 5) % 256 for y in range(h)
                                                    for x in range(w))))
    return im


def make_corpus(work):
    """name -> (path, kind) where kind is 'exact', 'jpeg' or 'refuse'."""
    c = {}
    P = lambda name: os.path.join(work, name)  # noqa: E731
    rgb = photo()

    def save(name, im, kind, **options):
        im.save(P(name), **options)
        c[name] = (P(name), kind)

    save("rgb.png", rgb, "exact")
    save("rgba.png", with_alpha(rgb), "exact")
    save("grey.png", rgb.convert("L"), "exact")
    save("grey-alpha.png", with_alpha(rgb).convert("LA"), "exact")
    save("palette.png", rgb.convert("P", palette=Image.ADAPTIVE, colors=200), "exact")
    trns = rgb.convert("P", palette=Image.ADAPTIVE, colors=16)
    save("palette-trns.png", trns, "exact", transparency=3)
    save("grey-trns.png", rgb.convert("L"), "exact", transparency=128)
    save("rgb-trns.png", rgb, "exact", transparency=rgb.getpixel((0, 0)))
    save("bilevel.png", rgb.convert("1"), "exact")
    magick = convert_tool()
    for name, args in (("interlaced.png", ["-interlace", "PNG"]),
                       ("rgb16.png", ["-depth", "16"]),
                       ("grey16.png", ["-colorspace", "Gray", "-depth", "16"])):
        subprocess.run([magick, P("rgb.png")] + args + ["PNG:" + P(name)], check=True)
        c[name] = (P(name), "exact")

    soft = soft_photo()
    save("baseline.jpg", soft, "jpeg", quality=90)
    save("progressive.jpg", soft, "jpeg", quality=90, progressive=True)
    save("grey.jpg", rgb.convert("L"), "jpeg", quality=90)
    save("cmyk.jpg", rgb.convert("CMYK"), "jpeg", quality=90)
    save("444.jpg", rgb, "jpeg", quality=95, subsampling=0)

    save("one.gif", rgb.convert("P", palette=Image.ADAPTIVE, colors=64), "exact")
    save("transparent.gif", trns, "exact", transparency=3)
    frames = [rgb.convert("P", palette=Image.ADAPTIVE, colors=32), rgb.rotate(180).convert("P")]
    frames[0].save(P("frames.gif"), save_all=True, append_images=frames[1:], duration=100)
    c["frames.gif"] = (P("frames.gif"), "exact")

    for compression in ("raw", "tiff_lzw", "tiff_adobe_deflate", "packbits"):
        save("%s.tif" % compression, rgb, "exact", compression=compression)
    subprocess.run([magick, P("rgb.png"), "-endian", "MSB", "TIFF:" + P("big-endian.tif")], check=True)
    c["big-endian.tif"] = (P("big-endian.tif"), "exact")
    rgb.save(P("pages.tif"), save_all=True, append_images=[rgb.rotate(180)], compression="tiff_lzw")
    c["pages.tif"] = (P("pages.tif"), "exact")
    # The BMP reader's caps hold for every format: a side over 32768 px, or
    # more than 256 MB of pixel memory (16000 x 6000 at 24 bits is 288 MB).
    Image.new("1", (33000, 2), 1).save(P("too-wide.png"))
    Image.new("1", (16000, 6000), 1).save(P("too-large.png"))
    c["too-wide.png"] = (P("too-wide.png"), "refuse")
    c["too-large.png"] = (P("too-large.png"), "refuse")
    # The platform's TIFF codec has no JPEG inside.
    save("jpeg.tif", rgb, "refuse", compression="jpeg")

    # Broken files, and signatures on files that are something else.
    png = open(P("rgb.png"), "rb").read()
    jpg = open(P("baseline.jpg"), "rb").read()
    rng = random.Random(17)
    broken = {
        "truncated.png": png[:len(png) // 2],
        "corrupt.png": png[:60] + bytes(rng.randrange(256) for _ in range(200)) + png[260:],
        "signature-only.png": png[:8],
        "random-after-signature.png": png[:8] + bytes(rng.randrange(256) for _ in range(3000)),
        "truncated.jpg": jpg[:len(jpg) // 3],
        "signature-only.gif": b"GIF89a",
        "signature-only.tif": b"II*\0",
    }
    # Wine's JPEG decoder takes garbage inside the entropy-coded data as
    # pixels and succeeds; Pillow raises. Reported, not judged.
    middle = len(jpg) // 2
    with open(P("garbage-middle.jpg"), "wb") as f:
        f.write(jpg[:middle] + bytes(rng.randrange(256) for _ in range(400)) + jpg[middle + 400:])
    c["garbage-middle.jpg"] = (P("garbage-middle.jpg"), "report")
    for name, data in broken.items():
        with open(P(name), "wb") as f:
            f.write(data)
        c[name] = (P(name), "refuse")
    # The first bytes choose the reader, not the name.
    rgb.save(P("png-named.bmp"), format="PNG")
    c["png-named.bmp"] = (P("png-named.bmp"), "exact")
    rgb.save(P("bmp-named.png"), format="BMP")
    c["bmp-named.png"] = (P("bmp-named.png"), "exact")
    return c


def pillow(path):
    """(size, RGBA bytes, has transparency) of Pillow's first frame, or None."""
    try:
        with Image.open(path) as im:
            im.load()
            clear = im.mode in ("RGBA", "LA", "PA") or "transparency" in im.info
            if im.mode in ("I", "I;16", "I;16B"):
                # Pillow 9.4 clips 16-bit grey to 255 on conversion; eight
                # bits are v >> 8, as it does for 16-bit colour.
                grey = bytes(v >> 8 for v in im.getdata())
                return im.size, b"".join(bytes((g, g, g, 255)) for g in grey), clear
            return im.size, im.convert("RGBA").tobytes(), clear
    except Exception:
        return None


def ours(args, picturedump, dll, work, paths):
    """path -> (size, RGBA bytes, bits) or None when refused, in one run."""
    argv, raws = [], {}
    for i, p in enumerate(paths):
        raws[p] = os.path.join(work, "ours%d.raw" % i)
        if os.path.exists(raws[p]):
            os.remove(raws[p])
        argv += [windows_path(p), windows_path(raws[p])]
    run = subprocess.run([args.runner, picturedump, windows_path(dll)] + argv, capture_output=True,
                         text=True, timeout=500)
    if run.returncode != 0:
        raise SystemExit("picturedump failed (%d): %s%s" % (run.returncode, run.stdout, run.stderr))
    states = {}
    for line in run.stdout.splitlines():
        parts = line.split()
        states[parts[0]] = parts[1:]
    out = {}
    for p in paths:
        state = states.get(windows_path(p))
        if state is None:
            raise SystemExit("picturedump said nothing about " + p)
        if state[0] != "loaded":
            out[p] = None
            continue
        data = open(raws[p], "rb").read()
        w, h = struct.unpack_from("<ii", data)
        out[p] = ((w, h), data[8:], int(state[1]))
    return out


def differences(mine, theirs):
    """Mean absolute difference and PSNR over R, G, B; alpha must match exactly,
    and colour under a fully transparent pixel means nothing."""
    total = squares = n = alpha_wrong = 0
    for i in range(0, len(mine), 4):
        if mine[i + 3] != theirs[i + 3]:
            alpha_wrong += 1
        if theirs[i + 3] == 0:
            continue
        for k in range(3):
            d = mine[i + k] - theirs[i + k]
            total += abs(d)
            squares += d * d
            n += 1
    mad = total / max(n, 1)
    psnr = math.inf if squares == 0 else 10 * math.log10(255 * 255 * n / squares)
    return mad, psnr, alpha_wrong


def check_corpus(args, corpus):
    results = ours(args, args.picturedump, args.dll, args.work, [p for p, _ in corpus.values()])
    failures = []
    counts = {"exact": 0, "jpeg": 0, "refused": 0}
    for name, (path, kind) in sorted(corpus.items()):
        mine, ref = results[path], pillow(path)
        if kind == "report":
            print("report   %-28s ours: %s, Pillow: %s" % (name, "refused" if mine is None else "loaded",
                                                          "refuses" if ref is None else "reads it"))
            continue
        if kind == "refuse":
            if mine is not None:
                failures.append("%s: loaded, should be refused" % name)
            else:
                counts["refused"] += 1
                print("refused  %-28s Pillow: %s" % (name, "refuses" if ref is None else "reads it"))
            continue
        if mine is None:
            failures.append("%s: refused" % name)
            continue
        if ref is None:
            failures.append("%s: Pillow refuses the reference" % name)
            continue
        size, pixels, bits = mine
        if size != ref[0]:
            failures.append("%s: size %s, Pillow %s" % (name, size, ref[0]))
            continue
        want_bits = 32 if ref[2] else 24
        mad, psnr, alpha_wrong = differences(pixels, ref[1])
        line = "%-8s %-28s %d-bit  mean |d| %.3f  PSNR %s" % (
            kind, name, bits, mad, "exact" if psnr == math.inf else "%.1f dB" % psnr)
        print(line)
        if bits != want_bits:
            failures.append("%s: %d-bit, expected %d-bit" % (name, bits, want_bits))
        if alpha_wrong:
            failures.append("%s: alpha differs at %d pixels" % (name, alpha_wrong))
        if kind == "exact" and mad != 0:
            failures.append("%s: %s" % (name, line.strip()))
        if kind == "jpeg" and (mad > 1 or psnr < 40):
            failures.append("%s: %s" % (name, line.strip()))
        counts[kind] += 1
    print("decoded exactly: %d, JPEG within bounds: %d, refused as expected: %d"
          % (counts["exact"], counts["jpeg"], counts["refused"]))
    return failures


def check_saves(args, work):
    """Pictures saved as PNG, JPEG and BMP by the save component, read back by Pillow."""
    P = lambda name: os.path.join(work, name)  # noqa: E731
    rgb = photo()
    sources = {
        "rgb.bmp": rgb,
        "soft.bmp": soft_photo(),
        "rgba.bmp": with_alpha(rgb),
        "palette.bmp": rgb.convert("P", palette=Image.ADAPTIVE, colors=100),
        "opaque32.bmp": None,  # 32-bit with all fourth bytes zero: made below
    }
    for name, im in sources.items():
        if im is not None:
            im.save(P(name))
    # Pillow writes RGBA BMP files with alpha; a plain 32-bit BMP stores zeros.
    rows = b"".join(bytes((b, g, r, 0)) for r, g, b in rgb.transpose(Image.FLIP_TOP_BOTTOM).getdata())
    header = struct.pack("<2sIHHI", b"BM", 54 + len(rows), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 32, 0, len(rows), 0, 0, 0, 0)
    with open(P("opaque32.bmp"), "wb") as f:
        f.write(header + info + rows)

    # 1- and 4-bit pictures: Pillow writes 1-bit BMP files; the 4-bit one is
    # made here, 16 colours with two pixels a byte.
    bilevel = rgb.convert("1")
    bilevel.save(P("bilevel.bmp"))
    colours = [((i * 53) % 256, (i * 97) % 256, (i * 31) % 256) for i in range(16)]
    stride = ((W + 1) // 2 + 3) & ~3
    nibbles = [(x * 16 // W + y) % 16 for y in range(H) for x in range(W)]
    rows = b""
    for y in reversed(range(H)):
        row = bytearray(stride)
        for x in range(W):
            row[x // 2] |= nibbles[y * W + x] << (0 if x % 2 else 4)
        rows += bytes(row)
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b in colours)
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + 64 + len(rows), 0, 0, 14 + 40 + 64)
    info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 4, 0, len(rows), 0, 0, 16, 0)
    with open(P("nibbles.bmp"), "wb") as f:
        f.write(header + info + palette + rows)
    nibble_ref = Image.new("RGB", (W, H))
    nibble_ref.putdata([colours[n] for n in nibbles])

    cases = [  # source, saved name, Pillow mode expected, reference, exact
        ("bilevel.bmp", "bilevel-out.png", "P", bilevel.convert("RGB"), True),
        ("nibbles.bmp", "nibbles-out.png", "P", nibble_ref, True),
        ("rgb.bmp", "rgb-out.png", "RGB", rgb, True),
        ("rgba.bmp", "rgba-out.PNG", "RGBA", with_alpha(rgb), True),
        ("palette.bmp", "palette-out.png", "P", sources["palette.bmp"].convert("RGB"), True),
        ("opaque32.bmp", "opaque32-out.png", "RGB", rgb, True),
        ("soft.bmp", "soft-out.jpg", "RGB", sources["soft.bmp"], False),
        ("soft.bmp", "soft-out.JPEG", "RGB", sources["soft.bmp"], False),
        ("rgb.bmp", "rgb-out.bmp.txt", "RGB", rgb, True),
    ]
    argv = []
    for source, saved, *_ in cases:
        if os.path.exists(P(saved)):
            os.remove(P(saved))
        argv += [windows_path(P(source)), windows_path(P(saved))]
    run = subprocess.run([args.runner, args.picturedump, windows_path(args.dll), "--save"] + argv,
                         capture_output=True, text=True, timeout=500)
    if run.returncode != 0:
        raise SystemExit("picturedump --save failed (%d): %s%s" % (run.returncode, run.stdout, run.stderr))
    failures = []
    for source, saved, mode, ref, exact in cases:
        try:
            with Image.open(P(saved)) as im:
                im.load()
                got_format, got_mode = im.format, im.mode
                pixels = im.convert("RGBA").tobytes()
        except Exception as e:
            failures.append("%s: Pillow cannot read it: %s" % (saved, e))
            continue
        want_format = {"png": "PNG", "jpg": "JPEG", "jpeg": "JPEG"}.get(saved.rsplit(".", 1)[1].lower(), "BMP")
        mad, psnr, alpha_wrong = differences(pixels, ref.convert("RGBA").tobytes())
        print("saved    %-20s %s %s  mean |d| %.3f  PSNR %s" % (
            saved, got_format, got_mode, mad, "exact" if psnr == math.inf else "%.1f dB" % psnr))
        if got_format != want_format or got_mode != mode:
            failures.append("%s: %s %s, expected %s %s" % (saved, got_format, got_mode, want_format, mode))
        if alpha_wrong or (mad != 0 if exact else (mad > 2 or psnr < 35)):
            failures.append("%s: pixels differ (mean %.3f, PSNR %.1f, alpha %d)" % (saved, mad, psnr, alpha_wrong))
    return failures


def main():
    a = argparse.ArgumentParser()
    a.add_argument("--runner", required=True)
    a.add_argument("--picturedump", required=True)
    a.add_argument("--dll", required=True)
    a.add_argument("--work", required=True)
    args = a.parse_args()
    os.makedirs(args.work, exist_ok=True)
    failures = check_corpus(args, make_corpus(args.work)) + check_saves(args, args.work)
    for f in failures:
        print("FAIL " + f)
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
