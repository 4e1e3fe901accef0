#!/bin/bash
# Builds the program a second time in another tree and compares the bytes
# with dist/: no timestamps or build paths may leak into the image.
set -euo pipefail
src=$1 dist=$2
tmp=$(mktemp -d /tmp/repro-XXXXXX)
trap 'rm -rf "$tmp"' EXIT
# Another path for the sources too, and fresh file times.
cp -a "$src/." "$tmp/src"
rm -rf "$tmp/src/build" "$tmp/src/dist"
find "$tmp/src" -exec touch -d '2001-02-03 04:05:06' {} +
cmake -S "$tmp/src" -B "$tmp/build" -DCMAKE_TOOLCHAIN_FILE="$tmp/src/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DDIST_DIR="$tmp/dist" >/dev/null
cmake --build "$tmp/build" --target installer -j"$(nproc)" >/dev/null
cmp "$dist/instalator.exe" "$tmp/dist/instalator.exe"
echo "instalator.exe: $(stat -c %s "$dist/instalator.exe") bytes, identical across builds"
