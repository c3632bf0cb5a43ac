#!/usr/bin/env bash
# Installs the Debian packages listed in scripts/debian-packages.txt (or in the list given
# as the argument) that are missing.
set -euo pipefail
cd "$(dirname "$0")/.."
list=${1:-scripts/debian-packages.txt}

mapfile -t wanted < <(grep -v '^\s*#' "$list" | grep -v '^\s*$')
missing=()
for package in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
        missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo_cmd=""
    [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
    $sudo_cmd apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
fi
