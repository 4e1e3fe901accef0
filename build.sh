#!/bin/bash
# Builds the product into dist/: the installer program, the single-file
# package and its checksum, from a map and the map author's texts file.
#
# Usage: ./build.sh [MAP_FILE [TEXTS_FILE]]
#        ./build.sh [--map MAP_FILE] [--texts TEXTS_FILE]
#   MAP_FILE     default: the bundled sample map, package/sample/Am01.dvp
#   TEXTS_FILE   default: texts.toml (see README.md, "For map authors")
# Signing: set SIGN_PKCS12 (and SIGN_PASSWORD_FILE or SIGN_PASSWORD, and
# optionally SIGN_TIMESTAMP_URL); see package/seal.sh.
set -euo pipefail
cd "$(dirname "$0")"

usage() { sed -n '5,10p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
map= texts=
positional=()
while [ $# -gt 0 ]; do
    case $1 in
    --map) [ $# -ge 2 ] || usage; map=$2; shift 2 ;;
    --texts) [ $# -ge 2 ] || usage; texts=$2; shift 2 ;;
    -h|--help) usage ;;
    -*) usage ;;
    *) positional+=("$1"); shift ;;
    esac
done
[ ${#positional[@]} -le 2 ] || usage
map=${map:-${positional[0]:-}}
texts=${texts:-${positional[1]:-texts.toml}}

# No map: the sample map, not whatever an earlier build was given.
map_args=(-UMAP_FILE)
[ -z "$map" ] || map_args=(-DMAP_FILE="$(realpath -m -- "$map")")
texts=$(realpath -m -- "$texts")

tools/setup.sh build
# The texts first: one line per problem, before anything is built.
/usr/bin/python3 tools/texts.py check "$texts"
# dist/ holds this build's files only: no package of an earlier name, and
# signing (or not) is redone.
rm -rf dist
cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
    -DCMAKE_BUILD_TYPE=Release "${map_args[@]}" -DTEXTS_FILE="$texts" >/dev/null
cmake --build build/win -j"$(nproc)"
ls -l dist/
