#!/bin/bash
# Prints the sizes in bytes of the program, the map, the package and the same
# package without its files, as the build made them; by hand:
# cmake --build build/win --target size_report
# Usage: package/size-report.sh PROGRAM MAP PACKAGE EMPTY_PACKAGE
set -euo pipefail
[ $# = 4 ] || { sed -n '2,5p' "$0" >&2; exit 2; }
size() { stat -c %s -- "$1"; }
printf '%-38s %7s\n' \
    "${1##*/}" "$(size "$1")" \
    "map (${2##*/})" "$(size "$2")" \
    "package" "$(size "$3")" \
    "empty package (same script, no files)" "$(size "$4")"
