#!/usr/bin/env bash
# Checks the Windows program under Wine the way a shop meets it: started beside its
# certificate pair it answers "/config/version" over HTTPS to a Windows program of the same
# account (https-call.exe) and refuses curl on the Linux side, whose account it cannot
# learn, talks to a printer on COM5 (the Linux virtual printer on a pseudo-terminal) and prints a receipt
# on it, logs under the Wine user's local application-data folder, adds its tray icon (on an
# Xvfb screen) and changes it with the connection, lets no second instance start, and ends
# through its window's WM_CLOSE, with no use of freed memory that Wine's heap checks see;
# with an expired pair whose renewal waits at a dialog nobody answers, it listens with the
# pair it has and ends without waiting for the dialog; started without certificates it ends
# with exit code 1.
#
# Usage: scripts/windows/check-program.sh PROGRAM.exe VIRTUAL-PRINTER HTTPS-CALL.exe
# WINEPREFIX names the Wine prefix to use. The checks run in a network namespace of their own,
# so the fixed port 9003 cannot clash with anything else on the machine.
set -euo pipefail

WINE_SECONDS=120
source "$(dirname "${BASH_SOURCE[0]}")/wine-isolation.sh" "$@"

program=$(readlink -f "$1")
virtual_printer=$(readlink -f "$2")
https_call=$(readlink -f "$3")
: "${WINEPREFIX:?WINEPREFIX must name the Wine prefix}"
export WINEDLLOVERRIDES="mscoree,mshtml="
work=$(mktemp -d)
first_pid=""
com5=$WINEPREFIX/dosdevices/com5

cleanup() {
    [ -z "$first_pid" ] || kill "$first_pid" 2>/dev/null || true
    "$wineserver" -k 2>/dev/null || true
    rm -f "$com5"
    rm -rf "$work"
}
trap cleanup EXIT

source "$(dirname "${BASH_SOURCE[0]}")/../checks.sh"

# A fresh server, so that Wine's tray (in explorer.exe) starts from the program below and
# writes its trace where the program's goes.
"$wineserver" -k 2>/dev/null || true
"$wineserver" -w

local_app_data=$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local
log_file=$local_app_data/TrivaneFiscalProxy/Logs/log_0.txt
rm -rf "$local_app_data/TrivaneFiscalProxy"

# The printer: Wine opens COM5 as the device its dosdevices entry names.
start_virtual_printer "$virtual_printer" "$work/printer.log" --pty "$work/printer" \
    --journal "$work/journal.txt"
ln -sfn "$(readlink -f "$work/printer")" "$com5"
mkdir -p "$local_app_data/TrivaneFiscalProxy"
cat >"$local_app_data/TrivaneFiscalProxy/config.json" <<'CONFIG'
{"dontPrintNipOnFiscalPrinter":false,"isValid":true,"paymentMapping":[],"port":"COM5",
"printInvoicesOnFiscalPrinter":false,"questionBeforeFiscalization":false,"selectedPrinter":1,
"vatMappingForNoObligation":0}
CONFIG

mkdir "$work/shop" "$work/empty"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=localhost \
    -keyout "$work/shop/server.key" -out "$work/shop/server.crt" 2>/dev/null

# First instance, with the certificate pair in its working folder.
# Wine's heap checks fill freed memory and report a free of a pointer read from it.
(cd "$work/shop" &&
    WINEDEBUG=-all,+systray,warn+heap exec timeout 300 /usr/lib/wine/wine64 "$program") \
    >"$work/first.out" 2>&1 &
first_pid=$!

# Wine's tray (in explorer.exe) starts with the first Windows program that needs a desktop,
# and https-call.exe below is one: the program must come first, so that the tray's trace
# goes where the program's goes.
check "adds the tray icon" eventually grep -q "add_to_standalone_tray added 100 " "$work/first.out"

# The program serves only programs of its own account: a Windows program under this Wine.
call() { # METHOD PATH [BODY]
    WINEDEBUG=-all wine "$https_call" --cacert "$work/shop/server.crt" 9003 "$@" 2>/dev/null
}
answers_version() {
    [ "$(call GET /config/version)" = "\"$(program_version)\"" ]
}
check "answers /config/version over HTTPS" \
    eventually --seconds 120 --while-running "$first_pid" answers_version

# What happens on the program's main thread may come after the server's answers.
check "connects to the printer on COM5 at start" \
    [ "$(call GET /config/is_connected)" = true ]
receipt='{"GrossTotal": 12.30, "FiscalPrinterPaymentId": 0, "Items": [{"ProductName":
    "Chleb żytni", "ProductUnitOfMeasurment": "szt", "Quantity": 1,
    "ProductCurrencyGrossPrice": 12.30, "FiscalPrinterVatRateType": 0, "GrossValue": 12.30}]}'
print_answer=$(call POST /printer/print "$receipt" || true)
check "prints a receipt on the printer" [ "$print_answer" = true ]
check "the receipt reaches the printer with its Polish letters" \
    grep -qF "LINE Chleb żytni | 1.00 szt x 12.30 | 12.30 A" "$work/journal.txt"

# The program's own page reads its details from "/status"; the log folder is the Windows one.
status_answer=$(call GET /status || true)
status_has() {
    grep -qF "$1" <<<"$status_answer"
}
check "its page's status shows the printer connected" status_has '"connected":true'
check "its page's status names the log folder under AppData\\Local" \
    status_has 'AppData\\Local\\TrivaneFiscalProxy\\Logs"'

# The log is a Windows text file: its lines end in CR LF.
log_has() {
    tr -d '\r' <"$log_file" | grep -Eq "$1"
}
timestamp='\[[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{6}\]'
check "logs under the local application-data folder in the log format" \
    log_has "^$timestamp <info> : Starting application\. \$"
check "logs the Windows version" log_has "^$timestamp <info> : System version [0-9]+\.[0-9]+ \$"
curl_answer=$(curl --silent --show-error --insecure --max-time 30 \
    https://127.0.0.1:9003/config/version 2>&1 || true)
check "refuses curl, a program whose account it cannot learn, before the handshake" \
    grep -q "alert access denied" <<<"$curl_answer"
refusal="<error> : Refused the connection from 127\.0\.0\.1:[0-9]+ before its TLS handshake"
check "logs the refusal" log_has "$refusal: its account cannot be learnt"
check "the tray icon has id 100, a callback message, an icon and a tooltip (flags 7)" \
    grep -Eq "modify_icon id=0x64 hwnd=[0-9A-Fa-f]+ flags=7\$" "$work/first.out"
# Closing the connection is published on the server thread and changes the icon on the main
# thread: a second change of the icon after the one that added it.
icon_changed() {
    [ "$(grep -c "modify_icon id=0x64 " "$work/first.out")" -ge 2 ]
}
call GET /disconnect >/dev/null || true
check "a closed printer connection changes the tray icon" eventually icon_changed

second_status=0
(cd "$work/shop" && WINEDEBUG=-all wine "$program") >/dev/null 2>&1 || second_status=$?
check "a second start ends with exit code 0" [ "$second_status" = 0 ]
check "the first instance goes on serving" answers_version

# Without /F, taskkill closes the program's windows with WM_CLOSE, as its menu's exit does.
WINEDEBUG=-all wine taskkill /IM "$(basename "$program")" >/dev/null 2>&1 || true
first_status=0
wait "$first_pid" || first_status=$?
first_pid=""
check "WM_CLOSE ends the program with exit code 0" [ "$first_status" = 0 ]
check "the tray icon is removed" grep -q "remove_from_standalone_tray removed 100 " "$work/first.out"
last_log_line_is_exit() {
    tr -d '\r' <"$log_file" | tail -n 1 | grep -q '<info> : Exit\.\.\. $'
}
check "\"Exit...\" is the last log line" last_log_line_is_exit
no_use_of_freed_memory() {
    ! grep -q "warn:heap" "$work/first.out"
}
check "Wine saw no use of freed memory, also as the program's threads ended" \
    no_use_of_freed_memory

# An expired pair whose renewal waits at Windows' confirmation that nobody answers (a
# companion that shows a dialog and waits): the program listens with the pair it has after
# its bounded wait, and its exit does not wait for the dialog.
companion=$(dirname "$program")/fiscal-printer-proxy-certificate.exe
mkdir "$work/renewing" "$work/waiting"
(cd "$work/renewing" && WINEDEBUG=-all exec faketime -f -400d /usr/lib/wine/wine64 "$companion" \
    make .) >/dev/null 2>&1
cp "$program" "$work/waiting/"
cp "$(dirname "$https_call")/unanswered-dialog.exe" "$work/waiting/$(basename "$companion")"
rm -f "$log_file"
(cd "$work/renewing" && WINEDEBUG=-all exec timeout 300 /usr/lib/wine/wine64 \
    "$work/waiting/$(basename "$program")") >"$work/renewing.out" 2>&1 &
first_pid=$!
listens_to_curl() {
    grep -q "alert access denied" <<<"$(curl --silent --show-error --insecure --max-time 10 \
        https://127.0.0.1:9003/config/version 2>&1)"
}
check "with a renewal at an unanswered dialog it listens with the pair it has" \
    eventually --seconds 120 --while-running "$first_pid" listens_to_curl
check "and logs that the renewal goes on beside it" \
    log_has "<warning> : The certificate's renewal has not ended after 15 s"
WINEDEBUG=-all wine taskkill /IM "$(basename "$program")" >/dev/null 2>&1 || true
ending_started=$(date +%s)
renewing_status=0
wait "$first_pid" || renewing_status=$?
first_pid=""
ending_seconds=$(($(date +%s) - ending_started))
check "its exit does not wait for the dialog (exit code 0 within 30 s)" \
    [ "$renewing_status" = 0 -a "$ending_seconds" -lt 30 ]

# Without certificates, and without a screen, so that the error box cannot wait for a click;
# Wine's trace of the call shows what the box said. A fresh Wine server has no desktop on the
# screen either.
"$wineserver" -k 2>/dev/null || true
"$wineserver" -w
wine reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /d user32.MessageBoxW /f >/dev/null 2>&1
rm -f "$log_file"
missing_status=0
(cd "$work/empty" && unset DISPLAY && WINEDEBUG=-all,+relay wine "$program") \
    >"$work/missing.out" 2>&1 || missing_status=$?
check "a start without certificates ends with exit code 1" [ "$missing_status" = 1 ]
check "a start without certificates logs why" \
    log_has "^$timestamp <fatal> : Certificate files not found\.\.\. \$"
# The Polish letters as Wine writes them: \017c is ż, \0107 ć, \00f3 ó, \0142 ł, \0105 ą.
box_text='L"Nie mo\017cna uruchomi\0107 aplikacji: nie znaleziono wszystkich plik\00f3w"'
box_caption='L"B\0142\0105d"'
# No owner window, the text, the caption, and MB_OK with MB_ICONERROR (0x10).
error_box_shown() {
    grep -aF "Call user32.MessageBoxW(00000000," "$work/missing.out" |
        grep -aF "$box_text," | grep -aqF " $box_caption,00000010)"
}
check "a start without certificates shows the error box" error_box_shown

checks_passed "Windows program"
