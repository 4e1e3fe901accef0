#!/usr/bin/python3
"""A map author's own release, end to end: the build of author.toml, signed
with a throwaway certificate, into WORK. Checks both signatures (and that a
changed byte breaks them), the checksum, the version information, the title
in the picture, and what check_exe.py and check_package.py check of any
build. The end-to-end package group then runs the signed package under Wine
(tests/e2e/tests.cmake).

Usage: release_test.py WORK PROGRAM   (WORK/dist: the program, file name
    PROGRAM, and the package; WORK/build/generated/credits.txt: the About text)
"""
import os
import shutil
import subprocess
import tomllib

import pefile
from PIL import Image, ImageDraw

import check_exe
import check_package
import make_artwork
import pe_files
from pe_files import ROOT, RT_BITMAP, check, expect, read, resources, version_tables
import picture_layout as L

TEXTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "author.toml")


def run(*cmd, **kw):
    return subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, **kw)


def make_certificate(folder):
    """A self-signed code-signing certificate; its password only in a file."""
    os.makedirs(folder)
    password = os.path.join(folder, "password")
    with open(os.open(password, os.O_WRONLY | os.O_CREAT, 0o600), "w") as f:
        f.write(os.urandom(12).hex() + "\n")
    key, cert, p12 = (os.path.join(folder, n) for n in ("key.pem", "cert.pem", "author.p12"))
    run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-sha256", "-days", "2", "-noenc",
        "-subj", "/CN=Test map author", "-addext", "extendedKeyUsage=codeSigning",
        "-keyout", key, "-out", cert, stderr=subprocess.DEVNULL)
    run("openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-out", p12,
        "-passout", "file:" + password)
    return p12, password, cert


def build(work, p12, password):
    env = dict(os.environ, SIGN_PKCS12=p12, SIGN_PASSWORD_FILE=password)
    env.pop("SIGN_PASSWORD", None)
    run("cmake", "-S", ROOT, "-B", f"{work}/build", "-DCMAKE_BUILD_TYPE=Release",
        f"-DCMAKE_TOOLCHAIN_FILE={ROOT}/cmake/mingw-i686.cmake",
        f"-DTEXTS_FILE={TEXTS}", f"-DDIST_DIR={work}/dist", env=env)
    run("cmake", "--build", f"{work}/build", "-j2", env=env)


def verifies(path, cert):
    r = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", path],
                       capture_output=True, text=True)
    return r.returncode == 0 and "Signature verification: ok" in r.stdout


def check_signed(path, cert, work):
    name = os.path.basename(path)
    check(verifies(path, cert), f"{name}: signature verifies")
    changed = os.path.join(work, "changed-" + name)
    data = bytearray(read(path))
    data[len(data) // 3] ^= 0x01   # inside the signed image, before the signature
    with open(changed, "wb") as f:
        f.write(data)
    check(not verifies(changed, cert), f"{name}: one byte changed after signing fails verification")


def shows(bitmap, text):
    """Does the picture's title band hold `text`, pixel for pixel as the
    title font draws it?"""
    mark = Image.new("RGB", (L.W * 2, 40))
    ImageDraw.Draw(mark).text((0, 10), text, font=make_artwork.TITLE, fill=(255, 255, 255))
    mark = mark.crop(mark.getbbox())
    picture = Image.frombuffer("RGB", (L.W, L.H), bitmap[40:], "raw", "BGR", L.STRIDE, -1)
    band = picture.crop((0, L.TITLE[0], L.W, L.TITLE[1] + 1))
    return any(band.crop((x, y, x + mark.width, y + mark.height)).tobytes() == mark.tobytes()
               for y in range(band.height - mark.height + 1)
               for x in range(band.width - mark.width + 1))


def main(work, name):
    work = os.path.abspath(work)
    texts = tomllib.loads(read(TEXTS).decode())
    shutil.rmtree(work, ignore_errors=True)
    p12, password, cert = make_certificate(os.path.join(work, "cert"))
    build(work, p12, password)
    dist = os.path.join(work, "dist")
    program = os.path.join(dist, name)
    package = os.path.join(dist, texts["release"]["package"])

    release, version = texts["release"], texts["release"]["version"] + ".0"
    want = {"FileDescription": release["description"], "ProductName": release["product"],
            "FileVersion": version, "ProductVersion": version, "LegalCopyright": release["copyright"]}
    for path in (program, package):
        check_signed(path, cert, work)
        got = {k: v for _, table in version_tables(pefile.PE(path)) for k, v in table.items()}
        expect(f"{os.path.basename(path)}: version information", got, want)
    # The package holds the signed program, and both pass the checks of a build.
    check_package.main(package, program, os.path.join(ROOT, "package", "sample", "Am01.dvp"),
                       os.path.join(ROOT, "resources", "installer.ico"))
    check_exe.main(program)
    r = subprocess.run(["sha256sum", "-c", os.path.basename(package) + ".sha256"], cwd=dist,
                       capture_output=True, text=True)
    check(r.returncode == 0 and r.stdout.strip().endswith(": OK"), "sha256sum -c accepts the checksum")

    bitmap = resources(pefile.PE(program))[(RT_BITMAP, "IDB_BITMAP1")][0][1]
    check(shows(bitmap, texts["map"]["title"]), "the title is drawn in the title band")
    check(not shows(bitmap, "Písečná brána"), "the sample's title is not")
    return "release: all checks passed"


if __name__ == "__main__":
    pe_files.run(main, __doc__, 2)
