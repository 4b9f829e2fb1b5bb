#!/usr/bin/env python3
"""Prints pictures through zqPrintBitmap on the real PDF printer and checks
each page: the picture is there, upright, at the place and size that the page
layout computes for that printer's measurements."""
import argparse
import glob
import os
import subprocess
import sys
import time

from PIL import Image

TOLERANCE_PX = 4  # device pixels at the printer's resolution
COLOURS = {"red": (255, 0, 0), "green": (0, 160, 0), "blue": (0, 0, 255), "black": (0, 0, 0)}

# name, width, height, fit, orientation, placement, x in, y in, dialog
CASES = [
    ("unscaled, centred, portrait", 300, 200, 0, 0, 0, 0, 0, "none"),
    ("fitted, wide turns landscape, printable corner", 300, 200, 1, 0, 2, 0, 0, "none"),
    ("fitted, tall, at 1.5 in and 2 in", 200, 300, 1, 0, 1, 1.5, 2.0, "none"),
    ("landscape asked, centred", 400, 300, 0, 2, 0, 0, 0, "none"),
    ("portrait asked, at 0.5 in and 0.25 in", 160, 120, 0, 7, 1, 0.5, 0.25, "none"),
    ("dialog cancelled", 300, 200, 0, 0, 0, 0, 0, "cancel"),
    ("dialog confirmed", 300, 200, 0, 0, 2, 0, 0, "ok"),
]


def run_driver(args, case):
    _, w, h, fit, orientation, placement, x, y, dialog = case
    cmd = [args.runner, args.driver] + [str(v) for v in (w, h, fit, orientation, placement, x, y, dialog)]
    out = subprocess.run(cmd, capture_output=True, text=True, timeout=300)
    line = out.stdout.strip().splitlines()[-1] if out.stdout.strip() else ""
    if out.returncode != 0 or not line.startswith("result="):
        raise AssertionError(f"driver failed ({out.returncode}): {out.stdout}{out.stderr}")
    fields = dict(part.split("=", 1) for part in line.split())
    nums = lambda key: [int(v) for v in fields[key].split(",")]
    return {"result": int(fields["result"]), "landscape": fields["landscape"] == "1", "sheet": nums("sheet"),
            "dpi": nums("dpi"), "box": nums("box"), "dialog": fields["dialog"]}


def wait_for_pdf(pdf_dir, seconds):
    """The one finished PDF in the folder, or None after `seconds`."""
    until = time.time() + seconds
    while time.time() < until:
        done = []
        for path in glob.glob(os.path.join(pdf_dir, "*.pdf")):
            with open(path, "rb") as f:
                if f.read().rstrip().endswith(b"%%EOF"):
                    done.append(path)
        if done:
            return done
        time.sleep(0.5)
    return None


def check_page(png_path, expect):
    page = Image.open(png_path).convert("RGB")
    width, height = page.size
    problems = []
    if (width > height) != expect["landscape"]:
        problems.append(f"page is {width}x{height}, expected {'landscape' if expect['landscape'] else 'portrait'}")
    sheet_w, sheet_h = expect["sheet"]
    if abs(width - sheet_w) > TOLERANCE_PX or abs(height - sheet_h) > TOLERANCE_PX:
        problems.append(f"page is {width}x{height}, the printer's sheet {sheet_w}x{sheet_h}")
    # The picture: every pixel that is not paper.
    mask = page.point(lambda v: 255 if v < 200 else 0).convert("L").point(lambda v: 255 if v else 0)
    found = mask.getbbox()
    x, y, w, h = expect["box"]
    want = (max(x, 0), max(y, 0), min(x + w, width), min(y + h, height))
    if not found:
        return problems + ["nothing printed on the page"]
    if any(abs(a - b) > TOLERANCE_PX for a, b in zip(found, want)):
        problems.append(f"picture at {found} (left, top, right, bottom), layout says {want}")
    # Each quadrant's centre has its colour: not turned, not mirrored.
    for name, (fx, fy) in (("red", (0.25, 0.25)), ("green", (0.75, 0.25)), ("blue", (0.25, 0.75)),
                           ("black", (0.75, 0.75))):
        px = page.getpixel((int(x + w * fx), int(y + h * fy)))
        if any(abs(a - b) > 60 for a, b in zip(px, COLOURS[name])):
            problems.append(f"{name} quadrant shows {px}")
    return problems


def job_count():
    out = subprocess.run(["lpstat", "-W", "all", "-o"], capture_output=True, text=True)
    return len(out.stdout.splitlines())


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runner", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--work", required=True)
    args = parser.parse_args()
    pdf_dir = os.environ.get("ZQ_PDF_DIR", "/var/tmp/zq-pdf")
    if not glob.glob("/etc/cups/ppd/ZQPDF.ppd") and subprocess.run(
            ["lpstat", "-v", "ZQPDF"], capture_output=True).returncode != 0:
        sys.exit("the PDF printer ZQPDF is not set up (scripts/printer.sh start)")
    os.makedirs(args.work, exist_ok=True)
    failures = 0
    for case in CASES:
        name, dialog = case[0], case[-1]
        for old in glob.glob(os.path.join(pdf_dir, "*.pdf")):
            os.remove(old)
        jobs = job_count()
        try:
            expect = run_driver(args, case)
            problems = []
            if expect["result"] != 0:
                problems.append(f"slot result {expect['result']}")
            if dialog != "none" and expect["dialog"] != "answered":
                problems.append("the print dialog was never seen")
            if dialog == "cancel":
                if job_count() != jobs or wait_for_pdf(pdf_dir, 5):
                    problems.append("a job was printed after Cancel")
            else:
                pdfs = wait_for_pdf(pdf_dir, 180)
                if not pdfs or len(pdfs) != 1:
                    problems.append(f"expected one PDF in {pdf_dir}, found {pdfs}")
                else:
                    base = os.path.join(args.work, name.replace(" ", "_").replace(",", ""))
                    subprocess.run(["pdftoppm", "-r", str(expect["dpi"][0]), "-png", "-singlefile", pdfs[0], base],
                                   check=True)
                    problems += check_page(base + ".png", expect)
        except (AssertionError, subprocess.SubprocessError) as e:
            problems = [str(e)]
        if problems:
            failures += 1
            print(f"FAIL {name}: " + "; ".join(problems))
        else:
            print(f"ok   {name}")
    print(f"{len(CASES) - failures} of {len(CASES)} print cases passed")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
