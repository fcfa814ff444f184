#!/usr/bin/env bash
# Writes the ICO/CUR, GIF, ICNS and XPM fixtures of the picture corpus (and
# the seeds of their fuzz targets). Independent encoders make what they can:
# ImageMagick draws the source pictures, icotool writes icons and cursors,
# netpbm and ImageMagick write GIF and XPM, png2icns writes icon families.
# The variants no tool writes (classic Mac icon elements, an embedded PNG,
# a GIF cut before its trailer, XPM colour forms) are put together by the
# Python at the end from the same sources.
# Usage: make_multi_image_fixtures.sh OUTDIR [SEEDDIR]
set -euo pipefail
out=$1 seeds=${2:-}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"

# Sources: an alpha gradient, a disc on transparency, a few flat colours.
convert -size 32x32 gradient:red-blue -alpha set -channel A -fx "i/w" +channel PNG32:grad32.png
convert -size 16x16 xc:none -fill green -draw "circle 8,8 8,3" PNG32:disc16.png
convert -size 48x48 gradient:yellow-black PNG32:grad48.png
convert -size 128x128 gradient:white-purple -alpha set -channel A -fx "j/h" +channel PNG32:grad128.png
convert -size 24x20 xc:white +antialias -fill red -draw "rectangle 2,2 10,9" -fill blue -draw "rectangle 12,6 21,17" \
  -fill black -draw "line 0,19 23,0" -type TrueColor PNG24:flat24x20.png
convert flat24x20.png -colors 2 -type Bilevel PNG8:bw24x20.png

# ICO and CUR.
icotool -c -o "$out/ico_sizes_16_32.ico" disc16.png grad32.png
icotool -c -b 1 -o "$out/ico_1bit.ico" bw24x20.png
icotool -c -b 4 -o "$out/ico_4bit.ico" flat24x20.png
icotool -c -b 8 -o "$out/ico_8bit.ico" flat24x20.png
icotool -c -b 24 -o "$out/ico_24bit_and_mask.ico" disc16.png
icotool -c -o "$out/ico_dib_and_png.ico" disc16.png -r grad48.png
icotool -c --cursor -X 3 -Y 5 -o "$out/cur_hotspot.cur" grad32.png

# GIF.
pngtopam flat24x20.png > flat.ppm
ppmtogif flat.ppm > "$out/gif_plain.gif" 2>/dev/null
ppmtogif -interlace flat.ppm > "$out/gif_interlaced.gif" 2>/dev/null
ppmtogif -transparent=rgb:ff/00/00 flat.ppm > "$out/gif_transparent_red.gif" 2>/dev/null
# (without alpha: ImageMagick would name transparent indexes beyond small tables,
# which giftopnm refuses)
convert -delay 10 -dispose previous disc16.png grad32.png flat24x20.png -alpha off -set page 32x32+0+0 \
  "$out/gif_animated_three.gif"
head -c -1 "$out/gif_animated_three.gif" > "$out/gif_animated_no_trailer.gif"

# ICNS: 24-bit run-length elements with 8-bit masks, and a JPEG 2000 one.
png2icns "$out/icns_rle_masks.icns" disc16.png grad32.png grad48.png grad128.png > /dev/null
convert -size 256x256 gradient:red-green PNG32:grad256.png
png2icns "$out/icns_jpeg2000.icns" grad256.png grad32.png > /dev/null

# XPM.
pngtopam flat24x20.png | ppmtoxpm -hexonly > "$out/xpm_netpbm.xpm" 2>/dev/null
convert disc16.png "$out/xpm_imagemagick_none.xpm"

python3 - "$out" <<'PY'
import struct, sys
out = sys.argv[1]

def element(kind, data):
    return kind + struct.pack(">I", 8 + len(data)) + data

def icns(elements):
    body = b"".join(elements)
    return b"icns" + struct.pack(">I", 8 + len(body)) + body

# Classic elements: 1-bit with its mask, 4- and 8-bit with 8-bit masks,
# patterns that touch every palette entry.
icn = bytes((0xF0 ^ (i * 37)) & 0xFF for i in range(128)) + bytes((0x3C + i * 11) & 0xFF for i in range(128))
icl4 = bytes(((2 * i) % 16) << 4 | ((2 * i + 1) % 16) for i in range(512))
icl8 = bytes(i % 256 for i in range(1024))
ics8 = bytes((255 - i) % 256 for i in range(256))
l8mk = bytes((i * 7) % 256 for i in range(1024))
s8mk = bytes(255 if i % 3 else 0 for i in range(256))
with open(out + "/icns_classic.icns", "wb") as f:
    f.write(icns([element(b"ICN#", icn), element(b"icl4", icn[:0] + icl4), element(b"l8mk", l8mk),
                  element(b"ics8", ics8), element(b"s8mk", s8mk), element(b"icl8", icl8)]))
# The run-length coding of the 24-bit elements: per channel, repeat
# packets (0x80 + n - 3) for runs of 3 to 130, literal packets (n - 1) of
# up to 128 bytes otherwise.
def rle(plane):
    out, i = bytearray(), 0
    while i < len(plane):
        run = 1
        while i + run < len(plane) and run < 130 and plane[i + run] == plane[i]:
            run += 1
        if run >= 3:
            out += bytes([run + 125, plane[i]])
            i += run
            continue
        j = i
        while j < len(plane) and j - i < 128 and not (j + 2 < len(plane) and plane[j] == plane[j + 1] == plane[j + 2]):
            j += 1
        out += bytes([j - i - 1]) + plane[i:j]
        i = j
    return bytes(out)

# An embedded PNG next to a run-length coded 32 x 32 element with runs and
# literals in every channel.
png = open("grad48.png", "rb").read()
planes = [bytes(((p // 40) * 60 + c * 50) & 0xFF if c != 1 else (p * 8) & 0xFF for p in range(1024)) for c in range(3)]
il32 = b"".join(rle(pl) for pl in planes)
with open(out + "/icns_png_and_raw.icns", "wb") as f:
    f.write(icns([element(b"il32", il32), element(b"l8mk", l8mk), element(b"ic07", png)]))

# XPM: two characters per pixel, None, 12-digit colours, comments between
# strings.
rows = []
for y in range(6):
    rows.append("".join(("..", "aB", "#x", "  ")[(x + y) % 4] for x in range(7)))
text = ("/* XPM */\nstatic char *forms[] = {\n/* columns rows colours chars-per-pixel */\n"
        "\"7 6 4 2\",\n\".. c None\",\n\"aB c #FFFF00000000\",\n\"#x c #1a2B3c\",\n"
        "\"   c #000080\",\n/* pixels */\n" + ",\n".join('"%s"' % r for r in rows) + "\n};\n")
with open(out + "/xpm_two_chars_none.xpm", "w") as f:
    f.write(text)
PY

if [[ -n "$seeds" ]]; then
  mkdir -p "$seeds/ico" "$seeds/gif" "$seeds/icns" "$seeds/xpm"
  # Each seed ends with the option byte the targets read: 1 streams.
  for f in "$out"/*.ico "$out"/*.cur; do { cat "$f"; printf '\001'; } > "$seeds/ico/${f##*/}"; done
  for f in "$out"/*.gif; do { cat "$f"; printf '\001'; } > "$seeds/gif/${f##*/}"; done
  for f in "$out"/*.icns; do { cat "$f"; printf '\001'; } > "$seeds/icns/${f##*/}"; done
  for f in "$out"/*.xpm; do { cat "$f"; printf '\001'; } > "$seeds/xpm/${f##*/}"; done
fi
