#!/usr/bin/python3
"""Map-line and station files drawn over product images.

Runs extract.sh (GSHHG/WDBII through Debian's gmt) for the coast, border, river and road
layers and writes, under RESOURCE (default resources/rdr/www/cgi-src/resource):

  map/fine_kr_binary.dat  single-radar images: records of int32 point count, int32 class,
                          count x (float32 latitude, float32 longitude), little-endian.
                          Classes: 1 shore, 2 national border, 3 fine detail (islets,
                          minor rivers, expressways: drawn only at 0.5 km per pixel or
                          finer), 4 major rivers.
  map/map_data.bln        composite image kind COMP_240, and
  map/F2R_map4.bln        every other composite kind: records of float32 count, float32
                          code, count x (float32 x, float32 y) in cells of a 4 km grid on
                          the composite Lambert projection (sphere 6371.00877 km, standard
                          parallels 30 and 60 N, reference 126 E 38 N at cell (100, 200)),
                          x east, y north. Codes: 0 shore, 2 national border, 3 rivers and
                          4 expressways (both kept in the file, not drawn).
  aws/aws_pos_han_1.txt   station marks for coarse images (tier 1 of stations.txt) and
  aws/aws_pos_han_2.txt   for fine images (every tier): a count, then "name lat lon" lines,
                          names in EUC-KR.

The 4 km grid puts the lower-left corner of the COMP_240 image (480 x 600 pixels of 2 km)
at cell (0, 0), so that image spans 960 km x 1200 km from 121.03 E 41.59 N (upper left)
to 131.86 E 30.51 N (lower right); a COMP_240 product grid of 2 km cells has the reference
point at its cell (200, 400).

Another region: pass --site-region and --comp-region boxes (and, for another composite
grid, --comp-origin); for another station list, --stations. --only names the files to
write (the world file alone needs only the gmt-gshhg-low package). Every file is written
to a temporary name and renamed.

Usage: tools/maplines/image_maps.py [--resource DIR] [--site-region W/E/S/N] ...
"""

import argparse
import math
import os
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))

EARTH_KM = 6371.00877
BASE_GRID_KM = 4.0

# Site map classes and composite codes.
SITE_SHORE, SITE_BORDER, SITE_FINE, SITE_RIVER = 1, 2, 3, 4
COMP_SHORE, COMP_BORDER, COMP_RIVER, COMP_ROAD = 0, 2, 3, 4

# Base-grid windows (cells) of the composite image kinds, from their origin offsets, pixel
# sizes and grid sizes: COMP_240 x 0..240, y 0..300; COMP_480 x -92..302.5, y -71..361;
# COMP_KCJ x -162..401.25, y -367..458.75.
COMP240_WINDOW = (0.0, 240.0, 0.0, 300.0)
WIDE_WINDOW = (-162.0, 401.25, -367.0, 458.75)
WINDOW_MARGIN = 2.0
WORLD_REGION = "-180/180/-90/90"
WORLD_MAX_STEP_KM = 50.0


def run_extract(layer, region, res, area=None):
    cmd = [os.path.join(HERE, "extract.sh"), layer, region, res]
    if area:
        cmd += ["-a", str(area)]
    with tempfile.TemporaryDirectory() as work:  # gmt leaves a history file in its cwd
        text = subprocess.run(cmd, check=True, capture_output=True, text=True, cwd=work).stdout
    segments, header, points = [], None, []
    for line in text.splitlines():
        if line.startswith(">"):
            if header is not None and points:
                segments.append((header, points))
            header, points = line[1:].split(), []
        elif line.strip():
            lon, lat = line.split()[:2]
            points.append((float(lon), float(lat)))
    if header is not None and points:
        segments.append((header, points))
    return segments


def clip_runs(points, inside):
    """Splits a polyline into runs that touch the window: each kept run also keeps the
    first point past the window on either side, so lines reach the edge."""
    runs, run = [], []
    flags = [inside(p) for p in points]
    for i, p in enumerate(points):
        near = flags[i] or (i > 0 and flags[i - 1]) or (i + 1 < len(points) and flags[i + 1])
        if near:
            run.append(p)
        elif run:
            runs.append(run)
            run = []
    if run:
        runs.append(run)
    return [r for r in runs if len(r) >= 2]


class Lambert:
    """Lambert conformal conic on a sphere, the radar core's formulas, x/y in grid cells."""

    def __init__(self, grid_km, slat1, slat2, olon, olat, xo, yo):
        d = math.pi / 180.0
        self.re = EARTH_KM / grid_km
        self.olon = olon * d
        p1, p2 = slat1 * d, slat2 * d
        sn = math.tan(math.pi / 4 + p2 / 2) / math.tan(math.pi / 4 + p1 / 2)
        self.sn = math.log(math.cos(p1) / math.cos(p2)) / math.log(sn)
        self.sf = math.tan(math.pi / 4 + p1 / 2) ** self.sn * math.cos(p1) / self.sn
        self.ro = self.re * self.sf / math.tan(math.pi / 4 + olat * d / 2) ** self.sn
        self.xo, self.yo = xo, yo

    def forward(self, lon, lat):
        d = math.pi / 180.0
        ra = self.re * self.sf / math.tan(math.pi / 4 + lat * d / 2) ** self.sn
        theta = lon * d - self.olon
        if theta > math.pi:
            theta -= 2 * math.pi
        if theta < -math.pi:
            theta += 2 * math.pi
        theta *= self.sn
        return ra * math.sin(theta) + self.xo, self.ro - ra * math.cos(theta) + self.yo


def site_class(header):
    layer, level = header[0], int(header[1]) if len(header) > 1 else 1
    small = "small" in header[2:]
    if layer == "coast":
        return SITE_FINE if small or level == 4 else SITE_SHORE
    if layer == "border":
        return SITE_BORDER if level == 1 else None  # maritime lines would clutter the sea
    if layer == "river":
        return SITE_RIVER if level <= 2 else SITE_FINE
    if layer == "road":
        return SITE_FINE
    return None


def comp_code(header):
    layer, level = header[0], int(header[1]) if len(header) > 1 else 1
    if layer == "coast":
        return COMP_SHORE if level != 4 else None
    if layer == "border":
        return COMP_BORDER if level == 1 else None
    if layer == "river":
        return COMP_RIVER
    if layer == "road":
        return COMP_ROAD
    return None


def write_atomic(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    fd, tmp = tempfile.mkstemp(prefix=".tmp.", dir=os.path.dirname(path))
    try:
        with os.fdopen(fd, "wb") as f:
            f.write(data)
        os.chmod(tmp, 0o644)
        os.replace(tmp, path)
    except BaseException:
        os.unlink(tmp)
        raise


def parse_box(text):
    w, e, s, n = (float(v) for v in text.split("/"))
    return w, e, s, n


def site_map(region, res, islet_km2):
    w, e, s, n = parse_box(region)
    inside = lambda p: w <= p[0] <= e and s <= p[1] <= n  # noqa: E731
    out, records, points = bytearray(), 0, 0
    for layer in ("coast", "border", "river", "road"):
        for header, pts in run_extract(layer, region, res, islet_km2 if layer == "coast" else None):
            cls = site_class(header)
            if cls is None:
                continue
            for run in clip_runs(pts, inside):
                out += struct.pack("<ii", len(run), cls)
                for lon, lat in run:
                    out += struct.pack("<ff", lat, lon)
                records += 1
                points += len(run)
    return bytes(out), records, points


def densify(points, max_km):
    """Adds points along each step longer than max_km, straight in longitude and latitude
    (the source lines are drawn that way: borders along parallels stay on them). Steps
    across the antimeridian are left alone."""
    out = [points[0]]
    for (lon0, lat0), (lon1, lat1) in zip(points, points[1:]):
        if abs(lon1 - lon0) <= 180.0:
            dy = (lat1 - lat0) * math.pi / 180.0 * EARTH_KM
            km_per_deg_lon = math.pi / 180.0 * EARTH_KM * math.cos(math.radians((lat0 + lat1) / 2))
            dx = (lon1 - lon0) * km_per_deg_lon
            pieces = int(math.hypot(dx, dy) // max_km) + 1
            for k in range(1, pieces):
                t = k / pieces
                out.append((lon0 + (lon1 - lon0) * t, lat0 + (lat1 - lat0) * t))
        out.append((lon1, lat1))
    return out


def world_map(res, islet_km2):
    out, records, points = bytearray(), 0, 0
    for layer in ("coast", "border"):
        area = islet_km2 if layer == "coast" else None
        for header, pts in run_extract(layer, WORLD_REGION, res, area):
            cls = site_class(header)
            if cls is None or len(pts) < 2:
                continue
            run = densify(pts, WORLD_MAX_STEP_KM)
            out += struct.pack("<ii", len(run), cls)
            for lon, lat in run:
                out += struct.pack("<ff", lat, lon)
            records += 1
            points += len(run)
    return bytes(out), records, points


def comp_map(region, res, window, proj):
    x0, x1, y0, y1 = window
    x0, x1, y0, y1 = x0 - WINDOW_MARGIN, x1 + WINDOW_MARGIN, y0 - WINDOW_MARGIN, y1 + WINDOW_MARGIN
    inside = lambda p: x0 <= p[0] <= x1 and y0 <= p[1] <= y1  # noqa: E731
    out, records, points = bytearray(), 0, 0
    for layer in ("coast", "border", "river", "road"):
        for header, pts in run_extract(layer, region, res):
            code = comp_code(header)
            if code is None:
                continue
            cells = [proj.forward(lon, lat) for lon, lat in pts]
            for run in clip_runs(cells, inside):
                out += struct.pack("<ff", float(len(run)), float(code))
                for x, y in run:
                    out += struct.pack("<ff", x, y)
                records += 1
                points += len(run)
    return bytes(out), records, points


def station_lists(path, check_land):
    rows = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            if not line.strip() or line.startswith("#"):
                continue
            name, lat, lon, tier = line.split()[:4]
            rows.append((name, float(lat), float(lon), int(tier)))
    if check_land:
        pts = "".join(f"{lon} {lat}\n" for _, lat, lon, _ in rows)
        with tempfile.TemporaryDirectory() as work:
            wet = subprocess.run(["gmt", "select", "-Nk/s", "-Dh"], input=pts, text=True,
                                 capture_output=True, check=True, cwd=work).stdout
        if wet.strip():
            sys.exit("image_maps.py: stations in the sea:\n" + wet)

    def listing(tiers):
        chosen = [r for r in rows if r[3] in tiers]
        text = f"{len(chosen)}\n" + "".join(f"{n} {lat:.2f} {lon:.2f}\n" for n, lat, lon, _ in chosen)
        return text.encode("euc-kr")

    return listing({1}), listing({1, 2})


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--resource", default=os.path.join(REPO, "resources/rdr/www/cgi-src/resource"))
    ap.add_argument("--site-region", default="120/134/30/42",
                    help="lon/lat box of every single-radar image (default: the peninsula)")
    ap.add_argument("--site-res", default="h")
    ap.add_argument("--islet-km2", default=10, type=float,
                    help="shores of features smaller than this get the fine-detail class")
    ap.add_argument("--comp-region", default="120/133/30/42.5", help="box of COMP_240")
    ap.add_argument("--comp-res", default="h")
    ap.add_argument("--wide-region", default="111/143/17/48", help="box of COMP_480, COMP_KCJ")
    ap.add_argument("--wide-res", default="i")
    ap.add_argument("--world-res", default="l", help="GSHHG resolution of world_binary.dat")
    ap.add_argument("--only", default="",
                    help="comma-separated files to write (e.g. map/world_binary.dat); default all")
    ap.add_argument("--comp-origin", default="126/38/100/200",
                    help="LON/LAT/X/Y: reference point and its 4 km grid cell")
    ap.add_argument("--stations", default=os.path.join(HERE, "stations.txt"))
    ap.add_argument("--no-land-check", action="store_true")
    a = ap.parse_args()

    olon, olat, xo, yo = (float(v) for v in a.comp_origin.split("/"))
    proj = Lambert(BASE_GRID_KM, 30.0, 60.0, olon, olat, xo, yo)

    jobs = [
        ("map/fine_kr_binary.dat", lambda: site_map(a.site_region, a.site_res, a.islet_km2)),
        ("map/map_data.bln", lambda: comp_map(a.comp_region, a.comp_res, COMP240_WINDOW, proj)),
        ("map/F2R_map4.bln", lambda: comp_map(a.wide_region, a.wide_res, WIDE_WINDOW, proj)),
        ("map/world_binary.dat", lambda: world_map(a.world_res, a.islet_km2)),
    ]
    only = set(filter(None, a.only.split(",")))
    unknown = only - {name for name, _ in jobs} - {"aws/aws_pos_han_1.txt", "aws/aws_pos_han_2.txt"}
    if unknown:
        sys.exit("image_maps.py: --only: unknown files " + ", ".join(sorted(unknown)))
    for name, make in jobs:
        if only and name not in only:
            continue
        data, records, points = make()
        write_atomic(os.path.join(a.resource, name), data)
        print(f"{name}: {records} lines, {points} points, {len(data)} bytes")

    if only and not only & {"aws/aws_pos_han_1.txt", "aws/aws_pos_han_2.txt"}:
        return
    coarse, fine = station_lists(a.stations, not a.no_land_check)
    write_atomic(os.path.join(a.resource, "aws/aws_pos_han_1.txt"), coarse)
    write_atomic(os.path.join(a.resource, "aws/aws_pos_han_2.txt"), fine)
    print("aws/aws_pos_han_1.txt, aws/aws_pos_han_2.txt written")


if __name__ == "__main__":
    main()
