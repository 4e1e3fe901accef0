#!/usr/bin/python3
"""Check the installer picture and icon made by tools/make_artwork.py.

Standard library only. Usage: python3 tests/built/check_artwork.py BMP [ICO]
(ICO defaults to resources/installer.ico). Prints every mismatch and exits 1
if there is any, else prints "artwork OK".
"""
import os
import struct
import sys

from pe_files import ROOT, check, expect, finish, picture_row
import picture_layout as L
from picture_layout import W, H

VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
       (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def expect_row(what, got, byte):
    bad = [i // 3 for i, v in enumerate(got) if v != byte]
    if bad:
        check(False, f"{what}: {len(set(bad))} pixel(s) not {byte:#04x}, first at x={bad[0]}")


def check_bmp(data):
    expect("bmp size", len(data), 266694)
    if len(data) < 54:
        return
    expect("bmp file header", struct.unpack_from("<2sIHHI", data, 0), (b"BM", 266694, 0, 0, 54))
    expect("bmp info header", struct.unpack_from("<IiiHHIIiiII", data, 14),
           (40, W, H, 1, 24, 0, 266640, 3780, 3780, 0, 0))
    if len(data) != 266694:
        return

    def row(y):  # pixels, padding
        whole = picture_row(data, y, 54)
        return whole[:W * 3], whole[W * 3:]

    for y in range(H):
        expect(f"bmp row {y} padding", row(y)[1], b"\0")
    for y in L.RULES:
        expect_row(f"bmp rule row {y}", row(y)[0], 255)
    for y in range(L.BUTTONS[0], L.BUTTONS[1] + 1):
        expect_row(f"bmp empty row {y}", row(y)[0], 0)
    for top, bottom in L.INKED:  # ink keeps off the band edges, but is there
        for y in (top, bottom):
            expect_row(f"bmp band edge row {y}", row(y)[0], 0)
        inked = any(any(row(y)[0]) for y in range(top, bottom + 1))
        check(inked, f"bmp band {top}-{bottom} carries ink")


def check_ico(data):
    expect("ico size", len(data), 766)
    if len(data) < 62:
        return
    expect("ico ICONDIR", struct.unpack_from("<HHH", data, 0), (0, 1, 1))
    expect("ico ICONDIRENTRY", struct.unpack_from("<BBBBHHII", data, 6),
           (32, 32, 16, 0, 1, 4, 744, 22))
    expect("ico BITMAPINFOHEADER", struct.unpack_from("<IiiHHIIiiII", data, 22),
           (40, 32, 64, 1, 4, 0, 640, 0, 0, 0, 0))
    expect("ico palette", data[62:126], b"".join(bytes((b, g, r, 0)) for r, g, b in VGA))


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
