#!/usr/bin/env python3
"""Writes the seed corpus of fuzz/package_reader_fuzz.cpp: section streams
(the target wraps them in a header with the right sizes and digest) and a
few whole packages (starting with the magic) for the header checks."""
import hashlib
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus", "package_reader")


def s(text):
    b = text.encode("utf-8")
    return struct.pack("<H", len(b)) + b


def entry(key, value):
    k = key.encode("utf-8")
    k += b"\0" * (-len(k) % 4)
    return b"\x01" + struct.pack("<H", len(k)) + k + s(value)


def software(major=1):
    return b"\x01" + struct.pack("<4I", major, 2, 0, 0) + s("https://a/") + s("") + s("u") + s("")


def payloads(*contents):
    out = b"\x0d"
    for c in contents:
        c_obj = zlib.compressobj(9, zlib.DEFLATED, -15)
        stored = c_obj.compress(c) + c_obj.flush()
        out += struct.pack("<II", len(c), len(stored)) + hashlib.sha256(c).digest() + stored
    return out + b"\0" * 8


def document(*bodies):
    """A compiled document with one text record per language."""
    out = b"QXVHDOCF"
    for lang, text in bodies:
        t = text.encode("utf-8")
        record = struct.pack("<BIB6H", 0, 0xFFFFFFFF, 0, 0, 0, 0, 0, 0xFFFF, 0xFFFF)
        record += struct.pack("<IHH", 0xFFFFFFFF, 0xFFFF, len(t)) + t + b"\xff"
        z = zlib.compress(record, 5)
        out += struct.pack("<BI", lang, len(z)) + z
    return out + b"\xff" + struct.pack("<3I", 0, 0, 0)


def doc_section(tag, doc, flag=None):
    head = bytes([tag]) + (bytes([flag]) if flag is not None else b"")
    return head + struct.pack("<I", len(doc)) + doc


def package(sections, fmt=1):
    packed = zlib.compress(sections, 9)
    return (b"QXVSOPKG" + bytes([fmt]) + struct.pack("<II", len(sections), len(packed)) +
            hashlib.sha256(sections).digest() + packed)


def main():
    tables = (b"\x06" + entry("folder", "P") + entry("app", "Tool") + b"\x00" +
              b"\x07" + b"\x00" + entry("name", "Name") + b"\x00" + b"\x02" + entry("name", "Nom") + b"\x00" + b"\xff")
    menu = b"\x03\x01" + s("name") + s("pgm") + s("a.exe") + s("") + s("folder") + s("a.ico") + s("app") + b"\x01\x00"
    install = (b"\x04\x01" + struct.pack("<II", 0, 0x03070504) + s("pgm") + s("bin/a.exe") + b"\x00\x02\xff" +
               b"\x01" + struct.pack("<II", 1, 0x01080808) + s("pgm") + s("doc/b.txt") + b"\xff\x00")
    run = b"\x05\x01\x01" + s("name") + s("pgm") + s("a.exe") + s("") + b"\x00"
    settings = b"\x08\x01" + struct.pack("<H", 3) + b"k/v" + struct.pack("<H", 2) + b"\x01\x02" + b"\x01\x01\x00x\x00\x00\x00"
    deprecated = b"\x0c\x01" + s("oldtool") + struct.pack("<H", 0xFFFF) + b"\x00"
    docs = (doc_section(9, document((0, "Welcome"), (2, "Bienvenue"))) + doc_section(10, document((0, "Read me")), 1) +
            doc_section(11, document((2, "Licence"))))
    icon = b"\x02" + s("folder") + s("app.ico")
    text = b"".join(b"line %d of a packaged file\n" % i for i in range(300))
    full = software() + tables + icon + menu + install + run + settings + deprecated + docs + payloads(text, b"x" * 5000) + b"\x00"
    seeds = {
        "minimal": software() + b"\x00",
        "tables": software() + tables + b"\x00",
        "full": full,
        "payload_raw": software() + b"\x0d" + struct.pack("<II", 0, 3) + hashlib.sha256(b"abc").digest() + b"abc" + b"\0" * 8 + b"\x00",
        "no_end": software() + tables,
        "package_full": package(full),
        "package_format0": package(software() + b"\x00", 0),
    }
    os.makedirs(OUT, exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
