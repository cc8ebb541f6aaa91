#!/usr/bin/python3
"""Checks that every tracker pose a host published is the pose of a data
packet the tracking system sent, whole and in order.

The truth is a packet capture of what the system sent (mstar-sim --record,
or dumpcap on the loopback): each data packet's unit records are decoded here
on their own (16-bit words, 1/32767, the unit's position scale, angles times
180, azimuth and roll negated in CAVE coordinates) and compared with the
host's JSON lines. The records of one read share their host_time_us, so they
must all come from one packet (none mixed), and successive reads must come
from later packets (none shifted back or repeated).

Exit status 0 when every checked record matches, 1 when one does not, 2 for
bad input.
"""
import argparse
import json
import struct
import sys

DATA_PACKET = 210
WORD_SCALE = struct.unpack(">f", bytes.fromhex("38000100"))[0]
# Published values carry five decimals, truncated; one unit either way covers
# the rounding of single-precision arithmetic. A word step is 36 units of
# position (scale 12) and 549 of angle, so a neighbour never passes for it.
TOLERANCE = 1.5e-5
FIELDS = ("x", "y", "z", "azimuth", "elevation", "roll")


def f32(value):
    return struct.unpack("f", struct.pack("f", value))[0]


def decode_word(word):
    return max(-1.0, min(1.0, f32(word * WORD_SCALE)))


def pose_of(words, scale):
    position = [f32(decode_word(w) * scale) for w in words[:3]]
    azimuth, elevation, roll = (f32(decode_word(w) * 180.0) for w in words[3:])
    return position + [-azimuth, elevation, -roll]


def udp_payloads(path, source):
    """Yields (time in s, payload) of every UDP datagram from source
    (address, port) in a pcap file (Ethernet, raw IPv4 or Linux cooked)."""
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 24:
        raise ValueError(f"{path}: not a pcap file")
    magic = data[:4]
    if magic in (b"\xd4\xc3\xb2\xa1", b"\x4d\x3c\xb2\xa1"):
        endian = "<"
    elif magic in (b"\xa1\xb2\xc3\xd4", b"\xa1\xb2\x3c\x4d"):
        endian = ">"
    else:
        raise ValueError(f"{path}: not a pcap file (pcapng is not read; dumpcap -P writes pcap)")
    nanos = magic in (b"\x4d\x3c\xb2\xa1", b"\xa1\xb2\x3c\x4d")
    linktype = struct.unpack(endian + "I", data[20:24])[0] & 0xFFFF
    link_length = {1: 14, 101: 0, 228: 0, 113: 16, 0: 4}.get(linktype)
    if link_length is None:
        raise ValueError(f"{path}: link type {linktype} is not read")
    address = bytes(int(part) for part in source[0].split("."))
    offset = 24
    while offset + 16 <= len(data):
        seconds, fraction, captured, _ = struct.unpack(endian + "IIII", data[offset:offset + 16])
        frame = data[offset + 16:offset + 16 + captured]
        offset += 16 + captured
        ip = frame[link_length:]
        if len(ip) < 28 or ip[0] >> 4 != 4 or ip[9] != 17 or ip[12:16] != address:
            continue
        header = (ip[0] & 0x0F) * 4
        sport, _, length = struct.unpack(">HHH", ip[header:header + 6])
        if sport != source[1]:
            continue
        yield seconds + fraction / (1e9 if nanos else 1e6), ip[header + 8:header + length]


def data_packets(path, source, trackers, erc):
    """The poses of every data packet, in the order sent: a list of
    (time, {bus address: words})."""
    packets = []
    for when, payload in udp_payloads(path, source):
        if len(payload) < 16 or payload[8] != DATA_PACKET:
            continue
        units = {}
        for i in range(trackers):
            record = payload[16 + 14 * i:30 + 14 * i]
            if len(record) < 14:
                break
            units[record[0] & 0x7F] = struct.unpack(">6h", record[2:14])
        units.pop(erc, None)
        packets.append((when, units))
    return packets


def output_id(address, erc, base):
    return base + address - (1 if address > erc else 0)


class Truth:
    """Finds the packets whose unit record gives a published pose."""

    def __init__(self, packets, erc, base, scale):
        self.packets = packets
        self.poses = []  # per packet: {output ID: pose}
        self.by_x = {}  # (output ID, x word) -> packet indices
        for index, (_, units) in enumerate(packets):
            poses = {}
            for address, words in units.items():
                tracker = output_id(address, erc, base)
                poses[tracker] = pose_of(words, scale)
                self.by_x.setdefault((tracker, words[0]), []).append(index)
            self.poses.append(poses)
        self.scale = scale

    def matches(self, index, record):
        pose = self.poses[index].get(record["id"])
        return pose is not None and all(
            abs(pose[i] - record[field]) <= TOLERANCE for i, field in enumerate(FIELDS))

    def candidates(self, record):
        word = round(record["x"] / self.scale * 32767)
        found = set()
        for w in (word - 1, word, word + 1):
            for index in self.by_x.get((record["id"], w), ()):
                if self.matches(index, record):
                    found.add(index)
        return found


def reads(path, device, span):
    """Groups the device's tracker records by the read that published them."""
    groups = {}
    with open(path) as f:
        for number, line in enumerate(f, 1):
            try:
                record = json.loads(line)
            except json.JSONDecodeError:
                raise ValueError(f"{path}:{number}: not a JSON record")
            if record.get("device") != device or record.get("type") != "tracker":
                continue
            if span and not span[0] <= record["host_time_us"] / 1e6 <= span[1]:
                continue
            groups.setdefault(record["host_time_us"], []).append(record)
    return [groups[key] for key in sorted(groups)]


def check(truth, groups, show):
    """Returns (records, reads, problems, neighbours told apart)."""
    last = -1
    problems = []
    told_apart = 0
    for group in groups:
        common = None
        for record in group:
            found = truth.candidates(record)
            if not found:
                problems.append(f"no packet gives {json.dumps(record)}")
            common = found if common is None else common & found
        later = sorted(i for i in (common or ()) if i > last)
        if not later:
            if common:
                problems.append(f"read at {group[0]['host_time_us']} repeats or goes back to "
                                f"packet {max(common)} (after packet {last})")
            elif all(truth.candidates(r) for r in group):
                problems.append(f"read at {group[0]['host_time_us']} mixes packets")
            continue
        last = later[0]
        # The same records against the next packet: a shifted read fails there.
        if last + 1 < len(truth.packets) and not all(truth.matches(last + 1, r) for r in group):
            told_apart += 1
    for problem in problems[:show]:
        print("   MISMATCH: " + problem)
    if len(problems) > show:
        print(f"   ... and {len(problems) - show} more")
    return sum(len(g) for g in groups), len(groups), len(problems), told_apart


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("capture", help="pcap file of what the system sent")
    parser.add_argument("records", help="the host's JSON lines (--format jsonl or -o)")
    parser.add_argument("--device", required=True, help="the device's name in the records")
    parser.add_argument("--address", default="127.0.0.2", help="the system's IPv4 address")
    parser.add_argument("--port", type=int, default=5000, help="the system's UDP port")
    parser.add_argument("--trackers", type=int, required=True, help="tracker units in a packet")
    parser.add_argument("--erc", type=int, default=1, help="the transmitter's bus address")
    parser.add_argument("--id-base", type=int, default=0, help="output IDs before the device's")
    parser.add_argument("--scale", type=float, default=12.0, help="position scale, feet")
    parser.add_argument("--within-capture", type=float, metavar="MARGIN",
                        help="check only records published while the capture ran, MARGIN "
                        "seconds inside its ends (for a capture of part of a session)")
    parser.add_argument("--allow-empty", action="store_true",
                        help="no record to check is not a failure (a stretch without data)")
    parser.add_argument("--show", type=int, default=10, help="mismatches printed")
    args = parser.parse_args()
    try:
        packets = data_packets(args.capture, (args.address, args.port), args.trackers, args.erc)
        span = None
        if args.within_capture is not None and packets:
            span = (packets[0][0] + args.within_capture, packets[-1][0] - args.within_capture)
        groups = reads(args.records, args.device, span)
    except (OSError, ValueError, KeyError) as error:
        print(f"check_records: {error}", file=sys.stderr)
        return 2
    truth = Truth(packets, args.erc, args.id_base, args.scale)
    records, read_count, problems, told_apart = check(truth, groups, args.show)
    print(f"   {args.device}: {len(packets)} data packets sent, {records} tracker records in "
          f"{read_count} reads checked, {problems} mismatches; a shifted read is told apart "
          f"in {told_apart} of {read_count}")
    if read_count == 0:
        if args.allow_empty:
            return 0
        print("   MISMATCH: no tracker record to check")
        return 1
    if told_apart == 0:
        print("   MISMATCH: no read differs from its next packet: this check cannot tell")
        return 1
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
