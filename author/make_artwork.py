#!/usr/bin/python3
"""The installer artwork, a library for author/texts.py: the picture (the
Czech side panel, 24 bpp) from the map author's texts, laid out as
author/picture_layout.py says, in the DejaVu fonts (Debian fonts-dejavu-core,
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
# The contact's: a size smaller but wider set, so that its three lines fit
# their band with black rows between them and stay legible.
SMALL = font("DejaVuSans.ttf", 11)


def bands(texts):
    """[(band, pitch, [(font, text, key), ...])]: each block is centred in the
    rows its band's ink may take, its baselines pitch pixels apart, or further
    where a line's ink needs it to keep L.GAP black rows from the line above.
    `texts` maps the texts file's keys to their values; `key` names the one a
    line comes from, or is None for the picture's own lines."""
    title = texts["map.title"] + (" (betaverze)" if texts["map.beta"] else "")
    return [
        (L.TITLE, 15, [(BOLD, "Instalace nové mapy:", None), (TITLE, title, "map.title")]),
        (L.REPLACES, 15, [(REG, "Mapa bude nainstalována místo první", None),
                          (REG, "úvodní americké mise", None)]),
        (L.UNOFFICIAL, 15, [(BOLD, "Tato mapa je NEOFICIÁLNÍ", None)]),
        (L.UNINSTALL, 15, [(BOLD, "Odinstalace:", None),
                           (REG, "Vymazání souboru Am01.dvp v adresáři", None),
                           (REG, "Disk2 se hrou.", None)]),
        (L.CONTACT, 13, [(SMALL, "Připomínky k mapě pište na: " + texts["map.contact"], "map.contact"),
                         (SMALL, texts["map.web1"], "map.web1"), (SMALL, texts["map.web2"], "map.web2")]),
    ]


# A painter draws into its band of a canvas on which the picture's top left
# corner is at (ox, oy).

def draw_logo(d, ox, oy, band):
    """'DUNEVEIL' in white bold capitals with a red edge and a dark red shadow."""
    f, text, gap = font("DejaVuSans-Bold.ttf", 24), "DUNEVEIL", 2
    width = sum(f.getlength(c) for c in text) + gap * (len(text) - 1)
    _, t, _, b = f.getbbox(text, stroke_width=2)
    x, y = (W - width) / 2, (2 * oy + band[0] + band[1] - 1 - (t + b)) / 2
    for dx, dy, fill, stroke in ((2, 2, DARK_RED, DARK_RED), (0, 0, WHITE, RED)):
        cx = x
        for c in text:
            d.text((ox + round(cx) + dx, round(y) + dy), c, font=f, fill=fill,
                   stroke_width=2, stroke_fill=stroke)
            cx += f.getlength(c) + gap


def baselines(band, lines, pitch):
    """Each line's baseline row, as bands() says."""
    boxes = [f.getbbox(s, anchor="ls") for f, s in lines]   # ink, from the baseline
    ys = [0]
    for (_, _, _, above), (_, top, _, _) in zip(boxes, boxes[1:]):
        ys.append(ys[-1] + max(pitch, above + L.GAP - top))
    first, last = L.INKED[band]
    ink_top = min(y + t for y, (_, t, _, _) in zip(ys, boxes))
    ink_bottom = max(y + b for y, (_, _, _, b) in zip(ys, boxes))
    shift = first + (last + 1 - first - (ink_bottom - ink_top)) // 2 - ink_top
    return [y + shift for y in ys]


def draw_lines(d, ox, oy, band, lines, pitch, only=None):
    """The band's lines, or only the one at that index."""
    for i, ((f, s), y) in enumerate(zip(lines, baselines(band, lines, pitch))):
        if only in (None, i):
            d.text((ox + (W - f.getlength(s)) // 2, oy + y), s, font=f, fill=WHITE, anchor="ls")


PAD = 40  # room all round a band on its scratch canvas, for ink that spills


def paint(band, painter, *args):
    """Paint one band on a scratch canvas; returns the canvas and the ink's
    box in picture coordinates (left, top, right, bottom; ends exclusive)."""
    im = Image.new("RGB", (W + 2 * PAD, H + 2 * PAD), BLACK)
    painter(ImageDraw.Draw(im), PAD, PAD, band, *args)
    l, t, r, b = im.getbbox()
    return im, (l - PAD, t - PAD, r - PAD, b - PAD)


def spill(band, box):
    """Pixels by which ink comes nearer than one pixel to the picture's sides,
    and goes beyond the rows the band's ink may take; the picture needs (0, 0)."""
    l, t, r, b = box
    first, last = L.INKED[band]
    return max(0, 1 - l) + max(0, r - (W - 1)), max(0, first - t) + max(0, b - 1 - last)


def line_boxes(band, lines, pitch):
    """The ink box of each line as drawn, painted alone."""
    return [paint(band, draw_lines, lines, pitch, i)[1] for i in range(len(lines))]


def crowded(boxes):
    """Indexes of the lines whose ink comes nearer than L.GAP black rows to
    the line above."""
    return [i for i in range(1, len(boxes)) if boxes[i][1] - boxes[i - 1][3] < L.GAP]


def misfits(texts):
    """[(key, ("wide", text, pixels over)) or (keys, ("tall", pixels over,
    (first, last) row, black rows between))] for the author's lines that do
    not fit the picture, measured with the fonts that draw them."""
    found = []
    for band, pitch, lines in bands(texts):
        boxes = line_boxes(band, [(f, s) for f, s, _ in lines], pitch)
        for (f, s, key), box in zip(lines, boxes):
            across = spill(band, box)[0]
            if key and across:
                found.append((key, ("wide", s, across)))
        block = (0, min(t for _, t, _, _ in boxes), W, max(b for _, _, _, b in boxes))
        down = spill(band, block)[1]
        if down:
            keys = ", ".join(k for _, _, k in lines if k)
            found.append((keys, ("tall", down, L.INKED[band], L.GAP)))
    return found


def render_band(band, painter, *args):
    """One band, insisting that its ink keeps to the rows it may take and one
    column off the picture's sides."""
    im, box = paint(band, painter, *args)
    assert spill(band, box) == (0, 0), f"ink of band {band} spills: {box}"
    top, bottom = band
    return im.crop((PAD, top + PAD, PAD + W, bottom + PAD + 1))


def make_bmp(texts):
    im = Image.new("RGB", (W, H), BLACK)
    im.paste(render_band(L.LOGO, draw_logo), (0, 0))
    for band, pitch, lines in bands(texts):
        lines = [(f, s) for f, s, _ in lines]
        assert not crowded(line_boxes(band, lines, pitch)), f"lines of band {band} crowd each other"
        im.paste(render_band(band, draw_lines, lines, pitch), (0, band[0]))
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
