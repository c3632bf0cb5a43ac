#!/usr/bin/env bash
# Checks the Windows installer under Wine, in a fresh Wine prefix, the way a shop meets it:
# a silent install puts the programs, the shortcuts (starting the program in the install
# folder), the Uninstall entry and a certificate pair whose name-constrained authority is in
# the user's trusted root certificates (and whose key is the only key on the disk); the
# installed program answers a Windows program (https-call.exe) over HTTPS, verified against
# that authority; a second
# install keeps the pair and restarts the program; the uninstaller removes it all but the
# configuration and the logs. It prints the installer's size and the time of the install.
#
# Usage: scripts/windows/check-installer.sh SETUP.exe READ-SHORTCUT.exe HTTPS-CALL.exe
# (read-shortcut.exe, built from tests/packages, reads a shortcut as Windows does;
# https-call.exe, from tests/windows, calls the program as a program of its account does.)
# The checks run in a network namespace of their own, so the fixed port 9003 cannot clash
# with anything else on the machine, on an Xvfb screen of their own.
set -euo pipefail

WINE_SECONDS=300
source "$(dirname "${BASH_SOURCE[0]}")/wine-isolation.sh" "$@"

setup=$(readlink -f "$1")
read_shortcut=$(readlink -f "$2")
https_call=$(readlink -f "$3")
work=$(mktemp -d)
export WINEPREFIX=$work/prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
program_pid=""
cleanup() {
    [ -z "$program_pid" ] || kill "$program_pid" 2>/dev/null || true
    "$wineserver" -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

source "$(dirname "${BASH_SOURCE[0]}")/../checks.sh"
wine wineboot --init >/dev/null 2>&1
user_folder=$WINEPREFIX/drive_c/users/$(id -un)
install_folder=$user_folder/AppData/Local/Programs/TrivaneFiscalProxy
data_folder=$user_folder/AppData/Local/TrivaneFiscalProxy
menu=$user_folder/AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs
shortcut_name="Trivane Ledvik Drukarki fiskalne.lnk"
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\TrivaneFiscalProxy'

# The configuration and logs of an earlier installation, which no install may touch.
mkdir -p "$data_folder/Logs"
echo '{"port":"COM7","selectedPrinter":0}' >"$data_folder/config.json"
cp "$data_folder/config.json" "$work/config.json"

started=$(date +%s%N)
install_status=0
wine "$setup" /S || install_status=$?
install_milliseconds=$((($(date +%s%N) - started) / 1000000))
check "the silent install succeeds" [ "$install_status" = 0 ]

has_files() {
    local name
    for name in fiscal-printer-proxy.exe fiscal-printer-proxy-certificate.exe uninstall.exe \
        server.crt server.key ca.crt; do
        [ -f "$install_folder/$name" ] || return 1
    done
}
check "the programs, the uninstaller and the certificate pair are in the install folder" has_files

# What Windows reads from a shortcut: "PROGRAM|START IN".
shortcut() {
    wine "$read_shortcut" "$(wine winepath -w "$1" 2>/dev/null)" 2>/dev/null | tr -d '\r'
}
windows_install_folder=$(wine winepath -w "$install_folder" 2>/dev/null | tr -d '\r')
expected_shortcut="$windows_install_folder\\fiscal-printer-proxy.exe|$windows_install_folder"
check "the Startup shortcut starts the program in the install folder" \
    [ "$(shortcut "$menu/StartUp/$shortcut_name")" = "$expected_shortcut" ]
check "the Start-menu shortcut starts the program in the install folder" \
    [ "$(shortcut "$menu/$shortcut_name")" = "$expected_shortcut" ]

uninstall_entry() {
    wine reg query "$uninstall_key" 2>/dev/null | tr -d '\r'
}
entry_complete() {
    local entry
    entry=$(uninstall_entry)
    grep -q 'DisplayName.*Trivane Ledvik Drukarki fiskalne' <<<"$entry" &&
        grep -q 'DisplayVersion.*1\.0\.0\.9' <<<"$entry" &&
        grep -q 'Publisher.*Trivane' <<<"$entry" &&
        grep -q 'DisplayIcon.*fiscal-printer-proxy\.exe,0' <<<"$entry" &&
        grep -q 'UninstallString.*uninstall\.exe' <<<"$entry"
}
check "the Uninstall entry names the program, its version, publisher and icon" entry_complete

verifies() {
    openssl verify -CAfile "$install_folder/ca.crt" "$install_folder/server.crt" >/dev/null
}
check "server.crt verifies against ca.crt" verifies
names_localhost() {
    openssl x509 -in "$install_folder/server.crt" -noout -ext subjectAltName |
        grep -q 'DNS:localhost, IP Address:127.0.0.1'
}
check "server.crt names localhost and 127.0.0.1" names_localhost
constraints=$(openssl x509 -in "$install_folder/ca.crt" -noout -ext nameConstraints | tr -d '\n ')
localhost_only="X509v3NameConstraints:criticalPermitted:DNS:localhostIP:127.0.0.1/255.255.255.255"
localhost_only+="IP:0:0:0:0:0:0:0:1/FFFF:FFFF:FFFF:FFFF:FFFF:FFFF:FFFF:FFFF"
check "the authority carries the name constraints" [ "$constraints" = "$localhost_only" ]
# Text files only: a key on disk is PEM here, and the prefix's binaries are large.
keys_in_prefix() {
    grep -rlI -- '-----BEGIN.*PRIVATE KEY-----' "$WINEPREFIX" | sed "s|^$WINEPREFIX/||"
}
check "no private key but server.key is anywhere in the prefix" \
    [ "$(keys_in_prefix)" = "${install_folder#"$WINEPREFIX/"}/server.key" ]
thumbprint=$(openssl x509 -in "$install_folder/ca.crt" -noout -fingerprint -sha1 |
    sed 's/.*=//; s/://g')
root_store_entry="HKCU\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\$thumbprint"
in_root_store() {
    wine reg query "$root_store_entry" >/dev/null 2>&1
}
check "the authority is in the user's trusted root certificates" in_root_store

version_answer() {
    wine "$https_call" --cacert "$install_folder/ca.crt" 9003 GET /config/version 2>/dev/null
}
answers() {
    [ "$(version_answer)" = '"1.0.0.9"' ]
}
check "the installer starts the program" eventually answers
# Ended as its menu's exit does, then started as the Startup shortcut starts it.
wine taskkill /IM fiscal-printer-proxy.exe >/dev/null 2>&1 || true
stopped() {
    ! answers
}
eventually stopped
start_folder=$(shortcut "$menu/StartUp/$shortcut_name" | cut -d'|' -f2)
(cd "$(wine winepath -u "$start_folder" 2>/dev/null)" && exec /usr/lib/wine/wine64 \
    fiscal-printer-proxy.exe) >"$work/program.out" 2>&1 &
program_pid=$!
check "started from the Startup shortcut's folder it answers, verified against ca.crt" \
    eventually answers

cp "$install_folder/server.crt" "$work/server.crt"
cp "$install_folder/server.key" "$work/server.key"
second_status=0
wine "$setup" /S || second_status=$?
check "a second install succeeds" [ "$second_status" = 0 ]
program_status=0
wait "$program_pid" || program_status=$?
program_pid=""
check "it ends the running program through its window (exit code 0)" [ "$program_status" = 0 ]
check "it keeps the certificate pair" \
    sh -c "cmp -s '$install_folder/server.crt' '$work/server.crt' &&
        cmp -s '$install_folder/server.key' '$work/server.key'"
check "it starts the new program" eventually answers

wine "$install_folder/uninstall.exe" /S || true
# The uninstaller runs on from a copy of itself in the temporary folder.
uninstalled() {
    [ ! -e "$install_folder" ]
}
check "the uninstaller removes the install folder" eventually uninstalled
check "it ends the program" eventually stopped
no_shortcuts() {
    [ ! -e "$menu/$shortcut_name" ] && [ ! -e "$menu/StartUp/$shortcut_name" ]
}
check "it removes the shortcuts" no_shortcuts
no_uninstall_entry() {
    ! wine reg query "$uninstall_key" >/dev/null 2>&1
}
check "it removes the Uninstall entry" eventually no_uninstall_entry
not_in_root_store() {
    ! in_root_store
}
check "it removes the authority from the trusted root certificates" eventually not_in_root_store
check "it keeps the configuration and the logs" \
    sh -c "cmp -s '$data_folder/config.json' '$work/config.json' && [ -d '$data_folder/Logs' ]"

printf 'Installer: %s bytes; first silent install under Wine: %d.%03d s\n' \
    "$(stat -c %s "$setup")" $((install_milliseconds / 1000)) $((install_milliseconds % 1000))
checks_passed "Windows installer"
