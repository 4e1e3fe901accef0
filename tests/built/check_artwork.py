#!/usr/bin/python3
"""Check the installer picture and icon made by tools/make_artwork.py.

Standard library only. Usage: python3 tests/built/check_artwork.py BMP [ICO]
(ICO defaults to resources/installer.ico). Prints every mismatch and exits 1
if there is any, else prints "artwork OK".
"""
import os
import struct
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tools"))
import picture_layout as L  # noqa: E402
from picture_layout import W, H, STRIDE  # noqa: E402

VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
       (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
errors = []


def expect(what, got, want):
    if got != want:
        errors.append(f"{what}: got {got!r}, want {want!r}")


def expect_row(what, got, byte):
    bad = [i // 3 for i, v in enumerate(got) if v != byte]
    if bad:
        errors.append(f"{what}: {len(set(bad))} pixel(s) not {byte:#04x}, first at x={bad[0]}")


def check_bmp(data):
    expect("bmp size", len(data), 266694)
    if len(data) < 54:
        return
    expect("bmp file header", struct.unpack_from("<2sIHHI", data, 0), (b"BM", 266694, 0, 0, 54))
    expect("bmp info header", struct.unpack_from("<IiiHHIIiiII", data, 14),
           (40, W, H, 1, 24, 0, 266640, 3780, 3780, 0, 0))
    if len(data) != 266694:
        return

    def row(y):  # y counted from the top; the file is bottom-up
        start = 54 + (H - 1 - y) * STRIDE
        return data[start:start + W * 3], data[start + W * 3:start + STRIDE]

    for y in range(H):
        expect(f"bmp row {y} padding", row(y)[1], b"\0")
    for y in L.RULES:
        expect_row(f"bmp rule row {y}", row(y)[0], 255)
    for y in range(L.BUTTONS[0], L.BUTTONS[1] + 1):
        expect_row(f"bmp empty row {y}", row(y)[0], 0)
    for top, bottom in L.INKED:  # ink keeps off the band edges, but is there
        for y in (top, bottom):
            expect_row(f"bmp band edge row {y}", row(y)[0], 0)
        if not any(any(row(y)[0]) for y in range(top, bottom + 1)):
            errors.append(f"bmp band {top}-{bottom} is empty")


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
    for path, check in ((args[0], check_bmp), (ico, check_ico)):
        try:
            with open(path, "rb") as f:
                check(f.read())
        except OSError as e:
            errors.append(f"{path}: {e.strerror}")
    for e in errors[:50]:
        print("MISMATCH", e)
    if errors:
        sys.exit(1)
    print("artwork OK")


if __name__ == "__main__":
    main(sys.argv[1:])
