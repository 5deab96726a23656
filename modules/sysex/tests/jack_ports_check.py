#!/usr/bin/env python3
"""Byteloom and sysex_tool against a real MIDI server.

Starts a JACK server of its own (dummy driver; its output in SERVER_LOG),
records on ports of an independent MIDI library (python3-rtmidi), runs the
module's cases (byteloom_jack_tests) and sysex_tool, and compares what
arrived with the files themselves (read here, not through our code): every
byte in order, each message whole, and, where the sender paces, at least
60 ms between messages (or, for a MIDI file sent with --timing file, at
least the file's own gaps).

Nothing here waits without a limit: every program run and every wait has a
time limit of its own, and the whole check one more (CHECK_LIMIT_S). A step
that runs out fails with its name, what it waited for and the server's last
log lines; a server that dies is reported as dead, not waited on.

Exit 77 (skipped) only when jackd or python3-rtmidi is missing, or the sample
folder is absent. A server that does not start on a machine that has jackd
fails the check.

usage: jack_ports_check.py BYTELOOM_JACK_TESTS SYSEX_TOOL SAMPLE_DIR SLOW_CALLBACK_LIB
                           CLIENT_WATCH_LIB SERVER_LOG
       jack_ports_check.py --recorder LANE
           (a recorder LANE:in on the server JACK_DEFAULT_SERVER names, for a
           second server, whose clients a process of their own must hold: says
           "ready" on stdout, and once its stdin closes, the hex of each event
           that arrived, one a line)
"""
import ctypes
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import traceback

PERIOD = 128          # frames per JACK period
RATE = 48000          # frames per second
PAUSE_S = 0.060       # the pause after every message, module and sysex_tool alike
# How late one arrival may be seen on a busy machine: the event waits for the
# next period, and the server, the sender and the recorder are scheduled like
# any program (on a loaded machine one of them is now and then held up for
# tens of ms, and the messages queued meanwhile arrive together). So no run
# of messages may arrive faster than its pauses allow, less this lateness of
# one arrival. A sender that does not pause, or pauses too little, fails on
# every run of more than a few messages.
LATE_S = 0.200
MODULE_MAX_BYTES = 131072  # the module's byte array
# Files of more messages reach the module as their first MODULE_MESSAGES
# messages: it pauses 60 ms after each, and the whole files go through
# sysex_tool with short pauses.
MODULE_MESSAGES = 8
# sysex_tool's pause where its pacing is not checked. Not 0: RtMidi's JACK
# output queues up to 16 KB of messages, and hands the server all it holds in
# one period, where JACK takes less than that and RtMidi drops the rest
# without a word. A message cut in pieces never fills the queue; short
# messages sent back to back do whenever the server is held up for a few
# periods. 5 ms between messages of at most a few hundred bytes leaves the
# server a quarter of a second before that happens.
FAST_PAUSE_MS = 5

CHECK_LIMIT_S = 240     # the whole check; ctest's limit for the entry is 300 s
SERVER_START_S = 20     # until the server lists its ports
ARRIVAL_S = 20          # from a sender's exit until its bytes have arrived
QUICK_S = 15            # jack_lsp, sysex_tool syx and the like
SEND_S = 60             # one sysex_tool send
SESSION_S = 60          # one sysex_tool receive, from its start to its exit
LOG_LINES = 15          # of the server's log, in a failure's report
# A server asked to stop, until it has: a period that waits for a client gone
# without closing waits the server's 5 s timeout.
STOP_S = 20


class Failure(Exception):
    pass


class Check:
    """The server, the programs started, the stage running, and the limits."""

    def __init__(self, server_log):
        self.server_log = server_log
        self.jackd = None
        self.children = []
        self.servers = []  # JACK servers started besides the check's own
        self.stage = "starting"
        self.said = ""  # the last sysex_tool send's stderr
        self.started = time.monotonic()

    def elapsed(self):
        return time.monotonic() - self.started

    def server_state(self):
        """A line on the server, with its last log lines."""
        if self.jackd is None:
            return "the JACK server was not started"
        code = self.jackd.poll()
        said = "the JACK server is running" if code is None else f"the JACK server died (exit {code})"
        try:
            with open(self.server_log, errors="replace") as f:
                lines = f.read().splitlines()[-LOG_LINES:]
        except OSError as e:
            lines = [f"(its log {self.server_log} cannot be read: {e})"]
        return f"{said}; its last log lines ({self.server_log}):\n    " + "\n    ".join(lines)

    def fail(self, text):
        raise Failure(f"{self.stage}: {text}")

    def check_server(self):
        if self.jackd is not None and self.jackd.poll() is not None:
            self.fail("the JACK server died in this step")

    def run(self, args, limit, what=None, **kw):
        """subprocess.run with output captured and a time limit."""
        try:
            return subprocess.run(args, capture_output=True, timeout=limit, **kw)
        except subprocess.TimeoutExpired:
            self.fail(f"{what or ' '.join(map(str, args))} did not finish within {limit} s")

    def start(self, args, **kw):
        p = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, **kw)
        self.children.append(p)
        return p

    def finish(self, p, limit, what):
        """Output and exit status of a started program, within `limit` s."""
        try:
            out, err = p.communicate(timeout=limit)
        except subprocess.TimeoutExpired:
            stacks = self.stacks(p.pid)
            p.kill()
            p.communicate(timeout=QUICK_S)
            self.fail(f"{what} did not finish within {limit} s{stacks}")
        return out, err

    def stacks(self, pid):
        """Where the threads of a program that hangs are, where gdb is at hand."""
        if not shutil.which("gdb"):
            return ""
        try:
            r = subprocess.run(["gdb", "-p", str(pid), "-batch", "-ex", "thread apply all bt 15"],
                               capture_output=True, text=True, timeout=QUICK_S)
        except subprocess.TimeoutExpired:
            return f"; gdb gave no stacks within {QUICK_S} s"
        lines = [line for line in r.stdout.splitlines() if line.startswith(("#", "Thread"))]
        return "; its threads:\n    " + "\n    ".join(lines[:80]) if lines else ""

    def wait_until(self, what, done, limit, progress=lambda: ""):
        """Polls done() until it holds; fails after `limit` s or when the server dies."""
        deadline = time.monotonic() + limit
        while not done():
            self.check_server()
            if time.monotonic() > deadline:
                said = progress()
                self.fail(f"waited {limit} s for {what}" + (f" ({said})" if said else ""))
            time.sleep(0.01)

    def connections(self, env, port):
        """The ports `port` is connected to, as jack_lsp -c lists them."""
        r = self.run(["jack_lsp", "-c"], QUICK_S, "jack_lsp -c", env=env, text=True)
        found, current = [], None
        for line in r.stdout.splitlines() if r.returncode == 0 else []:
            if not line.startswith((" ", "\t")):
                current = line
            elif current == port:
                found.append(line.strip())
        return found

    def stop_children(self):
        """Ends the programs started. Those reading their stdin (recorders of a
        process of their own) are asked first, by closing it, so that they close
        their JACK clients: a client killed with its process holds up its
        synchronous server in every period until the server has noticed."""
        for p in self.children:
            if p.poll() is None and p.stdin is not None and not p.stdin.closed:
                p.stdin.close()
                try:
                    p.wait(QUICK_S)
                except subprocess.TimeoutExpired:
                    pass
        for p in self.children:
            if p.poll() is None:
                p.kill()
                try:
                    p.wait(QUICK_S)
                except subprocess.TimeoutExpired:
                    pass


def exit_text(code):
    if code < 0:
        try:
            return f"killed by {signal.Signals(-code).name}"
        except ValueError:
            return f"killed by signal {-code}"
    return f"exit {code}"


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


# A file's bytes, read as the module's file forms are described: a file that
# begins with 0xF0, or holds anything but printable ASCII, tab, LF and CR, is
# raw bytes; any other is hex text, whose tokens (separated by space, tab,
# comma, CR or LF) each stand for one byte: the value of their first one or
# two hexadecimal digits, 0 when the token does not begin with one.
HEX = "0123456789abcdefABCDEF"


def is_raw(contents):
    return contents[:1] == b"\xf0" or any(not (0x20 <= c < 0x7F or c in b"\t\n\r")
                                          for c in contents)


def hex_tokens(text):
    """(byte, end of the token in `text`) for every token of hex text."""
    out, i = [], 0
    while i < len(text):
        if text[i] in " \t,\r\n":
            i += 1
            continue
        start = i
        while i < len(text) and text[i] not in " \t,\r\n":
            i += 1
        token = text[start:i]
        if token[0] not in HEX:
            value = 0
        elif len(token) > 1 and token[1] in HEX:
            value = int(token[:2], 16)
        else:
            value = int(token[0], 16)
        out.append((value, i))
    return out


def only_complete_messages(data):
    """True when `data` is nothing but F0, data bytes (below 0x80), F7, again and again."""
    i = 0
    while i < len(data):
        if data[i] != 0xF0:
            return False
        j = i + 1
        while j < len(data) and data[j] < 0x80:
            j += 1
        if j == len(data) or data[j] != 0xF7:
            return False
        i = j + 1
    return bool(data)


def file_bytes(path):
    with open(path, "rb") as f:
        contents = f.read()
    if is_raw(contents):
        return contents
    return bytes(v for v, _ in hex_tokens(contents.decode("ascii")))


def first_messages(path, count, folder):
    """A file of the first `count` messages of `path`, in its own form."""
    with open(path, "rb") as f:
        contents = f.read()
    if is_raw(contents):
        cut = len(b"".join(messages_of(contents)[:count]))
    else:
        text = contents.decode("ascii")
        ends = [end for v, end in hex_tokens(text) if v == 0xF7]
        cut = ends[count - 1]
    name, extension = os.path.splitext(os.path.basename(path))
    out = os.path.join(folder, f"{name}_first_{count}{extension}")
    with open(out, "wb") as f:
        f.write(contents[:cut])
    return out


class Recorder:
    """A JACK MIDI input port "CLIENT:in" of python3-rtmidi; keeps (time, bytes) per event.

    The time is RtMidi's, taken in the JACK callback as each event is read,
    so that the recorder's own thread waiting for Python does not move it.
    """

    def __init__(self, rtmidi, client):
        self.name = client + ":in"
        self.events, self.count, self.clock = [], 0, 0.0
        self.lock = threading.Lock()
        self.port = rtmidi.MidiIn(rtmidi.API_UNIX_JACK, name=client, queue_size_limit=1 << 16)
        self.port.ignore_types(sysex=False, timing=True, active_sense=True)
        self.port.set_callback(self._received)
        self.port.open_virtual_port("in")

    def _received(self, event, _):
        message, delta = event
        with self.lock:
            self.clock += delta
            self.events.append((self.clock, bytes(message)))
            self.count += len(message)

    def arrived(self):
        with self.lock:
            return self.count

    def take(self):
        with self.lock:
            events, self.events, self.count = self.events, [], 0
        return events

    def collect(self, check, expected, sender=""):
        """The events that brought `expected`'s length in bytes, once they have arrived.

        On expiry, says which message was first missing and what the sender
        said on stderr."""
        def progress():
            with self.lock:
                got = [e for _, e in self.events]
            want = messages_of(expected)
            k = next((i for i, (a, b) in enumerate(zip(got, want)) if a != b), len(got))
            said = f"; the sender said: {sender[-1000:]}" if sender.strip() else ""
            return (f"{sum(map(len, got))} arrived in {len(got)} events; message {k + 1} "
                    f"of {len(want)} is the first missing or different{said}")
        check.wait_until(f"{len(expected)} bytes on {self.name}",
                         lambda: self.arrived() >= len(expected), ARRIVAL_S, progress)
        return self.take()

    def close(self):
        """Closes the port and the JACK client now. A client left for the process's end
        is dropped by the server only when the process has gone, and a synchronous
        server waits up to its timeout in every period for it until then."""
        self.port.cancel_callback()
        self.port.close_port()
        self.port.delete()


def compare(check, what, events, expected, paced):
    """Bytes, message boundaries and (when `paced`) spacing of `events` against `expected`.

    Returns the closest spacing of two messages, in seconds."""
    got = b"".join(e for _, e in events)
    if got != expected:
        n = next((i for i in range(min(len(got), len(expected))) if got[i] != expected[i]),
                 min(len(got), len(expected)))
        check.fail(f"{what}: {len(got)} bytes arrived for {len(expected)}, first difference at {n}")
    want = messages_of(expected)
    if [e for _, e in events] != want:
        check.fail(f"{what}: bytes right, but {len(events)} events for {len(want)} messages")
    if not paced or len(events) < 2:
        return None
    # The run of messages that came closest to arriving faster than its
    # pauses: (t[j] - j * PAUSE) - max over i < j of (t[i] - i * PAUSE).
    worst, first, last, highest = None, 0, 0, (events[0][0], 0)
    for j in range(1, len(events)):
        ahead = events[j][0] - j * PAUSE_S - highest[0]
        if worst is None or ahead < worst:
            worst, first, last = ahead, highest[1], j
        if events[j][0] - j * PAUSE_S > highest[0]:
            highest = (events[j][0] - j * PAUSE_S, j)
    if worst < -LATE_S:
        check.fail(f"{what}: messages {first + 1} to {last + 1} arrived within "
                   f"{(events[last][0] - events[first][0]) * 1000:.0f} ms, "
                   f"{-worst * 1000:.0f} ms sooner than {last - first} pauses of "
                   f"{PAUSE_S * 1000:.0f} ms allow (an arrival may be {LATE_S * 1000:.0f} ms late)")
    return min(b[0] - a[0] for a, b in zip(events, events[1:]))


def ms(seconds):
    return f"{seconds * 1000:.1f} ms"


def parent_death_signal():
    """In the server's process: SIGTERM when the check's process ends, however it ends."""
    ctypes.CDLL(None).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


def start_jackd(server, env, log_path):
    """jackd -n `server`, its output in `log_path`; ended with the check's process."""
    # Synchronous (-S): each period waits for every client to finish it. The
    # test machine is busy (builds and tests in parallel), and in the default
    # asynchronous mode a client that is late for a period misses the events
    # sent in it, which would blame the sender for the server. -t 5000: a
    # client late by less than 5 s is waited for, not thrown out.
    with open(log_path, "w") as log:
        return subprocess.Popen(
            ["stdbuf", "-oL", "-eL", "jackd", "-n", server, "-r", "-S", "-t", "5000",
             "-d", "dummy", "-r", str(RATE), "-p", str(PERIOD)],
            env=env, stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
            preexec_fn=parent_death_signal)


def stop_jackd(jackd):
    """Ends a server started by start_jackd, by SIGTERM, so that it leaves JACK's
    registry of servers: a server killed outright keeps its entry there, and once
    the user's eight entries are taken no JACK server of theirs starts any more.
    Killed only when it has not ended within STOP_S."""
    if jackd.poll() is not None:
        return
    jackd.terminate()
    try:
        jackd.wait(STOP_S)
    except subprocess.TimeoutExpired:
        jackd.kill()
        jackd.wait(QUICK_S)


def start_server(check, env, server):
    check.jackd = start_jackd(server, env, check.server_log)
    check.wait_until("the JACK server to list its ports (jack_lsp)",
                     lambda: check.run(["jack_lsp"], QUICK_S, "jack_lsp",
                                       env=env).returncode == 0,
                     SERVER_START_S)


def record_alone(lane):
    """--recorder LANE: a recorder in a process of its own (see the usage)."""
    import rtmidi
    recorder = Recorder(rtmidi, lane)
    print("ready", flush=True)
    sys.stdin.read()
    for _, event in recorder.take():
        print(event.hex())
    recorder.close()
    return 0


class AloneRecorder:
    """A recorder LANE:in in a process of its own, on the server that `env` names."""

    def __init__(self, check, lane, env):
        self.name = lane + ":in"
        self.process = check.start([sys.executable, os.path.abspath(__file__), "--recorder", lane],
                                   env=env, stdin=subprocess.PIPE)
        said = SaidLines(self.process.stdout)
        check.wait_until(f"the recorder {self.name} of a process of its own to be ready",
                         lambda: said.holds("ready") or self.process.poll() is not None,
                         QUICK_S, said.text)
        if self.process.poll() is not None:
            _, err = check.finish(self.process, QUICK_S, f"the recorder {self.name}")
            check.fail(f"the recorder {self.name} ended: {err[-2000:]}")
        self.said = said

    def finish(self, check):
        """The events that arrived, once the recorder has ended."""
        self.process.stdin.close()
        try:
            self.process.wait(QUICK_S)
        except subprocess.TimeoutExpired:
            stacks = check.stacks(self.process.pid)
            self.process.kill()
            check.fail(f"the recorder {self.name} did not end within {QUICK_S} s{stacks}")
        self.said.done()
        lines = self.said.text().split()
        return [bytes.fromhex(line) for line in lines[1:]]  # after "ready"


def watchdog(check):
    """Ends the check, with a report, when it overruns CHECK_LIMIT_S as a whole."""
    def overrun():
        print(f"FAIL: the check ran past its {CHECK_LIMIT_S} s in the stage \"{check.stage}\"; "
              f"{check.server_state()}", flush=True)
        check.stop_children()
        for server in check.servers + ([check.jackd] if check.jackd is not None else []):
            stop_jackd(server)
        os._exit(1)
    timer = threading.Timer(CHECK_LIMIT_S, overrun)
    timer.daemon = True
    timer.start()
    return timer


class SaidLines:
    """What a program writes to a pipe, gathered line by line by a thread of its own."""

    def __init__(self, stream):
        self.lines, self.lock = [], threading.Lock()
        self.thread = threading.Thread(target=self._read, args=(stream,), daemon=True)
        self.thread.start()

    def _read(self, stream):
        for line in stream:
            with self.lock:
                self.lines.append(line)

    def holds(self, text):
        with self.lock:
            return any(text in line for line in self.lines)

    def text(self):
        with self.lock:
            return "".join(self.lines)

    def done(self):
        """Once the program has ended: the rest of its lines."""
        self.thread.join(QUICK_S)


class Stage:
    """Names the stage running (for failures) and prints what it did and its time."""

    def __init__(self, check, name):
        self.check, self.name = check, name

    def __enter__(self):
        self.check.stage = self.name
        self.start = time.monotonic()
        return self

    def done(self, said):
        print(f"[{self.check.elapsed():6.1f} s] {self.name}: {said} "
              f"({time.monotonic() - self.start:.1f} s)", flush=True)

    def __exit__(self, kind, *_):
        if kind is None:
            self.check.check_server()
        return False


def main():
    if sys.argv[1] == "--recorder":
        return record_alone(sys.argv[2])
    jack_tests, tool, sample_dir, slow_callback, client_watch, server_log = sys.argv[1:7]
    sys.stdout.reconfigure(line_buffering=True)
    try:
        import rtmidi
    except ImportError:
        print("SKIPPED: python3-rtmidi is not installed (scripts/bootstrap)")
        return 77
    if not shutil.which("jackd"):
        print("SKIPPED: jackd is not installed (scripts/bootstrap)")
        return 77
    if not os.path.isdir(sample_dir):
        print(f"SKIPPED: the sample folder {sample_dir} is absent")
        return 77
    # A server name of our own; clients never take it as their name (a client
    # of the server's name removes the server's socket when it closes).
    server = f"byteloom_check_{os.getpid()}"
    os.environ.update(JACK_DEFAULT_SERVER=server, JACK_NO_START_SERVER="1")
    env = dict(os.environ)
    check = Check(server_log)
    work = tempfile.mkdtemp(prefix="byteloom_jack_")
    timer = watchdog(check)
    recorders = []
    try:
        with Stage(check, "server") as s:
            start_server(check, env, server)
            s.done(f"jackd -n {server} (dummy, {RATE} Hz, {PERIOD} frames, synchronous) "
                   f"lists its ports")
        run(check, rtmidi, env, jack_tests, tool, sample_dir, slow_callback, client_watch, work,
            recorders)
        print(f"[{check.elapsed():6.1f} s] passed")
        return 0
    except Failure as e:
        print(f"FAIL: {e}\n{check.server_state()}")
        return 1
    except Exception:
        traceback.print_exc(file=sys.stdout)
        print(f"FAIL: {check.stage}: an exception\n{check.server_state()}")
        return 1
    finally:
        check.stop_children()
        for r in recorders:
            r.close()
        for server in check.servers + ([check.jackd] if check.jackd is not None else []):
            stop_jackd(server)
        shutil.rmtree(work, ignore_errors=True)
        timer.cancel()


def run(check, rtmidi, env, jack_tests, tool, sample_dir, slow_callback, client_watch, work,
        recorders):
    import mido
    recorder = Recorder(rtmidi, "recorder")
    recorders.append(recorder)
    files = sorted(os.path.join(sample_dir, f) for f in os.listdir(sample_dir)
                   if f.endswith((".syx", ".txt")))
    if not files:
        check.fail(f"no .syx or .txt file in {sample_dir}")
    # The largest message the module holds: one SysEx of 131072 bytes.
    largest = os.path.join(work, "largest_131072.syx")
    with open(largest, "wb") as f:
        f.write(bytes([0xF0] + [i % 128 for i in range(131070)] + [0xF7]))

    def send(path, port, pause, what, extra_env=None, raw=False):
        start = time.monotonic()
        r = check.run([tool, "send", path, "--port", port, "--pause", str(pause)]
                      + (["--raw"] if raw else []), SEND_S,
                      what, env=dict(env, **(extra_env or {})), text=True)
        if r.returncode != 0:
            check.fail(f"{what}: {exit_text(r.returncode)}: {r.stderr[-2000:]}")
        check.said = r.stderr
        return time.monotonic() - start

    # The module, loaded by the host, sends each file to the recorder: the
    # files whose bytes fit its byte array, files of many messages cut to
    # their first MODULE_MESSAGES (the module pauses 60 ms after each), and
    # the largest message it holds.
    with Stage(check, "module") as s:
        module_files = []
        for path in files:
            data = file_bytes(path)
            if len(data) > MODULE_MAX_BYTES:
                continue
            many = len(messages_of(data)) > MODULE_MESSAGES
            module_files.append(first_messages(path, MODULE_MESSAGES, work) if many else path)
        module_files.append(largest)
        r = check.run([jack_tests], 120, "byteloom_jack_tests",
                      env=dict(env, BYTELOOM_JACK_PORT="recorder:in",
                               BYTELOOM_JACK_FILES="\n".join(module_files)), text=True)
        print(r.stdout[-3000:])
        if r.returncode != 0 or "SKIPPED" in r.stdout:
            check.fail(f"byteloom_jack_tests: {exit_text(r.returncode)}\n{r.stderr[-3000:]}")
        expected = b"".join(file_bytes(f) for f in module_files)
        events = recorder.collect(check, expected)
        gap = compare(check, "module", events, expected, paced=True)
        s.done(f"{len(module_files)} files, {len(events)} messages, {len(expected)} bytes "
               f"intact, largest message {max(len(e) for _, e in events)} bytes, closest "
               f"spacing {ms(gap)}")

    # sysex_tool sends every file whole, beyond the module's 131072 bytes, and
    # a single message of 1 MiB, far beyond any message of a real device;
    # with short pauses, since its pacing is checked once, below. A file of
    # anything but complete messages (program changes between them, the
    # heading line of a hex dump) is refused without --raw, before any byte
    # reaches the recorder, and sent as it is with --raw.
    huge = os.path.join(work, "message_1MiB.syx")
    with open(huge, "wb") as f:
        f.write(bytes([0xF0] + [i * 7 % 128 for i in range((1 << 20) - 2)] + [0xF7]))
    with Stage(check, f"sysex_tool send, --pause {FAST_PAUSE_MS}") as s:
        total = 0
        for path in files + [huge]:
            name = os.path.basename(path)
            data = file_bytes(path)
            raw = not only_complete_messages(data)
            if raw:
                r = check.run([tool, "send", path, "--port", "recorder:in"], SEND_S,
                              f"sysex_tool send {name} without --raw", env=env, text=True)
                if r.returncode != 1 or "nothing sent" not in r.stderr:
                    check.fail(f"sysex_tool send {name} without --raw was not refused: "
                               f"{exit_text(r.returncode)}: {r.stderr[-2000:]}")
            took = send(path, "recorder:in", FAST_PAUSE_MS, f"sysex_tool send {name}", raw=raw)
            compare(check, f"sysex_tool send {name}", recorder.collect(check, data, check.said), data,
                    paced=False)
            print(f"  {name}: {len(data)} bytes, {len(messages_of(data))} messages, {took:.2f} s"
                  + (", refused without --raw" if raw else ""))
            total += len(data)
        s.done(f"{len(files) + 1} files, {total} bytes, each byte in order, each message whole")

    # Real-time pacing, once, on a small file: the first 16 messages of the
    # file of the most messages, to the port named by a part of its name in
    # another case.
    with Stage(check, "sysex_tool send, --pause 60") as s:
        many = max(files, key=lambda f: len(messages_of(file_bytes(f))))
        small = first_messages(many, 16, work)
        data = file_bytes(small)
        took = send(small, "Recorder", 60, f"sysex_tool send {os.path.basename(small)}",
                    raw=not only_complete_messages(data))
        gap = compare(check, f"sysex_tool send {os.path.basename(small)} --pause 60",
                      recorder.collect(check, data, check.said), data, paced=True)
        s.done(f"{os.path.basename(small)}: {len(messages_of(data))} messages in {took:.2f} s, "
               f"closest spacing {ms(gap)}")

    # A Standard MIDI File sent with --timing file: its messages keep the
    # file's own gaps. The file, written by python3-mido, has System
    # Exclusive messages in two tracks between notes, and a tempo track that
    # halves the speed after the first second, so that a sender that ignores
    # the tempo map, or another track's tempo, or sends at a fixed pause,
    # sends some message too soon. The times expected are mido's reading of
    # the file. No run of messages may arrive sooner than the file spaces
    # it, less the lateness of one arrival (LATE_S); later is allowed, for
    # a loaded machine.
    with Stage(check, "sysex_tool send --timing file") as s:
        song = mido.MidiFile(type=1, ticks_per_beat=480)
        song.tracks.append(mido.MidiTrack([
            mido.MetaMessage("set_tempo", tempo=500000),
            mido.MetaMessage("set_tempo", tempo=1000000, time=960)]))

        def part(first, ticks):
            track, now = mido.MidiTrack(), 0
            for k, tick in enumerate(ticks):
                track.append(mido.Message("note_on", note=60 + k, time=max(0, tick - now - 10)))
                track.append(mido.Message("sysex", data=[first + k] * (20 + 30 * k),
                                          time=min(10, tick - now)))
                now = tick
            return track
        song.tracks.append(part(0x10, [0, 960, 1920]))
        song.tracks.append(part(0x20, [480, 1440]))
        path = os.path.join(work, "timed.mid")
        song.save(path)
        expected_times, messages, now = [], [], 0.0
        for m in mido.MidiFile(path):
            now += m.time
            if m.type == "sysex":
                expected_times.append(now)
                messages.append(bytes(m.bin()))
        if [round(t, 6) for t in expected_times] != [0, 0.5, 1.0, 2.0, 3.0]:
            check.fail(f"mido reads the test's file with times {expected_times}")
        data = b"".join(messages)
        start = time.monotonic()
        r = check.run([tool, "send", path, "--port", "recorder:in", "--timing", "file"], SEND_S,
                      "sysex_tool send timed.mid --timing file", env=env, text=True)
        took = time.monotonic() - start
        if r.returncode != 0:
            check.fail(f"sysex_tool send --timing file: {exit_text(r.returncode)}: {r.stderr[-2000:]}")
        events = recorder.collect(check, data, r.stderr)
        compare(check, "sysex_tool send timed.mid --timing file", events, data, paced=False)
        arrived = [t for t, _ in events]
        for j in range(1, len(events)):
            for i in range(j):
                spacing = expected_times[j] - expected_times[i]
                if arrived[j] - arrived[i] < spacing - LATE_S:
                    check.fail(f"--timing file: messages {i + 1} and {j + 1} arrived "
                               f"{ms(arrived[j] - arrived[i])} apart; the file spaces them "
                               f"{ms(spacing)} (an arrival may be {LATE_S * 1000:.0f} ms late)")
        gaps = ", ".join(ms(b - a) for a, b in zip(arrived, arrived[1:]))
        s.done(f"{len(events)} messages in {took:.2f} s, gaps {gaps} for the file's "
               f"500, 500, 1000, 1000 ms")

    # A server that stalls in the middle of a long message (stopped for a
    # moment, as a busy machine can stop it): the sender's queue fills, and
    # the sender waits for room instead of losing pieces.
    with Stage(check, "server stalled mid-message") as s:
        data = file_bytes(largest)
        sender = check.start([tool, "send", largest, "--port", "recorder:in"], env=env)
        check.wait_until("sysex_tool send's port, connected to recorder:in",
                         lambda: (sender.poll() is not None
                                  or any(p.startswith("Byteloom")
                                         for p in check.connections(env, "recorder:in"))),
                         QUICK_S)
        if sender.poll() is not None:
            check.fail(f"the sender ended ({exit_text(sender.returncode)}) before the stall")
        check.jackd.send_signal(signal.SIGSTOP)
        try:
            time.sleep(0.8)  # the stall itself; the sender fills its queue meanwhile
        finally:
            check.jackd.send_signal(signal.SIGCONT)
        _, err = check.finish(sender, SEND_S, "sysex_tool send while the server stalled")
        if sender.returncode != 0:
            check.fail(f"sysex_tool send: {exit_text(sender.returncode)}: {err[-2000:]}")
        compare(check, "sysex_tool send while the server stalled", recorder.collect(check, data, err),
                data, paced=False)
        s.done(f"one message of {len(data)} bytes, the server stopped for 0.8 s once the "
               f"sender was connected: every byte arrived")

    # Outputs closing while their JACK callbacks run: short sends, four at a
    # time, each sender on a recorder port of its own, and each sender's
    # callbacks made to dwell between clearing their port's buffer and
    # reading the queue (jack_slow_callback), as on a busy machine. An output
    # that frees its queue before its callback has finished crashes at exit
    # (or sends garbage) in about half of these senders. What arrives is not
    # waited for: a period in which a dwelling sender is late for the server
    # is lost to the recorder, which is the server's doing. Whatever arrives
    # must be the message sent, whole.
    with Stage(check, "senders closing while their callbacks run") as s:
        lanes = [Recorder(rtmidi, f"lane{k}") for k in range(1, 5)]
        recorders.extend(lanes)
        short = min(files, key=os.path.getsize)
        data = file_bytes(short)
        rounds, arrived = 5, 0
        slow = dict(env, LD_PRELOAD=slow_callback, BYTELOOM_CALLBACK_DWELL_US="1000")
        for round_ in range(rounds):
            senders = [check.start([tool, "send", short, "--port", lane.name, "--pause", "0"],
                                   env=slow) for lane in lanes]
            for lane, p in zip(lanes, senders):
                _, err = check.finish(p, SEND_S, f"sysex_tool send to {lane.name}")
                if p.returncode != 0:
                    check.fail(f"round {round_ + 1}, sysex_tool send to {lane.name}: "
                               f"{exit_text(p.returncode)}: {err[-2000:]}")
        for lane in lanes:
            events = lane.take()
            wrong = [e for _, e in events if e != data]
            if wrong:
                check.fail(f"{lane.name}: {len(wrong)} events other than the {len(data)} bytes "
                           f"sent, the first {wrong[0][:16].hex(' ')}")
            arrived += len(events)
        s.done(f"{rounds * len(lanes)} senders of {os.path.basename(short)}, four at a time, "
               f"callbacks dwelling 1 ms: each exits 0; {arrived} messages arrived, each whole")

    # How many JACK clients sysex_tool makes, seen through jack_client_watch:
    # a listing reads the ports through one client that is never activated
    # (an activated client is waited for by the server in every period, and
    # each client opened and closed is a moment in which the processes
    # opening and closing clients at once can trip over each other); a send
    # activates one client, its output's. Every client opened is closed.
    with Stage(check, "JACK clients of a listing and of a send") as s:
        calls_file = os.path.join(work, "jack_calls.txt")
        watched = dict(env, LD_PRELOAD=client_watch, BYTELOOM_JACK_CALLS=calls_file)

        def calls_of(args, what, wanted_in_stdout):
            if os.path.exists(calls_file):
                os.remove(calls_file)
            r = check.run([tool] + args, SEND_S, what, env=watched, text=True)
            if r.returncode != 0 or wanted_in_stdout not in r.stdout:
                check.fail(f"{what}: {exit_text(r.returncode)}, stdout {r.stdout!r}, "
                           f"stderr {r.stderr[-2000:]!r}")
            calls = []
            if os.path.exists(calls_file):
                with open(calls_file) as f:
                    calls = [line.split()[0] for line in f]
            if calls.count("open") != calls.count("close"):
                check.fail(f"{what} closed {calls.count('close')} of the {calls.count('open')} "
                           f"JACK clients it opened: {calls}")
            return calls

        listing = calls_of(["ports"], "sysex_tool ports", "recorder:in")
        if listing.count("open") != 1 or "activate" in listing:
            check.fail(f"sysex_tool ports opened {listing.count('open')} JACK clients and "
                       f"activated {listing.count('activate')} (one, never activated, expected): "
                       f"{listing}")
        sent = calls_of(["send", short, "--port", lanes[0].name], f"sysex_tool send to "
                        f"{lanes[0].name}", "sent")
        if sent.count("activate") != 1:
            check.fail(f"sysex_tool send activated {sent.count('activate')} JACK clients "
                       f"(its output's only expected): {sent}")
        compare(check, f"sysex_tool send to {lanes[0].name}", lanes[0].collect(check, data), data,
                paced=False)
        s.done(f"sysex_tool ports: {listing.count('open')} client, none activated; "
               f"sysex_tool send: {sent.count('open')} clients, {sent.count('activate')} "
               f"activated; each closed")

    # Senders on two servers of this user at once, as when two checks run on
    # one machine. JACK's client library binds a client's notification socket
    # at a path made of the client's name alone, between asking its server
    # whether the name is free and opening the client; jack_client_watch
    # stretches that moment (50 ms), so that senders that did not take turns
    # would take each other's sockets in every round: one would be refused
    # ("no JACK server") or hang. Two senders on each server, three rounds;
    # each must exit 0, every message must reach this server's lanes, and
    # whatever reaches the other server's must be the message, whole.
    with Stage(check, "senders on two JACK servers at once") as s:
        second = env["JACK_DEFAULT_SERVER"] + "_second"
        second_env = dict(env, JACK_DEFAULT_SERVER=second)
        second_log = os.path.splitext(check.server_log)[0] + "_second.log"
        jackd2 = start_jackd(second, second_env, second_log)
        check.servers.append(jackd2)
        check.wait_until(f"the second JACK server to list its ports (jack_lsp; log {second_log})",
                         lambda: (jackd2.poll() is not None
                                  or check.run(["jack_lsp"], QUICK_S, "jack_lsp",
                                               env=second_env).returncode == 0),
                         SERVER_START_S)
        if jackd2.poll() is not None:
            check.fail(f"the second JACK server ended: {exit_text(jackd2.returncode)} "
                       f"(log {second_log})")
        far = [AloneRecorder(check, f"far{k}", second_env) for k in (1, 2)]
        stretched = {"LD_PRELOAD": client_watch, "BYTELOOM_BIND_DELAY_US": "50000"}
        targets = ([(lane.name, dict(env, **stretched)) for lane in lanes[:2]]
                   + [(lane.name, dict(second_env, **stretched)) for lane in far])
        rounds = 3
        for round_ in range(rounds):
            senders = [check.start([tool, "send", short, "--port", port, "--pause", "0"], env=e)
                       for port, e in targets]
            for (port, _), p in zip(targets, senders):
                _, err = check.finish(p, SEND_S, f"round {round_ + 1}, sysex_tool send to {port}")
                if p.returncode != 0:
                    check.fail(f"round {round_ + 1}, sysex_tool send to {port}: "
                               f"{exit_text(p.returncode)}: {err[-2000:]}")
        for lane in lanes[:2]:
            compare(check, f"{rounds} sends to {lane.name}", lane.collect(check, data * rounds),
                    data * rounds, paced=False)
        arrived_far = 0
        for lane in far:
            events = lane.finish(check)
            wrong = [e for e in events if e != data]
            if wrong:
                check.fail(f"{lane.name}: {len(wrong)} events other than the {len(data)} bytes "
                           f"sent, the first {wrong[0][:16].hex(' ')}")
            arrived_far += len(events)
        stop_jackd(jackd2)
        s.done(f"{rounds} rounds of four senders, two on each of two servers, the opening of "
               f"their clients stretched: each exits 0; {2 * rounds} messages arrived here, "
               f"{arrived_far} of {2 * rounds} on the other server, each whole")

    with Stage(check, "missing port") as s:
        r = check.run([tool, "send", files[0], "--port", "nowhere"], QUICK_S,
                      "sysex_tool send --port nowhere", env=env, text=True)
        if r.returncode != 1 or "nowhere" not in r.stderr:
            check.fail(f"send to a missing port: {exit_text(r.returncode)}, {r.stderr!r}")
        # "lane" is a part of the four lanes' names: none is chosen, all are listed.
        r = check.run([tool, "send", files[0], "--port", "lane", "--raw"], QUICK_S,
                      "sysex_tool send --port lane", env=env, text=True)
        if (r.returncode != 1 or '"lane" fits 4 output ports: ' not in r.stderr
                or not all(f'"{lane.name}"' in r.stderr for lane in lanes)):
            check.fail(f"send to a part of four names: {exit_text(r.returncode)}, {r.stderr!r}")
        s.done("exit 1, the port named; a part of four names lists the four")

    def start_receiver(port, out, times):
        """sysex_tool receive on `port`, once its own port "Byteloom:in" is connected to it.

        `times`: its options for the wait and the silence; a silence long enough
        for a sender held up on a loaded machine."""
        receiver = check.start([tool, "receive", "--port", port, "--out", out] + times, env=env)
        check.wait_until(f"sysex_tool receive's port Byteloom:in, connected to {port}",
                         lambda: (receiver.poll() is not None
                                  or "Byteloom:in" in check.connections(env, port)),
                         QUICK_S)
        if receiver.poll() is not None:
            _, err = check.finish(receiver, QUICK_S, "sysex_tool receive")
            check.fail(f"sysex_tool receive --port {port} opened no port: "
                       f"{exit_text(receiver.returncode)}: {err[-2000:]}")
        return receiver

    def start_said_receiver(port, out, times):
        """start_receiver, with its stderr read line by line as it comes."""
        receiver = start_receiver(port, out, times)
        return receiver, SaidLines(receiver.stderr)

    def finish_said(receiver, said, what):
        """Exit status and stdout of a receiver started by start_said_receiver."""
        try:
            receiver.wait(SESSION_S)
        except subprocess.TimeoutExpired:
            receiver.kill()
            receiver.wait(QUICK_S)
            check.fail(f"{what} did not finish within {SESSION_S} s; it said {said.text()!r}")
        said.done()
        return receiver.returncode, receiver.stdout.read()

    def check_received(what, receiver, out, expected):
        _, err = check.finish(receiver, SESSION_S, what)
        if receiver.returncode != 0:
            check.fail(f"{what}: {exit_text(receiver.returncode)}: {err[-2000:]}")
        got = file_bytes(out)
        if got != expected:
            n = next((i for i in range(min(len(got), len(expected))) if got[i] != expected[i]),
                     min(len(got), len(expected)))
            check.fail(f"{what}: {len(got)} bytes received for {len(expected)}, "
                       f"first difference at {n}")

    # sysex_tool receives what an independent sender sends: the files cut
    # into MIDI messages by python3-mido, each message sent whole by
    # python3-rtmidi (which takes no message in pieces, so only files whose
    # messages fit one JACK event of its own are used), into a hex dump. The
    # player's port feeds the recorder too, and the player sends no more
    # than 4 KB before the recorder has it: RtMidi's queue never holds more
    # than a period of JACK takes.
    player = rtmidi.MidiOut(rtmidi.API_UNIX_JACK, name="player")
    player.open_port(player.get_ports().index("recorder:in"), "out")
    with Stage(check, "sysex_tool receive") as s:
        messages, used = [], []
        for path in files:
            parsed = [bytes(m.bytes()) for m in mido.parse_all(file_bytes(path))]
            if parsed and max(len(m) for m in parsed) <= 4096:
                messages += parsed
                used.append(os.path.basename(path))
        out = os.path.join(work, "received.txt")
        # The older form: --timeout is both the wait and the silence.
        receiver = start_receiver("player:out", out, ["--timeout", "6"])
        batch = []
        for k, message in enumerate(messages):
            player.send_message(message)
            batch.append(message)
            if k + 1 == len(messages) or sum(map(len, batch)) + len(messages[k + 1]) > 4096:
                recorder.collect(check, b"".join(batch))
                batch = []
        expected = b"".join(messages)
        check_received("sysex_tool receive", receiver, out, expected)
        s.done(f"{len(messages)} messages, {len(expected)} bytes of {len(used)} files, "
               f"saved as a hex dump, intact")

    # sysex_tool to sysex_tool: the receiver's own port ("Byteloom:in") is an
    # input port the sender can choose (the receiver listens to the silent
    # player). The raw files of the module's size, one after the other in
    # one file, whole.
    with Stage(check, "sysex_tool send to sysex_tool receive") as s:
        corpus = os.path.join(work, "corpus.syx")
        raws = [f for f in files if f.endswith(".syx") and len(file_bytes(f)) <= MODULE_MAX_BYTES]
        expected = b"".join(file_bytes(f) for f in raws)
        with open(corpus, "wb") as f:
            f.write(expected)
        out = os.path.join(work, "received.syx")
        # No limit on the wait: the check's own limit for the session holds.
        receiver = start_receiver("player:out", out, ["--silence", "6"])
        send(corpus, "Byteloom:in", FAST_PAUSE_MS, "sysex_tool send corpus.syx to Byteloom:in",
             raw=not only_complete_messages(expected))
        check_received("sysex_tool send | receive", receiver, out, expected)
        s.done(f"{len(raws)} files, {len(expected)} bytes, byte for byte")

    # Ctrl-C ends a recording that waits with no limit and no end by silence:
    # what was received is saved; with nothing received, nothing is written.
    with Stage(check, "sysex_tool receive stopped by Ctrl-C") as s:
        message = bytes([0xF0, 0x7D] + list(range(40)) + [0xF7])
        out = os.path.join(work, "stopped.syx")
        receiver, said = start_said_receiver("player:out", out, ["--silence", "600"])
        check.wait_until("sysex_tool receive to say it waits for the first byte",
                         lambda: said.holds("waiting for the first byte"), QUICK_S, said.text)
        player.send_message(message)
        recorder.collect(check, message)
        check.wait_until("sysex_tool receive to say it records",
                         lambda: said.holds("recording"), ARRIVAL_S, said.text)
        receiver.send_signal(signal.SIGINT)
        code, printed = finish_said(receiver, said, "sysex_tool receive stopped while recording")
        if (code != 0 or printed != f"{len(message)} bytes received\n"
                or "stopped; what was received is saved" not in said.text()):
            check.fail(f"stopped while recording: {exit_text(code)}, stdout {printed!r}, "
                       f"stderr {said.text()!r}")
        if file_bytes(out) != message:
            check.fail(f"stopped while recording: {file_bytes(out).hex(' ')} saved for "
                       f"{message.hex(' ')}")
        idle = os.path.join(work, "idle.syx")
        receiver, said = start_said_receiver("player:out", idle, [])
        check.wait_until("sysex_tool receive to say it waits for the first byte",
                         lambda: said.holds("waiting for the first byte"), QUICK_S, said.text)
        receiver.send_signal(signal.SIGINT)
        code, printed = finish_said(receiver, said, "sysex_tool receive stopped while waiting")
        if (code != 1 or "stopped; nothing received, nothing written" not in said.text()
                or os.path.exists(idle)):
            check.fail(f"stopped while waiting: {exit_text(code)}, stderr {said.text()!r}, "
                       f"a file written: {os.path.exists(idle)}")
        s.done(f"stopped while recording: exit 0, the message of {len(message)} bytes saved; "
               f"stopped while waiting: exit 1, nothing written")
    player.close_port()


if __name__ == "__main__":
    sys.exit(main())
