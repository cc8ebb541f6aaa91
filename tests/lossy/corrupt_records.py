#!/usr/bin/python3
"""Writes three copies of a host's JSON lines, each with one fault that
check_records.py must find: a pose one position word off (PREFIX-pose.jsonl),
a read whose last tracker took the pose of the next read's
(PREFIX-mixed.jsonl), and a read published again at the end
(PREFIX-repeated.jsonl)."""
import json
import sys


def write(path, records):
    with open(path, "w") as f:
        for record in records:
            f.write(json.dumps(record, separators=(",", ":")) + "\n")


def main():
    if len(sys.argv) != 3:
        print("usage: corrupt_records.py RECORDS PREFIX", file=sys.stderr)
        return 2
    with open(sys.argv[1]) as f:
        records = [json.loads(line) for line in f]
    reads = {}
    for record in records:
        if record.get("type") == "tracker":
            reads.setdefault(record["host_time_us"], []).append(record)
    # Reads of more than one tracker, the middle ones of the session.
    whole = [group for group in reads.values() if len(group) > 1]
    if len(whole) < 3:
        print("corrupt_records: fewer than three reads of several trackers", file=sys.stderr)
        return 1
    middle = len(whole) // 2
    fields = ("x", "y", "z", "azimuth", "elevation", "roll")

    victim = whole[middle][0]
    saved = victim["x"]
    victim["x"] = round(saved + 12.0 / 32767, 5)
    write(sys.argv[2] + "-pose.jsonl", records)
    victim["x"] = saved

    target, source = whole[middle][-1], whole[middle + 1][-1]
    saved = {field: target[field] for field in fields}
    target.update({field: source[field] for field in fields})
    write(sys.argv[2] + "-mixed.jsonl", records)
    target.update(saved)

    last = max(reads)
    again = [dict(record, host_time_us=last + 1) for record in whole[middle]]
    write(sys.argv[2] + "-repeated.jsonl", records + again)
    return 0


if __name__ == "__main__":
    sys.exit(main())
