#!/usr/bin/env bash
# Cross-builds the Windows program and its tests with mingw-w64 into build-windows/ (or
# $WINDOWS_BUILD_DIR), runs the tests under Wine on an Xvfb screen, and checks the program
# itself (scripts/windows/check-program.sh) and its installer (check-installer.sh) under
# Wine. The Windows libraries are built once into $WINDOWS_DEPS_DIR
# (scripts/windows/build-deps.sh) and reused after that.
set -euo pipefail
cd "$(dirname "$0")/../.."

if [ -z "${WINDOWS_TEST_SCREEN:-}" ]; then
    scripts/install-deps.sh
    scripts/install-deps.sh scripts/windows/debian-packages.txt
    scripts/windows/build-deps.sh
    # Windows programs make windows (the tray's among them), and Wine makes them on X only.
    exec env WINDOWS_TEST_SCREEN=1 \
        xvfb-run --auto-servernum --server-args="-screen 0 1024x768x24" "$0" "$@"
fi

source scripts/checks.sh
build=$(readlink -f "${WINDOWS_BUILD_DIR:-build-windows}")
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

# The Wine prefix lives in the build folder; Mono and Gecko are not needed and not offered.
export WINEPREFIX=$build/wine-prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$build"

cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
    -DCMAKE_BUILD_TYPE=Release
nice cmake --build "$build" -j2

# One Wine server for all the test programs, ended before this screen goes away. Wine's own
# services start before the tests do: test programs starting side by side on a Wine that is
# still starting up have been seen to hang.
"$wineserver" --kill 2>/dev/null || true
"$wineserver" --wait
"$wine" wineboot --init
# A test program that crashes prints its backtrace and ends, instead of waiting at Wine's
# crash dialog until its time runs out.
"$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null
"$wineserver" --kill
"$wineserver" --wait
"$wineserver" --persistent
"$wine" wineboot
ctest_status=0
# A test program that Wine leaves hanging at its start is run once more; a failure is not.
ctest --test-dir "$build" --output-on-failure -j2 --timeout 120 --repeat after-timeout:2 ||
    ctest_status=$?
"$wineserver" --kill
"$wineserver" --wait

# The checks start a Wine server, a screen and a network of their own, and the Linux virtual
# printer for the program's serial port.
cmake -S . -B build -G Ninja >/dev/null
nice cmake --build build -j2 --target virtual-printer
program_status=0
scripts/windows/check-program.sh "$build/src/app/fiscal-printer-proxy.exe" \
    build/tools/virtual-printer/virtual-printer "$build/tests/windows/https-call.exe" ||
    program_status=$?
# The installer check makes Wine prefixes of its own, about 700 MB each. The tests' prefix has
# served its last check, so it goes first: a machine with little room left has run out of it
# there. The next run makes it again.
"$wineserver" --kill 2>/dev/null || true
"$wineserver" --wait
rm -rf "$WINEPREFIX"

# The installer, made from this build, installed and uninstalled in a Wine prefix of its own.
packaging/windows/make-installer.sh "$build" "$build/installer"
installer_status=0
scripts/windows/check-installer.sh "$build"/installer/fiscal-printer-proxy-*-setup.exe \
    "$build/tests/packages/read-shortcut.exe" "$build/tests/windows/https-call.exe" ||
    installer_status=$?
[ "$ctest_status" = 0 ] && [ "$program_status" = 0 ] && [ "$installer_status" = 0 ]
