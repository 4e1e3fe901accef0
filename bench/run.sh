#!/bin/bash
# Benchmarks: package size, start-up, install (copy) time and peak memory, each
# as a ratio against a baseline measured in the same run, as a Markdown table.
# The install is measured against a minimal program doing the same durable
# copy, and that one against its plain copy: the cost of durability. What is
# measured and each row's target: bench/table.py.
#
# Usage: bench/run.sh [--quick] [--runs N] [--copy-runs N] [--sizes "64 256"] [--out FILE] [--keep] [--inputs FILE]
#   --quick      one sample each, a 4 MB map: proves the script works (CI), numbers are rough
#   --runs       start-up rounds (each program started once), default 15
#   --copy-runs  install rounds per size (each install once), default 15
#   --sizes      large-map sizes in MB for the install timings, default "64 256"
#   --out        the table's file, default bench/results.md
#   --keep       keep the work folder (prefix, raw driver output)
#   --inputs     what to measure, by path, default build/win/built-files.sh (from
#                ./build.sh; the target bench_files makes the baselines and peer)
set -euo pipefail
cd "$(dirname "$0")/.."

runs=15 copy_runs=15 sizes="64 256" out=bench/results.md keep=0 quick=0 inputs=build/win/built-files.sh
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

# shellcheck source=../testbed/wine-env.sh
source testbed/wine-env.sh
inputs=$(built inputs "$inputs")
# shellcheck source=/dev/null
source "$inputs"
# shellcheck disable=SC2154  # from $inputs (one of an older build may lack some)
: "${program:?in $inputs}" "${driver:?in $inputs}" "${template:?in $inputs; run ./build.sh}"
prog=${program##*/} drv=${driver##*/}
# As ctest sets it, and the installer's box texts from the end-to-end scenarios.
export PYTHONPATH=$PWD/author:$PWD/tests/built:$PWD/tests/e2e
work=$(mktemp -d -t bench.XXXXXX)
prefix=$work/prefix
cleanup() {
    wine_stop "$prefix" >/dev/null 2>&1 || true
    if [ "$keep" = 1 ]; then echo "work folder kept: $work" >&2; else rm -rf -- "$work"; fi
}
trap cleanup EXIT
log() { echo "bench: $*" >&2; }

# A copy of the build tree's 32-bit template prefix, made once (see wine_template).
wine_template "$template" win32 && wine_clone_prefix "$template" "$prefix"
# C:\bench, and the driver scripts start.txt and copy<MB>.txt in its bin.
W='C:\bench' c=$prefix/drive_c/bench
same=(--inputs "$inputs" --runs "$runs" --copy-runs "$copy_runs" --sizes "$sizes")  # lay-out's and report's
/usr/bin/python3 bench/table.py lay-out "$c" --win-root "$W" "${same[@]}"

# Wine start-up under emulation costs seconds: one driver run per script.
# Its observations, "<key>_ms <value>" and the like, go to results.txt.
drive() {  # script-file-in-bin
    wine_run "$prefix" "$W\\bin\\$drv" "$W\\cwd\\$prog" "$W\\bin\\$1" \
        >>"$work/results.txt" 2>>"$work/wine.err" </dev/null
}
log "start-up: $runs run(s) of each program"
drive start.txt

# One size at a time, so at most one large map (+ its copies) is on disk; in the
# sample map's place beside the installer, random so no layer can shortcut it,
# and on the disk before the first timing.
for mb in $sizes; do
    log "installs and CopyFile: $mb MB, $copy_runs round(s)"
    head -c $((mb * 1024 * 1024)) /dev/urandom >"$c/cwd/Am01.dvp"
    sync "$c/cwd/Am01.dvp"
    drive "copy$mb.txt"
    # A timing of a broken install would mean nothing; the installer went last.
    cmp -s "$c/cwd/Am01.dvp" "$c/game/Disk2/Am01.dvp" || { log "installed $mb MB map differs"; exit 1; }
    rm -- "$c/game/Disk2/Am01.dvp"
done

mkdir -p "$(dirname "$out")"
/usr/bin/python3 bench/table.py report "${same[@]}" --results "$work/results.txt" --quick "$quick" \
    --wine-mode "$(cat "$WINE_ENV_DIR/mode")" >"$work/table.md" || status=$?
tee "$out" <"$work/table.md"
log "written to $out"
exit "${status:-0}"
