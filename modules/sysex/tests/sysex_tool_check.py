"""sysex_tool's command line where no MIDI port is needed: what send refuses
before it looks for a port, the checks receive makes before it records (with
and without a request to send first), what info reports of files, and
the conventions every command keeps (--version, "-" for standard input and
output, defaults in --help, numbers refused in plain words, "1 byte" and "2
bytes", "cannot read FILE: reason", exit 2 for a wrong command line).

Usage: /usr/bin/python3 sysex_tool_check.py SYSEX_TOOL [SAMPLE_DIR [CLASS,...]]

No port is opened: the runs are pointed at a JACK server name of this run's
own and told not to start one, and the port names asked for exist nowhere.
The sample files are used where SAMPLE_DIR exists; otherwise those cases say
they were skipped and the program ends with 77, so that ctest reports a skip.
"""
import json
import os
import subprocess
import sys
import tempfile
import unittest
import uuid

TOOL = os.path.abspath(sys.argv[1])
SAMPLES = sys.argv[2] if len(sys.argv) > 2 else ''
SKIPPED_EXIT = 77
LIMIT_S = 60  # per run; each takes well under a second
NOWHERE = f'no-such-port-{uuid.uuid4().hex[:8]}'


def tool(*args, stdin=b''):
    env = dict(os.environ, JACK_NO_START_SERVER='1',
               JACK_DEFAULT_SERVER=f'sysex_tool_check_{os.getpid()}')
    return subprocess.run([TOOL, *args], input=stdin, capture_output=True, env=env,
                          timeout=LIMIT_S)


class Case(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def file(self, name, contents):
        path = os.path.join(self.dir.name, name)
        with open(path, 'wb') as f:
            f.write(contents)
        return path

    def refused(self, run, *lines):
        """send said nothing was sent and why, in these lines, before any port."""
        err = run.stderr.decode()
        self.assertEqual(run.returncode, 1, err)
        for line in lines:
            self.assertIn(line, err)
        self.assertIn('--raw sends the bytes as they are', err)
        self.assertNotIn('port', err)
        self.assertEqual(run.stdout, b'')

    def went_on_to_the_port(self, run):
        err = run.stderr.decode()
        self.assertEqual(run.returncode, 1, err)
        self.assertIn(f'no output port called "{NOWHERE}"', err)
        self.assertNotIn('nothing sent', err)


class SendTakesCompleteMessagesOnly(Case):
    def test_a_program_is_refused_with_its_count_and_offset(self):
        program = self.file('ls', b'\x7fELF\x01\x01' + bytes(range(256)) * 4)
        run = tool('send', program, '--port', NOWHERE)
        self.refused(run, f'nothing sent: {program} holds no complete System Exclusive message '
                     '(F0 ... F7):\n', '  1026 bytes outside messages, the first at offset 0\n')

    def test_a_heading_line_of_a_hex_dump_is_refused_by_its_line(self):
        dump = self.file('annotated.txt', b'\r\n   cm tg ix\r\nF0 00 01 F7\r\n\r\nF0 02 F7\r\n')
        self.refused(tool('send', dump, '--port', NOWHERE),
                     '  3 bytes outside messages, the first at offset 0 (line 2)\n')
        if os.path.isdir(SAMPLES):
            sample = os.path.join(SAMPLES, 'pacer_a5_factory_annotated_hexdump.txt')
            self.refused(tool('send', sample, '--port', NOWHERE),
                         '  6 bytes outside messages, the first at offset 0 (line 1)\n')

    def test_program_changes_between_messages_are_refused(self):
        bank = self.file('bank.syx', b'\xf0\x01\xf7\xc0\x05\xf0\x02\xf7')
        self.refused(tool('send', bank, '--port', NOWHERE),
                     '  2 bytes outside messages, the first at offset 3\n')

    def test_a_message_without_its_f7_is_refused_with_its_offset(self):
        cases = [
            (b'\xf0\x01\xf7\xf0\x02\x03', 'the message begun at offset 3 has no F7: '
                                          'the file ends first\n'),
            (b'\xf0\x01\xf0\x02\xf7', 'the message begun at offset 0 has no F7: '
                                      'the F0 at offset 2 begins another\n'),
            (b'\xf0\x43\x90\x3c\x40\xf7', 'the message begun at offset 0 has no F7: '
                                          'the byte 90 at offset 2 cuts it\n'),
            (b'\xf0\x01\xf0\x02', '2 messages have no F7; the first, begun at offset 0: '
                                  'the F0 at offset 2 begins another\n'),
        ]
        for contents, said in cases:
            with self.subTest(contents.hex(' ')):
                self.refused(tool('send', self.file('cut.syx', contents), '--port', NOWHERE), said)

    def test_a_file_without_messages_is_an_error(self):
        empty = self.file('empty.syx', b'')
        self.refused_plain(tool('send', empty, '--port', NOWHERE), f'nothing sent: {empty} is empty\n')
        blank = self.file('blank.txt', b' ,\r\n')
        self.refused_plain(tool('send', blank, '--port', NOWHERE),
                           f'nothing sent: {blank} holds no bytes\n')
        prose = self.file('prose.txt', b'Please send the patch.\n')
        self.refused(tool('send', prose, '--port', NOWHERE),
                     f'nothing sent: {prose} holds no complete System Exclusive message',
                     '  4 bytes outside messages, the first at offset 0 (line 1)\n')
        # Not even with --raw: there is nothing to send.
        self.refused_plain(tool('send', empty, '--port', NOWHERE, '--raw'),
                           f'nothing sent: {empty} is empty\n')

    def refused_plain(self, run, said):
        self.assertEqual(run.returncode, 1)
        self.assertEqual(run.stderr.decode(), f'sysex_tool: {said}')

    def test_complete_messages_and_raw_bytes_go_on_to_the_port(self):
        good = self.file('good.syx', b'\xf0\x01\xf7\xf0\x02\x02\xf7')
        self.went_on_to_the_port(tool('send', good, '--port', NOWHERE))
        self.went_on_to_the_port(tool('send', '-', '--port', NOWHERE, stdin=b'F0 01 F7\r\n'))
        bank = self.file('bank.syx', b'\xc0\x05\xf0\x02\xf7\xf0')
        self.went_on_to_the_port(tool('send', bank, '--port', NOWHERE, '--raw'))
        self.refused(tool('send', '-', '--port', NOWHERE, stdin=b'\xc0\x05\xf0\x02\xf7'),
                     'nothing sent: standard input holds more than complete System Exclusive')


class ReceiveChecksBeforeRecording(Case):
    def test_an_output_that_cannot_be_written_is_refused_before_any_port(self):
        missing = os.path.join(self.dir.name, 'gone', 'dump.syx')
        run = tool('receive', '--port', NOWHERE, '--out', missing)
        self.assertEqual(run.returncode, 1)
        self.assertEqual(run.stderr.decode(),
                         f'sysex_tool: cannot write {missing}: No such file or directory\n')
        run = tool('receive', '--port', NOWHERE, '--out', self.dir.name)
        self.assertEqual(run.stderr.decode(),
                         f'sysex_tool: cannot write {self.dir.name}: it is a folder\n')
        self.assertEqual(os.listdir(self.dir.name), [])
        # A writable one goes on to the port and leaves nothing behind.
        out = os.path.join(self.dir.name, 'dump.syx')
        run = tool('receive', '--port', NOWHERE, '--out', out)
        self.assertIn(f'no input port called "{NOWHERE}"', run.stderr.decode())
        self.assertEqual(os.listdir(self.dir.name), [])

    def test_times_are_checked_and_the_older_timeout_stands_alone(self):
        for option, value, limit in [('--timeout', '0', 3600), ('--timeout', 'nan', 3600),
                                     ('--wait', 'abc', 86400), ('--wait', '-5', 86400),
                                     ('--silence', 'inf', 3600), ('--silence', '2s', 3600)]:
            with self.subTest(option=option, value=value):
                run = tool('receive', '--port', NOWHERE, '--out', '-', option, value)
                self.assertEqual(run.returncode, 2)
                self.assertEqual(run.stderr.decode(), f'sysex_tool: {option} "{value}": give a '
                                 f'number of seconds from 0.1 to {limit}\n')
        run = tool('receive', '--port', NOWHERE, '--out', '-', '--timeout', '3', '--wait', '5')
        self.assertEqual(run.returncode, 2)
        self.assertIn('--wait excludes --timeout', run.stderr.decode())
        # The older form alone is taken as before.
        run = tool('receive', '--port', NOWHERE, '--out', '-', '--timeout', '0.3')
        self.assertEqual(run.returncode, 1)
        self.assertIn('no input port called', run.stderr.decode())


def sysex_messages(data):
    """(offset, bytes) of each F0 ... F7 of `data`, read here as SOURCES.md counts them."""
    found, i = [], 0
    while i < len(data):
        if data[i] != 0xF0:
            i += 1
            continue
        end = data.find(b'\xf7', i)
        end = len(data) if end < 0 else end + 1
        found.append((i, data[i:end]))
        i = end
    return found


class Info(Case):
    """info on the sample banks, checked against counts made here and what is known of the
    devices' formats; and on files made to hold each oddity."""

    def sample(self, name):
        if not os.path.isdir(SAMPLES):
            self.skipTest(f'the sample folder {SAMPLES!r} is absent')
        with open(os.path.join(SAMPLES, name), 'rb') as f:
            return os.path.join(SAMPLES, name), f.read()

    def info(self, *args, stdin=b''):
        run = tool('info', *args, stdin=stdin)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(run.stderr, b'')
        return run.stdout.decode()

    def json(self, *args, stdin=b''):
        return json.loads(self.info('--json', *args, stdin=stdin))

    def test_each_bank_is_counted_with_its_maker(self):
        # (file, maker, message count and sizes from the bytes, read here)
        for name, maker in [('yamaha_dx7_star1_fast_decay_bank.syx', 'Yamaha'),
                            ('roland_d50_factory_bank.syx', 'Roland'),
                            ('roland_jd_xi_atmo_pad.syx', 'Roland'),
                            ('korg_dw6000_factory_128_msgs.syx', 'Korg'),
                            ('korg_wavestation_new02.syx', 'Korg'),
                            ('waldorf_blofeld_factory_2008.syx', 'Waldorf')]:
            with self.subTest(name):
                path, data = self.sample(name)
                messages = sysex_messages(data)
                size = sum(len(m) for _, m in messages)
                self.assertEqual(size, len(data))  # these banks are messages only
                summary = self.info(path).splitlines()[-1]
                noun = 'message' if len(messages) == 1 else 'messages'
                self.assertEqual(summary, f'{len(messages)} {noun} ({size} bytes); '
                                 f'makers: {maker} ({len(messages)}); no problems')
        _, dx7 = self.sample('yamaha_dx7_star1_fast_decay_bank.syx')
        self.assertEqual((len(sysex_messages(dx7)), len(dx7)), (1, 4104))
        report = self.json(self.sample('yamaha_dx7_star1_fast_decay_bank.syx')[0])
        fields = {f['name']: f['value'] for f in report['messages'][0]['fields']}
        # A 32-voice bank: bulk dump (sub-status 0) of format 9, 4096 bytes of voices.
        self.assertEqual(fields, {'sub-status': '0', 'device': '0', 'format': '09',
                                  'count': '20 00'})

    def test_the_d50_bank_is_data_sets_whose_checksums_add_up(self):
        path, data = self.sample('roland_d50_factory_bank.syx')
        messages = sysex_messages(data)
        report = self.json(path)
        self.assertEqual(len(report['messages']), len(messages))
        for (offset, message), entry in zip(messages, report['messages']):
            # F0 41 device 14 12 address(3) data checksum F7: address, data and checksum
            # sum to a multiple of 128 in a correct data set.
            self.assertEqual(message[:5], b'\xf0\x41\x00\x14\x12')
            self.assertEqual(sum(message[5:-1]) % 128, 0)
            self.assertEqual((entry['offset'], entry['length']), (offset, len(message)))
            self.assertEqual([(f['name'], f['value'], f.get('meaning')) for f in entry['fields']],
                             [('device', '00', None), ('model', '14', None),
                              ('command', '12', 'DT1')])
            self.assertEqual(entry['checksum'], 'good')
        self.assertEqual(report['summary']['problems'], 0)
        # One data byte changed in the fifth message: that message alone is flagged, and info
        # still exits 0 (it reports; it does not judge).
        changed = bytearray(data)
        at = messages[4][0] + 20
        changed[at] = (changed[at] + 1) % 128
        report = self.json(self.file('changed.syx', bytes(changed)))
        wrong = [m['index'] for m in report['messages'] if m['checksum'] == 'wrong']
        self.assertEqual(wrong, [5])
        self.assertEqual(report['summary']['wrong_checksums'], 1)
        text = self.info(self.file('changed.syx', bytes(changed)))
        self.assertIn('CHECKSUM WRONG', text.splitlines()[2 + 4])
        self.assertTrue(text.splitlines()[-1].endswith('; 1 problem: 1 wrong checksum'), text)

    def test_bytes_outside_messages_are_counted_with_their_offsets(self):
        path, data = self.sample('korg_dw8000_with_program_changes.syx')
        messages = sysex_messages(data)
        inside = set()
        for offset, m in messages:
            inside.update(range(offset, offset + len(m)))
        outside = [i for i in range(len(data)) if i not in inside]
        report = self.json(path)
        self.assertEqual(report['summary']['bytes_outside'], len(outside))
        self.assertEqual(report['summary']['messages'], len(messages))
        self.assertEqual([r['offset'] for r in report['outside']],
                         [i for i in outside if i - 1 not in outside])
        self.assertTrue(all(r['first'].startswith('C0 ') for r in report['outside']))
        self.assertIn(f'{len(outside)} bytes outside messages in 64 runs, the first at offset 0',
                      self.info(path).splitlines()[-1])
        # A hex dump with a heading line: offsets count the bytes the text stands for.
        path, _ = self.sample('pacer_a5_factory_annotated_hexdump.txt')
        report = self.json(path)
        self.assertEqual(report['summary']['messages'], 189)
        # The heading line "cm tg ix obj elm data" read as hex tokens.
        self.assertEqual(report['outside'], [{'offset': 0, 'length': 6, 'first': '0C 00 00 00 0E DA'}])
        self.assertEqual({m['maker_id'] for m in report['messages']}, {'00 01 77'})

    def test_oddities_are_flagged_and_the_file_is_still_reported(self):
        # A note's status byte inside a message, a message cut by the next F0, and a last
        # message without its F7, read from standard input.
        data = b'\xf0\x43\x10\x90\x3c\xf7\xf0\x41\x10\xf0\x7e\x7f\x06\x01\xf7\xf0\x42\x30'
        report = self.json('-', stdin=data)
        self.assertEqual(report['file'], 'standard input')
        self.assertEqual([(m['offset'], m['length'], m['terminated'], m['high_bit_bytes'])
                          for m in report['messages']],
                         [(0, 6, True, 1), (6, 3, False, 0), (9, 6, True, 0), (15, 3, False, 0)])
        self.assertEqual(report['messages'][0]['first_high_bit'], 3)
        self.assertEqual([f.get('meaning') for f in report['messages'][2]['fields']],
                         ['all devices', 'general information', 'identity request'])
        lines = self.info('-', stdin=data).splitlines()
        self.assertIn('1 data byte with the high bit set, the first at offset 3', lines[2])
        self.assertIn('UNTERMINATED: an F0 follows before its F7', lines[3])
        self.assertIn('UNTERMINATED: the file ends before its F7', lines[5])
        self.assertTrue(lines[-1].endswith('3 problems: 2 unterminated messages, 1 data byte with '
                                           'the high bit set'), lines[-1])

    def test_an_unreadable_file_exits_1_and_help_says_what_the_exit_means(self):
        missing = os.path.join(self.dir.name, 'missing.syx')
        run = tool('info', missing)
        self.assertEqual(run.returncode, 1)
        self.assertEqual(run.stderr.decode(),
                         f'sysex_tool: cannot read {missing}: No such file or directory\n')
        self.assertEqual(run.stdout, b'')
        self.assertIn('info\nexits 0 for every file it can read', tool('--help').stdout.decode())
        empty = self.json(self.file('empty.syx', b''))
        self.assertEqual((empty['bytes'], empty['messages'], empty['summary']['problems']),
                         (0, [], 0))


class ReceiveWithARequest(Case):
    """What receive --request checks before any port: the request file like send's FILE, the
    options that go with it."""

    def test_the_request_is_read_and_checked_before_any_port(self):
        out = os.path.join(self.dir.name, 'dump.syx')
        bad = self.file('request.syx', b'\xc0\x05\xf0\x41\x10\x42\x11\xf7')
        run = tool('receive', '--port', NOWHERE, '--out', out, '--request', bad)
        self.assertEqual(run.returncode, 1)
        err = run.stderr.decode()
        self.assertIn(f'nothing sent: {bad} holds more than complete System Exclusive', err)
        self.assertIn('2 bytes outside messages, the first at offset 0', err)
        self.assertNotIn('--raw', err)  # receive has no --raw to offer
        self.assertNotIn('port', err)
        missing = os.path.join(self.dir.name, 'missing.syx')
        run = tool('receive', '--port', NOWHERE, '--out', out, '--request', missing)
        self.assertEqual(run.stderr.decode(),
                         f'sysex_tool: cannot read {missing}: No such file or directory\n')
        good = self.file('good.syx', b'\xf0\x41\x10\x42\x11\x40\x00\x00\x00\x00\x01\x3f\xf7')
        run = tool('receive', '--port', NOWHERE, '--out', out, '--request', good, '--expect', '3')
        self.assertEqual(run.returncode, 1)
        self.assertIn(f'no input port called "{NOWHERE}"', run.stderr.decode())
        self.assertEqual(sorted(os.listdir(self.dir.name)), ['good.syx', 'request.syx'])

    def test_options_that_go_with_a_request(self):
        run = tool('receive', '--port', NOWHERE, '--out', '-', '--to', 'synth')
        self.assertEqual(run.returncode, 2)
        self.assertIn('--to requires --request', run.stderr.decode())
        for value in ('0', '1.5', 'all'):
            with self.subTest(value=value):
                run = tool('receive', '--port', NOWHERE, '--out', '-', '--expect', value)
                self.assertEqual(run.returncode, 2)
                self.assertEqual(run.stderr.decode(), f'sysex_tool: --expect "{value}": give a '
                                 'whole number of messages from 1 to 100000\n')


class Conventions(Case):
    def test_version(self):
        run = tool('--version')
        self.assertEqual(run.returncode, 0)
        self.assertRegex(run.stdout.decode(), r'^sysex_tool \d+\.\d+\.\d+([+~]\d+\.g[0-9a-f]+)?(\.dirty)?\n$')

    def test_a_dash_is_standard_input_and_output(self):
        run = tool('txt', '-', '-', stdin=b'\xf0\x43\xf7')
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(run.stdout, b'F0 43 F7\r\n')
        self.assertEqual(run.stderr, b'3 bytes\n')  # beside the bytes, not among them
        run = tool('syx', '-', '-', stdin=b'F0 43 F7\r\n')
        self.assertEqual(run.stdout, b'\xf0\x43\xf7')
        # A file named "-" in the folder is still reached as ./-
        run = subprocess.run([TOOL, 'syx', '-', './-'], input=b'F7\r\n', capture_output=True,
                             cwd=self.dir.name, timeout=LIMIT_S)
        self.assertEqual(run.stdout, b'1 byte\n')  # one, in the singular
        with open(os.path.join(self.dir.name, '-'), 'rb') as f:
            self.assertEqual(f.read(), b'\xf7')

    def test_help_shows_each_default(self):
        send = tool('send', '--help').stdout.decode()
        self.assertIn('--pause MS=60', send)
        receive = tool('receive', '--help').stdout.decode()
        self.assertIn('--wait S=until Ctrl-C', receive)
        self.assertIn('--silence S=2', receive)
        self.assertIn('Usage: sysex_tool receive', receive)  # the name, not the path

    def test_numbers_are_refused_in_plain_words(self):
        good = self.file('good.syx', b'\xf0\x01\xf7')
        for value in ('5.5', '-1', 'fast', '60001'):
            with self.subTest(value=value):
                run = tool('send', good, '--port', NOWHERE, '--pause', value)
                self.assertEqual(run.returncode, 2)
                self.assertEqual(run.stderr.decode(), f'sysex_tool: --pause "{value}": give a '
                                 f'whole number of milliseconds from 0 to 60000\n')

    def test_cannot_read_says_why_once(self):
        missing = os.path.join(self.dir.name, 'missing.syx')
        for command in (['syx', missing, '-'], ['send', missing, '--port', NOWHERE]):
            run = tool(*command)
            self.assertEqual(run.returncode, 1)
            self.assertEqual(run.stderr.decode(),
                             f'sysex_tool: cannot read {missing}: No such file or directory\n')
        for command in (['txt', self.dir.name, '-'], ['send', self.dir.name, '--port', NOWHERE]):
            run = tool(*command)
            self.assertEqual(run.returncode, 1)
            self.assertEqual(run.stderr.decode(),
                             f'sysex_tool: cannot read {self.dir.name}: it is a folder\n')

    def test_a_wrong_command_line_exits_2(self):
        for args in ([], ['bogus'], ['send'], ['send', 'x.syx'], ['receive', '--out', 'x.syx']):
            with self.subTest(args=args):
                run = tool(*args)
                self.assertEqual(run.returncode, 2)
                self.assertTrue(run.stderr.decode().startswith('sysex_tool: '), run.stderr)


if __name__ == '__main__':
    # A third argument names the classes to run, comma-separated (ctest runs
    # them as entries of their own); all of them without it.
    names = sys.argv[3].split(',') if len(sys.argv) > 3 else None
    result = unittest.main(argv=sys.argv[:1] + (names or []), verbosity=2, exit=False).result
    if not result.wasSuccessful():
        sys.exit(1)
    if not os.path.isdir(SAMPLES):
        print(f'SKIPPED in part: the sample folder {SAMPLES!r} is absent')
        sys.exit(SKIPPED_EXIT)
    sys.exit(0)
