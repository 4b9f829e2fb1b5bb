#!/usr/bin/env python3
"""Assembles the release package from a build: zqbitmap-VERSION.zip in the
build folder, one folder zqbitmap-VERSION/ inside. Entries are sorted and
dated alike, so the same build gives the same bytes."""
import argparse
import hashlib
import os
import zipfile

# Packaged path: source path, relative to the checkout (or to the build, for
# what the build makes).
FROM_BUILD = {"zqbitmap.dll": "bin/zqbitmap.dll", "zqplay.exe": "bin/zqplay.exe"}
FROM_SOURCE = {
    "LICENSE": "LICENSE",
    "projects/FORMAT.md": "hostsim/player/FORMAT.md",
    "projects/demo.zqp": "hostsim/player/demo.zqp",
    "projects/slideshow.zqp": "hostsim/player/slideshow.zqp",
    "projects/pictures.zqp": "hostsim/player/pictures.zqp",
    "projects/pictures/lake.jpg": "hostsim/player/pictures/lake.jpg",
    "projects/pictures/badge.png": "hostsim/player/pictures/badge.png",
}
DATE = (2026, 1, 1, 0, 0, 0)


def main():
    a = argparse.ArgumentParser()
    a.add_argument("--root", required=True)
    a.add_argument("--build", required=True)
    a.add_argument("--version", required=True)
    a.add_argument("--settings", required=True, help="zqplay --guide's output")
    args = a.parse_args()

    files = {}
    for name, path in FROM_BUILD.items():
        files[name] = open(os.path.join(args.build, path), "rb").read()
    for name, path in FROM_SOURCE.items():
        files[name] = open(os.path.join(args.root, path), "rb").read()
    guide = open(os.path.join(args.root, "docs/authors-guide.md.in"), encoding="utf-8").read()
    settings = open(args.settings, encoding="utf-8").read().replace("\r\n", "\n")
    if "@SETTINGS@" not in guide:
        raise SystemExit("docs/authors-guide.md.in has no @SETTINGS@")
    guide = guide.replace("@VERSION@", args.version).replace("@SETTINGS@", settings.strip() + "\n")
    files["AUTHORS-GUIDE.md"] = guide.encode("utf-8")
    files["SHA256SUMS"] = "".join("%s  %s\n" % (hashlib.sha256(files[n]).hexdigest(), n)
                                  for n in sorted(files)).encode()

    top = "zqbitmap-%s" % args.version
    out = os.path.join(args.build, top + ".zip")
    with zipfile.ZipFile(out + ".tmp", "w", zipfile.ZIP_DEFLATED) as z:
        for name in sorted(files):
            info = zipfile.ZipInfo("%s/%s" % (top, name), DATE)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = (0o755 if name.endswith((".exe", ".dll")) else 0o644) << 16
            z.writestr(info, files[name])
    os.replace(out + ".tmp", out)
    print("zq: %s: %d files, %d bytes" % (out, len(files), os.path.getsize(out)))


if __name__ == "__main__":
    main()
