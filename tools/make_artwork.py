#!/usr/bin/python3
"""Generate the installer artwork: resources/installer.bmp and resources/installer.ico.

The BMP (293 x 303, 24 bpp, bottom-up) is the Czech side panel of the installer,
the ICO (32 x 32, 16 VGA colours) its icon. Both headers are written field by
field with struct; PIL (Debian python3-pil) only rasterises the DejaVu fonts
(Debian fonts-dejavu-core, fonts-dejavu-extra) and shapes. Output is
byte-reproducible for a given PIL/FreeType/font version.

Run from the repository root:  python3 tools/make_artwork.py
Verify the result with:        python3 tools/check_artwork.py
"""
import os
import struct

from PIL import Image, ImageDraw, ImageFont

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FONTS = "/usr/share/fonts/truetype/dejavu/"
W, H = 293, 303
WHITE, BLACK, RED, DARK_RED = (255, 255, 255), (0, 0, 0), (230, 0, 0), (110, 0, 0)
RULES = (37, 88, 135, 160, 219, 257)  # rows 220-256 stay black: Windows draws buttons there


def font(name, size):
    return ImageFont.truetype(FONTS + name, size)


REG, BOLD = font("DejaVuSansCondensed.ttf", 12), font("DejaVuSansCondensed-Bold.ttf", 12)
TITLE = font("DejaVuSansCondensed-Bold.ttf", 13)
PITCH = 15  # baseline to baseline, in pixels

# (first row, last row, [(font, text), ...]); each block is centred in its band
BANDS = [
    (38, 87, [(BOLD, "Instalace nové mapy:"), (TITLE, "Písečná brána (betaverze)")]),
    (89, 134, [(REG, "Mapa bude nainstalována místo první"),
               (REG, "úvodní americké mise")]),
    (136, 159, [(BOLD, "Tato mapa je NEOFICIÁLNÍ")]),
    (161, 218, [(BOLD, "Odinstalace:"), (REG, "Vymazání souboru Am01.dvp v adresáři"),
                (REG, "Disk2 se hrou.")]),
    (258, 302, [(REG, "Připomínky k mapě pište na: mapar@example.cz"),
                (REG, "www.example.cz/mapy"), (REG, "www.example.org/duneveil")]),
]


def draw_logo(d, top, bottom):
    """'DUNEVEIL' in white bold capitals with a red edge and a dark red shadow."""
    f, text, gap = font("DejaVuSans-Bold.ttf", 24), "DUNEVEIL", 2
    width = sum(f.getlength(c) for c in text) + gap * (len(text) - 1)
    _, t, _, b = f.getbbox(text, stroke_width=2)
    x, y = (W - width) / 2, (top + bottom - 1 - (t + b)) / 2
    for dx, dy, fill, stroke in ((2, 2, DARK_RED, DARK_RED), (0, 0, WHITE, RED)):
        cx = x
        for c in text:
            d.text((round(cx) + dx, round(y) + dy), c, font=f, fill=fill,
                   stroke_width=2, stroke_fill=stroke)
            cx += f.getlength(c) + gap


def draw_lines(d, top, bottom, lines):
    asc = max(f.getmetrics()[0] for f, _ in lines)
    ink_top = min(f.getbbox(s)[1] for f, s in lines)
    ink_bottom = PITCH * (len(lines) - 1) + max(f.getbbox(s)[3] for f, s in lines)
    y0 = top + (bottom + 1 - top - (ink_bottom - ink_top)) // 2 - ink_top
    for i, (f, s) in enumerate(lines):
        x = (W - f.getlength(s)) // 2
        d.text((x, y0 + i * PITCH + asc - f.getmetrics()[0]), s, font=f, fill=WHITE)


def render_band(top, bottom, painter, *args):
    """Paint one band on a tall scratch canvas and insist that the ink keeps
    at least one black row (and column) away from the band's edges."""
    pad = 40
    im = Image.new("RGB", (W, H + 2 * pad), BLACK)
    painter(ImageDraw.Draw(im), top + pad, bottom + pad, *args)
    l, t, r, b = im.getbbox()
    assert l >= 1 and r <= W - 1 and t >= top + pad + 1 and b <= bottom + pad, \
        f"ink of band {top}-{bottom} spills: rows {t - pad}-{b - 1 - pad}, cols {l}-{r - 1}"
    return im.crop((0, top + pad, W, bottom + pad + 1))


def make_bmp():
    im = Image.new("RGB", (W, H), BLACK)
    im.paste(render_band(0, 36, draw_logo), (0, 0))
    for top, bottom, lines in BANDS:
        im.paste(render_band(top, bottom, draw_lines, lines), (0, top))
    d = ImageDraw.Draw(im)
    for y in RULES:
        d.line((0, y, W - 1, y), fill=WHITE)
    stride = (W * 3 + 3) & ~3
    raw = im.tobytes("raw", "BGR")
    rows = [raw[y * W * 3:(y + 1) * W * 3].ljust(stride, b"\0") for y in range(H)]
    pixels = b"".join(reversed(rows))  # bottom-up
    info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 24, 0, len(pixels), 3780, 3780, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return head + info + pixels


# Standard 16-colour VGA palette in Windows order (RGB).
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
       (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def make_ico():
    """A round emblem: dark blue sky over yellow dunes, a red-edged white 'D'."""
    n = 32
    im = Image.new("P", (n, n), 0)
    im.putpalette([v for c in VGA for v in c])
    mask = Image.new("1", (n, n), 0)
    ImageDraw.Draw(mask).ellipse((0, 0, n - 1, n - 1), fill=1)
    d = ImageDraw.Draw(im)
    d.rectangle((0, 0, n - 1, n - 1), fill=4)                        # night sky
    d.ellipse((-20, 18, 24, 46), fill=3)                             # far dune
    d.ellipse((6, 21, 56, 50), fill=11)                              # near dune
    # a geometric 'D': red edge, white body, red-edged counter showing the sky
    for grow, colour in ((1, 9), (0, 15), (-4, 9), (-5, 4)):
        x0, y0, x1, y1 = 8 - grow, 6 - grow, 24 + grow, 25 + grow
        d.rectangle((x0, y0, 15, y1), fill=colour)
        d.pieslice((2 * 15 - x1, y0, x1, y1), -90, 90, fill=colour)
    d.ellipse((0, 0, n - 1, n - 1), outline=1)                       # rim
    px, inside = im.load(), mask.load()
    xor, andm = b"", b""
    for y in reversed(range(n)):  # bottom-up
        idx = [px[x, y] if inside[x, y] else 0 for x in range(n)]
        xor += bytes(idx[x] << 4 | idx[x + 1] for x in range(0, n, 2))
        bits = "".join("0" if inside[x, y] else "1" for x in range(n))
        andm += int(bits, 2).to_bytes(4, "big")
    info = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 4, 0, len(xor) + len(andm), 0, 0, 0, 0)
    pal = b"".join(bytes((b, g, r, 0)) for r, g, b in VGA)
    image = info + pal + xor + andm
    return struct.pack("<HHH", 0, 1, 1) + \
        struct.pack("<BBBBHHII", n, n, 16, 0, 1, 4, len(image), 22) + image


def main():
    for name, data in (("installer.bmp", make_bmp()), ("installer.ico", make_ico())):
        path = os.path.join(ROOT, "resources", name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(data)
        print(f"wrote resources/{name} ({len(data)} bytes)")


if __name__ == "__main__":
    main()
