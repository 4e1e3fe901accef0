#!/usr/bin/python3
"""Checks the built installer program: the resources a wrong build gets
wrong (dialog template, picture, icon, manifest) and the PE image itself."""
import struct
import sys

import pefile

from pe_files import (IDS, RT_BITMAP, RT_DIALOG, RT_GROUP_ICON, RT_ICON, RT_VERSION, check,
                      check_picture, expect, execution_level, finish, manifest, parse_dialog,
                      resources, version_tables)

LANG_CZECH = 0x405
VERSION_KEYS = {"FileDescription", "ProductName", "FileVersion", "ProductVersion", "LegalCopyright"}
ALLOWED_DLLS = {"kernel32.dll", "user32.dll", "advapi32.dll", "msvcrt.dll"}


def check_dialog(res):
    entries = res.get((RT_DIALOG, IDS["IDD_MAIN"]))
    if not check(entries, "dialog IDD_MAIN present"):
        return
    dlg = parse_dialog(entries[0][1])
    expect("dialog form", dlg["extended"], False)
    if dlg["extended"]:
        return
    expect("dialog style", hex(dlg["style"]), hex(0x80880840))
    expect("dialog extended style", dlg["exstyle"], 0)
    expect("dialog rectangle", dlg["rect"], (0, 0, 195, 185))
    expect("dialog menu", dlg["menu"], None)
    expect("dialog class", dlg["cls"], None)
    expect("dialog title", dlg["title"], "Duneveil - instalace nové mapy")
    expect("dialog font", dlg["font"], (8, "MS Sans Serif"))
    want = [
        dict(style=0x5000000E, exstyle=0, rect=(0, 0, 5, 5), id=0xFFFF, cls="Static",
             text="IDB_BITMAP1", extra=0),
        dict(style=0x50010001, exstyle=0, rect=(10, 140, 55, 15), id=IDS["IDC_INSTALL"],
             cls=0x80, text="Instalovat", extra=0),
        dict(style=0x50010000, exstyle=0, rect=(70, 140, 55, 15), id=IDS["IDC_ABOUT"],
             cls=0x80, text="O projektu", extra=0),
        dict(style=0x50010000, exstyle=0, rect=(130, 140, 55, 15), id=IDS["IDC_EXIT"],
             cls=0x80, text="Ukončit", extra=0),
    ]
    expect("control count", len(dlg["controls"]), len(want))
    for i, (got, exp) in enumerate(zip(dlg["controls"], want), 1):
        for field in exp:
            g, w = got[field], exp[field]
            if field == "cls" and isinstance(g, str) and isinstance(w, str):
                g, w = g.lower(), w.lower()
            if field == "style":
                g, w = hex(g), hex(w)
            expect(f"control {i} {field}", g, w)


def check_bitmap(res):
    entries = res.get((RT_BITMAP, "IDB_BITMAP1"))
    if not check(entries, "bitmap named IDB_BITMAP1 present"):
        return
    data = entries[0][1]
    expect("bitmap size", len(data), 266680)
    (size, w, h, planes, bpp, comp, image, xppm, yppm, used, important) = \
        struct.unpack_from("<IiiHHIIiiII", data, 0)
    expect("bitmap header", (size, w, h, planes, bpp, comp), (40, 293, 303, 1, 24, 0))
    expect("bitmap resolution", (xppm, yppm), (3780, 3780))
    expect("bitmap palette", (used, important), (0, 0))
    if len(data) == 266680:
        check_picture(data, 40, "bitmap")


def check_icon(res):
    groups = [k for k in res if k[0] == RT_GROUP_ICON]
    expect("group icons", groups, [(RT_GROUP_ICON, IDS["IDI_APP"])])
    if (RT_GROUP_ICON, IDS["IDI_APP"]) not in res:
        return
    data = res[(RT_GROUP_ICON, IDS["IDI_APP"])][0][1]
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    expect("group icon header", (reserved, kind, count), (0, 1, 1))
    w, h, colours, _, planes, bits, size, icon_id = struct.unpack_from("<BBBBHHIH", data, 6)
    expect("icon entry", (w, h, colours, planes, bits, size, icon_id), (32, 32, 16, 1, 4, 744, 1))
    image = res.get((RT_ICON, 1))
    expect("icon image size", image and len(image[0][1]), 744)
    expect("icon images", sorted(k for k in res if k[0] == RT_ICON), [(RT_ICON, 1)])


def check_manifest(res):
    text = manifest(res)
    if not check(text, "manifest present"):
        return
    expect("requests administrator", execution_level(text), "requireAdministrator")
    expect("no DPI awareness", "dpiAware" in text, False)
    expect("classic controls (no Common-Controls 6)", "Microsoft.Windows.Common-Controls" in text, False)


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
    expect("machine", hex(pe.FILE_HEADER.Machine), hex(0x14C))
    expect("PE32", hex(pe.OPTIONAL_HEADER.Magic), hex(0x10B))
    expect("subsystem (GUI)", pe.OPTIONAL_HEADER.Subsystem, 2)
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


def main(path):
    pe = pefile.PE(path)
    check_image(pe)
    res = resources(pe)
    langs = {lang for key, entries in res.items() if key[0] != RT_VERSION for lang, _ in entries}
    expect("resource languages", langs, {0})
    check_version(pe, res)
    check_dialog(res)
    check_bitmap(res)
    check_icon(res)
    check_manifest(res)
    return finish(f"{path}: resources and image OK")


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
