#!/usr/bin/python3
"""A map author's own release, end to end: ./build.sh run from the author's
folder with relative paths, on author.toml as Notepad saves it, signed with a
throwaway certificate, into WORK. First a wrong password must stop it before
it builds, with the package of before gone; then a map of other content but
an older date must be packed, and the same build again not. Checks both signatures (and that
a changed byte breaks them), the checksum, that dist/ holds just the two
files to publish, the version information, the title in the picture, and
what check_built.py checks of any program and package. The end-to-end
package group then runs the signed package under Wine (tests/e2e/tests.cmake).

Usage: release_test.py WORK PROGRAM   (WORK/build: the program, file name
    PROGRAM, and generated/credits.txt, the About text; WORK/dist: the package)
"""
import os
import shutil
import subprocess
import tomllib

import pefile
from PIL import Image, ImageDraw

import check_built
import make_artwork
import messages
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


def author_folder(work):
    """The author's own folder, with a space and Czech letters in its name:
    the map, the texts and the password as Notepad saves them (a byte-order
    mark, CRLF), the certificate."""
    folder = os.path.join(work, "Moje mapy Jiří")
    p12, password, _ = make_certificate(os.path.join(folder, "podpis"))
    shutil.copy(os.path.join(ROOT, "package", "sample", "Am01.dvp"), folder)
    for path, data in (("moje-mapa.toml", read(TEXTS)), ("podpis/heslo.txt", read(password).strip()),
                       ("podpis/spatne-heslo.txt", b"heslo")):
        with open(os.path.join(folder, path), "wb") as f:
            f.write(b"\xef\xbb\xbf" + data.replace(b"\n", b"\r\n") + b"\r\n")


def build(work, password):
    """./build.sh from the author's folder, with its relative paths, signed:
    (exit status, what it said)."""
    env = {k: v for k, v in os.environ.items() if not k.startswith(("LANG", "LC_", "SIGN_"))}
    env.update(BUILD_DIR=f"{work}/build", DIST_DIR=f"{work}/dist", SIGN_PKCS12="podpis/author.p12",
               SIGN_PASSWORD_FILE=password)
    r = subprocess.run([os.path.join(ROOT, "build.sh"), "Am01.dvp", "moje-mapa.toml"], env=env,
                       cwd=os.path.join(work, "Moje mapy Jiří"), capture_output=True, text=True)
    return r.returncode, r.stdout + r.stderr


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
    author_folder(work)
    cert = os.path.join(work, "Moje mapy Jiří", "podpis", "cert.pem")
    dist = os.path.join(work, "dist")
    program = os.path.join(work, "build", name)
    package = os.path.join(dist, texts["release"]["package"])

    os.makedirs(dist)
    open(package, "wb").close()   # an earlier build's
    status, said = build(work, "podpis/spatne-heslo.txt")
    wrong = messages.text("sign_cannot_open", "cs", file="podpis/author.p12",
                          password=messages.text("password_from_file", "cs", file="podpis/spatne-heslo.txt"))
    check(status == 1 and wrong in said, f"a wrong password is named: {said}")
    check(not os.path.exists(os.path.join(work, "build")), "a wrong password stops the build before it builds")
    check(not os.path.exists(package), "a stopped build leaves no package in dist/")
    # Packed when the map's content changes, though its date goes back, and
    # only then.
    packed = os.path.join(work, "build", "package", os.path.basename(package))
    folder_map = os.path.join(work, "Moje mapy Jiří", "Am01.dvp")
    times = []
    for change in (b"another map", b"", None):
        if change is not None:
            shutil.copy(os.path.join(ROOT, "package", "sample", "Am01.dvp"), folder_map)
            with open(folder_map, "ab") as f:
                f.write(change)
            os.utime(folder_map, (0, 0))
        status, said = build(work, "podpis/heslo.txt")
        check(status == 0, f"./build.sh from the author's folder: {said}")
        times.append(os.stat(packed).st_mtime_ns)
    check(times[0] != times[1], "an older map of other content is packed")
    check(times[1] == times[2], "built again unchanged, it is not packed again")
    expect("dist/", sorted(os.listdir(dist)), [os.path.basename(package), os.path.basename(package) + ".sha256"])

    release, version = texts["release"], texts["release"]["version"] + ".0"
    want = {"FileDescription": release["description"], "ProductName": release["product"],
            "FileVersion": version, "ProductVersion": version, "LegalCopyright": release["copyright"]}
    for path in (program, package):
        check_signed(path, cert, work)
        got = {k: v for _, table in version_tables(pefile.PE(path)) for k, v in table.items()}
        expect(f"{os.path.basename(path)}: version information", got, want)
    # The package holds the signed program, and both pass the checks of a build.
    check_built.check_package(package, program, os.path.join(ROOT, "package", "sample", "Am01.dvp"),
                              os.path.join(ROOT, "resources", "installer.ico"))
    check_built.check_program(program)
    r = subprocess.run(["sha256sum", "-c", os.path.basename(package) + ".sha256"], cwd=dist,
                       capture_output=True, text=True)
    check(r.returncode == 0 and r.stdout.strip().endswith(": OK"), "sha256sum -c accepts the checksum")

    bitmap = resources(pefile.PE(program))[(RT_BITMAP, "IDB_BITMAP1")][0][1]
    check(shows(bitmap, texts["map"]["title"]), "the title is drawn in the title band")
    check(not shows(bitmap, "Písečná brána"), "the sample's title is not")
    return "release: all checks passed"


if __name__ == "__main__":
    pe_files.run(main, __doc__, 2)
