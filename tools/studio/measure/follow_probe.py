#!/usr/bin/env python3
"""A scripted follower of the studio, for measuring the editor link (not a
test): it greets, asks for the demo's tracks (read from src/base/facts.h),
reads everything the studio sends for SECONDS and prints one line:

    tools/studio/measure/follow_probe.py HOST:PORT SECONDS [--token T] [--quiet]

- the first answer: how many bytes came for the asked tracks;
- track messages after it (edits): count, and bytes of each;
- transports: count, and while playing, how far the studio's next time was
  from the time a follower would estimate from the one before (its time plus
  the real time between their arrivals, at the studio's speed): median and
  max in ms, loop wraps left out.

--quiet reads and counts but prints nothing (a load for the studio).
"""
import argparse
import os
import re
import socket
import struct
import sys
import time

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..")


def track_names():
    with open(os.path.join(ROOT, "src", "base", "facts.h"), encoding="utf-8") as f:
        return re.findall(r'X\([A-Z0-9_]+, *[a-z0-9_]+, *"([^"]+)"\)', f.read())


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("where")
    ap.add_argument("seconds", type=float)
    ap.add_argument("--token", default="")
    ap.add_argument("--quiet", action="store_true")
    a = ap.parse_args()
    host, port = a.where.rsplit(":", 1)
    names = track_names()
    s = socket.create_connection((host, int(port)), timeout=10)
    s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    out = b"DLNK" + struct.pack(">HB", 1, len(a.token)) + a.token.encode()
    for n in names:
        out += struct.pack(">BI", 2, len(n)) + n.encode()
    s.sendall(out)

    buf = b""
    greeted = False
    first_bytes, answered = 0, 0
    edits = []
    transports = []  # (arrival, seconds, playing, half)
    end = time.monotonic() + a.seconds
    s.settimeout(0.05)
    while time.monotonic() < end:
        try:
            chunk = s.recv(1 << 20)
        except socket.timeout:
            continue
        if not chunk:
            print("the studio closed the link", file=sys.stderr)
            break
        now = time.monotonic()
        buf += chunk
        while True:
            if not greeted:
                if len(buf) < 7 or len(buf) < 7 + buf[6]:
                    break
                buf, greeted = buf[7 + buf[6]:], True
                continue
            if len(buf) < 5:
                break
            kind, n = struct.unpack(">BI", buf[:5])
            if len(buf) < 5 + n:
                break
            body, buf = buf[5:5 + n], buf[5 + n:]
            if kind == 3:
                if answered < len(names):
                    answered += 1
                    first_bytes += 5 + n
                else:
                    edits.append(5 + n)
            elif kind == 4:
                sec, flags = struct.unpack(">dB", body[:9])
                transports.append((now, sec, flags & 1, flags & 2))
            elif kind == 1:
                print("bye:", body.decode(errors="replace"), file=sys.stderr)
    if a.quiet:
        return
    errors = []
    for (t0, s0, p0, h0), (t1, s1, p1, _) in zip(transports, transports[1:]):
        if p0 and p1 and s1 >= s0:
            errors.append(abs(s1 - (s0 + (t1 - t0) * (0.5 if h0 else 1.0))) * 1000)
    errors.sort()
    spread = (f"estimate error median {errors[len(errors) // 2]:.2f} ms, max {errors[-1]:.2f} ms "
              f"over {len(errors)} steps") if errors else "not playing"
    print(f"first answer {answered} tracks, {first_bytes} bytes; edits {len(edits)}: "
          f"{', '.join(str(e) for e in edits[:10])} bytes; transports {len(transports)}, {spread}")


main()
