"""Byteloom's MIDI byte files against an independent reader and writer (mido).

Usage: /usr/bin/python3 mido_check.py SYSEX_TOOL [SAMPLE_DIR]

Checks both directions through sysex_tool, which loads a file and saves it
the way the module does (but every byte, beyond the module's byte array):
hex dumps that we write read back in mido as the same messages, and mido's
raw and plain-text files load in our code as the same bytes. Files are
written whole or not at all, also over the input itself. The sample files are used when SAMPLE_DIR exists; otherwise
those cases say they were skipped, and the program ends with SKIPPED_EXIT
(77) when everything that ran passed, so that ctest reports the run as
skipped rather than passed.
"""
import os
import random
import resource
import signal
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
        for plaintext in (False, True):
            mido_file = self.path('mido.syx')
            mido.write_syx_file(mido_file, messages, plaintext=plaintext)
            self.assertEqual(self.read(self.tool('syx', mido_file)), expected,
                             f'{label}: mido file, plaintext={plaintext}')
            self.assertEqual(self.last_output, f'{len(expected)} bytes\n')
            self.assertEqual(mido.read_syx_file(self.tool('txt', mido_file)), messages,
                             f'{label}: our dump of the mido file, plaintext={plaintext}')

    def test_made_up_messages(self):
        for messages in made_up_message_sets():
            self.check_both_directions(messages, f'{len(messages)} made-up messages')

    def test_banks_beyond_the_module_byte_array_convert_whole(self):
        # 257 messages of 521 bytes: 133,897 bytes, past the 131,072 of the
        # module's byte array.
        messages = [sysex([n % 128] * 519) for n in range(257)]
        self.assertGreater(sum(len(m.bin()) for m in messages), BYTE_ARRAY_SIZE)
        self.check_both_directions(messages, 'a bank of 257 messages')

    def test_failed_write_keeps_the_old_file_even_when_it_is_the_input(self):
        bank = self.path('bank.syx')
        mido.write_syx_file(bank, [sysex([n % 128] * 519) for n in range(257)])
        before = self.read(bank)

        def small_files():  # writes past 4096 bytes fail in the tool
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (4096, 4096))

        for form in ('syx', 'txt'):
            run = subprocess.run([TOOL, form, bank, bank], capture_output=True, text=True,
                                 preexec_fn=small_files)
            self.assertEqual(run.returncode, 1, form)
            self.assertIn('cannot write', run.stderr)
            self.assertEqual(self.read(bank), before, form)
            self.assertEqual(sorted(os.listdir(self.dir.name)), ['bank.syx'], form)
        # Unhindered, in place: the same bytes again.
        run = subprocess.run([TOOL, 'syx', bank, bank], capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(self.read(bank), before)

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
            self.assertEqual(mido.read_syx_file(self.tool('txt', original)), messages, name)


def sysex_in_raw_file(path):
    """mido's System Exclusive messages of a raw file, whatever its first byte."""
    parser = mido.Parser()
    with open(path, 'rb') as f:
        parser.feed(f.read())
    return [m for m in parser if m.type == 'sysex']


if __name__ == '__main__':
    result = unittest.main(argv=sys.argv[:1], verbosity=2, exit=False).result
    if not result.wasSuccessful():
        sys.exit(1)
    sys.exit(SKIPPED_EXIT if result.skipped else 0)
