#!/usr/bin/python3
"""The repository's own texts file gives the program of before the texts file
existed: the same picture and credits, and the same dialog, icon and manifest
in the built program. Only the version resource is new.

The picture is compared with default-picture.png, band by band: the rules
and the buttons' band exactly, the lettering within a tolerance, since each
release's Pillow and FreeType smooth glyph edges a little differently
(Debian 13 draws 26 of its 88,779 pixels up to 52 levels off Debian 12).

Usage: default_bytes.py INSTALLER_EXE   (built from texts.toml)
"""
import hashlib
import os
import subprocess
import sys
import tempfile

import pefile
from PIL import Image

from pe_files import (IDS, RT_BITMAP, RT_DIALOG, RT_GROUP_ICON, RT_ICON, RT_MANIFEST, RT_VERSION, check,
                      expect, finish, picture_row, resources)
import picture_layout as L

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))

# The picture shipped before, as Debian 12 draws it, but for the contact's
# lines, which now end above the rows the dialog cuts off.
REFERENCE = os.path.join(HERE, "default-picture.png")
# Lettering: smoothing may move a pixel's channels this far, in this share of
# a band's pixels at most. A changed, moved or recoloured letter does more.
MAX_LEVELS = 64
MAX_SHARE = 0.01
# SHA-256 of the bytes shipped before: g_szCredits (Windows-1250, without its
# NUL), and the program's resources by (type, name).
CREDITS = "d5fb144d600885fa864283bee39c316643d87b2d9590b5d5d172a8c035bacd80"
RESOURCES = {
    (RT_ICON, 1): "f539d6fec2b0429b9d9f2b2f2641401439685891f4eae8dfb5a40f1768299c06",
    (RT_DIALOG, IDS["IDD_MAIN"]): "c5ab7eba8a04a7072f150c6dd3bcccf8a99781aac2545024c073a1f2c00d48bf",
    (RT_GROUP_ICON, IDS["IDI_APP"]): "a0c9d012e2bf6b2fe05c2d97cb5594d97cf2f539e97935c12abd7a3562f4d9bf",
    (RT_MANIFEST, 1): "311e0b5b57a86cd55a983b01385cb7a9b793f2fef90489797a47f21fb8911d36",
}


def sha(data):
    return hashlib.sha256(data).hexdigest()


def compare_picture(what, data, offset, reference):
    """The picture's rows (as for picture_row) against the reference's."""
    def rgb(y):  # stored rows are blue, green, red
        row = picture_row(data, y, offset)
        return bytes(row[i + c] for i in range(0, L.W * 3, 3) for c in (2, 1, 0))

    exact = set(L.RULES) | set(range(L.BUTTONS[0], L.BUTTONS[1] + 1))
    for y in sorted(exact):
        expect(f"{what} row {y}", rgb(y) == reference[y], True)
    for top, bottom in L.INKED:
        levels = [abs(a - b) for y in range(top, bottom + 1) for a, b in zip(rgb(y), reference[y])]
        moved = sum(1 for i in range(0, len(levels), 3) if any(levels[i:i + 3]))
        share = moved / (len(levels) // 3)
        check(max(levels) <= MAX_LEVELS and share <= MAX_SHARE,
              f"{what} rows {top}-{bottom}: {moved} pixel(s) differ from the reference, "
              f"by up to {max(levels)} levels (at most {MAX_LEVELS}, in {MAX_SHARE:.0%})")


def main(exe):
    with tempfile.TemporaryDirectory() as tmp:
        tool = [sys.executable, os.path.join(ROOT, "tools", "texts.py")]
        texts = os.path.join(ROOT, "texts.toml")
        subprocess.run(tool + ["picture", texts, f"{tmp}/p.bmp"], check=True)
        subprocess.run(tool + ["credits", texts, f"{tmp}/c.cpp", f"{tmp}/c.txt"], check=True)
        with open(f"{tmp}/p.bmp", "rb") as f:
            picture = f.read()
        with open(f"{tmp}/c.txt", encoding="utf-8") as f:
            credits = f.read().encode("cp1250")
    with Image.open(REFERENCE) as im:
        reference = [im.convert("RGB").crop((0, y, L.W, y + 1)).tobytes() for y in range(L.H)]
    expect("picture size", len(picture), 14 + 40 + L.H * L.STRIDE)
    compare_picture("picture", picture, 54, reference)
    check(sha(credits) == CREDITS, "the credits from texts.toml are the ones shipped before")

    pe = pefile.PE(exe)
    res = resources(pe)
    # windres keeps the bitmap as drawn, less its file header.
    check([d for _, d in res.get((RT_BITMAP, "IDB_BITMAP1"), [])] == [picture[14:]],
          "the program's bitmap is the picture drawn from texts.toml")
    for key, want in RESOURCES.items():
        check([sha(data) for _, data in res.get(key, [])] == [want], f"resource {key} unchanged")
    extra = sorted(set(res) - set(RESOURCES) - {(RT_VERSION, 1), (RT_BITMAP, "IDB_BITMAP1")}, key=str)
    check(not extra, f"no resources added besides the version: {extra}")
    check(pe.__data__.find(credits + b"\0") >= 0, "the program holds the credits")
    return finish("default texts: picture, credits and resources as before")

if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1]))
