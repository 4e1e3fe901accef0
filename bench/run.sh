#!/bin/bash
# Benchmarks: package size, start-up, install (copy) time and peak memory, each
# as a ratio against a baseline measured in the same run, as a Markdown table.
# The install is measured against a minimal program doing the same durable
# copy, and that one against its plain copy: the cost of durability.
#
# Usage: bench/run.sh [--quick] [--runs N] [--copy-runs N] [--sizes "64 256"] [--out FILE] [--keep] [--inputs FILE]
#   --quick      N=1, a 4 MB map: proves the script works (CI), numbers are rough
#   --runs       start-up samples per program (median), default 7
#   --copy-runs  install samples per size (median), default 3
#   --sizes      large-map sizes in MB for the install timings, default "64 256"
#   --out        the table's file, default bench/results.md
#   --keep       keep the work folder (prefix, raw driver output)
#   --inputs     what to measure, by path, default build/win/built-files.sh (from
#                ./build.sh; the target bench_files makes the baselines and peer)
set -euo pipefail
cd "$(dirname "$0")/.."

runs=7 copy_runs=3 sizes="64 256" out=bench/results.md keep=0 quick=0 inputs=build/win/built-files.sh
while [ $# -gt 0 ]; do
    case $1 in
        --quick) quick=1 runs=1 copy_runs=1 sizes=4 ;;
        --runs) runs=$2; shift ;;
        --copy-runs) copy_runs=$2; shift ;;
        --sizes) sizes=$2; shift ;;
        --out) out=$2; shift ;;
        --keep) keep=1 ;;
        --inputs) inputs=$2; shift ;;
        *) echo "unknown option $1" >&2; exit 2 ;;
    esac
    shift
done

[ -f "$inputs" ] || { echo "no $inputs: run ./build.sh first" >&2; exit 1; }
# shellcheck source=/dev/null
source "$inputs"
# shellcheck disable=SC2154  # program, map, package, empty_package, peer, driver, minimal, durable
for f in "$program" "$map" "$package" "$empty_package" "$peer" "$driver" "$minimal" "$durable"; do
    [ -f "$f" ] || { echo "no $f: run ./build.sh, then cmake --build build/win --target bench_files" >&2; exit 1; }
done
prog=${program##*/}
export PYTHONPATH=$PWD/tools:$PWD/tests/built  # as ctest sets it

# shellcheck source=../tools/wine-env.sh
source tools/wine-env.sh
work=$(mktemp -d -t bench.XXXXXX)
prefix=$work/prefix
cleanup() {
    wine_stop "$prefix" >/dev/null 2>&1 || true
    if [ "$keep" = 1 ]; then echo "work folder kept: $work" >&2; else rm -rf -- "$work"; fi
}
trap cleanup EXIT
log() { echo "bench: $*" >&2; }

log "making a throwaway Wine prefix (~20 s)"
wine_make_prefix "$prefix" >"$work/prefix.log" 2>&1 || { cat "$work/prefix.log" >&2; exit 1; }

# C:\bench: bin (the driver, the baselines, the packages), game (data1.dvp,
# Disk2), cwd (the installer and the map, as the package unpacks them).
c=$prefix/drive_c/bench
mkdir -p "$c/bin" "$c/game/Disk2" "$c/cwd"
cp "$driver" "$minimal" "$durable" "$peer" "$c/bin/"
cp "$program" "$c/cwd/"
cp "$package" "$c/bin/package.exe"
cp "$map" "$c/cwd/Am01.dvp"
printf 'data' >"$c/game/data1.dvp"

W='C:\bench'
{
    echo "reg-set $W\\game"
    # One discarded start each: the first process in a fresh prefix pays for
    # loading Wine's DLLs from disk and qemu's first translations.
    # Interleaved, so slow drift (caches, host load) hits all alike.
    for p in warm_ $(seq "$runs"); do
        [ "$p" = warm_ ] || p=
        printf 'program %s\n%s-process\ntime-start %s %s\n' \
            "$W\\cwd\\$prog" own "${p}inst" "$W\\cwd" \
            "$W\\bin\\minimal_dlg.exe" own "${p}min" "$W\\cwd" \
            "$W\\bin\\package.exe" any "${p}pkg" "$W\\bin" \
            "$W\\bin\\peer.exe" any "${p}peer" "$W\\bin"
    done
} >"$c/bin/start.txt"

# Wine start-up under emulation costs seconds: one driver run per batch.
# Its observations, "<key>_ms <value>" and the like, go to results.txt.
drive() {  # script-file-in-bin
    wine_run "$prefix" "$W\\bin\\driver.exe" "$W\\cwd\\$prog" "$W\\bin\\$1" \
        >>"$work/results.txt" 2>>"$work/wine.err" </dev/null
}
log "start-up: $runs run(s) each of installer, minimal dialog, package, peer package"
drive start.txt

# One size at a time, so at most one large map (+ its copies) is on disk; in the
# sample map's place beside the installer, random so no layer can shortcut it.
declare -A exe=([plain]="$W\\bin\\minimal_dlg.exe" [durable]="$W\\bin\\minimal_durable.exe" [install]="$W\\cwd\\$prog")
for mb in $sizes; do
    log "plain and durable minimal install, install, CopyFile: $mb MB, $copy_runs run(s)"
    head -c $((mb * 1024 * 1024)) /dev/urandom >"$c/cwd/Am01.dvp"
    {
        for k in $(seq "$copy_runs"); do
            # The durable baseline and the installer take turns to follow the
            # plain copy, whose data may still be on its way to the disk; the
            # installer goes last in the last round, for the check below.
            pair="durable install"
            [ $(((copy_runs - k) % 2)) = 0 ] || pair="install durable"
            for key in plain $pair; do
                echo "program ${exe[$key]}"
                echo "time-install $key$mb $W\\cwd"
            done
            echo "time-copy copy$mb $W\\cwd\\Am01.dvp $W\\game\\Disk2\\copy.dvp"
        done
        echo "del $W\\game\\Disk2\\copy.dvp"
    } >"$c/bin/copy$mb.txt"
    drive "copy$mb.txt"
    # A timing of a broken install would mean nothing.
    cmp -s "$c/cwd/Am01.dvp" "$c/game/Disk2/Am01.dvp" || { log "installed $mb MB map differs"; exit 1; }
    rm -- "$c/game/Disk2/Am01.dvp"
done

mkdir -p "$(dirname "$out")"
/usr/bin/python3 bench/report.py --results "$work/results.txt" --installer "$program" --map "$map" \
    --package "$package" --empty-package "$empty_package" --runs "$runs" --copy-runs "$copy_runs" --mb "$sizes" \
    --quick "$quick" --wine-mode "$(cat "$WINE_ENV_DIR/mode")" >"$work/table.md"
tee "$out" <"$work/table.md"
log "written to $out"
