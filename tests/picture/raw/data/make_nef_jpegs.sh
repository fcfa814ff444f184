#!/bin/sh
# The JPEGs that the NEF preview tests place in their files, made with
# ImageMagick and exiftool: a 640 x 424 preview that carries a 96 x 64 EXIF
# thumbnail of its own (the thumbnail is also kept on its own).
set -e
cd "$(dirname "$0")"
convert -seed 11 -size 640x424 plasma:fractal -blur 0x2 -quality 85 -sampling-factor 2x2 -strip nef_preview.jpg
convert nef_preview.jpg -resize 96x64! -quality 80 -strip nef_preview_thumb.jpg
exiftool -q -overwrite_original "-ThumbnailImage<=nef_preview_thumb.jpg" nef_preview.jpg
