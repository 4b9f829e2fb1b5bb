#!/usr/bin/env python3
"""Makes the bundled pictures of pictures.zqp, as an author's camera and
drawing program would: a JPEG photograph and a PNG with transparency. Run
once; the files are kept beside this script."""
import math
import os
import random

from PIL import Image, ImageDraw, ImageFilter

here = os.path.dirname(os.path.abspath(__file__))

# A landscape: sky, sun, hills, a lake, some grain.
w, h = 120, 90
im = Image.new("RGB", (w, h))
px = im.load()
rng = random.Random(7)
for y in range(h):
    for x in range(w):
        if y < 50:  # sky, lighter towards the horizon
            t = y / 50
            c = (int(70 + 120 * t), int(120 + 90 * t), int(220 - 30 * t))
        else:       # the lake
            t = (y - 50) / 40
            c = (int(40 + 30 * t), int(90 + 20 * t), int(150 - 40 * t))
        g = rng.randint(-6, 6)
        px[x, y] = tuple(max(0, min(255, v + g)) for v in c)
d = ImageDraw.Draw(im)
d.ellipse((78, 10, 102, 34), fill=(255, 220, 120))
d.polygon([(0, 55), (25, 30), (50, 50), (75, 28), (120, 55), (120, 60), (0, 60)], fill=(50, 110, 60))
im = im.filter(ImageFilter.GaussianBlur(0.8))
im.save(os.path.join(here, "lake.jpg"), quality=90)

# A badge: a red disc with a soft edge, a see-through ring and a hole.
s = 64
big = Image.new("RGBA", (s * 4, s * 4), (0, 0, 0, 0))
d = ImageDraw.Draw(big)
d.ellipse((8, 8, s * 4 - 8, s * 4 - 8), fill=(220, 40, 40, 255))
d.ellipse((40, 40, s * 4 - 40, s * 4 - 40), fill=(255, 230, 80, 140))
d.ellipse((88, 88, s * 4 - 88, s * 4 - 88), fill=(0, 0, 0, 0))
badge = big.resize((s, s), Image.LANCZOS)
badge.save(os.path.join(here, "badge.png"))
