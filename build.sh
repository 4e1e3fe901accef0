#!/bin/bash
# Builds the product into dist/: the installer program and the single-file
# package. Usage: ./build.sh [MAP_FILE]   (default: the bundled sample map)
set -euo pipefail
cd "$(dirname "$0")"

# No argument: the sample map, not whatever an earlier build was given.
map_args=(-UMAP_FILE)
if [ $# -ge 1 ]; then
    map_args=(-DMAP_FILE="$(realpath -m -- "$1")")
fi

tools/setup.sh build
cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
    -DCMAKE_BUILD_TYPE=Release "${map_args[@]}" >/dev/null
cmake --build build/win -j"$(nproc)"
ls -l dist/
