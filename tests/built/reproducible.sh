#!/bin/bash
# Builds the program a second time in another tree and compares the bytes
# with dist/: no timestamps or build paths may leak into the image.
set -euo pipefail
src=$1 dist=$2
tmp=$(mktemp -d -t repro-XXXXXX)
trap 'rm -rf "$tmp"' EXIT
# The sources as git sees them (tracked, and new files not ignored): not
# build/, which holds gigabytes of Wine prefixes. Another path, fresh times.
mkdir "$tmp/src"
git -C "$src" ls-files -z --cached --others --exclude-standard |
    (cd "$src" && while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done) |
    tar -C "$src" --null -T - -cf - | tar -C "$tmp/src" -xf -
find "$tmp/src" -exec touch -d '2001-02-03 04:05:06' {} +
cmake -S "$tmp/src" -B "$tmp/build" -DCMAKE_TOOLCHAIN_FILE="$tmp/src/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DDIST_DIR="$tmp/dist" >/dev/null
cmake --build "$tmp/build" --target installer -j"$(nproc)" >/dev/null
cmp "$dist/instalator.exe" "$tmp/dist/instalator.exe"
echo "instalator.exe: $(stat -c %s "$dist/instalator.exe") bytes, identical across builds"
