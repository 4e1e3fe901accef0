"""The installer picture's layout: its size and the pixel rows of its rules
and bands, counted from the top; and the icon's palette. author/make_artwork.py
draws to it; the checks on the built files and the end-to-end suite check
against it."""

W, H = 293, 303
SHOWN = 301                        # rows the dialog shows: its client area is 301 px tall
STRIDE = (W * 3 + 3) & ~3          # bytes per stored row: 24 bpp, padded to 4
RULES = (37, 88, 135, 160, 219, 257)  # white, full width

LOGO = (0, 36)
TITLE = (38, 87)                   # "Instalace nové mapy:" and the map's title
REPLACES = (89, 134)
UNOFFICIAL = (136, 159)
UNINSTALL = (161, 218)
BUTTONS = (220, 256)               # stays black: the dialog's buttons lie here
CONTACT = (258, SHOWN - 1)         # rows SHOWN.. stay black: the dialog cuts them off

# Black rows at least between the ink of a band's lines; the contact's small
# lines keep as many from the rule above and from the dialog's edge.
GAP = 2

# Every band but the buttons' carries lettering, kept off the band's edges:
# {band: (first, last) row its ink may take}.
INKED = {band: (band[0] + 1, band[1] - 1) for band in (LOGO, TITLE, REPLACES, UNOFFICIAL, UNINSTALL)}
INKED[CONTACT] = (CONTACT[0] + GAP, CONTACT[1] - GAP - 1)   # rows 260-297

# Standard 16-colour VGA palette in Windows order (RGB).
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
       (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
