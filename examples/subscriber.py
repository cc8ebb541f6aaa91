#!/usr/bin/python3
"""Prints what mstar-host --publish sends: poses, wands, device states.

usage: subscriber.py ENDPOINT [TOPIC_PREFIX [COUNT]]   (layout: include/motionstar/stream.h)
"""
import struct
import sys

import zmq

HEADER = struct.Struct("<BBBBIQIIH2x32s4x")  # version, kind, flags, name length, id, ...
BODY = {1: struct.Struct("<6d"), 2: struct.Struct("<BB2xI32d"), 3: struct.Struct("<B3xII4xQQ")}
STATES = ["?", "starting", "streaming", "stale", "lost", "recovering", "stopped"]

sub = zmq.Context().socket(zmq.SUB)
sub.connect(sys.argv[1])
sub.setsockopt_string(zmq.SUBSCRIBE, sys.argv[2] if len(sys.argv) > 2 else "")
for _ in range(int(sys.argv[3]) if len(sys.argv) > 3 else sys.maxsize):
    topic, record = (sub.recv_multipart() + [b""])[:2]
    version, kind, flags, _, _, _, sequence, *_ = HEADER.unpack_from(record.ljust(64, b"\0"))
    if version != 1 or kind not in BODY or len(record) != HEADER.size + BODY[kind].size:
        continue  # not a record (a host started with --publish-format json sends text)
    values = BODY[kind].unpack_from(record, HEADER.size)
    if kind == 1:
        text = "x %.5f y %.5f z %.5f azimuth %.5f elevation %.5f roll %.5f" % values
    elif kind == 2:
        n, m, bits, *valuators = values
        text = "valuators %s buttons %s" % (valuators[:n], [bits >> b & 1 for b in range(m)])
    else:
        text = "%s, %d dropouts, %d recoveries, %d packets, %d failures" % (STATES[values[0]], *values[1:])
    print(topic.decode(), "#%d" % sequence, text, "(last value on joining)" if flags & 1 else "", flush=True)
