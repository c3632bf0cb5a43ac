#!/usr/bin/env bash
# Checks the Windows installer under Wine, in a fresh Wine prefix, the way a shop meets it:
# a silent install puts the programs, the shortcuts (starting the program in the install
# folder), the Uninstall entry and a certificate pair whose name-constrained authority is in
# the user's trusted root certificates (and whose key is the only key on the disk); the
# installed program answers a Windows program (https-call.exe) over HTTPS, verified against
# that authority; a second
# install keeps the pair and restarts the program; the uninstaller removes it all but the
# configuration and the logs. On the way, the browser policies are added to a list that was
# there and removed from it again, and the installed program renews a pair 10 days from its
# end (made with the clock moved back by libfaketime). Then, in a second fresh prefix, the
# same for all users (/ALLUSERS /S /D= a folder made beforehand outside Program Files). It
# prints the installer's size and the time of the
# install.
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

# A browser policy list that an administrator keeps, which the install adds to.
chrome_policy='Software\Policies\Google\Chrome\LocalNetworkAccessAllowedForUrls'
edge_policy='Software\Policies\Microsoft\Edge\LocalNetworkAccessAllowedForUrls'
wine reg add "HKCU\\$chrome_policy" /v 1 /d https://erp.example.com /f >/dev/null 2>&1
# "1=VALUE 2=VALUE ..." of a policy list, read the way the browsers read it: from 1 up to the
# first number missing.
policy_list() {
    local number=1 value list=""
    while value=$(wine reg query "$1" /v "$number" 2>/dev/null | tr -d '\r' |
        sed -n "s/^ *$number *REG_SZ *//p") && [ -n "$value" ]; do
        list+="$number=$value "
        number=$((number + 1))
    done
    echo "${list% }"
}

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
thumbprint_of() {
    openssl x509 -in "$1" -noout -fingerprint -sha1 | sed 's/.*=//; s/://g'
}
# In the Root store of $1 (HKCU: the user's, HKLM: the machine's).
trusted_in() {
    wine reg query "$1\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\$2" \
        >/dev/null 2>&1
}
not_trusted_in() {
    ! trusted_in "$@"
}
thumbprint=$(thumbprint_of "$install_folder/ca.crt")
check "the authority is in the user's trusted root certificates" trusted_in HKCU "$thumbprint"
check "the Chrome policy list gets the web application after the entry that was there" \
    [ "$(policy_list "HKCU\\$chrome_policy")" = "1=https://erp.example.com 2=https://ledvik.trivane.pl" ]
check "the Edge policy list is made with it" \
    [ "$(policy_list "HKCU\\$edge_policy")" = "1=https://ledvik.trivane.pl" ]

version_answer() {
    wine "$https_call" --cacert "$install_folder/ca.crt" 9003 GET /config/version 2>/dev/null
}
answers() {
    [ "$(version_answer)" = "\"$(program_version)\"" ]
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

start_installed() {
    (cd "$install_folder" && exec /usr/lib/wine/wine64 fiscal-printer-proxy.exe) \
        >"$work/program.out" 2>&1 &
    program_pid=$!
}
stop_installed() {
    wine taskkill /IM fiscal-printer-proxy.exe >/dev/null 2>&1 || true
    wait "$program_pid" || true
    program_pid=""
}
# A pair 10 days from its end: made and trusted by the companion with the clock 387 days back.
stop_installed
(cd "$install_folder" && exec faketime -f -387d /usr/lib/wine/wine64 \
    fiscal-printer-proxy-certificate.exe make --trust .) >/dev/null 2>&1 || true
aging=$(thumbprint_of "$install_folder/ca.crt")
aged_pair_made() {
    [ "$aging" != "$thumbprint" ] &&
        ! openssl x509 -in "$install_folder/server.crt" -noout -checkend $((11 * 86400)) \
            >/dev/null
}
check "a pair 10 days from its end is made" aged_pair_made
check "and its authority trusted by the user" trusted_in HKCU "$aging"
start_installed
renewed() {
    [ "$(thumbprint_of "$install_folder/ca.crt")" != "$aging" ] && answers &&
        not_trusted_in HKCU "$aging"
}
check "the program renews it and serves the new pair, verified against the new authority" \
    eventually renewed
renewed_thumbprint=$(thumbprint_of "$install_folder/ca.crt")
check "the Root store holds the new authority's thumbprint" trusted_in HKCU "$renewed_thumbprint"
check "and not the old one's" not_trusted_in HKCU "$aging"

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
check "it removes the authority from the trusted root certificates" \
    eventually not_trusted_in HKCU "$renewed_thumbprint"
check "it removes only its own entry of the Chrome policy list" \
    [ "$(policy_list "HKCU\\$chrome_policy")" = "1=https://erp.example.com" ]
no_edge_policy() {
    ! wine reg query "HKCU\\$edge_policy" >/dev/null 2>&1
}
check "and the Edge list it made" no_edge_policy
check "it keeps the configuration and the logs" \
    sh -c "cmp -s '$data_folder/config.json' '$work/config.json' && [ -d '$data_folder/Logs' ]"

# For all users, as a deployment tool runs it, in a fresh prefix (Wine's user is an
# administrator, and Windows' machine-wide folders and keys are all there). The user's prefix
# goes first: a busy machine's disk may not hold two.
"$wineserver" -k 2>/dev/null || true
"$wineserver" -w
rm -rf "$WINEPREFIX"
export WINEPREFIX=$work/machine-prefix
wine wineboot --init >/dev/null 2>&1
# Wine's services are still starting when wineboot returns, and its task scheduler answers
# only once they are up; Windows' is up before anyone can log on.
"$wineserver" -w
# A folder outside Program Files that an administrator made beforehand, as docs/install.md's /D
# example: what users may do there must not decide what SYSTEM runs.
machine_folder=$WINEPREFIX/drive_c/Programs/TrivaneFiscalProxy
mkdir -p "$machine_folder"
windows_machine_folder=$(wine winepath -w "$machine_folder" 2>/dev/null | tr -d '\r')
common_startup=$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/StartUp
task_file=$WINEPREFIX/drive_c/windows/system32/tasks/Trivane\ Fiscal\ Proxy\ certificate\ renewal
machine_status=0
wine "$setup" /ALLUSERS /S "/D=$windows_machine_folder" || machine_status=$?
check "/ALLUSERS /S /D=... succeeds" [ "$machine_status" = 0 ]
machine_files() {
    local name
    for name in fiscal-printer-proxy.exe fiscal-printer-proxy-certificate.exe uninstall.exe \
        server.crt server.key ca.crt renewed-by-task; do
        [ -f "$machine_folder/$name" ] || return 1
    done
}
check "it installs the programs and the pair in that folder" machine_files
# Wine keeps no access lists (it maps them to Unix permissions), so the list itself is not
# read here; the companion's protect, which sets it and reads it back on Windows, ran on the
# folder before anything went into it: the installer stops when it fails.
protected_by_the_companion() {
    wine "$machine_folder/fiscal-printer-proxy-certificate.exe" protect "$windows_machine_folder" \
        2>/dev/null | tr -d '\r' | grep -q "^protected: .* administrators only"
}
check "the companion gives the folder to administrators" protected_by_the_companion
check "the common Startup shortcut starts the program in that folder" \
    [ "$(shortcut "$common_startup/$shortcut_name")" = \
        "$windows_machine_folder\\fiscal-printer-proxy.exe|$windows_machine_folder" ]
machine_thumbprint=$(thumbprint_of "$machine_folder/ca.crt")
check "the authority is in the machine's trusted root certificates" \
    trusted_in HKLM "$machine_thumbprint"
check "and not in the user's" not_trusted_in HKCU "$machine_thumbprint"
check "the policies are written for the machine" \
    [ "$(policy_list "HKLM\\$chrome_policy") $(policy_list "HKLM\\$edge_policy")" = \
        "1=https://ledvik.trivane.pl 1=https://ledvik.trivane.pl" ]
# Wine's scheduler keeps a task's name and settings but not its triggers, account or
# commands, so those are read from the definition the installer registered.
registered() {
    grep -q 'Trivane Ledvik Drukarki fiskalne' "$task_file"
}
check "the scheduled task is registered" registered
renews_as_system() {
    local task folder="\"$windows_machine_folder\""
    task=$(iconv -f UTF-16 -t UTF-8 "$machine_folder/renewal-task.xml") || return 1
    grep -qF '<UserId>S-1-5-18</UserId>' <<<"$task" && grep -qF '<CalendarTrigger>' <<<"$task" &&
        grep -qF '<BootTrigger>' <<<"$task" &&
        [ "$(grep -o '<Arguments>[^<]*</Arguments>' <<<"$task" | tr '\n' '|')" = \
            "<Arguments>forget --machine $folder</Arguments>|<Arguments>renew --machine $folder</Arguments>|" ]
}
check "as SYSTEM, every day and at every start: forget, then renew, the machine's pair" \
    renews_as_system
machine_uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\TrivaneFiscalProxy'
has_machine_entry() {
    wine reg query "$machine_uninstall_key" >/dev/null 2>&1
}
check "the Uninstall entry is the machine's" has_machine_entry

wine "$machine_folder/uninstall.exe" /S || true
machine_uninstalled() {
    [ ! -e "$machine_folder" ] && [ ! -e "$common_startup/$shortcut_name" ] &&
        [ ! -e "$task_file" ] && not_trusted_in HKLM "$machine_thumbprint" &&
        ! wine reg query "HKLM\\$chrome_policy" >/dev/null 2>&1 &&
        ! wine reg query "HKLM\\$edge_policy" >/dev/null 2>&1 &&
        ! has_machine_entry
}
check "its uninstaller leaves nothing of its own: files, shortcut, task, authority, policies" \
    eventually machine_uninstalled

printf 'Installer: %s bytes; first silent install under Wine: %d.%03d s\n' \
    "$(stat -c %s "$setup")" $((install_milliseconds / 1000)) $((install_milliseconds % 1000))
checks_passed "Windows installer"
