#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test, then fuzzes for a bounded time.
#   FUZZ_SECONDS=N scripts/test.sh    seconds per fuzz target (default 60; 0 skips fuzzing)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
ctest --test-dir build --output-on-failure -j"$(nproc)"

fuzz_seconds="${FUZZ_SECONDS:-60}"
if [ "$fuzz_seconds" -gt 0 ]; then
    echo "== fuzzing every target for $fuzz_seconds s each"
    scripts/fuzz.sh "$fuzz_seconds"
fi
