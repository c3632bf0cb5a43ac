#!/usr/bin/env bash
# Builds what shops install into dist/: the Windows installer
# fiscal-printer-proxy-VERSION-setup.exe (packaging/windows) and the Debian package
# fiscal-printer-proxy_VERSION_amd64.deb (packaging/debian). Installs what is missing and
# builds the Windows libraries once, as the tests do, and reuses the tests' build folders.
#   SIGNING_CERT=cert.pem SIGNING_KEY=key.pem scripts/package.sh    signs the Windows programs
#   and the installer (packaging/windows/sign.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
scripts/install-deps.sh scripts/windows/debian-packages.txt
scripts/windows/build-deps.sh

windows_build=${WINDOWS_BUILD_DIR:-build-windows}
cmake -S . -B "$windows_build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
    -DCMAKE_BUILD_TYPE=Release
nice cmake --build "$windows_build" -j2 --target fiscal-printer-proxy \
    fiscal-printer-proxy-certificate

packaging/windows/make-installer.sh "$windows_build" dist
packaging/debian/make-deb.sh build dist
ls -l dist
