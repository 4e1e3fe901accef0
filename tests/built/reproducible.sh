#!/bin/bash
# Builds the program and the package a second time in another tree, from a
# copy of the sources with other file times, and compares the bytes: no
# timestamps or build paths may leak into either.
# Usage: reproducible.sh SOURCE_DIR PROGRAM PACKAGE
set -euo pipefail
src=$1 program=$2 package=$3
tmp=$(mktemp -d -t repro-XXXXXX)
trap 'rm -rf "$tmp"' EXIT
# The sources as git sees them (tracked, and new files not ignored): not
# build/, which holds gigabytes of Wine prefixes.
mkdir "$tmp/src"
git -C "$src" ls-files -z --cached --others --exclude-standard |
    (cd "$src" && while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done) |
    tar -C "$src" --null -T - -cf - | tar -C "$tmp/src" -xf -
find "$tmp/src" -exec touch -d '2001-02-03 04:05:06' {} +
# Unsigned, as signing stamps each signature anew.
env -u SIGN_PKCS12 cmake -S "$tmp/src" -B "$tmp/build" -DCMAKE_TOOLCHAIN_FILE="$tmp/src/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
env -u SIGN_PKCS12 cmake --build "$tmp/build" --target map_package -j"$(nproc)" >/dev/null
for f in "$program" "$package"; do
    cmp "$f" "$tmp/build/$([ "$f" = "$program" ] || echo package/)$(basename "$f")"
    echo "$(basename "$f"): $(stat -c %s "$f") bytes, identical across builds"
done
