#!/usr/bin/python3
"""Check the installer picture and icon made by tools/make_artwork.py.

Standard library only. Usage: check_artwork.py BMP [ICO]
(ICO defaults to resources/installer.ico). Prints every mismatch and exits 1
if there is any, else prints "artwork OK".
"""
import os
import struct
import sys

from pe_files import ROOT, check, check_picture, expect, expect_row, finish, picture_row
import picture_layout as L
from picture_layout import W, H

def check_bmp(data):
    expect("bmp size", len(data), 266694)
    if len(data) < 54:
        return
    expect("bmp file header", struct.unpack_from("<2sIHHI", data, 0), (b"BM", 266694, 0, 0, 54))
    expect("bmp info header", struct.unpack_from("<IiiHHIIiiII", data, 14),
           (40, W, H, 1, 24, 0, 266640, 3780, 3780, 0, 0))
    if len(data) != 266694:
        return
    for y in range(H):
        expect(f"bmp row {y} padding", picture_row(data, y, 54)[W * 3:], b"\0")
    check_picture(data, 54, "bmp")
    for top, bottom in L.INKED:  # the ink keeps off the band edges
        for y in (top, bottom):
            expect_row(f"bmp band edge row {y}", picture_row(data, y, 54)[:W * 3], 0)


def check_ico(data):
    expect("ico size", len(data), 766)
    if len(data) < 62:
        return
    expect("ico ICONDIR", struct.unpack_from("<HHH", data, 0), (0, 1, 1))
    expect("ico ICONDIRENTRY", struct.unpack_from("<BBBBHHII", data, 6),
           (32, 32, 16, 0, 1, 4, 744, 22))
    expect("ico BITMAPINFOHEADER", struct.unpack_from("<IiiHHIIiiII", data, 22),
           (40, 32, 64, 1, 4, 0, 640, 0, 0, 0, 0))
    expect("ico palette", data[62:126], b"".join(bytes((b, g, r, 0)) for r, g, b in L.VGA))


def main(args):
    if not 1 <= len(args) <= 2:
        sys.exit(__doc__)
    ico = args[1] if len(args) > 1 else os.path.join(ROOT, "resources", "installer.ico")
    for path, check_file in ((args[0], check_bmp), (ico, check_ico)):
        try:
            with open(path, "rb") as f:
                check_file(f.read())
        except OSError as e:
            check(False, f"{path}: {e.strerror}")
    sys.exit(finish("artwork OK"))


if __name__ == "__main__":
    main(sys.argv[1:])
