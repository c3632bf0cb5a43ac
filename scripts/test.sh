#!/usr/bin/env bash
# Installs what is missing, builds, checks the names (scripts/naming.sh), runs every test, the
# browser contract test (which needs
# the program's fixed port 9003, so it runs after ctest and alone), the Windows program's
# build and tests under Wine, the threaded tests under ThreadSanitizer, then fuzzes for a
# bounded time.
#   FUZZ_SECONDS=N scripts/test.sh    seconds per fuzz target (default 60; 0 skips fuzzing)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/checks.sh
# Each step names the room left on the disk, which a busy machine has been seen to run out of.
step() {
    echo "== $1 ($(df -h --output=avail . | tail -n 1 | tr -d ' ') free on the disk)"
}
scripts/build.sh
scripts/naming.sh
step "the tests"
ctest --test-dir build --output-on-failure -j"$(nproc)"

step "browser contract test (Chromium against the program on port 9003)"
(cd tests/browser && npm ci --no-audit --no-fund && npm test)

step "the Windows program (cross-built with mingw-w64, tested under Wine)"
scripts/windows/test.sh

step "the transport, REST and service tests under ThreadSanitizer"
scripts/tsan.sh

fuzz_seconds="${FUZZ_SECONDS:-60}"
if [ "$fuzz_seconds" -gt 0 ]; then
    step "fuzzing every target for $fuzz_seconds s each"
    scripts/fuzz.sh "$fuzz_seconds"
fi
