"""Compares a PNG written by the project's tools (8-bit RGB, not interlaced)
with an X window dump (xwd: a 24-bit TrueColor ZPixmap, 24 or 32 bits a pixel),
pixel by pixel. Prints "N of M pixels differ" (or why they cannot be
compared) and exits 0 only when they are the same picture.

    python3 same_picture.py PICTURE.png WINDOW.xwd
"""
import struct
import sys
import zlib

def png_pixels(path):
    data = open(path, 'rb').read()
    if data[:8] != b'\x89PNG\r\n\x1a\n':
        raise ValueError('%s is not a PNG' % path)
    pos, idat, w, h = 8, [], 0, 0
    while pos + 8 <= len(data):
        n, kind = struct.unpack('>I4s', data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + n]
        if kind == b'IHDR':
            w, h, depth, colour, _, _, interlace = struct.unpack('>IIBBBBB', body[:13])
            if (depth, colour, interlace) != (8, 2, 0):
                raise ValueError('%s is not 8-bit RGB without interlace' % path)
        elif kind == b'IDAT':
            idat.append(body)
        pos += 12 + n
    raw, stride = zlib.decompress(b''.join(idat)), w * 3
    rows, prev = [], bytearray(stride)
    for y in range(h):
        start = y * (stride + 1)
        kind, line = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        if kind == 2:
            line = bytearray((a + b) & 255 for a, b in zip(line, prev))
        elif kind != 0:
            for i in range(stride):
                a = line[i - 3] if i >= 3 else 0
                b = prev[i]
                if kind == 1:
                    line[i] = (line[i] + a) & 255
                elif kind == 3:
                    line[i] = (line[i] + (a + b) // 2) & 255
                elif kind == 4:
                    c = prev[i - 3] if i >= 3 else 0
                    p = a + b - c
                    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                    line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
                else:
                    raise ValueError('%s: unknown filter %d' % (path, kind))
        rows.append(bytes(line))
        prev = line
    return w, h, b''.join(rows)


def xwd_pixels(path):
    data = open(path, 'rb').read()
    if len(data) < 100:
        raise ValueError('%s is not a window dump' % path)
    fields = struct.unpack('>25I', data[:100])
    header_size, version, pixmap_format, depth, w, h = fields[:6]
    byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
    red, green, blue = fields[14:17]
    colours = fields[19]
    if (version, pixmap_format, depth) != (7, 2, 24) or bits_per_pixel not in (24, 32) or \
            (red, green, blue) != (0xFF0000, 0xFF00, 0xFF):
        raise ValueError('%s is not a 24-bit TrueColor dump at 24 or 32 bits a pixel (version %d, format %d, '
                         'depth %d, %d bits a pixel, masks %x %x %x)' % (path, version, pixmap_format, depth,
                                                                        bits_per_pixel, red, green, blue))
    body = data[header_size + 12 * colours:]
    if len(body) < bytes_per_line * h:
        raise ValueError('%s is cut short' % path)
    # Each pixel's bytes in memory: B G R [X] (LSB first) or [X] R G B.
    size = bits_per_pixel // 8
    r, g, b = (2, 1, 0) if byte_order == 0 else (size - 3, size - 2, size - 1)
    out = bytearray(w * h * 3)
    for y in range(h):
        line = body[y * bytes_per_line:y * bytes_per_line + w * size]
        o = y * w * 3
        out[o:o + w * 3:3] = line[r::size]
        out[o + 1:o + w * 3:3] = line[g::size]
        out[o + 2:o + w * 3:3] = line[b::size]
    return w, h, bytes(out)


def main():
    if len(sys.argv) != 3:
        sys.exit('usage: same_picture.py PICTURE.png WINDOW.xwd')
    try:
        (w1, h1, a), (w2, h2, b) = png_pixels(sys.argv[1]), xwd_pixels(sys.argv[2])
    except (OSError, ValueError, zlib.error) as e:
        print(e)
        sys.exit(1)
    if (w1, h1) != (w2, h2):
        print('sizes %dx%d and %dx%d' % (w1, h1, w2, h2))
        sys.exit(1)
    if a == b:
        print('0 of %d pixels differ' % (w1 * h1))
        return
    differ = sum(a[i:i + 3] != b[i:i + 3] for i in range(0, len(a), 3))
    print('%d of %d pixels differ' % (differ, w1 * h1))
    sys.exit(1)


if __name__ == '__main__':
    main()
