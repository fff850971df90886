#!/usr/bin/env python3
"""Writes a large timeline source for measuring the studio's editor.

    tools/studio/measure/make_big_timeline.py OUT [--keys N] [--one-track]

N keys (default 1,000,000: about 14 MB, under the 16 MiB the studio and the
compiler read) spread evenly over the demo's tracks, on three rows of four,
or all of them in the "scene" track with --one-track (the worst case for an
edit: every splice moves the whole section). Rows on a beat are written as
BAR:BEAT, the rest as plain rows; values and curve kinds vary, and comments
and marks stand among the keys, as in a real file. The track names are read
from src/base/facts.h, as the build reads them.
"""
import argparse
import os
import re
import sys

KINDS = ("hold", "linear", "hold", "smooth")


def track_names(root):
    with open(os.path.join(root, "src", "base", "facts.h"), encoding="utf-8") as f:
        text = f.read()
    return re.findall(r'X\([A-Z0-9_]+, *[a-z0-9_]+, *"([^"]+)"\)', text)


def row_text(row):
    return f"{row // 32}:{row % 32 // 8}" if row % 8 == 0 else str(row)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out")
    parser.add_argument("--keys", type=int, default=1_000_000)
    parser.add_argument("--one-track", action="store_true")
    args = parser.parse_args()
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
    names = track_names(root)
    if not names:
        sys.exit("make_big_timeline.py: no track names in src/base/facts.h")
    counts = [0] * len(names)
    if args.one_track:
        counts[0] = args.keys
    else:
        for i in range(len(names)):
            counts[i] = args.keys // len(names) + (1 if i < args.keys % len(names) else 0)
    out = ["# A large timeline for measuring the studio's editor.\n", "\n"]
    for t, name in enumerate(names):
        out.append(f"track {name}\n")
        for k in range(counts[t]):
            row = k + k // 3  # every fourth row free, for inserts and moves
            if k % 1000 == 0:
                out.append(f"# part {k // 1000}\n")
            if k % 5000 == 0 and t == 0:
                out.append(f"mark m{k // 5000} {row}\n")
            value = (k * 7 + t * 3) % 10
            out.append(f" {row_text(row)} {value:g} {KINDS[(k + t) % len(KINDS)]}\n")
    tmp = args.out + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        f.writelines(out)
    os.replace(tmp, args.out)
    print(f"{args.out}: {sum(counts)} keys, {os.path.getsize(args.out)} bytes")


if __name__ == "__main__":
    main()
