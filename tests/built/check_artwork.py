#!/usr/bin/python3
"""Check the installer picture and icon made by author/make_artwork.py, and
that `./build.sh --preview` of the same texts shows that picture, pixel for
pixel but for the buttons' outlines.

Usage: check_artwork.py BMP TEXTS [ICO]   (ICO: resources/installer.ico)
"""
import os
import struct
import subprocess
import tempfile

from PIL import Image

import texts

from pe_files import ROOT, check, check_icon, check_picture, expect, read, run


def check_bmp(data):
    # The size itself: check_picture's.
    expect("bmp file header", struct.unpack_from("<2sIHHI", data.ljust(14, b"\0")),
           (b"BM", len(data), 0, 0, 54))
    check_picture(data, 54, "bmp")


def check_ico(data):
    if expect("ico size", len(data), 766):
        check_icon(data, False, data[22:], "ico")


def check_preview(bmp, texts_file):
    with tempfile.TemporaryDirectory() as build:
        r = subprocess.run([os.path.join(ROOT, "build.sh"), "--preview", texts_file], capture_output=True,
                           text=True, env=dict(os.environ, BUILD_DIR=build))
        png = os.path.join(build, "preview.png")
        if not expect("build.sh --preview: its last line", r.stdout.splitlines()[-1:], [png]):
            return
        preview = Image.open(png).convert("RGB")
    picture = Image.open(bmp).convert("RGB")
    m = texts.PREVIEW_MARGIN
    shown = preview.crop((m, m, m + picture.width, m + picture.height))
    for _, box in texts.dialog_buttons():   # outlined there, and only there
        blank = Image.new("RGB", (box[2] - box[0], box[3] - box[1]))
        shown.paste(blank, box[:2])
        picture.paste(blank, box[:2])
    check(shown.tobytes() == picture.tobytes(), "the preview's picture is the build's, but for the buttons")


def main(bmp, texts_file, ico=os.path.join(ROOT, "resources", "installer.ico")):
    check_bmp(read(bmp))
    check_ico(read(ico))
    check_preview(bmp, texts_file)
    return "artwork OK"


if __name__ == "__main__":
    run(main, __doc__, 2, 3)
