#!/usr/bin/python3
"""The repository's own texts file gives the program as pinned here: the
picture of default-picture.png, the credits of the hash below, and the
icon of the program from before the texts file existed; check_exe.py checks
the dialog and the manifest. Only the version resource is new.

The picture is compared with default-picture.png (testbed/remake-pictures.sh
remakes it), band by band: its size and the rules and the buttons' band
exactly, the lettering within a tolerance, since each release's Pillow and
FreeType smooth glyph edges a little differently (Debian 13 drew 26 of an
earlier picture's 88,779 pixels up to 52 levels off Debian 12).

Usage: default_bytes.py INSTALLER_EXE   (built from texts.toml)
"""
import hashlib
import io
import os

import pefile
from PIL import Image, ImageChops

from pe_files import (IDS, ROOT, RT_BITMAP, RT_DIALOG, RT_GROUP_ICON, RT_ICON, RT_MANIFEST, RT_VERSION,
                      check, expect, resources, run)
import make_artwork
import picture_layout as L
import texts

# The picture from texts.toml as Debian 12 draws it.
REFERENCE = os.path.join(ROOT, "tests", "built", "default-picture.png")
# Lettering: smoothing may move a pixel's channels this far, in this share of
# a band's pixels at most. A changed, moved or recoloured letter does more.
MAX_LEVELS = 64
MAX_SHARE = 0.01
# SHA-256 of g_szCredits from texts.toml (Windows-1250, without its NUL), and
# of the program's icon shipped before, by (type, name).
CREDITS = "f19ef948a67779b9f56d1d9fd0110a4d27ac8cd0ec69692bdf9fe13523192f28"
RESOURCES = {
    (RT_ICON, 1): "f539d6fec2b0429b9d9f2b2f2641401439685891f4eae8dfb5a40f1768299c06",
    (RT_GROUP_ICON, IDS["IDI_APP"]): "a0c9d012e2bf6b2fe05c2d97cb5594d97cf2f539e97935c12abd7a3562f4d9bf",
}


def compare_picture(drawn, reference):
    """The picture against the reference, band by band."""
    if not expect("picture size against the reference", drawn.size, reference.size):
        return
    diff = ImageChops.difference(drawn, reference)
    for y in sorted(set(L.RULES) | set(range(L.BUTTONS[0], L.BUTTONS[1] + 1))):
        check(not diff.crop((0, y, L.W, y + 1)).getbbox(), f"picture row {y} is the reference's")
    for top, bottom in L.INKED:
        band = diff.crop((0, top, L.W, bottom + 1))
        levels = max(high for _, high in band.getextrema())
        moved = sum(1 for px in band.getdata() if any(px))
        check(levels <= MAX_LEVELS and moved <= MAX_SHARE * band.width * band.height,
              f"picture rows {top}-{bottom}: {moved} pixel(s) differ from the reference, "
              f"by up to {levels} levels (at most {MAX_LEVELS}, in {MAX_SHARE:.0%})")


def main(exe):
    t = texts.load_or_exit(os.path.join(ROOT, "texts.toml"))
    picture = make_artwork.make_bmp(t)
    credits = texts.credits(t).encode("cp1250")
    with Image.open(io.BytesIO(picture)) as drawn, Image.open(REFERENCE) as reference:
        compare_picture(drawn.convert("RGB"), reference.convert("RGB"))
    check(hashlib.sha256(credits).hexdigest() == CREDITS, "the credits from texts.toml are the pinned ones")

    pe = pefile.PE(exe)
    res = resources(pe)
    # windres keeps the bitmap as drawn, less its file header.
    check([d for _, d in res.get((RT_BITMAP, "IDB_BITMAP1"), [])] == [picture[14:]],
          "the program's bitmap is the picture drawn from texts.toml")
    for key, want in RESOURCES.items():
        got = [hashlib.sha256(data).hexdigest() for _, data in res.get(key, [])]
        check(got == [want], f"resource {key} unchanged")
    extra = sorted(set(res) - set(RESOURCES) - {(RT_VERSION, 1), (RT_BITMAP, "IDB_BITMAP1"),
                                                (RT_DIALOG, IDS["IDD_MAIN"]), (RT_MANIFEST, 1)}, key=str)
    check(not extra, f"no resources added besides the version: {extra}")
    check(pe.__data__.find(credits + b"\0") >= 0, "the program holds the credits")
    return "default texts: picture, credits and resources as before"


if __name__ == "__main__":
    run(main, __doc__, 1)
