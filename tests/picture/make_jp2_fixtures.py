#!/usr/bin/env python3
"""Writes the JPEG 2000 fixtures of tests/picture/data with OpenJPEG's
opj_compress (libopenjp2-tools): codestreams made from deterministic
samples, and JP2 files around them whose colour box says sYCC, CMYK or
CIELab (which opj_compress cannot write). Usage: make_jp2_fixtures.py DIR"""
import os
import struct
import subprocess
import sys
import tempfile


def sample(c, x, y, bits):
    v = ((x * (97 + 31 * c) + y * (57 + 13 * c) + c * 1000) * 2654435761) & 0xFFFFFFFF
    return (v >> 7) & ((1 << bits) - 1)


def smooth(c, x, y, bits):
    return ((x * 5 + y * 3 + c * 40) * ((1 << bits) - 1) // 600) & ((1 << bits) - 1)


def put(v, bits):
    return struct.pack(">H", v) if bits > 8 else bytes([v])


def pnm(path, w, h, comps, bits, f):
    head = b"P5" if comps == 1 else b"P6"
    body = b"".join(put(f(k, x, y, bits), bits) for y in range(h) for x in range(w) for k in range(comps))
    with open(path, "wb") as out:
        out.write(head + b"\n%d %d\n%d\n" % (w, h, (1 << bits) - 1) + body)


def raw(path, w, h, subs, bits, f):
    body = b""
    for k, (dx, dy) in enumerate(subs):
        cw, ch = (w + dx - 1) // dx, (h + dy - 1) // dy
        body += b"".join(put(f(k, x, y, bits), bits) for y in range(ch) for x in range(cw))
    with open(path, "wb") as out:
        out.write(body)


def compress(src, dst, *extra):
    subprocess.run(["opj_compress", "-i", src, "-o", dst, "-n", "2", *extra], check=True,
                   stdout=subprocess.DEVNULL)


def box(kind, payload):
    return struct.pack(">I", 8 + len(payload)) + kind + payload


def wrap_jp2(codestream, w, h, comps, bits, colr):
    sig = box(b"jP  ", b"\r\n\x87\n")
    ftyp = box(b"ftyp", b"jp2 " + struct.pack(">I", 0) + b"jp2 ")
    ihdr = box(b"ihdr", struct.pack(">IIHBBBB", h, w, comps, bits - 1, 7, 0, 0))
    return sig + ftyp + box(b"jp2h", ihdr + box(b"colr", colr)) + box(b"jp2c", codestream)


def enum_colr(cs, extra=b""):
    return bytes([1, 0, 0]) + struct.pack(">I", cs) + extra


def main():
    out = sys.argv[1]
    with tempfile.TemporaryDirectory() as t:
        p = lambda n: os.path.join(t, n)
        pnm(p("g.pgm"), 100, 50, 1, 8, smooth)
        compress(p("g.pgm"), os.path.join(out, "jp2_grey8_origin_16_8.jp2"), "-d", "16,8")
        pnm(p("rgb12.ppm"), 24, 16, 3, 12, sample)
        compress(p("rgb12.ppm"), os.path.join(out, "j2k_rgb12.j2k"))
        pnm(p("rgb16.ppm"), 20, 14, 3, 16, smooth)
        compress(p("rgb16.ppm"), os.path.join(out, "jp2_rgb16.jp2"))
        raw(p("yuva.raw"), 17, 9, [(1, 1), (2, 2), (2, 2), (1, 1)], 8, sample)
        compress(p("yuva.raw"), os.path.join(out, "j2k_yuva420_odd_origin.j2k"), "-F",
                 "17,9,4,8,u@1x1:2x2:2x2:1x1", "-d", "1,1")
        # Colour boxes the encoder does not write: around bare codestreams.
        raw(p("ycc.raw"), 17, 9, [(1, 1), (2, 2), (2, 2)], 8, sample)
        compress(p("ycc.raw"), p("ycc.j2k"), "-F", "17,9,3,8,u@1x1:2x2:2x2")
        raw(p("cmyk.raw"), 12, 8, [(1, 1)] * 4, 8, sample)
        compress(p("cmyk.raw"), p("cmyk.j2k"), "-F", "12,8,4,8,u@1x1:1x1:1x1:1x1")
        raw(p("lab.raw"), 12, 8, [(1, 1)] * 3, 8, sample)
        compress(p("lab.raw"), p("lab.j2k"), "-F", "12,8,3,8,u@1x1:1x1:1x1", "-mct", "0")
        read = lambda n: open(p(n), "rb").read()
        files = {
            "jp2_sycc420.jp2": wrap_jp2(read("ycc.j2k"), 17, 9, 3, 8, enum_colr(18)),
            "jp2_cmyk.jp2": wrap_jp2(read("cmyk.j2k"), 12, 8, 4, 8, enum_colr(12)),
            "jp2_cielab_default.jp2": wrap_jp2(read("lab.j2k"), 12, 8, 3, 8, enum_colr(14)),
            "jp2_cielab_params.jp2": wrap_jp2(read("lab.j2k"), 12, 8, 3, 8, enum_colr(
                14, struct.pack(">7I", 100, 0, 255, 128, 255, 128, 0x00443530))),
        }
        for name, data in files.items():
            with open(os.path.join(out, name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
