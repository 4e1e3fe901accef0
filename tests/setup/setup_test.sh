#!/bin/bash
# The Wine set-up's decisions for each answer of the i386 probe and each place
# Wine's loader lands, in a dry run against a private folder and a fake
# binfmt_misc: a kernel that runs i386 programs itself gets no emulator, no
# binfmt entry and no preloaded library; a loader mapped low gets Wine's
# preloader, and one mapped high (qemu 7.2, Wine 8) does not. A list that
# cannot be fetched is named, and the packages come from the release's own
# suite.
set -uo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d -t setup-test-XXXXXX)
trap 'rm -rf "$work"' EXIT
fails=0

# A row's problems, if any, with what the set-up said.
report() {
    [ ${#problems[@]} -eq 0 ] && return
    fails=1
    printf '%s: %s\n--- output:\n%s\n' "$1" "${problems[*]}" "$2"
}

# Each word (dots for spaces) that the output lacks, as a problem.
not_said() {
    local out=$1 w
    shift
    for w; do grep -q "${w//./ }" <<<"$out" || problems+=("does not say '${w//./ }'"); done
}

# probe | loader's base | binfmt_misc before | must say | must not say | LD_PRELOAD for Wine
cases=(
    "native|0x7d000034|unmounted||qemu-user-static binfmt compatibility preloader|no"
    "native|0x4a3034|unmounted|adding.Wine's.preloader|qemu-user-static binfmt compatibility|no"
    "none|0x40000034|unmounted|mounting.binfmt_misc registering.i386 compatibility.library|enabling preloader|yes"
    "none|0x7d000034|registered||mounting registering enabling preloader|yes"
    "emulated|0x400034|registered|compatibility.library adding.Wine's.preloader|mounting registering|yes"
)
for row in "${cases[@]}"; do
    IFS='|' read -r probe base binfmt want avoid preload <<<"$row"
    dir=$work/$probe-$base-$binfmt
    mkdir -p "$dir/binfmt"
    # A mounted binfmt_misc has "register"; ours an entry too.
    [ "$binfmt" = registered ] && touch "$dir/binfmt/register" && echo enabled >"$dir/binfmt/qemu-i386"
    out=$(SETUP_PROBE=$probe SETUP_LOADER_BASE=$base SETUP_DRY_RUN=1 BINFMT_DIR=$dir/binfmt WINE_ENV_DIR=$dir/env \
        "$repo/testbed/setup.sh" test 2>&1)
    got=$(WINE_ENV_DIR=$dir/env bash -c 'source "$1/testbed/wine-env.sh" >/dev/null 2>&1; wine_env /x 2>/dev/null; echo "${LD_PRELOAD:+yes}"' \
        _ "$repo")
    problems=()
    not_said "$out" $want
    for a in $avoid; do grep -q "$a" <<<"$out" && problems+=("says '$a'"); done
    [ "${got:-no}" = "$preload" ] || problems+=("LD_PRELOAD for Wine: ${got:-no}, want $preload")
    [ "$(cat "$dir/env/mode" 2>/dev/null)" = "$([ "$probe" = native ] && echo native || echo emulated)" ] ||
        problems+=("mode file: $(cat "$dir/env/mode" 2>/dev/null)")
    report "probe $probe, loader at $base, binfmt_misc $binfmt" "$out"
done

# A mirror mid-sync, faked: apt-get's update fails (or not) with the error a
# short list gives, and its install succeeds only as the row says. Every
# package counts as missing. update | install plain | install -t | must say | status
fake=$work/fake
mkdir -p "$fake/bin"
# Every package missing; libssl3:amd64, asked for by name alone, installed.
# The set-up as another user reads it, wherever the repository is.
chmod 755 "$work"
mkdir -p "$work/repo/testbed" "$work/repo/author"
cp "$repo/testbed/setup.sh" "$work/repo/testbed/"
cp "$repo"/author/messages.* "$work/repo/author/"
printf '#!/bin/sh\ncase "$*" in *-f*) exit 1 ;; esac\n' >"$fake/bin/dpkg-query"
cat >"$fake/apt-get" <<'FAKE'
#!/bin/bash
echo "$*" >>"$FAKE_LOG"
case "$*" in
*update*) [ "$FAKE_UPDATE" = ok ] && exit 0
    echo "E: Failed to fetch http://mirror/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size" >&2
    exit 100 ;;
*" -t "*) case "$FAKE_TARGETED/$*" in
    twin/*libssl3:amd64/bookworm*) exit 0 ;;
    twin/*" -s "*) echo " libcurl4:i386 : Depends: libssl3:i386 (>= 3.0.0) but it is not installable"; exit 100 ;;
    esac
    [ "$FAKE_TARGETED" = ok ] ;;
*) [ "$FAKE_PLAIN" = ok ] ;;
esac
FAKE
chmod +x "$fake/apt-get" "$fake/bin/dpkg-query"
printf 'VERSION_CODENAME=bookworm\n' >"$fake/os-release"
apt_cases=(
    "ok|ok|-|installing.Debian.packages|0|update install"
    "fails|-|ok|binary-i386/Packages installing.from.bookworm security.updates|0|update update update install-t install-t"
    "fails|-|fails|cannot.install from.bookworm.alone|1|update update update install-t"
    "fails|-|twin|taking.back.to.bookworm's.versions,.for.their.i386.twins:.libssl3|0|update update update install-t install-t install-t"
    "ok|fails|-|apt-get.install.failed|1|update install"
    # Neither root nor sudo: said, and nothing run.
    "ok|ok|-|Only.root.can.install.them|1||nobody"
)
for row in "${apt_cases[@]}"; do
    IFS='|' read -r update plain targeted want status calls user <<<"$row"
    : >"$fake/log"
    chmod 666 "$fake/log"
    as=()
    [ -z "$user" ] || as=(setpriv --reuid="$user" --regid="$(id -g "$user")" --clear-groups)
    out=$(PATH=$fake/bin:$PATH FAKE_LOG=$fake/log FAKE_UPDATE=$update FAKE_PLAIN=$plain FAKE_TARGETED=$targeted \
        SETUP_APT_GET=$fake/apt-get SETUP_APT_RETRY_DELAY=0 SETUP_OS_RELEASE=$fake/os-release \
        SETUP_SUDO=no-such-sudo LANG=en_GB.UTF-8 LC_ALL= LC_MESSAGES= "${as[@]}" "$work/repo/testbed/setup.sh" build 2>&1)
    rc=$?
    problems=()
    not_said "$out" $want
    [ "$rc" = "$status" ] || problems+=("exit status $rc, want $status")
    got=$(awk '/ update/ {print "update"; next} / -t bookworm / {print "install-t"; next} {print "install"}' \
        "$fake/log" | tr '\n' ' ')
    [ "${got% }" = "$calls" ] || problems+=("apt-get calls '${got% }', want '$calls'")
    report "apt: update $update, install $plain, with -t $targeted${user:+, as $user}" "$out"
done
[ $fails = 0 ] && echo "set-up decisions: ${#cases[@]} cases and ${#apt_cases[@]} apt cases as expected"
exit $fails
