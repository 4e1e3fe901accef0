#!/bin/bash
# Installs the Debian packages a step needs, only when some are missing.
#   tools/deps.sh build   the Windows program and the package
#   tools/deps.sh test    the host tests and the checks on the program
#   tools/deps.sh art     regenerating the artwork
#   tools/deps.sh shot    the screenshot under Xvfb
set -euo pipefail

build_pkgs=(cmake make g++-mingw-w64-i686 nsis python3 python3-pil fonts-dejavu-core fonts-dejavu-extra)
test_pkgs=(cmake make g++ libgtest-dev python3 python3-pefile nsis p7zip-full clang libclang-rt-14-dev osslsigncode openssl)
art_pkgs=(python3 python3-pil fonts-dejavu-core fonts-dejavu-extra)
shot_pkgs=(xvfb imagemagick xdotool)

case "${1:-}" in
build) want=("${build_pkgs[@]}") ;;
test) want=("${test_pkgs[@]}") ;;
art) want=("${art_pkgs[@]}") ;;
shot) want=("${shot_pkgs[@]}") ;;
*) echo "usage: $0 build|test|art|shot" >&2; exit 2 ;;
esac

missing=()
for p in "${want[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo
echo "installing: ${missing[*]}" >&2
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
