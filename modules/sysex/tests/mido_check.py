"""Byteloom's MIDI byte files against an independent reader and writer (mido).

Usage: /usr/bin/python3 mido_check.py SYSEX_TOOL [SAMPLE_DIR]

Checks both directions through sysex_tool, which loads a file and saves it
the way the module does: hex dumps that we write read back in mido as the
same messages, and mido's raw and plain-text files load in our code as the
same bytes. The sample files are used when SAMPLE_DIR exists; otherwise
those cases say they were skipped, and the program ends with SKIPPED_EXIT
(77) when everything that ran passed, so that ctest reports the run as
skipped rather than passed.
"""
import os
import random
import subprocess
import sys
import tempfile
import unittest

import mido

TOOL = sys.argv[1]
SAMPLES = sys.argv[2] if len(sys.argv) > 2 else ''
BYTE_ARRAY_SIZE = 131072
SKIPPED_EXIT = 77


def sysex(data):
    return mido.Message('sysex', data=data)


def made_up_message_sets():
    rng = random.Random(5)
    sets = [[sysex([rng.randrange(128) for _ in range(n)])] for n in range(0, 41)]
    sets.append([sysex([n] * n) for n in range(0, 30)])  # many short messages
    sets.append([sysex(list(range(14))), sysex(list(range(30)))])  # 16 + 32 bytes
    return sets


class MidoRoundTrip(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def path(self, name):
        return os.path.join(self.dir.name, name)

    def tool(self, form, source):
        """Loads source with our code, saves it as form; returns the new file's path."""
        target = self.path('ours.' + form)
        run = subprocess.run([TOOL, form, source, target], capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.last_output = run.stdout
        return target

    def read(self, path):
        with open(path, 'rb') as f:
            return f.read()

    def check_both_directions(self, messages, label):
        """Our dump of the messages reads back in mido; mido's files load in ours."""
        expected = b''.join(bytes(m.bin()) for m in messages)
        kept = expected[:BYTE_ARRAY_SIZE]
        whole = [m for m, end in zip(messages, ends(messages)) if end <= BYTE_ARRAY_SIZE]
        for plaintext in (False, True):
            mido_file = self.path('mido.syx')
            mido.write_syx_file(mido_file, messages, plaintext=plaintext)
            self.assertEqual(self.read(self.tool('syx', mido_file)), kept,
                             f'{label}: mido file, plaintext={plaintext}')
            self.assertEqual(mido.read_syx_file(self.tool('txt', mido_file)), whole,
                             f'{label}: our dump of the mido file, plaintext={plaintext}')
            self.assertEqual('cut' in self.last_output, len(expected) > BYTE_ARRAY_SIZE)

    def test_made_up_messages(self):
        for messages in made_up_message_sets():
            self.check_both_directions(messages, f'{len(messages)} made-up messages')

    def test_sample_files(self):
        if not os.path.isdir(SAMPLES):
            self.skipTest(f'sample folder {SAMPLES!r} is absent')
        names = sorted(n for n in os.listdir(SAMPLES) if n.endswith('.syx'))
        self.assertTrue(names)
        for name in names:
            original = os.path.join(SAMPLES, name)
            messages = sysex_in_raw_file(original)
            self.assertTrue(messages, name)
            self.check_both_directions(messages, name)
            # The file itself, program changes and all, as a dump read by mido.
            within = [m for m, end in zip(messages, ends_in_file(self.read(original), messages))
                      if end <= BYTE_ARRAY_SIZE]
            self.assertEqual(mido.read_syx_file(self.tool('txt', original)), within, name)


def sysex_in_raw_file(path):
    """mido's System Exclusive messages of a raw file, whatever its first byte."""
    parser = mido.Parser()
    with open(path, 'rb') as f:
        parser.feed(f.read())
    return [m for m in parser if m.type == 'sysex']


def ends(messages):
    total = 0
    for m in messages:
        total += len(m.bin())
        yield total


def ends_in_file(contents, messages):
    """Where each message of a raw file ends in it (bytes between messages counted)."""
    position = 0
    for m in messages:
        position = contents.index(bytes(m.bin()), position) + len(m.bin())
        yield position


if __name__ == '__main__':
    result = unittest.main(argv=sys.argv[:1], verbosity=2, exit=False).result
    if not result.wasSuccessful():
        sys.exit(1)
    sys.exit(SKIPPED_EXIT if result.skipped else 0)
