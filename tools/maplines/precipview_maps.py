#!/usr/bin/python3
"""Resources of the precipitation-type image program, generated from real geography.

Writes, under RESOURCES (default: resources/ of this repository):

  DATA/GIS/MAP/dat/JVT_<window>_map4.dat  shores (GSHHG level 1, islands included) and
                                           national borders, for every map window of
                                           rdr/REF/MAP/map.ini;
  DATA/GIS/MAP/dat/JVT_<window>_map1.dat  permanent rivers and lake shores (drawn on zoomed
                                           images only);
      text records: "count mode" then count lines "x y", km from the window's south-west
      corner (mode = GSHHG level, not used by the program);
  DATA/GIS/TOPO/SRTM/topo_mapB_1km.bin     topography, 64-byte header then 1441 rows of 1153
                                           int16 little-endian heights (0.1 m), row 0 south,
                                           1 km cells, projection origin at column 560, row 840;
  Q7T5_DATA/STN/stn_obs*.csv               station lists from tools/maplines/stations.txt
                                           (places as stations; numbers 90.. for tier 1,
                                           300.. for tier 2; names in EUC-KR).

No elevation model comes with Debian (gmt's relief grids are downloaded on demand), so the
topography is synthesised: land and sea from GSHHG (gmt grdlandmask), heights growing with
the distance from the shore, a main ridge along the east of the peninsula and seeded
fractal relief. It is plausible, not measured.

The projection is the program's own: ellipsoidal Lambert conformal conic, standard parallels
30N and 60N, origin 126E 38N. Every file is written to a temporary name and renamed.
Needs gmt, gmt-gshhg-high, python3-numpy, python3-netcdf4.
"""
import argparse
import math
import os
import subprocess
import sys
import tempfile

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
REGION = "115/140/27/47"

A = 6378.138
FL = 0.0033528106647474805
E = math.sqrt(2 * FL - FL * FL)
D = math.pi / 180.0


def _m(p):
    return math.cos(p) / math.sqrt(1 - E * E * math.sin(p) ** 2)


def _t(p):
    return math.tan(math.pi / 4 - p / 2) / ((1 - E * math.sin(p)) / (1 + E * math.sin(p))) ** (E / 2)


N = (math.log(_m(30 * D)) - math.log(_m(60 * D))) / (math.log(_t(30 * D)) - math.log(_t(60 * D)))
F = _m(30 * D) / (N * _t(30 * D) ** N)
RHO0 = A * F * _t(38 * D) ** N


def forward(lon, lat):
    """Degrees to km from the origin (126E 38N); works on numpy arrays."""
    lat = np.radians(lat)
    t = np.tan(np.pi / 4 - lat / 2) / ((1 - E * np.sin(lat)) / (1 + E * np.sin(lat))) ** (E / 2)
    rho = A * F * t ** N
    th = N * np.radians(np.asarray(lon) - 126.0)
    return rho * np.sin(th), RHO0 - rho * np.cos(th)


def inverse(x, y):
    """km from the origin to degrees; numpy arrays."""
    rho = np.sqrt(x * x + (RHO0 - y) ** 2)
    t = (rho / (A * F)) ** (1 / N)
    phi = np.pi / 2 - 2 * np.arctan(t)
    for _ in range(5):
        s = np.sin(phi)
        phi = np.pi / 2 - 2 * np.arctan(t * ((1 - E * s) / (1 + E * s)) ** (E / 2))
    lon = np.degrees(np.arctan2(x, RHO0 - y) / N) + 126.0
    return lon, np.degrees(phi)


def write_atomic(path, data, mode="w", encoding=None):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    fd, tmp = tempfile.mkstemp(dir=os.path.dirname(path), prefix=".tmp.")
    try:
        with os.fdopen(fd, mode, encoding=encoding) as f:
            f.write(data)
        os.chmod(tmp, 0o644)
        os.replace(tmp, path)
    except BaseException:
        os.unlink(tmp)
        raise


def read_windows(path):
    windows = []
    with open(path) as f:
        for line in f:
            if line.startswith("#") or not line.strip():
                continue
            name, nx, ny, sx, sy = line.strip().split(":")[:5]
            windows.append((name, int(nx), int(ny), int(sx), int(sy)))
    return windows


def extract(layer):
    """Polylines of one layer: list of (level, lon array, lat array)."""
    # gmt leaves a gmt.history in its working directory: run it in a scratch one.
    with tempfile.TemporaryDirectory() as scratch:
        text = subprocess.run([os.path.join(HERE, "extract.sh"), layer, REGION, "h"], cwd=scratch,
                              check=True, capture_output=True, text=True).stdout
    lines, level, pts = [], 0, []
    for row in text.splitlines():
        if row.startswith(">"):
            if len(pts) > 1:
                a = np.array(pts)
                lines.append((level, a[:, 0], a[:, 1]))
            level, pts = int(row.split()[2]), []
        elif row.strip():
            lon, lat = row.split()[:2]
            pts.append((float(lon), float(lat)))
    if len(pts) > 1:
        a = np.array(pts)
        lines.append((level, a[:, 0], a[:, 1]))
    return lines


def window_records(lines, win, margin_km=30.0, min_step_km=0.3):
    """Projected, clipped and thinned records of one window."""
    _, nx, ny, sx, sy = win
    out = []
    for level, lon, lat in lines:
        x, y = forward(lon, lat)
        x, y = x + sx, y + sy
        inside = (x > -margin_km) & (x < nx + margin_km) & (y > -margin_km) & (y < ny + margin_km)
        run = []
        for k in range(len(x)):
            if inside[k]:
                if not run or math.hypot(x[k] - run[-1][0], y[k] - run[-1][1]) >= min_step_km \
                        or k == len(x) - 1 or not inside[k + 1]:
                    run.append((x[k], y[k]))
            elif run:
                run.append((x[k], y[k]))  # one point past the edge keeps the line to it
                if len(run) > 1:
                    out.append((level, run))
                run = []
        if len(run) > 1:
            out.append((level, run))
    return out


def format_records(records):
    parts = []
    for level, run in records:
        parts.append("%d %d\n" % (len(run), level))
        parts.extend("%.2f %.2f\n" % p for p in run)
    return "".join(parts)


def land_mask(tmpdir):
    import netCDF4
    path = os.path.join(tmpdir, "land.nc")
    subprocess.run(["gmt", "grdlandmask", "-R" + REGION, "-I0.01", "-Dh", "-N0/1/0/1/0",
                    "-G" + path], cwd=tmpdir, check=True)
    with netCDF4.Dataset(path) as nc:
        lon = np.array(nc.variables["lon"][:])
        lat = np.array(nc.variables["lat"][:])
        z = np.array(nc.variables["z"][:], dtype=np.float32)
    return lon, lat, z


def box_blur(a, r):
    """Mean over a (2r+1)^2 square, edges padded with the edge values."""
    p = np.pad(a, r, mode="edge")
    c = np.cumsum(np.cumsum(p, axis=0), axis=1)
    c = np.pad(c, ((1, 0), (1, 0)))
    k = 2 * r + 1
    return (c[k:, k:] - c[:-k, k:] - c[k:, :-k] + c[:-k, :-k]) / (k * k)


def topography(tmpdir):
    rows, cols, ox, oy = 1441, 1153, 560, 840
    lon_g, lat_g, land = land_mask(tmpdir)
    yy, xx = np.mgrid[0:rows, 0:cols].astype(np.float64)
    lon, lat = inverse(xx - ox, yy - oy)
    i = np.clip(np.rint((lon - lon_g[0]) / (lon_g[1] - lon_g[0])).astype(int), 0, len(lon_g) - 1)
    j = np.clip(np.rint((lat - lat_g[0]) / (lat_g[1] - lat_g[0])).astype(int), 0, len(lat_g) - 1)
    onland = land[j, i] > 0.5
    m = onland.astype(np.float64)
    # Inland-ness at three scales: small near the shore, close to 1 deep inside.
    inland = (box_blur(m, 4) * box_blur(m, 15) * box_blur(m, 40)) ** 0.7
    rng = np.random.default_rng(20240301)
    relief = np.zeros_like(m)
    for r, amp in ((2, 0.15), (6, 0.25), (16, 0.35), (40, 0.25)):
        relief += amp * box_blur(rng.standard_normal(m.shape), r) * (2 * r + 1)
    relief = np.clip(0.5 + relief / 2.0, 0.0, 1.5)
    # The main ridge of the peninsula runs north-south close to its east coast.
    ridge_lon = 128.6 + (lat - 37.5) * 0.35
    ridge = np.exp(-((lon - ridge_lon) / 0.45) ** 2) * np.exp(-((lat - 38.0) / 2.8) ** 2)
    height = (60 + 900 * inland * relief + 900 * ridge * inland) * np.maximum(inland, 0.02)
    height = np.where(onland, np.clip(height, 2.0, 2700.0), 0.0)
    stored = np.rint(height * 10).astype("<i2")
    head = np.zeros(64, dtype=np.uint8)
    return head.tobytes() + stored.tobytes(), (lon_g, lat_g, land, height, ox, oy)


def station_lists(topo_info):
    lon_g, lat_g, land, height, ox, oy = topo_info
    obs, sensor, loc = [], [], []
    tier1, tier2 = 90, 300
    with open(os.path.join(HERE, "stations.txt"), encoding="utf-8") as f:
        for row in f:
            if row.startswith("#") or not row.strip():
                continue
            name, lat, lon, tier = row.split()[:4]
            if tier == "1":
                num, tier1 = tier1, tier1 + 1
            else:
                num, tier2 = tier2, tier2 + 1
            x, y = forward(float(lon), float(lat))
            c, r = int(round(float(x) + ox)), int(round(float(y) + oy))
            h = max(2.0, float(height[r, c])) if 0 <= r < height.shape[0] and 0 <= c < height.shape[1] else 2.0
            obs.append("%d,2099123123,2000010100,%s,,SA,,V" % (num, name))
            sensor.append("%d,,RN,,2099123123,2000010100" % num)
            loc.append("%d,,2099123123,2000010100,%s,%s,%.1f" % (num, lat, lon, h))
    return ["\n".join(v) + "\n" for v in (obs, sensor, loc)]


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("resources", nargs="?", default=os.path.join(REPO, "resources"))
    args = ap.parse_args()
    res = args.resources
    windows = read_windows(os.path.join(res, "rdr/REF/MAP/map.ini"))
    coast = extract("coast")
    border = [l for l in extract("border") if l[0] == 1]
    rivers = [l for l in extract("river") if 1 <= l[0] <= 4]
    kind4 = [l for l in coast if l[0] in (1, 3)] + border
    kind1 = rivers + [l for l in coast if l[0] == 2]
    for win in windows:
        for kind, lines in ((4, kind4), (1, kind1)):
            text = format_records(window_records(lines, win))
            write_atomic(os.path.join(res, "DATA/GIS/MAP/dat/JVT_%s_map%d.dat" % (win[0], kind)), text)
    with tempfile.TemporaryDirectory() as tmpdir:
        blob, info = topography(tmpdir)
    write_atomic(os.path.join(res, "DATA/GIS/TOPO/SRTM/topo_mapB_1km.bin"), blob, mode="wb")
    names = ("stn_obs.csv", "stn_obs_sensor.csv", "stn_obs_loc.csv")
    for name, text in zip(names, station_lists(info)):
        write_atomic(os.path.join(res, "Q7T5_DATA/STN", name), text, encoding="euc-kr")
    print("precipview resources written under", res)


if __name__ == "__main__":
    sys.exit(main())
