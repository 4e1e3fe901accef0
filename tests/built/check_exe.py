#!/usr/bin/python3
"""Checks the built installer program: the resources a wrong build gets
wrong (dialog template, picture, icon, manifest) and the PE image itself."""
import os
import struct
import sys

import pefile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import picture_layout as L  # noqa: E402

RT_BITMAP, RT_ICON, RT_DIALOG, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 2, 3, 5, 14, 16, 24
LANG_CZECH = 0x405
VERSION_KEYS = {"FileDescription", "ProductName", "FileVersion", "ProductVersion", "LegalCopyright"}
ALLOWED_DLLS = {"kernel32.dll", "user32.dll", "advapi32.dll", "msvcrt.dll"}

failures = []


def check(what, got, want):
    if got != want:
        failures.append(f"{what}: got {got!r}, want {want!r}")


def resources(pe):
    """{(type, name): [(lang, bytes)]} with names as int ids or str names."""
    out = {}
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


def check_dialog(res):
    entries = res.get((RT_DIALOG, 101))
    if not entries:
        failures.append("no dialog 101")
        return
    dlg = parse_dialog(entries[0][1])
    check("dialog form", dlg["extended"], False)
    if dlg["extended"]:
        return
    check("dialog style", hex(dlg["style"]), hex(0x80880840))
    check("dialog extended style", dlg["exstyle"], 0)
    check("dialog rectangle", dlg["rect"], (0, 0, 195, 185))
    check("dialog menu", dlg["menu"], None)
    check("dialog class", dlg["cls"], None)
    check("dialog title", dlg["title"], "Duneveil - instalace nové mapy")
    check("dialog font", dlg["font"], (8, "MS Sans Serif"))
    want = [
        dict(style=0x5000000E, exstyle=0, rect=(0, 0, 5, 5), id=0xFFFF, cls="Static",
             text="IDB_BITMAP1", extra=0),
        dict(style=0x50010001, exstyle=0, rect=(10, 140, 55, 15), id=1000, cls=0x80,
             text="Instalovat", extra=0),
        dict(style=0x50010000, exstyle=0, rect=(70, 140, 55, 15), id=1001, cls=0x80,
             text="O projektu", extra=0),
        dict(style=0x50010000, exstyle=0, rect=(130, 140, 55, 15), id=1002, cls=0x80,
             text="Ukončit", extra=0),
    ]
    check("control count", len(dlg["controls"]), len(want))
    for i, (got, exp) in enumerate(zip(dlg["controls"], want), 1):
        for field in exp:
            g, w = got[field], exp[field]
            if field == "cls" and isinstance(g, str) and isinstance(w, str):
                g, w = g.lower(), w.lower()
            if field == "style":
                g, w = hex(g), hex(w)
            check(f"control {i} {field}", g, w)


def check_bitmap(res):
    entries = res.get((RT_BITMAP, "IDB_BITMAP1"))
    if not entries:
        failures.append("no bitmap named IDB_BITMAP1")
        return
    data = entries[0][1]
    check("bitmap size", len(data), 266680)
    (size, w, h, planes, bpp, comp, image, xppm, yppm, used, important) = \
        struct.unpack_from("<IiiHHIIiiII", data, 0)
    check("bitmap header", (size, w, h, planes, bpp, comp), (40, 293, 303, 1, 24, 0))
    check("bitmap resolution", (xppm, yppm), (3780, 3780))
    check("bitmap palette", (used, important), (0, 0))

    def row(top):  # rows are stored bottom-up
        start = 40 + (L.H - 1 - top) * L.STRIDE
        return data[start:start + L.W * 3]

    for r in L.RULES:
        check(f"bitmap row {r} is a white rule", row(r), b"\xff" * 879)
    for r in range(L.BUTTONS[0], L.BUTTONS[1] + 1):
        check(f"bitmap row {r} is empty", row(r), b"\x00" * 879)
    for top, bottom in L.INKED:
        inked = any(any(row(r)) for r in range(top, bottom + 1))
        check(f"bitmap rows {top}-{bottom} carry lettering", inked, True)


def check_icon(res):
    groups = [k for k in res if k[0] == RT_GROUP_ICON]
    check("group icons", groups, [(RT_GROUP_ICON, 500)])
    if (RT_GROUP_ICON, 500) not in res:
        return
    data = res[(RT_GROUP_ICON, 500)][0][1]
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    check("group icon header", (reserved, kind, count), (0, 1, 1))
    w, h, colours, _, planes, bits, size, icon_id = struct.unpack_from("<BBBBHHIH", data, 6)
    check("icon entry", (w, h, colours, planes, bits, size, icon_id), (32, 32, 16, 1, 4, 744, 1))
    image = res.get((RT_ICON, 1))
    check("icon image size", image and len(image[0][1]), 744)
    check("icon images", sorted(k for k in res if k[0] == RT_ICON), [(RT_ICON, 1)])


def check_manifest(res):
    entries = res.get((RT_MANIFEST, 1))
    if not entries:
        failures.append("no manifest")
        return
    text = entries[0][1].decode("utf-8")
    check("requests administrator", 'level="requireAdministrator"' in text, True)
    check("no DPI awareness", "dpiAware" in text, False)
    check("classic controls (no Common-Controls 6)", "Microsoft.Windows.Common-Controls" in text, False)


def check_version(pe, res):
    """One Czech version resource; its texts come from the texts file."""
    check("version resource", [lang for lang, _ in res.get((RT_VERSION, 1), [])], [LANG_CZECH])
    tables = [st for fi in getattr(pe, "FileInfo", [[]])[0] for st in getattr(fi, "StringTable", [])]
    check("version string tables", [st.LangID for st in tables], [b"040504E2"])
    if tables:
        entries = {k.decode(): v.decode() for k, v in tables[0].entries.items()}
        check("version keys", set(entries), VERSION_KEYS)
        check("version texts all set", all(entries.values()), True)
        fixed = pe.VS_FIXEDFILEINFO[0]
        number = "%d.%d.%d.%d" % (fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF,
                                  fixed.FileVersionLS >> 16, fixed.FileVersionLS & 0xFFFF)
        check("version number as its text", number, entries.get("FileVersion"))


def check_image(pe):
    check("machine", hex(pe.FILE_HEADER.Machine), hex(0x14C))
    check("PE32", hex(pe.OPTIONAL_HEADER.Magic), hex(0x10B))
    check("subsystem (GUI)", pe.OPTIONAL_HEADER.Subsystem, 2)
    check("build timestamp", pe.FILE_HEADER.TimeDateStamp, 0)
    dll = pe.OPTIONAL_HEADER.DllCharacteristics
    check("ASLR", bool(dll & 0x40), True)
    check("DEP", bool(dll & 0x100), True)
    version = (pe.OPTIONAL_HEADER.MajorSubsystemVersion, pe.OPTIONAL_HEADER.MinorSubsystemVersion)
    check("runs on Windows XP (subsystem version <= 5.1)", version <= (5, 1), True)
    dlls = {e.dll.decode().lower() for e in pe.DIRECTORY_ENTRY_IMPORT}
    check("imported DLLs beyond the system ones", sorted(dlls - ALLOWED_DLLS), [])
    # DLL search restricted at start-up, looked up at run time so that
    # Windows without the call still loads the program.
    imported = {i.name for e in pe.DIRECTORY_ENTRY_IMPORT for i in e.imports}
    for name in (b"SetDefaultDllDirectories", b"SetDllDirectoryA"):
        check(f"{name.decode()} looked up at run time", pe.__data__.find(name) >= 0 and name not in imported, True)


def main(path):
    pe = pefile.PE(path)
    check_image(pe)
    res = resources(pe)
    langs = {lang for key, entries in res.items() if key[0] != RT_VERSION for lang, _ in entries}
    check("resource languages", langs, {0})
    check_version(pe, res)
    check_dialog(res)
    check_bitmap(res)
    check_icon(res)
    check_manifest(res)
    for f in failures:
        print("FAIL", f)
    if not failures:
        print(f"{path}: resources and image OK")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
