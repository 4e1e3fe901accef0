#!/bin/bash
# Packs the product's package: makensis, then seal.sh (signed when asked,
# and its checksum). Packs only when what goes in has changed, by content:
# the files makensis is given, the package's sources and the certificate.
# File times do not count, as an older map copied over a newer one must be
# packed. While makensis compresses, which takes minutes for a large map, a
# line at most 5 seconds apart says for how long and how much of the map it has
# read; makensis's own output is shown only when it fails.
#
# Usage: pack.sh PACKAGE MAP -- MAKENSIS ARGS...
# Progress lines begin with "::progress:: ", for build.sh to show.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/messages.sh"
sources=$here/../package
package=$1 map=$2
shift 3

# What the package is made of. The certificate, not the password: the same
# key signs alike whatever unlocks it.
inputs() {
    local arg
    printf '%s\n' "$@" "${SIGN_PKCS12:+signed}" "${SIGN_TIMESTAMP_URL:-}"
    for arg; do
        arg=${arg#-D*=}
        [ "$arg" = "$package" ] || [ ! -f "$arg" ] || sha256sum <"$arg"
    done
    cat "$sources"/*.nsi "$sources"/*.nsh "$here"/seal.sh "$0" ${SIGN_PKCS12:+"$SIGN_PKCS12"} | sha256sum
}
key=$(inputs "$@" | sha256sum | cut -d' ' -f1)
stamp=$package.inputs
if [ -f "$package" ] && [ -f "$package.sha256" ] && [ "$(cat "$stamp" 2>/dev/null)" = "$key" ]; then
    exit 0
fi
rm -f -- "$stamp" "$package" "$package.sha256"

# How far makensis has read the map: it maps the file in views, so the view's
# offset and the pages it has touched.
map_read() {
    local offset=0 rss=0 path size
    path=$(realpath -- "$map") size=$(stat -L -c %s -- "$map")
    read -r offset rss < <(awk -v f=" $path" '
        /^[0-9a-f]+-[0-9a-f]+ / { mine = index($0, f) > 0; if (mine) o = $3; next }
        mine && /^Rss:/ { print o, $2; mine = 0 }' "/proc/$1/smaps" 2>/dev/null | tail -1) || true
    [ -n "$rss" ] && [ "$rss" != 0 ] || return 0
    echo $(((16#$offset + rss * 1024) * 100 / size))
}

log=$(mktemp)
trap 'rm -f -- "$log"' EXIT
start=$SECONDS
"$@" >"$log" 2>&1 &
pid=$!
shown=0 percent=
echo "::progress:: $(msg packing)"
while kill -0 "$pid" 2>/dev/null; do
    sleep 1
    now=$(map_read "$pid")
    [ -z "$now" ] || percent=$((now > 99 ? 99 : now))
    if [ $((SECONDS - start)) -ge $((shown + 4)) ]; then
        shown=$((SECONDS - start))
        if [ -n "$percent" ]; then
            echo "::progress:: $(msg packing_read elapsed="$shown" percent="$percent")"
        else
            echo "::progress:: $(msg packing_elapsed elapsed="$shown")"
        fi
    fi
done
wait "$pid" || { cat "$log" >&2; exit 1; }
"$here/seal.sh" "$package" --checksum
echo "$key" >"$stamp"
