#!/usr/bin/env python3
"""Writes the seed corpus of fuzz/decompress_fuzz.cpp: the LZW fixtures of
tests/base/data/lzw and zlib and raw deflate data made with Python's zlib,
each followed by the target's two option bytes (mode, cap / 4096)."""
import os
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
OUT = os.path.join(HERE, "corpus", "decompress")
LZW = os.path.join(ROOT, "tests", "base", "data", "lzw")

TIFF = 9 - 1 + 16 + 32  # width 9, most significant bit first, early change


def main():
    os.makedirs(OUT, exist_ok=True)
    seeds = {}
    for name in sorted(os.listdir(LZW)):
        if not name.endswith(".lzw"):
            continue
        data = open(os.path.join(LZW, name), "rb").read()
        if name.startswith("tiff"):
            mode = TIFF
        else:
            width = int(open(os.path.join(LZW, name[:-4] + ".txt")).read()) + 1
            mode = width - 1
        seeds["lzw_" + name[:-4]] = data + bytes([mode, 16])
    text = b"".join(b"record %d: tarn, wick\n" % i for i in range(2000))
    seeds["zlib_text"] = zlib.compress(text, 9) + bytes([0, 32])
    raw = zlib.compressobj(9, zlib.DEFLATED, -15)
    seeds["raw_text"] = raw.compress(text) + raw.flush() + bytes([64, 32])
    seeds["zlib_zeros_over_cap"] = zlib.compress(bytes(1 << 20), 9) + bytes([0, 1])
    for name, data in seeds.items():
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
