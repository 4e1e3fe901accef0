#!/bin/bash
# Builds everything and runs every test: host unit tests (with ASan and
# UBSan), checks on the built program, and the end-to-end suite.
set -euo pipefail
cd "$(dirname "$0")"

testbed/setup.sh test
./build.sh

jobs=$(nproc)
# One host tree, sanitized: every unit test runs there once.
cmake -S . -B build/host -DCMAKE_BUILD_TYPE=Debug -DSANITIZE=ON >/dev/null
cmake --build build/host -j"$jobs"

# The host tree (unit, fuzzing, texts, set-up) beside the Windows tree (the
# built files, end to end): each prints its own summary.
(cd build/host && ctest -j"$jobs" --output-on-failure) >build/host-tests.log 2>&1 &
host=$!
rc=0
(cd build/win && ctest -j"$jobs" --output-on-failure) || rc=1
wait "$host" || rc=1
cat build/host-tests.log
exit $rc
