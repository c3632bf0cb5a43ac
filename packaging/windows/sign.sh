#!/usr/bin/env bash
# Signs the Windows program FILE in place with the code-signing certificate SIGNING_CERT and
# its key SIGNING_KEY (PEM files; SIGNING_KEY_PASSWORD when the key has one), with a
# time stamp from SIGNING_TIMESTAMP_URL when it is given.
# Usage: packaging/windows/sign.sh FILE
set -euo pipefail
file=$1
options=(-certs "$SIGNING_CERT" -key "$SIGNING_KEY" -h sha256 -n "Trivane Ledvik Drukarki fiskalne")
[ -z "${SIGNING_KEY_PASSWORD:-}" ] || options+=(-pass "$SIGNING_KEY_PASSWORD")
[ -z "${SIGNING_TIMESTAMP_URL:-}" ] || options+=(-ts "$SIGNING_TIMESTAMP_URL")
osslsigncode sign "${options[@]}" -in "$file" -out "$file.signed" >/dev/null
mv "$file.signed" "$file"
