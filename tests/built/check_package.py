#!/usr/bin/python3
"""Checks the built package without running it.

Usage: check_package.py build/win/package/package-inputs.txt

The inputs file is written by package/CMakeLists.txt and names the package,
the program, the map, the icon, the script and the makensis command line.
Needs python3-pefile, p7zip-full and nsis.
"""
import os
import shutil
import subprocess
import sys
import tempfile

import pefile

from pe_files import check, execution_level, finish, ico_image, manifest, pe_icon_image, resources


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


def check_pe(inputs):
    pe = pefile.PE(inputs['PACKAGE'])
    check(pe.FILE_HEADER.Machine == pefile.MACHINE_TYPE['IMAGE_FILE_MACHINE_I386']
          and pe.OPTIONAL_HEADER.Magic == pefile.OPTIONAL_HEADER_MAGIC_PE
          and pe.OPTIONAL_HEADER.Subsystem == pefile.SUBSYSTEM_TYPE['IMAGE_SUBSYSTEM_WINDOWS_GUI'],
          'PE32 i386 GUI program')
    res = resources(pe)
    wanted = ico_image(read_bytes(inputs['ICON']), 32, 32)
    check(wanted is not None and pe_icon_image(res, 32, 32) == wanted,
          "32x32 icon is the program's icon")
    text = manifest(res)
    check(text and execution_level(text) == 'requireAdministrator', 'manifest requests administrator')


def check_contents(inputs, work):
    seven_zip = shutil.which('7z')
    if not check(seven_zip is not None, '7z found (package p7zip-full)'):
        return
    out = os.path.join(work, 'extracted')
    subprocess.run([seven_zip, 'x', '-y', '-bd', '-o' + out, inputs['PACKAGE']],
                   check=True, stdout=subprocess.DEVNULL)
    files = sorted(os.path.relpath(os.path.join(d, n), out)
                   for d, _, names in os.walk(out) for n in names)
    # Both in the one folder the package runs the program in (7-Zip names it
    # after the script's variable).
    folder = os.path.dirname(files[0]) if files else ''
    expected = {os.path.join(folder, 'instalator.exe'): inputs['INSTALLER'],
                os.path.join(folder, 'Am01.dvp'): inputs['MAP_FILE']}
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
    sys.exit(finish('package: all checks passed'))


if __name__ == '__main__':
    main()
