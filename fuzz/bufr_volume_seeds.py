#!/usr/bin/python3
"""Writes small BUFR polar volumes in the exchange's layout (3-21-204, 3-01-031, 3-21-203)
as seeds for bufr_volume_fuzz: editions 3 and 4, one or two sweeps, arrays cut into one or
several byte runs. Widths come from the descriptor tables (ours for the local descriptors,
ecCodes' for the WMO ones).

    bufr_volume_seeds.py OUTDIR [RESOURCE_BUFR_TABLE_DIR] [ECCODES_DEFINITIONS]
"""
import os
import struct
import sys
import zlib

here = os.path.dirname(os.path.abspath(__file__))
out = sys.argv[1]
ours = sys.argv[2] if len(sys.argv) > 2 else os.path.join(
    here, "..", "resources/rdr/www/cgi-src/resource/bufr_table")
theirs = sys.argv[3] if len(sys.argv) > 3 else "/usr/share/eccodes/definitions"

widths = {}
for path in (theirs + "/bufr/tables/0/wmo/14/element.table",
             ours + "/bufr/tables/0/local/8/247/0/element.table"):
    for line in open(path, encoding="utf-8"):
        if not line.startswith("#"):
            p = line.split("|")
            widths[int(p[0])] = (int(p[5]), int(p[6]), int(p[7]), p[2] == "string")


class Bits:
    def __init__(self):
        self.value, self.n = 0, 0

    def put(self, raw, width):
        self.value = (self.value << width) | (raw & ((1 << width) - 1))
        self.n += width

    def element(self, code, v):
        scale, ref, width, text = widths[code]
        if text:
            for c in v.ljust(width // 8).encode("latin-1"):
                self.put(c, 8)
        else:
            self.put(round(v * 10 ** scale) - ref, width)

    def bytes(self):
        pad = (-self.n) % 8
        return (self.value << pad).to_bytes((self.n + pad) // 8, "big")


def volume(edition, sweeps, run_length):
    b = Bits()
    b.element(31001, 1)
    b.element(1192, "NOD")
    b.element(1193, "tst01")
    for code, v in ((1001, 12), (1002, 345), (2001, 0), (4001, 2024), (4002, 5), (4003, 1),
                    (4004, 12), (4005, 30), (5001, 45.5), (6001, 10.25), (7001, 150)):
        b.element(code, v)
    b.element(31001, len(sweeps))
    for elangle, rays, bins in sweeps:
        for code, v in ((4001, 2024), (4002, 5), (4003, 1), (4004, 12), (4005, 30), (4006, 0)) * 2:
            b.element(code, v)
        for code, v in ((30196, 90), (2135, elangle), (30194, bins), (21201, 500),
                        (21203, 0), (30195, rays), (2134, 0)):
            b.element(code, v)
        b.element(31001, 1)
        b.element(30196, 0)
        values = [-1.7976931348623157e308 if (i % 7) == 0 else (i % 40) * 0.5
                  for i in range(rays * bins)]
        z = zlib.compress(struct.pack("<%dd" % len(values), *values))
        runs = [z[i:i + run_length] for i in range(0, len(z), run_length)]
        b.element(30197, 0)
        b.element(31002, len(runs))
        for r in runs:
            b.element(31002, len(r))
            for c in r:
                b.put(c, 8)
    data = b.bytes()
    descriptors = [321204, 301031, 321203]
    s3 = bytes([0]) + struct.pack(">H", 1) + bytes([0x80]) + b"".join(
        struct.pack(">H", (d // 100000 << 14) | (d // 1000 % 100 << 8) | d % 1000) for d in descriptors)
    if edition == 4:
        s1 = bytes([0]) + struct.pack(">HH", 247, 0) + bytes([0, 0, 6, 0, 0, 14, 8]) + \
            struct.pack(">H", 2024) + bytes([5, 1, 12, 30, 0])
    else:
        s1 = bytes([0, 0, 247, 0, 0, 6, 0, 14, 8, 24, 5, 1, 12, 30, 0])
    sections = b""
    for body in (s1, s3, bytes([0]) + data):
        if edition == 3 and (len(body) + 3) % 2:
            body += b"\0"
        sections += struct.pack(">I", len(body) + 3)[1:] + body
    total = 8 + len(sections) + 4
    return b"BUFR" + struct.pack(">I", total)[1:] + bytes([edition]) + sections + b"7777"


os.makedirs(out, exist_ok=True)
seeds = {
    "edition4_one_sweep": volume(4, [(0.5, 4, 8)], 65534),
    "edition3_two_sweeps": volume(3, [(0.5, 4, 8), (1.5, 3, 5)], 65534),
    "edition4_short_runs": volume(4, [(0.5, 6, 10)], 16),
}
for name, message in seeds.items():
    with open(os.path.join(out, name), "wb") as f:
        f.write(message)
