# Shared by the shell checks of the program and its packages: each check prints PASS or FAIL
# with its name and is counted; `checks_passed NAME` prints the counts and fails when one failed.
# Sourced, not run.

passed=0
failed=0

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

# Runs the command until it succeeds, for up to a minute: Wine and the programs it starts take
# their time on a busy machine.
eventually() {
    local _
    for _ in $(seq 120); do
        "$@" && return
        sleep 0.5
    done
    return 1
}

# The version the program answers, as CMakeLists.txt gives it.
program_version() {
    "$(dirname "${BASH_SOURCE[0]}")/version.sh"
}

checks_passed() {
    echo "$1 checks: $passed passed, $failed failed"
    [ "$failed" = 0 ]
}
