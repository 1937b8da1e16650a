#!/usr/bin/python3
"""Writes seed files for hdf_product_fuzz from small ODIM_H5 product files.

The products given should be small (a few datasets of a few cells; the kept corpus came from
two products of 3 x 4 and 4 x 3 cells written by fnWriteHdfProduct: a site product with PPI
DZ and RN and a VIL, a composite with PCAPPI DBZH and ZDR and an ETOP). Each is written
once whole, once cut short and twice with bytes flipped; seeds are named by the SHA-1 of
their bytes, as libFuzzer names corpus files.

usage: fuzz/odim_product_seeds.py OUT_DIR PRODUCT.h5...
"""
import hashlib
import os
import random
import sys


def save(out_dir, data):
    name = hashlib.sha1(data).hexdigest()
    with open(os.path.join(out_dir, name), "wb") as f:
        f.write(data)


def main():
    out_dir, products = sys.argv[1], sys.argv[2:]
    os.makedirs(out_dir, exist_ok=True)
    rng = random.Random(11)
    for product in products:
        data = open(product, "rb").read()
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
