#!/bin/bash
# Builds a release for players into dist/: the single-file package and its
# checksum, from the map author's map and texts file. Everything checked
# first, every problem at once; then a quiet build, and a summary of what to
# publish. What it says comes from author/messages.tsv, in Czech unless the
# locale asks for English.
#
# Usage: ./build.sh MAP_FILE TEXTS_FILE
#        ./build.sh --map MAP_FILE --texts TEXTS_FILE
#        ./build.sh                 the project's sample: its test map, texts.toml
#        ./build.sh --preview [TEXTS_FILE]
#                                   only the preview: the picture with its
#                                   buttons and the About box, as a PNG
# Paths are taken from the folder the command runs in.
# Signing: SIGN_PKCS12 (and SIGN_PASSWORD_FILE or SIGN_PASSWORD, and
# optionally SIGN_TIMESTAMP_URL); see author/seal.sh.
# BUILD_DIR and DIST_DIR build elsewhere than build/win and dist/ (tests).
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
source "$root/author/messages.sh"
build=$(realpath -m -- "${BUILD_DIR:-$root/build/win}")
dist=$(realpath -m -- "${DIST_DIR:-$root/dist}")

usage() { { msg usage; msg usage_sample; msg usage_preview; } >&2; exit 2; }
map= texts= preview_only=
positional=()
while [ $# -gt 0 ]; do
    case $1 in
    --preview) preview_only=1; shift ;;
    --map) [ $# -ge 2 ] || usage; map=$2; shift 2 ;;
    --texts) [ $# -ge 2 ] || usage; texts=$2; shift 2 ;;
    -h | --help) usage ;;
    -*) usage ;;
    *) positional+=("$1"); shift ;;
    esac
done
if [ -n "$preview_only" ]; then
    [ -z "$map" ] && [ ${#positional[@]} -le 1 ] || usage
    texts=${texts:-${positional[0]:-}}
else
    [ ${#positional[@]} -le 2 ] || usage
    map=${map:-${positional[0]:-}}
    texts=${texts:-${positional[1]:-}}
fi

problems=()
sample=
if [ -n "$preview_only" ]; then
    [ -n "$texts" ] || { texts=$root/texts.toml; msg preview_sample; }
elif [ -z "$map$texts" ]; then
    sample=1
    msg sample
    map=$root/package/sample/Am01.dvp texts=$root/texts.toml
elif [ -z "$texts" ]; then
    problems+=("$(msg no_texts map="$map" sample="$root/texts.toml")")
elif [ -z "$map" ]; then
    problems+=("$(msg no_map texts="$texts")")
fi

# A file the author named, as they typed it: one problem line, or none.
file_problem() {
    local name=$1 kind=${2:-} drive rest
    if [[ $name =~ ^([A-Za-z]):[\\/](.*)$ ]]; then
        drive=${BASH_REMATCH[1]} rest=${BASH_REMATCH[2]}
        msg windows_path file="$name" wsl="/mnt/${drive,,}/${rest//\\//}"
    elif [ ! -e "$name" ]; then
        msg file_missing file="$name" cwd="$PWD"
    elif [ -d "$name" ]; then
        msg file_is_folder file="$name"
    elif [ ! -r "$name" ]; then
        msg file_no_access file="$name"
    elif ! head -c1 -- "$name" >/dev/null 2>&1; then
        msg file_unreadable file="$name" reason="$(head -c1 -- "$name" 2>&1 >/dev/null | sed 's/.*: //')"
    elif [ "$kind" = map ] && [ ! -s "$name" ]; then
        msg map_empty file="$name"
    fi
}
# Its line, if any, among the problems; false when there was one.
add_problem() {
    local p
    p=$("$@")
    [ -z "$p" ] || { problems+=("$p"); return 1; }
}

[ -z "$map" ] || add_problem file_problem "$map" map || true
texts_ok=
if [ -n "$texts" ] && add_problem file_problem "$texts"; then texts_ok=1; fi
sign_files_ok=
if [ -n "${SIGN_PKCS12:-}" ]; then
    sign_files_ok=1
    for f in "$SIGN_PKCS12" ${SIGN_PASSWORD_FILE:+"$SIGN_PASSWORD_FILE"}; do
        add_problem file_problem "$f" || sign_files_ok=
    done
    if [ -z "${SIGN_PASSWORD_FILE:-}" ] && [ -z "${SIGN_PASSWORD+set}" ]; then
        problems+=("$(msg sign_no_password file="$SIGN_PKCS12")")
        sign_files_ok=
    fi
fi

# Nothing of an earlier build stays to be published by mistake.
[ -n "$preview_only" ] || rm -rf -- "$dist"

stop() {
    printf '%s\n' "${problems[@]}" >&2
    if [ -n "$preview_only" ]; then msg preview_stopped >&2; else msg stopped >&2; fi
    exit 1
}
"$root/testbed/setup.sh" build || { msg stopped >&2; exit 1; }

# The texts, every problem, named as the author typed the file.
if [ -n "$texts_ok" ]; then
    out=$(/usr/bin/python3 "$root/author/texts.py" check "$texts" 2>&1) || mapfile -t -O ${#problems[@]} problems <<<"$out"
fi

# The password in a private file of our own, as a Windows editor may have
# saved it: without a byte-order mark or a line end. It goes to osslsigncode
# in a file, never on a command line.
work=$(mktemp -d)
trap 'rm -rf -- "$work"' EXIT
if [ -n "$sign_files_ok" ]; then
    if [ -n "${SIGN_PASSWORD_FILE:-}" ]; then
        password=$(msg password_from_file file="$SIGN_PASSWORD_FILE")
        sed '1s/^\xef\xbb\xbf//; s/\r$//' -- "$SIGN_PASSWORD_FILE" | head -1 | tr -d '\n' >"$work/password"
    else
        password=$(msg password_from_env)
        printf '%s' "$SIGN_PASSWORD" >"$work/password"
    fi
    opens() { openssl pkcs12 -in "$SIGN_PKCS12" -passin "file:$work/password" -noout "$@" 2>/dev/null; }
    # Certificates exported by older Windows use algorithms OpenSSL 3 keeps apart.
    opens || opens -legacy || problems+=("$(msg sign_cannot_open file="$SIGN_PKCS12" password="$password")")
    certificate=$SIGN_PKCS12
    export SIGN_PKCS12=$(realpath -- "$SIGN_PKCS12") SIGN_PASSWORD_FILE=$work/password
    unset SIGN_PASSWORD
fi
[ ${#problems[@]} -eq 0 ] || stop

# Where wslpath knows it: the Windows path of a file of ours.
say_windows_path() { ! command -v wslpath >/dev/null || msg done_windows path="$(wslpath -w "$1")"; }

# The picture with its buttons and the About box, from the texts alone.
write_preview() {
    mkdir -p "$build"
    /usr/bin/python3 "$root/author/texts.py" preview "$texts" "$build/preview.png"
}
if [ -n "$preview_only" ]; then
    write_preview
    msg preview_done
    say_windows_path "$build/preview.png"
    echo "$build/preview.png"
    exit 0
fi

# A step's output goes to its log, shown only when it fails; but for the
# packing's progress lines.
step() {
    local name=$1 log=$2
    shift 2
    "$@" 2>&1 | tee "$log" | sed -un 's/^::progress:: //p' && return 0
    msg step_failed step="$(msg "$name")" log="$log" >&2
    tail -n 20 "$log" >&2
    exit 1
}
# What is signed with, for the program to be signed again when it changes.
signing=unsigned
[ -z "${SIGN_PKCS12:-}" ] || signing=$(cat -- "$SIGN_PKCS12" - <<<"${SIGN_TIMESTAMP_URL:-}" | sha256sum | cut -d' ' -f1)
mkdir -p "$build"
step step_configure "$build/cmake.log" cmake -S "$root" -B "$build" --no-warn-unused-cli \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DMAP_FILE="$(realpath -- "$map")" -DTEXTS_FILE="$(realpath -- "$texts")" -DSIGNING="$signing"
# The release alone: not the tests' driver and helpers.
step step_build "$build/make.log" cmake --build "$build" --target map_package -j"$(nproc)"

write_preview
# The package the build made, by the path the build tree gives it.
# shellcheck source=/dev/null
package=$(. "$build/built-files.sh" && echo "$package")
mkdir -p "$dist"
msg done dir="$dist"
for f in "$package" "$package.sha256"; do
    # Linked, not copied, where it can be: a large map's package takes its room once.
    ln -- "$f" "$dist/" 2>/dev/null || cp -- "$f" "$dist/"
    msg done_file name="${f##*/}" size="$(msg_count "$(stat -c %s "$f")" bytes)"
done
msg done_sha sha="$(cut -d' ' -f1 "$package.sha256")"
if [ -n "${SIGN_PKCS12:-}" ]; then msg done_signed file="$certificate"; else msg done_unsigned; fi
say_windows_path "$dist"
msg done_preview path="$build/preview.png"
say_windows_path "$build/preview.png"
[ -z "$sample" ] || msg sample_done
