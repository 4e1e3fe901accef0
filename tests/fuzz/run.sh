#!/bin/bash
# Builds the fuzz target with clang (libFuzzer, ASan, UBSan) and runs it for a
# bounded time from the committed corpus; a crash or a broken invariant fails.
# Usage: tests/fuzz/run.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/../.."
work=$(mktemp -d -t mapinst-fuzzrun-XXXXXX)
trap 'rm -rf "$work"' EXIT

clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    -Iinstall -Iui -Itests/standin tests/fuzz/fuzz_install.cpp tests/standin/standin.cpp \
    install/{game_path,install_map,message_box}.cpp -o "$work/fuzz_install"
# New inputs go to a scratch copy: the committed corpus stays as it is.
cp -r tests/fuzz/corpus "$work/corpus"
cd "$work"
# The target's own game folder goes in here too, even if it crashes.
TMPDIR=$work ./fuzz_install -max_total_time="${1:-30}" -max_len=400 -print_final_stats=1 "$work/corpus" 2>&1 | tail -15
