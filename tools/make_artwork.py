#!/usr/bin/python3
"""The installer artwork, a library for tools/texts.py: the picture (the
Czech side panel, 24 bpp) from the map author's texts, laid out as
tools/picture_layout.py says, in the DejaVu fonts (Debian fonts-dejavu-core,
fonts-dejavu-extra); and the icon, 32 x 32 in the 16 VGA colours, written
here as PIL writes no 4-bit icons. Output is byte-reproducible for a given
PIL/FreeType/font version."""
import io
import struct

from PIL import Image, ImageDraw, ImageFont

import picture_layout as L
from picture_layout import W, H

FONTS = "/usr/share/fonts/truetype/dejavu/"
WHITE, BLACK, RED, DARK_RED = (255, 255, 255), (0, 0, 0), (230, 0, 0), (110, 0, 0)


def font(name, size):
    return ImageFont.truetype(FONTS + name, size)


REG, BOLD = font("DejaVuSansCondensed.ttf", 12), font("DejaVuSansCondensed-Bold.ttf", 12)
TITLE = font("DejaVuSansCondensed-Bold.ttf", 13)


def bands(texts):
    """[(band, pitch, [(font, text, key), ...])]: each block is centred in its
    band, its baselines pitch pixels apart. `texts` maps the texts file's keys
    to their values; `key` names the one a line comes from, or is None for the
    picture's own lines."""
    title = texts["map.title"] + (" (betaverze)" if texts["map.beta"] else "")
    return [
        (L.TITLE, 15, [(BOLD, "Instalace nové mapy:", None), (TITLE, title, "map.title")]),
        (L.REPLACES, 15, [(REG, "Mapa bude nainstalována místo první", None),
                          (REG, "úvodní americké mise", None)]),
        (L.UNOFFICIAL, 15, [(BOLD, "Tato mapa je NEOFICIÁLNÍ", None)]),
        (L.UNINSTALL, 15, [(BOLD, "Odinstalace:", None),
                           (REG, "Vymazání souboru Am01.dvp v adresáři", None),
                           (REG, "Disk2 se hrou.", None)]),
        # The contact's three lines sit closer: they end above the rows that
        # the dialog cuts off.
        (L.CONTACT, 14, [(REG, "Připomínky k mapě pište na: " + texts["map.contact"], "map.contact"),
                         (REG, texts["map.web1"], "map.web1"), (REG, texts["map.web2"], "map.web2")]),
    ]


def draw_logo(d, ox, top, bottom):
    """'DUNEVEIL' in white bold capitals with a red edge and a dark red shadow."""
    f, text, gap = font("DejaVuSans-Bold.ttf", 24), "DUNEVEIL", 2
    width = sum(f.getlength(c) for c in text) + gap * (len(text) - 1)
    _, t, _, b = f.getbbox(text, stroke_width=2)
    x, y = (W - width) / 2, (top + bottom - 1 - (t + b)) / 2
    for dx, dy, fill, stroke in ((2, 2, DARK_RED, DARK_RED), (0, 0, WHITE, RED)):
        cx = x
        for c in text:
            d.text((ox + round(cx) + dx, round(y) + dy), c, font=f, fill=fill,
                   stroke_width=2, stroke_fill=stroke)
            cx += f.getlength(c) + gap


def draw_lines(d, ox, top, bottom, lines, pitch):
    asc = max(f.getmetrics()[0] for f, _ in lines)
    ink_top = min(f.getbbox(s)[1] for f, s in lines)
    ink_bottom = pitch * (len(lines) - 1) + max(f.getbbox(s)[3] for f, s in lines)
    y0 = top + (bottom + 1 - top - (ink_bottom - ink_top)) // 2 - ink_top
    for i, (f, s) in enumerate(lines):
        x = (W - f.getlength(s)) // 2
        d.text((ox + x, y0 + i * pitch + asc - f.getmetrics()[0]), s, font=f, fill=WHITE)


PAD = 40  # room all round a band on its scratch canvas, for ink that spills


def paint(band, painter, *args):
    """Paint one band on a scratch canvas; returns the canvas and the ink's
    box in picture coordinates (left, top, right, bottom; ends exclusive)."""
    top, bottom = band
    im = Image.new("RGB", (W + 2 * PAD, H + 2 * PAD), BLACK)
    painter(ImageDraw.Draw(im), PAD, top + PAD, bottom + PAD, *args)
    l, t, r, b = im.getbbox()
    return im, (l - PAD, t - PAD, r - PAD, b - PAD)


def spill(band, box):
    """Pixels by which ink comes nearer than one pixel to the band's edges,
    across and down; the picture needs (0, 0)."""
    l, t, r, b = box
    return max(0, 1 - l) + max(0, r - (W - 1)), max(0, band[0] + 1 - t) + max(0, b - band[1])


def misfits(texts):
    """[(key, problem)] for the author's lines that do not fit the picture,
    measured with the fonts that draw them."""
    found = []
    for band, pitch, lines in bands(texts):
        for f, s, key in lines:
            across = spill(band, paint(band, draw_lines, [(f, s)], pitch)[1])[0] if key else 0
            if across:
                found.append((key, f'"{s}" is {across} px wider than the picture allows'))
        down = spill(band, paint(band, draw_lines, [(f, s) for f, s, _ in lines], pitch)[1])[1]
        if down:
            keys = ", ".join(k for _, _, k in lines if k)
            found.append((keys, f"the lines of rows {band[0]}-{band[1]} are {down} px too tall"))
    return found


def render_band(band, painter, *args):
    """One band, insisting that the ink keeps at least one black row (and
    column) away from the band's edges."""
    im, box = paint(band, painter, *args)
    assert spill(band, box) == (0, 0), f"ink of band {band} spills: {box}"
    top, bottom = band
    return im.crop((PAD, top + PAD, PAD + W, bottom + PAD + 1))


def make_bmp(texts):
    im = Image.new("RGB", (W, H), BLACK)
    im.paste(render_band(L.LOGO, draw_logo), (0, 0))
    for band, pitch, lines in bands(texts):
        im.paste(render_band(band, draw_lines, [(f, s) for f, s, _ in lines], pitch), (0, band[0]))
    d = ImageDraw.Draw(im)
    for y in L.RULES:
        d.line((0, y, W - 1, y), fill=WHITE)
    out = io.BytesIO()
    im.save(out, "BMP")
    return out.getvalue()


def make_ico():
    """A round emblem: dark blue sky over yellow dunes, a red-edged white 'D'."""
    n = 32
    im = Image.new("P", (n, n), 4)                                   # night sky
    outside = Image.new("1", (n, n), 1)
    ImageDraw.Draw(outside).ellipse((0, 0, n - 1, n - 1), fill=0)
    d = ImageDraw.Draw(im)
    d.ellipse((-20, 18, 24, 46), fill=3)                             # far dune
    d.ellipse((6, 21, 56, 50), fill=11)                              # near dune
    # a geometric 'D': red edge, white body, red-edged counter showing the sky
    for grow, colour in ((1, 9), (0, 15), (-4, 9), (-5, 4)):
        x0, y0, x1, y1 = 8 - grow, 6 - grow, 24 + grow, 25 + grow
        d.rectangle((x0, y0, 15, y1), fill=colour)
        d.pieslice((2 * 15 - x1, y0, x1, y1), -90, 90, fill=colour)
    d.ellipse((0, 0, n - 1, n - 1), outline=1)                       # rim
    # Colour 0 outside the round mask; both images bottom-up.
    im = Image.composite(Image.new("P", (n, n), 0), im, outside)
    xor = im.transpose(Image.FLIP_TOP_BOTTOM).tobytes("raw", "P;4")
    andm = outside.transpose(Image.FLIP_TOP_BOTTOM).tobytes()
    info = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 4, 0, len(xor) + len(andm), 0, 0, 0, 0)
    pal = b"".join(bytes((b, g, r, 0)) for r, g, b in L.VGA)
    image = info + pal + xor + andm
    # ICONDIR and its one ICONDIRENTRY
    return struct.pack("<HHHBBBBHHII", 0, 1, 1, n, n, 16, 0, 1, 4, len(image), 22) + image
