#!/usr/bin/env bash
# Builds the Debian package fiscal-printer-proxy_VERSION_amd64.deb into OUT_DIR from the
# programs built in BUILD_DIR (scripts/build.sh builds them into build/): the program, the
# setup command with its certificate companion, the systemd user unit, the README and docs/.
# Depends comes from the libraries the programs link (dpkg-shlibdeps).
# Usage: packaging/debian/make-deb.sh BUILD_DIR OUT_DIR
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
build=$(readlink -f "$1")
mkdir -p "$2"
out=$(readlink -f "$2")
package=fiscal-printer-proxy
version=$("$source_dir/scripts/version.sh")
maintainer=${DEB_MAINTAINER:-Trivane <packages@trivane.example>}
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
root=$stage/root
doc=$root/usr/share/doc/$package

install -D -m755 "$build/src/app/fiscal-printer-proxy" "$root/usr/bin/fiscal-printer-proxy"
install -D -m755 "$build/src/app/fiscal-printer-proxy-certificate" \
    "$root/usr/lib/$package/fiscal-printer-proxy-certificate"
install -D -m755 "$source_dir/packaging/fiscal-printer-proxy-setup" \
    "$root/usr/bin/fiscal-printer-proxy-setup"
install -D -m644 "$source_dir/packaging/fiscal-printer-proxy.service" \
    "$root/usr/lib/systemd/user/fiscal-printer-proxy.service"
# Chromium lets the web application call https://localhost:9003 without asking the user
# about the local network; it reads policies only from this folder, which root alone may
# write, so the package brings it. Google Chrome's folder is under /etc/opt, which a Debian
# package may not fill: the setup command says how to link it there.
install -D -m644 "$source_dir/packaging/debian/local-network-access.json" \
    "$root/etc/chromium/policies/managed/fiscal-printer-proxy.json"
echo /etc/chromium/policies/managed/fiscal-printer-proxy.json >"$stage/conffiles"
# As Debian's own packaging does: no debugging symbols in the package.
strip --strip-unneeded --remove-section=.comment --remove-section=.note \
    "$root/usr/bin/fiscal-printer-proxy" "$root/usr/lib/$package/fiscal-printer-proxy-certificate"

for page in fiscal-printer-proxy fiscal-printer-proxy-setup; do
    sed "s/@VERSION@/$version/" "$source_dir/packaging/debian/$page.1" |
        install -D -m644 /dev/stdin "$root/usr/share/man/man1/$page.1"
    gzip -9n "$root/usr/share/man/man1/$page.1"
done
install -D -m644 "$source_dir/README.md" "$doc/README.md"
install -D -m644 -t "$doc/docs" "$source_dir"/docs/*.md
install -m644 "$source_dir/packaging/debian/copyright" "$doc/copyright"
# The change log's date is the last commit's, so that a rebuild makes the same file.
when=$(git -C "$source_dir" log -1 --format=%ct 2>/dev/null || date +%s)
printf '%s (%s) stable; urgency=medium\n\n  * Release %s.\n\n -- %s  %s\n' \
    "$package" "$version" "$version" "$maintainer" "$(date -R -u -d "@$when")" >"$doc/changelog"
gzip -9n "$doc/changelog" "$doc/README.md" "$doc"/docs/*.md

# dpkg-shlibdeps reads a source package's control file; a minimal one stands in for it.
mkdir "$stage/debian"
printf 'Source: %s\n\nPackage: %s\nArchitecture: amd64\n' "$package" "$package" \
    >"$stage/debian/control"
depends=$(cd "$stage" && dpkg-shlibdeps -O root/usr/bin/fiscal-printer-proxy \
    "root/usr/lib/$package/fiscal-printer-proxy-certificate" 2>/dev/null |
    sed -n 's/^shlibs:Depends=//p')

mkdir "$root/DEBIAN"
install -m644 "$stage/conffiles" "$root/DEBIAN/conffiles"
install -m755 "$source_dir/packaging/debian/prerm" "$root/DEBIAN/prerm"
cat >"$root/DEBIAN/control" <<CONTROL
Package: $package
Version: $version
Architecture: amd64
Maintainer: $maintainer
Installed-Size: $(du -sk --exclude=DEBIAN "$root" | cut -f1)
Depends: $depends
Recommends: libnss3-tools, systemd
Section: misc
Priority: optional
Description: HTTPS proxy between a web ERP application and a fiscal printer
 Lets the Ledvik web application, running in the browser, drive a Posnet
 fiscal printer on this workstation's serial port through HTTPS on port 9003.
 .
 Each user runs fiscal-printer-proxy-setup once: it makes the certificate for
 localhost, makes the browsers trust it, and starts the program as a systemd
 user service, which renews the certificate before it ends. Chromium is told
 by policy to let the web application reach the program.
CONTROL
dpkg-deb --root-owner-group -Zxz --build "$root" "$out/${package}_${version}_amd64.deb"
