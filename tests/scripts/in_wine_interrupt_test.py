#!/usr/bin/env python3
"""A Windows-side run (scripts/in-wine.sh) that is interrupted, or whose
command fails, leaves the machine as it found it: no Xvfb, no cupsd it
started, the printer queue gone, the default destination and cups-pdf's
configuration as they were, its command stopped. Run outside any other
Windows-side run: it takes the same machine-wide lock."""
import hashlib
import os
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
IN_WINE = os.path.join(ROOT, "scripts", "in-wine.sh")


def run(*argv):
    return subprocess.run(argv, capture_output=True, text=True).stdout


def pids(name):
    return set(run("pgrep", "-x", name).split())


def machine():
    conf = "/etc/cups/cups-pdf.conf"
    return {
        "cupsd": pids("cupsd"),
        "Xvfb": pids("Xvfb"),
        "default destination": run("lpstat", "-d").strip(),
        "ZQPDF queue": "ZQPDF" in run("lpstat", "-p"),
        "cups-pdf.conf": hashlib.sha256(open(conf, "rb").read()).hexdigest() if os.path.exists(conf) else None,
    }


def wait_for(what, seconds=60):
    end = time.time() + seconds
    while time.time() < end:
        if what():
            return True
        time.sleep(0.1)
    return False


def main():
    failures = []
    before = machine()
    # A marker in the command line tells our command's process apart.
    marker = "zq-interrupt-test"
    cases = [("SIGTERM", signal.SIGTERM), ("SIGINT", signal.SIGINT), ("SIGHUP", signal.SIGHUP), ("exit 3", None)]
    for name, sig in cases:
        command = ["bash", "-c", "exec -a %s sleep 600" % marker] if sig else ["sh", "-c", "sleep 2; exit 3"]
        p = subprocess.Popen(["bash", IN_WINE] + command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        up = wait_for(lambda: pids("Xvfb") - before["Xvfb"] and "ZQPDF" in run("lpstat", "-p"))
        if not up:
            failures.append("%s: the run never came up: %s" % (name, p.stderr.read1(4000) if p.poll() else ""))
            p.kill()
            continue
        if sig:
            if not wait_for(lambda: run("pgrep", "-f", marker).strip()):
                failures.append("%s: the command never started" % name)
            os.kill(p.pid, sig)  # the script alone, not its group: the hardest case
        try:
            status = p.wait(timeout=60)
        except subprocess.TimeoutExpired:
            failures.append("%s: the run did not end within 60 s" % name)
            p.kill()
            continue
        if not sig and status != 3:
            failures.append("%s: status %d, the command's was 3" % (name, status))
        if sig and status == 0:
            failures.append("%s: an interrupted run reported success" % name)
        if run("pgrep", "-f", marker).strip():
            failures.append("%s: the command still runs" % name)
            subprocess.run(["pkill", "-f", marker])
        after = machine()
        for key in before:
            if after[key] != before[key]:
                failures.append("%s: %s was %r, now %r" % (name, key, before[key], after[key]))
        print("%-8s status %d, machine as before: %s" % (name, status, after == before))
    for f in failures:
        print("FAIL " + f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
