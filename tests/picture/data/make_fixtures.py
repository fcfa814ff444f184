#!/usr/bin/env python3
"""Writes the PNG fixture corpus of the picture tests (and the PNG and
factory fuzz seeds): every colour type and depth, interlaced and not, with
tRNS, odd sizes and mixed filters. Deterministic: rerunning gives the same
files.

Usage: make_fixtures.py OUTDIR
"""
import struct
import sys
import zlib
import os

KINDS = [(0, 1), (0, 2), (0, 4), (0, 8), (0, 16), (2, 8), (2, 16), (3, 1), (3, 2),
         (3, 4), (3, 8), (4, 8), (4, 16), (6, 8), (6, 16)]
SAMPLES = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}
ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def pack_row(samples, depth):
    if depth == 16:
        return b"".join(struct.pack(">H", v) for v in samples)
    if depth == 8:
        return bytes(samples)
    out = bytearray((len(samples) * depth + 7) // 8)
    for i, v in enumerate(samples):
        bit = i * depth
        out[bit // 8] |= v << (8 - depth - bit % 8)
    return bytes(out)


def filter_rows(rows, unit, first_filter):
    out = bytearray()
    prev = bytes(len(rows[0])) if rows else b""
    for n, raw in enumerate(rows):
        ft = (first_filter + n) % 5
        out.append(ft)
        for i, x in enumerate(raw):
            a = raw[i - unit] if i >= unit else 0
            b = prev[i]
            c = prev[i - unit] if i >= unit else 0
            pred = [0, a, b, (a + b) // 2, paeth(a, b, c)][ft]
            out.append((x - pred) & 0xFF)
        prev = raw
    return out


def make(width, height, ctype, depth, interlace, seed, trns=None):
    spp = SAMPLES[ctype]
    maxv = (1 << depth) - 1
    state = seed * 2654435761 % (1 << 32) or 1

    def rnd():
        nonlocal state
        state ^= (state << 13) & 0xFFFFFFFF
        state ^= state >> 17
        state ^= (state << 5) & 0xFFFFFFFF
        return state

    pix = [[[((x * 7 + y * 3 + s * 50) * (maxv + 1) // 256 + (rnd() & 3)
              + (rnd() if rnd() & 7 == 0 else 0)) % (maxv + 1)
             for s in range(spp)] for x in range(width)] for y in range(height)]
    bits = depth * spp
    unit = max(1, bits // 8)
    passes = ADAM7 if interlace else [(0, 0, 1, 1)]
    data = bytearray()
    for (x0, y0, dx, dy) in passes:
        if x0 >= width or y0 >= height:
            continue
        rows = []
        for y in range(y0, height, dy):
            samples = [v for x in range(x0, width, dx) for v in pix[y][x]]
            rows.append(pack_row(samples, depth))
        data += filter_rows(rows, unit, seed % 5)
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, ctype, 0, 0, interlace))
    png += chunk(b"tEXt", b"Comment\x00fixture")
    if ctype == 3:
        entries = 1 << depth
        png += chunk(b"PLTE", bytes(v for i in range(entries) for v in ((i * 37 + 5) & 255, 255 - i, (i * 11) & 255)))
    if trns is not None:
        png += chunk(b"tRNS", trns)
    z = zlib.compress(bytes(data), 6)
    step = max(1, len(z) // 3)  # three IDAT chunks
    for i in range(0, len(z), step):
        png += chunk(b"IDAT", z[i:i + step])
    png += chunk(b"IEND", b"")
    return png


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    seed = 1
    for ctype, depth in KINDS:
        for interlace in (0, 1):
            name = "c%d_d%02d_%s.png" % (ctype, depth, "adam7" if interlace else "plain")
            with open(os.path.join(out, name), "wb") as f:
                f.write(make(23, 17, ctype, depth, interlace, seed))
            seed += 1
    extras = {
        "trns_grey16.png": make(9, 5, 0, 16, 0, 40, struct.pack(">H", 0x0102)),
        "trns_grey2.png": make(9, 5, 0, 2, 1, 41, struct.pack(">H", 1)),
        "trns_rgb8.png": make(9, 5, 2, 8, 0, 42, struct.pack(">HHH", 10, 20, 30)),
        "trns_palette4.png": make(9, 5, 3, 4, 0, 43, bytes([0, 64, 128, 255, 7])),
        "one_pixel_adam7.png": make(1, 1, 6, 8, 1, 44),
        "wide_strip.png": make(300, 2, 2, 8, 0, 45),
        "tall_strip.png": make(2, 300, 4, 16, 1, 46),
    }
    for name, data in extras.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
