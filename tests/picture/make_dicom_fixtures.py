#!/usr/bin/env python3
"""Writes DICOM test files with deterministic samples, laid out as DICOM's
encoding rules say (PS3.5: explicit-VR little endian after the preamble and
a file meta group; implicit VR without them for the legacy layout).

Usage: make_dicom_fixtures.py DIR [J2K_CODESTREAM]
Writes into DIR:
  dicom_grey8.dcm            8-bit grey, 7 x 5, odd frame with its padding byte
  dicom_grey16_12bit_3frames.dcm  16-bit words, 12 bits stored, 3 frames of 6 x 4
  dicom_rgb8_interleaved.dcm 8-bit RGB, 5 x 3
  dicom_rgb8_planar.dcm      8-bit RGB, planar configuration 1, 4 x 3
  dicom_j2k.dcm              encapsulated JPEG 2000 (with J2K_CODESTREAM)
  dicom_legacy_grey16.dcm    implicit VR, no preamble, 16-bit 10 bits stored
Each native file's samples are listed in DIR/<name>.samples as text
(rows, columns, samples, frames, then the values), for the tests."""
import os
import struct
import sys

SECONDARY_CAPTURE = b"1.2.840.10008.5.1.4.1.1.7"
EXPLICIT_LE = b"1.2.840.10008.1.2.1"
J2K_LOSSLESS = b"1.2.840.10008.1.2.4.90"
LONG_VRS = {b"OB", b"OD", b"OF", b"OW", b"SQ", b"UN", b"UT"}


def pad(value, vr):
    if len(value) % 2:
        value += b"\0" if vr in (b"UI", b"OB", b"OW") else b" "
    return value


def explicit(group, element, vr, value):
    value = pad(value, vr)
    head = struct.pack("<HH", group, element) + vr
    if vr in LONG_VRS:
        return head + b"\0\0" + struct.pack("<I", len(value)) + value
    return head + struct.pack("<H", len(value)) + value


def implicit(group, element, value):
    if len(value) % 2:
        value += b"\0"
    return struct.pack("<HHI", group, element, len(value)) + value


def us(v):
    return struct.pack("<H", v)


def meta(syntax, instance):
    body = explicit(0x0002, 0x0001, b"OB", b"\0\1")
    body += explicit(0x0002, 0x0002, b"UI", SECONDARY_CAPTURE)
    body += explicit(0x0002, 0x0003, b"UI", instance)
    body += explicit(0x0002, 0x0010, b"UI", syntax)
    body += explicit(0x0002, 0x0012, b"UI", b"1.2.3.4.5.6")
    return b"\0" * 128 + b"DICM" + explicit(0x0002, 0x0000, b"UL", struct.pack("<I", len(body))) + body


def image_elements(rows, cols, samples, bits, stored, frames, planar=None):
    photometric = b"MONOCHROME2" if samples == 1 else b"RGB"
    out = explicit(0x0008, 0x0016, b"UI", SECONDARY_CAPTURE)
    out += explicit(0x0008, 0x0018, b"UI", b"1.2.3.4.5.6.7")
    out += explicit(0x0028, 0x0002, b"US", us(samples))
    out += explicit(0x0028, 0x0004, b"CS", photometric)
    if planar is not None:
        out += explicit(0x0028, 0x0006, b"US", us(planar))
    if frames > 1:
        out += explicit(0x0028, 0x0008, b"IS", str(frames).encode())
    out += explicit(0x0028, 0x0010, b"US", us(rows))
    out += explicit(0x0028, 0x0011, b"US", us(cols))
    out += explicit(0x0028, 0x0100, b"US", us(bits))
    out += explicit(0x0028, 0x0101, b"US", us(stored))
    out += explicit(0x0028, 0x0102, b"US", us(stored - 1))
    out += explicit(0x0028, 0x0103, b"US", us(0))
    return out


def values(count, lo, hi, seed):
    return [lo + (i * 7919 + seed * 104729) % (hi - lo + 1) for i in range(count)]


def pack(samples, bits):
    return bytes(samples) if bits == 8 else b"".join(struct.pack("<H", v) for v in samples)


def write(out, name, data, sample_info=None):
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)
    if sample_info is not None:
        rows, cols, samples, frames, vals = sample_info
        with open(os.path.join(out, name + ".samples"), "w") as f:
            f.write("%d %d %d %d\n" % (rows, cols, samples, frames))
            f.write(" ".join(str(v) for v in vals) + "\n")


def native(out, name, rows, cols, samples, bits, stored, frames, vals, planar=None):
    data = meta(EXPLICIT_LE, b"1.2.3.4.5.6.7")
    data += image_elements(rows, cols, samples, bits, stored, frames, planar)
    data += explicit(0x7FE0, 0x0010, b"OW" if bits == 16 else b"OB", pack(vals, bits))
    write(out, name, data, (rows, cols, samples, frames, vals))


def main():
    out = sys.argv[1]
    native(out, "dicom_grey8.dcm", 5, 7, 1, 8, 8, 1, values(35, 17, 230, 1))
    native(out, "dicom_grey16_12bit_3frames.dcm", 4, 6, 1, 16, 12, 3,
           values(24, 100, 3000, 2) + values(24, 0, 4095, 3) + [1234] * 24)
    native(out, "dicom_rgb8_interleaved.dcm", 3, 5, 3, 8, 8, 1, values(45, 0, 255, 4), planar=0)
    native(out, "dicom_rgb8_planar.dcm", 3, 4, 3, 8, 8, 1, values(36, 0, 255, 5), planar=1)

    legacy = implicit(0x0008, 0x0016, SECONDARY_CAPTURE)
    vals = values(20, 3, 1000, 6)
    legacy += implicit(0x0028, 0x0002, us(1))
    legacy += implicit(0x0028, 0x0004, b"MONOCHROME2")
    for element, v in ((0x0010, 4), (0x0011, 5), (0x0100, 16), (0x0101, 10), (0x0102, 9), (0x0103, 0)):
        legacy += implicit(0x0028, element, us(v))
    legacy += implicit(0x7FE0, 0x0010, pack(vals, 16))
    write(out, "dicom_legacy_grey16.dcm", legacy, (4, 5, 1, 1, vals))

    if len(sys.argv) > 2:
        codestream = open(sys.argv[2], "rb").read()
        # Rows and columns from the codestream's SIZ segment.
        xsiz, ysiz, x0, y0 = struct.unpack(">IIII", codestream[8:24])
        csiz = struct.unpack(">H", codestream[40:42])[0]
        depth = codestream[42] + 1
        data = meta(J2K_LOSSLESS, b"1.2.3.4.5.6.8")
        data += image_elements(ysiz - y0, xsiz - x0, csiz, 16 if depth > 8 else 8, depth, 1,
                               planar=0 if csiz == 3 else None)
        fragment = codestream + (b"\0" if len(codestream) % 2 else b"")
        data += struct.pack("<HH", 0x7FE0, 0x0010) + b"OB\0\0" + struct.pack("<I", 0xFFFFFFFF)
        data += struct.pack("<HHI", 0xFFFE, 0xE000, 4) + struct.pack("<I", 0)  # offset table, one entry
        data += struct.pack("<HHI", 0xFFFE, 0xE000, len(fragment)) + fragment
        data += struct.pack("<HHI", 0xFFFE, 0xE0DD, 0)
        write(out, "dicom_j2k.dcm", data)


if __name__ == "__main__":
    main()
