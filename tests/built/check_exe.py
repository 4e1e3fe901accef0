#!/usr/bin/python3
"""Checks the built installer program: the resources a wrong build gets
wrong (dialog template, picture, icon, manifest) and the PE image itself."""
import hashlib

import pefile

from pe_files import (IDS, RT_BITMAP, RT_DIALOG, RT_GROUP_ICON, RT_ICON, RT_VERSION, Control, Dialog,
                      check, check_icon, check_picture, expect, manifest, parse_dialog, resources, run,
                      version_tables)

LANG_CZECH = 0x405
VERSION_KEYS = {"FileDescription", "ProductName", "FileVersion", "ProductVersion", "LegalCopyright"}
ALLOWED_DLLS = {"kernel32.dll", "user32.dll", "advapi32.dll", "gdi32.dll", "msvcrt.dll"}
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


def check_bitmap(res):
    entries = res.get((RT_BITMAP, "IDB_BITMAP1"))
    if check(entries, "bitmap named IDB_BITMAP1 present"):
        check_picture(entries[0][1], 40, "bitmap")


def check_icon_resources(res):
    group = (RT_GROUP_ICON, IDS["IDI_APP"])
    expect("group icons", [k for k in res if k[0] == RT_GROUP_ICON], [group])
    expect("icon images", sorted(k for k in res if k[0] == RT_ICON), [(RT_ICON, 1)])
    if group in res and (RT_ICON, 1) in res:
        check_icon(res[group][0][1], True, res[(RT_ICON, 1)][0][1], "icon")


def check_manifest(res):
    text = manifest(res)
    if check(text, "manifest present"):
        expect("manifest's SHA-256", hashlib.sha256(text.encode("utf-8")).hexdigest(), MANIFEST)


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
    check_icon_resources(res)
    check_manifest(res)
    return f"{path}: resources and image OK"


if __name__ == "__main__":
    run(main, "Usage: check_exe.py PROGRAM", 1)
