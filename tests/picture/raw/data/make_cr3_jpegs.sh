#!/bin/sh
# The JPEGs that the CR3 tests wrap in boxes, made with ImageMagick: the
# main picture (baseline, 4:2:0), a progressive variant and the preview.
set -e
cd "$(dirname "$0")"
convert -size 48x32 gradient:red-blue -rotate 0 \( -size 48x32 gradient:green-black -rotate 90 -resize 48x32! \) \
  -compose screen -composite -quality 90 -sampling-factor 2x2 -strip cr3_main.jpg
convert cr3_main.jpg -interlace JPEG -quality 85 -strip cr3_main_progressive.jpg
convert -seed 7 -size 24x16 plasma:fractal -quality 80 -sampling-factor 1x1 -strip cr3_preview.jpg
# ImageMagick's own decodes, the expected pixels (R, G, B bytes, top row first);
# chroma is replicated, not interpolated, as the picture library does.
for f in cr3_main cr3_main_progressive cr3_preview; do convert -define jpeg:fancy-upsampling=off "$f.jpg" -depth 8 "rgb:$f.rgb"; done
