#!/usr/bin/env python3
"""Wraps leaf_plain.mos into mos_zipfile.mos the way a Leaf back stores it:
a ZIP archive whose first entry, named 0.MOS and stored without
compression, starts at byte 39 (4 bytes of extra field). Written by
Python's zipfile, an independent ZIP writer; the expected sensor frame is
leaf_plain.mos's."""
import shutil
import sys
import zipfile
from pathlib import Path

here = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).parent
info = zipfile.ZipInfo("0.MOS", date_time=(2020, 1, 1, 0, 0, 0))
info.compress_type = zipfile.ZIP_STORED
info.extra = b"\xca\xfe\x00\x00"
with zipfile.ZipFile(here / "mos_zipfile.mos", "w") as z:
    z.writestr(info, (here / "leaf_plain.mos").read_bytes())
shutil.copyfile(here / "leaf_plain.mos.raw16.pgm", here / "mos_zipfile.mos.raw16.pgm")
data = (here / "mos_zipfile.mos").read_bytes()
assert data[39:41] in (b"II", b"MM"), "the TIFF must start at byte 39"
