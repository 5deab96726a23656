#!/usr/bin/env python3
"""plughost show driven as a person drives it, on a virtual X display.

Run by ctest inside xvfb-run (a display of 24-bit colour): xdotool moves the
pointer, drags and types with real X input, ImageMagick's import photographs
the window. Every wait has a deadline and says what it waited for.

    show_test.py CASE --plughost PATH --work DIR

CASE is kurvo_drag or byteloom_typing."""

import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import threading
import time

DEADLINE = 30.0  # seconds for anything to happen, also on a loaded machine


class Failure(Exception):
    pass


def wait_for(what, check, deadline=DEADLINE, pause=0.05):
    """Polls check() until it returns something true, or fails naming what."""
    end = time.monotonic() + deadline
    while True:
        got = check()
        if got:
            return got
        if time.monotonic() > end:
            raise Failure("waited %.0f s for %s" % (deadline, what))
        time.sleep(pause)  # between polls only; the poll decides


def run(args, **kwargs):
    kwargs.setdefault("timeout", DEADLINE)
    return subprocess.run(args, check=True, capture_output=True, text=True, **kwargs)


LIVE = []  # the session under test, whose output a failure shows


class Show:
    """plughost show in the background, its standard output read line by line."""

    def __init__(self, plughost, patch, record, env):
        self.process = subprocess.Popen(
            [plughost, "show", patch, "--record", record],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
            text=True, env=env)
        self.lines = []
        self.errors = []
        self.lock = threading.Lock()
        LIVE[:] = [self]
        self.readers = [threading.Thread(target=self.read, args=(stream, into), daemon=True)
                        for stream, into in ((self.process.stdout, self.lines),
                                             (self.process.stderr, self.errors))]
        for reader in self.readers:
            reader.start()

    def read(self, stream, into):
        for line in stream:
            with self.lock:
                into.append(line.rstrip("\n"))

    def log(self):
        with self.lock:
            return list(self.lines)

    def wait_for_line(self, what, pattern):
        return wait_for("the live log to show " + what,
                        lambda: next((l for l in self.log() if re.search(pattern, l)), None))

    def send(self, line):
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()

    def end(self):
        """Waits for the program to end after its last window closed."""
        try:
            status = self.process.wait(timeout=DEADLINE)
        except subprocess.TimeoutExpired:
            self.process.kill()
            raise Failure("show did not end within %.0f s of its last window closing" % DEADLINE)
        for reader in self.readers:  # the last lines, up to the streams' ends
            reader.join(timeout=DEADLINE)
            if reader.is_alive():
                raise Failure("show's output did not end within %.0f s of its exit" % DEADLINE)
        return status

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


def find_window(title):
    """The X window titled exactly `title` once it is mapped."""
    try:
        found = run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "^%s$" % title])
    except subprocess.TimeoutExpired:
        raise Failure("waited %.0f s for a window titled %s" % (DEADLINE, title))
    return found.stdout.split()[0]


def close_window(window):
    """Ctrl+W in the window, as a person closes it without a window manager."""
    run(["xdotool", "windowfocus", "--sync", window])
    run(["xdotool", "key", "--clearmodifiers", "ctrl+w"])


def differing_pixels(a, b):
    """ImageMagick's count of pixels that differ between two images."""
    done = subprocess.run(["compare", "-metric", "AE", a, b, "null:"],
                          capture_output=True, text=True, timeout=DEADLINE)
    try:
        return int(float(done.stderr.split()[0]))
    except (ValueError, IndexError):
        raise Failure("compare %s %s: %s" % (a, b, done.stderr.strip()))


def screenshot(window, path):
    run(["import", "-window", window, "png24:" + path])
    return path


def timeline(lines):
    """The lines of a text log that tell what happened at a clock."""
    return [l for l in lines if re.match(r"^ +\d+  ", l)]


def summary(lines):
    """The summary's lines (what a module's outputs and panel texts came to)."""
    if "summary" not in lines:
        return []
    rest = lines[lines.index("summary") + 1:]
    return [l for l in rest if l.startswith("  ")]


def check_replay(args, env, live, record):
    """plughost run of the recording ends as the session did: the same
    timeline, the same summary."""
    replay = run([args.plughost, "run", record], env=env).stdout.splitlines()
    for name, part in (("timeline", timeline), ("summary", summary)):
        if part(replay) != part(live):
            raise Failure("run of the recording gives another %s:\n--- live\n%s\n--- replay\n%s"
                          % (name, "\n".join(part(live)), "\n".join(part(replay))))
    if not timeline(live):
        raise Failure("the session's log holds no line:\n" + "\n".join(live))


def check_clean_end(show):
    status = show.end()
    errors = "\n".join(show.errors)
    if status != 0 or "Sanitizer" in errors:
        raise Failure("show ended with status %d:\n%s" % (status, errors))


def write_json(path, value):
    with open(path, "w") as out:
        json.dump(value, out, indent=1)
    return path


KURVO = {"name": "curve", "library": "Kurvo", "panel": [400, 200],
         "pins": {"nodes": "(0.0,5.0)(5.0,8.0)(10.0,5.0)", "Line Width": "2", "Scale Padding": 4}}
# The drag a person makes below: onto the middle node, pressed, moved, moved
# finely with Ctrl held, out of the window to its right (the panel keeps the
# mouse while the button is held), released there.
DRAG = [("move", 200, 40, 0), ("down", 200, 40, 1), ("move", 260, 50, 1),
        ("move", 300, 70, 9), ("move", 430, 65, 1), ("up", 430, 65, 0)]


def kurvo_drag(args, env):
    """A node dragged in the window changes the node list and the arrays as
    the same drag played as gestures does, and the window shows what paint
    of the recorded session paints."""
    w = args.work
    as_gestures = write_json(os.path.join(w, "drag_as_gestures.json"), {
        "length": 64, "gui_notify": "every_write", "modules": [KURVO],
        "gestures": [{"module": "curve", "actions": [
            {kind: [x, y], "flags": flags, "time": 0} for kind, x, y, flags in DRAG]}]})
    expected = summary(run([args.plughost, "run", as_gestures], env=env).stdout.splitlines())
    last = {m.group(1): m.group(2) for m in
            (re.match(r'  curve\.(nodes|X Array Out|Y Array Out) \(panel\): .*, last (".*")$', l)
             for l in expected) if m}
    if len(last) != 3 or last["nodes"] == '"(0.0,5.0)(5.0,8.0)(10.0,5.0)"':
        raise Failure("the drag as gestures moves no node:\n" + "\n".join(expected))
    painted = os.path.join(w, "drag_painted.png")
    run([args.plughost, "paint", as_gestures, "--module", "curve", "--out", painted], env=env)

    patch = write_json(os.path.join(w, "kurvo.json"),
                       {"length": 64, "gui_notify": "every_write", "modules": [KURVO]})
    record = os.path.join(w, "kurvo_session.json")
    show = Show(args.plughost, patch, record, env)
    try:
        window = find_window("curve")
        pointer = {"down": "mousedown", "up": "mouseup"}
        for kind, x, y, flags in DRAG:
            # Each move of the drag waits for the node list it writes, so
            # that no two moves reach the window as one.
            written = len([l for l in show.log() if "  curve.nodes " in l])
            if flags & 8:
                run(["xdotool", "keydown", "ctrl"])
            run(["xdotool", "mousemove", "--window", window, str(x), str(y)])
            if kind in pointer:
                run(["xdotool", pointer[kind], "1"])
            if kind == "move" and flags & 1:
                wait_for("the node list after the move to (%d, %d)" % (x, y),
                         lambda: len([l for l in show.log() if "  curve.nodes " in l]) > written)
            if flags & 8:
                run(["xdotool", "keyup", "ctrl"])
        for pin, text in last.items():
            show.wait_for_line("curve.%s as the gestures leave it" % pin,
                               r"^ +\d+  curve\.%s +text %s$" % (re.escape(pin), re.escape(text)))
        shot = os.path.join(w, "kurvo_window.png")
        wait_for("the window to show the dragged curve as paint does",
                 lambda: differing_pixels(screenshot(window, shot), painted) == 0, pause=0.2)
        close_window(window)
        check_clean_end(show)
    finally:
        show.kill()
    replayed = os.path.join(w, "kurvo_replayed.png")
    run([args.plughost, "paint", record, "--module", "curve", "--out", replayed], env=env)
    if differing_pixels(shot, replayed) != 0:
        raise Failure("the window's picture differs from paint of the recording " + record)
    check_replay(args, env, show.log(), record)


def byteloom_typing(args, env):
    """Hex text typed into Byteloom's edit window is what a save, asked for
    on the terminal, writes; the recording replays it."""
    w = args.work
    target = os.path.join(env["TMPDIR"], "typed.syx")
    patch = write_json(os.path.join(w, "byteloom.json"), {
        "length": 64, "modules": [{"name": "tool", "library": "Byteloom", "panel": [320, 120]}]})
    record = os.path.join(w, "byteloom_session.json")
    typed = "F0 7E 7F 06 01 F7"
    show = Show(args.plughost, patch, record, env)
    try:
        window = find_window("tool")
        run(["xdotool", "windowfocus", "--sync", window])
        run(["xdotool", "mousemove", "--window", window, "50", "50", "click", "1"])
        run(["xdotool", "type", "--delay", "10", typed])

        def typings():
            try:
                with open(record) as f:
                    return [t["text"] for t in json.load(f).get("typing", [])]
            except (OSError, ValueError):  # not written yet
                return None

        def typed_so_far():
            """The field's text as the recorded keys make it from an empty one."""
            text = ""
            for key in "".join(typings() or []):
                text = text[:-1] if key == "\b" else text + key
            return text if typings() is not None else None
        wait_for("the recording to hold the typed text", lambda: typed_so_far() == typed)
        show.send("tool.File = {temp}/typed.syx")
        show.send("tool.Save as .syx = yes")
        show.wait_for_line("the save's status", r'tool\.Status Msg +text "6 MIDI bytes saved')
        with open(target, "rb") as saved:
            if saved.read() != bytes.fromhex(typed):
                raise Failure("%s does not hold the typed bytes" % target)
        # What the module writes into its window shows in the field: the
        # person empties the field, the module loads the file into the
        # window, and what the person types then goes after the loaded text.
        run(["xdotool", "key", "ctrl+a", "BackSpace"])
        wait_for("the recording to hold the emptied field", lambda: typed_so_far() == "")
        emptied = len(typings())
        show.send("tool.Reload = yes")
        show.wait_for_line("the reload's status", r'tool\.Status Msg +text "6 bytes loaded"')
        run(["xdotool", "key", "ctrl+End", "space", "X"])
        last = wait_for("the recording to hold the keys typed after the load",
                        lambda: "".join(typings()[emptied:]).endswith("X")
                        and "".join(typings()[emptied:]))
        if last != " X":
            raise Failure("typing after the load was recorded as %r, not \" X\": the field "
                          "did not show the loaded text" % last)
        close_window(window)
        check_clean_end(show)
    finally:
        show.kill()
    os.remove(target)
    check_replay(args, env, show.log(), record)
    with open(target, "rb") as saved:
        if saved.read() != bytes.fromhex(typed):
            raise Failure("run of the recording does not save the typed bytes")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("case", choices=["kurvo_drag", "byteloom_typing"])
    parser.add_argument("--plughost", required=True)
    parser.add_argument("--work", required=True)
    args = parser.parse_args()
    args.work = os.path.join(args.work, args.case)
    shutil.rmtree(args.work, ignore_errors=True)  # no recording of an earlier run to be seen
    os.makedirs(args.work)
    runtime = os.path.join(args.work, "runtime")  # Qt's XDG_RUNTIME_DIR, the user's alone
    os.makedirs(runtime, mode=0o700, exist_ok=True)
    env = dict(os.environ, TMPDIR=args.work, XDG_RUNTIME_DIR=runtime)
    env.pop("QT_QPA_PLATFORM", None)
    if not env.get("DISPLAY"):
        print("show_test: no DISPLAY; the test runs inside xvfb-run", file=sys.stderr)
        return 1
    try:
        globals()[args.case](args, env)
    except (Failure, subprocess.CalledProcessError, subprocess.TimeoutExpired) as e:
        detail = getattr(e, "stderr", None) or ""
        print("show_test %s: FAIL: %s %s" % (args.case, e, detail), file=sys.stderr)
        if LIVE:
            print("the session's output:\n" + "\n".join(LIVE[0].log() + LIVE[0].errors),
                  file=sys.stderr)
        return 1
    print("show_test %s: pass" % args.case)
    return 0


if __name__ == "__main__":
    sys.exit(main())
