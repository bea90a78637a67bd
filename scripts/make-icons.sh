#!/bin/sh
# Regenerates the installed PNG icons from data/icons/tavrel.svg; the PNGs are
# committed so that building needs no SVG renderer.
# Needs rsvg-convert (Debian package librsvg2-bin).
set -e
cd "$(dirname "$0")/.."
command -v rsvg-convert >/dev/null 2>&1 || {
    echo "make-icons.sh: rsvg-convert not found; apt-get install librsvg2-bin" >&2
    exit 1
}
for size in 48 128 256; do
    mkdir -p "data/icons/${size}x${size}"
    rsvg-convert --width "$size" --height "$size" --format png \
        --output "data/icons/${size}x${size}/tavrel.png" data/icons/tavrel.svg
done
