#!/usr/bin/env python3
"""Writes picture/raw/raw_canon_matrices.inc: the colour matrix of every key of
the Canon colour table, derived from each camera's published XYZ-to-camera
coefficients.

Where the coefficients come from (installed tools only, used as black boxes):
  - the camera name of each Canon model id: exiftool's tag table
    (`exiftool -listx`, tag CanonModelID);
  - the coefficients: dcraw. A small uncompressed TIFF carrying Make "Canon"
    and the camera name is developed at half size (each 2 x 2 block becomes one
    pixel, so no interpolation), linear, with unit multipliers, black 0 and
    white 65535, to sRGB. The pixels are random; a least-squares fit of the
    output against the input gives the camera-to-sRGB matrix to about 1e-6.
    `dcraw -i -v` prints the daylight multipliers, 1 / row sum of
    camera-from-sRGB. From both the coefficients (integers over 10000) are
    recovered by rounding, and kept only when every one lies within 0.05 of
    an integer and they give back the printed multipliers to the printed
    six places (within 2e-6: the last digit is not always rounded alike).
    LibRaw's raw-identify prints the coefficients directly, but its table was
    revised for some of the oldest cameras (EOS D30, PowerShot G1): its
    values do not reproduce those models' matrices, dcraw's do.

The derivation from coefficients C (3 or 4 rows over X, Y, Z):
  cam_rgb = C x M (M: linear sRGB to XYZ, D65), each row divided by its sum;
  rgb_cam = the pseudo-inverse of cam_rgb (3 x 3 or 3 x 4), in doubles;
  each value stored as a 32-bit float, then written with six decimals.
For the four-colour cameras the table keeps the first three columns of each
row of the 3 x 4 result. The run stops unless the four matrices given in
full (0x80000001, 0x80000285, 0x01140000, 0x04040000) come out exactly.

Sharing groups take one matrix: the first member's, in table order, that has
coefficients. A key without coefficients keeps the unknown-model matrix of
its id (the 0x80000001 matrix above 0x80000000, identity below); the script
lists those keys on stderr.

Usage: scripts/gen_canon_matrices.py > picture/raw/raw_canon_matrices.inc
"""
import itertools
import os
import random
import re
import struct
import subprocess
import sys
import tempfile

# Keys in table insertion order; every white level and every black (0) is
# fixed by the table itself and kept in raw_canon_tables.cpp.
KEYS = [
    0x01140000, 0x01668000, 0x80000285, 0x80000349, 0x80000218, 0x80000213,
    0x80000382, 0x80000401, 0x80000302, 0x80000406, 0x80000250, 0x80000289,
    0x80000325, 0x80000326, 0x80000168, 0x80000346, 0x80000393, 0x80000347,
    0x80000175, 0x80000234, 0x80000190, 0x80000261, 0x80000287, 0x80000170,
    0x80000189, 0x80000236, 0x80000176, 0x80000252, 0x80000270, 0x80000286,
    0x80000301, 0x80000254, 0x80000288, 0x80000327, 0x80000328, 0x80000404,
    0x80000422, 0x80000432, 0x80000331, 0x80000215, 0x80000188, 0x80000281,
    0x80000169, 0x80000232, 0x80000174, 0x80000001, 0x80000167, 0x80000269,
    0x80000350, 0x80000408, 0x80000405, 0x80000417, 0x02490000, 0x02700000,
    0x02920000, 0x03330000, 0x03080000, 0x04040000, 0x01100000, 0x01190000,
    0x01290000, 0x01400000, 0x02230000, 0x01370000, 0x03010000, 0x01120000,
    0x01110000, 0x01210000, 0x01310000, 0x01390000, 0x01380000, 0x02720000,
    0x02950000, 0x03110000, 0x03360000, 0x02460000, 0x03340000, 0x01950000,
    0x02520000, 0x03070000,
]

GROUPS = [
    [0x80000382, 0x80000401, 0x80000250, 0x80000289, 0x80000325, 0x80000326],
    [0x80000288, 0x80000327, 0x80000328, 0x80000404, 0x80000422, 0x80000432],
    [0x80000346, 0x80000393, 0x80000347, 0x80000301, 0x80000331],
    [0x80000269, 0x80000350, 0x80000408, 0x80000405, 0x80000417],
    [0x80000302, 0x80000406],
    [0x80000168, 0x80000170],
    [0x80000285, 0x80000349],
]

GIVEN = {
    0x80000001: [1.917578, -0.957236, 0.039658, -0.054073, 1.265895, -0.211822,
                 0.102728, -0.541266, 1.438539],
    0x80000285: [1.964399, -1.11971, 0.155311, -0.241156, 1.673722, -0.432566,
                 0.013887, -0.54982, 1.535933],
    0x01140000: [1.550388, -0.633976, 0.083589, -0.115432, 1.645695, -0.530264,
                 0.068474, -0.49518, 1.426706],
    0x04040000: [-1.71971, 2.361807, -2.722312, 0.68266, -0.562744, 0.196526,
                 0.168274, 0.855459, 1.175146],
}

# Linear sRGB (D65) to XYZ.
XYZ_RGB = [[0.412453, 0.357580, 0.180423],
           [0.212671, 0.715160, 0.072169],
           [0.019334, 0.119193, 0.950227]]

HALF_W, HALF_H = 256, 128  # output pixels of the fitting picture


def mul(a, b):
    return [[sum(a[i][k] * b[k][j] for k in range(len(b))) for j in range(len(b[0]))]
            for i in range(len(a))]


def tr(a):
    return [list(r) for r in zip(*a)]


def inv3(m):
    (a, b, c), (d, e, f), (g, h, i) = m
    det = a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g)
    return [[(e * i - f * h) / det, (c * h - b * i) / det, (b * f - c * e) / det],
            [(f * g - d * i) / det, (a * i - c * g) / det, (c * d - a * f) / det],
            [(d * h - e * g) / det, (b * g - a * h) / det, (a * e - b * d) / det]]


def pinv_tall(a):  # n x 3 -> 3 x n
    return mul(inv3(mul(tr(a), a)), tr(a))


def pinv_wide(a):  # 3 x n -> n x 3
    return mul(tr(a), inv3(mul(a, tr(a))))


def f32(x):
    return struct.unpack('<f', struct.pack('<f', x))[0]


def derive(coeffs):
    """coeffs: rows of integers over 10000. Returns (rgb_cam rows, daylight)."""
    cam_rgb = mul([[x / 10000.0 for x in r] for r in coeffs], XYZ_RGB)
    sums = [sum(r) for r in cam_rgb]
    cam_rgb = [[x / s for x in r] for r, s in zip(cam_rgb, sums)]
    rgb_cam = pinv_tall(cam_rgb)
    return rgb_cam, [1.0 / s for s in sums]


def table_matrix(rgb_cam):
    return [float('%.6f' % f32(rgb_cam[i][j])) for i in range(3) for j in range(3)]


def tiff(model, pix, w, h):
    """Little-endian TIFF, one 16-bit CFA strip."""
    n = 10
    base = 8 + 2 + n * 12 + 4
    extra = bytearray()

    def add_text(s):
        b = s.encode() + b'\0'
        off = base + len(extra)
        extra.extend(b)
        if len(extra) % 2:
            extra.append(0)
        return len(b), off

    make = add_text('Canon')
    name = add_text(model)
    strip = base + len(extra)
    entries = [(256, 4, 1, w), (257, 4, 1, h), (258, 3, 1, 16), (259, 3, 1, 1),
               (262, 3, 1, 32803), (271, 2) + make, (272, 2) + name,
               (273, 4, 1, strip), (277, 3, 1, 1), (279, 4, 1, len(pix))]
    out = bytearray(b'II*\0' + struct.pack('<IH', 8, n))
    for tag, typ, count, value in entries:
        if typ == 3 and count == 1:
            out += struct.pack('<HHIHH', tag, typ, count, value, 0)
        else:
            out += struct.pack('<HHII', tag, typ, count, value)
    out += struct.pack('<I', 0) + extra + pix
    return bytes(out)


def run_dcraw(model, pix, w, h, args):
    with tempfile.NamedTemporaryFile(suffix='.tif', delete=False) as f:
        f.write(tiff(model, pix, w, h))
        path = f.name
    try:
        return subprocess.run(['dcraw'] + args + [path], capture_output=True, check=False).stdout
    finally:
        os.unlink(path)


def identify(model):
    """(camera as named, raw colours, daylight multipliers or None)."""
    out = run_dcraw(model, bytes(64 * 48 * 2), 64, 48, ['-i', '-v']).decode(errors='replace')
    cam = re.search(r'Camera: (.*)', out)
    colors = re.search(r'Raw colors: (\d)', out)
    day = re.search(r'Daylight multipliers: ([\d. ]+)', out)
    if not cam or not colors:
        return None, 0, None
    mults = [float(x) for x in day.group(1).split()] if day else None
    if mults is not None and all(abs(m - 1.0) < 1e-9 for m in mults):
        mults = None  # dcraw has no coefficients for the name
    return cam.group(1), int(colors.group(1)), mults


def solve(a, b):
    n = len(b)
    m = [a[i][:] + [b[i]] for i in range(n)]
    for i in range(n):
        p = max(range(i, n), key=lambda r: abs(m[r][i]))
        m[i], m[p] = m[p], m[i]
        for r in range(n):
            if r != i:
                f = m[r][i] / m[i][i]
                for c in range(i, n + 1):
                    m[r][c] -= f * m[i][c]
    return [m[i][n] / m[i][i] for i in range(n)]


def fit(model, colors):
    """Camera-to-sRGB rows over the four positions of a 2 x 2 block (Bayer:
    both greens carry one value, so three unknowns)."""
    rnd = random.Random(1)
    blocks = []
    for _ in range(HALF_W * HALF_H):
        v = [rnd.randrange(12000) for _ in range(4)]
        if colors == 3:
            v[2] = v[1]  # half size averages the two greens; keep it exact
        blocks.append(v)
    raw = [0] * (4 * HALF_W * HALF_H)
    for n, v in enumerate(blocks):
        r, c = divmod(n, HALF_W)
        top = 2 * r * 2 * HALF_W + 2 * c
        raw[top], raw[top + 1] = v[0], v[1]
        raw[top + 2 * HALF_W], raw[top + 2 * HALF_W + 1] = v[2], v[3]
    pix = struct.pack('<%dH' % len(raw), *raw)
    ppm = run_dcraw(model, pix, 2 * HALF_W, 2 * HALF_H,
                    ['-h', '-4', '-r', '1', '1', '1', '1', '-k', '0', '-S', '65535', '-o', '1', '-c'])
    head = ppm.split(b'\n', 3)
    if head[0] != b'P6' or tuple(map(int, head[1].split())) != (HALF_W, HALF_H):
        return None
    out = struct.unpack('>%dH' % (3 * HALF_W * HALF_H), head[3][:6 * HALF_W * HALF_H])
    rows = []
    for i in range(3):
        k = 3 if colors == 3 else 4
        a = [[0.0] * k for _ in range(k)]
        b = [0.0] * k
        for n, v in enumerate(blocks):
            o = out[3 * n + i]
            if o == 0 or o == 65535:
                continue  # clipped: says nothing exact
            x = [v[0], v[1], v[3]] if colors == 3 else v
            for p in range(k):
                b[p] += x[p] * (o + 0.5)  # output truncated: the middle of its step
                for q in range(k):
                    a[p][q] += x[p] * x[q]
        rows.append(solve(a, b))
    return rows


def recover(model):
    """Integer coefficients for a camera name, or None."""
    cam, colors, day = identify(model)
    if day is None or colors not in (3, 4):
        return None
    rows = fit(model, colors)
    if rows is None:
        return None
    # Bayer: position order R, G, B is the colour order. Four colours: the
    # position of each colour is unknown; the permutation whose coefficients
    # come out integral is the one.
    perms = [None] if colors == 3 else list(itertools.permutations(range(4)))
    best = None
    for perm in perms:
        if perm is None:
            rgb_cam = rows
            cam_rgb = inv3(rgb_cam)
        else:
            rgb_cam = [[0.0] * 4 for _ in range(3)]
            for i in range(3):
                for pos in range(4):
                    rgb_cam[i][perm[pos]] = rows[i][pos]
            cam_rgb = pinv_wide(rgb_cam)
        cam_rgb = [[x / d for x in r] for r, d in zip(cam_rgb, day)]
        coeffs = mul(cam_rgb, inv3(XYZ_RGB))
        err = max(abs(x * 10000 - round(x * 10000)) for r in coeffs for x in r)
        if best is None or err < best[0]:
            best = (err, [[round(x * 10000) for x in r] for r in coeffs])
    err, coeffs = best
    if err > 0.05:
        sys.exit('%s: coefficients not integral (%.3f off)' % (model, err))
    _, back = derive(coeffs)
    if any(abs(a - b) > 2e-6 for a, b in zip(back, day)):  # printed to six places
        sys.exit('%s: coefficients do not give back the multipliers' % model)
    return coeffs


def model_names():
    xml = subprocess.run(['exiftool', '-listx', '-lang', 'en'], capture_output=True,
                         check=True).stdout.decode('utf-8')
    at = xml.find("name='CanonModelID'")
    part = xml[at:xml.find('</tag>', at)]
    return {int(k): v for k, v in re.findall(r"<key id='(\d+)'>\s*<val lang='en'>([^<]*)</val>", part)}


def candidates(name):
    """Camera names as the camera writes them, from exiftool's "A / B / C"
    ("EOS Rebel T5i / 700D / Kiss X7i": the later names drop the series);
    the numbered names, the ones sold outside America and Japan, first."""
    out = []
    for alt in name.split(' / '):
        alt = re.sub(r'\s*\(new\)$', '', alt.strip())
        if not alt.startswith(('EOS', 'PowerShot')):
            alt = 'EOS ' + alt
        out.append('Canon ' + alt)
    return sorted(out, key=lambda n: 0 if re.match(r'Canon EOS \d+D', n) else 1)


def main():
    names = model_names()
    derived = {}
    missing = []
    for key in KEYS:
        found = None
        for cand in candidates(names.get(key, '')):
            coeffs = recover(cand)
            if coeffs is None:
                continue
            got = (cand, table_matrix(derive(coeffs)[0]))
            if found is None:
                found = got
            elif got[1] != found[1]:
                print('%#010x: %s and %s differ; %s kept' % (key, found[0], cand, found[0]), file=sys.stderr)
        if found is None:
            missing.append((key, names.get(key, '?')))
        else:
            derived[key] = found
        print('%#010x %-40s %s' % (key, names.get(key, '?'), found[0] if found else '-'),
              file=sys.stderr)

    for key, want in GIVEN.items():
        got = derived.get(key, (None, None))[1]
        if got != want:
            sys.exit('%#010x derived %s, the table gives %s' % (key, got, want))

    matrix = {}
    for key in KEYS:
        group = next((g for g in GROUPS if key in g), [key])
        source = next((k for k in sorted(group, key=KEYS.index) if k in derived), None)
        if source is not None:
            if key in derived and derived[key][1] != derived[source][1]:
                print('%#010x (%s) differs from its group\'s %#010x (%s); shares it' %
                      (key, derived[key][0], source, derived[source][0]), file=sys.stderr)
            matrix[key] = (derived[source][1], derived[source][0])
        else:
            matrix[key] = None
    for key, name in missing:
        print('no coefficients: %#010x %s%s' % (key, name, '' if matrix[key] else ' (unknown-model matrix)'),
              file=sys.stderr)
    print('%d different matrices' % len({tuple(m[0]) if m else ('fallback', k > 0x80000000)
                                          for k, m in matrix.items()}), file=sys.stderr)

    print('// Generated by scripts/gen_canon_matrices.py; do not edit.')
    print('// Key, then its matrix row by row (camera red, green, blue to output')
    print('// red, green, blue). Keys without coefficients take the matrix an')
    print('// unknown model of their id gets and are not listed.')
    for key in KEYS:
        if matrix[key] is None:
            continue
        m, source = matrix[key]
        text = ', '.join(('%.6f' % x).rstrip('0').rstrip('.') for x in m)
        own = names.get(key, '?').split(' / ')[0]
        note = own if source == 'Canon ' + own or key in derived and derived[key][0] == source else \
            '%s, sharing the %s matrix' % (own, source[len('Canon '):])
        print('{%#010x, {%s}},  // %s' % (key, text, note))


if __name__ == '__main__':
    main()
