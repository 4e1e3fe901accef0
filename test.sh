#!/bin/bash
# Builds everything and runs every test: host unit tests (plain and with
# ASan/UBSan), checks on the built program, and the end-to-end suite.
set -euo pipefail
cd "$(dirname "$0")"

tools/setup.sh test
./build.sh

jobs=$(nproc)
host_args=(-DCMAKE_BUILD_TYPE=Debug)

cmake -S . -B build/host "${host_args[@]}" >/dev/null
cmake --build build/host -j"$jobs"
cmake -S . -B build/asan "${host_args[@]}" -DSANITIZE=ON >/dev/null
cmake --build build/asan -j"$jobs"

(cd build/asan && ctest -L unit -j"$jobs" --output-on-failure)
(cd build/host && ctest -j"$jobs" --output-on-failure)
