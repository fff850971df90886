#!/usr/bin/env python3
"""make_still.py IN.png OUT.png FACTOR - the page's still picture: a frame
written by capture (8-bit RGB or RGBA, not interlaced), shrunk by averaging
FACTOR x FACTOR blocks, written as an 8-bit RGB PNG. The same input gives the
same bytes."""
import os
import struct
import sys
import zlib


def read_png(path):
    data = open(path, 'rb').read()
    if data[:8] != b'\x89PNG\r\n\x1a\n':
        sys.exit(f'make_still: {path} is not a PNG')
    at, idat, width, height, channels = 8, [], 0, 0, 0
    while at + 8 <= len(data):
        length, kind = struct.unpack('>I4s', data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b'IHDR':
            width, height, depth, colour, _, _, interlace = struct.unpack('>IIBBBBB', body)
            channels = {2: 3, 6: 4}.get(colour)
            if depth != 8 or not channels or interlace:
                sys.exit(f'make_still: {path}: only 8-bit RGB or RGBA without interlacing')
        elif kind == b'IDAT':
            idat.append(body)
        at += 12 + length
    raw = zlib.decompress(b''.join(idat))
    stride = width * channels
    rows, prev = [], bytearray(stride)
    for y in range(height):
        line = raw[y * (stride + 1):(y + 1) * (stride + 1)]
        kind, row = line[0], bytearray(line[1:])
        for i in range(stride):
            a = row[i - channels] if i >= channels else 0
            b = prev[i]
            if kind == 1:
                row[i] = (row[i] + a) & 255
            elif kind == 2:
                row[i] = (row[i] + b) & 255
            elif kind == 3:
                row[i] = (row[i] + ((a + b) >> 1)) & 255
            elif kind == 4:
                c = prev[i - channels] if i >= channels else 0
                pa, pb, pc = abs(b - c), abs(a - c), abs(a + b - 2 * c)
                row[i] = (row[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
            elif kind != 0:
                sys.exit(f'make_still: {path}: bad filter {kind}')
        rows.append(bytes(row))
        prev = row
    return width, height, channels, rows


def shrink(width, height, channels, rows, factor):
    out_w, out_h = width // factor, height // factor
    out = []
    area = factor * factor
    for oy in range(out_h):
        sums = [0] * (out_w * 3)
        for row in rows[oy * factor:(oy + 1) * factor]:
            for ox in range(out_w):
                base = ox * factor * channels
                for k in range(factor):
                    p = base + k * channels
                    sums[ox * 3] += row[p]
                    sums[ox * 3 + 1] += row[p + 1]
                    sums[ox * 3 + 2] += row[p + 2]
        out.append(bytes((s + area // 2) // area for s in sums))
    return out_w, out_h, out


def write_png(path, width, height, rows):
    def chunk(kind, body):
        return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))
    raw = b''.join(b'\x00' + r for r in rows)
    png = (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0)) +
           chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))
    tmp = path + '.tmp'
    with open(tmp, 'wb') as f:
        f.write(png)
    os.replace(tmp, path)


def main():
    if len(sys.argv) != 4 or not sys.argv[3].isdigit() or int(sys.argv[3]) < 1:
        sys.exit('usage: make_still.py IN.png OUT.png FACTOR')
    w, h, ch, rows = read_png(sys.argv[1])
    write_png(sys.argv[2], *shrink(w, h, ch, rows, int(sys.argv[3])))


if __name__ == '__main__':
    main()
