#!/bin/bash
# Builds the package and the same package without its files (-DNO_FILES) into
# a temporary folder and prints their sizes in bytes. Run ./build.sh first.
# Usage: package/size-report.sh [build/win/package/package-inputs.txt]
set -euo pipefail
cd "$(dirname "$0")/.."

inputs_file=${1:-build/win/package/package-inputs.txt}
[ -f "$inputs_file" ] || { echo "no $inputs_file: run ./build.sh first" >&2; exit 1; }
declare -A in
while IFS='=' read -r key value; do in[$key]=$value; done <"$inputs_file"

work=$(mktemp -d)
trap 'rm -rf -- "$work"' EXIT

# Word-splitting the flags is intended: they hold no spaces.
# shellcheck disable=SC2086
nsis() { "${in[MAKENSIS]}" ${in[MAKENSIS_FLAGS]} -DICON="${in[ICON]}" -DRELEASE="${in[RELEASE]}" "$@" "${in[SCRIPT]}" >/dev/null; }
nsis -DINSTALLER="${in[INSTALLER]}" -DMAP="${in[MAP_STAGED]}" -DOUTFILE="$work/full.exe"
nsis -DNO_FILES -DOUTFILE="$work/empty.exe"

size() { stat -c %s -- "$1"; }
printf '%-38s %7s\n' \
    "instalator.exe" "$(size "${in[INSTALLER]}")" \
    "map (${in[MAP_FILE]##*/})" "$(size "${in[MAP_STAGED]}")" \
    "package" "$(size "$work/full.exe")" \
    "empty package (same script, no files)" "$(size "$work/empty.exe")"
