#!/usr/bin/env python3
"""Writes the seeds of the file_props and version_strings fuzz targets from
the property bags' program file (built by the native or a Windows build as
generated/tests/props_app.exe):

    make_file_props_seeds.py PROPS_APP.EXE CORPUS_DIR

file_props gets the program with three wanted sizes appended (16 x 16,
48 x 48, no limit); version_strings gets the children area of its version
resource."""
import os
import struct
import sys


def version_children(exe):
    pe = struct.unpack_from("<I", exe, 60)[0]
    sections, = struct.unpack_from("<H", exe, pe + 6)
    opt, = struct.unpack_from("<H", exe, pe + 20)
    table = pe + 24 + opt
    for i in range(sections):
        s = table + 40 * i
        if exe[s:s + 8] != b".rsrc\0\0\0":
            continue
        va, raw_size, raw = struct.unpack_from("<III", exe, s + 12)
        rsrc = exe[raw:raw + raw_size]

        def entries(place):
            named, ids = struct.unpack_from("<HH", rsrc, place + 12)
            for k in range(named + ids):
                yield struct.unpack_from("<II", rsrc, place + 16 + 8 * k)

        for tid, toff in entries(0):
            if tid != 16:
                continue
            for _, noff in entries(toff & 0x7FFFFFFF):
                for _, loff in entries(noff & 0x7FFFFFFF):
                    rva, size = struct.unpack_from("<II", rsrc, loff)
                    res = rsrc[rva - va:rva - va + size]
                    length, value_length = struct.unpack_from("<HH", res, 0)
                    return res[40 + value_length:length]
    raise SystemExit("no version resource")


def main():
    exe = open(sys.argv[1], "rb").read()
    corpus = sys.argv[2]
    props = os.path.join(corpus, "file_props")
    version = os.path.join(corpus, "version_strings")
    os.makedirs(props, exist_ok=True)
    os.makedirs(version, exist_ok=True)
    for name, tail in (("icon16", b"\x10\x10"), ("icon48", b"\x30\x30"), ("unlimited", b"\x7f\x7f")):
        open(os.path.join(props, "props_app_" + name), "wb").write(exe + tail)
    open(os.path.join(version, "props_app"), "wb").write(version_children(exe))


main()
