#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpora: for the BMP reader one tiny file per
header shape and encoding (into the folder given, or corpus/), for the path
tokens and the print layout a few ordinary cases (paths_corpus/,
print_layout_corpus/)."""
import os
import struct
import sys

out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus")
os.makedirs(out, exist_ok=True)


def bmp(name, width, height, bits, pixels, palette=b"", compression=0, header_size=40,
        masks=b"", clr_used=None, extra=b""):
    count = len(palette) // 4 if clr_used is None else clr_used
    if header_size == 12:
        info = struct.pack("<IHHHH", 12, width, height, 1, bits)
    else:
        info = struct.pack("<IiiHHIIiiII", header_size, width, height, 1, bits, compression,
                           len(pixels), 2835, 2835, count, 0)
        info += extra.ljust(header_size - 40, b"\0")[: header_size - 40]
    off = 14 + len(info) + len(masks) + len(palette)
    head = struct.pack("<2sIHHI", b"BM", off + len(pixels), 0, 0, off)
    with open(os.path.join(out, name), "wb") as f:
        f.write(head + info + masks + palette + pixels)


bw = bytes([0, 0, 0, 0, 255, 255, 255, 0])
pal16 = b"".join(bytes([i * 16, 255 - i * 16, i * 8, 0]) for i in range(16))
pal4 = b"".join(bytes([i * 60, i * 30, 255 - i * 60, 0]) for i in range(4))
bmp("pal1.bmp", 3, 2, 1, bytes([0xA0, 0, 0, 0, 0x40, 0, 0, 0]), bw)
bmp("pal4short.bmp", 3, 2, 4, bytes([0x01, 0x20, 0, 0, 0x32, 0x10, 0, 0]), pal4)
bmp("pal8topdown.bmp", 2, -2, 8, bytes([0, 1, 0, 0, 2, 3, 0, 0]), pal4)
bmp("rle8.bmp", 4, 3, 8, bytes([3, 1, 0, 0, 0, 3, 2, 3, 1, 0, 0, 2, 1, 1, 0, 1]), pal4, 1)
bmp("rle4.bmp", 5, 2, 4, bytes([5, 0x12, 0, 0, 0, 5, 0x34, 0x56, 0x70, 0, 0, 1]), pal16, 2)
bmp("rgb16bf.bmp", 2, 2, 16, bytes([0x1F, 0xF8, 0xE0, 0x07, 0xFF, 0xFF, 0, 0]), b"", 3,
    masks=struct.pack("<III", 0xF800, 0x07E0, 0x001F))
bmp("rgb16-4444.bmp", 2, 1, 16, bytes([0x00, 0xFF, 0x80, 0xF0]), b"", 3,
    masks=struct.pack("<III", 0x0F00, 0x00F0, 0x000F))
bmp("rgb24.bmp", 3, 1, 24, bytes([1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0]))
bmp("rgb32v5.bmp", 1, 2, 32, bytes([1, 2, 3, 4, 5, 6, 7, 8]), b"", 3, header_size=124,
    extra=struct.pack("<IIII", 0xFF0000, 0xFF00, 0xFF, 0xFF000000))
bmp("core8.bmp", 2, 1, 8, bytes([0, 1, 0, 0]), b"", header_size=12)
# The core header's palette is 3-byte entries up to the pixel data.
with open(os.path.join(out, "core8.bmp"), "r+b") as f:
    data = bytearray(f.read())
    core = data[:26] + bytes([0, 0, 255, 255, 0, 0]) + data[26:]
    struct.pack_into("<I", core, 2, len(core))
    struct.pack_into("<I", core, 10, 32)
    f.seek(0)
    f.write(core)


def seed(folder, name, data):
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), folder)
    os.makedirs(path, exist_ok=True)
    with open(os.path.join(path, name), "wb") as f:
        f.write(data)


# Path tokens: name, system directory, program file, NUL between them.
host = b"\0C:\\WINDOWS\\SYSTEM\0C:\\APP\\HOST.EXE"
seed("paths_corpus", "player", b"<player>/pics/a.bmp" + host)
seed("paths_corpus", "boot", b"/<BOOT>/tmp/a.bmp" + host)
seed("paths_corpus", "plain", b"d:/data/a.bmp")
seed("paths_corpus", "no-drive", b"/<boot>/a\0\\\\server\\system\0HOST.EXE")
seed("paths_corpus", "long", b"<player>/" + b"y" * 250 + b"\0C:\0C:\\" + b"p" * 240 + b"\\h.exe")
seed("paths_corpus", "program-past-buffer", b"<player>a\0\0C:\\" + b"q\\" * 150)
seed("paths_corpus", "boot-no-program", b"/<boot>/\\x/\0C:")


# Print layout: fit flag, orientation, placement, portrait and landscape page
# (dpi x, y, sheet, printable corner, printable size), screen dpi, bitmap size,
# then x and y in inches (kind, whole, fraction).
a4 = (600, 600, 5000, 7000, 50, 100, 4800, 6600)
a4turned = (600, 600, 7000, 5000, 100, 50, 6600, 4800)


def layout(name, fit, orientation, placement, width, height, x=(0, 0, 0.0), y=(0, 0, 0.0),
           portrait=a4, landscape=a4turned, screen=(96, 96)):
    data = struct.pack("<Bii8i8iiiii", fit, orientation, placement, *portrait, *landscape, *screen, width, height)
    data += struct.pack("<Bid", *x) + struct.pack("<Bid", *y)
    seed("print_layout_corpus", name, data)


layout("fit-auto-centred", 1, 0, 0, 300, 200)
layout("at-position", 0, 1, 1, 40, 30, (2, 0, 0.5), (1, 2, 0.0))
layout("landscape-corner", 0, 2, 2, 5000, 10)
big = 2**31 - 1
layout("past-int32", 1, 0, 1, big, 1, (1, big, 0.0), (2, 0, float("nan")),
       portrait=(big, 1, big, -big, -big, big, big, 1), screen=(1, big))
