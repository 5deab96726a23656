#!/usr/bin/env python3
"""Runs every command the README shows, from the top of the tree, against
one build, and compares what it prints with the output shown beneath it.

    readme_commands_test.py README BIN_DIR

A command is a line of a code block (indented by four spaces, or fenced)
that starts with "$ "; the lines after it in the block, up to the next
command, are its output. "build/linux-release/bin/" in a command stands for
BIN_DIR. An HTML comment just before a block, "<!-- readme-test: ... -->",
applies to its commands:
    exits N       the command's exit status is N (else 0)
    needs PATH    run only when PATH (from the top of the tree) exists
    not run: WHY  never run (it needs what a test machine lacks)
Commands not run are listed by name at the end. Output compares line by
line, in order: a line "..." stands for any number of lines, a line ending
in " ..." for any line that starts with what comes before it; durations
("0.3 s)") and build folders ("build/NAME/bin/", absolute or not) may
differ. A command must not create or change files in the tree outside
build/ (it would leave them in a clone); files it made there are removed.
"""
import os
import re
import subprocess
import sys

README_BIN = "build/linux-release/bin/"
TIMEOUT = 600  # seconds for one command (validate runs child processes)


def blocks(text):
    """(marks, lines) of every code block, marks from the comment before it."""
    result = []
    lines = text.split("\n")
    marks, block, fenced, last_comment = [], None, False, []
    previous_blank = True
    for line in lines:
        if fenced:
            if line.startswith("```"):
                result.append((last_comment, block))
                fenced, block, last_comment = False, None, []
            else:
                block.append(line)
            continue
        if line.startswith("```"):
            fenced, block = True, []
            continue
        comment = re.match(r"\s*<!--\s*readme-test:\s*(.*?)\s*-->\s*$", line)
        if comment:
            last_comment = [comment.group(1)]
            continue
        if line.startswith("    ") and (block is not None or previous_blank):
            if block is None:
                block = []
            block.append(line[4:])
        elif line.strip() == "" and block is not None:
            block.append("")
        else:
            if block is not None:
                result.append((last_comment, block))
                last_comment = []
            elif line.strip():
                last_comment = []
            block = None
        previous_blank = line.strip() == ""
    if block is not None:
        result.append((last_comment, block))
    return result


def commands(text):
    """(command, expected output lines, marks) for every "$ " line."""
    found = []
    for marks, block in blocks(text):
        current = None
        for line in block:
            if line.startswith("$ "):
                current = (line[2:].strip(), [], marks)
                found.append(current)
            elif current is not None:
                current[1].append(line)
        for _, out, _ in found:
            while out and out[-1] == "":
                out.pop()
    return found


def normal(line):
    line = re.sub(r"\S*build/[^/\s]+/bin/", "BIN/", line)
    line = re.sub(r"\b\d+(\.\d+)? s\)", "N s)", line)
    return line.rstrip()


def matches(expected, actual):
    """Whether the actual lines hold the expected ones in order; the first
    expected line that was not found, or None."""
    actual = [normal(a) for a in actual]
    position = 0
    skipping = False
    for want in expected:
        want = normal(want)
        if want.strip() == "...":
            skipping = True
            continue
        prefix = want[:-4] if want.endswith(" ...") else None

        def fits(line):
            return line.startswith(prefix) if prefix is not None else line == want

        if skipping:
            while position < len(actual) and not fits(actual[position]):
                position += 1
        if position >= len(actual) or not fits(actual[position]):
            return want
        position += 1
        skipping = False
    return None


def snapshot(root):
    files = {}
    for folder, dirs, names in os.walk(root):
        rel = os.path.relpath(folder, root)
        if rel == ".":
            dirs[:] = [d for d in dirs if d not in ("build", ".git")]
        for name in names:
            path = os.path.join(folder, name)
            try:
                st = os.stat(path)
            except OSError:
                continue
            files[os.path.relpath(path, root)] = (st.st_mtime_ns, st.st_size)
    return files


def main():
    readme, bin_dir = sys.argv[1], sys.argv[2]
    root = os.path.dirname(os.path.abspath(readme))
    with open(readme, encoding="utf-8") as f:
        found = commands(f.read())
    if not found:
        print(f"FAIL: no commands found in {readme}")
        return 1
    failures, not_run, ran = [], [], 0
    for command, expected, marks in found:
        status = 0
        reason = None
        for mark in marks:
            if mark.startswith("exits "):
                status = int(mark[6:])
            elif mark.startswith("needs "):
                need = mark[6:]
                if not os.path.exists(os.path.join(root, need)):
                    reason = f"{need} is absent"
            elif mark.startswith("not run"):
                reason = mark.partition(":")[2].strip() or "marked not run"
        if reason:
            not_run.append(f"{command}  ({reason})")
            continue
        shell = command.replace(README_BIN, os.path.abspath(bin_dir) + "/")
        before = snapshot(root)
        try:
            done = subprocess.run(["bash", "-c", shell], cwd=root, stdout=subprocess.PIPE,
                                  stderr=subprocess.STDOUT, timeout=TIMEOUT)
        except subprocess.TimeoutExpired:
            failures.append(f"{command}\n    did not finish within {TIMEOUT} s")
            continue
        ran += 1
        output = done.stdout.decode("utf-8", "replace")
        after = snapshot(root)
        written = sorted(p for p in after if before.get(p) != after[p])
        for path in written:  # leave the tree as it was: the command's new files go
            if path not in before:
                os.remove(os.path.join(root, path))
        problems = []
        if done.returncode != status:
            problems.append(f"exit status {done.returncode}, expected {status}")
        missing = matches(expected, output.split("\n")) if expected else None
        if missing is not None:
            problems.append(f"output lacks (in order): {missing!r}")
        if written:
            problems.append("wrote into the tree: " + ", ".join(written))
        if problems:
            shown = "\n".join("      | " + l for l in output.rstrip("\n").split("\n")[:60])
            failures.append(f"{command}\n    " + "\n    ".join(problems) + "\n" + shown)
        else:
            print(f"ok    {command}")
    for text in not_run:
        print(f"NOT RUN  {text}")
    for text in failures:
        print(f"FAIL  {text}")
    print(f"{ran} README commands run, {len(failures)} failed, {len(not_run)} not run")
    return 1 if failures or ran == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
