#!/usr/bin/env python3
"""Writes the seed corpus of fuzz/sidoc_loader_fuzz.cpp: small compiled
documents with every record type, tables, nesting and two languages."""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus", "sidoc_loader")
END = b"\xff"


def head(kind, bg=0xFFFFFFFF, brk=0, margins=(0, 0, 0, 0), w=0xFFFF, h=0xFFFF):
    return struct.pack("<BIB6H", kind, bg, brk, *margins, w, h)


def text(s, font=0xFFFF, fg=0xFFFFFFFF, **kw):
    b = s.encode()
    return head(0, **kw) + struct.pack("<IHH", fg, font, len(b)) + b


def link(s, target, font=0xFFFF, fg=0xFF0000, **kw):
    b = s.encode()
    return head(3, **kw) + struct.pack("<IHHH", fg, font, len(b), target) + b


def picture(pid, **kw):
    return head(1, **kw) + struct.pack("<H", pid)


def picture_link(pid, target, **kw):
    return head(4, **kw) + struct.pack("<HH", pid, target)


def box(align=0, font=0xFFFF, fg=0xFFFFFFFF, **kw):
    return head(2, **kw) + struct.pack("<IHB", fg, font, align)


def table(raw, compress=True):
    if not raw:
        return struct.pack("<I", 0)
    data = zlib.compress(raw, 5) if compress else raw
    return struct.pack("<I", len(data)) + data


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def tiny_png():
    # 2 x 2, 8-bit RGB, each row with filter byte 0.
    rows = b"\x00" + bytes([255, 0, 0, 0, 255, 0]) + b"\x00" + bytes([0, 0, 255, 255, 255, 255])
    ihdr = struct.pack(">IIBBBBB", 2, 2, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr) + png_chunk(b"IDAT", zlib.compress(rows, 9))
            + png_chunk(b"IEND", b""))


def doc(bodies, fonts=b"", strings=b"", pictures=b""):
    out = b"QXVHDOCF"
    for lang, body in bodies:
        z = zlib.compress(body, 5)
        out += struct.pack("<BI", lang, len(z)) + z
    out += END + table(fonts) + table(strings) + table(pictures, compress=False)
    return out


def string(s):
    b = s.encode()
    return struct.pack("<H", len(b)) + b


def font(face, w, h, style):
    return struct.pack("<HHHBB", face, w, h, style, 0)


def main():
    os.makedirs(OUT, exist_ok=True)
    png = tiny_png()
    words = b"".join(text(w) for w in "The quick brown fox jumps over the lazy dog".split())
    seeds = {
        "plain.doc": doc([(0, words + END)]),
        "two_languages.doc": doc([(0, text("Hello") + END), (2, text("Hallo") + END)]),
        "boxes.doc": doc(
            [(0, box(3, 0, 0x112233, margins=(2, 3, 4, 5), w=80) + words + text("", brk=1) + words + END
              + box(1, bg=0x00FF00) + text("right") + END + box(2) + text("centre") + END + END)],
            fonts=font(1, 6, 14, 1) + font(0, 5, 13, 6),
        ),
        "links.doc": doc(
            [(0, link("click", 0) + link("none", 0xFFFF) + picture_link(0, 1, w=12, h=8) + picture(0) + END)],
            strings=string("http://example.invalid/") + string(""),
            pictures=struct.pack("<I", 0) + struct.pack("<I", len(png)) + png,
        ),
        "nested.doc": doc([(0, box() * 10 + text("deep") + END * 11)]),
    }
    for name, data in seeds.items():
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
