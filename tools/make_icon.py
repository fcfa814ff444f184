#!/usr/bin/env python3
"""Draws the program's icon and writes it as a Windows .ico file with
16, 24, 32 and 48 pixel images (32-bit BGRA with an AND mask) and a 256
pixel one stored as PNG, as Windows reads it since Vista.

    make_icon.py OUTPUT.ico [PREVIEW.png]

PREVIEW.png, when given, is the 256-pixel image alone, for a person to look
at.

The picture: a carton seen from the front on a rounded blue tile, a white
arrow going down into it. Everything is computed per pixel with a few
pixels of supersampling, so that each size is drawn at its own resolution
rather than scaled down from a larger one.
"""
import struct
import sys
import zlib

SIZES = [16, 24, 32, 48, 256]
SUPER = 4

TILE = (0x2E, 0x6F, 0xB8)       # RGB
TILE_EDGE = (0x1F, 0x4E, 0x86)
BOX = (0xE9, 0xB9, 0x6E)
BOX_SHADE = (0xC8, 0x92, 0x48)
ARROW = (0xFF, 0xFF, 0xFF)


def inside_rounded(x, y, x0, y0, x1, y1, r):
    if x < x0 or x > x1 or y < y0 or y > y1:
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def sample(u, v):
    """The colour (r, g, b, a) at (u, v) in the unit square, y down."""
    colour = None
    if inside_rounded(u, v, 0.03, 0.03, 0.97, 0.97, 0.18):
        edge = not inside_rounded(u, v, 0.07, 0.07, 0.93, 0.93, 0.15)
        colour = TILE_EDGE if edge else TILE
    # The carton: a front face and its lid.
    if 0.22 <= u <= 0.78 and 0.50 <= v <= 0.84:
        colour = BOX
    if 0.18 <= u <= 0.82 and 0.42 <= v < 0.50:
        colour = BOX_SHADE
    # The arrow: a shaft and a head pointing into the carton.
    if 0.43 <= u <= 0.57 and 0.12 <= v <= 0.40:
        colour = ARROW
    if 0.40 <= v <= 0.62 and abs(u - 0.5) <= (0.62 - v) * 1.0:
        colour = ARROW
    if colour is None:
        return (0, 0, 0, 0)
    return colour + (255,)


def render(size):
    """Rows of (r, g, b, a), top row first."""
    rows = []
    n = SUPER * SUPER
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(SUPER):
                for sx in range(SUPER):
                    r, g, b, a = sample((x + (sx + 0.5) / SUPER) / size, (y + (sy + 0.5) / SUPER) / size)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            a = acc[3] // n
            if acc[3] == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append((acc[0] // acc[3], acc[1] // acc[3], acc[2] // acc[3], a))
        rows.append(row)
    return rows


def dib(size, rows):
    """A BITMAPINFOHEADER image of double height: colours bottom-up, then
    the AND mask (1 = transparent), rows padded to four bytes."""
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    mask = bytearray()
    stride = ((size + 31) // 32) * 4
    for row in reversed(rows):
        bits = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(pixels) + bytes(mask)


def png(size, rows):
    """8-bit RGBA PNG, filter 0 on every row."""
    def chunk(kind, data):
        body = kind + data
        return struct.pack('>I', len(data)) + body + struct.pack('>I', zlib.crc32(body) & 0xFFFFFFFF)
    raw = bytearray()
    for row in rows:
        raw.append(0)
        for px in row:
            raw += bytes(px)
    ihdr = struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', ihdr) + chunk(b'IDAT', zlib.compress(bytes(raw), 9)) +
            chunk(b'IEND', b''))


def main(argv):
    if len(argv) not in (1, 2):
        sys.exit(__doc__)
    images = []
    for s in SIZES:
        rows = render(s)
        if s >= 256:
            images.append(png(s, rows))
            if len(argv) == 2:
                with open(argv[1], 'wb') as f:
                    f.write(images[-1])
        else:
            images.append(dib(s, rows))
    out = bytearray(struct.pack('<HHH', 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for s, data in zip(SIZES, images):
        dim = 0 if s >= 256 else s
        out += struct.pack('<BBBBHHII', dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    with open(argv[0], 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main(sys.argv[1:])
