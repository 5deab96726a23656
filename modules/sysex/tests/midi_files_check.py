"""sysex_tool on Standard MIDI Files, against an independent writer and reader
(Debian's python3-mido).

Usage: /usr/bin/python3 midi_files_check.py SYSEX_TOOL

Files that mido writes, with System Exclusive messages in several tracks
between notes (which mido writes with running status), tempo changes and
meta events, go through `sysex_tool syx`; what comes out must be the
System Exclusive messages mido reads back from the same file, message for
message, in mido's merged time order. mido writes each message as one event,
so the long ones are then cut into an F0 event and F7 packets in the file's
bytes (and a short one rewritten as an escape event): the output must stay
the same. Then the command line: malformed files named by their byte offset,
MIDI files told by their header rather than their name, and --timing's rules.
No MIDI port is opened: the port names asked for exist nowhere.
"""
import json
import os
import random
import struct
import subprocess
import sys
import tempfile
import unittest
import uuid

import mido

TOOL = os.path.abspath(sys.argv[1])
LIMIT_S = 60  # per run; each takes well under a second
NOWHERE = f'no-such-port-{uuid.uuid4().hex[:8]}'


def tool(*args, stdin=b''):
    env = dict(os.environ, JACK_NO_START_SERVER='1',
               JACK_DEFAULT_SERVER=f'midi_files_check_{os.getpid()}')
    return subprocess.run([TOOL, *args], input=stdin, capture_output=True, env=env,
                          timeout=LIMIT_S)


def messages_of(data):
    """Cuts bytes after every 0xF7."""
    out, start = [], 0
    for i, b in enumerate(data):
        if b == 0xF7:
            out.append(bytes(data[start:i + 1]))
            start = i + 1
    assert start == len(data), 'bytes after the last F7'
    return out


def variable(n):
    out = [n & 0x7F]
    n >>= 7
    while n:
        out.insert(0, (n & 0x7F) | 0x80)
        n >>= 7
    return bytes(out)


def song(rng, tracks=3, messages=12, long_every=4):
    """A format 1 file: a tempo track, and tracks of notes, controllers and
    System Exclusive messages (every `long_every`-th one 300 to 900 bytes),
    some at the same tick as another track's."""
    mid = mido.MidiFile(type=1, ticks_per_beat=480)
    conductor = mido.MidiTrack([
        mido.MetaMessage('track_name', name='conductor'),
        mido.MetaMessage('time_signature', numerator=4, denominator=4),
        mido.MetaMessage('set_tempo', tempo=500000),
        mido.MetaMessage('set_tempo', tempo=400000, time=960),
        mido.MetaMessage('set_tempo', tempo=600000, time=960),
    ])
    mid.tracks.append(conductor)
    for t in range(tracks):
        track = mido.MidiTrack([mido.MetaMessage('track_name', name=f'part {t}')])
        for k in range(messages):
            # Notes on one channel in a row: written with running status.
            for n in range(4):
                track.append(mido.Message('note_on', channel=t, note=60 + n, velocity=64,
                                          time=rng.randrange(0, 60)))
            track.append(mido.Message('control_change', channel=t, control=7, value=100))
            size = rng.randrange(300, 900) if k % long_every == 0 else rng.randrange(0, 40)
            track.append(mido.Message('sysex', data=[rng.randrange(128) for _ in range(size)],
                                      time=rng.choice([0, 0, 120])))
            for n in range(4):
                track.append(mido.Message('note_off', channel=t, note=60 + n, time=10))
        mid.tracks.append(track)
    return mid


def split_into_packets(data, sysex_events, packet=100):
    """The file `data` with each of the System Exclusive messages `sysex_events`
    (mido messages, as mido wrote them: F0, length, data, F7) cut into an F0
    event of `packet` data bytes and F7 events at delta 0 of the rest, a
    note-off between the first two; the track lengths mended."""
    data = bytearray(data)
    for message in sysex_events:
        body = bytes(message.data) + b'\xf7'
        written = b'\xf0' + variable(len(body)) + body
        at = data.find(written)
        assert at > 0 and data.find(written, at + 1) < 0, 'a message not found once'
        pieces = [body[i:i + packet] for i in range(0, len(body), packet)]
        events = b'\xf0' + variable(len(pieces[0])) + pieces[0]
        events += b'\x00\x80\x3c\x00'  # a note-off between packets, with a status of its own
        for piece in pieces[1:]:
            events += b'\x00\xf7' + variable(len(piece)) + piece
        data[at:at + len(written)] = events
        grow_track(data, at, len(events) - len(written))
    return bytes(data)


def as_escape(data, message):
    """The file `data` with the System Exclusive message `message` written as
    an escape event (F7, length, the whole message) instead."""
    data = bytearray(data)
    body = bytes(message.data) + b'\xf7'
    written = b'\xf0' + variable(len(body)) + body
    at = data.find(written)
    assert at > 0 and data.find(written, at + 1) < 0, 'the message not found once'
    escape = b'\xf7' + variable(len(body) + 1) + b'\xf0' + body
    data[at:at + len(written)] = escape
    grow_track(data, at, len(escape) - len(written))
    return bytes(data)


def grow_track(data, at, by):
    """Adds `by` to the length of the track chunk holding offset `at`."""
    pos = 8 + struct.unpack('>I', data[4:8])[0]
    while pos < len(data):
        size = struct.unpack('>I', data[pos + 4:pos + 8])[0]
        if pos < at < pos + 8 + size:
            data[pos + 4:pos + 8] = struct.pack('>I', size + by)
            return
        pos += 8 + size
    raise AssertionError('no track holds the offset')


class Case(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def path(self, name):
        return os.path.join(self.dir.name, name)

    def write(self, name, contents):
        with open(self.path(name), 'wb') as f:
            f.write(contents)
        return self.path(name)

    def extracted(self, source):
        """sysex_tool syx of `source`: the messages, and what it said on stderr."""
        out = self.path('out.syx')
        run = tool('syx', source, out)
        self.assertEqual(run.returncode, 0, run.stderr)
        with open(out, 'rb') as f:
            data = f.read()
        self.assertEqual(run.stdout.decode(), f'{len(data)} bytes\n')
        return messages_of(data), run.stderr.decode()


class AgainstMido(Case):
    def mido_sysex(self, path):
        """The System Exclusive messages mido reads from `path`, in its merged time order."""
        return [bytes(m.bin()) for m in mido.MidiFile(path) if m.type == 'sysex']

    def test_messages_of_every_track_in_time_order(self):
        for seed in range(3):
            with self.subTest(seed=seed):
                mid = song(random.Random(seed))
                path = self.path('song.mid')
                mid.save(path)
                expected = self.mido_sysex(path)
                read_back = mido.MidiFile(path)
                with open(path, 'rb') as f:
                    contents = f.read()
                # With running status a note-on status byte stands before
                # each run of four notes only.
                notes = sum(1 for t in read_back.tracks for m in t if m.type == 'note_on')
                statuses = sum(contents.count(bytes([0x90 + t])) for t in range(3))
                self.assertLessEqual(statuses, notes // 2, 'no running status in the file')
                # The tracks' messages interleave: the order is the merged one.
                by_track = [bytes(m.bin()) for t in read_back.tracks for m in t
                            if m.type == 'sysex']
                self.assertNotEqual(expected, by_track)
                got, said = self.extracted(path)
                self.assertEqual(len(got), len(expected))
                for k, (ours, theirs) in enumerate(zip(got, expected)):
                    self.assertEqual(ours, theirs, f'message {k + 1}')
                others = sum(len(t) for t in read_back.tracks) - len(expected)
                self.assertEqual(said, f'sysex_tool: {path}: {len(expected)} System Exclusive '
                                 f'messages taken, {others} other events left out\n')

    def test_long_messages_in_f7_packets_and_escapes_join_as_mido_wrote_them(self):
        mid = song(random.Random(7), tracks=2, messages=8, long_every=2)
        whole = self.path('whole.mid')
        mid.save(whole)
        expected = self.mido_sysex(whole)
        sysex = [m for t in mid.tracks for m in t if m.type == 'sysex']
        long_ones = [m for m in sysex if len(m.data) >= 300]
        short_ones = [m for m in sysex if 10 < len(m.data) < 40]
        self.assertGreaterEqual(len(long_ones), 4)
        with open(whole, 'rb') as f:
            split = split_into_packets(f.read(), long_ones)
        split = as_escape(split, short_ones[0])
        path = self.write('split.mid', split)
        # mido reads each packet as a message of its own: the split is in the file.
        self.assertGreater(len(self.mido_sysex(path)), len(expected) + len(long_ones))
        got, said = self.extracted(path)
        self.assertEqual(len(got), len(expected))
        for k, (ours, theirs) in enumerate(zip(got, expected)):
            self.assertEqual(ours, theirs, f'message {k + 1}')
        self.assertIn(f'{len(expected)} System Exclusive messages taken', said)
        self.assertNotIn('escape', said)  # the escape held a whole message: taken


    def test_info_lists_the_messages_mido_reads(self):
        mid = song(random.Random(11), tracks=3, messages=6)
        path = self.path('bank.mid')
        mid.save(path)
        expected = self.mido_sysex(path)
        run = tool('info', path, '--json')
        self.assertEqual(run.returncode, 0, run.stderr)
        report = json.loads(run.stdout)
        lengths = [m['length'] for m in report['messages']]
        self.assertEqual(lengths, [len(m) for m in expected])
        self.assertEqual(report['summary']['problems'], 0)
        self.assertIn(f'{len(expected)} System Exclusive messages taken', run.stderr.decode())


class CommandLine(Case):
    def mido_file(self, name, messages=4):
        mid = song(random.Random(3), tracks=1, messages=messages)
        path = self.path(name)
        mid.save(path)
        return path

    def test_malformed_files_are_named_by_their_byte_offset(self):
        with open(self.mido_file('good.mid'), 'rb') as f:
            good = f.read()
        header = good[:14]
        first_track = 14 + 8 + struct.unpack('>I', good[18:22])[0]  # the conductor's end
        cases = [
            ('cut.mid', good[:first_track + 40],
             f'byte 0x{first_track + 4:X}: chunk "MTrk" of '),
            ('long_number.mid', header[:10] + b'\x00\x01' + header[12:] + b'MTrk\x00\x00\x00\x09'
             b'\x00\x90\x3c\x40\x81\x82\x83\x84\x00', 'byte 0x1A: variable-length number longer '
             'than 4 bytes\n'),
            ('no_status.mid', header[:10] + b'\x00\x01' + header[12:] + b'MTrk\x00\x00\x00\x03'
             b'\x00\x3c\x40', 'byte 0x17: running status with no prior status'),
        ]
        for name, contents, said in cases:
            with self.subTest(name):
                path = self.write(name, contents)
                out = self.path('out.syx')
                run = tool('syx', path, out)
                self.assertEqual(run.returncode, 1)
                self.assertTrue(run.stderr.decode().startswith(
                    f'sysex_tool: cannot read {path}: {said}'), run.stderr)
                self.assertFalse(os.path.exists(out))
                run = tool('send', path, '--port', NOWHERE, '--timing', 'file')
                self.assertEqual(run.returncode, 1)
                self.assertIn(said, run.stderr.decode())
                self.assertNotIn('port', run.stderr.decode())

    def test_a_midi_file_is_told_by_its_header_not_its_name(self):
        path = self.mido_file('song.mid')
        with open(path, 'rb') as f:
            contents = f.read()
        expected, _ = self.extracted(path)
        self.assertTrue(expected)
        self.assertEqual(self.extracted(self.write('song.bin', contents))[0], expected)
        run = tool('syx', '-', '-', stdin=contents)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(messages_of(run.stdout), expected)
        self.assertTrue(run.stderr.decode().startswith(
            'sysex_tool: standard input: 4 System Exclusive messages taken, '))
        # Named .mid without the header: an error, not raw bytes.
        fake = self.write('fake.MID', b'\xf0\x01\xf7')
        run = tool('txt', fake, '-')
        self.assertEqual(run.returncode, 1)
        self.assertEqual(run.stderr.decode(), f'sysex_tool: cannot read {fake}: byte 0x0: no MThd '
                         'header: not a Standard MIDI File\n')

    def test_format_2_is_refused(self):
        path = self.mido_file('song.mid')
        with open(path, 'rb') as f:
            contents = bytearray(f.read())
        contents[8:10] = b'\x00\x02'
        run = tool('syx', self.write('format2.mid', contents), '-')
        self.assertEqual(run.returncode, 1)
        self.assertIn('byte 0x8: format 2 (independent sequences with no common time) is not '
                      'read', run.stderr.decode())

    def test_send_takes_the_file_times_or_a_pause_not_both(self):
        song_path = self.mido_file('song.mid')
        # A good file goes on to the port, after saying what it took.
        for extra in ([], ['--timing', 'file'], ['--pause', '5']):
            with self.subTest(extra=extra):
                run = tool('send', song_path, '--port', NOWHERE, *extra)
                err = run.stderr.decode()
                self.assertEqual(run.returncode, 1, err)
                self.assertIn(f'{song_path}: 4 System Exclusive messages taken', err)
                self.assertIn(f'no output port called "{NOWHERE}"', err)
        run = tool('send', song_path, '--port', NOWHERE, '--timing', 'file', '--pause', '60')
        self.assertEqual(run.returncode, 2)
        self.assertIn('--pause excludes --timing', run.stderr.decode())
        run = tool('send', song_path, '--port', NOWHERE, '--timing', 'now')
        self.assertEqual(run.returncode, 2)
        # Files of other forms have no times.
        bank = self.write('bank.syx', b'\xf0\x01\xf7')
        run = tool('send', bank, '--port', NOWHERE, '--timing', 'file')
        self.assertEqual(run.returncode, 2)
        self.assertEqual(run.stderr.decode(),
                         f'sysex_tool: --timing file: {bank} is no Standard MIDI File (no MThd '
                         'header), so its messages have no times; --pause MS spaces them\n')
        # A MIDI file of no System Exclusive message sends nothing.
        mid = mido.MidiFile(type=0)
        mid.tracks.append(mido.MidiTrack([mido.Message('note_on', note=60)]))
        empty = self.path('notes.mid')
        mid.save(empty)
        run = tool('send', empty, '--port', NOWHERE)
        self.assertEqual(run.returncode, 1)
        self.assertEqual(run.stderr.decode(),
                         f'sysex_tool: {empty}: 0 System Exclusive messages taken, 2 other events '
                         f'left out\nsysex_tool: nothing sent: {empty} holds no System Exclusive '
                         'message\n')


if __name__ == '__main__':
    result = unittest.main(argv=sys.argv[:1], verbosity=2, exit=False).result
    sys.exit(0 if result.wasSuccessful() else 1)
