#!/bin/bash
# Signs a Windows program in place (Authenticode, SHA-256, osslsigncode)
# when SIGN_PKCS12 names a certificate; unsigned otherwise. With --checksum
# it then writes FILE.sha256 beside it, in the form `sha256sum -c` reads.
#
#   SIGN_PKCS12          the certificate with its key, a PKCS#12 file (.p12, .pfx)
#   SIGN_PASSWORD_FILE   a file that holds its password, or
#   SIGN_PASSWORD        the password itself
#   SIGN_TIMESTAMP_URL   an RFC 3161 timestamp server (optional)
#
# The password never goes on a command line: osslsigncode reads it from a
# file. Usage: author/seal.sh FILE [--checksum]
set -euo pipefail
file=$1

if [ -n "${SIGN_PKCS12:-}" ]; then
    command -v osslsigncode >/dev/null || { echo "seal: osslsigncode is not installed" >&2; exit 1; }
    [ -r "$SIGN_PKCS12" ] || { echo "seal: SIGN_PKCS12: cannot read $SIGN_PKCS12" >&2; exit 1; }
    work=$(mktemp -d)   # mode 0700: the password file and the signed copy stay private
    trap 'rm -rf -- "$work"' EXIT
    pass=${SIGN_PASSWORD_FILE:-}
    if [ -z "$pass" ]; then
        pass=$work/password
        (umask 077 && printf '%s' "${SIGN_PASSWORD:-}" >"$pass")   # printf: a builtin, not a process
    fi
    args=(-pkcs12 "$SIGN_PKCS12" -readpass "$pass" -h sha256)
    [ -z "${SIGN_TIMESTAMP_URL:-}" ] || args+=(-ts "$SIGN_TIMESTAMP_URL")
    osslsigncode sign "${args[@]}" -in "$file" -out "$work/signed" >"$work/log" 2>&1 ||
        { cat "$work/log" >&2; echo "seal: cannot sign $file" >&2; exit 1; }
    cat "$work/signed" >"$file"
    echo "signed $file"
fi

if [ "${2:-}" = --checksum ]; then
    (cd "$(dirname "$file")" && sha256sum -- "$(basename "$file")") >"$file.sha256"
fi
