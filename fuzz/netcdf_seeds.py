#!/usr/bin/python3
"""Writes small seed files for netcdf_reader_fuzz from real CF/Radial volumes.

Each volume keeps the variables the reader uses, with their types, attributes and packing,
and up to three moments, cut down to a few rays and bins. It is written once as NetCDF-4
and once in a classic format (CDF-1, CDF-2 or CDF-5 in turn). Time is the record
dimension in every other classic file and in the NetCDF-4 file of the smallest volume
(chunked storage). The seeds are named by the SHA-1 of their bytes, as libFuzzer names
corpus files.

usage: fuzz/netcdf_seeds.py SAMPLE_DIR OUT_DIR   (Debian python3-netcdf4)
"""
import hashlib
import os
import sys
import tempfile

import netCDF4
import numpy as np

RAYS_PER_SWEEP = 3
SWEEPS = 2
BINS = 5
TEXT_ATTRIBUTE_LIMIT = 120
# The variables the reader has a use for, and at most MOMENTS moments; the rest only
# makes the seeds larger (an HDF5 object header per variable).
METADATA = {"time", "range", "azimuth", "elevation", "fixed_angle", "sweep_number",
            "sweep_mode", "sweep_start_ray_index", "sweep_end_ray_index", "latitude",
            "longitude", "altitude", "volume_number", "time_coverage_start",
            "nyquist_velocity", "prt", "pulse_width", "polarization_mode", "target_scan_rate",
            "r_calib_radar_constant_h", "radar_beam_width_h", "frequency"}
MOMENTS = 3
CLASSIC_FORMATS = ["NETCDF3_CLASSIC", "NETCDF3_64BIT_OFFSET", "NETCDF3_64BIT_DATA"]
CLASSIC_TYPES = {"i1", "S1", "i2", "i4", "f4", "f8"}
CDF5_TYPES = CLASSIC_TYPES | {"u1", "u2", "u4", "i8", "u8"}


def new_length(name, dims):
    sweeps = min(SWEEPS, len(dims["sweep"]))
    want = {"time": RAYS_PER_SWEEP * sweeps, "range": BINS, "sweep": sweeps}.get(name, 32)
    return min(want, len(dims[name]))


def attribute_value(value):
    if isinstance(value, str) and len(value) > TEXT_ATTRIBUTE_LIMIT:
        return value[:TEXT_ATTRIBUTE_LIMIT]
    return value


def shrink(src, path, fmt, record_time):
    classic = fmt.startswith("NETCDF3")
    allowed = CDF5_TYPES if fmt == "NETCDF3_64BIT_DATA" else CLASSIC_TYPES
    dst = netCDF4.Dataset(path, "w", format=fmt)
    lengths = {}
    for name, dim in src.dimensions.items():
        lengths[name] = new_length(name, src.dimensions)
        # Fixed dimensions keep NetCDF-4 variables contiguous: no chunk index, small files.
        unlimited = name == "time" and record_time
        dst.createDimension(name, None if unlimited else lengths[name])
    for name in src.ncattrs():
        value = attribute_value(src.getncattr(name))
        if classic and isinstance(value, str):
            value = value.encode("ascii", "replace")
        dst.setncattr(name, value)
    moments = 0
    for name, var in src.variables.items():
        if var.dimensions == ("time", "range") and name not in METADATA:
            moments += 1
            if moments > MOMENTS:
                continue
        elif name not in METADATA:
            continue
        kind = var.dtype.str[1:] if hasattr(var.dtype, "str") else "str"
        if classic and kind not in allowed:
            continue
        if classic and var.dimensions[1:].count("time") > 0 and record_time:
            continue  # the record dimension can only come first
        fill = var.getncattr("_FillValue") if "_FillValue" in var.ncattrs() else None
        out = dst.createVariable(name, var.dtype, var.dimensions, fill_value=fill,
                                 contiguous=not classic and "time" not in var.dimensions[:1]
                                 or not record_time and not classic)
        for att in var.ncattrs():
            if att != "_FillValue":
                out.setncattr(att, attribute_value(var.getncattr(att)))
        var.set_auto_maskandscale(False)
        out.set_auto_maskandscale(False)
        index = tuple(slice(0, lengths[d]) for d in var.dimensions)
        rays = lengths["time"] // lengths["sweep"]
        if name == "sweep_start_ray_index":
            out[:] = np.arange(lengths["sweep"]) * rays
        elif name == "sweep_end_ray_index":
            out[:] = np.arange(lengths["sweep"]) * rays + rays - 1
        elif var.dimensions:
            out[index] = var[index]
        else:
            out.assignValue(var.getValue())
    dst.close()


def main():
    samples, out_dir = sys.argv[1], sys.argv[2]
    os.makedirs(out_dir, exist_ok=True)
    names = sorted(n for n in os.listdir(samples) if n.endswith(".nc"))
    smallest = min(names, key=lambda n: os.path.getsize(os.path.join(samples, n)))
    for i, name in enumerate(names):
        src = netCDF4.Dataset(os.path.join(samples, name))
        variants = [("NETCDF4", name == smallest), (CLASSIC_FORMATS[i % 3], i % 2 == 1)]
        for fmt, record_time in variants:
            with tempfile.NamedTemporaryFile(suffix=".nc") as tmp:
                shrink(src, tmp.name, fmt, record_time)
                data = open(tmp.name, "rb").read()
            seed = os.path.join(out_dir, hashlib.sha1(data).hexdigest())
            with open(seed, "wb") as f:
                f.write(data)
            print(f"{name} {fmt}{' record' if record_time else ''}: {len(data)} bytes")
        src.close()


if __name__ == "__main__":
    main()
