#!/usr/bin/python3
"""Check the installer picture and icon made by tools/make_artwork.py.
Standard library only.

Usage: check_artwork.py BMP [ICO]   (ICO: resources/installer.ico)
"""
import os
import struct

from pe_files import ROOT, check_icon, check_picture, expect, read, run


def check_bmp(data):
    # The size itself: check_picture's.
    expect("bmp file header", struct.unpack_from("<2sIHHI", data.ljust(14, b"\0")),
           (b"BM", len(data), 0, 0, 54))
    check_picture(data, 54, "bmp")


def check_ico(data):
    if expect("ico size", len(data), 766):
        check_icon(data, False, data[22:], "ico")


def main(bmp, ico=os.path.join(ROOT, "resources", "installer.ico")):
    check_bmp(read(bmp))
    check_ico(read(ico))
    return "artwork OK"


if __name__ == "__main__":
    run(main, __doc__, 1, 2)
