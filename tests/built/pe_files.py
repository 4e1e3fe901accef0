"""Reading the built files for the checks: the resources of a PE file (as
pefile loads it), its dialog template, version information and manifest, the
rows of the picture, the images of an icon, and the identifiers of
resources/resource.h. Then what the check scripts share: the failure count
and the check of the picture's layout.

Standard library only: the callers load the PE files with pefile."""
import os
import re
import struct
import xml.etree.ElementTree as ET

import picture_layout as L

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

RT_BITMAP, RT_ICON, RT_DIALOG, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 2, 3, 5, 14, 16, 24


def header_ids(path=os.path.join(ROOT, "resources", "resource.h")):
    """{name: number} of the header's "#define NAME number" lines."""
    with open(path, encoding="utf-8") as f:
        defines = re.findall(r"^#define\s+(\w+)\s+(0x[0-9a-fA-F]+|\d+)\s*$", f.read(), re.M)
    return {name: int(value, 0) for name, value in defines}


IDS = header_ids()


def resources(pe):
    """{(type, name): [(lang, bytes)]} with names as int ids or str names."""
    out = {}
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return out
    for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for n in t.directory.entries:
            name = str(n.name) if n.name is not None else n.id
            for lang in n.directory.entries:
                d = lang.data.struct
                out.setdefault((t.id, name), []).append(
                    (lang.id, pe.get_data(d.OffsetToData, d.Size)))
    return out


def read_sz_or_ord(data, pos):
    """A template field: 0 (none), 0xFFFF + ordinal, or a UTF-16 string."""
    (w,) = struct.unpack_from("<H", data, pos)
    if w == 0:
        return None, pos + 2
    if w == 0xFFFF:
        return struct.unpack_from("<H", data, pos + 2)[0], pos + 4
    end = pos
    while struct.unpack_from("<H", data, end)[0] != 0:
        end += 2
    return data[pos:end].decode("utf-16-le"), end + 2


def parse_dialog(data):
    if struct.unpack_from("<HH", data, 0) == (1, 0xFFFF):
        return {"extended": True}
    style, exstyle, cdit, x, y, cx, cy = struct.unpack_from("<IIHhhhh", data, 0)
    pos = 18
    menu, pos = read_sz_or_ord(data, pos)
    cls, pos = read_sz_or_ord(data, pos)
    title, pos = read_sz_or_ord(data, pos)
    (point,) = struct.unpack_from("<H", data, pos)
    face, pos = read_sz_or_ord(data, pos + 2)
    dlg = dict(extended=False, style=style, exstyle=exstyle, rect=(x, y, cx, cy), menu=menu,
               cls=cls, title=title, font=(point, face), controls=[])
    for _ in range(cdit):
        pos = (pos + 3) & ~3
        style, exstyle, x, y, cx, cy, cid = struct.unpack_from("<IIhhhhH", data, pos)
        pos += 18
        ccls, pos = read_sz_or_ord(data, pos)
        text, pos = read_sz_or_ord(data, pos)
        (extra,) = struct.unpack_from("<H", data, pos)
        pos += 2 + extra
        dlg["controls"].append(dict(style=style, exstyle=exstyle, rect=(x, y, cx, cy),
                                    id=cid, cls=ccls, text=text, extra=extra))
    return dlg


def version_tables(pe):
    """[(language and code page, {key: text})] of the version information."""
    return [(st.LangID, {k.decode(): v.decode() for k, v in st.entries.items()})
            for fi in getattr(pe, "FileInfo", [[]])[0] for st in getattr(fi, "StringTable", [])]


def manifest(res):
    """The text of the manifest that Windows reads for a program (id 1)."""
    entries = res.get((RT_MANIFEST, 1))
    return entries[0][1].decode("utf-8") if entries else None


def execution_level(text):
    for element in ET.fromstring(text).iter():
        if element.tag.endswith("}requestedExecutionLevel"):
            return element.get("level")
    return None


def picture_row(data, y, offset=40):
    """Row y, counted from the top, of the picture's bottom-up 24-bit pixels
    that start at offset (40 in a bitmap resource, 54 in a .bmp file), with
    its padding."""
    start = offset + (L.H - 1 - y) * L.STRIDE
    return data[start:start + L.STRIDE]


def icon_entries(data, group):
    """(width, height, colours, reserved, planes, bits, size, last) of each
    image that an .ico file (last: its offset) or an RT_GROUP_ICON resource
    (last: its RT_ICON id) lists."""
    fmt = "<BBBBHHIH" if group else "<BBBBHHII"
    count = struct.unpack_from("<HHH", data)[2]
    return [struct.unpack_from(fmt, data, 6 + struct.calcsize(fmt) * i) for i in range(count)]


def ico_image(ico, width, height):
    """The image bytes of one size from a .ico file (0 in the entry = 256)."""
    for w, h, *_, size, offset in icon_entries(ico, group=False):
        if (w or 256, h or 256) == (width, height):
            return ico[offset:offset + size]
    return None


def pe_icon_image(res, width, height):
    """The same from a PE file's group icons, first language of each."""
    for (rtype, _), entries in res.items():
        if rtype != RT_GROUP_ICON:
            continue
        for w, h, *_, icon_id in icon_entries(entries[0][1], group=True):
            if (w or 256, h or 256) == (width, height):
                icon = res.get((RT_ICON, icon_id))
                return icon and icon[0][1]
    return None


# What the check scripts share: failures are printed as they come and
# counted for the exit status.
failures = []


def check(ok, what):
    """Prints and counts a failed check; returns whether it passed."""
    if not ok:
        print("FAIL:", what)
        failures.append(what)
    return bool(ok)


def expect(what, got, want):
    return got == want or check(False, f"{what}: got {got!r}, want {want!r}")


def finish(summary):
    """The exit status of a check script, after its last line."""
    print(f"{len(failures)} check(s) failed" if failures else summary)
    return 1 if failures else 0


def expect_row(what, pixels, byte):
    bad = [i // 3 for i, v in enumerate(pixels) if v != byte]
    if bad:
        check(False, f"{what}: {len(set(bad))} pixel(s) not {byte:#04x}, first at x={bad[0]}")


def check_picture(data, offset, what):
    """The layout in the picture's pixels (offset as for picture_row): the
    rules white, the buttons' band and the rows the dialog cuts off empty,
    lettering in every other band."""
    def pixels(y):
        return picture_row(data, y, offset)[:L.W * 3]

    for y in L.RULES:
        expect_row(f"{what} rule row {y}", pixels(y), 0xFF)
    for y in [*range(L.BUTTONS[0], L.BUTTONS[1] + 1), *range(L.SHOWN, L.H)]:
        expect_row(f"{what} empty row {y}", pixels(y), 0)
    for top, bottom in L.INKED:
        inked = any(any(pixels(y)) for y in range(top, bottom + 1))
        check(inked, f"{what} rows {top}-{bottom} carry lettering")
