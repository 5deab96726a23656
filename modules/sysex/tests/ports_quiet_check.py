#!/usr/bin/python3
"""With no JACK server to answer, `plughost info Byteloom` and `sysex_tool
ports` write nothing of the MIDI libraries to stderr, and sysex_tool says in
one sentence why it lists no ports.

Usage: ports_quiet_check.py PLUGHOST SYSEX_TOOL LSAN_SUPPRESSIONS

No JACK server answers the programs: they are pointed at a server name of
this run's own, and told not to start one. Whether the machine has an ALSA
sequencer (and ports on it) is read here, so the check holds either way.
"""
import os
import re
import subprocess
import sys
import uuid

LIMIT_S = 60  # per program run; a run takes well under a second

# Lines the JACK client library and RtMidi write when no server answers.
LIBRARY_LINE = re.compile(
    r"Cannot connect to server|jack server is not running|JackShm|Jack[A-Z]\w*::"
    r"|request channel|MidiIn\w*::|MidiOut\w*::|RtMidi", re.IGNORECASE)


def run(args, env):
    try:
        done = subprocess.run(args, env=env, capture_output=True, text=True, timeout=LIMIT_S)
    except subprocess.TimeoutExpired:
        sys.exit(f"FAIL: {' '.join(args)} did not finish within {LIMIT_S} s")
    if done.returncode != 0:
        sys.exit(f"FAIL: {' '.join(args)} exited with {done.returncode}\n"
                 f"stdout:\n{done.stdout}\nstderr:\n{done.stderr}")
    return done


def library_lines(stderr):
    return [line for line in stderr.splitlines() if LIBRARY_LINE.search(line)]


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    plughost, sysex_tool, suppressions = sys.argv[1:]
    env = dict(os.environ)
    env["JACK_DEFAULT_SERVER"] = f"byteloom_none_{os.getpid()}_{uuid.uuid4().hex[:8]}"
    env["JACK_NO_START_SERVER"] = "1"
    # Sanitizer builds: what JACK's library leaves behind is known and kept
    # quiet, so that stderr holds only what the programs say.
    env["LSAN_OPTIONS"] = f"suppressions={suppressions}:print_suppressions=0"
    failures = []

    info = run([plughost, "info", "Byteloom"], env)
    if "Byteloom" not in info.stdout:
        failures.append(f"plughost info Byteloom described no Byteloom:\n{info.stdout}")
    noise = library_lines(info.stderr)
    if noise:
        failures.append("plughost info Byteloom: MIDI library lines on stderr:\n" + "\n".join(noise))

    ports = run([sysex_tool, "ports"], env)
    noise = library_lines(ports.stderr)
    if noise:
        failures.append("sysex_tool ports: MIDI library lines on stderr:\n" + "\n".join(noise))
    listed = [line for line in ports.stdout.splitlines() if line.startswith("  ")]
    sequencer = os.access("/dev/snd/seq", os.R_OK | os.W_OK)
    if listed:
        # Only the sequencer can have listed them: no word about missing ports.
        expected = ""
        if not sequencer:
            failures.append(f"ports listed with no JACK server and no sequencer:\n{ports.stdout}")
    elif sequencer:
        expected = "sysex_tool: no MIDI ports: the ALSA sequencer has none and no JACK server is running\n"
    else:
        expected = "sysex_tool: no MIDI ports: no JACK server is running and there is no ALSA sequencer\n"
    if ports.stderr != expected:
        failures.append(f"sysex_tool ports: stderr was\n{ports.stderr!r}\nexpected\n{expected!r}")

    if failures:
        sys.exit("FAIL: " + "\n\nFAIL: ".join(failures))
    print("ok: no MIDI library lines; sysex_tool said: " + (expected.strip() or "(ports listed)"))


if __name__ == "__main__":
    main()
