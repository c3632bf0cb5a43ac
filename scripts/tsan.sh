#!/usr/bin/env bash
# Builds the transport, REST and service tests (and the virtual printer they start) with
# ThreadSanitizer in build-tsan/ and runs them; a data race or a lock-order inversion fails
# them. The event loop, the printer worker and the test clients are three threads of each
# service test.
#   scripts/tsan.sh
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build-tsan -G Ninja -DSANITIZE_THREADS=ON "${launcher[@]}"
cmake --build build-tsan -j2 --target transport_tests rest_tests service_tests virtual-printer

# ThreadSanitizer needs the address space laid out as it expects: without address-space
# randomisation, which kernels with many random bits would otherwise break.
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
# The sanitizer's shadow memory counts as resident: the memory test measures it, not the
# program, so it runs in the normal build only.
for suite in "transport/transport_tests --gtest_filter=-*ThreeHundredUnfinishedBodies*" \
    rest/rest_tests service/service_tests; do
    echo "== ThreadSanitizer: $suite"
    # shellcheck disable=SC2086 # the suite's options are separate words
    setarch "$(uname -m)" -R build-tsan/tests/$suite
done
