#!/usr/bin/env bash
# Builds the Windows installer fiscal-printer-proxy-VERSION-setup.exe into OUT_DIR with NSIS
# (installer.nsi) from the programs cross-built in BUILD_DIR. With SIGNING_CERT and
# SIGNING_KEY (see sign.sh) the program, the companion, the uninstaller and the installer are
# signed; without them it says that they are not.
# Usage: packaging/windows/make-installer.sh BUILD_DIR OUT_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
build=$(readlink -f "$1")
mkdir -p "$2"
out=$(readlink -f "$2")
version=$("$source_dir/scripts/version.sh")
setup=$out/fiscal-printer-proxy-$version-setup.exe
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

cp "$build/src/app/fiscal-printer-proxy.exe" \
    "$build/src/app/fiscal-printer-proxy-certificate.exe" "$stage/"
x86_64-w64-mingw32-strip "$stage"/*.exe
signing=()
if [ -n "${SIGNING_CERT:-}" ] && [ -n "${SIGNING_KEY:-}" ]; then
    "$here/sign.sh" "$stage/fiscal-printer-proxy.exe"
    "$here/sign.sh" "$stage/fiscal-printer-proxy-certificate.exe"
    signing=(-DSIGN="$here/sign.sh")
else
    echo "No SIGNING_CERT and SIGNING_KEY: the installer and its programs are not signed," \
        "so Windows names no publisher for them"
fi
makensis -V2 -DVERSION="$version" -DPROGRAMS="$stage" -DICON="$source_dir/src/app/icons/main.ico" \
    -DOUT_FILE="$setup" "${signing[@]}" "$here/installer.nsi"
[ ${#signing[@]} = 0 ] || "$here/sign.sh" "$setup"
echo "$setup"
