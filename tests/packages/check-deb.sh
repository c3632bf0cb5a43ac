#!/usr/bin/env bash
# Checks the Debian package the way a Linux workstation meets it: builds it from the
# programs in BUILD_DIR (packaging/debian/make-deb.sh), reads its contents and runs lintian
# on it, then unpacks it into a scratch root and runs its setup command for a scratch user
# with a browser store: the packaged program, started in the folder that the command made,
# answers over HTTPS with the certificate the command made, verified by curl against its
# authority; "setup --remove" takes the authority out of the store again, and the package's
# removal runs it for each user.
#
# Usage: tests/packages/check-deb.sh BUILD_DIR
# The checks run in a network namespace of their own, so the program's fixed port 9003
# clashes with nothing else on the machine.
set -euo pipefail

if [ -z "${CHECK_DEB_ISOLATED:-}" ]; then
    # A user other than root maps itself to root in a user namespace of its own.
    user_namespace=""
    [ "$(id -u)" = 0 ] || user_namespace=--map-root-user
    exec unshare --net $user_namespace env CHECK_DEB_ISOLATED=1 "$0" "$@"
fi
ip link set lo up

source_dir=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
program_pid=""
cleanup() {
    [ -z "$program_pid" ] || kill "$program_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

source "$source_dir/scripts/checks.sh"

"$source_dir/packaging/debian/make-deb.sh" "$1" "$work/dist" >/dev/null
deb=$(echo "$work"/dist/fiscal-printer-proxy_*_amd64.deb)

dpkg-deb -c "$deb" >"$work/contents.txt"
lists() {
    grep -q " \./$1\$" "$work/contents.txt"
}
check "the package holds the program" lists usr/bin/fiscal-printer-proxy
check "the package holds the setup command" lists usr/bin/fiscal-printer-proxy-setup
check "the package holds the systemd user unit" \
    lists usr/lib/systemd/user/fiscal-printer-proxy.service
allows_the_web_application() {
    dpkg-deb --fsys-tarfile "$deb" |
        tar -xO ./etc/chromium/policies/managed/fiscal-printer-proxy.json |
        jq -e '.LocalNetworkAccessAllowedForUrls == ["https://ledvik.trivane.pl"]' >/dev/null &&
        dpkg-deb -I "$deb" conffiles | grep -qx /etc/chromium/policies/managed/fiscal-printer-proxy.json
}
check "it brings Chromium's local network access policy as a conffile" allows_the_web_application
depends_on_program_libraries() {
    dpkg-deb -f "$deb" Depends | grep -q 'libboost-log1.74.0.*libssl3'
}
check "Depends names the program's libraries" depends_on_program_libraries
lintian_clean_of_errors() {
    lintian --fail-on error "$deb" >"$work/lintian.txt" 2>&1 || {
        cat "$work/lintian.txt"
        return 1
    }
}
check "lintian finds no errors" lintian_clean_of_errors

# A scratch user whose Chromium has run once (it has a certificate store), without a systemd
# user session.
root=$work/root
home=$work/home
folder=$home/.config/fiscal-printer-proxy
nickname="Fiscal printer proxy localhost authority"
dpkg -x "$deb" "$root"
mkdir -p "$home/.pki/nssdb"
certutil -N -d "sql:$home/.pki/nssdb" --empty-password
setup() {
    env -u XDG_RUNTIME_DIR -u DBUS_SESSION_BUS_ADDRESS HOME="$home" \
        "$root/usr/bin/fiscal-printer-proxy-setup" >"$work/setup.out" 2>&1
}
setup_status=0
setup || setup_status=$?
cat "$work/setup.out"
check "the setup command succeeds" [ "$setup_status" = 0 ]
check "it makes the pair in ~/.config/fiscal-printer-proxy, the key readable by the user only" \
    [ "$(stat -c %a "$folder/server.key" 2>/dev/null)" = 600 ]
check "it leaves no key but the server's" \
    [ "$(grep -rl 'PRIVATE KEY' "$home" | sed "s|^$home/||")" = .config/fiscal-printer-proxy/server.key ]
check "it adds the authority to the browser's store as trusted for websites" \
    sh -c "certutil -L -d 'sql:$home/.pki/nssdb' | grep -q '^$nickname [0-9A-F]\{8\} *C,, *\$'"
check "it says that without systemd the program is started by hand" \
    grep -q "No systemd user session here" "$work/setup.out"

(cd "$folder" && HOME="$home" XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work" \
    exec timeout 300 "$root/usr/bin/fiscal-printer-proxy") >"$work/program.out" 2>&1 &
program_pid=$!
answers_version() { # HOST
    [ "$(curl --silent --max-time 5 --cacert "$folder/ca.crt" \
        "https://$1:9003/config/version")" = "\"$(program_version)\"" ]
}
check "the packaged program answers https://localhost:9003, verified against the authority" \
    eventually --seconds 20 --while-running "$program_pid" answers_version localhost
check "and https://127.0.0.1:9003" answers_version 127.0.0.1

cp "$folder/server.crt" "$work/first.crt"
setup || true
check "a second setup keeps the pair" cmp -s "$folder/server.crt" "$work/first.crt"
check "and leaves one authority in the browser's store" \
    [ "$(certutil -L -d "sql:$home/.pki/nssdb" | grep -c "^$nickname ")" = 1 ]

remove_status=0
env -u XDG_RUNTIME_DIR -u DBUS_SESSION_BUS_ADDRESS HOME="$home" \
    "$root/usr/bin/fiscal-printer-proxy-setup" --remove >"$work/remove.out" 2>&1 || remove_status=$?
cat "$work/remove.out"
check "setup --remove succeeds" [ "$remove_status" = 0 ]
check "and takes the authority out of the browser's store" \
    [ "$(certutil -L -d "sql:$home/.pki/nssdb" | grep -c "^$nickname ")" = 0 ]
removal_runs_it_for_each_user() {
    dpkg-deb -I "$deb" prerm | grep -q 'fiscal-printer-proxy-setup --remove'
}
check "the package's removal runs it for each user, or tells them how" \
    removal_runs_it_for_each_user

checks_passed "Debian package"
