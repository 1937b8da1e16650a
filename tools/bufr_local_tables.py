#!/usr/bin/python3
"""Writes a local BUFR table B/D pair given as semicolon CSV (F;X;Y;name;unit;scale;ref;width
and F;X;Y;F;X;Y rows) as element.table and sequence.def in the descriptor-table layout the
decoder and ecCodes read.

    bufr_local_tables.py TABB.csv TABD.csv OUTDIR [MASTER_ELEMENT_TABLE ...]

Abbreviations are the CamelCase of the names; one that repeats an earlier one or a key of
the given master tables gets its descriptor appended, so every key stays unique; a
descriptor the master tables already hold keeps their key.
"""
import os
import re
import sys


def camel(name):
    words = re.findall(r"[A-Za-z0-9]+", name)
    text = "".join(w[:1].upper() + w[1:].lower() for w in words)
    return (text[:1].lower() + text[1:]) or "element"


def kind_and_unit(unit, scale):
    u = unit.strip()
    low = u.lower()
    if low == "ccitt ia5":
        return "string", "CCITT IA5"
    if low.startswith("code"):
        return "table", "CODE TABLE"
    if low.startswith("flag"):
        return "flag", "FLAG TABLE"
    unit_map = {"meter": "m", "meters": "m", "degree": "deg", "m/s": "m s-1", "mm*h-1": "mm h-1"}
    return ("double" if scale > 0 else "long"), unit_map.get(low, u)


def main():
    tabb, tabd, out = sys.argv[1:4]
    taken, master_keys = set(), {}
    for master in sys.argv[4:]:
        with open(master, encoding="utf-8") as f:
            for line in f:
                if not line.startswith("#"):
                    code, key = line.split("|")[:2]
                    master_keys[code] = key
                    taken.add(key)
    os.makedirs(out, exist_ok=True)
    rows = []
    with open(tabb, encoding="latin-1") as f:
        for line in f:
            p = [s.strip() for s in line.rstrip("\n").split(";")]
            if len(p) < 8 or not p[0].isdigit():
                continue
            code = "%d%02d%03d" % (int(p[0]), int(p[1]), int(p[2]))
            scale, ref, width = int(p[5]), int(p[6]), int(p[7])
            kind, unit = kind_and_unit(p[4], scale)
            abbr = master_keys.get(code.zfill(6)) or camel(p[3])
            if abbr in taken and code.zfill(6) not in master_keys:
                abbr += code
            taken.add(abbr)
            rows.append("%s|%s|%s|%s|%s|%d|%d|%d|%s|%d|%d" %
                        (code.zfill(6), abbr, kind, p[3].upper(), unit, scale, ref, width,
                         unit, scale, (width + 3) // 4))
    with open(os.path.join(out, "element.table"), "w", encoding="utf-8") as f:
        f.write("#code|abbreviation|type|name|unit|scale|reference|width|"
                "crex_unit|crex_scale|crex_width\n")
        f.write("\n".join(rows) + "\n")
    seqs = []
    with open(tabd, encoding="latin-1") as f:
        for line in f:
            p = [s.strip() for s in line.rstrip("\n").split(";")]
            if len(p) < 6 or not p[3].isdigit():
                continue
            member = "%d%02d%03d" % (int(p[3]), int(p[4]), int(p[5]))
            if p[0]:
                seqs.append(("%d%02d%03d" % (int(p[0]), int(p[1]), int(p[2])), []))
            seqs[-1][1].append(member.zfill(6))
    with open(os.path.join(out, "sequence.def"), "w", encoding="utf-8") as f:
        for code, members in seqs:
            f.write('"%s" = [  %s ]\n' % (code.zfill(6), ", ".join(members)))


if __name__ == "__main__":
    main()
