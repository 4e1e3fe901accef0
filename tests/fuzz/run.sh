#!/bin/bash
# Builds the fuzz target with clang (libFuzzer, ASan, UBSan) and runs it for a
# bounded time from the committed corpus; a crash or a broken invariant fails.
# Usage: tests/fuzz/run.sh [SECONDS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
seconds=${1:-30}
work=$(mktemp -d -t mapinst-fuzzrun-XXXXXX)
trap 'rm -rf "$work"' EXIT

clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    -I"$repo/install" -I"$repo/tests/standin" \
    "$here/fuzz_install.cpp" "$repo/install/game_path.cpp" "$repo/install/install_map.cpp" \
    "$repo/install/message_box.cpp" "$repo/tests/standin/standin.cpp" -o "$work/fuzz_install"
# New inputs go to a scratch copy: the committed corpus stays as it is.
cp -r "$here/corpus" "$work/corpus"
cd "$work"
# The target's own game folder goes in here too, even if it crashes.
TMPDIR=$work ./fuzz_install -max_total_time="$seconds" -max_len=400 -print_final_stats=1 "$work/corpus" 2>&1 | tail -15
