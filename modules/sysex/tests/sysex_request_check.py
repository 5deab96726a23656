#!/usr/bin/env python3
"""sysex_tool receive --request against a device that answers at once.

Starts a JACK server of its own (as jack_ports_check.py does, whose server
and step helpers it uses; the server's output in SERVER_LOG) and a stand-in
device made with an independent MIDI library (python3-rtmidi): an input port
"synth_in:midi" and an output port "synth_out:midi" (two JACK clients: each
RtMidi port is a client of its own). When the request arrives on
synth_in:midi, the device sends its dump on synth_out:midi at
once, from the callback that received the request, as a real device's
firmware answers. An answer sent before the receiver's input port is open
is lost, so the file holds the dump only when sysex_tool opens its input
before the request goes out.

Checked: the device received exactly the request; the file holds exactly
the dump; the output port found from the input port's name (synth_out:midi
turned round) and the one named by --to; --expect N ends the recording at
the N-th message without waiting for the silence, and fewer messages than
expected are an error; what sysex_tool says and its exit status.

Every run and every wait has a time limit of its own, and the whole check
one more (CHECK_LIMIT_S). Exit 77 (skipped) only when jackd or
python3-rtmidi is missing.

usage: sysex_request_check.py SYSEX_TOOL SERVER_LOG
"""
import os
import shutil
import sys
import tempfile
import threading
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import jack_ports_check as jack  # noqa: E402  (the server and the step helpers)

CHECK_LIMIT_S = 90  # the whole check; ctest's limit for the entry is 120 s
RUN_S = 30          # one sysex_tool receive, from its start to its exit
REQUEST_S = 10      # until the device has received the request


def roland_data_set(address, data):
    """A Roland data set (DT1) for device 10, model 42, with its checksum."""
    body = bytes(address) + bytes(data)
    return bytes([0xF0, 0x41, 0x10, 0x42, 0x12]) + body + bytes([(-sum(body)) % 128, 0xF7])


REQUEST = bytes([0xF0, 0x41, 0x10, 0x42, 0x11, 0x40, 0x00, 0x00, 0x00, 0x00, 0x60, 0x60, 0xF7])
# The dump: three messages of a few hundred bytes, one JACK period's worth.
DUMP = [roland_data_set([0x40, 0x00, k * 0x20], [(k * 31 + i) % 128 for i in range(96 + k * 64)])
        for k in range(3)]


class Device:
    """The stand-in synth: answers a request on synth_in:midi with DUMP on synth_out:midi."""

    def __init__(self, rtmidi):
        self.lock = threading.Lock()
        self.heard = b""
        self.answers = 0
        self.out = rtmidi.MidiOut(rtmidi.API_UNIX_JACK, name="synth_out")
        self.out.open_virtual_port("midi")
        self.inp = rtmidi.MidiIn(rtmidi.API_UNIX_JACK, name="synth_in", queue_size_limit=1 << 12)
        self.inp.ignore_types(sysex=False, timing=True, active_sense=True)
        self.inp.set_callback(self._received)
        self.inp.open_virtual_port("midi")

    def _received(self, event, _):
        message, _ = event
        with self.lock:
            # The request may come in pieces, as a long message does.
            self.heard += bytes(message)
            answer = self.heard.endswith(REQUEST)
            if answer:
                self.answers += 1
        if answer:
            for m in DUMP:
                self.out.send_message(m)

    def take(self):
        with self.lock:
            heard, self.heard, self.answers = self.heard, b"", 0
        return heard

    def answered(self):
        with self.lock:
            return self.answers

    def close(self):
        self.inp.close_port()
        self.out.close_port()


def main():
    tool, server_log = sys.argv[1:3]
    sys.stdout.reconfigure(line_buffering=True)
    try:
        import rtmidi
    except ImportError:
        print("SKIPPED: python3-rtmidi is not installed (scripts/bootstrap)")
        return 77
    if not shutil.which("jackd"):
        print("SKIPPED: jackd is not installed (scripts/bootstrap)")
        return 77
    server = f"sysex_request_check_{os.getpid()}"
    os.environ.update(JACK_DEFAULT_SERVER=server, JACK_NO_START_SERVER="1")
    env = dict(os.environ)
    check = jack.Check(server_log)
    jack.CHECK_LIMIT_S = CHECK_LIMIT_S
    timer = jack.watchdog(check)
    work = tempfile.mkdtemp(prefix="sysex_request_")
    device = None
    try:
        with jack.Stage(check, "server") as s:
            jack.start_server(check, env, server)
            s.done(f"jackd -n {server} lists its ports")
        device = Device(rtmidi)
        run(check, env, tool, device, work)
        print(f"[{check.elapsed():6.1f} s] passed")
        return 0
    except jack.Failure as e:
        print(f"FAIL: {e}\n{check.server_state()}")
        return 1
    except Exception:
        traceback.print_exc(file=sys.stdout)
        print(f"FAIL: {check.stage}: an exception\n{check.server_state()}")
        return 1
    finally:
        check.stop_children()
        if device is not None:
            device.close()
        if check.jackd is not None:
            check.jackd.terminate()
            try:
                check.jackd.wait(jack.QUICK_S)
            except Exception:
                check.jackd.kill()
                check.jackd.wait(jack.QUICK_S)
        shutil.rmtree(work, ignore_errors=True)
        timer.cancel()


def run(check, env, tool, device, work):
    request = os.path.join(work, "request.syx")
    with open(request, "wb") as f:
        f.write(REQUEST)

    def receive(name, extra):
        """sysex_tool receive --request on synth_out:midi into `name`: (exit, stdout, stderr, file)."""
        out = os.path.join(work, name)
        p = check.start([tool, "receive", "--port", "synth_out:midi", "--request", request,
                         "--out", out, "--wait", "10"] + extra, env=env)
        stdout, stderr = check.finish(p, RUN_S, f"sysex_tool receive {' '.join(extra)}")
        check.wait_until("the device to have answered the request once",
                         lambda: device.answered() == 1, REQUEST_S)
        heard = device.take()
        if heard != REQUEST:
            check.fail(f"the device received {heard.hex(' ')} for the request {REQUEST.hex(' ')}")
        got = None
        if os.path.exists(out):
            with open(out, "rb") as f:
                got = f.read()
        return p.returncode, stdout, stderr, got

    def expect_file(what, code, stdout, stderr, got, wanted):
        if code != 0 or got != wanted or stdout != f"{len(wanted)} bytes received\n":
            check.fail(f"{what}: {jack.exit_text(code)}, stdout {stdout!r}, "
                       f"{'no file' if got is None else f'{len(got)} bytes'} for "
                       f"{len(wanted)}; it said: {stderr[-1500:]}")

    dump = b"".join(DUMP)
    with jack.Stage(check, "receive --request, the output found from the input") as s:
        code, stdout, stderr, got = receive("dump.syx", ["--silence", "0.5"])
        expect_file("receive --request", code, stdout, stderr, got, dump)
        said = [f'sysex_tool: request of {len(REQUEST)} bytes sent to "synth_in:midi"',
                'sysex_tool: waiting up to 10 s for the first byte on "synth_out:midi"',
                "sysex_tool: recording; 0.5 s of silence end it"]
        for line in said:
            if line not in stderr:
                check.fail(f"receive --request did not say {line!r}; it said: {stderr!r}")
        s.done(f"the request reached synth_in:midi, the dump of {len(DUMP)} messages "
               f"({len(dump)} bytes) is the file, byte for byte")

    # A silence far beyond the check's limit: only the count can end this.
    # The output named by a part of its name in another case.
    with jack.Stage(check, "receive --request --to --expect") as s:
        code, stdout, stderr, got = receive(
            "two.syx", ["--to", "SYNTH_IN", "--expect", "2", "--silence", "600"])
        expect_file("--expect 2", code, stdout, stderr, got, b"".join(DUMP[:2]))
        if "recording; 2 messages end it, or 600 s of silence" not in stderr:
            check.fail(f"--expect 2 did not say what ends the recording: {stderr!r}")
        s.done("--expect 2 ends at its message, the silence of 600 s not waited for; the "
               "file holds the first two messages exactly, the third left out")

    # More expected than the device sends: the recording ends by silence,
    # what came is kept, and the shortfall is an error.
    with jack.Stage(check, "receive --request --expect more than comes") as s:
        code, stdout, stderr, got = receive("short.syx", ["--expect", "5", "--silence", "0.5"])
        if (code != 1 or got != dump
                or "3 messages of the 5 expected arrived" not in stderr):
            check.fail(f"--expect 5: {jack.exit_text(code)}, "
                       f"{'no file' if got is None else f'{len(got)} bytes'}; said {stderr!r}")
        s.done("exit 1, the 3 messages that came saved, the shortfall told")


if __name__ == "__main__":
    sys.exit(main())
