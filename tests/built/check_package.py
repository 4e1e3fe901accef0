#!/usr/bin/python3
"""Checks the built package without running it.

Usage: check_package.py build/win/package/package-inputs.txt

The inputs file is written by package/CMakeLists.txt and names the package,
the program, the map, the icon, the script and the makensis command line.
Needs python3-pefile, p7zip-full and nsis.
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

import pefile

RT_ICON = pefile.RESOURCE_TYPE['RT_ICON']
RT_GROUP_ICON = pefile.RESOURCE_TYPE['RT_GROUP_ICON']
RT_MANIFEST = pefile.RESOURCE_TYPE['RT_MANIFEST']

failures = []


def check(ok, what):
    print(('ok:   ' if ok else 'FAIL: ') + what)
    if not ok:
        failures.append(what)
    return ok


def read_inputs(path):
    inputs = {}
    with open(path, encoding='utf-8') as f:
        for line in f:
            key, sep, value = line.rstrip('\n').partition('=')
            if sep:
                inputs[key] = value
    return inputs


def read_bytes(path):
    with open(path, 'rb') as f:
        return f.read()


def ico_image(ico, width, height):
    """The image bytes of one size from a .ico file (0 in the entry = 256)."""
    count = struct.unpack_from('<HHH', ico)[2]
    for i in range(count):
        w, h, _, _, _, _, size, offset = struct.unpack_from('<BBBBHHII', ico, 6 + 16 * i)
        if (w or 256, h or 256) == (width, height):
            return ico[offset:offset + size]
    return None


def resources(pe, type_id):
    """{name or id: data} of one resource type, first language of each."""
    found = {}
    if not hasattr(pe, 'DIRECTORY_ENTRY_RESOURCE'):
        return found
    for rtype in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if rtype.id != type_id:
            continue
        for entry in rtype.directory.entries:
            lang = entry.directory.entries[0]
            found[entry.id] = pe.get_data(lang.data.struct.OffsetToData, lang.data.struct.Size)
    return found


def pe_icon_image(pe, width, height):
    icons = resources(pe, RT_ICON)
    for group in resources(pe, RT_GROUP_ICON).values():
        count = struct.unpack_from('<HHH', group)[2]
        for i in range(count):
            w, h, _, _, _, _, _, icon_id = struct.unpack_from('<BBBBHHIH', group, 6 + 14 * i)
            if (w or 256, h or 256) == (width, height):
                return icons.get(icon_id)
    return None


def execution_level(pe):
    for manifest in resources(pe, RT_MANIFEST).values():
        for element in ET.fromstring(manifest).iter():
            if element.tag.endswith('}requestedExecutionLevel'):
                return element.get('level')
    return None


def check_pe(inputs):
    pe = pefile.PE(inputs['PACKAGE'])
    check(pe.FILE_HEADER.Machine == pefile.MACHINE_TYPE['IMAGE_FILE_MACHINE_I386']
          and pe.OPTIONAL_HEADER.Magic == pefile.OPTIONAL_HEADER_MAGIC_PE
          and pe.OPTIONAL_HEADER.Subsystem == pefile.SUBSYSTEM_TYPE['IMAGE_SUBSYSTEM_WINDOWS_GUI'],
          'PE32 i386 GUI program')
    wanted = ico_image(read_bytes(inputs['ICON']), 32, 32)
    check(wanted is not None and pe_icon_image(pe, 32, 32) == wanted,
          "32x32 icon is the program's icon")
    check(execution_level(pe) == 'requireAdministrator', 'manifest requests administrator')


def check_contents(inputs, work):
    seven_zip = shutil.which('7z')
    if not check(seven_zip is not None, '7z found (package p7zip-full)'):
        return
    out = os.path.join(work, 'extracted')
    subprocess.run([seven_zip, 'x', '-y', '-bd', '-o' + out, inputs['PACKAGE']],
                   check=True, stdout=subprocess.DEVNULL)
    files = sorted(os.path.relpath(os.path.join(d, n), out)
                   for d, _, names in os.walk(out) for n in names)
    expected = {'$PLUGINSDIR/instalator.exe': inputs['INSTALLER'],
                '$PLUGINSDIR/Am01.dvp': inputs['MAP_FILE']}
    check(files == sorted(expected), 'holds exactly instalator.exe and Am01.dvp: %s' % files)
    for name, original in expected.items():
        path = os.path.join(out, name)
        check(os.path.isfile(path) and read_bytes(path) == read_bytes(original),
              '%s is byte-identical to %s' % (os.path.basename(name), original))


def check_reproducible(inputs, work):
    """Two builds from copies of the inputs, with other paths and file times,
    must match each other and the built package."""
    def build(tag, mtime):
        folder = os.path.join(work, tag)
        os.mkdir(folder)
        copies = {}
        for key in ('INSTALLER', 'MAP_STAGED', 'ICON', 'RELEASE'):
            copies[key] = shutil.copy(inputs[key], os.path.join(folder, os.path.basename(inputs[key])))
            os.utime(copies[key], (mtime, mtime))
        output = os.path.join(folder, 'package.exe')
        subprocess.run([inputs['MAKENSIS'], *inputs['MAKENSIS_FLAGS'].split(),
                        '-DINSTALLER=' + copies['INSTALLER'], '-DMAP=' + copies['MAP_STAGED'],
                        '-DICON=' + copies['ICON'], '-DRELEASE=' + copies['RELEASE'],
                        '-DOUTFILE=' + output, inputs['SCRIPT']],
                       check=True, stdout=subprocess.DEVNULL)
        return read_bytes(output)

    first = build('first', 1_000_000_000)
    second = build('second', 2_000_000_000)
    check(first == second, 'two builds from the same inputs are identical')
    check(first == read_bytes(inputs['PACKAGE']), 'the built package matches a fresh build (not stale)')


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    inputs = read_inputs(sys.argv[1])
    if not check(os.path.isfile(inputs['PACKAGE']), 'package exists: ' + inputs['PACKAGE']):
        sys.exit(1)
    check_pe(inputs)
    with tempfile.TemporaryDirectory(prefix='check_package.') as work:
        check_contents(inputs, work)
        check_reproducible(inputs, work)
    print('package: all checks passed' if not failures else
          'package: %d check(s) failed' % len(failures))
    sys.exit(1 if failures else 0)


if __name__ == '__main__':
    main()
