#!/bin/bash
# Proves the README's two commands on a really new machine: a minimal
# Debian 12 root made with debootstrap, from the mirror apt already uses,
# the repository (its committed HEAD) cloned into it, then ./build.sh and
# ./test.sh run there once each, in order, timed. Root only; installs
# debootstrap on this machine if it is missing.
#
# Usage: sudo tools/fresh-machine.sh [--again] [--keep] [DIR]
#   DIR      where the new root goes (default: a new folder under /var/tmp)
#   --again  time a second ./test.sh on the same root
#   --keep   keep the root afterwards (it is removed otherwise)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)

again=0 keep=0 root=
while [ $# -gt 0 ]; do
    case $1 in
    --again) again=1 ;;
    --keep) keep=1 ;;
    -*) echo "unknown option $1" >&2; exit 2 ;;
    *) root=$1 ;;
    esac
    shift
done
say() { echo "fresh-machine: $*" >&2; }
[ "$(id -u)" -eq 0 ] || { say "needs root (debootstrap, chroot, mounts)"; exit 1; }

# The first Debian mirror apt is configured with, in either sources format.
mirror=$({ cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources 2>/dev/null || true; } |
    sed -n -e 's/^URIs:[[:space:]]*\([^[:space:]]*\/debian\)\/*$/\1/p' \
        -e 's/^deb[[:space:]]\+\(\[[^]]*\][[:space:]]\+\)\?\([^[:space:]]*\/debian\)\/*[[:space:]].*/\2/p' | head -1)
[ -n "$mirror" ] || { say "no Debian mirror in apt's sources"; exit 1; }

if ! command -v debootstrap >/dev/null; then
    say "installing debootstrap on this machine"
    apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends debootstrap >/dev/null
fi

root=${root:-$(mktemp -d /var/tmp/fresh-debian.XXXXXX)}
root=$(realpath -m "$root")
mkdir -p "$root"
log=$root.log
unmount_all() {
    # Deepest first; lazily, as a finished Wine may still hold a file.
    findmnt -rn -o TARGET | grep -F "$root/" | sort -r | while read -r m; do umount -l "$m" || true; done
}
cleanup() {
    unmount_all
    if [ $keep = 1 ]; then
        say "root kept: $root"
    elif findmnt -rn -o TARGET | grep -qF "$root/"; then
        say "still mounted under $root: not removed"
    else
        rm -rf --one-file-system "$root"
    fi
}
trap cleanup EXIT

timed() {  # name, command...: runs it, logs, prints its wall time
    local name=$1 start=$SECONDS rc=0
    shift
    say "$name ..."
    "$@" >>"$log" 2>&1 || rc=$?
    printf '%-24s %4d s  %s\n' "$name" $((SECONDS - start)) "$([ $rc = 0 ] && echo passed || echo "FAILED ($rc)")"
    return $rc
}

in_root() {
    chroot "$root" /usr/bin/env -i HOME=/root TERM=dumb LANG=C.UTF-8 \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        bash -c "cd /root/src && $1" </dev/null
}

: >"$log"
say "log: $log; root: $root; mirror: $mirror"
timed "debootstrap (minbase)" debootstrap --variant=minbase bookworm "$root" "$mirror"
# The new machine's apt: the same sources and download settings as this one.
rm -f "$root/etc/apt/sources.list"
cp /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list "$root/etc/apt/sources.list.d/" 2>/dev/null || true
cp /etc/apt/sources.list "$root/etc/apt/" 2>/dev/null || true
apt-config dump | grep '^Acquire::' >"$root/etc/apt/apt.conf.d/99from-host" || true

mount -t proc proc "$root/proc"
mount -t sysfs sysfs "$root/sys"
mount --bind /dev "$root/dev"
mount -t devpts devpts "$root/dev/pts" -o newinstance,ptmxmode=0666
mount -t tmpfs tmpfs "$root/dev/shm"
git clone -q "$repo" "$root/root/src"

ls -A "$root/tmp" >"$root.tmp-before"
rc=0
timed "./build.sh" in_root ./build.sh || rc=1
[ $rc = 1 ] || timed "./test.sh" in_root ./test.sh || rc=1
ls -A "$root/tmp" >"$root.tmp-after"
if ! diff "$root.tmp-before" "$root.tmp-after" >/dev/null; then
    say "left in /tmp by the run:"; diff "$root.tmp-before" "$root.tmp-after" >&2 || true
fi
rm -f "$root.tmp-before" "$root.tmp-after"
if [ $rc = 0 ] && [ $again = 1 ]; then
    timed "./test.sh (again)" in_root ./test.sh || rc=1
fi
[ $rc = 0 ] || say "failed: see $log"
exit $rc
