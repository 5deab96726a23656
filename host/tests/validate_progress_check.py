#!/usr/bin/env python3
"""plughost validate on a terminal shows which check of a library is under
way, on one line rewritten in place, and erases it before the results; to
a pipe it writes the result lines only.

    validate_progress_check.py PLUGHOST

Runs validate_probe_hang (which hangs in one check) with a time limit of
3 s, so that the line is up for seconds: on a pseudo-terminal, then into a
pipe.
"""
import os
import pty
import re
import select
import subprocess
import sys
import time

DEADLINE = 120  # seconds for one run, time limit and child start included


def run_on_terminal(args):
    leader, follower = pty.openpty()
    child = subprocess.Popen(args, stdin=follower, stdout=follower, stderr=follower)
    os.close(follower)
    output = b""
    end = time.monotonic() + DEADLINE
    while time.monotonic() < end:
        ready, _, _ = select.select([leader], [], [], 1.0)
        if not ready:
            if child.poll() is not None:
                break
            continue
        try:
            more = os.read(leader, 4096)
        except OSError:  # the terminal closed with the child
            break
        if not more:
            break
        output += more
    else:
        child.kill()
        child.wait()
        sys.exit(f"FAIL: validate on a terminal did not end within {DEADLINE} s")
    os.close(leader)
    child.wait()
    return output.decode("utf-8", "replace").replace("\r\n", "\n")


def main():
    args = [sys.argv[1], "validate", "validate_probe_hang", "--strictness", "1", "--seed", "1",
            "--timeout", "3"]
    failures = []
    shown = run_on_terminal(args)
    if "\r  validate_probe_hang: check " not in shown:
        failures.append("no progress line on the terminal")
    # The line names the check under way, counted against the plan.
    lines = [piece for piece in shown.split("\r") if piece.startswith("  validate_probe_hang: ")]
    if not any(" of " in l and ", " in l for l in lines):
        failures.append(f"progress line without 'check N of M, NAME': {lines[:3]!r}")
    # Erased before the results: the result lines start at the left edge.
    if not re.search(r"\r +\rvalidate_probe_hang \(", shown):
        failures.append("the progress line was not erased before the result lines")
    try:
        piped = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                               timeout=DEADLINE).stdout.decode("utf-8", "replace")
    except subprocess.TimeoutExpired:
        sys.exit(f"FAIL: validate into a pipe did not end within {DEADLINE} s")
    if "\r" in piped:
        failures.append("a progress line in output to a pipe")
    if "  FAIL  " not in piped:
        failures.append("no result lines in output to a pipe")
    for f in failures:
        print("FAIL:", f)
    if failures:
        print("--- on the terminal:\n" + shown.replace("\r", "\\r") + "\n--- into a pipe:\n" + piped)
        return 1
    print("ok: progress on the terminal, result lines only into a pipe")
    return 0


if __name__ == "__main__":
    sys.exit(main())
