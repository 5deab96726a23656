#!/usr/bin/python3
"""scripts/check-dist must fail on a release that is wrong, not only pass on
a good one. Run after it passed on DIST:

    scripts/tests/check_dist_catches.py DIST

Copies DIST, breaks the copy's zip in ways a packaging mistake would (a
plug-in importing a DLL that Windows does not bring, a picture the guide
shows left out), writes SHA256SUMS anew so that only those faults remain,
and expects check-dist to fail naming each. Exit 0 when it does."""
import hashlib
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import zipfile

HERE = pathlib.Path(__file__).resolve().parents[2]


def sums(folder, names):
    with open(folder / 'SHA256SUMS', 'w') as f:
        for name in names:
            digest = hashlib.sha256((folder / name).read_bytes()).hexdigest()
            f.write(f'{digest}  {name}\n')


def main():
    dist = pathlib.Path(sys.argv[1]).resolve()
    with tempfile.TemporaryDirectory() as scratch:
        broken = pathlib.Path(scratch) / 'dist'
        broken.mkdir()
        zip_path = next(dist.glob('modular-suite-*-win32.zip'))
        deb_path = next(dist.glob('modular-suite_*_amd64.deb'))
        shutil.copy(deb_path, broken)
        unpacked = pathlib.Path(scratch) / 'zip'
        with zipfile.ZipFile(zip_path) as z:
            z.extractall(unpacked)
        # A plug-in that needs a DLL beside it: its import of user32.dll
        # renamed to a DLL of the same length that Windows does not have.
        kurvo = unpacked / 'modules' / 'Kurvo.dll'
        data = kurvo.read_bytes()
        data, n = re.subn(rb'(?i)user32\.dll', b'libfoo.dll', data)
        if n == 0:
            print('check_dist_catches: Kurvo.dll names no user32.dll to rename')
            return 1
        kurvo.write_bytes(data)
        # A picture the guide shows, left out of the zip.
        (unpacked / 'guide' / 'images' / 'kurvo.png').unlink()
        inner = sorted(str(p.relative_to(unpacked)) for p in unpacked.rglob('*')
                       if p.is_file() and p.name != 'SHA256SUMS')
        sums(unpacked, inner)
        with zipfile.ZipFile(broken / zip_path.name, 'w', zipfile.ZIP_DEFLATED) as z:
            for p in sorted(unpacked.rglob('*')):
                if p.is_file():
                    z.write(p, p.relative_to(unpacked))
        sums(broken, [zip_path.name, deb_path.name])
        run = subprocess.run([str(HERE / 'scripts' / 'check-dist'), str(broken)],
                             capture_output=True, text=True, timeout=1200)
    said = run.stdout + run.stderr
    expected = ['modules/Kurvo.dll imports DLLs that Windows does not bring: libfoo.dll',
                'refers to images/kurvo.png, which the zip does not hold']
    missing = [e for e in expected if e not in said]
    if run.returncode != 1 or missing:
        print(f'check_dist_catches: check-dist exited {run.returncode} on a broken zip; '
              f'not said: {missing}')
        print(said[-3000:])
        return 1
    print('check_dist_catches: check-dist fails on a plug-in importing a foreign DLL '
          'and on a missing guide picture')
    return 0


if __name__ == '__main__':
    sys.exit(main())
