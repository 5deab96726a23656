#!/usr/bin/env python3
"""Byteloom and sysex_tool against a real MIDI server.

Starts a JACK server of its own (dummy driver), records on a port of an
independent MIDI library (python3-rtmidi), runs the module's cases
(byteloom_jack_tests) and sysex_tool, and compares what arrived with the
files: every byte in order, each message whole, at least 60 ms between
messages. Exit 77 (skipped) when no JACK server can be started.

usage: jack_ports_check.py BYTELOOM_JACK_TESTS SYSEX_TOOL SAMPLE_DIR
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

PERIOD = 128          # frames per JACK period
RATE = 48000          # frames per second
PAUSE_S = 0.060       # the pause after every message
JITTER_S = PERIOD / RATE  # arrival is rounded to a period
# How late one arrival may be seen on a busy machine (the server, both
# clients and the recorder's thread are scheduled like any program): a gap
# may shrink by this much, the mean gap may not.
LATE_S = 0.015
# A server stalled for longer than the pause (the test machine is shared)
# delivers the messages queued meanwhile together: a few such gaps are the
# server's, not the sender's. A sender that does not pause makes every gap
# short.
STALLS_ALLOWED = 0.01  # share of the gaps, at least one
MODULE_MAX_RAW = 218410   # the largest raw file the module loads


def fail(text):
    print("FAIL:", text)
    sys.exit(1)


def messages_of(data):
    """Cuts bytes after every 0xF7, as the senders do."""
    out, start = [], 0
    for i, b in enumerate(data):
        if b == 0xF7:
            out.append(bytes(data[start:i + 1]))
            start = i + 1
    if start < len(data):
        out.append(bytes(data[start:]))
    return out


class Recorder:
    """A JACK MIDI input port of python3-rtmidi; keeps (time, bytes) per event."""

    def __init__(self, rtmidi, client):
        self.events, self.lock = [], threading.Lock()
        self.port = rtmidi.MidiIn(rtmidi.API_UNIX_JACK, name=client, queue_size_limit=1 << 16)
        self.port.ignore_types(sysex=False, timing=True, active_sense=True)
        self.port.set_callback(self._received)
        self.port.open_virtual_port("in")

    def _received(self, event, _):
        with self.lock:
            self.events.append((time.monotonic(), bytes(event[0])))

    def take(self):
        with self.lock:
            events, self.events = self.events, []
        return events


def compare(what, events, expected):
    """Bytes, message boundaries and spacing of `events` against `expected`."""
    got = b"".join(e for _, e in events)
    if got != expected:
        n = next((i for i in range(min(len(got), len(expected))) if got[i] != expected[i]),
                 min(len(got), len(expected)))
        fail(f"{what}: {len(got)} bytes arrived for {len(expected)}, first difference at {n}")
    want = messages_of(expected)
    if [e for _, e in events] != want:
        fail(f"{what}: bytes right, but {len(events)} events for {len(want)} messages")
    gaps = [b[0] - a[0] for a, b in zip(events, events[1:])]
    if not gaps:
        return None
    short = sorted(g for g in gaps if g < PAUSE_S - JITTER_S - LATE_S)
    if len(short) > max(1, STALLS_ALLOWED * len(gaps)):
        fail(f"{what}: {len(short)} of {len(gaps)} gaps between messages shorter than "
             f"{(PAUSE_S - JITTER_S - LATE_S) * 1000:.1f} ms, the shortest {short[0] * 1000:.1f} ms")
    if sum(gaps) / len(gaps) < PAUSE_S - JITTER_S:
        fail(f"{what}: {sum(gaps) / len(gaps) * 1000:.1f} ms between messages on average")
    if short:
        print(f"{what}: {len(short)} of {len(gaps)} gaps cut short by a stalled server "
              f"({short[0] * 1000:.1f} ms)")
    return min(g for g in gaps if g not in short) if len(short) < len(gaps) else None


def wait_for_server(env, jackd):
    for _ in range(50):
        if jackd.poll() is not None:
            return False
        if subprocess.run(["jack_lsp"], env=env, capture_output=True).returncode == 0:
            return True
        time.sleep(0.2)
    return False


def main():
    jack_tests, tool, sample_dir = sys.argv[1:4]
    try:
        import rtmidi
    except ImportError:
        print("SKIPPED: python3-rtmidi is not installed (scripts/bootstrap)")
        return 77
    if not shutil.which("jackd") or not os.path.isdir(sample_dir):
        print("SKIPPED: jackd (scripts/bootstrap) or the sample folder is missing")
        return 77
    # A server name of our own; clients never take it as their name (a client
    # of the server's name removes the server's socket when it closes).
    server = f"byteloom_check_{os.getpid()}"
    os.environ.update(JACK_DEFAULT_SERVER=server, JACK_NO_START_SERVER="1")
    env = dict(os.environ)
    # Synchronous (-S): each period waits for every client to finish it. The
    # test machine is busy (sanitizer builds, tests in parallel), and in the
    # default asynchronous mode a client that is late for a period misses
    # the events sent in it, which would blame the sender for the server.
    jackd = subprocess.Popen(["jackd", "-n", server, "-r", "-S", "-t", "5000",
                              "-d", "dummy", "-r", str(RATE),
                              "-p", str(PERIOD)], env=env, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
    work = tempfile.mkdtemp(prefix="byteloom_jack_")
    try:
        if not wait_for_server(env, jackd):
            print("SKIPPED: the JACK server could not be started")
            return 77
        return run(rtmidi, env, jack_tests, tool, sample_dir, work, jackd)
    finally:
        jackd.terminate()
        try:
            jackd.wait(10)
        except subprocess.TimeoutExpired:
            jackd.kill()
        shutil.rmtree(work, ignore_errors=True)


def bytes_as_loaded(tool, path, work):
    """The bytes the module sends for a file: what sysex_tool saves raw."""
    out = os.path.join(work, "as_loaded.syx")
    subprocess.run([tool, "syx", path, out], check=True, capture_output=True)
    with open(out, "rb") as f:
        return f.read()


def jack_ports(env):
    return subprocess.run(["jack_lsp"], env=env, capture_output=True, text=True).stdout.split("\n")


def start_receiver(env, tool, port, out):
    """sysex_tool receive on `port`, once its own port "Byteloom:in" exists."""
    receiver = subprocess.Popen([tool, "receive", "--port", port, "--out", out,
                                 "--timeout", "1.5"], env=env, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True)
    for _ in range(100):
        if "Byteloom:in" in jack_ports(env):
            return receiver
        if receiver.poll() is not None:
            break
        time.sleep(0.05)
    fail(f"sysex_tool receive --port {port} opened no port: {receiver.communicate()[1]}")


def check_received(what, receiver, tool, out, expected, work):
    _, err = receiver.communicate(timeout=120)
    if receiver.returncode != 0:
        fail(f"{what}: exit {receiver.returncode}: {err}")
    got = bytes_as_loaded(tool, out, work) if out.endswith(".txt") else open(out, "rb").read()
    if got != expected:
        n = next((i for i in range(min(len(got), len(expected))) if got[i] != expected[i]),
                 min(len(got), len(expected)))
        fail(f"{what}: {len(got)} bytes received for {len(expected)}, first difference at {n}")


def run(rtmidi, env, jack_tests, tool, sample_dir, work, jackd):
    recorder = Recorder(rtmidi, "recorder")
    files = sorted(os.path.join(sample_dir, f) for f in os.listdir(sample_dir)
                   if f.endswith((".syx", ".txt")))
    # The largest message the module holds: one SysEx of 131072 bytes.
    largest = os.path.join(work, "largest_131072.syx")
    with open(largest, "wb") as f:
        f.write(bytes([0xF0] + [i % 128 for i in range(131070)] + [0xF7]))
    module_files = [f for f in files if os.path.getsize(f) <= MODULE_MAX_RAW] + [largest]

    # The module, loaded by the host, sends each file to the recorder.
    r = subprocess.run([jack_tests], env=dict(env, BYTELOOM_JACK_PORT="recorder:in",
                                              BYTELOOM_JACK_FILES="\n".join(module_files)),
                       capture_output=True, text=True)
    print(r.stdout[-3000:])
    if r.returncode != 0 or "SKIPPED" in r.stdout:
        fail(f"byteloom_jack_tests exited {r.returncode}\n{r.stderr[-3000:]}")
    time.sleep(0.3)
    events = recorder.take()
    expected = b"".join(bytes_as_loaded(tool, f, work) for f in module_files)
    gap = compare("module", events, expected)
    print(f"module: {len(events)} messages, {len(expected)} bytes intact, "
          f"largest message {max(len(e) for _, e in events)} bytes, "
          f"closest spacing {gap * 1000:.1f} ms")

    # sysex_tool sends every file, the largest of the corpus included, and a
    # single message of 1 MiB, far beyond any message of a real device.
    huge = os.path.join(work, "message_1MiB.syx")
    with open(huge, "wb") as f:
        f.write(bytes([0xF0] + [i * 7 % 128 for i in range((1 << 20) - 2)] + [0xF7]))
    for path in files + [huge]:
        # The tool sends every byte of a file, beyond the module's 131072.
        data = open(path, "rb").read() if path.endswith(".syx") else bytes_as_loaded(tool, path, work)
        start = time.monotonic()
        r = subprocess.run([tool, "send", path, "--port", "recorder:in", "--pause", "60"],
                           env=env, capture_output=True, text=True)
        took = time.monotonic() - start
        if r.returncode != 0:
            fail(f"sysex_tool send {path}: exit {r.returncode}: {r.stderr}")
        time.sleep(0.3)
        compare(f"sysex_tool send {os.path.basename(path)}", recorder.take(), data)
        n = len(messages_of(data))
        print(f"sysex_tool send {os.path.basename(path)}: {len(data)} bytes, {n} messages, "
              f"{took:.2f} s (pauses {n * PAUSE_S:.2f} s, MIDI cable {len(data) / 3125:.2f} s)")

    # A server that stalls in the middle of a long message (stopped for a
    # moment, as a busy machine can stall it): the sender's queue fills, and
    # the sender waits for room instead of losing pieces.
    sender = subprocess.Popen([tool, "send", largest, "--port", "recorder:in"], env=env,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    while not any(p.startswith("Byteloom") for p in jack_ports(env)) and sender.poll() is None:
        time.sleep(0.01)
    time.sleep(0.05)  # the first pieces are out
    jackd.send_signal(signal.SIGSTOP)
    time.sleep(0.8)
    jackd.send_signal(signal.SIGCONT)
    _, err = sender.communicate(timeout=60)
    if sender.returncode != 0:
        fail(f"sysex_tool send while the server stalled: exit {sender.returncode}: {err}")
    time.sleep(0.3)
    compare("sysex_tool send while the server stalled", recorder.take(),
            open(largest, "rb").read())
    print("sysex_tool send: a server stalled for 0.8 s mid-message loses nothing")

    # Short sends, four at a time, on a busy server: each sender closes its
    # JACK client while the server runs the others, the moment at which an
    # output that frees its queue before its client has stopped crashes.
    # (What arrives is not compared: with several sources on one input port,
    # JACK drops the input of a period in which one of them goes away.)
    short = [f for f in files if os.path.getsize(f) < 100][0]
    for _ in range(15):
        senders = [subprocess.Popen([tool, "send", short, "--port", "recorder:in", "--pause", "0"],
                                    env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                    text=True) for _ in range(4)]
        for p in senders:
            _, err = p.communicate(timeout=60)
            if p.returncode != 0:
                fail(f"sysex_tool send, four at a time: exit {p.returncode}: {err}")
    time.sleep(0.3)
    recorder.take()
    print("sysex_tool send: 60 short sends, four at a time, each exits cleanly")

    # A missing port: a clear error, exit 1.
    r = subprocess.run([tool, "send", files[0], "--port", "nowhere"], env=env,
                       capture_output=True, text=True)
    if r.returncode != 1 or "nowhere" not in r.stderr:
        fail(f"send to a missing port: exit {r.returncode}, {r.stderr!r}")

    # sysex_tool receives what an independent sender sends: the files cut
    # into MIDI messages by python3-mido, each message sent whole by
    # python3-rtmidi (which takes no message in pieces, so only files whose
    # messages fit one JACK event of its own are used).
    import mido
    sender = rtmidi.MidiOut(rtmidi.API_UNIX_JACK, name="player")
    sender.open_virtual_port("out")
    for path in files:
        messages = [bytes(m.bytes()) for m in mido.parse_all(bytes_as_loaded(tool, path, work))]
        if max(len(m) for m in messages) > 4096:
            continue
        out = os.path.join(work, "received" + os.path.splitext(path)[1])
        receiver = start_receiver(env, tool, "player:out", out)
        for message in messages:
            sender.send_message(message)
            time.sleep(0.005)
        check_received(f"sysex_tool receive {os.path.basename(path)}", receiver, tool, out,
                       b"".join(messages), work)
    print("sysex_tool receive: every file of whole messages of up to 4096 bytes arrives intact")

    # sysex_tool to sysex_tool: the receiver's own port ("Byteloom:in") is an
    # input port the sender can choose. Every file of the corpus, whole.
    for path in files:
        data = open(path, "rb").read() if path.endswith(".syx") else bytes_as_loaded(tool, path, work)
        out = os.path.join(work, "received" + os.path.splitext(path)[1])
        receiver = start_receiver(env, tool, "player:out", out)
        r = subprocess.run([tool, "send", path, "--port", "Byteloom:in", "--pause", "5"],
                           env=env, capture_output=True, text=True)
        if r.returncode != 0:
            fail(f"sysex_tool send {path} to sysex_tool receive: exit {r.returncode}: {r.stderr}")
        check_received(f"sysex_tool send | receive {os.path.basename(path)}", receiver, tool, out,
                       data, work)
    print("sysex_tool send to sysex_tool receive: the whole corpus round-trips byte for byte")
    return 0


if __name__ == "__main__":
    sys.exit(main())
