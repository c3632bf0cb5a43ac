#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the Linux build here, then the
# Windows program cross-built and tested under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
ctest --test-dir build --output-on-failure -j"$(nproc)"
scripts/windows/test.sh
