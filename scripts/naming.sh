#!/usr/bin/env bash
# Checks the names in src/ and tools/ against CONTRIBUTING.md: clang-tidy's
# readability-identifier-naming (.clang-tidy) over every file the build in BUILD_DIR compiles,
# then a search of every source file, Windows-only ones too, for the two forms clang-tidy
# lets through or cannot see here: "kName" constants (also camelBack) and "name_" members.
#   scripts/naming.sh [BUILD_DIR]    default build/; scripts/build.sh configures it
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

if ! run-clang-tidy -p "$build" -j "$(nproc)" -quiet "$PWD/(src|tools)/" >"$build/naming.log" 2>&1; then
    grep -E '(error|warning):' "$build/naming.log" | sort -u
    echo "FAIL names: see $build/naming.log"
    exit 1
fi

# Comments and string literals are left out, so that "log_" in a file name is no member.
forms=$(git ls-files 'src/*.cpp' 'src/*.h' 'src/*.in' 'tools/*.cpp' 'tools/*.h' | while read -r file; do
    sed -E 's://.*$::; s/"([^"\\]|\\.)*"/""/g' "$file" |
        grep -nE '\bk[A-Z][A-Za-z0-9]*\b|\b[a-z][A-Za-z0-9]*_\b' | sed "s|^|$file:|" || true
done)
if [ -n "$forms" ]; then
    echo "$forms"
    echo "FAIL names: a constant is named without the k prefix, a member without a suffix"
    exit 1
fi
echo "PASS names"
