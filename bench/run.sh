#!/usr/bin/env bash
# The program's costs, printed as one table (Markdown):
#   1. GET "/config/version" with a new TLS connection per request, at concurrency 1 and 32:
#      requests per second, latency p50/p99 and the server's processor time per request, and
#      the same for nginx serving the same body over TLS 1.2 or 1.3 with "Connection: close"
#      on another loopback port with the same certificate; the ratio to nginx is the figure
#      that counts. Two load generators measure it, in turn within every round: the
#      project's own (bench/https_load.cpp: a full handshake for every connection, latency
#      from connect to close) and wrk (it resumes the TLS session of its previous
#      connection, as browsers do, and times only from request to answer).
#   2. The program's resident size idle after start-up and its peak during that load.
#   3. Receipts of 1, 10 and 100 lines through HTTPS and the driver to a virtual printer on a
#      9600-baud line: the wall time of "/printer/print", against the floor (the receipt's
#      own frames, without tokens, one way on that line), in a table of their own; and the
#      latency of "/status" (median and worst of 20) asked while a 100-line receipt prints.
#   4. One-line receipts a second to a virtual printer that passes bytes at once, without an
#      Idempotency-Key and with one, with no key kept and with 10,000 kept, and the program's
#      resident size with 10,000 keys kept.
#   bench/run.sh [REQUESTS [SECONDS [WRK_SECONDS]]]
#      per round: https_load runs 3000 requests or 20 s, wrk runs 10 s (by default)
# Uses port 9003 (the program's fixed port) and 9443 (nginx) on 127.0.0.1; neither may be
# in use. Everything else lives in a temporary folder that is removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/checks.sh
requests="${1:-3000}"
seconds="${2:-20}"
wrk_seconds="${3:-10}"
program_port=9003
nginx_port=9443
# Both servers answer "/config/version" with the program's version.
version=$(scripts/version.sh)
warm_up=200
rounds=7
# The servers share one core and the load generators another, so that neither server meets a
# load generator on its core by the scheduler's chance (one core: no pinning).
if [ "$(nproc)" -ge 2 ]; then
    on_server_core=(taskset -c 0)
    on_load_core=(taskset -c 1)
else
    on_server_core=()
    on_load_core=()
fi

scripts/install-deps.sh >&2
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j2 --target fiscal-printer-proxy virtual-printer https_load receipt_bench \
    test_certificate >&2

folder="$(mktemp -d)"
pids=()
finish() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$folder"
}
trap finish EXIT

program="$PWD/build/src/app/fiscal-printer-proxy"
certificate="$PWD/build/tests/support/server.crt"
key="$PWD/build/tests/support/server.key"

answers() { # PORT
    curl -sk --max-time 2 "https://127.0.0.1:$1/config/version" >/dev/null
}

wait_for_answer() { # PORT
    eventually --seconds 10 answers "$1" && return
    echo "nothing answers on port $1" >&2
    return 1
}

port_is_free() { # PORT
    if curl -sk --max-time 2 -o /dev/null "https://127.0.0.1:$1/"; then
        echo "port $1 is in use; stop what listens there first" >&2
        return 1
    fi
}

start_nginx() {
    mkdir -p "$folder/nginx"
    sed -e "s|@FOLDER@|$folder/nginx|g" -e "s|@PORT@|$nginx_port|g" \
        -e "s|@CERTIFICATE@|$certificate|g" -e "s|@KEY@|$key|g" \
        -e "s|@VERSION@|$version|g" bench/nginx.conf.in >"$folder/nginx/nginx.conf"
    "${on_server_core[@]}" nginx -p "$folder/nginx" -c "$folder/nginx/nginx.conf" &
    pids+=($!)
    nginx_pid=$!
    wait_for_answer "$nginx_port"
}

start_program() {
    mkdir -p "$folder/program/data" "$folder/program/runtime"
    chmod 700 "$folder/program/runtime"
    cp "$certificate" "$key" "$folder/program/"
    (cd "$folder/program" && XDG_DATA_HOME="$folder/program/data" \
        XDG_RUNTIME_DIR="$folder/program/runtime" \
        exec "${on_server_core[@]}" "$program" >"$folder/program/output.txt" 2>&1) &
    pids+=($!)
    program_pid=$!
    wait_for_answer "$program_port"
    sleep 1 # let start-up settle before the idle size is read
}

# A /proc/PID/status field in MiB; VmRSS is the resident size now, VmHWM its peak.
resident_mib() { # PID FIELD
    awk -v field="$2:" '$1 == field { printf "%.1f", $2 / 1024 }' "/proc/$1/status"
}

# nginx's master and worker together.
nginx_resident_mib() { # FIELD
    local total=0 pid
    for pid in "$nginx_pid" $(cat "/proc/$nginx_pid/task/$nginx_pid/children"); do
        total=$(awk -v a="$total" -v b="$(resident_mib "$pid" "$1")" 'BEGIN { print a + b }')
    done
    printf "%.1f" "$total"
}

# Processor time (user and system) of processes, in clock ticks.
cpu_ticks() { # PID...
    local total=0 pid
    for pid in "$@"; do
        total=$((total + $(awk '{ print $14 + $15 }' "/proc/$pid/stat")))
    done
    echo "$total"
}

# The load's line with the server's processor time per completed request (µs) appended.
with_cpu() { # "PIDS" COMMAND...
    local pids="$1" before after line
    shift
    before=$(cpu_ticks $pids)
    line="$("$@")"
    after=$(cpu_ticks $pids)
    awk -v line="$line" -v ticks=$((after - before)) -v hz="$(getconf CLK_TCK)" \
        'BEGIN { split(line, f, " "); printf "%s %.0f\n", line, (f[1] > 0 ? ticks * 1e6 / hz / f[1] : 0) }'
}

# Each load prints "completed failed seconds rate p50 p99 cpu" after a short warm-up.
load_https_load() { # PORT CONCURRENCY "PIDS"
    "${on_load_core[@]}" build/bench/https_load "$1" /config/version "\"$version\"" "$2" \
        "$warm_up" "$seconds" >/dev/null
    with_cpu "$3" "${on_load_core[@]}" build/bench/https_load "$1" /config/version "\"$version\"" \
        "$2" "$requests" "$seconds"
}

# One wrk thread, like https_load's one, leaves the other core to the server. The report
# script's line comes last, after wrk's own summary.
wrk_for() { # PORT CONCURRENCY SECONDS
    "${on_load_core[@]}" wrk -t1 -c"$2" -d"$3s" -H 'Connection: close' --timeout 10s -s bench/wrk_report.lua \
        "https://127.0.0.1:$1/config/version" | tail -n1
}

load_wrk() { # PORT CONCURRENCY "PIDS"
    wrk_for "$1" "$2" 1 >/dev/null
    with_cpu "$3" wrk_for "$1" "$2" "$wrk_seconds"
}

# The round with the median rate of several, taken in turn with the other server's rounds so
# that both meet the same noise of a shared machine.
median_round() { sort -n -k4 | sed -n "$(((rounds + 1) / 2))p"; }

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

port_is_free "$program_port"
port_is_free "$nginx_port"
start_nginx
start_program
program_idle=$(resident_mib "$program_pid" VmRSS)
nginx_idle=$(nginx_resident_mib VmRSS)
nginx_pids="$nginx_pid $(cat "/proc/$nginx_pid/task/$nginx_pid/children")"

declare -A port_of=([nginx]="$nginx_port" [program]="$program_port")
declare -A pids_of=([nginx]="$nginx_pids" [program]="$program_pid")

generators=(https_load wrk)
declare -A program nginx # by "generator concurrency"
for concurrency in 1 32; do
    echo "load at concurrency $concurrency, $rounds rounds" >&2
    declare -A rounds_of=() # by "server generator"
    for round in $(seq "$rounds"); do
        # Each server goes first in every other round, so that neither always meets the
        # machine as the other leaves it.
        servers=(nginx program)
        ((round % 2)) || servers=(program nginx)
        for generator in "${generators[@]}"; do
            for server in "${servers[@]}"; do
                rounds_of[$server $generator]+="$("load_$generator" "${port_of[$server]}" \
                    "$concurrency" "${pids_of[$server]}")"$'\n'
            done
        done
    done
    for generator in "${generators[@]}"; do
        nginx[$generator $concurrency]="$(printf "%s" "${rounds_of[nginx $generator]}" | median_round)"
        program[$generator $concurrency]="$(printf "%s" "${rounds_of[program $generator]}" |
            median_round)"
    done
done
program_peak=$(resident_mib "$program_pid" VmHWM)
nginx_peak=$(nginx_resident_mib VmHWM)

echo "receipts" >&2
receipts="$(build/bench/receipt_bench "$program_port" 5)"

echo "keyed receipts" >&2
keyed_seconds=20
keys_file="$folder/program/data/TrivaneFiscalProxy/idempotency.sqlite"
rate() { "${on_load_core[@]}" build/bench/receipt_bench "$program_port" "--$1" "$keyed_seconds"; }
# The program anew, so that its size below tells what receipts and keys cost, not what the
# load above left in its memory.
kill "$program_pid"
wait "$program_pid" || true
start_program
unkeyed_empty="$(rate unkeyed)"
program_unkeyed=$(resident_mib "$program_pid" VmRSS)
keyed_empty="$(rate keyed)"
# The steady state of a busy till: 10,000 keys from earlier days, which the program keeps as
# the newest and prunes one by one as new keys come.
sqlite3 "$keys_file" "DELETE FROM keys;
    WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 10000)
    INSERT INTO keys (key, fingerprint, state, changed, sequence, answer, completedAnswer, document)
    SELECT 'kept-' || i, printf('%064d', i), 'finished', strftime('%s', 'now') - 2 * 86400, i,
        'true', 'true',
        '{\"kind\":\"receipt\",\"completed\":' || i || ',\"since\":\"2026-12-07T08:00:00Z\"}'
    FROM n"
keys_kept=$(sqlite3 "$keys_file" "SELECT COUNT(*) FROM keys")
keyed_full="$(rate keyed)"
program_with_keys=$(resident_mib "$program_pid" VmRSS)
keys_after=$(sqlite3 "$keys_file" "SELECT COUNT(*) FROM keys")
unkeyed_full="$(rate unkeyed)"

field() { echo "$1" | awk -v n="$2" '{ print $n }'; }

echo "| Measure | fiscal-printer-proxy | nginx $(nginx -v 2>&1 | sed 's|.*/||') (1 worker) | program / nginx |"
echo "|---|---:|---:|---:|"
declare -A generator_name=([https_load]="https_load (full handshakes)"
    [wrk]="$(wrk -v 2>&1 | sed -n '1s|^wrk [^0-9]*\([0-9.]*[0-9]\).*|wrk \1|p') (resumed sessions)")
# A row of one measure of the round in `p` and `n`, with the ratio.
measure_row() { # LABEL FIELD
    echo "| $1 | $(field "$p" "$2") | $(field "$n" "$2") |" \
        "$(ratio "$(field "$p" "$2")" "$(field "$n" "$2")") |"
}
for generator in "${generators[@]}"; do
    for concurrency in 1 32; do
        p="${program[$generator $concurrency]}" n="${nginx[$generator $concurrency]}"
        measure_row "${generator_name[$generator]}: GET /config/version, concurrency $concurrency: requests/s" 4
        measure_row "&nbsp; latency p50 (ms)" 5
        measure_row "&nbsp; latency p99 (ms)" 6
        measure_row "&nbsp; server's processor time per request (µs)" 7
        echo "| &nbsp; answers right / wrong | $(field "$p" 1) / $(field "$p" 2) |" \
            "$(field "$n" 1) / $(field "$n" 2) | |"
    done
done
echo "| Resident size idle after start-up (MiB; nginx: master and worker) | $program_idle | $nginx_idle | |"
echo "| Resident size peak during the load (MiB) | $program_peak | $nginx_peak | |"
echo
echo "| Receipt at 9600 baud | /printer/print, median of 5 (best) (s) | floor: its frames one way (s) | median / floor |"
echo "|---|---:|---:|---:|"
declare -A size_name=([1]="1 line" [10]="10 lines" [100]="100 lines"
    [1-keyed]="1 line, with an Idempotency-Key")
while read -r size median best floor; do
    echo "| ${size_name[$size]} | $median ($best) | $floor |" \
        "$(awk -v a="$median" -v b="$floor" 'BEGIN { printf "%.2f", a / b }') |"
done < <(grep -v '^status ' <<<"$receipts")
echo
read -r _ status_median status_worst < <(grep '^status ' <<<"$receipts")
echo "| GET /status while a 100-line receipt prints at 9600 baud (20 asked, every 300 ms) | median (ms) | worst (ms) |"
echo "|---|---:|---:|"
echo "| fiscal-printer-proxy | $status_median | $status_worst |"
echo
echo "| One-line receipts a second, printer without line delay ($keyed_seconds s each) | without key | with a key of its own | keyed / unkeyed |"
echo "|---|---:|---:|---:|"
echo "| no key kept | $unkeyed_empty | $keyed_empty | $(ratio "$keyed_empty" "$unkeyed_empty") |"
echo "| $keys_kept keys kept ($keys_after after) | $unkeyed_full | $keyed_full |" \
    "$(ratio "$keyed_full" "$unkeyed_full") |"
echo "| Resident size after the sales, the program started anew for them (MiB) |" \
    "$program_unkeyed | $program_with_keys ($keys_kept keys kept) | |"
echo
echo "Machine: $(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //'), $(nproc) cores," \
    "$(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo)," \
    "$(. /etc/os-release && echo "$PRETTY_NAME"), kernel $(uname -r), $(openssl version | cut -d' ' -f1-2);" \
    "$(date -u +%Y-%m-%d). Each load figure is the median-rate round of $rounds; a round of" \
    "https_load is $requests requests or $seconds s after $warm_up to warm up, one of wrk" \
    "$wrk_seconds s after 1 s to warm up. The rounds of both servers and both generators" \
    "take turns$([ ${#on_server_core[@]} -gt 0 ] && echo "; the servers run on core 0, the load generators on core 1")."
