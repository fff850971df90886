# capture.exe under Wine (SDL's dummy driver, the software renderer) against
# the desktop build's capture: one frame in each of the eight scenes, at the
# times the web page's picture test uses (titles and captions among them).
# The decoded pixels must be equal. Both sides write their PNG with the same
# libpng and zlib versions (Debian's, built from the same source packages)
# and the same settings, so equal pixels normally give equal files; only
# where the files differ are both decoded and their pixels compared.
#   bash test_capture_pixels.sh WIN_DEMO_DIR NATIVE_DEMO_DIR
set -u
. "$(dirname "$0")/lib.bash"
WIN_DIR=${1:?usage: $0 WIN_DEMO_DIR NATIVE_DEMO_DIR}
NATIVE_DIR=${2:?usage: $0 WIN_DEMO_DIR NATIVE_DEMO_DIR}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
wine_setup "${WINEPREFIX:?WINEPREFIX must name the prefix}"

# How many pixels of two PNGs differ ("N of M pixels differ"), decoded with
# Python's zlib (slow, so only for files that are not the same bytes).
count_differences() {
    python3 - "$1" "$2" <<'PY'
import struct, sys, zlib
def pixels(path):
    data = open(path, 'rb').read()
    pos, idat, w, h = 8, b'', 0, 0
    while pos < len(data):
        n, kind = struct.unpack('>I4s', data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + n]
        if kind == b'IHDR':
            w, h = struct.unpack('>II', body[:8])
        elif kind == b'IDAT':
            idat += body
        pos += 12 + n
    raw, stride, rows, prev = zlib.decompress(idat), w * 3, [], bytearray(w * 3)
    for y in range(h):
        f, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 3] if i >= 3 else 0
            b, c = prev[i], prev[i - 3] if i >= 3 else 0
            if f == 1: line[i] = (line[i] + a) & 255
            elif f == 2: line[i] = (line[i] + b) & 255
            elif f == 3: line[i] = (line[i] + (a + b) // 2) & 255
            elif f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(line))
        prev = line
    return w, h, b''.join(rows)
(w1, h1, a), (w2, h2, b) = pixels(sys.argv[1]), pixels(sys.argv[2])
if (w1, h1) != (w2, h2):
    print('sizes %dx%d and %dx%d' % (w1, h1, w2, h2))
else:
    print('%d of %d pixels differ' % (sum(a[i:i + 3] != b[i:i + 3] for i in range(0, len(a), 3)), w1 * h1))
PY
}

failures=0
for t in 3.5 12 22 50 60 75 88 112; do
    mkdir -p "$WORK/native-$t" "$WORK/win-$t"
    (cd "$NATIVE_DIR" && ./capture --out "$WORK/native-$t" --start "$t" >/dev/null 2>"$WORK/err") ||
        win_fail "native capture at $t s: $(cat "$WORK/err")"
    out=$(win_path "$WORK/win-$t")
    [ -n "$out" ] || win_fail "winepath cannot name $WORK/win-$t"
    (cd "$WIN_DIR" && wine ./capture.exe --out "$out" --start "$t" >/dev/null 2>"$WORK/err") ||
        win_fail "capture.exe at $t s: $(cat "$WORK/err")"
    a=$WORK/native-$t/frame-000000.png
    b=$WORK/win-$t/frame-000000.png
    [ -s "$b" ] || win_fail "capture.exe wrote no frame at $t s"
    if cmp -s "$a" "$b"; then
        echo "$t s: the same file"
        continue
    fi
    result=$(count_differences "$a" "$b")
    case "$result" in
        "0 of "*) echo "$t s: other bytes, the same pixels" ;;
        *) echo "$t s: DIFFERENT: $result"; failures=$((failures + 1)) ;;
    esac
done
[ $failures = 0 ] || win_fail "$failures of 8 pictures differ from the desktop build's"
