#!/usr/bin/python3
"""Checks on the built files, a command for each ctest test:

  check_built.py artwork BMP TEXTS   the picture as author/make_artwork.py
      draws it, and that `./build.sh --preview` of the same texts shows it,
      pixel for pixel but for the buttons' outlines;
  check_built.py resources PROGRAM   what a wrong build gets wrong in the
      program: dialog template, picture, icon (every byte of
      resources/installer.ico's, by hash), manifest, version, PE image;
  check_built.py package PACKAGE PROGRAM MAP ICON   the package without
      running it (needs p7zip-full); reproducible.sh checks its bytes;
  check_built.py default_texts PROGRAM   built from texts.toml: the picture of
      default-picture.png and the credits of the hash below, and no resource
      but those of before the texts file existed and the version.

default-picture.png (testbed/remake-pictures.sh remakes it) is compared band
by band: its size and the rules and the buttons' band exactly, the lettering
within a tolerance, since each release's Pillow and FreeType smooth glyph
edges a little differently (Debian 13 drew 26 of an earlier picture's 88,779
pixels up to 52 levels off Debian 12).
"""
import collections
import hashlib
import io
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

import pefile
from PIL import Image, ImageChops

from pe_files import (IDS, ROOT, RT_BITMAP, RT_DIALOG, RT_GROUP_ICON, RT_ICON, RT_MANIFEST, RT_VERSION,
                      check, expect, read, resources, run, version_tables)
import make_artwork
import picture_layout as L
import texts

LANG_CZECH = 0x405
VERSION_KEYS = {"FileDescription", "ProductName", "FileVersion", "ProductVersion", "LegalCopyright"}
ALLOWED_DLLS = {"kernel32.dll", "user32.dll", "advapi32.dll", "gdi32.dll", "msvcrt.dll"}
Dialog = collections.namedtuple("Dialog", "style exstyle rect menu cls title font")
Control = collections.namedtuple("Control", "style exstyle rect id cls text extra")
DIALOG = Dialog(0x80880840, 0, (0, 0, 195, 185), None, None, "Duneveil - instalace nové mapy",
                (8, "MS Sans Serif"))
CONTROLS = [
    Control(0x5000000E, 0, (0, 0, 5, 5), 0xFFFF, "Static", "IDB_BITMAP1", 0),
    Control(0x50010001, 0, (10, 140, 55, 15), IDS["IDC_INSTALL"], 0x80, "Instalovat", 0),
    Control(0x50010000, 0, (70, 140, 55, 15), IDS["IDC_ABOUT"], 0x80, "O projektu", 0),
    Control(0x50010000, 0, (130, 140, 55, 15), IDS["IDC_EXIT"], 0x80, "Ukončit", 0),
]
# SHA-256 of resources/installer.manifest as shipped: administrator requested,
# no DPI awareness, classic controls, and every other line of it.
MANIFEST = "311e0b5b57a86cd55a983b01385cb7a9b793f2fef90489797a47f21fb8911d36"
# The picture from texts.toml as Debian 12 draws it.
REFERENCE = os.path.join(ROOT, "tests", "built", "default-picture.png")
# Lettering: smoothing may move a pixel's channels this far, in this share of
# a band's pixels at most. A changed, moved or recoloured letter does more.
MAX_LEVELS = 64
MAX_SHARE = 0.01
# SHA-256 of g_szCredits from texts.toml (Windows-1250, without its NUL), and
# of the program's icon resources (resources/installer.ico), by (type, name).
CREDITS = "f19ef948a67779b9f56d1d9fd0110a4d27ac8cd0ec69692bdf9fe13523192f28"
ICON_HASHES = {
    (RT_ICON, 1): "f539d6fec2b0429b9d9f2b2f2641401439685891f4eae8dfb5a40f1768299c06",
    (RT_GROUP_ICON, IDS["IDI_APP"]): "a0c9d012e2bf6b2fe05c2d97cb5594d97cf2f539e97935c12abd7a3562f4d9bf",
}


def read_sz_or_ord(data, pos):
    """A template field: 0xFFFF and an ordinal, or a UTF-16 string (None if
    empty: the field is not set)."""
    if struct.unpack_from("<H", data, pos)[0] == 0xFFFF:
        return struct.unpack_from("<H", data, pos + 2)[0], pos + 4
    end = next(i for i in range(pos, len(data), 2) if data[i:i + 2] == b"\0\0")
    return data[pos:end].decode("utf-16-le") or None, end + 2


def parse_dialog(data):
    """A DLGTEMPLATE: (Dialog, [Control, ...]); None for a DLGTEMPLATEEX."""
    if struct.unpack_from("<HH", data, 0) == (1, 0xFFFF):
        return None
    style, exstyle, count, *rect = struct.unpack_from("<IIHhhhh", data, 0)
    menu, pos = read_sz_or_ord(data, 18)
    cls, pos = read_sz_or_ord(data, pos)
    title, pos = read_sz_or_ord(data, pos)
    (point,) = struct.unpack_from("<H", data, pos)
    face, pos = read_sz_or_ord(data, pos + 2)
    dialog, controls = Dialog(style, exstyle, tuple(rect), menu, cls, title, (point, face)), []
    for _ in range(count):
        pos = (pos + 3) & ~3
        style, exstyle, *rect, cid = struct.unpack_from("<IIhhhhH", data, pos)
        ccls, pos = read_sz_or_ord(data, pos + 18)
        text, pos = read_sz_or_ord(data, pos)
        (extra,) = struct.unpack_from("<H", data, pos)
        pos += 2 + extra
        controls.append(Control(style, exstyle, tuple(rect), cid, ccls, text, extra))
    return dialog, controls


def icon_entries(data, group):
    """(width, height, colours, reserved, planes, bits, size, last) of each
    image that an .ico file (last: its offset) or an RT_GROUP_ICON resource
    (last: its RT_ICON id) lists."""
    fmt = "<BBBBHHIH" if group else "<BBBBHHII"
    count = struct.unpack_from("<HHH", data)[2]
    return [struct.unpack_from(fmt, data, 6 + struct.calcsize(fmt) * i) for i in range(count)]


def icon_images(data, res=None):
    """{(width, height): image bytes} of an .ico file, or of an RT_GROUP_ICON
    resource whose images are res's RT_ICON entries (first language). Our
    icons are smaller than 256 px, which an entry writes as 0."""
    return {(w, h): data[last:last + size] if res is None else res.get((RT_ICON, last), [(0, None)])[0][1]
            for w, h, *_, size, last in icon_entries(data, group=res is not None)}


def check_picture(data, offset, what):
    """The picture whose 24-bit pixels start at offset (40 in a bitmap
    resource, 54 in a .bmp file), after its BITMAPINFOHEADER, against
    picture_layout.py; lettering keeps to the rows its band's ink may take."""
    if not expect(f"{what} size", len(data), offset + L.H * L.STRIDE):
        return
    expect(f"{what} info header", struct.unpack_from("<IiiHHIIiiII", data, offset - 40),
           (40, L.W, L.H, 1, 24, 0, L.H * L.STRIDE, 3780, 3780, 0, 0))
    rows = [data[i:i + L.STRIDE] for i in range(offset, len(data), L.STRIDE)][::-1]  # bottom-up
    for y, row in enumerate(rows):
        expect(f"{what} row {y} padding", row[L.W * 3:], bytes(L.STRIDE - L.W * 3))
    margins = [y for (top, bottom), (first, last) in L.INKED.items()
               for y in (*range(top, first), *range(last + 1, bottom + 1))]
    empty = [*range(L.BUTTONS[0], L.BUTTONS[1] + 1), *range(L.SHOWN, L.H), *margins]
    for y, byte in [(y, 0xFF) for y in L.RULES] + [(y, 0) for y in empty]:
        bad = [x for x in range(L.W) if rows[y][3 * x:3 * x + 3] != bytes([byte] * 3)]
        check(not bad, f"{what} row {y}: {len(bad)} pixel(s) not {byte:#04x}, first at x={bad and bad[0]}")
    for top, bottom in L.INKED:
        check(any(any(rows[y][:L.W * 3]) for y in range(top, bottom + 1)),
              f"{what} rows {top}-{bottom} carry lettering")


def check_gui_i386(pe, what):
    """What the program and the package's stub both are."""
    expect(f"{what}: machine, PE32, GUI subsystem",
           (hex(pe.FILE_HEADER.Machine), hex(pe.OPTIONAL_HEADER.Magic), pe.OPTIONAL_HEADER.Subsystem),
           (hex(0x14C), hex(0x10B), 2))


def manifest(res):
    """The text of the manifest that Windows reads for a program (id 1)."""
    entries = res.get((RT_MANIFEST, 1))
    return entries[0][1].decode("utf-8") if entries else None


def check_artwork(bmp, texts_file):
    data = read(bmp)
    # The size itself: check_picture's.
    expect("bmp file header", struct.unpack_from("<2sIHHI", data.ljust(14, b"\0")),
           (b"BM", len(data), 0, 0, 54))
    check_picture(data, 54, "bmp")
    with tempfile.TemporaryDirectory() as build:
        r = subprocess.run([os.path.join(ROOT, "build.sh"), "--preview", texts_file], capture_output=True,
                           text=True, env=dict(os.environ, BUILD_DIR=build))
        png = os.path.join(build, "preview.png")
        if not expect("build.sh --preview: its last line", r.stdout.splitlines()[-1:], [png]):
            return "artwork: checked"
        preview = Image.open(png).convert("RGB")
    picture = Image.open(bmp).convert("RGB")
    m = texts.PREVIEW_MARGIN
    shown = preview.crop((m, m, m + picture.width, m + picture.height))
    for _, box in texts.dialog_buttons():   # outlined there, and only there
        blank = Image.new("RGB", (box[2] - box[0], box[3] - box[1]))
        shown.paste(blank, box[:2])
        picture.paste(blank, box[:2])
    check(shown.tobytes() == picture.tobytes(), "the preview's picture is the build's, but for the buttons")
    return "artwork OK"


def shown(fields):
    """The style in hex; a class name in lower case, as Windows compares it."""
    cls = fields.cls.lower() if isinstance(fields.cls, str) else fields.cls
    return fields._replace(style=hex(fields.style), cls=cls)


def check_dialog(res):
    entries = res.get((RT_DIALOG, IDS["IDD_MAIN"]))
    if not check(entries, "dialog IDD_MAIN present"):
        return
    parsed = parse_dialog(entries[0][1])
    if not check(parsed, "dialog template not extended"):
        return
    dialog, controls = parsed
    expect("dialog", shown(dialog), shown(DIALOG))
    expect("control count", len(controls), len(CONTROLS))
    for i, (got, want) in enumerate(zip(controls, CONTROLS), 1):
        expect(f"control {i}", shown(got), shown(want))


def check_version(pe, res):
    """One Czech version resource; its texts come from the texts file."""
    expect("version resource", [lang for lang, _ in res.get((RT_VERSION, 1), [])], [LANG_CZECH])
    tables = version_tables(pe)
    expect("version string tables", [lang for lang, _ in tables], [b"040504E2"])
    if tables:
        entries = tables[0][1]
        expect("version keys", set(entries), VERSION_KEYS)
        expect("version texts all set", all(entries.values()), True)
        fixed = pe.VS_FIXEDFILEINFO[0]
        number = "%d.%d.%d.%d" % (fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF,
                                  fixed.FileVersionLS >> 16, fixed.FileVersionLS & 0xFFFF)
        expect("version number as its text", number, entries.get("FileVersion"))


def check_image(pe):
    check_gui_i386(pe, "program")
    expect("build timestamp", pe.FILE_HEADER.TimeDateStamp, 0)
    dll = pe.OPTIONAL_HEADER.DllCharacteristics
    expect("ASLR", bool(dll & 0x40), True)
    expect("DEP", bool(dll & 0x100), True)
    version = (pe.OPTIONAL_HEADER.MajorSubsystemVersion, pe.OPTIONAL_HEADER.MinorSubsystemVersion)
    expect("runs on Windows XP (subsystem version <= 5.1)", version <= (5, 1), True)
    dlls = {e.dll.decode().lower() for e in pe.DIRECTORY_ENTRY_IMPORT}
    expect("imported DLLs beyond the system ones", sorted(dlls - ALLOWED_DLLS), [])
    # DLL search restricted at start-up, looked up at run time so that
    # Windows without the call still loads the program.
    imported = {i.name for e in pe.DIRECTORY_ENTRY_IMPORT for i in e.imports}
    for name in (b"SetDefaultDllDirectories", b"SetDllDirectoryA"):
        expect(f"{name.decode()} looked up at run time", pe.__data__.find(name) >= 0 and name not in imported, True)


def check_program(path):
    pe = pefile.PE(path)
    check_image(pe)
    res = resources(pe)
    langs = {lang for key, entries in res.items() if key[0] != RT_VERSION for lang, _ in entries}
    expect("resource languages", langs, {0})
    check_version(pe, res)
    check_dialog(res)
    entries = res.get((RT_BITMAP, "IDB_BITMAP1"))
    if check(entries, "bitmap named IDB_BITMAP1 present"):
        check_picture(entries[0][1], 40, "bitmap")
    expect("icon resources", sorted((k for k in res if k[0] in (RT_ICON, RT_GROUP_ICON)), key=str),
           sorted(ICON_HASHES, key=str))
    for key, want in ICON_HASHES.items():
        check([hashlib.sha256(d).hexdigest() for _, d in res.get(key, [])] == [want], f"icon {key}, every byte")
    text = manifest(res)
    if check(text, "manifest present"):
        expect("manifest's SHA-256", hashlib.sha256(text.encode("utf-8")).hexdigest(), MANIFEST)
    return f"{path}: resources and image OK"


def check_package(package_file, program, map_file, icon):
    pe = pefile.PE(package_file)
    check_gui_i386(pe, "package")
    res = resources(pe)
    wanted = icon_images(read(icon)).get((32, 32))
    groups = [icon_images(e[0][1], res) for (kind, _), e in res.items() if kind == RT_GROUP_ICON]
    check(wanted is not None and next((g[32, 32] for g in groups if (32, 32) in g), None) == wanted,
          "package: 32x32 icon is the program's icon")
    text = manifest(res) or "<none/>"
    level = next((e.get("level") for e in ET.fromstring(text).iter()
                  if e.tag.endswith("}requestedExecutionLevel")), None)
    expect("package: manifest's execution level", level, "requireAdministrator")
    seven_zip = shutil.which("7z")
    if not check(seven_zip is not None, "7z found (package p7zip-full)"):
        return "package: checked"
    with tempfile.TemporaryDirectory(prefix="check_package.") as out:
        subprocess.run([seven_zip, "x", "-y", "-bd", "-o" + out, package_file],
                       check=True, stdout=subprocess.DEVNULL)
        files = sorted(os.path.relpath(os.path.join(d, n), out) for d, _, names in os.walk(out) for n in names)
        # The program and the map in the one folder the package runs the
        # program in (7-Zip names it after the script's variable), and nothing else.
        folder = next((os.path.dirname(f) for f in files if f.endswith("Am01.dvp")), "")
        expected = {os.path.join(folder, os.path.basename(program)): program,
                    os.path.join(folder, "Am01.dvp"): map_file}
        expect("package: files", files, sorted(expected))
        for name, original in expected.items():
            path = os.path.join(out, name)
            check(os.path.isfile(path) and read(path) == read(original),
                  f"{os.path.basename(name)} is byte-identical to {original}")
    return "package: all checks passed"


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


def check_default_texts(exe):
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
    extra = sorted(set(res) - set(ICON_HASHES) - {(RT_VERSION, 1), (RT_BITMAP, "IDB_BITMAP1"),
                                                  (RT_DIALOG, IDS["IDD_MAIN"]), (RT_MANIFEST, 1)}, key=str)
    check(not extra, f"no resources added besides the version: {extra}")
    check(pe.__data__.find(credits + b"\0") >= 0, "the program holds the credits")
    return "default texts: picture, credits and resources as before"


# {command: (function, argument counts)}
COMMANDS = {"artwork": (check_artwork, 2), "resources": (check_program, 1), "package": (check_package, 4),
            "default_texts": (check_default_texts, 1)}

if __name__ == "__main__":
    main, *counts = COMMANDS.get(sys.argv.pop(1) if len(sys.argv) > 1 else "", (None,))
    run(main, __doc__, *counts)
