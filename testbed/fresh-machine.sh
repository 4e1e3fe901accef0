#!/bin/bash
# Proves the README's two commands on a really new machine: a minimal Debian
# root made with debootstrap, from the mirror apt already uses, the
# repository (its committed HEAD) cloned into it, then ./build.sh and
# ./test.sh run there once each, in order, timed. The root runs in a user,
# mount and PID namespace of its own with its own binfmt_misc (Linux 6.7 or
# later), so it registers what a new machine registers and sees nothing that
# this machine registered. Root only; installs debootstrap here if missing.
#
# Usage: sudo testbed/fresh-machine.sh [--release NAME] [--emulate] [--again] [--keep] [DIR]
#   --release  bookworm (Debian 12) or trixie (Debian 13, the default)
#   --emulate  set up as on a kernel that cannot run i386 programs: the root
#              registers its own qemu in its binfmt_misc
#   --again    time a second ./test.sh on the same root
#   --keep     keep the root afterwards (it is removed otherwise)
#   DIR        where the new root goes (default: a new folder under /var/tmp)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)

release=trixie again=0 keep=0 emulate=0 root=
while [ $# -gt 0 ]; do
    case $1 in
    --release) release=${2:-}; shift ;;
    --emulate) emulate=1 ;;
    --again) again=1 ;;
    --keep) keep=1 ;;
    -*) echo "unknown option $1" >&2; exit 2 ;;
    *) root=$1 ;;
    esac
    shift
done
say() { echo "fresh-machine: $*" >&2; }
case $release in bookworm | trixie) ;; *) say "--release: bookworm or trixie, not '$release'"; exit 2 ;; esac
[ "$(id -u)" -eq 0 ] || { say "needs root (debootstrap, namespaces, mounts)"; exit 1; }

# This machine's Debian sources (not other vendors'), for the root's release.
host_release=$(. /etc/os-release && echo "$VERSION_CODENAME")
debian_sources=()
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && grep -Eq '^[^#]*(URIs:|deb).*/debian(-security)?/?([[:space:]]|$)' "$f" && debian_sources+=("$f")
done
# The first Debian mirror, for debootstrap.
mirror=$(cat "${debian_sources[@]}" /dev/null |
    sed -n -e 's/^URIs:[[:space:]]*\([^[:space:]]*\/debian\)\/*$/\1/p' \
        -e 's/^deb[[:space:]]\+\(\[[^]]*\][[:space:]]\+\)\?\([^[:space:]]*\/debian\)\/*[[:space:]].*/\2/p' | head -1)
[ -n "$mirror" ] || { say "no Debian mirror in apt's sources"; exit 1; }

if ! command -v debootstrap >/dev/null; then
    say "installing debootstrap on this machine"
    apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends debootstrap >/dev/null
fi

root=${root:-$(mktemp -d /var/tmp/fresh-$release.XXXXXX)}
root=$(realpath -m "$root")
mkdir -p "$root"
# A machine's / is open to all (mktemp makes it 700): its ordinary users
# could not run a program otherwise.
chmod 755 "$root"
log=$root.log
holder= ns_pid=
cleanup() {
    # The namespace's mounts and processes (Wine servers too) end with it.
    # unshare ignores SIGTERM, and the namespace's first process all but
    # SIGKILL: that ends every process in it.
    [ -z "$ns_pid" ] || { kill -KILL "$ns_pid" 2>/dev/null; wait "$holder" 2>/dev/null || true; }
    if [ $keep = 1 ]; then
        say "root kept: $root"
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

# A process that holds the namespaces; every step enters them. Root inside
# is root outside (all ids mapped one to one), so files get their real owners.
start_namespace() {
    # (unshare complains when its child is killed: nothing to say.)
    unshare --user --mount --pid --fork --kill-child sleep infinity 2>/dev/null &
    holder=$!
    local pid= i
    for i in $(seq 50); do pid=$(pgrep -P "$holder" -x sleep) && break; sleep 0.1; done
    [ -n "$pid" ] || { say "cannot start the namespace"; exit 1; }
    echo "0 0 4294967295" >"/proc/$pid/uid_map"
    echo "0 0 4294967295" >"/proc/$pid/gid_map"
    ns_pid=$pid
}
in_ns() { nsenter --target "$ns_pid" --user --mount --pid --preserve-credentials -- "$@"; }
in_root() {
    local env=(HOME=/root TERM=dumb LANG=C.UTF-8 PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin)
    # A kernel without i386: the probe's answer there.
    [ $emulate = 0 ] || env+=(SETUP_PROBE=none)
    in_ns chroot "$root" /usr/bin/env -i "${env[@]}" bash -c "cd /root/src && $1" </dev/null
}

: >"$log"
say "log: $log; root: $root; Debian $release from $mirror"
timed "debootstrap (minbase)" debootstrap --variant=minbase "$release" "$root" "$mirror"
# The new machine's apt: this one's Debian sources, for its release, and
# the same download settings.
rm -f "$root/etc/apt/sources.list"
for f in "${debian_sources[@]}"; do
    sed "s/\b$host_release\b/$release/g" "$f" >"$root/etc/apt/sources.list.d/$(basename "$f")"
done
apt-config dump | grep '^Acquire::' >"$root/etc/apt/apt.conf.d/99from-host" || true
git clone -q "$repo" "$root/root/src"

start_namespace
in_ns sh -ec '
    r=$1
    mount -t proc proc "$r/proc"
    mount --rbind /sys "$r/sys"
    mount --rbind /dev "$r/dev"
    mount -t devpts devpts "$r/dev/pts" -o newinstance,ptmxmode=0666
    mount -t tmpfs tmpfs "$r/dev/shm"
    mount -t binfmt_misc binfmt_misc "$r/proc/sys/fs/binfmt_misc"' sh "$root" ||
    { say "cannot mount the root's file systems (its own binfmt_misc needs Linux 6.7 or later)"; exit 1; }

ls -A "$root/tmp" >"$root.tmp-before"
rc=0
timed "./build.sh" in_root ./build.sh || rc=1
[ $rc = 1 ] || timed "./test.sh" in_root ./test.sh || rc=1
ls -A "$root/tmp" | diff "$root.tmp-before" - >&2 || say "left in /tmp by the run: the lines above"
rm -f "$root.tmp-before"
if [ $rc = 0 ] && [ $again = 1 ]; then
    timed "./test.sh (again)" in_root ./test.sh || rc=1
fi
# What this release builds, to compare with another root's build.
[ $rc = 1 ] || (cd "$root/root/src/dist" && sha256sum -- *.exe)
say "$(grep -E 'tests passed|tests failed' "$log" | tail -2 | tr '\n' ' ')"
[ $rc = 0 ] || say "failed: see $log"
exit $rc
