#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer (address and undefined-behaviour
# sanitizers) in build-fuzz/ and runs each for a bounded time, one after the other.
#   scripts/fuzz.sh [SECONDS [TARGET...]]   default 60 seconds, every target
# Targets: request (the HTTP request parser), receipt (the "/printer/print" body), frame
# (the printer's frame decoder). New inputs go to build-fuzz/corpus/TARGET; the seeds in
# fuzz/corpus/TARGET are only read. A finding leaves its input in build-fuzz/ and the
# script fails.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(request receipt frame)

scripts/install-deps.sh
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DBUILD_FUZZERS=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build-fuzz -j2 --target request_parser_fuzzer receipt_fuzzer frame_fuzzer

# The executable and its options. Requests and receipts may be as long as a header or a
# body gets; frames stay short because the checks cost the square of their length.
settings() {
    case "$1" in
    request) echo "request_parser_fuzzer -max_len=65536 -len_control=0" ;;
    receipt) echo "receipt_fuzzer -max_len=65536 -dict=../fuzz/receipt.dict" ;;
    frame) echo "frame_fuzzer -max_len=4096 -dict=../fuzz/frame.dict" ;;
    *) echo "unknown fuzz target: $1" >&2; return 1 ;;
    esac
}

cd build-fuzz
for target in "${targets[@]}"; do
    line="$(settings "$target")"
    read -r program options <<<"$line"
    mkdir -p "corpus/$target"
    echo "== fuzzing $target for $seconds s"
    # shellcheck disable=SC2086 # the options are separate words
    "./fuzz/$program" "corpus/$target" "../fuzz/corpus/$target" $options \
        -max_total_time="$seconds" -timeout=10 -verbosity=0 -print_final_stats=1
done
