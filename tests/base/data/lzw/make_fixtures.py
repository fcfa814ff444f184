#!/usr/bin/env python3
"""Makes the LZW fixtures of tests/base/lzw_decompress_test.cpp once; the
results are checked in and the tests never run this.

Needs libtiff-tools (tiffcp) and ImageMagick (convert). For each picture the
source pixels come from a fixed generator below; the compressed bytes come
from the real encoders:
  tiff_*.lzw  the one LZW strip that tiffcp -c lzw writes (MSB-first codes,
              early change); tiff_*.raw the 8-bit grey pixels it encodes.
  gif_*.lzw   the image data sub-blocks of an ImageMagick GIF, joined;
              gif_*.raw the palette indices of the source pixels, looked up
              in that GIF's own colour table; gif_*.txt the minimum code size.
"""
import os
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
CONVERT = "/usr/bin/convert"  # ImageMagick itself, not a wrapper earlier on PATH


def rng(seed):
    x = seed
    while True:
        x = (x * 1103515245 + 12345) & 0x7FFFFFFF
        yield x >> 16


def grey_noise(w, h, levels, seed):
    g = rng(seed)
    return bytes((next(g) % levels) * (255 // (levels - 1)) for _ in range(w * h))


def grey_gradient(w, h):
    return bytes(((x + y) * 255 // (w + h - 2)) for y in range(h) for x in range(w))


def palette_noise(w, h, colours, seed):
    g = rng(seed)
    pal = [((i * 37) % 256, (i * 91 + 13) % 256, (i * 53 + 101) % 256) for i in range(colours)]
    # Runs of one colour as well as noise, so that strings of every length occur.
    px = []
    while len(px) < w * h:
        c = pal[next(g) % colours]
        px.extend([c] * (1 + next(g) % 4 if next(g) % 3 == 0 else 1))
    return px[: w * h]


def run(*args):
    subprocess.run(args, check=True)


def tiff_strip(path):
    data = open(path, "rb").read()
    end = "<" if data[:2] == b"II" else ">"
    (ifd,) = struct.unpack(end + "I", data[4:8])
    (n,) = struct.unpack(end + "H", data[ifd : ifd + 2])
    tags = {}
    for i in range(n):
        tag, typ, count, value = struct.unpack(end + "HHII", data[ifd + 2 + 12 * i : ifd + 14 + 12 * i])
        if typ == 3 and count == 1:
            value &= 0xFFFF if end == "<" else 0xFFFFFFFF
            if end == ">":
                value >>= 16
        tags[tag] = (count, value)
    assert tags[259][1] == 5, "not LZW"
    assert tags.get(317, (1, 1))[1] == 1, "predictor in use"
    assert tags[273][0] == 1, "more than one strip"
    return data[tags[273][1] : tags[273][1] + tags[279][1]]


def make_tiff(name, w, h, grey):
    with tempfile.TemporaryDirectory() as t:
        pgm = os.path.join(t, "in.pgm")
        with open(pgm, "wb") as f:
            f.write(b"P5 %d %d 255\n" % (w, h) + grey)
        plain = os.path.join(t, "plain.tif")
        lzw = os.path.join(t, "lzw.tif")
        run(CONVERT, pgm, "-compress", "none", "-depth", "8", plain)
        run("tiffcp", "-c", "lzw", "-r", str(h), plain, lzw)
        strip = tiff_strip(lzw)
    open(os.path.join(HERE, name + ".lzw"), "wb").write(strip)
    open(os.path.join(HERE, name + ".raw"), "wb").write(grey)


def make_gif(name, w, h, px):
    with tempfile.TemporaryDirectory() as t:
        ppm = os.path.join(t, "in.ppm")
        with open(ppm, "wb") as f:
            f.write(b"P6 %d %d 255\n" % (w, h) + bytes(v for p in px for v in p))
        gif = os.path.join(t, "out.gif")
        run(CONVERT, ppm, "+dither", "-interlace", "none", gif)
        data = open(gif, "rb").read()
    assert data[:6] in (b"GIF87a", b"GIF89a")
    flags = data[10]
    pos = 13
    table = []
    if flags & 0x80:
        size = 3 << ((flags & 7) + 1)
        table = [tuple(data[pos + i : pos + i + 3]) for i in range(0, size, 3)]
        pos += size
    while data[pos] == 0x21:  # extensions
        pos += 2
        while data[pos]:
            pos += data[pos] + 1
        pos += 1
    assert data[pos] == 0x2C, "no image"
    iflags = data[pos + 9]
    assert not iflags & 0x40, "interlaced"
    pos += 10
    if iflags & 0x80:
        size = 3 << ((iflags & 7) + 1)
        table = [tuple(data[pos + i : pos + i + 3]) for i in range(0, size, 3)]
        pos += size
    min_code = data[pos]
    pos += 1
    lzw = bytearray()
    while data[pos]:
        lzw += data[pos + 1 : pos + 1 + data[pos]]
        pos += data[pos] + 1
    index = {}
    for i, c in enumerate(table):
        index.setdefault(c, i)
    indices = bytes(index[p] for p in px)  # KeyError: the GIF lost a colour
    open(os.path.join(HERE, name + ".lzw"), "wb").write(bytes(lzw))
    open(os.path.join(HERE, name + ".raw"), "wb").write(indices)
    open(os.path.join(HERE, name + ".txt"), "w").write("%d\n" % min_code)


def main():
    make_tiff("tiff_gradient_64x64", 64, 64, grey_gradient(64, 64))
    make_tiff("tiff_noise_160x160", 160, 160, grey_noise(160, 160, 16, 7))
    make_gif("gif_4colours_40x30", 40, 30, palette_noise(40, 30, 4, 3))
    make_gif("gif_200colours_128x128", 128, 128, palette_noise(128, 128, 200, 5))
    return 0


if __name__ == "__main__":
    sys.exit(main())
