#!/usr/bin/python3
"""Writes small seed files for hdf_reader_fuzz from ODIM_H5 polar volumes.

Each volume is cut down with h5py to its first two datasets of a few rays and bins (every
attribute kept, where/nrays and nbins made to match, per-ray how arrays cut alike), then
written once whole, once cut short and twice with bytes flipped. The seeds are named by
the SHA-1 of their bytes, as libFuzzer names corpus files.

usage: fuzz/odim_seeds.py OUT_DIR VOLUME.h5...   (Debian python3-h5py)
"""
import hashlib
import os
import random
import sys
import tempfile

import h5py
import numpy as np

RAYS = 4
BINS = 6
DATASETS = 2
PER_RAY = {"startazA", "stopazA", "startazT", "stopazT", "elangles", "startelA", "stopelA"}


def copy_attrs(src, dst, rays=None):
    for name, value in src.attrs.items():
        if rays is not None and name in PER_RAY:
            value = value[:rays]
        dst.attrs[name] = value


def copy_group(src, dst, rays, bins):
    copy_attrs(src, dst, rays)
    for name, item in src.items():
        if isinstance(item, h5py.Group):
            copy_group(item, dst.create_group(name), rays, bins)
        else:
            data = item[()]
            if data.ndim == 2:
                data = data[:rays, :bins]
            out = dst.create_dataset(name, data=data, compression="gzip")
            copy_attrs(item, out)


def shrink(src_path, dst_path):
    with h5py.File(src_path, "r") as src, h5py.File(dst_path, "w") as dst:
        copy_attrs(src, dst)
        for name in ("what", "where", "how"):
            if name in src:
                copy_group(src[name], dst.create_group(name), None, None)
        for d in range(1, DATASETS + 1):
            name = "dataset%d" % d
            if name not in src:
                break
            ds = dst.create_group(name)
            copy_group(src[name], ds, RAYS, BINS)
            where = ds["where"].attrs
            where["nrays"] = np.int64(RAYS)
            where["nbins"] = np.int64(BINS)
            where["a1gate"] = np.int64(int(np.ravel(where.get("a1gate", [0]))[0]) % RAYS)


def save(out_dir, data):
    name = hashlib.sha1(data).hexdigest()
    with open(os.path.join(out_dir, name), "wb") as f:
        f.write(data)


def main():
    out_dir, volumes = sys.argv[1], sys.argv[2:]
    os.makedirs(out_dir, exist_ok=True)
    rng = random.Random(7)
    with tempfile.TemporaryDirectory() as tmp:
        for i, volume in enumerate(volumes):
            path = os.path.join(tmp, "%d.h5" % i)
            shrink(volume, path)
            data = open(path, "rb").read()
            save(out_dir, data)
            save(out_dir, data[: len(data) * 2 // 3])
            for _ in range(2):
                flipped = bytearray(data)
                for _ in range(3):
                    pos = rng.randrange(len(flipped))
                    flipped[pos] ^= 1 << rng.randrange(8)
                save(out_dir, bytes(flipped))


if __name__ == "__main__":
    main()
