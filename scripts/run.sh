#!/usr/bin/env bash
# Installs what is missing, builds, makes a localhost certificate when there is none, starts
# the virtual printer (unless PRINTER names a real one) and then the program, in ./run/.
#
#   scripts/run.sh                    the virtual printer, journal in run/journal.txt
#   PRINTER=COM3 scripts/run.sh       a real printer: COMn, a device path or tcp://HOST:PORT
#
# Ctrl+C ends both (the virtual printer ends with this script).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
run_dir="$root/run"
program="$root/build/src/app/fiscal-printer-proxy"
virtual_printer="$root/build/tools/virtual-printer/virtual-printer"
data_home="$run_dir/data"
config_file="$data_home/TrivaneFiscalProxy/config.json"
journal="$run_dir/journal.txt"
printer_log="$run_dir/virtual-printer.log"
address="https://localhost:9003"

source scripts/checks.sh
scripts/build.sh
mkdir -p "$run_dir" "$data_home/TrivaneFiscalProxy"

# Chromium and Chrome read the user's NSS database; it only exists once they have run, and
# mkcert puts its authority only into databases that exist.
prepare_browser_trust_store() {
    if [ ! -d "$HOME/.pki/nssdb" ] && command -v certutil >/dev/null; then
        mkdir -p "$HOME/.pki/nssdb"
        certutil -d "sql:$HOME/.pki/nssdb" -N --empty-password
    fi
}

make_certificate_with_mkcert() {
    prepare_browser_trust_store
    mkcert -install &&
        mkcert -cert-file "$run_dir/server.crt" -key-file "$run_dir/server.key" \
            localhost 127.0.0.1 ::1 &&
        cp "$(mkcert -CAROOT)/rootCA.pem" "$run_dir/ca.pem"
}

make_self_signed_certificate() {
    openssl req -x509 -newkey rsa:2048 -nodes -days 825 -subj "/CN=localhost" \
        -addext "subjectAltName=DNS:localhost,IP:127.0.0.1,IP:::1" \
        -keyout "$run_dir/server.key" -out "$run_dir/server.crt" 2>/dev/null
    cp "$run_dir/server.crt" "$run_dir/ca.pem"
    echo "Self-signed certificate made: trust $run_dir/server.crt in your browser" \
        "(or open $address/config/version once and accept it)."
}

ensure_certificate() {
    if [ -e "$run_dir/server.crt" ] && [ -e "$run_dir/server.key" ]; then
        return
    fi
    if [ -e "$run_dir/server.crt" ] || [ -e "$run_dir/server.key" ]; then
        echo "Only one of server.crt and server.key is in $run_dir; add the other or remove it." >&2
        exit 1
    fi
    make_certificate_with_mkcert || make_self_signed_certificate
}

# Points the configuration at the printer and keeps every other setting the web
# application saved; a file that does not parse is kept beside the new one.
write_configuration() {
    local port=$1 updated
    if [ -f "$config_file" ] &&
        updated=$(jq -c --arg port "$port" \
            '.port = $port | .selectedPrinter = ([.selectedPrinter // 0, 1] | max)' \
            "$config_file" 2>/dev/null); then
        printf '%s\n' "$updated" >"$config_file"
        return
    fi
    [ -f "$config_file" ] && mv "$config_file" "$config_file.unreadable"
    jq -nc --arg port "$port" '{dontPrintNipOnFiscalPrinter: false, isValid: true,
        paymentMapping: [], port: $port, printInvoicesOnFiscalPrinter: false,
        questionBeforeFiscalization: false, selectedPrinter: 1,
        vatMappingForNoObligation: 0}' >"$config_file"
}

program_pid=""
stop_program() {
    if [ -n "$program_pid" ] && kill -TERM "$program_pid" 2>/dev/null; then
        wait "$program_pid" 2>/dev/null || true
    fi
}
trap stop_program EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

program_answers() {
    curl -sk --max-time 2 "$address/config/version" >/dev/null
}

wait_until_serving() {
    eventually --while-running "$program_pid" program_answers && return
    if kill -0 "$program_pid" 2>/dev/null; then
        echo "The program does not answer on $address." >&2
        exit 1
    fi
    local status=0
    wait "$program_pid" || status=$?
    program_pid=""
    if [ "$status" -eq 0 ]; then
        echo "Another instance of the program is already running; stop it first." >&2
    else
        echo "The program stopped with exit code $status; its log is in" \
            "$data_home/TrivaneFiscalProxy/Logs." >&2
    fi
    exit 1
}

ensure_certificate
if [ -n "${PRINTER:-}" ]; then
    write_configuration "$PRINTER"
else
    # The virtual printer listens on a free TCP port of 127.0.0.1: the program opens no
    # pseudo-terminal, as it opens only what can be a printer.
    start_virtual_printer "$virtual_printer" "$printer_log" --tcp 0 --journal "$journal"
    write_configuration "$virtual_printer_address"
fi

cd "$run_dir"
XDG_DATA_HOME="$data_home" "$program" &
program_pid=$!
wait_until_serving

cacert=""
[ -f "$run_dir/ca.pem" ] && cacert="--cacert $(printf '%q' "$run_dir/ca.pem") "
receipt='{"GrossTotal":12.30,"FiscalPrinterPaymentId":0,"Items":[{"ProductName":"Chleb żytni","ProductUnitOfMeasurment":"szt","Quantity":1,"ProductCurrencyGrossPrice":12.30,"FiscalPrinterVatRateType":0,"GrossValue":12.30}]}'
cat <<INFO

The fiscal printer proxy listens on $address (certificate and key in $run_dir).
Print a receipt:
  curl $cacert-H 'Content-Type: application/json; charset=utf-8' -d '$receipt' $address/printer/print
INFO
if [ -n "${virtual_printer_pid:-}" ]; then
    echo "The virtual printer writes what it prints to $journal."
else
    echo "Printer: $PRINTER."
fi
echo "Configuration and logs: $data_home/TrivaneFiscalProxy. Ctrl+C stops."
wait "$program_pid" || true
program_pid=""
