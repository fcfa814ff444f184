#!/usr/bin/env bash
# Writes the JPEG fixtures of this folder with libjpeg-turbo's tools
# (libjpeg-turbo-progs): one small photo-like picture in every layout the
# decoder must handle. The picture is made here, so the files can be made
# again on any machine.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

python3 - "$tmp/src.ppm" "$tmp/cmyk.raw" <<'PY'
import math, sys
w, h = 61, 43
rgb = bytearray()
for y in range(h):
    for x in range(w):
        for c in range(3):
            v = 128 + 90 * math.sin(x * (0.11 + 0.05 * c) + y * 0.07) + 30 * math.cos((x - 2 * y) * 0.3)
            if (x // 7 + y // 5) % 4 == 0:
                v = 255 - v
            rgb.append(max(0, min(255, int(v))))
with open(sys.argv[1], "wb") as f:
    f.write(b"P6\n%d %d\n255\n" % (w, h) + bytes(rgb))
PY

cjpeg -quality 75 -sample 2x2 -outfile jpeg_baseline_420.jpg "$tmp/src.ppm"
cjpeg -quality 90 -sample 2x1 -outfile jpeg_baseline_422.jpg "$tmp/src.ppm"
cjpeg -quality 95 -sample 1x1 -optimize -outfile jpeg_baseline_444_optimized.jpg "$tmp/src.ppm"
cjpeg -quality 80 -grayscale -outfile jpeg_grey.jpg "$tmp/src.ppm"
cjpeg -quality 80 -rgb -outfile jpeg_rgb_coded.jpg "$tmp/src.ppm"
cjpeg -quality 85 -progressive -outfile jpeg_progressive_420.jpg "$tmp/src.ppm"
cjpeg -quality 70 -restart 1B -outfile jpeg_restart_every_mcu.jpg "$tmp/src.ppm"
cjpeg -quality 70 -arithmetic -outfile jpeg_arithmetic_refused.jpg "$tmp/src.ppm"

# One sequential scan per component (non-interleaved).
cat > "$tmp/separate.txt" <<'SCANS'
0: 0 63 0 0;
1: 0 63 0 0;
2: 0 63 0 0;
SCANS
jpegtran -scans "$tmp/separate.txt" -outfile jpeg_noninterleaved.jpg jpeg_baseline_420.jpg

# Progressive with successive approximation on DC and AC, components apart.
cat > "$tmp/approx.txt" <<'SCANS'
0,1,2: 0 0 0 2;
0: 1 5 0 3;
0: 6 63 0 3;
2: 1 63 0 1;
1: 1 63 0 1;
0: 1 63 3 2;
0: 1 63 2 1;
0,1,2: 0 0 2 1;
0,1,2: 0 0 1 0;
2: 1 63 1 0;
1: 1 63 1 0;
0: 1 63 1 0;
SCANS
jpegtran -scans "$tmp/approx.txt" -outfile jpeg_progressive_approximation.jpg jpeg_baseline_444_optimized.jpg

# The smallest picture.
printf 'P6\n1 1\n255\n\x20\x90\xf0' > "$tmp/one.ppm"
cjpeg -quality 90 -outfile jpeg_one_pixel.jpg "$tmp/one.ppm"

# A progressive file cut in the middle: decodes partly, then fails.
size=$(stat -c %s jpeg_progressive_420.jpg)
head -c $((size * 2 / 3)) jpeg_progressive_420.jpg > jpeg_progressive_truncated.jpg
