#!/usr/bin/env python3
"""Python's plistlib on one document, in the protocol every peer follows (README.md):

    plistlib_peer.py FILE REPS [write]
"""
import plistlib
import sys
import time


def count(value):
    """Values in the tree, containers included, keys not."""
    n, todo = 0, [value]
    while todo:
        v = todo.pop()
        n += 1
        if isinstance(v, dict):
            todo.extend(v.values())
        elif isinstance(v, list):
            todo.extend(v)
    return n


def status_bytes(field):
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith(field):
                return int(line.split()[1]) * 1024
    return -1


def main():
    with open(sys.argv[1], "rb") as f:
        data = f.read()
    with open("/proc/self/clear_refs", "w") as f:
        f.write("5")  # the peak restarts here, with the input read
    before = status_bytes("VmRSS:")
    start = time.process_time()
    value = plistlib.loads(data)
    print("first_parse %.6f" % (time.process_time() - start))
    print("mem", status_bytes("VmHWM:") - before)
    print("nodes", count(value))
    reps = int(sys.argv[2])
    for _ in range(reps):
        del value  # freeing is not timed
        start = time.process_time()
        value = plistlib.loads(data)
        print("parse %.6f" % (time.process_time() - start))
    if sys.argv[3:] == ["write"]:
        # Insertion order, as the other peers write; plistlib sorts by default.
        for name, fmt in (("write_xml", plistlib.FMT_XML), ("write_bin", plistlib.FMT_BINARY)):
            for i in range(reps + 1):
                start = time.process_time()
                out = plistlib.dumps(value, fmt=fmt, sort_keys=False)
                print("first_" * (i == 0) + name, "%.6f" % (time.process_time() - start))
                del out

if __name__ == "__main__":
    main()
