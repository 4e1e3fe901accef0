"""What the checks on the built files share: reading the resources of a PE
file (as pefile loads it) and resources/resource.h, the checks of the picture
and the icon, the failure count and the command line. Standard library only:
the callers load the PE files with pefile."""
import collections
import os
import re
import struct
import sys
import xml.etree.ElementTree as ET

import picture_layout as L

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

RT_BITMAP, RT_ICON, RT_DIALOG, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 2, 3, 5, 14, 16, 24


# {name: number} of resources/resource.h's "#define NAME number" lines.
with open(os.path.join(ROOT, "resources", "resource.h"), encoding="utf-8") as _f:
    IDS = {name: int(value, 0) for name, value
           in re.findall(r"^#define\s+(\w+)\s+(0x[0-9a-fA-F]+|\d+)\s*$", _f.read(), re.M)}


def resources(pe):
    """{(type, name): [(lang, bytes)]} with names as int ids or str names."""
    out = {}
    root = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for t in root.entries if root else []:
        for n in t.directory.entries:
            name = str(n.name) if n.name is not None else n.id
            for lang in n.directory.entries:
                d = lang.data.struct
                out.setdefault((t.id, name), []).append(
                    (lang.id, pe.get_data(d.OffsetToData, d.Size)))
    return out


def read_sz_or_ord(data, pos):
    """A template field: 0xFFFF and an ordinal, or a UTF-16 string (None if
    empty: the field is not set)."""
    if struct.unpack_from("<H", data, pos)[0] == 0xFFFF:
        return struct.unpack_from("<H", data, pos + 2)[0], pos + 4
    end = next(i for i in range(pos, len(data), 2) if data[i:i + 2] == b"\0\0")
    return data[pos:end].decode("utf-16-le") or None, end + 2


Dialog = collections.namedtuple("Dialog", "style exstyle rect menu cls title font")
Control = collections.namedtuple("Control", "style exstyle rect id cls text extra")


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


def version_tables(pe):
    """[(language and code page, {key: text})] of the version information."""
    return [(st.LangID, {k.decode(): v.decode() for k, v in st.entries.items()})
            for fi in getattr(pe, "FileInfo", [[]])[0] for st in getattr(fi, "StringTable", [])]


def manifest(res):
    """The text of the manifest that Windows reads for a program (id 1)."""
    entries = res.get((RT_MANIFEST, 1))
    return entries[0][1].decode("utf-8") if entries else None


def execution_level(text):
    return next((e.get("level") for e in ET.fromstring(text).iter()
                 if e.tag.endswith("}requestedExecutionLevel")), None)


def read(path):
    with open(path, "rb") as f:
        return f.read()


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


# Failures are printed as they come and counted for the exit status.
failures = []


def check(ok, what):
    """Prints and counts a failed check; returns whether it passed."""
    if not ok:
        print("FAIL:", what)
        failures.append(what)
    return bool(ok)


def expect(what, got, want):
    return got == want or check(False, f"{what}: got {got!r}, want {want!r}")


def run(main, usage, *counts):
    """A check script's command line: main(*arguments) makes the checks and
    returns what to say if all of them passed."""
    args = sys.argv[1:]
    if len(args) not in counts:
        sys.exit(usage)
    try:
        summary = main(*args)
    except OSError as e:  # a file it checks is missing or unreadable
        check(False, f"{e.filename}: {e.strerror}")
    print(f"{len(failures)} check(s) failed" if failures else summary)
    sys.exit(1 if failures else 0)


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


def check_icon(directory, group, image, what):
    """resources/installer.ico's one image, 32 x 32 in the 16 VGA colours:
    the directory (an .ico file's or an RT_GROUP_ICON resource) and the image."""
    expect(f"{what} directory", struct.unpack_from("<HHH", directory), (0, 1, 1))
    expect(f"{what} entries", icon_entries(directory, group),
           [(32, 32, 16, 0, 1, 4, 744, 1 if group else 22)])
    expect(f"{what} image size", len(image), 744)
    expect(f"{what} image header", struct.unpack_from("<IiiHHIIiiII", image),
           (40, 32, 64, 1, 4, 0, 640, 0, 0, 0, 0))
    expect(f"{what} palette", image[40:104], b"".join(bytes((b, g, r, 0)) for r, g, b in L.VGA))
