#!/bin/bash
# One end-to-end run by hand, without ctest: all its scenarios, or those named.
#
# Usage: tests/e2e/run.sh [--tree DIR] RUN [SCENARIO|PATTERN ...]
#   RUN       an end-to-end test's name without "e2e_" (install, install64,
#             faults, ...; tests/e2e/tests.cmake lists them)
#   SCENARIO  a scenario's name in tests/e2e/scenarios.py, or a shell pattern
#             ('reg_*'); none: the whole group
#   --tree    the Windows build tree, default build/win (from ./build.sh)
# It builds what ctest's build test builds and runs the scenarios as the test
# does (run_e2e.py, with the test's arguments, which keeps or makes the
# template); package_release also needs the release test's files
# (ctest -R '^release$').
set -euo pipefail
cd "$(dirname "$0")/../.."

tree=build/win
[ "${1:-}" != --tree ] || { tree=$2; shift 2; }
runs=$tree/e2e-runs.sh
[ -f "$runs" ] || { echo "no $runs: run ./build.sh first" >&2; exit 1; }
# shellcheck source=/dev/null
source "$runs"
names=$(sed -n 's/^run_\([a-z0-9_]*\)=.*/\1/p' "$runs" | tr '\n' ' ')
declare -n args="run_${1:-}" 2>/dev/null || true
if [ $# -eq 0 ] || [ -z "${args[*]:-}" ]; then
    sed -n '4,9s/^# \{0,1\}//p' "$0" >&2
    echo "runs: $names" >&2
    exit 2
fi
shift
[ $# -eq 0 ] || set -- --only "$@"

log=$tree/e2e-build.log
cmake --build "$tree" -j"$(nproc)" --target all test_files >"$log" 2>&1 || { cat "$log" >&2; exit 1; }
export PYTHONPATH=$PWD/author:$PWD/tests/built  # as ctest sets it
exec /usr/bin/python3 tests/e2e/run_e2e.py "${args[@]}" "$@"
