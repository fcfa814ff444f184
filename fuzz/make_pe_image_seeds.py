#!/usr/bin/env python3
"""Writes the seed program images of the pe_image fuzz target: a small
PE32 and PE32+ image with a .rsrc section holding a version resource."""
import os
import struct
import sys


def image(magic, named):
    opt = 240 if magic == 0x20B else 224
    b = bytearray(0x800)
    b[0:2] = b"MZ"
    struct.pack_into("<I", b, 60, 0x80)
    b[0x80:0x84] = b"PE\0\0"
    struct.pack_into("<HH", b, 0x80 + 6, 2, 0)
    struct.pack_into("<H", b, 0x80 + 20, opt)
    struct.pack_into("<HI", b, 0x98, magic, 0)
    sec = 0x98 + opt
    b[sec:sec + 8] = b".text\0\0\0"
    b[sec + 40:sec + 48] = b".rsrc\0\0\0"
    struct.pack_into("<III", b, sec + 52, 0x3000, 0x400, 0x400)
    r = 0x400
    d = 0
    for level in range(3):
        nxt = d + 16 + (16 if named else 8)
        struct.pack_into("<HH", b, r + d + 12, 1 if named else 0, 1)
        e = d + 16 + (8 if named else 0)
        if named:
            struct.pack_into("<II", b, r + d + 16, 0x800003F0, 0x80000000)
        ident = (16, 1, 0x409)[level]
        to = (0x80000000 | nxt) if level < 2 else 0xC0
        struct.pack_into("<II", b, r + e, ident, to)
        d = nxt
    struct.pack_into("<II", b, r + 0xC0, 0x3100, 0x200)
    return bytes(b)


out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus", "pe_image")
os.makedirs(out, exist_ok=True)
for name, magic, named in (("pe32", 0x10B, False), ("pe32plus", 0x20B, False), ("named", 0x10B, True)):
    with open(os.path.join(out, name), "wb") as f:
        f.write(image(magic, named))
