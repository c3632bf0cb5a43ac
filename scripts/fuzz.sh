#!/usr/bin/env bash
# Builds the request-parser fuzz target with clang's libFuzzer (address and undefined-
# behaviour sanitizers) in build-fuzz/ and runs it for a bounded time.
#   scripts/fuzz.sh [SECONDS]     default 60
# New inputs go to build-fuzz/corpus/request; the seeds in fuzz/corpus/request are only
# read. A crash leaves its input in build-fuzz/ and the script fails.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
scripts/install-deps.sh
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DBUILD_FUZZERS=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build-fuzz -j2 --target request_parser_fuzzer
mkdir -p build-fuzz/corpus/request
cd build-fuzz
./fuzz/request_parser_fuzzer corpus/request ../fuzz/corpus/request \
    -max_len=65536 -len_control=0 -max_total_time="$seconds" -timeout=10 -print_final_stats=1
