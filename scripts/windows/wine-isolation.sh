# Shared by the Windows checks: the calling script runs again in a network namespace of its
# own, so the fixed port 9003 cannot clash with anything else on the machine, on an Xvfb
# screen of its own; `wine` runs a Windows program bounded by WINE_SECONDS, so that a
# program that hangs fails its check instead of the run. Sourced first thing, with the
# script's arguments: source wine-isolation.sh "$@".

if [ -z "${WINE_CHECK_ISOLATED:-}" ]; then
    exec unshare --net env WINE_CHECK_ISOLATED=1 \
        xvfb-run --auto-servernum --server-args="-screen 0 1024x768x24" "$0" "$@"
fi
ip link set lo up

wineserver=/usr/lib/wine/wineserver
wine() {
    timeout "$WINE_SECONDS" /usr/lib/wine/wine64 "$@"
}
