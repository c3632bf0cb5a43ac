#!/usr/bin/env bash
# Installs the Debian packages listed in scripts/debian-packages.txt (or in the list given
# as the argument) that are missing.
# A line "PACKAGE COMMAND" counts as present also when COMMAND is on the PATH, so that a
# tool installed another way (Node.js from another source, say) is not installed twice.
set -euo pipefail
cd "$(dirname "$0")/.."
list=${1:-scripts/debian-packages.txt}

missing=()
while read -r package command _; do
    [ -n "$package" ] && [ "${package:0:1}" != "#" ] || continue
    if [ -n "${command:-}" ] && command -v "$command" >/dev/null; then
        continue
    fi
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
        missing+=("$package")
done <"$list"
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo_cmd=""
    [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
    $sudo_cmd apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
    # The downloaded packages stay in apt's cache otherwise (1.7 GB for all the lists), and the
    # tests need that room on a machine with little left.
    $sudo_cmd apt-get clean
fi
