#!/bin/bash
# Remakes the reference pictures after a change to the picture or the dialog:
#   tests/built/default-picture.png   the picture of texts.toml (check_built.py default_texts compares with it)
#   docs/author-picture.png           the picture of tests/release/author.toml
#   docs/screenshot.png               the dialog at 96 DPI   } the program ./build.sh makes
#   docs/screenshot-120.png           the dialog at 120 DPI  } of texts.toml, under Wine
# The pictures are drawn as this Debian's Pillow and FreeType draw them (the
# references are Debian 12's). The screenshots take minutes each under
# emulated Wine.
#
# Usage: testbed/remake-pictures.sh
set -euo pipefail
cd "$(dirname "$0")/.."
[ $# -eq 0 ] || { sed -n '11p' "$0" | sed 's/^# //' >&2; exit 2; }

picture() {   # TEXTS PNG
    PYTHONPATH=author /usr/bin/python3 -c '
import io, sys
from PIL import Image
import make_artwork, texts
Image.open(io.BytesIO(make_artwork.make_bmp(texts.load_or_exit(sys.argv[1])))).save(sys.argv[2])
' "$1" "$2"
    echo "wrote $2" >&2
}
picture texts.toml tests/built/default-picture.png
picture tests/release/author.toml docs/author-picture.png

./build.sh   # the sample map with texts.toml, the program the screenshots show
program=
# shellcheck source=/dev/null
. build/win/built-files.sh
testbed/screenshot.sh --dpi 96 "$program" docs/screenshot.png
testbed/screenshot.sh --dpi 120 "$program" docs/screenshot-120.png
