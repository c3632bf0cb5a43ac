#!/usr/bin/env bash
# Draws the program's icons from src/app/icons/emblem.svg into src/app/icons/*.ico: the
# emblem in green (printer connected) and in red (not connected) at 144 by 144 pixels, and
# in blue as the application icon at 16 and 32 pixels in several colour depths.
# The .ico files are kept in the repository; run this only after changing the drawing.
# Needs the Debian packages librsvg2-bin, pngquant and icoutils.
set -euo pipefail
cd "$(dirname "$0")/../.."
icons=src/app/icons
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Writes $work/NAME-SIZE.png of the emblem with the given body and outline colours.
draw() {
    local name=$1 body=$2 dark=$3 size=$4
    sed -e "s/BODY_COLOUR/$body/g" -e "s/DARK_COLOUR/$dark/g" "$icons/emblem.svg" >"$work/$name.svg"
    rsvg-convert -w "$size" -h "$size" "$work/$name.svg" -o "$work/$name-$size.png"
}

# A copy of $work/NAME-SIZE.png on white, reduced to at most $3 colours, for the palette
# images of old displays (which know no partial transparency).
reduce() {
    local name=$1 size=$2 colours=$3
    local target=$work/$name-$size-$colours.png
    rsvg-convert -w "$size" -h "$size" -b white "$work/$name.svg" -o "$work/opaque.png"
    pngquant --force --nofs --output "$target" "$colours" "$work/opaque.png"
    echo "$target"
}

draw connected '#2e9d4a' '#1d6b31' 144
draw disconnected '#d63a2f' '#8f221b' 144
icotool -c -b 32 -o "$icons/connected.ico" "$work/connected-144.png"
icotool -c -b 32 -o "$icons/disconnected.ico" "$work/disconnected-144.png"

draw main '#2f6fb5' '#1d4677' 16
draw main '#2f6fb5' '#1d4677' 32
icotool -c -o "$icons/main.ico" \
    -b 4 "$(reduce main 16 16)" \
    -b 8 "$(reduce main 16 256)" \
    -b 32 "$work/main-16.png" \
    -b 4 "$(reduce main 32 16)" \
    -b 8 "$(reduce main 32 256)" \
    -b 24 "$work/main-32.png" \
    -b 32 "$work/main-32.png"
icotool -l "$icons"/*.ico
