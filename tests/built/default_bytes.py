#!/usr/bin/python3
"""The repository's own texts file gives the program of before the texts file
existed: the same picture and credits, and the same dialog, icon and manifest
in the built program. Only the version resource is new.

Usage: default_bytes.py INSTALLER_EXE   (built from texts.toml)
"""
import hashlib
import os
import subprocess
import sys
import tempfile

import pefile

from pe_files import (IDS, RT_BITMAP, RT_DIALOG, RT_GROUP_ICON, RT_ICON, RT_MANIFEST, RT_VERSION, check,
                      finish, resources)

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))

# SHA-256 of the bytes shipped before: resources/installer.bmp, g_szCredits
# (Windows-1250, without its NUL), and the program's resources by (type, name).
PICTURE = "69d5270b3b39a6c01d976c7eda34e876b8548b3aeea9a550931f34d48515cd98"
CREDITS = "d5fb144d600885fa864283bee39c316643d87b2d9590b5d5d172a8c035bacd80"
RESOURCES = {
    (RT_BITMAP, "IDB_BITMAP1"): "7d61abe4d5de230268b3548de58e8ab8b8318d5b434a4a19bdc9e5bb1d7c8a77",
    (RT_ICON, 1): "f539d6fec2b0429b9d9f2b2f2641401439685891f4eae8dfb5a40f1768299c06",
    (RT_DIALOG, IDS["IDD_MAIN"]): "c5ab7eba8a04a7072f150c6dd3bcccf8a99781aac2545024c073a1f2c00d48bf",
    (RT_GROUP_ICON, IDS["IDI_APP"]): "a0c9d012e2bf6b2fe05c2d97cb5594d97cf2f539e97935c12abd7a3562f4d9bf",
    (RT_MANIFEST, 1): "311e0b5b57a86cd55a983b01385cb7a9b793f2fef90489797a47f21fb8911d36",
}


def sha(data):
    return hashlib.sha256(data).hexdigest()


def main(exe):
    with tempfile.TemporaryDirectory() as tmp:
        tool = [sys.executable, os.path.join(ROOT, "tools", "texts.py")]
        texts = os.path.join(ROOT, "texts.toml")
        subprocess.run(tool + ["picture", texts, f"{tmp}/p.bmp"], check=True)
        subprocess.run(tool + ["credits", texts, f"{tmp}/c.cpp", f"{tmp}/c.txt"], check=True)
        with open(f"{tmp}/p.bmp", "rb") as f:
            picture = f.read()
        with open(f"{tmp}/c.txt", encoding="utf-8") as f:
            credits = f.read().encode("cp1250")
    check(sha(picture) == PICTURE, "the picture from texts.toml is the one shipped before")
    check(sha(credits) == CREDITS, "the credits from texts.toml are the ones shipped before")

    pe = pefile.PE(exe)
    res = resources(pe)
    for key, want in RESOURCES.items():
        check([sha(data) for _, data in res.get(key, [])] == [want], f"resource {key} unchanged")
    extra = sorted(set(res) - set(RESOURCES) - {(RT_VERSION, 1)}, key=str)
    check(not extra, f"no resources added besides the version: {extra}")
    check(pe.__data__.find(credits + b"\0") >= 0, "the program holds the credits")
    return finish("default texts: picture, credits and resources as before")

if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1]))
