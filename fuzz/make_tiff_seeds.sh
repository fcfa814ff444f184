#!/usr/bin/env bash
# Writes the seed corpora of the TIFF fuzz targets (tiff, tiff_walker, exif)
# with independent writers: libtiff's tiffcp, ImageMagick, tifffile and
# exiftool. Small pictures, one seed per layout or compression.
# Usage: fuzz/make_tiff_seeds.sh   (from the repository root)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
C=/usr/bin/convert
$C -size 16x12 gradient:red-blue -fill '#20e040' -draw 'circle 8,6 11,8' -depth 8 -compress none src.tif
$C -size 40x9 xc:white -fill black -draw 'circle 20,4 24,6' -depth 1 -type bilevel \
  -define quantum:polarity=min-is-white -compress none bw.tif
tiffcp -c lzw:2 src.tif lzw_predictor.tif
tiffcp -c zip:2 src.tif deflate_predictor.tif
tiffcp -c packbits src.tif packbits.tif
tiffcp -p separate src.tif planar.tif
tiffcp -t -w 16 -l 16 src.tif tiled.tif
tiffcp -8 src.tif bigtiff.tif
tiffcp -B src.tif bigendian.tif
tiffcp -c g3 bw.tif g3.tif
tiffcp -c g3:2d -f lsb2msb bw.tif g3_2d_lsb2msb.tif
tiffcp -c g4 bw.tif g4.tif
$C src.tif -colors 4 -type palette palette.tif
$C src.tif -colorspace cmyk cmyk.tif
$C src.tif -colorspace gray -depth 16 grey16.tif
$C src.tif bw.tif multipage.tif
/usr/bin/python3 - <<'PY'
import numpy as np, tifffile
a = np.linspace(0, 1, 4 * 5 * 3).reshape(4, 5, 3)
tifffile.imwrite('float16.tif', a.astype(np.float16), photometric='rgb')
tifffile.imwrite('uint32_be.tif', (a * 4e9).astype('>u4'), photometric='rgb', byteorder='>')
PY
$C src.tif photo.jpg
$C src.tif -resize 8x6 thumb.jpg
exiftool -q -overwrite_original -n -Orientation=6 -Make=Maker -Model=M -ISO=400 -ExposureTime=0.004 \
  -FNumber=2.8 -DateTimeOriginal='2019:07:04 13:45:10' -GPSLatitude=48.5 -GPSLatitudeRef=S \
  -GPSAltitude=12 -GPSAltitudeRef=1 '-ThumbnailImage<=thumb.jpg' photo.jpg
exiftool -q -overwrite_original -n -Orientation=3 -Make=Maker src.tif -o exif_tiff.tif 2>/dev/null || \
  { cp src.tif exif_tiff.tif; exiftool -q -overwrite_original -n -Orientation=3 -Make=Maker exif_tiff.tif; }
mkdir -p "$root/fuzz/corpus/tiff" "$root/fuzz/corpus/tiff_walker" "$root/fuzz/corpus/exif"
for f in *.tif; do
  n=${f%.tif}
  cp "$f" "$root/fuzz/corpus/tiff_walker/$n"
  # The tiff target takes an option byte after the file: page 0, and page 1
  # fitted into a box for the multi-page seed.
  { cat "$f"; printf '\000'; } > "$root/fuzz/corpus/tiff/$n"
done
{ cat multipage.tif; printf '\005'; } > "$root/fuzz/corpus/tiff/multipage_page1_fitted"
# The exif target takes the APP1 payload after "Exif\0\0".
exiftool -b -EXIF photo.jpg > "$root/fuzz/corpus/exif/photo_with_thumbnail"
# A TIFF file is itself a payload: header, IFD0 and its EXIF directories.
cp exif_tiff.tif "$root/fuzz/corpus/exif/tiff_with_exif"
cp bigtiff.tif "$root/fuzz/corpus/exif/bigtiff"
