#!/usr/bin/python3
"""Splits a host's JSON lines (standard input) for a long run: status records
all go to STATUS; tracker and controller records go to WINDOW_DIR/K.jsonl
only while the file WINDOW_DIR/open holds the number K, so a run of hours
keeps only the stretches that are checked."""
import os
import sys


def main():
    if len(sys.argv) != 3:
        print("usage: split_records.py STATUS WINDOW_DIR < records", file=sys.stderr)
        return 2
    status_path, window_dir = sys.argv[1:]
    flag = os.path.join(window_dir, "open")
    window, target = None, None
    counted = 0
    with open(status_path, "a") as status:
        for line in sys.stdin:
            if '"type":"status"' in line:
                status.write(line)
                status.flush()
                continue
            counted += 1
            if counted % 500 == 0:  # a look at the flag every half read-second of 32 trackers
                try:
                    with open(flag) as f:
                        wanted = f.read().strip() or None
                except OSError:
                    wanted = None
                if wanted != window:
                    if target:
                        target.close()
                    window = wanted
                    target = open(os.path.join(window_dir, window + ".jsonl"), "a") if window else None
            if target:
                target.write(line)
    if target:
        target.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
