# Shared by the shell checks of the program and its packages, and by the scripts that start
# it: each check prints PASS or FAIL with its name and is counted; `checks_passed NAME` prints
# the counts and fails when one failed. Sourced, not run.

passed=0
failed=0

# A command that fails outside a check ends the calling script (set -e); this says which, and
# how much room is left on the disk, as a full disk is the likeliest cause on a busy machine.
command_failed() { # STATUS LINE COMMAND
    echo "FAIL: line $2 of $(basename "$0"), exit status $1: $3" >&2
    df -h . >&2
}
trap 'command_failed $? $LINENO "$BASH_COMMAND"' ERR

check() {
    local name=$1
    shift
    if "$@"; then
        echo "PASS $name"
        passed=$((passed + 1))
    else
        echo "FAIL $name"
        failed=$((failed + 1))
    fi
}

# Runs the command until it succeeds, every half second for up to a minute or the seconds
# given: Wine and the programs it starts take their time on a busy machine. Given the id of a
# process that should bring success (--while-running PID), it gives up as soon as that
# process has ended, as nothing will come any more.
#   eventually [--seconds N] [--while-running PID] COMMAND...
eventually() {
    local seconds=60 pid="" _
    while [ $# -gt 0 ]; do
        case $1 in
        --seconds) seconds=$2 ;;
        --while-running) pid=$2 ;;
        *) break ;;
        esac
        shift 2
    done
    for _ in $(seq $((seconds * 2))); do
        "$@" && return
        [ -z "$pid" ] || kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.5
    done
    return 1
}

virtual_printer_listens() { # LOG
    grep -q '^virtual-printer listening on ' "$1"
}

# Starts the virtual printer PROGRAM in the background with its OPTIONs (--tcp 0 or --pty
# PATH, --journal FILE...), its output in LOG, and waits until it listens; then
# virtual_printer_pid is its process and virtual_printer_address what it listens on
# (tcp://127.0.0.1:PORT or the pseudo-terminal). The kernel sends it SIGTERM when the calling
# script ends, however that ends (SIGKILL included), so it never outlives the script and no
# trap of the caller's is needed.
start_virtual_printer() { # PROGRAM LOG OPTION...
    local program=$1 log=$2
    shift 2
    setpriv --pdeathsig TERM "$program" "$@" >"$log" 2>&1 &
    virtual_printer_pid=$!
    if ! eventually --seconds 10 --while-running "$virtual_printer_pid" \
        virtual_printer_listens "$log"; then
        echo "The virtual printer did not start:" >&2
        cat "$log" >&2
        return 1
    fi
    virtual_printer_address=$(sed -n 's/^virtual-printer listening on //p' "$log" | head -n 1)
}

# The version the program answers, as CMakeLists.txt gives it.
program_version() {
    "$(dirname "${BASH_SOURCE[0]}")/version.sh"
}

checks_passed() {
    echo "$1 checks: $passed passed, $failed failed"
    [ "$failed" = 0 ]
}
