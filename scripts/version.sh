#!/bin/sh
# Prints the program's version from the one place it is written, the project() line of
# CMakeLists.txt, which the build configures into the program and its Windows resource.
sed -n 's/^project(fiscal_printer_proxy VERSION \([0-9.]*\).*/\1/p' "$(dirname "$0")/../CMakeLists.txt"
