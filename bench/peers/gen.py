#!/usr/bin/env python3
"""Writes the comparison documents, each as NAME.xml and NAME.bin, with plistlib.

    gen.py OUTDIR [--quick]

Every value comes from the index of its item through fixed formulas, so two
runs write the same bytes. --quick writes documents about a tenth the size.
"""
import datetime
import hashlib
import os
import plistlib
import sys

EPOCH = datetime.datetime(1970, 1, 1)  # naive datetimes are UTC to plistlib
MASK64 = (1 << 64) - 1


def unix_date(sec):
    return EPOCH + datetime.timedelta(seconds=sec)


def track(i):
    """A 28-key media-library entry: text, integers, dates, a real, booleans, a small blob."""
    return {
        "Track ID": i,
        "Name": f"Song number {i} of the collection",
        "Artist": f"Artist {i % 997}",
        "Album Artist": f"Artist {i % 997}",
        "Album": f"Album {i % 3001} & friends",
        "Genre": f"Genre {i % 17}",
        "Kind": "MPEG audio file",
        "Size": 3000000 + i * 37,
        "Total Time": 180000 + i % 120000,
        "Disc Number": 1,
        "Disc Count": 1,
        "Track Number": i % 14 + 1,
        "Track Count": 14,
        "Year": 1960 + i % 60,
        "Date Modified": unix_date(1262390400 + i * 61),
        "Date Added": unix_date(1262390400 + i * 67),
        "Bit Rate": 256,
        "Sample Rate": 44100,
        "Play Count": i % 50,
        "Play Date UTC": unix_date(1600000000 + i * 113),
        "Skip Count": -(i % 3),
        "Volume Adjustment": (i % 200) / 7.0 - 10.0,
        "Loved": i % 5 == 0,
        "Compilation": i % 11 == 0,
        "Persistent ID": "%016X" % ((i * 0x9E3779B97F4A7C15) & MASK64),
        "Track Type": "File",
        "Location": f"file:///Users/someone/Music/Artist%20{i}/Track.mp3",
        "Artwork Hash": bytes((i * 31 + k * 7) & 0xFF for k in range(24)),
    }


def library(tracks):
    return {
        "Major Version": 1,
        "Application Version": "12.9.5.5",
        "Date": unix_date(1700000000),
        "Tracks": {str(i + 1000): track(i) for i in range(tracks)},
    }


def xorshift(seed):
    x = seed
    while True:
        x ^= (x << 13) & MASK64
        x ^= x >> 7
        x ^= (x << 17) & MASK64
        yield x


def numbers(n):
    """Integers and reals alternating."""
    rng = xorshift(88172645463325252)
    out = []
    for i in range(n):
        x = next(rng)
        out.append((x >> 11) / float(1 << 40) if i % 2 else x % 2000000 - 1000000)
    return out


def blobs(count, size):
    return {f"blob {b}": hashlib.shake_128(b"blob %d" % b).digest(size) for b in range(count)}


def config(sections):
    """Settings nested six levels: dictionaries of dictionaries and arrays, mixed scalars."""
    rng = xorshift(0x2545F4914F6CDD1D)

    def scalar(k):
        x = next(rng)
        kind = x % 7
        if kind == 0:
            return f"value {x % 100000} for setting {k}"
        if kind == 1:
            return int(x % 1000000) - 500000
        if kind == 2:
            return (x >> 11) / float(1 << 45)
        if kind == 3:
            return bool(x & 8)
        if kind == 4:
            return unix_date(1500000000 + x % 300000000)
        if kind == 5:
            return bytes((x >> (8 * j)) & 0xFF for j in range(8))
        return f"/etc/service/{x % 50}/path"

    def node(depth, k):
        if depth == 0:
            return scalar(k)
        x = next(rng)
        if x % 3 == 0:
            return [node(depth - 1, j) if j % 3 == 0 else scalar(j) for j in range(2 + x % 4)]
        return {f"option {j}": (node(depth - 1, j) if j % 2 == 0 else scalar(j))
                for j in range(3 + x % 5)}

    return {f"section {s}": node(6, s) for s in range(sections)}


def main():
    out = sys.argv[1]
    quick = "--quick" in sys.argv[2:]
    scale = 10 if quick else 1
    docs = {
        "library-5": lambda: library(3100 // scale),
        "library-60": lambda: library(37200 // scale),
        "config": lambda: config(40),
        "numbers": lambda: numbers(1000000 // scale),
        "data": lambda: blobs(300 // scale, 50000),
    }
    os.makedirs(out, exist_ok=True)
    for name, make in docs.items():
        value = make()
        for ext, fmt in (("xml", plistlib.FMT_XML), ("bin", plistlib.FMT_BINARY)):
            with open(os.path.join(out, f"{name}.{ext}"), "wb") as f:
                f.write(plistlib.dumps(value, fmt=fmt, sort_keys=False))


if __name__ == "__main__":
    main()
