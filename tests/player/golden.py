#!/usr/bin/env python3
"""Plays a demo project and compares its log and the pixels of its snapshots
with the expected outputs kept in the repository. Every snapshot must open in
Pillow and in ImageMagick with the expected pixels.

ZQ_UPDATE_GOLDEN=1 rewrites the expected outputs instead (the player's
--record into the expected folder); commit them with the change that made them.
"""
import argparse
import difflib
import glob
import os
import shutil
import subprocess
import sys

from PIL import Image

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from magick import convert_tool, read_ppm  # noqa: E402


def pillow_pixels(path):
    with Image.open(path) as im:
        return im.size, im.convert("RGB").tobytes()


def magick_pixels(paths):
    """Each file's (size, RGB bytes) as ImageMagick decodes it: one process,
    the pictures as consecutive binary PPMs."""
    run = subprocess.run([convert_tool()] + paths + ["-depth", "8", "ppm:-"], capture_output=True)
    if run.returncode != 0:
        raise AssertionError("ImageMagick could not read the snapshots: " + run.stderr.decode(errors="replace"))
    data, at, out = run.stdout, 0, []
    for _ in paths:
        size, pixels, at = read_ppm(data, at)
        out.append((size, pixels))
    return out


def compare_pixels(name, got, want):
    (gw, gh), gp = got
    (ww, wh), wp = want
    if (gw, gh) != (ww, wh):
        return f"{name}: {gw}x{gh}, expected {ww}x{wh}"
    differ = [i // 3 for i in range(0, len(wp), 3) if gp[i:i + 3] != wp[i:i + 3]]
    if differ:
        x, y = differ[0] % ww, differ[0] // ww
        first = tuple(gp[differ[0] * 3:differ[0] * 3 + 3])
        expected = tuple(wp[differ[0] * 3:differ[0] * 3 + 3])
        return f"{name}: {len(differ)} pixels differ, the first at ({x}, {y}): {first}, expected {expected}"
    return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runner", required=True)
    parser.add_argument("--player", required=True)
    parser.add_argument("--dll", required=True)
    parser.add_argument("--project", required=True)
    parser.add_argument("--expected", required=True)
    parser.add_argument("--work", required=True)
    args = parser.parse_args()
    update = os.environ.get("ZQ_UPDATE_GOLDEN") == "1"

    run_dir = os.path.join(args.work, "run")
    record = args.expected if update else os.path.join(args.work, "record")
    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(run_dir)
    run = subprocess.run([args.runner, args.player, "--record", record, args.dll, args.project], cwd=run_dir,
                         capture_output=True, text=True, timeout=1200)
    output = run.stdout + run.stderr
    if run.returncode != 0:
        sys.exit(f"the player ended with {run.returncode}:\n{output}")
    if update:
        print(f"rewrote {args.expected}:\n" + "\n".join(sorted(os.listdir(args.expected))))
        return

    problems = []
    if not os.path.exists(os.path.join(args.expected, "log.txt")):
        sys.exit(f"no expected outputs in {args.expected}: ZQ_UPDATE_GOLDEN=1 writes them")
    with open(os.path.join(args.expected, "log.txt")) as f:
        want_log = f.read().splitlines()
    with open(os.path.join(record, "log.txt")) as f:
        got_log = f.read().splitlines()
    if got_log != want_log:
        diff = difflib.unified_diff(want_log, got_log, "expected log.txt", "this run's log", lineterm="")
        problems.append("the log differs:\n" + "\n".join(diff))
        if any("no default printer" in line or "the default printer is" in line for line in got_log):
            problems.append("the PDF printer ZQPDF is not the default printer here (scripts/printer.sh start)")

    want = sorted(os.path.basename(p) for p in glob.glob(os.path.join(args.expected, "*.bmp")))
    got = sorted(os.path.basename(p) for p in glob.glob(os.path.join(record, "*.bmp")))
    if got != want:
        problems.append(f"snapshots {got}, expected {want}")
    shared = [n for n in want if n in got]
    paths = [os.path.join(record, n) for n in shared]
    try:
        magick = magick_pixels(paths) if paths else []
    except AssertionError as e:
        magick = []
        problems.append(str(e))
    for i, name in enumerate(shared):
        try:
            pillow = pillow_pixels(paths[i])
        except Exception as e:  # Pillow refuses the file: report it with the rest
            problems.append(f"{name}: Pillow cannot open it: {e}")
            continue
        expected = pillow_pixels(os.path.join(args.expected, name))
        for tool, pixels in (("Pillow", pillow), ("ImageMagick", magick[i] if magick else None)):
            if pixels is None:
                continue
            problem = compare_pixels(name, pixels, expected)
            if problem:
                problems.append(f"{tool}: {problem}")

    if problems:
        print("\n".join(problems))
        print(f"\nthe player's output:\n{output}")
        print("If the change is intended: ZQ_UPDATE_GOLDEN=1 rewrites the expected outputs.")
        sys.exit(1)
    print(f"log ({len(got_log)} lines) and {len(shared)} snapshots as expected, in Pillow and ImageMagick")


if __name__ == "__main__":
    main()
