#!/usr/bin/env python3
"""test_pack.py - the release packer (tools/release/pack.py) on a real build.

    test_pack.py --data-dir DIR --data-list FILE --linux-demo FILE
                 --windows-demo FILE --site DIR

Packs twice, into two folders, and checks: the same bytes both times; each
archive holds exactly its folder, its program, readme.txt and the demo's data
files (the site: exactly the site's files), with the commit's time stamp,
owner 0 and fixed modes, each file's bytes as built; the readme carries the
credits; SHA256SUMS lists every file with its digest.
"""
import argparse
import hashlib
import os
import subprocess
import sys
import tarfile
import tempfile
import unittest
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PACK = os.path.join(ROOT, 'tools', 'release', 'pack.py')
EPOCH = 1575158400  # 2019-12-01 00:00:00 UTC, an even second for zip
ARGS = None


def read(path):
    with open(path, 'rb') as f:
        return f.read()


class PackTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.TemporaryDirectory(prefix='release-pack-')
        cls.outs = []
        for name in ('first', 'second'):
            out = os.path.join(cls.work.name, name)
            subprocess.run([sys.executable, PACK, '--out', out, '--data-dir', ARGS.data_dir,
                            '--data-list', ARGS.data_list, '--linux-demo', ARGS.linux_demo,
                            '--windows-demo', ARGS.windows_demo, '--site', ARGS.site],
                           check=True, env=dict(os.environ, SOURCE_DATE_EPOCH=str(EPOCH)))
            cls.outs.append(out)
        with open(os.path.join(ROOT, 'VERSION')) as f:
            cls.base = 'lumikenno-' + f.readline().strip()
        with open(ARGS.data_list) as f:
            cls.data = [line.strip() for line in f if line.strip()]

    @classmethod
    def tearDownClass(cls):
        cls.work.cleanup()

    def path(self, suffix):
        return os.path.join(self.outs[0], self.base + suffix)

    def test_packing_twice_gives_the_same_bytes(self):
        names = sorted(os.listdir(self.outs[0]))
        self.assertEqual(names, sorted(os.listdir(self.outs[1])))
        self.assertEqual(names, sorted([self.base + '-windows-x64.zip', self.base + '-linux-x86_64.tar.gz',
                                        self.base + '-web.zip', 'SHA256SUMS']))
        for name in names:
            self.assertEqual(read(os.path.join(self.outs[0], name)), read(os.path.join(self.outs[1], name)), name)

    def check_zip(self, path, top, expected):
        with zipfile.ZipFile(path) as z:
            infos = z.infolist()
            self.assertEqual([i.filename for i in infos],
                             [top + '/'] + [top + '/' + n for n in sorted(expected)])
            for info in infos:
                self.assertEqual(info.date_time, (2019, 12, 1, 0, 0, 0), info.filename)
                mode = info.external_attr >> 16
                if info.is_dir():
                    self.assertEqual(mode, 0o40755)
                    continue
                name = info.filename[len(top) + 1:]
                self.assertEqual(mode, 0o100755 if name.endswith('.exe') else 0o100644, name)
                if expected[name] is not None:
                    self.assertEqual(z.read(info), read(expected[name]), name)
            return z.read(top + '/readme.txt') if top + '/readme.txt' in z.namelist() else None

    def program_files(self, program, path):
        files = {n: os.path.join(ARGS.data_dir, n) for n in self.data}
        files[program] = path
        files['readme.txt'] = None
        return files

    def check_readme(self, text):
        self.assertIn('Escape', text)
        for line in ('kolo and tervas coded', 'vanhan myllyn kuoropoika composed',
                     'halvikko norppis and tervas made gfx', 'greetings to vokk zelmonia qrx'):
            self.assertIn(line, text)

    def test_windows_zip_holds_exactly_the_program_data_and_readme(self):
        top = self.base + '-windows-x64'
        readme = self.check_zip(self.path('-windows-x64.zip'), top,
                                self.program_files('demo.exe', ARGS.windows_demo))
        self.assertIn(b'\r\n', readme)
        self.check_readme(readme.decode('utf-8'))

    def test_web_zip_holds_exactly_the_site(self):
        site = {n: os.path.join(ARGS.site, n) for n in os.listdir(ARGS.site)}
        self.assertIn('index.html', site)
        self.check_zip(self.path('-web.zip'), self.base + '-web', site)

    def test_linux_archive_holds_exactly_the_program_data_and_readme(self):
        top = self.base + '-linux-x86_64'
        expected = self.program_files('demo', ARGS.linux_demo)
        with tarfile.open(self.path('-linux-x86_64.tar.gz')) as t:
            members = t.getmembers()
            self.assertEqual([m.name for m in members], [top] + [top + '/' + n for n in sorted(expected)])
            for m in members:
                self.assertEqual((m.mtime, m.uid, m.gid), (EPOCH, 0, 0), m.name)
                name = m.name[len(top) + 1:]
                self.assertEqual(m.mode, 0o755 if m.isdir() or name == 'demo' else 0o644, m.name)
                if m.isfile() and expected[name] is not None:
                    self.assertEqual(t.extractfile(m).read(), read(expected[name]), name)
            readme = t.extractfile(top + '/readme.txt').read().decode('utf-8')
        self.assertNotIn('\r', readme)
        self.check_readme(readme)
        # The gzip header carries the commit's time, no file name.
        header = read(self.path('-linux-x86_64.tar.gz'))[:10]
        self.assertEqual(int.from_bytes(header[4:8], 'little'), EPOCH)
        self.assertEqual(header[3] & 0x08, 0)

    def test_sums_list_every_file(self):
        lines = read(os.path.join(self.outs[0], 'SHA256SUMS')).decode('ascii').splitlines()
        names = sorted(n for n in os.listdir(self.outs[0]) if n != 'SHA256SUMS')
        self.assertEqual(lines, ['%s  %s' % (hashlib.sha256(read(os.path.join(self.outs[0], n))).hexdigest(), n)
                                 for n in names])


def main():
    global ARGS
    p = argparse.ArgumentParser()
    for name in ('--data-dir', '--data-list', '--linux-demo', '--windows-demo', '--site'):
        p.add_argument(name, required=True)
    ARGS, rest = p.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == '__main__':
    main()
