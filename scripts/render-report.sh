#!/bin/bash
# Renders a local HTML report to a PNG with headless chromium, so a report's
# look can be checked without a desktop.
# usage: render-report.sh REPORT.html OUT.png [WIDTHxHEIGHT]
set -euo pipefail

usage() {
    echo "usage: $0 REPORT.html OUT.png [WIDTHxHEIGHT]" >&2
    exit 2
}

if [ $# -lt 2 ] || [ $# -gt 3 ]; then usage; fi
report=$1
out=$2
size=${3:-1280x900}
[[ $size =~ ^([1-9][0-9]*)x([1-9][0-9]*)$ ]] || usage
width=${BASH_REMATCH[1]}
height=${BASH_REMATCH[2]}
[ -r "$report" ] || { echo "$0: cannot read $report" >&2; exit 2; }

if ! command -v chromium >/dev/null; then
    # Some 120 MB, so it is fetched only when a render is asked for rather
    # than with every machine's packages.
    echo "$0: chromium is missing; installing it with apt-get" >&2
    apt-get update -qq >&2
    apt-get install -y -qq --no-install-recommends chromium >&2
fi

# chromium resolves the screenshot path against its own working directory
# and the page only as a file:// URL, so both are made absolute.
abs_report=$(realpath -- "$report")
abs_out=$(realpath -m -- "$out")
# Removed first so that a picture left from an earlier run cannot pass for one.
rm -f -- "$abs_out"
# Its chatter on stderr (D-Bus, GPU) is noise in headless runs; it is shown
# only when no picture came out.
log=$(mktemp)
trap 'rm -f -- "$log"' EXIT
if ! chromium --headless --no-sandbox --disable-gpu --hide-scrollbars \
        --screenshot="$abs_out" --window-size="$width,$height" \
        "file://$abs_report" >"$log" 2>&1 || [ ! -s "$abs_out" ]; then
    cat "$log" >&2
    echo "$0: chromium made no picture of $report" >&2
    exit 1
fi
echo "$abs_out"
