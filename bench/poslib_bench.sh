#!/usr/bin/env bash
# One receipt of 100 lines through the open printer library to the virtual printer, over a
# pseudo-terminal and over TCP: commands per second and bytes on the line against 9600 baud.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j2 --target poslib_bench virtual-printer
build/bench/poslib_bench
