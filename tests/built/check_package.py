#!/usr/bin/python3
"""Checks the built package without running it.

Usage: check_package.py PACKAGE PROGRAM MAP ICON

Needs python3-pefile and p7zip-full. That the same sources give the same
bytes is tests/built/reproducible.sh's to check.
"""
import os
import shutil
import subprocess
import tempfile

import pefile

from pe_files import RT_GROUP_ICON, check, execution_level, icon_images, manifest, read, resources, run


def check_pe(package, icon):
    pe = pefile.PE(package)
    check(pe.FILE_HEADER.Machine == pefile.MACHINE_TYPE['IMAGE_FILE_MACHINE_I386']
          and pe.OPTIONAL_HEADER.Magic == pefile.OPTIONAL_HEADER_MAGIC_PE
          and pe.OPTIONAL_HEADER.Subsystem == pefile.SUBSYSTEM_TYPE['IMAGE_SUBSYSTEM_WINDOWS_GUI'],
          'PE32 i386 GUI program')
    res = resources(pe)
    wanted = icon_images(read(icon)).get((32, 32))
    groups = [icon_images(e[0][1], res) for (kind, _), e in res.items() if kind == RT_GROUP_ICON]
    check(wanted is not None and next((g[32, 32] for g in groups if (32, 32) in g), None) == wanted,
          "32x32 icon is the program's icon")
    text = manifest(res)
    check(text and execution_level(text) == 'requireAdministrator', 'manifest requests administrator')


def check_contents(package, program, map_file):
    seven_zip = shutil.which('7z')
    if not check(seven_zip is not None, '7z found (package p7zip-full)'):
        return
    with tempfile.TemporaryDirectory(prefix='check_package.') as out:
        subprocess.run([seven_zip, 'x', '-y', '-bd', '-o' + out, package],
                       check=True, stdout=subprocess.DEVNULL)
        files = sorted(os.path.relpath(os.path.join(d, n), out)
                       for d, _, names in os.walk(out) for n in names)
        # The program and the map in the one folder the package runs the
        # program in (7-Zip names it after the script's variable), and nothing else.
        folder = next((os.path.dirname(f) for f in files if f.endswith('Am01.dvp')), '')
        expected = {os.path.join(folder, os.path.basename(program)): program,
                    os.path.join(folder, 'Am01.dvp'): map_file}
        check(files == sorted(expected), 'holds exactly the program and Am01.dvp: %s' % files)
        for name, original in expected.items():
            path = os.path.join(out, name)
            check(os.path.isfile(path) and read(path) == read(original),
                  '%s is byte-identical to %s' % (os.path.basename(name), original))


def main(package, program, map_file, icon):
    check_pe(package, icon)
    check_contents(package, program, map_file)
    return 'package: all checks passed'


if __name__ == '__main__':
    run(main, __doc__, 4)
