#!/usr/bin/env python3
"""pack.py - the release archives, the same bytes from the same inputs.

    pack.py --out DIR --data-dir DIR --data-list FILE --linux-demo FILE
            --windows-demo FILE --site DIR

writes into --out (made if missing):
    lumikenno-V-windows-x64.zip    demo.exe, the data files, readme.txt
    lumikenno-V-linux-x86_64.tar.gz  demo, the data files, readme.txt
    lumikenno-V-web.zip            the static site
and then SHA256SUMS over every file in --out (the video and the
screenshots, when the caller has put them there first, included).

V is the first line of the repository's VERSION file. Every archive entry
carries the time SOURCE_DATE_EPOCH (from the environment; the release script
sets it to the commit's time), owner 0, mode 0755 for programs and folders
and 0644 for the rest, in name order; gzip and zip headers carry no build
time or file name. Each output is written to a temporary name and renamed
into place, so a failed run leaves no half-written archive.
"""
import argparse
import gzip
import hashlib
import io
import os
import re
import sys
import tarfile
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
NAME = 'lumikenno'
TITLE = 'lumikenno 2019 demo'
# The overlay lines that hold the credits, by their number in the
# "clear.a" track (see the table in src/text/captions.cpp): the two opening
# lines and the four of the closing credits.
CREDIT_LINES = (1, 2, 50, 51, 52, 53)


def fail(message):
    sys.exit('pack: ' + message)


def read_version():
    with open(os.path.join(ROOT, 'VERSION'), encoding='ascii') as f:
        version = f.readline().strip()
    if not re.fullmatch(r'[0-9]+(\.[0-9]+)*', version):
        fail(f'VERSION holds "{version}", not a version number')
    return version


def overlay_lines():
    """The overlay's lines as the demo shows them: number -> text, with the
    font's blank ('_') as a space."""
    path = os.path.join(ROOT, 'src', 'text', 'captions.cpp')
    with open(path, encoding='utf-8') as f:
        text = f.read()
    lines = {int(n): ' '.join(t.replace('_', ' ').split())
             for n, t in re.findall(r'\{\s*(\d+),\s*\d+,\s*"([^"]*)"\s*\}', text)}
    for n in CREDIT_LINES:
        if n not in lines:
            fail(f'{path} has no overlay line {n}')
    return lines


def readme(version, system):
    lines = overlay_lines()
    if system == 'windows':
        start = ('Double-click demo.exe (or run it from this folder). It opens full screen\n'
                 'at 1920x1080 and plays its own music.')
        needs = ('Needs: 64-bit Windows 7 or later, a display and, for the music, a sound\n'
                 'device (without one the demo runs silently). Nothing to install: demo.exe\n'
                 'is one file, and the images, music.ogg and the sync_*.track files must stay\n'
                 'beside it.')
    else:
        start = ('From this folder run ./demo (the program finds its images beside itself\n'
                 'and its tracks and music in the working folder). It opens full screen at\n'
                 '1920x1080 and plays its own music.')
        needs = ('Needs: a 64-bit x86 Linux desktop (X11 or Wayland) with the C and C++\n'
                 'runtime (glibc 2.31 or later: Debian 11, Ubuntu 20.04 or later), OpenGL,\n'
                 'and for the music PulseAudio, PipeWire or ALSA (without sound the demo\n'
                 'runs silently).\n'
                 'SDL2, libvorbis and libogg are built into the program.')
    credits = '\n'.join('  ' + lines[n] for n in CREDIT_LINES)
    text = (f'{TITLE}, version {version}\n'
            f'\n'
            f'A real-time audiovisual demo: eight visual scenes and lines of text,\n'
            f'driven by their own soundtrack and drawn live as the music plays.\n'
            f'\n'
            f'Start: {start}\n'
            f'Quit: press Escape or close the window.\n'
            f'\n'
            f'{needs}\n'
            f'\n'
            f'Credits, as the demo shows them:\n'
            f'{credits}\n')
    if system == 'windows':
        text = text.replace('\n', '\r\n')
    return text.encode('utf-8')


def read_data_list(path):
    with open(path, encoding='utf-8') as f:
        names = [line.strip() for line in f if line.strip()]
    if not names or any('/' in n or n.startswith('.') for n in names):
        fail(f'{path}: not a list of data file names')
    return names


def read(path):
    with open(path, 'rb') as f:
        return f.read()


def program_entries(data_dir, data_names, program_name, program_path, readme_bytes):
    """(name, bytes, executable) for one platform's folder, in name order."""
    entries = [(program_name, read(program_path), True), ('readme.txt', readme_bytes, False)]
    entries += [(n, read(os.path.join(data_dir, n)), False) for n in data_names]
    return sorted(entries)


def site_entries(site):
    entries = []
    for base, dirs, files in os.walk(site):
        dirs.sort()
        for f in files:
            full = os.path.join(base, f)
            entries.append((os.path.relpath(full, site).replace(os.sep, '/'), read(full), False))
    if not any(n == 'index.html' for n, _, _ in entries):
        fail(f'{site} holds no index.html')
    return sorted(entries)


def folders_of(names):
    out = set()
    for n in names:
        parts = n.split('/')[:-1]
        for i in range(1, len(parts) + 1):
            out.add('/'.join(parts[:i]))
    return sorted(out)


def zip_bytes(top, entries, epoch):
    # Zip times are local calendar times from 1980 on, two-second steps.
    stamp = time.gmtime(max(epoch, 315532800))[:6]
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, 'w') as z:
        names = [top + '/' + n for n, _, _ in entries]
        for folder in folders_of(names):
            info = zipfile.ZipInfo(folder + '/', stamp)
            info.create_system = 3
            info.external_attr = (0o40755 << 16) | 0x10
            z.writestr(info, b'')
        for name, data, executable in entries:
            info = zipfile.ZipInfo(top + '/' + name, stamp)
            info.create_system = 3
            info.external_attr = (0o100755 if executable else 0o100644) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, data, compresslevel=9)
    return buffer.getvalue()


def tar_gz_bytes(top, entries, epoch):
    tar_buffer = io.BytesIO()
    with tarfile.open(fileobj=tar_buffer, mode='w', format=tarfile.USTAR_FORMAT) as t:
        def add(name, data, mode, kind):
            info = tarfile.TarInfo(name)
            info.type = kind
            info.mode = mode
            info.mtime = epoch
            info.uid = info.gid = 0
            info.uname = info.gname = 'root'
            info.size = len(data) if data is not None else 0
            t.addfile(info, io.BytesIO(data) if data is not None else None)
        names = [top + '/' + n for n, _, _ in entries]
        for folder in folders_of(names):
            add(folder, None, 0o755, tarfile.DIRTYPE)
        for name, data, executable in entries:
            add(top + '/' + name, data, 0o755 if executable else 0o644, tarfile.REGTYPE)
    out = io.BytesIO()
    with gzip.GzipFile(filename='', mode='wb', fileobj=out, compresslevel=9, mtime=epoch) as g:
        g.write(tar_buffer.getvalue())
    return out.getvalue()


def write(path, data):
    tmp = path + '.tmp'
    with open(tmp, 'wb') as f:
        f.write(data)
    os.chmod(tmp, 0o644)
    os.replace(tmp, path)


def write_sums(out):
    lines = []
    for name in sorted(os.listdir(out)):
        full = os.path.join(out, name)
        if name == 'SHA256SUMS' or name.endswith('.tmp') or not os.path.isfile(full):
            continue
        digest = hashlib.sha256()
        with open(full, 'rb') as f:
            for block in iter(lambda: f.read(1 << 20), b''):
                digest.update(block)
        lines.append(f'{digest.hexdigest()}  {name}\n')
    write(os.path.join(out, 'SHA256SUMS'), ''.join(lines).encode('ascii'))


def main():
    p = argparse.ArgumentParser(description='Writes the release archives and SHA256SUMS.')
    p.add_argument('--out', required=True)
    p.add_argument('--data-dir', required=True, help="a desktop build's demo folder (build/demo)")
    p.add_argument('--data-list', required=True, help="the build's demo_data_files.txt")
    p.add_argument('--linux-demo', required=True)
    p.add_argument('--windows-demo', required=True)
    p.add_argument('--site', required=True, help="the web build's site folder")
    a = p.parse_args()
    epoch_text = os.environ.get('SOURCE_DATE_EPOCH', '')
    if not epoch_text.isdigit():
        fail('SOURCE_DATE_EPOCH must be set to the commit time in seconds')
    epoch = int(epoch_text)
    version = read_version()
    data_names = read_data_list(a.data_list)
    os.makedirs(a.out, exist_ok=True)
    try:
        windows = program_entries(a.data_dir, data_names, 'demo.exe', a.windows_demo, readme(version, 'windows'))
        linux = program_entries(a.data_dir, data_names, 'demo', a.linux_demo, readme(version, 'linux'))
        site = site_entries(a.site)
    except OSError as e:
        fail(f'{e.filename}: {e.strerror}')
    base = f'{NAME}-{version}'
    write(os.path.join(a.out, f'{base}-windows-x64.zip'), zip_bytes(f'{base}-windows-x64', windows, epoch))
    write(os.path.join(a.out, f'{base}-linux-x86_64.tar.gz'), tar_gz_bytes(f'{base}-linux-x86_64', linux, epoch))
    write(os.path.join(a.out, f'{base}-web.zip'), zip_bytes(f'{base}-web', site, epoch))
    write_sums(a.out)


if __name__ == '__main__':
    main()
