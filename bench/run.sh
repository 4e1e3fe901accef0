#!/bin/bash
# Benchmarks, side by side in one run: package size, start-up, install (copy)
# time and peak memory, each as a ratio against a baseline measured in the
# same run, printed as a Markdown table and written to a file. The install is
# measured against a minimal program doing the same durable copy, and that
# one against a minimal program's plain copy: the cost of durability.
#
# Usage: bench/run.sh [--quick] [--runs N] [--sizes "64 256"] [--out FILE] [--keep] [--inputs FILE]
#   --quick   N=1, a 4 MB map: proves the script works (CI), numbers are rough
#   --runs    start-up samples per program (median), default 7
#   --sizes   large-map sizes in MB for the install timings
#   --copy-runs samples per size (median), default 3
#   --out     the table's file, default bench/results.md
#   --keep    keep the work folder (prefix, raw driver output)
#   --inputs  what to measure, by path (default build/win/built-files.sh,
#             which the Windows build writes; `cmake --build build/win
#             --target bench_files` makes the baselines and peer package)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

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
export PYTHONPATH=$root/tools:$root/tests/built  # as ctest sets it

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

# ---- the Wine-side programs ---------------------------------------------------
# The driver and the minimal dialogs (plain and durable install) come from
# the Windows build, with the product's flags; the peer package is the
# product's package script starting the minimal dialog instead: what a map
# author would make by hand.
log "making a throwaway Wine prefix (~20 s)"
wine_make_prefix "$prefix" >"$work/prefix.log" 2>&1 || { cat "$work/prefix.log" >&2; exit 1; }

# Layout under C:\bench: bin (programs), game (data1.dvp, Disk2), cwd (the
# installer and the sample map, as the package unpacks them), big<N> (a
# large map per size; random so no layer can shortcut it).
c=$prefix/drive_c/bench
mkdir -p "$c/bin" "$c/game/Disk2" "$c/cwd"
cp "$driver" "$minimal" "$durable" "$peer" "$c/bin/"
cp "$program" "$c/cwd/"
cp "$package" "$c/bin/package.exe"
cp "$map" "$c/cwd/Am01.dvp"
printf 'data' >"$c/game/data1.dvp"

W='C:\bench'
start() {  # key program cwd own|any
    echo "program $2"
    echo "$4-process"
    echo "time-start $1 $3"
}
{
    echo "reg-set $W\\game"
    # One discarded start each: the first process in a fresh prefix pays for
    # loading Wine's DLLs from disk and qemu's first translations.
    # Interleaved, so slow drift (caches, host load) hits all alike.
    for key in warm $(seq "$runs"); do
        [ "$key" = warm ] && p=warm_ || p=
        start "${p}inst" "$W\\cwd\\$prog" "$W\\cwd" own
        start "${p}min" "$W\\bin\\minimal_dlg.exe" "$W\\cwd" own
        start "${p}pkg" "$W\\bin\\package.exe" "$W\\bin" any
        start "${p}peer" "$W\\bin\\peer.exe" "$W\\bin" any
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

# Copies one size at a time, so at most one large map (+ its copies) is on disk.
for mb in $sizes; do
    log "plain and durable minimal install, install, CopyFile: $mb MB, $copy_runs run(s)"
    mkdir -p "$c/big$mb"
    cp "$program" "$c/big$mb/"
    head -c $((mb * 1024 * 1024)) /dev/urandom >"$c/big$mb/Am01.dvp"
    {
        echo "own-process"
        for k in $(seq "$copy_runs"); do
            echo "program $W\\bin\\minimal_dlg.exe"
            echo "time-install plain$mb $W\\big$mb"
            # The durable baseline and the installer take turns to follow the
            # plain copy, whose data may still be on its way to the disk; the
            # installer goes last in the last round, for the check below.
            pair=("durable $W\\bin\\minimal_durable.exe" "install $W\\big$mb\\$prog")
            [ $(((copy_runs - k) % 2)) = 0 ] || pair=("${pair[1]}" "${pair[0]}")
            for p in "${pair[@]}"; do
                echo "program ${p#* }"
                echo "time-install ${p%% *}$mb $W\\big$mb"
            done
            echo "time-copy copy$mb $W\\big$mb\\Am01.dvp $W\\game\\Disk2\\copy.dvp"
        done
        echo "del $W\\game\\Disk2\\copy.dvp"
    } >"$c/bin/copy$mb.txt"
    drive "copy$mb.txt"
    # A timing of a broken install would mean nothing.
    cmp -s "$c/big$mb/Am01.dvp" "$c/game/Disk2/Am01.dvp" || { log "installed $mb MB map differs"; exit 1; }
    rm -rf -- "$c/big$mb" "$c/game/Disk2/Am01.dvp"
done
wine_stop "$prefix"

# ---- the table ----------------------------------------------------------------
mkdir -p "$(dirname "$out")"
/usr/bin/python3 bench/report.py --results "$work/results.txt" --installer "$program" --map "$map" \
    --package "$package" --empty-package "$empty_package" --runs "$runs" --copy-runs "$copy_runs" --mb "$sizes" \
    --quick "$quick" --wine-mode "$(cat "$WINE_ENV_DIR/mode")" >"$work/table.md"
cp "$work/table.md" "$out"
cat "$work/table.md"
log "written to $out"
