#!/usr/bin/env python3
"""The player's refusals and failures, each with its own clear message:

- every project in malformed/ is refused at the line, and with the message,
  that its first line states ("# expect line N: TEXT"), by one --check run;
- playing one of them stops before the DLL is loaded or any line runs;
- a missing DLL, a DLL without the entry points and a missing project;
- failures.zqp: a skipped step, a failed expectation and a step that cannot
  be done are reported, counted, and end the run with status 1.
"""
import argparse
import glob
import os
import re
import shutil
import subprocess
import sys

CANNOT_START, FAILED = 2, 1


def play(args, *arguments):
    run = subprocess.run([args.runner, args.player, *arguments], cwd=args.work, capture_output=True, text=True,
                         timeout=600)
    return run.returncode, run.stdout + run.stderr


def expect(problems, name, rc, output, status, *texts, absent=()):
    found = [t for t in texts if t not in output]
    present = [t for t in absent if t in output]
    if rc != status or found or present:
        problems.append(f"{name}: status {rc} (expected {status}); missing {found}; unwanted {present}\n{output}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runner", required=True)
    parser.add_argument("--player", required=True)
    parser.add_argument("--dll", required=True)
    parser.add_argument("--cases", required=True)
    parser.add_argument("--work", required=True)
    args = parser.parse_args()
    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    problems = []

    cases = sorted(glob.glob(os.path.join(args.cases, "malformed", "*.zqp")))
    rc, output = play(args, "--check", *cases)
    if rc != FAILED:
        problems.append(f"--check of malformed projects ended with {rc}")
    for case in cases:
        with open(case) as f:
            header = re.match(r"# expect line (\d+): (.*)", f.readline())
        if not header:
            problems.append(f"{case}: no '# expect line N: TEXT' header")
            continue
        want = f"{case}:{header.group(1)}: error: {header.group(2)}"
        lines = [line for line in output.splitlines() if line.startswith(case + ":")]
        if len(lines) != 1 or not lines[0].startswith(want):
            problems.append(f"{os.path.basename(case)}: expected '{want}...', got {lines}")
    print(f"{len(cases)} malformed projects checked")

    broken = os.path.join(args.cases, "malformed", "picture_size.zqp")
    rc, output = play(args, args.dll, broken)
    expect(problems, "playing a malformed project", rc, output, CANNOT_START,
           f"{broken}:4: error: expected a width from 1 to 4096", absent=("zqImportBitmap", "[1]"))
    if os.path.exists(os.path.join(args.work, "out")):
        problems.append("playing a malformed project ran its lines before the broken one")

    rc, output = play(args, "no-such-plugin.dll")
    expect(problems, "a missing DLL", rc, output, CANNOT_START,
           "zqplay: cannot load the plug-in no-such-plugin.dll: there is no such file")
    rc, output = play(args, "kernel32.dll")
    expect(problems, "a DLL without the entry points", rc, output, CANNOT_START,
           "zqplay: kernel32.dll is not the plug-in: it exports none of the eight entry points (zqImportBitmap,")
    rc, output = play(args, args.dll, "no-such-project.zqp")
    expect(problems, "a missing project", rc, output, CANNOT_START,
           "no-such-project.zqp: error: cannot read the project", absent=("zqImportBitmap",))

    failures = os.path.join(args.cases, "failures.zqp")
    rc, output = play(args, args.dll, failures)
    expect(problems, "failures.zqp", rc, output, FAILED,
           "[1] line 4  skipped, ", ": send 901\n", "[ok] line 5  expect picture width 0\n",
           "[FAILED] line 6  expect picture width 10: got integer 0\n",
           f"{failures}:7: error: picture holds no bitmap to show\n",
           "summary: 1 step (1 skipped), 1 expectation passed, 1 failed, 0 files written\n",
           "stopped at line 7: the rest did not run", absent=("not reached",))

    if problems:
        print("\n\n".join(problems))
        sys.exit(1)
    print("every refusal and failure as expected")


if __name__ == "__main__":
    main()
